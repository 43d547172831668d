#include <windows.h>
#include <objbase.h>

#include "generation/platform/dll_search.h"
#include "win32/population_window.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show)
{
    generation::LoadDllsFromSystemFolderOnly();  // before anything else
    // For the fields' names as screen readers tell them.
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    HWND window = win32::CreatePopulationWindow(instance);
    if (window == nullptr) {
        ::MessageBoxW(nullptr, L"The window could not be created.", L"Population generator", MB_OK | MB_ICONERROR);
        return 1;
    }
    ::ShowWindow(window, show);
    ::UpdateWindow(window);
    const int status = win32::RunMessageLoop(window);
    if (SUCCEEDED(com)) ::CoUninitialize();
    return status;
}
