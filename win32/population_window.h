#pragma once

#include <windows.h>

#include <string>
#include <string_view>

// The program's one window in plain Win32, built from the form table: group
// boxes, static labels, single-line edit fields and one push button, each
// at its box in twips scaled to the window's DPI. Enlarging the window
// moves and resizes nothing.
namespace win32 {

// Registers the window class (once) and creates the window, not yet shown,
// with its client area sized for the DPI of the monitor it opens on. The
// focus goes to the rook's Min field when the window is activated. Returns
// nullptr when the system refuses; GetLastError says why.
HWND CreatePopulationWindow(HINSTANCE instance);

// Keyboard handling of the window, for the message loop: Tab and Shift+Tab
// between the fields and the button, Enter or Space on the focused button
// pressing it, Enter or Escape in a field doing nothing. True when the
// message has been handled and must not be dispatched again.
bool HandleKeyboard(HWND window, MSG& message);

// Runs the message loop until the window is closed; returns the exit code.
int RunMessageLoop(HWND window);

// The control of that form name ("Text1(5)", "Command1", ...), or nullptr.
HWND FindControl(HWND window, std::string_view name);

}  // namespace win32
