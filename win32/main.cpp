#include <windows.h>

#include "generation/platform/dll_search.h"
#include "win32/population_window.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show)
{
    generation::LoadDllsFromSystemFolderOnly();  // before anything else
    HWND window = win32::CreatePopulationWindow(instance);
    if (window == nullptr) {
        ::MessageBoxW(nullptr, L"The window could not be created.", L"Population generator", MB_OK | MB_ICONERROR);
        return 1;
    }
    ::ShowWindow(window, show);
    ::UpdateWindow(window);
    const int status = win32::RunMessageLoop(window);
    return status;
}
