#include <gtest/gtest.h>
#ifdef _WIN32
#include <process.h>
#else
#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "generation/failures.h"
#include "generation/platform/file_replacement.h"
#include "generation/population_list.h"
#include "test_support.h"
#include "tests/support/list_layout.h"

namespace {

using generation::CoefficientSampler;
using generation::FileFailure;
using generation::GenerationParameters;
using generation::GenerationRun;
using testing_support::FolderNames;
using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;

const std::string kPrevious = "\"previous population\"\r\n 1\r\n";

int ProcessId()
{
#ifdef _WIN32
    return ::_getpid();
#else
    return static_cast<int>(::getpid());
#endif
}

// The message of the FileFailure that a run in `dir` raises.
std::string RunFailureMessage(const GenerationParameters& parameters, const std::filesystem::path& dir)
{
    CoefficientSampler sampler;
    try {
        GenerationRun(parameters, sampler, dir);
    } catch (const FileFailure& failure) {
        return failure.what();
    }
    ADD_FAILURE() << "the run did not fail";
    return {};
}

TEST(FileFaults, MissingFilesFolderFailsAndCreatesNothing)
{
    TempDir dir;
    const std::string message = RunFailureMessage(GenerationParameters(), dir.Path());
    EXPECT_NE(message.find((dir.Path() / "files" / "game_list.txt").string()), std::string::npos) << message;
    EXPECT_NE(message.find("does not exist"), std::string::npos) << message;
    EXPECT_TRUE(FolderNames(dir.Path()).empty());
}

TEST(FileFaults, FilesBeingARegularFileFails)
{
    TempDir dir;
    WriteBytes(dir.Path() / "files", "not a folder");
    const std::string message = RunFailureMessage(GenerationParameters(), dir.Path());
    EXPECT_NE(message.find("is not a folder"), std::string::npos) << message;
    EXPECT_EQ(ReadBytes(dir.Path() / "files"), "not a folder");
}

TEST(FileFaults, ListBeingAFolderFailsAndStays)
{
    TempDir dir;
    std::filesystem::create_directories(dir.ListPath() / "inside");
    const std::string message = RunFailureMessage(GenerationParameters(), dir.Path());
    EXPECT_NE(message.find("it is a folder"), std::string::npos) << message;
    EXPECT_TRUE(std::filesystem::is_directory(dir.ListPath() / "inside"));
    EXPECT_EQ(FolderNames(dir.Path() / "files"), std::vector<std::string>{"game_list.txt"});
}

// Read-only files and folders, full disks, links and permissions on POSIX
// systems; file_faults_windows_test.cpp has the Windows counterparts.
#ifndef _WIN32

// The message of the FileFailure that a run in `dir` raises when run by an
// ordinary user. As root, where every file is writable, the run is made in
// a child process that first gives `dir` to the user "nobody" and becomes
// that user.
std::string UnprivilegedRunFailureMessage(const std::filesystem::path& dir)
{
    if (::geteuid() != 0) return RunFailureMessage(GenerationParameters(), dir);

    constexpr uid_t kNobody = 65534;
    EXPECT_EQ(::lchown(dir.c_str(), kNobody, kNobody), 0);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
        EXPECT_EQ(::lchown(entry.path().c_str(), kNobody, kNobody), 0) << entry.path();
    }
    int channel[2];
    if (::pipe(channel) != 0) {
        ADD_FAILURE() << "pipe failed";
        return {};
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(channel[0]);
        std::string report = "the run did not fail";
        if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) {
            report = "could not become nobody";
        } else {
            try {
                CoefficientSampler sampler;
                GenerationRun(GenerationParameters(), sampler, dir);
            } catch (const FileFailure& failure) {
                report = failure.what();
            } catch (...) {
                report = "the run failed otherwise";
            }
        }
        [[maybe_unused]] const ssize_t written = ::write(channel[1], report.data(), report.size());
        ::_exit(0);
    }
    ::close(channel[1]);
    std::string message;
    char buffer[512];
    for (ssize_t got; (got = ::read(channel[0], buffer, sizeof buffer)) > 0;) message.append(buffer, got);
    ::close(channel[0]);
    ::waitpid(child, nullptr, 0);
    return message;
}

TEST(FileFaults, ReadOnlyListIsLeftAlone)
{
    TempDir dir;
    dir.WithFilesFolder();
    WriteBytes(dir.ListPath(), kPrevious);
    std::filesystem::permissions(dir.ListPath(), std::filesystem::perms::owner_read);
    const std::string message = UnprivilegedRunFailureMessage(dir.Path());
    EXPECT_NE(message.find("Permission denied"), std::string::npos) << message;
    EXPECT_EQ(ReadBytes(dir.ListPath()), kPrevious);
    EXPECT_EQ(FolderNames(dir.Path() / "files"), std::vector<std::string>{"game_list.txt"});
}

TEST(FileFaults, ReadOnlyFolderFails)
{
    TempDir dir;
    dir.WithFilesFolder();
    WriteBytes(dir.ListPath(), kPrevious);
    std::filesystem::permissions(dir.Path() / "files", std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    const std::string message = UnprivilegedRunFailureMessage(dir.Path());
    EXPECT_NE(message.find("Permission denied"), std::string::npos) << message;
    EXPECT_EQ(ReadBytes(dir.ListPath()), kPrevious);
}

TEST(FileFaults, ARemovedCurrentFolderIsAFileFailure)
{
    const std::filesystem::path previous = std::filesystem::current_path();
    std::string message;
    {
        TempDir dir;
        std::filesystem::current_path(dir.Path());
        std::filesystem::remove(dir.Path());
        try {
            GenerationRun(GenerationParameters());
        } catch (const FileFailure& failure) {
            message = failure.what();
        }
    }
    std::filesystem::current_path(previous);
    EXPECT_NE(message.find("Could not determine the current folder: "), std::string::npos) << message;
}

// A run in a child process whose files may not grow beyond `limit` bytes,
// as on a full disk. The child exits 0 on success, 3 on FileFailure, and 4
// on anything else.
int RunWithFileSizeLimit(const std::filesystem::path& dir, const std::string& players, rlim_t limit)
{
    const pid_t child = ::fork();
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit cap{limit, limit};
        ::setrlimit(RLIMIT_FSIZE, &cap);
        GenerationParameters parameters;
        parameters.General(generation::kPlayerCountRow) = players;
        CoefficientSampler sampler;
        int code = 4;
        try {
            GenerationRun(parameters, sampler, dir);
            code = 0;
        } catch (const FileFailure&) {
            code = 3;
        } catch (...) {
        }
        ::_exit(code);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(FileFaults, FullDiskAtAnyPointKeepsThePreviousFile)
{
    // The 32767-player file, about 1.1 MB, goes out in 64 KiB chunks; a limit ends in player 1.
    for (const rlim_t limit : {rlim_t{0}, rlim_t{1}, rlim_t{list_layout::Bytes(list_layout::Head())}, rlim_t{65535},
                               rlim_t{65536}, rlim_t{200'000}, rlim_t{1'000'000}}) {
        TempDir dir;
        dir.WithFilesFolder();
        WriteBytes(dir.ListPath(), kPrevious);
        EXPECT_EQ(RunWithFileSizeLimit(dir.Path(), "32767", limit), 3) << "limit " << limit;
        EXPECT_EQ(ReadBytes(dir.ListPath()), kPrevious) << "limit " << limit;
        EXPECT_EQ(FolderNames(dir.Path() / "files"), std::vector<std::string>{"game_list.txt"}) << "limit " << limit;
    }
    // Without a previous file, a failed run leaves none behind.
    TempDir dir;
    dir.WithFilesFolder();
    EXPECT_EQ(RunWithFileSizeLimit(dir.Path(), "30", 100), 3);
    EXPECT_TRUE(FolderNames(dir.Path() / "files").empty());
}

TEST(FileFaults, ALimitJustLargeEnoughSucceeds)
{
    TempDir dir;
    dir.WithFilesFolder();
    WriteBytes(dir.ListPath(), kPrevious);
    const std::string golden = ReadBytes(std::string(POPGEN_TEST_DATA) + "/default_game_list.txt");
    EXPECT_EQ(RunWithFileSizeLimit(dir.Path(), "30", golden.size()), 0);
    EXPECT_EQ(ReadBytes(dir.ListPath()), golden);
}

// A run with the default fields in a child process into which fault_shim
// is preloaded to make `call` fail: the child's exit status (0 success,
// 3 a file error, 4 another failure) and what it wrote, the report and the
// shim's word on the fault included.
std::pair<int, std::string> RunWithFailingCall(const std::filesystem::path& dir, const char* call)
{
    int channel[2];
    if (::pipe(channel) != 0) return {-1, "pipe failed"};
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(channel[1], 1);
        ::dup2(channel[1], 2);
        ::close(channel[0]);
        // A sanitized build wants its runtime first among the libraries.
        const char* asan = ::getenv("ASAN_OPTIONS");
        ::setenv("ASAN_OPTIONS", (std::string(asan ? asan : "") + ":verify_asan_link_order=0").c_str(), 1);
        ::setenv("LD_PRELOAD", POPGEN_FAULT_SHIM, 1);
        ::setenv("POPGEN_FAIL", call, 1);
        ::execl(POPGEN_FAULT_RUN, POPGEN_FAULT_RUN, dir.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(channel[1]);
    std::string output;
    char buffer[512];
    for (ssize_t got; (got = ::read(channel[0], buffer, sizeof buffer)) > 0;) output.append(buffer, got);
    ::close(channel[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

TEST(FileFaults, EachFailingStepIsTheFileFailureAndKeepsThePreviousFile)
{
#ifdef POPGEN_NO_FAULT_SHIM
    GTEST_SKIP() << "no library can be preloaded into " POPGEN_NO_FAULT_SHIM;
#endif
    struct Case {
        const char* call;
        const char* action;
    };
    const Case cases[] = {{"write", "write"}, {"fsync", "write"}, {"close", "write"}, {"rename", "replace"}};
    for (const Case& c : cases) {
        TempDir dir;
        dir.WithFilesFolder();
        WriteBytes(dir.ListPath(), kPrevious);
        const auto [status, output] = RunWithFailingCall(dir.Path(), c.call);
        EXPECT_EQ(status, 3) << c.call << ": " << output;
        EXPECT_NE(output.find(std::string("fault_shim: ") + c.call + " failed"), std::string::npos) << output;
        const std::string failure = "Could not " + std::string(c.action) + " \"" + dir.ListPath().string() + "\"";
        EXPECT_NE(output.find(failure + ": Input/output error"), std::string::npos) << output;
        EXPECT_EQ(ReadBytes(dir.ListPath()), kPrevious) << c.call;
        EXPECT_EQ(FolderNames(dir.Path() / "files"), std::vector<std::string>{"game_list.txt"}) << c.call;
    }
    // What no run raises itself still reaches the user, as the unexpected failure.
    for (const char* call : {"throw", "throw-nothing"}) {
        TempDir dir;
        dir.WithFilesFolder();
        WriteBytes(dir.ListPath(), kPrevious);
        const auto [status, output] = RunWithFailingCall(dir.Path(), call);
        EXPECT_EQ(status, 4) << call << ": " << output;
        EXPECT_EQ(output.rfind("Unexpected error: ", 0), 0u) << output;
        EXPECT_EQ(FolderNames(dir.Path() / "files"), std::vector<std::string>{"game_list.txt"}) << call;
    }
    // The folder's sync comes after the rename, which has replaced the file:
    // where a folder cannot be synced, the run has still succeeded.
    TempDir dir;
    dir.WithFilesFolder();
    WriteBytes(dir.ListPath(), kPrevious);
    const auto [status, output] = RunWithFailingCall(dir.Path(), "fsync-folder");
    EXPECT_EQ(status, 0) << output;
    EXPECT_NE(output.find("fault_shim: fsync failed"), std::string::npos) << output;
    EXPECT_EQ(ReadBytes(dir.ListPath()), ReadBytes(std::string(POPGEN_TEST_DATA) + "/default_game_list.txt"));
}

#endif  // !_WIN32

TEST(FileFaults, LeftoverTemporaryFilesDoNotGetInTheWay)
{
    // A run that was killed leaves a temporary file, possibly with the name
    // this process would pick first.
    TempDir dir;
    dir.WithFilesFolder();
    const std::string stale = ".game_list.txt." + std::to_string(ProcessId()) + "-";
    for (int i = 0; i < 50; ++i) WriteBytes(dir.Path() / "files" / (stale + std::to_string(i) + ".tmp"), "stale");
    CoefficientSampler sampler;
    GenerationRun(GenerationParameters(), sampler, dir.Path());
    EXPECT_EQ(ReadBytes(dir.ListPath()), ReadBytes(std::string(POPGEN_TEST_DATA) + "/default_game_list.txt"));
    EXPECT_EQ(FolderNames(dir.Path() / "files").size(), 51u);
}

#ifndef _WIN32

TEST(FileFaults, ALinkedListIsReplacedThroughTheLink)
{
    TempDir dir;
    dir.WithFilesFolder();
    std::filesystem::create_directories(dir.Path() / "elsewhere");
    const std::filesystem::path real = dir.Path() / "elsewhere" / "population.txt";
    WriteBytes(real, kPrevious);
    std::filesystem::create_symlink(real, dir.ListPath());
    CoefficientSampler sampler;
    GenerationRun(GenerationParameters(), sampler, dir.Path());
    EXPECT_TRUE(std::filesystem::is_symlink(dir.ListPath()));
    EXPECT_EQ(ReadBytes(real), ReadBytes(std::string(POPGEN_TEST_DATA) + "/default_game_list.txt"));
    EXPECT_EQ(FolderNames(dir.Path() / "elsewhere"), std::vector<std::string>{"population.txt"});

    // The file a link names is made when it is not there yet, also at the
    // end of a chain of 40 links, the most that a path may pass.
    std::filesystem::remove(real);
    std::filesystem::remove(dir.ListPath());
    const auto chained = [&](int i) { return real.string() + (i == 40 ? "" : std::to_string(i)); };
    for (int i = 1; i < 40; ++i) std::filesystem::create_symlink(chained(i + 1), chained(i));
    std::filesystem::create_symlink(chained(1), dir.ListPath());
    GenerationRun(GenerationParameters(), sampler, dir.Path());
    EXPECT_TRUE(std::filesystem::is_regular_file(real));
}

TEST(FileFaults, TheReplacedFileKeepsItsPermissions)
{
    TempDir dir;
    dir.WithFilesFolder();
    WriteBytes(dir.ListPath(), kPrevious);
    ::chmod(dir.ListPath().c_str(), 0640);
    CoefficientSampler sampler;
    GenerationRun(GenerationParameters(), sampler, dir.Path());
    struct stat status {};
    ASSERT_EQ(::stat(dir.ListPath().c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0640u);
}

// Who may have planted a link decides whether it is followed: links in a
// folder that others can write to are followed only when they are the
// user's, root's or the folder owner's. As root, who may give files away.
TEST(FileFaults, ALinkAnotherUserMayHavePlantedIsRefused)
{
    if (::geteuid() != 0) GTEST_SKIP() << "only root can give a link to another user";
    struct Case {
        mode_t folderMode;
        uid_t folderOwner, linkOwner;
        bool followed;
    } const cases[] = {{0777, 0, 65534, false},     {01777, 0, 65534, false}, {0775, 0, 65534, false},
                       {0757, 0, 65534, false},     {0755, 65533, 65534, false}, {0755, 0, 65534, true},
                       {0777, 65534, 65534, true},  {0777, 65534, 0, true}};
    for (const Case& c : cases) {
        TempDir dir;
        const std::filesystem::path files = dir.WithFilesFolder() / "files", real = dir.Path() / "own.txt";
        WriteBytes(real, kPrevious);
        std::filesystem::create_symlink(real, dir.ListPath());
        ASSERT_EQ(::lchown(dir.ListPath().c_str(), c.linkOwner, c.linkOwner), 0);
        ASSERT_EQ(::chown(files.c_str(), c.folderOwner, 4343), 0);  // its group is nobody's
        ASSERT_EQ(::chmod(files.c_str(), c.folderMode), 0);
        const std::string row = "folder " + std::to_string(c.folderMode) + " of " + std::to_string(c.folderOwner) +
                                ", link of " + std::to_string(c.linkOwner);
        if (c.followed) {
            CoefficientSampler sampler;
            EXPECT_NO_THROW(GenerationRun(GenerationParameters(), sampler, dir.Path())) << row;
            EXPECT_NE(ReadBytes(real), kPrevious) << row;
            continue;
        }
        const std::string message = RunFailureMessage(GenerationParameters(), dir.Path());
        EXPECT_NE(message.find("\"" + dir.ListPath().string() + "\": it is a link that another user made"),
                  std::string::npos) << row << ": " << message;
        EXPECT_EQ(ReadBytes(real), kPrevious) << row;
        EXPECT_EQ(FolderNames(files), std::vector<std::string>{"game_list.txt"}) << row;
    }
}

TEST(FileFaults, ALinkLoopIsAFileFailure)
{
    TempDir dir;
    dir.WithFilesFolder();
    std::filesystem::create_symlink("game_list.txt", dir.ListPath());
    const std::string message = RunFailureMessage(GenerationParameters(), dir.Path());
    EXPECT_NE(message.find(std::make_error_code(std::errc::too_many_symbolic_link_levels).message()),
              std::string::npos) << message;
    EXPECT_EQ(FolderNames(dir.Path() / "files"), std::vector<std::string>{"game_list.txt"});
}

// What was checked holds when the file is replaced: a link or a folder
// swapped in by name meanwhile is replaced or passed by, never followed.
TEST(FileFaults, ALinkOrFolderSwappedInBeforeTheReplaceIsNotFollowed)
{
    for (const bool swapFolder : {false, true}) {
        TempDir dir;
        dir.WithFilesFolder();
        const std::filesystem::path other = dir.Path() / "other", victim = other / "game_list.txt";
        std::filesystem::create_directories(other);
        WriteBytes(victim, kPrevious);
        WriteBytes(dir.ListPath(), kPrevious);
        generation::FileReplacement file(dir.ListPath());
        file.Write("new");
        if (swapFolder) {
            std::filesystem::rename(dir.Path() / "files", dir.Path() / "moved");
            std::filesystem::create_directory_symlink(other, dir.Path() / "files");
        } else {
            std::filesystem::remove(dir.ListPath());
            std::filesystem::create_symlink(victim, dir.ListPath());
        }
        file.Commit();
        EXPECT_EQ(ReadBytes(victim), kPrevious) << "folder swapped: " << swapFolder;
        EXPECT_EQ(FolderNames(other), std::vector<std::string>{"game_list.txt"});
        EXPECT_EQ(ReadBytes(dir.Path() / (swapFolder ? "moved" : "files") / "game_list.txt"), "new");
    }
}

#endif  // !_WIN32

}  // namespace
