#include "cli/console.h"

#include <algorithm>
#include <cstdio>
#include <string>

#ifdef _WIN32
#include <windows.h>

#include "generation/platform/utf16.h"
#endif

namespace cli {

#ifdef _WIN32

bool WriteTo(void* handle, std::string_view utf8)
{
    DWORD mode = 0;
    if (::GetConsoleMode(handle, &mode)) {
        const std::wstring text = generation::Utf16(utf8);
        for (std::size_t done = 0; done < text.size();) {
            DWORD written = 0;
            const DWORD part = static_cast<DWORD>(std::min<std::size_t>(text.size() - done, 8192));
            if (!::WriteConsoleW(handle, text.data() + done, part, &written, nullptr) || written == 0) return false;
            done += written;
        }
        return true;
    }
    // A file or a pipe gets Windows line ends, as every Windows program's
    // text has them (Notepad before Windows 10 shows bare LF as one line).
    std::string bytes;
    bytes.reserve(utf8.size() + utf8.size() / 32);
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        if (utf8[i] == '\n' && (i == 0 || utf8[i - 1] != '\r')) bytes += '\r';
        bytes += utf8[i];
    }
    for (std::string_view rest = bytes; !rest.empty();) {
        DWORD written = 0;
        const DWORD part = static_cast<DWORD>(std::min<std::size_t>(rest.size(), 1U << 30));
        if (!::WriteFile(handle, rest.data(), part, &written, nullptr) || written == 0) return false;
        rest.remove_prefix(written);
    }
    return true;
}

bool Write(Stream stream, std::string_view utf8)
{
    return WriteTo(::GetStdHandle(stream == Stream::Output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE), utf8);
}

bool StartedByDoubleClick(const ConsoleUse& use)
{
    return use.arguments == 0 && use.consoleProcesses == 1 && use.interactive;
}

ConsoleUse CurrentConsoleUse(std::size_t arguments)
{
    DWORD processes[2] = {};
    DWORD mode = 0;
    return {arguments, ::GetConsoleProcessList(processes, 2),
            ::GetConsoleMode(::GetStdHandle(STD_INPUT_HANDLE), &mode) &&
                ::GetConsoleMode(::GetStdHandle(STD_OUTPUT_HANDLE), &mode)};
}

void WaitForEnter()
{
    const HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
    ::FlushConsoleInputBuffer(input);
    wchar_t line[256];
    DWORD read = 0;
    // A cooked console read returns once Enter is pressed.
    ::ReadConsoleW(input, line, 256, &read, nullptr);
}

#else

bool Write(Stream stream, std::string_view utf8)
{
    std::FILE* file = stream == Stream::Output ? stdout : stderr;
    return std::fwrite(utf8.data(), 1, utf8.size(), file) == utf8.size() && std::fflush(file) == 0;
}

#endif

}  // namespace cli
