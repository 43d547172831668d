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
// out garbled beyond ASCII), to anything else as the bytes themselves.
bool WriteTo(void* handle, std::string_view utf8);

// Whether a run with `arguments` arguments, in a console that
// `consoleProcesses` processes share, is a double-click on the program: no
// arguments, and a console of its own, which Windows made for it and closes
// as soon as it ends. A Command Prompt or PowerShell shares its console.
bool StartedByDoubleClick(std::size_t arguments, unsigned long consoleProcesses);

// The number of processes attached to this process's console; 0 without one.
unsigned long ConsoleProcesses();

// Waits until Enter is pressed in the console (or its input ends).
void WaitForEnter();
#endif

}  // namespace cli
