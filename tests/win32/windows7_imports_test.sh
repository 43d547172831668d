#!/usr/bin/env bash
# The Windows programs start on Windows 7 SP1 only when every function they
# import by name is one that Windows 7 SP1 exports: the loader refuses a
# program that imports anything newer. Each program's import table, as
# objdump reads it, is checked against the functions below, which Windows 7
# SP1 is known to export. A newer function must be looked up at run time
# (GetProcAddress) with a fallback, as win32/system_calls.cpp does; a
# function that Windows 7 SP1 has may be added here. objdump's import lines
# are read in the layouts of binutils 2.40 and 2.44; a program of which
# fewer than 10 imports are read fails, as does an import line in any other
# layout. Each program may import only from the DLLs listed for it below.
#
# Usage: windows7_imports_test.sh OBJDUMP [NAME=]PROGRAM.exe...
set -euo pipefail

allowed='
COMCTL32.DLL: DefSubclassProc RemoveWindowSubclass SetWindowSubclass
GDI32.DLL: CreateFontIndirectW DeleteObject GetDeviceCaps GetTextExtentPoint32W GetTextMetricsW
GDI32.DLL: SelectObject
KERNEL32.DLL: AddVectoredExceptionHandler CloseHandle CreateEventA CreateFileW CreateHardLinkW
KERNEL32.DLL: CreateSemaphoreA DeleteCriticalSection DeleteFileW DuplicateHandle
KERNEL32.DLL: EnterCriticalSection FindFirstVolumeW FindNextVolumeW FindVolumeClose FlushFileBuffers
KERNEL32.DLL: FormatMessageA FormatMessageW GetCommandLineW GetCurrentDirectoryW GetCurrentProcess
KERNEL32.DLL: GetCurrentProcessId GetCurrentThread GetCurrentThreadId GetDiskFreeSpaceExW
KERNEL32.DLL: GetFileAttributesW GetFileInformationByHandle GetFileSizeEx GetFileType
KERNEL32.DLL: GetFinalPathNameByHandleW GetFullPathNameW GetHandleInformation GetLastError
KERNEL32.DLL: GetModuleHandleA GetModuleHandleW GetProcAddress GetProcessAffinityMask GetStartupInfoA GetStartupInfoW
KERNEL32.DLL: GetSystemTimeAsFileTime GetTempPathW GetThreadContext GetThreadPriority GetTickCount GetTickCount64
KERNEL32.DLL: GetVolumeInformationW GlobalLock GlobalSize GlobalUnlock InitializeCriticalSection
KERNEL32.DLL: IsDBCSLeadByteEx IsDebuggerPresent LeaveCriticalSection LoadLibraryW LocalFree
KERNEL32.DLL: MoveFileExW MulDiv MultiByteToWideChar OpenProcess OutputDebugStringA QueryPerformanceCounter
KERNEL32.DLL: QueryPerformanceFrequency RaiseException
KERNEL32.DLL: ReleaseSemaphore RemoveDirectoryW RemoveVectoredExceptionHandler ResetEvent
KERNEL32.DLL: ResumeThread RtlCaptureContext FreeLibrary LoadLibraryA
KERNEL32.DLL: SetDllDirectoryW SetEndOfFile SetEvent SetFilePointer SetLastError SetProcessAffinityMask
KERNEL32.DLL: SetThreadContext SetThreadPriority SetUnhandledExceptionFilter Sleep SuspendThread
KERNEL32.DLL: TlsAlloc TlsGetValue TlsSetValue TryEnterCriticalSection VirtualProtect VirtualQuery
KERNEL32.DLL: WaitForMultipleObjects WaitForSingleObject WideCharToMultiByte WriteFile
KERNEL32.DLL: lstrcpynW
KERNEL32.DLL: FlushConsoleInputBuffer GetConsoleMode GetConsoleProcessList GetStdHandle ReadConsoleW
KERNEL32.DLL: WriteConsoleW
MSVCRT.DLL: ___lc_codepage_func ___mb_cur_max_func __getmainargs __initenv __iob_func __set_app_type
MSVCRT.DLL: __setusermatherr __wgetmainargs __winitenv _acmdln _amsg_exit _assert _beginthreadex
MSVCRT.DLL: _cexit _close _commode _endthreadex _errno _fdopen _filelengthi64 _fileno _findclose
MSVCRT.DLL: _fmode _fstat64 _fstati64 _get_osfhandle _initterm _lseeki64 _onexit _read _setjmp _strdup
MSVCRT.DLL: _strtoi64 _telli64 _ultoa _vscprintf _vsnprintf _wchdir _wchmod _wcmdln _wfindfirst64 _wfindnext64 _wfopen _wfullpath
MSVCRT.DLL: _wgetcwd _wmkdir _wopen _write _wstat64 _wutime64 abort calloc exit fclose fflush
MSVCRT.DLL: fgetpos fopen fprintf fputc fputs fread free fsetpos fwrite getc getenv getwc islower isprint
MSVCRT.DLL: isspace isupper iswctype localeconv longjmp malloc memchr memcmp memcpy memmove memset
MSVCRT.DLL: printf putc putwc realloc setlocale setvbuf signal strcmp strcoll strerror strftime
MSVCRT.DLL: strchr strlen strncmp strtoul strxfrm towlower towupper ungetc ungetwc vfprintf wcscat wcscmp wcscoll
MSVCRT.DLL: wcscpy wcsftime wcslen wcsxfrm __mb_cur_max _iob atoi _wutime _wfindfirst _wfindnext
OLE32.DLL: CoCreateInstance CoInitializeEx CoUninitialize
SHELL32.DLL: CommandLineToArgvW
USER32.DLL: AdjustWindowRectEx CloseClipboard CreateWindowExW DefWindowProcW DispatchMessageW
USER32.DLL: GetClipboardData GetDC GetDlgCtrlID GetDlgItem GetFocus GetKeyState GetMessageW
USER32.DLL: GetMonitorInfoW GetParent GetWindowRect MonitorFromPoint MonitorFromWindow
USER32.DLL: GetSystemMetrics GetWindowLongW GetWindowTextLengthW GetWindowTextW IsChild
USER32.DLL: IsClipboardFormatAvailable IsDialogMessageW LoadCursorW LoadImageW MessageBoxW
USER32.DLL: OpenClipboard PostMessageW PostQuitMessage RegisterClassExW ReleaseDC SendMessageW SetFocus
USER32.DLL: SetWindowLongW SetWindowPos ShowWindow SystemParametersInfoW TranslateMessage
USER32.DLL: UpdateWindow
'
# Besides, what only 64-bit Windows 7 SP1 exports (the x64 unwinding of
# 64-bit programs, and the pointer-sized window data calls, which 32-bit
# Windows has as macros for GetWindowLongW and SetWindowLongW), and what
# only 32-bit Windows 7 SP1 does (msvcrt's x86 start-up and setjmp). A
# program's machine is the format objdump names. 32-bit programs import
# LoadLibraryA for libgcc's unwind tables, which load libgcc's DLL only when
# it is loaded already: never, in a static program.
allowed_pei_x86_64='
KERNEL32.DLL: RtlLookupFunctionEntry RtlUnwindEx RtlVirtualUnwind __C_specific_handler
USER32.DLL: GetWindowLongPtrW SetWindowLongPtrW
'
allowed_pei_i386='
MSVCRT.DLL: __p__acmdln __p__commode __p__fmode __p__wcmdln _setjmp3
'
# The DLLs each program may import at all: system DLLs that Windows loads
# from its own folder only (KnownDLLs), and COMCTL32.DLL, which the manifest
# binds to the system's version 6. Any other DLL could be found beside the
# program, where anyone may have dropped one.
dlls='
population-generator.exe: COMCTL32.DLL GDI32.DLL KERNEL32.DLL MSVCRT.DLL OLE32.DLL USER32.DLL
population-generator-cli.exe: KERNEL32.DLL MSVCRT.DLL SHELL32.DLL
'
# One "LIBRARY.DLL Function" a line.
pairs() { awk -F': ' 'NF == 2 { n = split($2, names, " "); for (i = 1; i <= n; ++i) print $1, names[i] }'; }

objdump=$1
shift
status=0
for program in "$@"; do
    # NAME=PROGRAM.exe checks PROGRAM.exe against the DLLs of NAME.
    name=$(basename "${program%%=*}") program=${program#*=}
    # Each import as "LIBRARY.DLL Function"; one by ordinal (no name) as
    # "LIBRARY.DLL #ordinal", so that it fails too. An import line in a layout
    # not known here is kept as it is and fails as well.
    dump=$("$objdump" -p "$program")
    format=$(sed -n 's/.*: *file format //p' <<<"$dump" | head -n 1)
    case "$format" in
        pei-x86-64) allowed_pairs=$(pairs <<<"$allowed$allowed_pei_x86_64") ;;
        pei-i386) allowed_pairs=$(pairs <<<"$allowed$allowed_pei_i386") ;;
        *) allowed_pairs=$(pairs <<<"$allowed") ;;
    esac
    imports=$(awk '
        /^The / { library = "" }
        /^\tDLL Name: / { library = toupper($3); next }
        library == "" || !/^\t[0-9a-f]+[\t ]/ { next }
        # binutils up to 2.43: address, hint (decimal), name.
        /^\t[0-9a-f]+\t +[0-9]+ +[^ ]+$/ { print library, $3; next }
        /^\t[0-9a-f]+\t +[0-9]+ *$/ { print library, "#" $2; next }
        # binutils 2.44 on: address, ordinal ("<none>" by name), hint (hex), name.
        /^\t[0-9a-f]+ +<none> +[0-9a-f]+ +[^ ]+$/ { print library, $4; next }
        /^\t[0-9a-f]+ +[0-9]+ +<none>/ { print library, "#" $2; next }
        { print library, "unreadable line:", $0 }' <<<"$dump")
    count=$(grep -c . <<<"$imports" || true)
    if [ "$count" -lt 10 ]; then
        echo "FAIL: read only $count imports from $program; has objdump's output changed?" >&2
        status=1
        continue
    fi
    own_dlls=$(awk -v program="$name:" '$1 == program { for (i = 2; i <= NF; ++i) print $i }' <<<"$dlls")
    foreign=$(cut -d' ' -f1 <<<"$imports" | sort -u | grep -vxF -f <(echo "${own_dlls:-none}") || true)
    unknown=$(grep -vxF -f <(echo "$allowed_pairs") <<<"$imports" || true)
    failed=$status status=0
    if ! grep -qxF "KERNEL32.DLL SetDllDirectoryW" <<<"$imports"; then
        # Only the start-up that restricts the DLL search (dll_search.h) imports it.
        echo "FAIL: $name does not restrict its DLL search at start-up (no SetDllDirectoryW)" >&2
        status=1
    fi
    if [ -z "$own_dlls" ] || [ -n "$foreign" ]; then
        echo "FAIL: $name imports from a DLL it may not:" $foreign "(it may: ${own_dlls:-none listed})" >&2
        status=1
    fi
    if [ -n "$unknown" ]; then
        echo "FAIL: $name imports what Windows 7 SP1 may not export:" >&2
        sed 's/^/  /' <<<"$unknown" >&2
        status=1
    fi
    [ "$status" -eq 1 ] || echo "PASS: $name ($format): $count imports, all exported by Windows 7 SP1, from its own DLLs"
    status=$((status | failed))
done
exit "$status"
