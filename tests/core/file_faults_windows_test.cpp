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
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "generation/failures.h"
#include "generation/population_list.h"
#include "test_support.h"

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
    const std::vector<std::string> golden = CrlfLines(Golden());
    ASSERT_EQ(lines.size(), 227u);
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 24),
              std::vector<std::string>(golden.begin(), golden.begin() + 24));
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
    // Wine reports success without making the link.
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

// A drive with little room is given by scripts/test-windows, which mounts
// a small file system as a Wine drive when the machine allows it.
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
    if (SmallDrive() == nullptr) {
        GTEST_SKIP() << "no small drive to fill: POPGEN_TEST_SMALL_DRIVE is not set (scripts/test-windows sets it "
                        "when it can mount a small file system)";
    }
    // Filling a drive of real size would take long and bother everyone else.
    const unsigned long long free = FreeBytes(SmallDrive());
    ASSERT_LT(free, 64ULL << 20) << SmallDrive() << " is not a small drive";
    const std::filesystem::path root = std::filesystem::path(SmallDrive()) / "popgen-full-drive";
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root / "files");
    WriteBytes(root / "files" / "game_list.txt", kPrevious);
    GenerationParameters largest;
    largest.General(12) = "32767";  // about 1.2 MB

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
    EXPECT_EQ(CrlfLines(ReadBytes(root / "files" / "game_list.txt")).size(), 229'386u);
    std::filesystem::remove_all(root);
}

// A failing step, injected by pointing this program's import of a system
// call at a stand-in that fails with ERROR_IO_DEVICE on the run's temporary
// file (the core is linked into this program, so its calls go through the
// program's import table).
class ImportPatch {
public:
    ImportPatch(const char* function, const void* replacement)
    {
        auto* const base = reinterpret_cast<BYTE*>(::GetModuleHandleW(nullptr));
        const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
            base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
        const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
        for (auto* library = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
             library->Name != 0 && !slot_; ++library) {
            const auto* name = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + library->OriginalFirstThunk);
            auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + library->FirstThunk);
            for (; name->u1.AddressOfData != 0; ++name, ++slot) {
                if (IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal)) continue;
                const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + name->u1.AddressOfData);
                if (std::string_view(reinterpret_cast<const char*>(byName->Name)) == function) {
                    slot_ = &slot->u1.Function;
                    break;
                }
            }
        }
        if (slot_) Set(reinterpret_cast<ULONG_PTR>(replacement));
    }
    ~ImportPatch()
    {
        if (slot_) Set(original_);
    }
    ImportPatch(const ImportPatch&) = delete;
    ImportPatch& operator=(const ImportPatch&) = delete;

    bool Applied() const { return slot_ != nullptr; }

private:
    void Set(ULONG_PTR target)
    {
        DWORD protection = 0;
        ::VirtualProtect(slot_, sizeof *slot_, PAGE_READWRITE, &protection);
        if (!original_) original_ = *slot_;
        *slot_ = target;
        ::VirtualProtect(slot_, sizeof *slot_, protection, &protection);
    }

    ULONG_PTR* slot_ = nullptr;
    ULONG_PTR original_ = 0;
};

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
