#pragma once

namespace generation {

// Where Windows looks for the DLLs that the process loads by name.
enum class DllSearch {
    kSystemFolderOnly,       // SetDefaultDllDirectories: the system folder alone
    kWithoutCurrentFolder,   // SetDllDirectoryW(L""): the current folder taken out
    kUnchanged,              // neither call worked (or not Windows)
};

// The first thing each program does, before any window, console or file
// call: DLLs come from the system folder only, so that a DLL of a system
// name dropped beside the program (in Downloads, say) is never loaded.
// Windows 7 SP1 without update KB2533623 lacks SetDefaultDllDirectories;
// there, and whenever `withoutSetDefaultDllDirectories` is set (for the
// tests), at least the current folder is taken out of the search. Does
// nothing on other systems.
// The load configuration's dependent-load flag is not relied on: binutils
// 2.40 and mingw-w64 10 write no load configuration, and in the layout that
// Windows 7 SP1 reads those two bytes are reserved, to be zero. The imports
// need no such flag: they are system DLLs, which Windows loads from its own
// folder (KnownDLLs), and COMCTL32, bound by the manifest.
#ifdef _WIN32
DllSearch LoadDllsFromSystemFolderOnly(bool withoutSetDefaultDllDirectories = false) noexcept;
#else
inline DllSearch LoadDllsFromSystemFolderOnly(bool = false) noexcept { return DllSearch::kUnchanged; }
#endif

}  // namespace generation
