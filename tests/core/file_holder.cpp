// Holds a file open for a while without letting others write or delete it,
// as a scanner or a backup may: file_holder PATH MILLISECONDS EVENT. EVENT
// is the number of an inherited event handle, set once the file is held, so
// that the caller need not probe the file (a probe's open could itself make
// this one fail). Exits with the system's error code when it cannot open
// the file or set the event, 87 for wrong arguments.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cwchar>

int wmain(int argc, wchar_t** argv)
{
    if (argc != 4) return ERROR_INVALID_PARAMETER;
    const auto held = reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(std::wcstoull(argv[3], nullptr, 10)));
    const HANDLE file = ::CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return static_cast<int>(::GetLastError());
    if (!::SetEvent(held)) return static_cast<int>(::GetLastError());
    ::Sleep(static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10)));
    ::CloseHandle(file);
    return 0;
}
