// What the command line writes on Windows: a console shows the characters
// themselves whatever its code page, a file gets UTF-8; and what tells a
// double-click on the program from a run in a Command Prompt.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "cli/console.h"

namespace {

// Accented letters of the users' own languages, and a chess piece, which
// no 8-bit code page holds.
const std::string kUtf8 = "Gr\xC3\xB6\xC3\x9F" "e: Acc\xC3\xA8s refus\xC3\xA9 \xE2\x99\x9E";
const std::wstring kUtf16 = L"Gr\u00f6\u00dfe: Acc\u00e8s refus\u00e9 \u265e";

TEST(Console, ShowsTheCharactersWhateverItsCodePage)
{
    // A console of the test's own, with a screen buffer whose characters can
    // be read back. (Wine lets a program started from a Unix shell make one
    // only after it lets go of the console it seems to have.)
    ::FreeConsole();
    ASSERT_TRUE(::AllocConsole()) << "error " << ::GetLastError();
    const HANDLE screen = ::CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                      nullptr, CONSOLE_TEXTMODE_BUFFER, nullptr);
    ASSERT_NE(screen, INVALID_HANDLE_VALUE) << "no console here (error " << ::GetLastError() << ")";
    const UINT previous = ::GetConsoleOutputCP();
    for (const UINT codePage : {437U, 850U, 1252U, 65001U}) {
        SCOPED_TRACE("code page " + std::to_string(codePage));
        ASSERT_TRUE(::SetConsoleOutputCP(codePage));
        DWORD done = 0;
        ::FillConsoleOutputCharacterW(screen, L' ', 200, {0, 0}, &done);
        ::SetConsoleCursorPosition(screen, {0, 0});
        ASSERT_TRUE(cli::WriteTo(screen, kUtf8));
        std::wstring shown(kUtf16.size(), L'\0');
        ASSERT_TRUE(::ReadConsoleOutputCharacterW(screen, shown.data(), static_cast<DWORD>(shown.size()), {0, 0}, &done));
        EXPECT_TRUE(shown == kUtf16) << "the console shows other characters";
    }
    ::SetConsoleOutputCP(previous);
    ::CloseHandle(screen);
}

TEST(Console, AFileGetsTheUtf8BytesWithWindowsLineEnds)
{
    wchar_t folder[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, folder);
    const std::wstring path = folder + std::wstring(L"popgen-console-") + std::to_wstring(::GetCurrentProcessId());
    const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(cli::WriteTo(file, kUtf8 + "\n" + kUtf8 + "\r\n"));
    std::string bytes(2 * kUtf8.size() + 8, '\0');
    DWORD read = 0;
    ::SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    ::ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    bytes.resize(read);
    EXPECT_EQ(bytes, kUtf8 + "\r\n" + kUtf8 + "\r\n") << "not the bytes with Windows line ends";
    ::CloseHandle(file);
}

// The rows that the console of process `id` shows in its window, down to
// the one that holds the cursor, without the blanks at their ends; read
// through a visit to it. (Wine moves the cursor once a write is done.)
std::vector<std::wstring> ConsoleRows(DWORD id)
{
    ::FreeConsole();
    if (!::AttachConsole(id)) return {};
    std::vector<std::wstring> rows;
    const HANDLE screen = ::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, 0, nullptr);
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (screen != INVALID_HANDLE_VALUE && ::GetConsoleScreenBufferInfo(screen, &info)) {
        for (SHORT y = info.srWindow.Top; y <= std::min(info.dwCursorPosition.Y, info.srWindow.Bottom); ++y) {
            std::wstring row(static_cast<std::size_t>(info.srWindow.Right - info.srWindow.Left + 1), L' ');
            DWORD read = 0;
            ::ReadConsoleOutputCharacterW(screen, row.data(), static_cast<DWORD>(row.size()), {info.srWindow.Left, y},
                                          &read);
            rows.push_back(row.substr(0, row.find_last_not_of(L' ') + 1));
        }
    }
    if (screen != INVALID_HANDLE_VALUE) ::CloseHandle(screen);
    ::FreeConsole();
    return rows;
}

// Presses Enter in the console of process `id`.
void PressEnter(DWORD id)
{
    ::FreeConsole();
    ASSERT_TRUE(::AttachConsole(id));
    const HANDLE input = ::CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       nullptr, OPEN_EXISTING, 0, nullptr);
    INPUT_RECORD keys[2] = {};
    for (int i = 0; i < 2; ++i) {
        keys[i].EventType = KEY_EVENT;
        keys[i].Event.KeyEvent.bKeyDown = i == 0;
        keys[i].Event.KeyEvent.wRepeatCount = 1;
        keys[i].Event.KeyEvent.wVirtualKeyCode = VK_RETURN;
        keys[i].Event.KeyEvent.uChar.UnicodeChar = L'\r';
    }
    DWORD written = 0;
    EXPECT_TRUE(::WriteConsoleInputW(input, keys, 2, &written));
    ::CloseHandle(input);
    ::FreeConsole();
}

// Started as Explorer starts it on a double-click: in a console of its own,
// without arguments. It says what it is and waits, and writes nothing.
TEST(Console, ADoubleClickedProgramExplainsItselfAndWritesNothing)
{
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = temp + std::wstring(L"popgen-double-click-") + std::to_wstring(::GetCurrentProcessId());
    const std::wstring files = folder + L"\\files";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    ASSERT_TRUE(::CreateDirectoryW(files.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS);
    const std::wstring list = files + L"\\game_list.txt";
    const std::wstring program = L"" POPGEN_CLI_PROGRAM;
    ::FreeConsole();  // as Explorer, which has no console

    // Reading its console means joining it, and a program that counts two
    // processes in its console was not double-clicked: the first visit
    // waits until the program has surely counted, longer at each attempt.
    for (const DWORD firstVisit : {300, 1500, 6000}) {
        SCOPED_TRACE("first visit after " + std::to_string(firstVisit) + " ms");
        ::DeleteFileW(list.c_str());
        std::wstring commandLine = L"\"" + program + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USECOUNTCHARS;  // a new console of Windows 7 and 8.1
        startup.dwXCountChars = 80;
        startup.dwYCountChars = 25;
        PROCESS_INFORMATION process{};
        ASSERT_TRUE(::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE,
                                     nullptr, folder.c_str(), &startup, &process))
            << "error " << ::GetLastError();
        const bool endedAtOnce = ::WaitForSingleObject(process.hProcess, firstVisit) == WAIT_OBJECT_0;
        const auto prompted = [](const std::vector<std::wstring>& rows) {
            return std::any_of(rows.begin(), rows.end(), [](const std::wstring& row) {
                return row.find(L"Press Enter") != std::wstring::npos;
            });
        };
        std::vector<std::wstring> rows;
        for (int i = 0; i < 200 && !endedAtOnce && !prompted(rows); ++i) {
            rows = ConsoleRows(process.dwProcessId);
            if (!prompted(rows)) ::Sleep(50);
        }
        std::wstring screen;  // the rows as shown, for the messages
        for (const std::wstring& row : rows) screen += row + L"|\n";
        const bool explained =
            !rows.empty() && rows.front().rfind(L"population-generator-cli is a command-line program", 0) == 0;
        const bool waited = ::WaitForSingleObject(process.hProcess, 300) == WAIT_TIMEOUT;
        if (waited) {
            PressEnter(process.dwProcessId);
            EXPECT_EQ(::WaitForSingleObject(process.hProcess, 10'000), WAIT_OBJECT_0) << "Enter did not end it";
            ::TerminateProcess(process.hProcess, 1);  // if it did not end
        }
        DWORD status = 0;
        ::GetExitCodeProcess(process.hProcess, &status);
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
        const bool wrote = ::GetFileAttributesW(list.c_str()) != INVALID_FILE_ATTRIBUTES;
        if (!endedAtOnce && !explained && !waited && firstVisit < 6000) continue;  // it may have counted this test

        EXPECT_FALSE(endedAtOnce) << "it did not wait (exit status " << status << ")";
        // Its first screen: the explanation from the top row, an example
        // to type, the prompt last; nothing scrolled away or broken at the
        // console's edge, no option list.
        const auto whole = [](const std::wstring& row) { return row.size() < 80; };
        EXPECT_TRUE(explained && std::all_of(rows.begin(), rows.end(), whole) &&
                    std::count(rows.begin(), rows.end(), L"  population-generator-cli --players 50 --seed 7") == 1 &&
                    screen.find(L"population-generator.exe") != std::wstring::npos &&
                    screen.find(L"--depth-black") == std::wstring::npos)
            << "the first screen of an 80x25 console shows:\n" << screen;
        EXPECT_EQ(rows.empty() ? std::wstring() : rows.back(), L"Press Enter to close this window.");
        EXPECT_TRUE(waited);
        EXPECT_EQ(status, 2U);
        EXPECT_FALSE(wrote) << "it wrote the list";
        break;
    }
    ::DeleteFileW(list.c_str());
    ::RemoveDirectoryW(files.c_str());
    ::RemoveDirectoryW(folder.c_str());
}

TEST(Console, OnlyADoubleClickWithoutArgumentsExplainsItself)
{
    struct Case {
        const char* start;
        cli::ConsoleUse use;
        bool explains;
    };
    const Case cases[] = {
        {"double-click", {0, 1, true}, true},
        {"double-click with a file dropped on it", {1, 1, true}, false},
        {"Command Prompt or PowerShell", {0, 2, true}, false},
        {"a program that reads its output", {0, 1, false}, false},
        {"no console at all", {0, 0, false}, false},
    };
    for (const Case& c : cases) EXPECT_EQ(cli::StartedByDoubleClick(c.use), c.explains) << c.start;
}

// A launcher that gives the program a console but reads its output: no
// explanation, no waiting for Enter. (Here this process alone in a console
// of its own, its output first that console, then a pipe.)
TEST(Console, ALauncherThatReadsTheOutputGetsNoExplanation)
{
    ::FreeConsole();
    ASSERT_TRUE(::AllocConsole()) << "error " << ::GetLastError();
    EXPECT_TRUE(cli::StartedByDoubleClick(cli::CurrentConsoleUse(0))) << "its output the console";
    HANDLE read = nullptr;
    HANDLE write = nullptr;
    ASSERT_TRUE(::CreatePipe(&read, &write, nullptr, 0));
    ::SetStdHandle(STD_OUTPUT_HANDLE, write);
    EXPECT_FALSE(cli::StartedByDoubleClick(cli::CurrentConsoleUse(0))) << "its output a pipe";
    ::CloseHandle(read);
    ::CloseHandle(write);
    ::FreeConsole();
}

}  // namespace
