#include "generation/population_list.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "fuzz/field_texts.h"
#include "generation/failures.h"
#include "generation/reported_run.h"
#include "test_support.h"
#include "tests/support/list_layout.h"

namespace {

using generation::CoefficientSampler;
using generation::GenerationParameters;
using generation::GenerationRun;
using list_layout::Lines;
using testing_support::CrlfLines;
using testing_support::FolderNames;
using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;

// Runs with a fresh sampler, as the first run after the program starts.
std::vector<std::string> RunLines(const GenerationParameters& parameters, const TempDir& dir)
{
    CoefficientSampler sampler;
    GenerationRun(parameters, sampler, dir.WithFilesFolder());
    return CrlfLines(ReadBytes(dir.ListPath()));
}

GenerationParameters WithPlayerCount(const std::string& text)
{
    GenerationParameters parameters;
    parameters.General(generation::kPlayerCountRow) = text;
    return parameters;
}

TEST(PopulationList, DefaultFieldsGiveTheGoldenFile)
{
    TempDir dir;
    CoefficientSampler sampler;
    GenerationRun(GenerationParameters(), sampler, dir.WithFilesFolder());
    const std::string bytes = ReadBytes(dir.ListPath());
    EXPECT_EQ(bytes, ReadBytes(std::string(POPGEN_TEST_DATA) + "/default_game_list.txt"));

    const std::vector<std::string> lines = CrlfLines(bytes);
    ASSERT_EQ(lines.size(), Lines(30));
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + Lines(1)), list_layout::Head());

    // Players 2, 3 and 4 as drawn by the standard engine from its default seed.
    const std::vector<std::string> players2to4 = {
        " 2", " 815", " 81",  " 544", " 1336", "-25", "",
        " 3", " 969", " 548", " 132", " 1012", " 11", "",
        " 4", " 97",  " 328", " 167", " 301",  " 59", "",
    };
    EXPECT_EQ(std::vector<std::string>(lines.begin() + Lines(1), lines.begin() + Lines(4)), players2to4);
}

TEST(PopulationList, RandomPlayersStayInTheirRanges)
{
    TempDir dir;
    const std::vector<std::string> lines = RunLines(GenerationParameters(), dir);
    ASSERT_EQ(lines.size(), Lines(30));
    for (int player = 2; player <= 30; ++player) {
        EXPECT_EQ(lines[list_layout::PlayerLine(player) - 1], " " + std::to_string(player));
        for (const generation::CoefficientRow& row : generation::kCoefficientRows) {
            const std::string& line = lines[list_layout::ValueLine(player, row.row) - 1];
            const int value = std::stoi(line);
            EXPECT_EQ(line, list_layout::NumberLine(value));
            EXPECT_GE(value, std::stoi(std::string(row.defaultMin)));
            EXPECT_LE(value, std::stoi(std::string(row.defaultMax)));
        }
        EXPECT_EQ(lines[list_layout::ValueLine(player, generation::kLastCoefficientRow)], "") << "after the values";
    }
}

TEST(PopulationList, PlayerCountReadsAsAFieldNumber)
{
    struct Case {
        std::string text;
        int players;  // as the run reads the text
    };
    const Case cases[] = {{"1", 1},   {"0", 1}, {"-5", 1},        {"", 1},     {"abc", 1},
                          {"2.5", 2}, {"2", 2}, {" 3 players", 3}, {"-32768", 1}};
    for (const Case& c : cases) {
        TempDir dir;
        const std::vector<std::string> lines = RunLines(WithPlayerCount(c.text), dir);
        EXPECT_EQ(lines.size(), Lines(c.players)) << "player count \"" << c.text << "\"";
        ASSERT_GE(lines.size(), Lines(1));
        EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + Lines(1)),
                  list_layout::Head(WithPlayerCount(c.text)))
            << "line 6 shows the text as typed, player 1 follows";
    }
}

TEST(PopulationList, TheLargestPlayerCountEndsAfterTheLastPlayer)
{
    TempDir dir;
    const std::vector<std::string> lines = RunLines(WithPlayerCount("32767"), dir);
    ASSERT_EQ(lines.size(), Lines(32767));
    EXPECT_EQ(lines[list_layout::PlayerLine(32767) - 1], " 32767");
    EXPECT_EQ(lines.back(), "");
}

TEST(PopulationList, PlayerCountBeyondSixteenBitsFailsAndKeepsThePreviousFile)
{
    for (const std::string text : {"40000", "32767.5", "1e400"}) {
        TempDir dir;
        dir.WithFilesFolder();
        WriteBytes(dir.ListPath(), "previous\r\n");
        CoefficientSampler sampler;
        try {
            GenerationRun(WithPlayerCount(text), sampler, dir.Path());
            ADD_FAILURE() << text << " did not fail";
        } catch (const generation::OverflowFailure& failure) {
            const std::string message = failure.what();
            EXPECT_NE(message.find("\"Number of player in population:\""), std::string::npos) << message;
            EXPECT_NE(message.find("\"" + text + "\""), std::string::npos) << message;
        }
        EXPECT_EQ(ReadBytes(dir.ListPath()), "previous\r\n");
        EXPECT_EQ(FolderNames(dir.Path() / "files"), std::vector<std::string>{"game_list.txt"});
    }
}

TEST(PopulationList, AnOverflowingDrawKeepsThePreviousFile)
{
    // Values beyond the bottom and beyond the top of the 16-bit range.
    for (const generation::CoefficientRange& range : {generation::CoefficientRange{"-30000", "-40000"},
                                                     generation::CoefficientRange{"30000", "40000"}}) {
        SCOPED_TRACE(range.min + ".." + range.max);
        TempDir dir;
        dir.WithFilesFolder();
        WriteBytes(dir.ListPath(), "previous\r\n");
        GenerationParameters parameters;
        parameters.Coefficient(7) = range;
        CoefficientSampler sampler;
        EXPECT_THROW(GenerationRun(parameters, sampler, dir.Path()), generation::OverflowFailure);
        EXPECT_EQ(ReadBytes(dir.ListPath()), "previous\r\n");
        EXPECT_EQ(FolderNames(dir.Path() / "files"), std::vector<std::string>{"game_list.txt"});
    }
}

// Each general text is a line of the file: a line break in one would move
// every line after it, so the run refuses it before writing anything.
TEST(PopulationList, ALineBreakInAWrittenTextFailsAndKeepsThePreviousFile)
{
    for (const generation::GeneralRow& row : generation::kGeneralRows) {
        for (const std::string text : {"5\r", "\n", "5\r\nX"}) {
            SCOPED_TRACE("row " + std::to_string(row.row) + ", " + (text.find('\r') == 0 ? "CR" : text));
            TempDir dir;
            dir.WithFilesFolder();
            WriteBytes(dir.ListPath(), "previous\r\n");
            GenerationParameters parameters;
            parameters.General(row.row) = text;
            CoefficientSampler sampler;
            try {
                GenerationRun(parameters, sampler, dir.Path());
                ADD_FAILURE() << "no failure";
            } catch (const generation::TextFailure& failure) {
                const std::string message = failure.what();
                EXPECT_NE(message.find("\"" + std::string(row.label) + "\""), std::string::npos) << message;
                EXPECT_NE(message.find("line break"), std::string::npos) << message;
            }
            EXPECT_EQ(ReadBytes(dir.ListPath()), "previous\r\n");
            EXPECT_EQ(FolderNames(dir.Path() / "files"), std::vector<std::string>{"game_list.txt"});
        }
    }
}

// What the windows and the command line show of a run.
TEST(ReportedRun, TurnsEveryFailureIntoItsKindAndMessage)
{
    struct Case {
        const char* name;
        int row;  // the general row given `text`
        const char* text;
        bool filesFolder;
        const char* kind;  // empty: success
        const char* mentions;
    };
    const Case cases[] = {
        {"success", generation::kPlayerCountRow, "2", true, "", ""},
        {"overflow", generation::kPlayerCountRow, "40000", true, "Number out of range", "\"40000\""},
        {"file", generation::kPlayerCountRow, "2", false, "File error", "does not exist"},
        {"line break", 13, "50\r\n", true, "Text that cannot be written", "line break"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        if (c.filesFolder) dir.WithFilesFolder();
        GenerationParameters parameters;
        parameters.General(c.row) = c.text;
        CoefficientSampler sampler;
        const generation::RunOutcome outcome = generation::ReportedRun(parameters, sampler, dir.Path());
        EXPECT_EQ(outcome.kind, c.kind);
        EXPECT_NE(outcome.message.find(c.mentions), std::string::npos) << outcome.message;
        EXPECT_EQ(outcome.Succeeded(), outcome.message.empty());
        EXPECT_EQ(outcome.list, dir.ListPath());
        EXPECT_EQ(std::filesystem::exists(dir.ListPath()), outcome.Succeeded());
    }

    // No folder given: the current one.
    TempDir dir;
    dir.WithFilesFolder();
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
    CoefficientSampler sampler;
    const generation::RunOutcome outcome = generation::ReportedRun(GenerationParameters(), sampler, {});
    std::filesystem::current_path(previous);
    EXPECT_TRUE(outcome.Succeeded()) << outcome.message;
    EXPECT_TRUE(std::filesystem::equivalent(outcome.list, dir.ListPath()));
    EXPECT_EQ(ReadBytes(dir.ListPath()), ReadBytes(std::string(POPGEN_TEST_DATA) + "/default_game_list.txt"));
}

TEST(PopulationList, GeneralTextsAreWrittenAsTyped)
{
    GenerationParameters parameters;
    parameters.General(10) = "";
    parameters.General(11) = "  5 ";
    parameters.General(generation::kPlayerCountRow) = "1 player";
    parameters.General(13) = "fünfzig \xE2\x99\x9E";
    parameters.General(14) = "\"900\"";
    TempDir dir;
    const std::vector<std::string> lines = RunLines(parameters, dir);
    EXPECT_EQ(lines, list_layout::Head(parameters)) << "each text on the line after its key";
}

TEST(PopulationList, RangesDoNotTouchPlayerOne)
{
    GenerationParameters parameters;
    for (const generation::CoefficientRow& row : generation::kCoefficientRows) parameters.Coefficient(row.row) = {"-32768", "1e400"};
    parameters.General(generation::kPlayerCountRow) = "1";
    TempDir dir;
    const std::vector<std::string> lines = RunLines(parameters, dir);
    EXPECT_EQ(lines, list_layout::Head(parameters));
}

TEST(PopulationList, ALongerExistingFileIsReplacedEntirely)
{
    TempDir dir;
    dir.WithFilesFolder();
    WriteBytes(dir.ListPath(), std::string(1 << 20, 'x'));
    const std::vector<std::string> lines = RunLines(WithPlayerCount("30"), dir);
    EXPECT_EQ(lines.size(), Lines(30));
    EXPECT_EQ(ReadBytes(dir.ListPath()), ReadBytes(std::string(POPGEN_TEST_DATA) + "/default_game_list.txt"));
}

TEST(PopulationList, ASecondRunContinuesTheSequence)
{
    // Two runs of 3 players draw what one run of 5 players draws.
    TempDir twice;
    TempDir once;
    CoefficientSampler continuing;
    GenerationRun(WithPlayerCount("3"), continuing, twice.WithFilesFolder());
    const std::vector<std::string> first = CrlfLines(ReadBytes(twice.ListPath()));
    GenerationRun(WithPlayerCount("3"), continuing, twice.Path());
    const std::vector<std::string> second = CrlfLines(ReadBytes(twice.ListPath()));
    const std::vector<std::string> whole = RunLines(WithPlayerCount("5"), once);

    ASSERT_EQ(first.size(), Lines(3));
    ASSERT_EQ(second.size(), Lines(3));
    ASSERT_EQ(whole.size(), Lines(5));
    EXPECT_EQ(std::vector<std::string>(first.begin(), first.begin() + Lines(1)),
              std::vector<std::string>(second.begin(), second.begin() + Lines(1)));
    for (int line = 0; line < list_layout::kBlockLines; ++line) {
        EXPECT_EQ(first[Lines(1) + line], whole[Lines(1) + line]);
        if (line > 0) {
            EXPECT_EQ(second[Lines(1) + line], whole[Lines(3) + line]) << "player 2 of the second run is player 4 of one run";
            EXPECT_EQ(second[Lines(2) + line], whole[Lines(4) + line]);
        }
    }
}

TEST(PopulationList, TheProcessRunWritesUnderTheCurrentFolder)
{
    TempDir dir;
    dir.WithFilesFolder();
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
    GenerationRun(WithPlayerCount("2"));
    std::filesystem::current_path(previous);
    const std::vector<std::string> lines = CrlfLines(ReadBytes(dir.ListPath()));
    EXPECT_EQ(lines.size(), Lines(2));
}

// The fuzzer's seeds name their fields (fuzz/field_texts.h): no row added shifts what they test.
TEST(FuzzSeeds, NameFieldsOfTheTables)
{
    for (const auto& seed : std::filesystem::directory_iterator(POPGEN_TEST_DATA "/../../fuzz/corpus/generation_run")) {
        EXPECT_EQ(fuzz_input::ReadFieldTexts(ReadBytes(seed.path())).strays, std::vector<std::string>{}) << seed.path();
    }
}

}  // namespace
