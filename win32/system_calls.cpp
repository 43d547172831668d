#include "win32/system_calls.h"

#include <initializer_list>

namespace win32::system_calls {

namespace {

bool pretendWindows7 = false;

// The function of that name in user32.dll (which every window program has
// loaded), or nullptr where the system has none. Each caller keeps what it
// found, so the lookup is made once.
template <typename Function>
Function* Lookup(const char* name)
{
    HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
    if (user32 == nullptr) return nullptr;
    // Through the one function type that converts to every other one.
    return reinterpret_cast<Function*>(reinterpret_cast<void (*)()>(::GetProcAddress(user32, name)));
}

using GetDpiForWindowFunction = UINT WINAPI(HWND);
using AdjustWindowRectExForDpiFunction = BOOL WINAPI(RECT*, DWORD, BOOL, DWORD, UINT);
using SystemParametersInfoForDpiFunction = BOOL WINAPI(UINT, UINT, void*, UINT, UINT);

UINT SystemDpi()
{
    HDC screen = ::GetDC(nullptr);
    if (screen == nullptr) return USER_DEFAULT_SCREEN_DPI;
    const int dpi = ::GetDeviceCaps(screen, LOGPIXELSX);
    ::ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : USER_DEFAULT_SCREEN_DPI;
}

// Non-client metrics of the system DPI as they are at another one: on
// Windows 8.1 a window moved to a monitor of another DPI gets them so.
void ScaleMetrics(NONCLIENTMETRICSW& metrics, UINT from, UINT to)
{
    const auto scale = [&](auto& value) { value = ::MulDiv(value, static_cast<int>(to), static_cast<int>(from)); };
    for (LOGFONTW* font : {&metrics.lfCaptionFont, &metrics.lfSmCaptionFont, &metrics.lfMenuFont,
                           &metrics.lfStatusFont, &metrics.lfMessageFont}) {
        scale(font->lfHeight);
    }
    for (int* size : {&metrics.iBorderWidth, &metrics.iScrollWidth, &metrics.iScrollHeight, &metrics.iCaptionWidth,
                      &metrics.iCaptionHeight, &metrics.iSmCaptionWidth, &metrics.iSmCaptionHeight,
                      &metrics.iMenuWidth, &metrics.iMenuHeight, &metrics.iPaddedBorderWidth}) {
        scale(*size);
    }
}

}  // namespace

UINT DpiForWindow(HWND window)
{
    static auto* const function = Lookup<GetDpiForWindowFunction>("GetDpiForWindow");
    if (function != nullptr && !pretendWindows7) {
        if (const UINT dpi = function(window); dpi != 0) return dpi;
    }
    return SystemDpi();
}

BOOL AdjustWindowRectExForDpi(RECT* rect, DWORD style, BOOL menu, DWORD exStyle, UINT dpi)
{
    static auto* const function = Lookup<AdjustWindowRectExForDpiFunction>("AdjustWindowRectExForDpi");
    if (function != nullptr && !pretendWindows7) return function(rect, style, menu, exStyle, dpi);
    return ::AdjustWindowRectEx(rect, style, menu, exStyle);
}

BOOL SystemParametersInfoForDpi(UINT action, UINT parameter, void* value, UINT update, UINT dpi)
{
    static auto* const function = Lookup<SystemParametersInfoForDpiFunction>("SystemParametersInfoForDpi");
    if (function != nullptr && !pretendWindows7) return function(action, parameter, value, update, dpi);
    if (!::SystemParametersInfoW(action, parameter, value, update)) return FALSE;
    const UINT systemDpi = SystemDpi();
    if (action == SPI_GETNONCLIENTMETRICS && dpi != systemDpi) {
        ScaleMetrics(*static_cast<NONCLIENTMETRICSW*>(value), systemDpi, dpi);
    }
    return TRUE;
}

void PretendWindows7() { pretendWindows7 = true; }

}  // namespace win32::system_calls
