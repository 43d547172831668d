#pragma once

#include <windows.h>

#include <vector>

#include "form/form.h"

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
// Without a window (one about to be made), the primary monitor's work area
// counts.
UINT LayoutDpi(HWND window, UINT dpi);

// The system's message font at `dpi`, made smaller until every caption
// fits its box at `layoutDpi`; the caller deletes it once no control uses
// it (nullptr when none could be made).
HFONT FittedFont(HWND window, UINT layoutDpi, UINT dpi);

// A control's box in its window's client area at `layoutDpi`.
RECT ControlBox(const form::Control& control, UINT layoutDpi);

// Puts each control (in form table order) at its box at `layoutDpi`, in
// `font`, and redraws it: for a change of DPI.
void PlaceControls(const std::vector<HWND>& controls, UINT layoutDpi, HFONT font);

// The size of a window that holds the form at `layoutDpi` in its client
// area, within a frame of `dpi`.
SIZE WindowSize(UINT layoutDpi, UINT dpi);

// Sizes the window so, unless it has that size already.
void SizeClientArea(HWND window, UINT layoutDpi, UINT dpi);

}  // namespace win32
