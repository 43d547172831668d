// Runs the programs' start-up (or not), then loads a DLL by its bare name
// and says what the start-up did and whether the DLL was found.
// Usage: dll_search_probe none|start|fallback|refused NAME.dll
// "fallback" runs the start-up as on a Windows 7 without
// SetDefaultDllDirectories, "refused" as on a system where that call fails,
// and both also say what it handed SetDllDirectoryW:
// Wine, unlike Windows, still searches the current folder after
// SetDllDirectoryW(L""), so there the load alone cannot tell.
#include <windows.h>

#include <cstdio>
#include <string>
#include <string_view>

#include "support/import_patch.h"
#include "generation/platform/dll_search.h"

namespace {

std::string dllDirectory = "not called";
decltype(&::GetProcAddress) lookUp = nullptr;  // the system's own

BOOL WINAPI RefusingSetDefaultDllDirectories(DWORD) { return FALSE; }

FARPROC WINAPI LookUpRefusingSetDefault(HMODULE module, const char* name)
{
    if (std::string_view(name) != "SetDefaultDllDirectories") return lookUp(module, name);
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&RefusingSetDefaultDllDirectories));
}

BOOL WINAPI RecordingSetDllDirectoryW(const wchar_t* folder)
{
    dllDirectory = folder == nullptr ? "null" : "\"" + std::string(folder, folder + ::lstrlenW(folder)) + "\"";
    // The system's own, not through the patched import.
    using Function = BOOL WINAPI(const wchar_t*);
    static auto* const real = reinterpret_cast<Function*>(
        reinterpret_cast<void (*)()>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "SetDllDirectoryW")));
    return real(folder);
}

}  // namespace

int wmain(int argc, wchar_t* argv[])
{
    if (argc != 3) return 2;
    const std::wstring_view mode = argv[1];
    using generation::DllSearch;
    DllSearch search = DllSearch::kUnchanged;
    if (mode == L"start") search = generation::LoadDllsFromSystemFolderOnly();
    if (mode == L"fallback" || mode == L"refused") {
        lookUp = ::GetProcAddress;  // before the patch
        const ImportPatch patch("SetDllDirectoryW", reinterpret_cast<const void*>(&RecordingSetDllDirectoryW));
        const ImportPatch refusing("GetProcAddress", reinterpret_cast<const void*>(&LookUpRefusingSetDefault));
        search = generation::LoadDllsFromSystemFolderOnly(mode == L"fallback");
        std::printf("SetDllDirectoryW got %s, ",
                    patch.Applied() && refusing.Applied() ? dllDirectory.c_str() : "not patched");
    }
    std::printf("%s: %s\n",
                search == DllSearch::kSystemFolderOnly        ? "system folder only"
                : search == DllSearch::kWithoutCurrentFolder ? "without the current folder"
                                                              : "unchanged",
                ::LoadLibraryW(argv[2]) != nullptr ? "loaded" : "not loaded");
    return 0;
}
