#pragma once

#include <windows.h>

#include <vector>

// Fonts, DPI and placement: the DPI at which the form is laid out, the font
// its captions are drawn in, and the boxes of the window and its controls.
namespace win32 {

inline constexpr DWORD kWindowStyle = WS_OVERLAPPEDWINDOW;
inline constexpr DWORD kWindowExStyle = 0;

// The DPI at which the form is laid out in a window at `dpi`. It is `dpi`
// itself unless the user asked for larger text (Text size on Windows 10 and
// 11, a larger message font before them): when the system's message font at
// `dpi` is taller than the standard 9 points, the whole form grows by that
// ratio, as far as the window still fits the work area of its monitor.
// The setting is read here, when the window is made or changes DPI; a change
// while it is open takes effect at the next start.
UINT LayoutDpi(HWND window, UINT dpi);

// Puts each control (in form table order) at its box at `layoutDpi`, in
// the system's message font at `dpi`, made smaller until every caption fits
// its box. Returns that font, which the caller deletes once no control uses
// it (nullptr when none could be made).
HFONT PlaceControls(HWND window, const std::vector<HWND>& controls, UINT layoutDpi, UINT dpi);

// Sizes the window to hold the form at `layoutDpi` in its client area,
// within a frame of `dpi`.
void SizeClientArea(HWND window, UINT layoutDpi, UINT dpi);

}  // namespace win32
