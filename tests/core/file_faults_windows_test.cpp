// The population list on Windows: where it lands, how it replaces an
// existing list, and what keeps an existing list from being replaced.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "generation/failures.h"
#include "generation/platform/file_replacement.h"
#include "generation/population_list.h"
#include "support/import_patch.h"
#include "test_support.h"
#include "tests/support/list_layout.h"

namespace {

using generation::CoefficientSampler;
using generation::FileFailure;
using generation::GenerationParameters;
using generation::GenerationRun;
using generation::PopulationListPath;
using testing_support::CrlfLines;
using testing_support::FolderNames;
using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;

const std::string kPrevious = "\"previous population\"\r\n 1\r\n";

std::string Golden() { return ReadBytes(std::string(POPGEN_TEST_DATA) + "/default_game_list.txt"); }

// The FileFailure that a run in `dir` raises, or none.
std::optional<FileFailure> RunFailure(const std::filesystem::path& dir,
                                      const GenerationParameters& parameters = GenerationParameters())
{
    CoefficientSampler sampler;
    try {
        GenerationRun(parameters, sampler, dir);
    } catch (const FileFailure& failure) {
        return failure;
    }
    return std::nullopt;
}

// A reason as the system words it: one line, without its full stop.
void ExpectSystemReason(const std::string& reason)
{
    EXPECT_FALSE(reason.empty());
    EXPECT_EQ(reason.find_first_of("\r\n"), std::string::npos) << reason;
    EXPECT_NE(reason.back(), '.') << reason;
    EXPECT_EQ(reason.find("system error"), std::string::npos) << "no system text for the error: " << reason;
}

TEST(WindowsPaths, TheListPathAppendsFilesAndGameListWithBackslashes)
{
    const std::wstring folders[] = {
        L"C:\\Users\\player\\evolution",
        L"D:\\Schach Turnier\\\u00dcbung",  // blanks and a non-ASCII letter
        L"\\\\server\\share\\populations",
        L"C:\\Users\\player\\evolution/mixed",
    };
    for (const std::wstring& folder : folders) {
        EXPECT_EQ(PopulationListPath(folder).native(), folder + L"\\files\\game_list.txt");
    }
}

TEST(WindowsPaths, TheProcessRunWritesToTheCurrentFolderWithBackslashes)
{
    TempDir dir;
    dir.WithFilesFolder();
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
    const std::wstring current = std::filesystem::current_path().native();
    EXPECT_NO_THROW(GenerationRun(GenerationParameters()));
    std::filesystem::current_path(previous);

    // Read back through the text that the path is formed from, not through
    // std::filesystem's own joining.
    std::ifstream in(std::filesystem::path(current + L"\\files\\game_list.txt"), std::ios::binary);
    ASSERT_TRUE(in.good());
    const std::string bytes(std::istreambuf_iterator<char>(in), {});
    const std::vector<std::string> lines = CrlfLines(bytes);
    ASSERT_EQ(lines.size(), list_layout::Lines(30));
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + list_layout::Lines(1)), list_layout::Head());
    EXPECT_EQ(FolderNames(dir.Path() / "files"), std::vector<std::string>{"game_list.txt"});
}

TEST(WindowsFiles, AnExistingListIsReplacedWhole)
{
    const std::string existing[] = {"", kPrevious, std::string(1 << 20, 'x')};
    for (const std::string& bytes : existing) {
        SCOPED_TRACE("existing list of " + std::to_string(bytes.size()) + " bytes");
        TempDir dir;
        dir.WithFilesFolder();
        WriteBytes(dir.ListPath(), bytes);
        EXPECT_FALSE(RunFailure(dir.Path()));
        EXPECT_TRUE(ReadBytes(dir.ListPath()) == Golden());
        EXPECT_EQ(FolderNames(dir.Path() / "files"), std::vector<std::string>{"game_list.txt"});
    }
}

TEST(WindowsFiles, AReadOnlyListIsLeftAlone)
{
    TempDir dir;
    dir.WithFilesFolder();
    WriteBytes(dir.ListPath(), kPrevious);
    ASSERT_TRUE(::SetFileAttributesW(dir.ListPath().c_str(), FILE_ATTRIBUTE_READONLY));
    const std::optional<FileFailure> failure = RunFailure(dir.Path());
    ::SetFileAttributesW(dir.ListPath().c_str(), FILE_ATTRIBUTE_NORMAL);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->Path(), dir.ListPath());
    EXPECT_EQ(failure->Reason(), "it is read-only");
    EXPECT_EQ(ReadBytes(dir.ListPath()), kPrevious);
    EXPECT_EQ(FolderNames(dir.Path() / "files"), std::vector<std::string>{"game_list.txt"});
}

TEST(WindowsFiles, AListHeldOpenByAnotherProgramIsLeftAlone)
{
    // How another program may hold the list: sharing nothing, or letting
    // others only read it, as an editor or a running evolution might.
    struct Holder {
        const char* name;
        DWORD access;
        DWORD share;
    };
    const Holder holders[] = {
        {"reading, sharing nothing", GENERIC_READ, 0},
        {"writing, sharing nothing", GENERIC_WRITE, 0},
        {"reading, sharing reading", GENERIC_READ, FILE_SHARE_READ},
        {"reading, sharing reading and writing", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE},
    };
    for (const Holder& holder : holders) {
        SCOPED_TRACE(holder.name);
        TempDir dir;
        dir.WithFilesFolder();
        WriteBytes(dir.ListPath(), kPrevious);
        const HANDLE held = ::CreateFileW(dir.ListPath().c_str(), holder.access, holder.share, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        const std::optional<FileFailure> failure = RunFailure(dir.Path());
        ::CloseHandle(held);
        ASSERT_TRUE(failure);
        EXPECT_EQ(failure->Path(), dir.ListPath());
        ExpectSystemReason(failure->Reason());
        EXPECT_EQ(ReadBytes(dir.ListPath()), kPrevious);
        EXPECT_EQ(FolderNames(dir.Path() / "files"), std::vector<std::string>{"game_list.txt"});
    }
}

TEST(WindowsFiles, ALinkedListIsReplacedThroughTheLink)
{
    TempDir dir;
    dir.WithFilesFolder();
    std::filesystem::create_directories(dir.Path() / "elsewhere");
    const std::filesystem::path real = dir.Path() / "elsewhere" / "population.txt";
    WriteBytes(real, kPrevious);
    constexpr DWORD kUnprivileged = 0x2;  // SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE
    if (!::CreateSymbolicLinkW(dir.ListPath().c_str(), real.c_str(), kUnprivileged)) {
        GTEST_SKIP() << "this account may not create links (error " << ::GetLastError() << ")";
    }
    // Wine reports success without making the link: there the test says it
    // is skipped rather than passing on a list that is no link.
    const DWORD attributes = ::GetFileAttributesW(dir.ListPath().c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        GTEST_SKIP() << "links are not supported here";
    }
    EXPECT_FALSE(RunFailure(dir.Path()));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.ListPath()));
    EXPECT_TRUE(ReadBytes(real) == Golden());
    EXPECT_EQ(FolderNames(dir.Path() / "elsewhere"), std::vector<std::string>{"population.txt"});
    EXPECT_EQ(FolderNames(dir.Path() / "files"), std::vector<std::string>{"game_list.txt"});
}

TEST(WindowsFiles, AMissingFolderOnAnotherDriveOrShareFails)
{
    // Beside the missing "files" folder of the shared tests: folders whose
    // drive or share does not exist at all.
    const std::filesystem::path folders[] = {L"Q:\\no such folder", L"\\\\no-such-server\\share\\folder"};
    for (const std::filesystem::path& folder : folders) {
        SCOPED_TRACE(folder.string());
        const std::optional<FileFailure> failure = RunFailure(folder);
        ASSERT_TRUE(failure);
        EXPECT_EQ(failure->Path(), PopulationListPath(folder));
    }
}

// A drive with little room is given by the fixture "wine", which mounts a
// small file system as a Wine drive when the machine allows it.
const char* SmallDrive() { return std::getenv("POPGEN_TEST_SMALL_DRIVE"); }

unsigned long long FreeBytes(const std::filesystem::path& folder)
{
    ULARGE_INTEGER available{};
    EXPECT_TRUE(::GetDiskFreeSpaceExW(folder.c_str(), &available, nullptr, nullptr));
    return available.QuadPart;
}

// Takes up all but `room` bytes of the drive.
void FillLeaving(const std::filesystem::path& filler, unsigned long long room)
{
    const unsigned long long free = FreeBytes(filler.parent_path());
    ASSERT_GT(free, room);
    std::ofstream out(filler, std::ios::binary);
    const std::string block(64 * 1024, 'f');
    for (unsigned long long left = free - room; left > 0;) {
        const std::size_t part = static_cast<std::size_t>(std::min<unsigned long long>(left, block.size()));
        out.write(block.data(), static_cast<std::streamsize>(part));
        left -= part;
    }
    out.close();
    ASSERT_TRUE(out.good());
}

TEST(WindowsFiles, AFullDriveKeepsThePreviousList)
{
    // cmake/wine-run names the drive that the fixture "wine" mounted, or why it could not.
    if (const char* why = std::getenv("POPGEN_TEST_NO_SMALL_DRIVE"); SmallDrive() == nullptr && why != nullptr)
        GTEST_SKIP() << "no small drive to fill: " << why;
    ASSERT_NE(SmallDrive(), nullptr) << "no small drive S:, nor why the fixture \"wine\" mounted none";
    // Filling a drive of real size would take long and bother everyone else.
    const unsigned long long free = FreeBytes(SmallDrive());
    ASSERT_LT(free, 64ULL << 20) << SmallDrive() << " is not a small drive";
    const std::filesystem::path root = std::filesystem::path(SmallDrive()) / "popgen-full-drive";
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root / "files");
    WriteBytes(root / "files" / "game_list.txt", kPrevious);
    GenerationParameters largest;
    largest.General(generation::kPlayerCountRow) = "32767";  // about 1.2 MB

    // No room at all, room for part of the first 64 KiB, and room for most
    // of the list.
    for (const unsigned long long room : {0ULL, 16ULL * 1024, 800ULL * 1024}) {
        SCOPED_TRACE("room for " + std::to_string(room) + " bytes");
        FillLeaving(root / "filler", room);
        const std::optional<FileFailure> failure = RunFailure(root, largest);
        std::filesystem::remove(root / "filler");
        ASSERT_TRUE(failure);
        EXPECT_EQ(failure->Path(), root / "files" / "game_list.txt");
        ExpectSystemReason(failure->Reason());
        EXPECT_EQ(ReadBytes(root / "files" / "game_list.txt"), kPrevious);
        EXPECT_EQ(FolderNames(root / "files"), std::vector<std::string>{"game_list.txt"});
    }
    // With the room back, the same run succeeds.
    EXPECT_FALSE(RunFailure(root, largest));
    EXPECT_EQ(CrlfLines(ReadBytes(root / "files" / "game_list.txt")).size(), list_layout::Lines(32767));
    std::filesystem::remove_all(root);
}

// A failing step, injected by pointing this program's import of a system
// call at a stand-in that fails with ERROR_IO_DEVICE on the run's temporary
// file (ImportPatch).
int injected = 0;  // failures the stand-ins made

template <typename Function>
Function* Kernel32(const char* name)
{
    return reinterpret_cast<Function*>(reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), name)));
}

bool IsTemporaryName(std::wstring_view path)
{
    const std::size_t slash = path.find_last_of(L"\\/");
    return path.substr(slash == std::wstring_view::npos ? 0 : slash + 1).starts_with(L".game_list.txt.");
}

bool IsTemporary(HANDLE file)
{
    wchar_t path[MAX_PATH * 2];
    const DWORD size = ::GetFinalPathNameByHandleW(file, path, MAX_PATH * 2, FILE_NAME_NORMALIZED);
    return size > 0 && size < MAX_PATH * 2 && IsTemporaryName(std::wstring_view(path, size));
}

BOOL Fail()
{
    ++injected;
    ::SetLastError(ERROR_IO_DEVICE);
    return FALSE;
}

BOOL WINAPI FailingWriteFile(HANDLE file, LPCVOID bytes, DWORD size, LPDWORD written, LPOVERLAPPED overlapped)
{
    if (IsTemporary(file)) return Fail();
    return Kernel32<decltype(::WriteFile)>("WriteFile")(file, bytes, size, written, overlapped);
}

BOOL WINAPI FailingFlushFileBuffers(HANDLE file)
{
    if (IsTemporary(file)) return Fail();
    return Kernel32<decltype(::FlushFileBuffers)>("FlushFileBuffers")(file);
}

BOOL WINAPI FailingCloseHandle(HANDLE handle)
{
    const bool temporary = IsTemporary(handle);
    const BOOL closed = Kernel32<decltype(::CloseHandle)>("CloseHandle")(handle);
    return temporary ? Fail() : closed;
}

BOOL WINAPI FailingMoveFileExW(LPCWSTR from, LPCWSTR to, DWORD flags)
{
    if (IsTemporaryName(from)) return Fail();
    return Kernel32<decltype(::MoveFileExW)>("MoveFileExW")(from, to, flags);
}

TEST(WindowsFiles, EachFailingStepIsTheFileFailureAndKeepsThePreviousList)
{
    struct Case {
        const char* function;
        const void* replacement;
        const char* action;
    };
    const Case cases[] = {
        {"WriteFile", reinterpret_cast<const void*>(&FailingWriteFile), "write"},
        {"FlushFileBuffers", reinterpret_cast<const void*>(&FailingFlushFileBuffers), "write"},
        {"CloseHandle", reinterpret_cast<const void*>(&FailingCloseHandle), "write"},
        {"MoveFileExW", reinterpret_cast<const void*>(&FailingMoveFileExW), "replace"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.function);
        TempDir dir;
        dir.WithFilesFolder();
        WriteBytes(dir.ListPath(), kPrevious);
        injected = 0;
        std::optional<FileFailure> failure;
        {
            const ImportPatch patch(c.function, c.replacement);
            ASSERT_TRUE(patch.Applied()) << "this program does not import " << c.function;
            failure = RunFailure(dir.Path());
        }
        EXPECT_EQ(injected, 1);
        ASSERT_TRUE(failure);
        EXPECT_EQ(failure->Path(), dir.ListPath());
        EXPECT_EQ(std::string(failure->what()).rfind(std::string("Could not ") + c.action + " ", 0), 0u) << failure->what();
        ExpectSystemReason(failure->Reason());
        EXPECT_EQ(ReadBytes(dir.ListPath()), kPrevious);
        EXPECT_EQ(FolderNames(dir.Path() / "files"), std::vector<std::string>{"game_list.txt"});
    }
}

}  // namespace

// Another program holding the list without letting others delete it: a
// scanner that lets go after a moment, and one that keeps it.
class HoldingProgram {
public:
    HoldingProgram(const std::filesystem::path& file, int milliseconds)
    {
        wchar_t self[MAX_PATH] = {};
        ::GetModuleFileNameW(nullptr, self, MAX_PATH);
        const std::filesystem::path holder = std::filesystem::path(self).parent_path() / "file_holder.exe";
        // The holder sets this event once it holds the file.
        SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
        const HANDLE held = ::CreateEventW(&inherited, TRUE, FALSE, nullptr);
        if (held == nullptr) {
            ADD_FAILURE() << "cannot create an event (error " << ::GetLastError() << ")";
            return;
        }
        std::wstring commandLine = L"\"" + holder.native() + L"\" \"" + file.native() + L"\" " +
                                   std::to_wstring(milliseconds) + L" " +
                                   std::to_wstring(reinterpret_cast<UINT_PTR>(held));
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        if (!::CreateProcessW(holder.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                              &startup, &process)) {
            ADD_FAILURE() << "cannot start " << holder << " (error " << ::GetLastError() << ")";
            ::CloseHandle(held);
            return;
        }
        ::CloseHandle(process.hThread);
        process_ = process.hProcess;
        const HANDLE either[] = {held, process_};
        const DWORD woken = ::WaitForMultipleObjects(2, either, FALSE, 30000);
        ::CloseHandle(held);
        if (woken == WAIT_OBJECT_0) return;
        DWORD code = 0;
        if (woken == WAIT_OBJECT_0 + 1 && ::GetExitCodeProcess(process_, &code)) {
            ADD_FAILURE() << "the holding program ended with exit code " << code
                          << " (the system's error code) before it held " << file;
        } else {
            ADD_FAILURE() << "the holding program did not hold " << file << " within 30 s";
        }
    }
    ~HoldingProgram()
    {
        if (process_ == nullptr) return;
        ::TerminateProcess(process_, 0);
        ::WaitForSingleObject(process_, INFINITE);
        ::CloseHandle(process_);
    }
    HoldingProgram(const HoldingProgram&) = delete;
    HoldingProgram& operator=(const HoldingProgram&) = delete;

private:
    HANDLE process_ = nullptr;
};

TEST(WindowsFiles, AListHeldForAMomentIsReplacedOneHeldLongerIsLeftAlone)
{
    for (const int held : {200, 5000}) {
        SCOPED_TRACE("held for " + std::to_string(held) + " ms");
        TempDir dir;
        dir.WithFilesFolder();
        WriteBytes(dir.ListPath(), kPrevious);
        const HoldingProgram holder(dir.ListPath(), held);
        const auto start = std::chrono::steady_clock::now();
        const std::optional<FileFailure> failure = RunFailure(dir.Path());
        const auto elapsed = std::chrono::steady_clock::now() - start;
        if (held < 1000) {
            EXPECT_FALSE(failure) << failure->what();
            EXPECT_TRUE(ReadBytes(dir.ListPath()) == Golden());
        } else {
            ASSERT_TRUE(failure);
            ExpectSystemReason(failure->Reason());
            // About a second of waiting; generously bounded for a busy machine.
            EXPECT_LT(elapsed, std::chrono::seconds(3));
            EXPECT_EQ(ReadBytes(dir.ListPath()), kPrevious);
        }
        EXPECT_EQ(FolderNames(dir.Path() / "files"), std::vector<std::string>{"game_list.txt"});
    }
}

// The rename meeting a scanner on the new file or on the old list: a few
// refusals are waited out, a lasting one is the file failure.
DWORD refusal = ERROR_SUCCESS;
int refusalsLeft = 0;

BOOL WINAPI RefusingMoveFileExW(LPCWSTR from, LPCWSTR to, DWORD flags)
{
    if (IsTemporaryName(from) && refusalsLeft > 0) {
        --refusalsLeft;
        ++injected;
        ::SetLastError(refusal);
        return FALSE;
    }
    return Kernel32<decltype(::MoveFileExW)>("MoveFileExW")(from, to, flags);
}

TEST(WindowsFiles, ARenameRefusedForAMomentIsRetried)
{
    struct Case {
        DWORD code;
        int refusals;
        bool replaced;
    };
    const Case cases[] = {
        {ERROR_SHARING_VIOLATION, 3, true},
        {ERROR_ACCESS_DENIED, 3, true},
        {ERROR_LOCK_VIOLATION, 3, true},
        {ERROR_ACCESS_DENIED, 1000, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("error " + std::to_string(c.code) + ", refused " + std::to_string(c.refusals) + " times");
        TempDir dir;
        dir.WithFilesFolder();
        WriteBytes(dir.ListPath(), kPrevious);
        refusal = c.code;
        refusalsLeft = c.refusals;
        injected = 0;
        std::optional<FileFailure> failure;
        {
            const ImportPatch patch("MoveFileExW", reinterpret_cast<const void*>(&RefusingMoveFileExW));
            ASSERT_TRUE(patch.Applied());
            failure = RunFailure(dir.Path());
        }
        if (c.replaced) {
            EXPECT_FALSE(failure) << failure->what();
            EXPECT_EQ(injected, c.refusals);
            EXPECT_TRUE(ReadBytes(dir.ListPath()) == Golden());
        } else {
            ASSERT_TRUE(failure);
            EXPECT_EQ(std::string(failure->what()).rfind("Could not replace ", 0), 0u) << failure->what();
            EXPECT_GT(injected, 1);
            EXPECT_EQ(ReadBytes(dir.ListPath()), kPrevious);
        }
        EXPECT_EQ(FolderNames(dir.Path() / "files"), std::vector<std::string>{"game_list.txt"});
    }
}

// A scanner on the list during the check, then on the new file through the
// rename and its deletion; the waits are recorded, not slept.
int checkRefusals = 0;
int deletionRefusals = 0;
std::vector<DWORD> slept;
void WINAPI CountingSleep(DWORD milliseconds) { slept.push_back(milliseconds); }
bool Refused(int& left) { return left > 0 && (--left, ::SetLastError(ERROR_SHARING_VIOLATION), true); }

HANDLE WINAPI RefusingCreateFileW(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                  DWORD disposition, DWORD flags, HANDLE pattern)
{
    if ((access & DELETE) != 0 && Refused(checkRefusals)) return INVALID_HANDLE_VALUE;  // only the check asks for it
    return Kernel32<decltype(::CreateFileW)>("CreateFileW")(path, access, share, security, disposition, flags, pattern);
}

BOOL WINAPI RefusingDeleteFileW(LPCWSTR path)
{
    if (IsTemporaryName(path) && Refused(deletionRefusals)) return FALSE;
    return Kernel32<decltype(::DeleteFileW)>("DeleteFileW")(path);
}

TEST(WindowsFiles, TheCheckAndTheRenameWaitASecondInAllTheDeletionItsOwn)
{
    TempDir dir;
    dir.WithFilesFolder();
    WriteBytes(dir.ListPath(), kPrevious);
    checkRefusals = 4;     // 10 + 20 + 40 + 80 ms of the second
    deletionRefusals = 3;  // 10 + 20 + 40 ms
    refusal = ERROR_SHARING_VIOLATION;
    refusalsLeft = 1000;
    slept.clear();
    {
        const ImportPatch patches[] = {{"Sleep", reinterpret_cast<const void*>(&CountingSleep)},
                                       {"CreateFileW", reinterpret_cast<const void*>(&RefusingCreateFileW)},
                                       {"MoveFileExW", reinterpret_cast<const void*>(&RefusingMoveFileExW)},
                                       {"DeleteFileW", reinterpret_cast<const void*>(&RefusingDeleteFileW)}};
        EXPECT_TRUE(RunFailure(dir.Path()));
    }
    // Steps that double from 10 ms up to 200 ms, each wait starting afresh;
    // the check and the rename share the second.
    const std::vector<DWORD> steps{10, 20, 40, 80, 10, 20, 40, 80, 160, 200, 200, 140, 10, 20, 40};
    EXPECT_EQ(slept, steps);
    EXPECT_EQ(FolderNames(dir.Path() / "files"), std::vector<std::string>{"game_list.txt"}) << "the new file was left";
}

// The paths that the run hands to the system's file calls.
std::vector<std::wstring> handed;

DWORD WINAPI RecordingGetFileAttributesW(LPCWSTR path)
{
    handed.emplace_back(path);
    return Kernel32<decltype(::GetFileAttributesW)>("GetFileAttributesW")(path);
}

HANDLE WINAPI RecordingCreateFileW(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                   DWORD disposition, DWORD flags, HANDLE pattern)
{
    handed.emplace_back(path);
    return Kernel32<decltype(::CreateFileW)>("CreateFileW")(path, access, share, security, disposition, flags, pattern);
}

BOOL WINAPI RecordingMoveFileExW(LPCWSTR from, LPCWSTR to, DWORD flags)
{
    handed.emplace_back(from);
    handed.emplace_back(to);
    return Kernel32<decltype(::MoveFileExW)>("MoveFileExW")(from, to, flags);
}

// A file's bytes, read through the extended form: the C library's calls
// stop at 260 characters.
std::string LongReadBytes(const std::wstring& path)
{
    const HANDLE file = ::CreateFileW((LR"(\\?\)" + path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    std::string bytes(1 << 20, '\0');
    DWORD read = 0;
    ::ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    ::CloseHandle(file);
    bytes.resize(read);
    return bytes;
}

// Windows reaches a folder beyond 260 characters only through the extended
// form (Wine reaches it either way, so the paths handed over are checked).
// A failure there names the folder as the user knows it.
TEST(WindowsPaths, ARunInAFolderBeyond260CharactersWritesTheList)
{
    TempDir dir;
    std::vector<std::wstring> folders{dir.Path().native()};
    while (folders.back().size() < 300) {
        folders.push_back(folders.back() + L"\\a folder whose name is thirty-six");
        ASSERT_TRUE(::CreateDirectoryW((LR"(\\?\)" + folders.back()).c_str(), nullptr)) << ::GetLastError();
    }
    const std::wstring deep = folders.back();
    const std::wstring files = deep + L"\\files";
    const std::filesystem::path previous = std::filesystem::current_path();
    ASSERT_TRUE(::SetCurrentDirectoryW(deep.c_str()));
    handed.clear();
    std::optional<FileFailure> missing;
    {
        const ImportPatch attributes("GetFileAttributesW", reinterpret_cast<const void*>(&RecordingGetFileAttributesW));
        const ImportPatch create("CreateFileW", reinterpret_cast<const void*>(&RecordingCreateFileW));
        const ImportPatch move("MoveFileExW", reinterpret_cast<const void*>(&RecordingMoveFileExW));
        try {
            GenerationRun(GenerationParameters());
        } catch (const FileFailure& failure) {
            missing = failure;
        }
        ::CreateDirectoryW((LR"(\\?\)" + files).c_str(), nullptr);
        EXPECT_NO_THROW(GenerationRun(GenerationParameters()));
        // A relative folder (--directory .) is long once made absolute.
        CoefficientSampler sampler;
        EXPECT_NO_THROW(GenerationRun(GenerationParameters(), sampler, "."));
    }
    std::filesystem::current_path(previous);

    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->Reason(), "the folder \"" + generation::PathText(files) + "\" does not exist");
    EXPECT_EQ(std::string(missing->what()).find(R"(\\?\)"), std::string::npos) << missing->what();
    // The process's generator has gone on since its first run: the list
    // has the golden lines up to player 1 and 29 more players.
    const std::vector<std::string> lines = CrlfLines(LongReadBytes(files + L"\\game_list.txt"));
    ASSERT_EQ(lines.size(), list_layout::Lines(30));
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + list_layout::Lines(1)), list_layout::Head());
    ASSERT_FALSE(handed.empty());
    for (const std::wstring& path : handed) {
        EXPECT_EQ(path.rfind(LR"(\\?\)" + files, 0), 0u) << generation::PathText(path);
    }

    ::DeleteFileW((LR"(\\?\)" + files + L"\\game_list.txt").c_str());
    ::RemoveDirectoryW((LR"(\\?\)" + files).c_str());
    for (auto folder = folders.rbegin(); folder + 1 != folders.rend(); ++folder) {
        ::RemoveDirectoryW((LR"(\\?\)" + *folder).c_str());
    }
}

TEST(WindowsPaths, LongPathsAreHandedOverInTheExtendedForm)
{
    const std::wstring name(100, L'n');
    const std::wstring longFolder = L"\\" + name + L"\\" + name + L"\\" + name;  // 303 characters
    TempDir dir;
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
    const std::wstring current = dir.Path().native();
    struct Case {
        std::wstring given;
        std::wstring handed;
    };
    const Case cases[] = {
        {L"C:\\short\\files\\game_list.txt", L"C:\\short\\files\\game_list.txt"},
        {L"relative\\files", L"relative\\files"},
        {L"C:" + longFolder, LR"(\\?\C:)" + longFolder},
        {L"C:/a/b/../c/." + longFolder, LR"(\\?\C:\a\c)" + longFolder},
        {LR"(\\server\share)" + longFolder, LR"(\\?\UNC\server\share)" + longFolder},
        {L"files" + longFolder, LR"(\\?\)" + current + L"\\files" + longFolder},
        {LR"(\\?\C:)" + longFolder, LR"(\\?\C:)" + longFolder},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(generation::SystemPath(c.given), c.handed) << generation::PathText(c.given);
    }
    // What the system gives back, as a link's target, is shown without the prefix.
    EXPECT_EQ(generation::UserPath(LR"(\\?\UNC\server\share)" + longFolder).native(), LR"(\\server\share)" + longFolder);
    EXPECT_EQ(generation::UserPath(LR"(\\?\C:)" + longFolder).native(), L"C:" + longFolder);
    EXPECT_EQ(generation::UserPath(L"C:\\short").native(), L"C:\\short");
    std::filesystem::current_path(previous);
}
