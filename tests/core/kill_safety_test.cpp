// A run killed at any moment leaves game_list.txt either exactly as it was
// or complete, never cut short or mixed; what it may leave behind is a
// temporary file, which a later run neither trips over nor reads.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <iostream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "generation/platform/file_replacement.h"
#include "generation/population_list.h"
#include "test_support.h"
#include "tests/support/list_layout.h"

namespace {

using generation::CoefficientSampler;
using generation::FileReplacement;
using generation::GenerationParameters;
using generation::GenerationRun;
using testing_support::CrlfLines;
using testing_support::FolderNames;
using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;

constexpr int kMoments = 20;

GenerationParameters LargestRun()
{
    GenerationParameters parameters;
    parameters.General(generation::kPlayerCountRow) = "32767";
    return parameters;
}

// A previous list that no part of a new one could be mistaken for.
std::string PreviousList()
{
    std::string bytes;
    for (int line = 0; line < 150'000; ++line) bytes += "previous " + std::to_string(line) + "\r\n";
    return bytes;
}

// Starts a child process that repeats the largest run in `dir`, each time
// with a fresh sampler and so with the same bytes, until it is killed.
// Returns once the child is about to start its first run.
pid_t StartRepeatingRuns(const std::filesystem::path& dir)
{
    int ready[2];
    if (::pipe(ready) != 0) throw std::runtime_error("pipe failed");
    const pid_t child = ::fork();
    if (child < 0) throw std::runtime_error("fork failed");
    if (child == 0) {
        ::close(ready[0]);
        const bool told = ::write(ready[1], "r", 1) == 1;
        ::close(ready[1]);
        // Bounded, so that a child whose parent died does not run forever.
        for (int run = 0; told && run < 2000; ++run) {
            try {
                CoefficientSampler sampler;
                GenerationRun(LargestRun(), sampler, dir);
            } catch (...) {
                ::_exit(3);
            }
        }
        ::_exit(4);
    }
    ::close(ready[1]);
    char byte = 0;
    const bool started = ::read(ready[0], &byte, 1) == 1;
    ::close(ready[0]);
    if (!started) throw std::runtime_error("the child did not start");
    return child;
}

void KillAndReap(pid_t child)
{
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
        << "the child ended by itself with status " << (WIFEXITED(status) ? WEXITSTATUS(status) : -1);
}

bool HasTemporaryFile(const std::filesystem::path& folder, const std::filesystem::path& list)
{
    for (const std::string& name : FolderNames(folder)) {
        if (FileReplacement::IsTemporaryName(name, list)) return true;
    }
    return false;
}

struct Tally {
    int kills = 0;
    int midRun = 0;    // a temporary file was left behind
    int previous = 0;  // the list was still the previous one
    int complete = 0;  // the list was the new one
};

// Kills a child in the act after `delay` and checks what it left behind:
// the list is whole, anything else is one temporary file, and a later run
// succeeds beside it without touching it.
void KillAndCheck(std::chrono::nanoseconds delay, bool waitForTemporaryFile, const std::string& previous,
                  const std::string& expected, Tally& tally)
{
    TempDir dir;
    dir.WithFilesFolder();
    WriteBytes(dir.ListPath(), previous);
    const std::filesystem::path folder = dir.Path() / "files";

    const pid_t child = StartRepeatingRuns(dir.Path());
    if (waitForTemporaryFile) {
        for (int poll = 0; poll < 100'000 && !HasTemporaryFile(folder, dir.ListPath()); ++poll) {
            std::this_thread::yield();
        }
    }
    std::this_thread::sleep_for(delay);
    KillAndReap(child);
    ++tally.kills;

    const std::string list = ReadBytes(dir.ListPath());
    const bool isPrevious = list == previous;
    const bool isComplete = list == expected;
    EXPECT_TRUE(isPrevious || isComplete) << "the list has " << list.size() << " bytes, neither the previous "
                                          << previous.size() << " nor the new " << expected.size();
    tally.previous += isPrevious;
    tally.complete += isComplete;

    std::vector<std::string> leftovers;
    for (const std::string& name : FolderNames(folder)) {
        if (name == "game_list.txt") continue;
        EXPECT_TRUE(FileReplacement::IsTemporaryName(name, dir.ListPath())) << name;
        leftovers.push_back(name);
    }
    EXPECT_LE(leftovers.size(), 1u);
    tally.midRun += !leftovers.empty();
    std::vector<std::string> leftoverBytes;
    for (const std::string& name : leftovers) leftoverBytes.push_back(ReadBytes(folder / name));

    CoefficientSampler sampler;
    EXPECT_NO_THROW(GenerationRun(LargestRun(), sampler, dir.Path()));
    EXPECT_TRUE(ReadBytes(dir.ListPath()) == expected) << "the later run did not write the new list";
    std::vector<std::string> names = leftovers;
    names.push_back("game_list.txt");
    std::sort(names.begin(), names.end());
    EXPECT_EQ(FolderNames(folder), names);
    for (std::size_t i = 0; i < leftovers.size(); ++i) {
        EXPECT_TRUE(ReadBytes(folder / leftovers[i]) == leftoverBytes[i]) << "the later run touched " << leftovers[i];
    }
}

TEST(KillSafety, AKilledRunLeavesThePreviousListOrTheCompleteNewOne)
{
    // One run, as a fresh program start makes it: the bytes every run of the
    // child writes, and how long a run takes here, to spread the kills over.
    TempDir scratch;
    scratch.WithFilesFolder();
    CoefficientSampler sampler;
    const auto start = std::chrono::steady_clock::now();
    GenerationRun(LargestRun(), sampler, scratch.Path());
    const std::chrono::nanoseconds runTime = std::chrono::steady_clock::now() - start;
    const std::string expected = ReadBytes(scratch.ListPath());
    ASSERT_EQ(CrlfLines(expected).size(), list_layout::Lines(32767));
    const std::string previous = PreviousList();

    // Moments from the child's start to the end of its second run: early
    // kills find the previous list, later ones the new list being rewritten.
    Tally tally;
    for (int moment = 0; moment < kMoments; ++moment) {
        SCOPED_TRACE("kill " + std::to_string(moment + 1) + " of " + std::to_string(kMoments));
        KillAndCheck(runTime * 2 * moment / (kMoments - 1), false, previous, expected, tally);
        if (HasFailure()) return;
    }
    // Should a busy machine have let every kill miss the writing, kill once
    // more as soon as the temporary file is there.
    for (int extra = 0; tally.midRun == 0 && extra < 50; ++extra) {
        SCOPED_TRACE("extra kill " + std::to_string(extra + 1));
        KillAndCheck(std::chrono::nanoseconds(0), true, previous, expected, tally);
        if (HasFailure()) return;
    }
    std::cout << "[ KILLS    ] one run took " << std::chrono::duration<double, std::milli>(runTime).count()
              << " ms; of " << tally.kills << " kills " << tally.midRun << " landed mid-run (temporary file left), "
              << tally.previous << " found the previous list, " << tally.complete << " the new one\n";
    RecordProperty("kills_mid_run", tally.midRun);
    EXPECT_GT(tally.midRun, 0) << "no kill landed while the list was being written";
}

}  // namespace
