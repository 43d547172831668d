#pragma once

#include <windows.h>

// The window's calls that Windows 7 and 8.1 do not have (they came with
// Windows 10 version 1607), looked up when first used, each with a
// fallback that gives the system DPI's answer. Importing them by name
// would keep the program from starting at all on those systems.
namespace win32::system_calls {

// The window's DPI; without GetDpiForWindow, or without a window, the system DPI
// (GetDeviceCaps with LOGPIXELSX), at which Windows 7 and 8.1 place a new
// window.
UINT DpiForWindow(HWND window);

// AdjustWindowRectExForDpi; without it, AdjustWindowRectEx, whose frame is
// that of the system DPI.
BOOL AdjustWindowRectExForDpi(RECT* rect, DWORD style, BOOL menu, DWORD exStyle, UINT dpi);

// SystemParametersInfoForDpi; without it, SystemParametersInfoW, whose
// non-client metrics are then scaled from the system DPI to `dpi`.
BOOL SystemParametersInfoForDpi(UINT action, UINT parameter, void* value, UINT update, UINT dpi);

// For the tests alone: every lookup from now on finds nothing, as on
// Windows 7, so that the fallbacks run.
void PretendWindows7();

}  // namespace win32::system_calls
