// Times the start-up of Windows programs that open a window captioned
// "Population generator": from starting the process until that window is
// visible. The programs are started in turn, one round to warm up and then
// STARTS rounds; each is closed before the next starts.
//
// startup_timer STARTS PROGRAM...   prints each program's median, fastest
// and slowest start in milliseconds, and its median over the last one's.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

struct Search {
    DWORD process;
    HWND found;
};

BOOL CALLBACK FindShown(HWND window, LPARAM data)
{
    auto& search = *reinterpret_cast<Search*>(data);
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    wchar_t caption[64] = {};
    ::GetWindowTextW(window, caption, 64);
    if (process == search.process && ::IsWindowVisible(window) && std::wcscmp(caption, L"Population generator") == 0) {
        search.found = window;
        return FALSE;
    }
    return TRUE;
}

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to)
{
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Milliseconds until the program's window shows, or a negative number when
// it never does.
double TimeStart(const std::wstring& program)
{
    std::wstring commandLine = L"\"" + program + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    LARGE_INTEGER start, now;
    ::QueryPerformanceCounter(&start);
    if (!::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &process)) {
        std::fwprintf(stderr, L"cannot start %ls (error %lu)\n", program.c_str(), ::GetLastError());
        return -1;
    }
    Search search{process.dwProcessId, nullptr};
    double elapsed = -1;
    for (;;) {
        ::EnumWindows(FindShown, reinterpret_cast<LPARAM>(&search));
        ::QueryPerformanceCounter(&now);
        if (search.found != nullptr) {
            elapsed = 1000 * Seconds(start, now);
            break;
        }
        if (::WaitForSingleObject(process.hProcess, 1) != WAIT_TIMEOUT || Seconds(start, now) > 60) break;
    }
    if (search.found != nullptr) ::PostMessageW(search.found, WM_CLOSE, 0, 0);
    if (::WaitForSingleObject(process.hProcess, 20000) != WAIT_OBJECT_0) ::TerminateProcess(process.hProcess, 1);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return elapsed;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const int starts = argc >= 3 ? std::wcstol(argv[1], nullptr, 10) : 0;
    if (starts < 1) {
        std::fwprintf(stderr, L"usage: startup_timer STARTS PROGRAM...\n");
        return 2;
    }
    const std::vector<std::wstring> programs(argv + 2, argv + argc);
    std::vector<std::vector<double>> times(programs.size());
    for (int round = -1; round < starts; ++round) {
        for (std::size_t i = 0; i < programs.size(); ++i) {
            const double milliseconds = TimeStart(programs[i]);
            if (milliseconds < 0) {
                std::fwprintf(stderr, L"%ls showed no window\n", programs[i].c_str());
                return 1;
            }
            if (round >= 0) times[i].push_back(milliseconds);
        }
    }
    std::vector<double> medians;
    for (auto& series : times) {
        std::sort(series.begin(), series.end());
        const std::size_t middle = series.size() / 2;
        medians.push_back(series.size() % 2 ? series[middle] : (series[middle - 1] + series[middle]) / 2);
    }
    std::wprintf(L"%d starts each, alternated; milliseconds until the window shows\n", starts);
    for (std::size_t i = 0; i < programs.size(); ++i) {
        std::wprintf(L"median %7.1f  fastest %7.1f  slowest %7.1f  x%.3f  %ls\n", medians[i], times[i].front(),
                     times[i].back(), medians[i] / medians.back(), programs[i].c_str());
    }
    return 0;
}
