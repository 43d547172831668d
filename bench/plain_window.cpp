// The yardstick for the window's start-up: a plain Win32 program that shows
// the same 35 controls at the same boxes, with the same manifest, and does
// nothing else (no font fitted to the captions, no names for screen
// readers, no fields that keep to one line).
#include <windows.h>

#include <string>

#include "form/form.h"

namespace {

LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DESTROY) {
        ::PostQuitMessage(0);
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }  // ASCII

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show)
{
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = Procedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = L"PlainWindow";
    ::RegisterClassExW(&windowClass);
    HDC screen = ::GetDC(nullptr);
    const int dpi = ::GetDeviceCaps(screen, LOGPIXELSX);
    ::ReleaseDC(nullptr, screen);

    RECT frame = {0, 0, form::ToPixels(form::kClientWidth, dpi), form::ToPixels(form::kClientHeight, dpi)};
    ::AdjustWindowRectEx(&frame, WS_OVERLAPPEDWINDOW, FALSE, 0);
    HWND window = ::CreateWindowExW(0, L"PlainWindow", L"Population generator", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                    CW_USEDEFAULT, frame.right - frame.left, frame.bottom - frame.top, nullptr,
                                    nullptr, instance, nullptr);
    const auto font = reinterpret_cast<WPARAM>(::GetStockObject(DEFAULT_GUI_FONT));
    for (const form::Control& control : form::Controls()) {
        const wchar_t* classes[] = {L"BUTTON", L"STATIC", L"EDIT", L"BUTTON"};
        const DWORD styles[] = {BS_GROUPBOX, SS_LEFT, WS_TABSTOP | ES_AUTOHSCROLL, WS_TABSTOP | BS_PUSHBUTTON};
        const int kind = static_cast<int>(control.kind);
        const form::Box box = form::ToPixels(form::WindowBox(control), dpi);
        HWND child = ::CreateWindowExW(control.kind == form::Kind::Field ? WS_EX_CLIENTEDGE : 0, classes[kind],
                                       Wide(control.text).c_str(), WS_CHILD | WS_VISIBLE | styles[kind], box.left,
                                       box.top, box.width, box.height, window, nullptr, instance, nullptr);
        ::SendMessageW(child, WM_SETFONT, font, FALSE);
    }
    ::ShowWindow(window, show);
    ::UpdateWindow(window);
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (::IsDialogMessageW(window, &message)) continue;
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return 0;
}
