#pragma once

#include <cstddef>
#include <string_view>

// What the command line writes, and where: text in UTF-8 that reaches a
// console as the characters it holds and a file or a pipe as its bytes.
namespace cli {

enum class Stream { Output, Error };

// Writes UTF-8 text to standard output or standard error. False when the
// text could not be written (a closed pipe, a full disk).
bool Write(Stream stream, std::string_view utf8);

#ifdef _WIN32
// Writes UTF-8 text to a handle: to a console as UTF-16, whatever the
// console's code page (the bytes would be read in that code page and come
// out garbled beyond ASCII), to anything else as the bytes themselves with
// each bare LF made CR LF.
bool WriteTo(void* handle, std::string_view utf8);

// What tells a double-click on the program from a run in a Command Prompt.
struct ConsoleUse {
    std::size_t arguments = 0;          // after the program's name
    unsigned long consoleProcesses = 0; // attached to this process's console
    bool interactive = false;           // standard input and output are that console
};

// Whether the program was started by a double-click: no arguments, and a
// console of its own that it reads and writes, which Windows made for it
// and closes as soon as it ends. A Command Prompt or PowerShell shares its
// console; a program that starts this one for its output redirects it.
bool StartedByDoubleClick(const ConsoleUse& use);

// This process's console use, for a run with `arguments` arguments.
ConsoleUse CurrentConsoleUse(std::size_t arguments);

// Waits until Enter is pressed in the console (or its input ends).
void WaitForEnter();
#endif

}  // namespace cli
