#include <windows.h>

#include "generation/platform/dll_search.h"

namespace generation {

DllSearch LoadDllsFromSystemFolderOnly(bool withoutSetDefaultDllDirectories) noexcept
{
    // Looked up, not imported: a program that imports it does not start on
    // a Windows 7 SP1 without the update. kernel32.dll is in every process.
    using SetDefaultDllDirectoriesFunction = BOOL WINAPI(DWORD);
    constexpr DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
    HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll");
    auto* const setDefault = kernel32 == nullptr || withoutSetDefaultDllDirectories
                                 ? nullptr
                                 : reinterpret_cast<SetDefaultDllDirectoriesFunction*>(reinterpret_cast<void (*)()>(
                                       ::GetProcAddress(kernel32, "SetDefaultDllDirectories")));
    if (setDefault != nullptr && setDefault(kSearchSystem32)) return DllSearch::kSystemFolderOnly;
    if (::SetDllDirectoryW(L"")) return DllSearch::kWithoutCurrentFolder;
    return DllSearch::kUnchanged;
}

}  // namespace generation
