// Fuzz target: whole generation runs on arbitrary field texts.
//
// The input names the texts it sets, "rook-min=30000", separated by NUL
// bytes (field_texts.h); the other texts keep their defaults. When the
// player count reads above kMaxPlayers, it is replaced by that number modulo
// kMaxPlayers + 1, so a run stays small.
//
// Every run starts from a fresh sampler, so an input replays alike, and
// writes into one scratch folder that holds the file of the previous run.
// Then either the run succeeds and the file is well formed (the fixed lines,
// a block per player, CRLF endings, number lines without leading zeros,
// every value within its row's range), or it raises OverflowFailure
// or TextFailure and the previous file is byte-identical. Either way nothing
// but the file is left in the folder. The harness also works out from the
// texts whether the run must fail (a general text with a line break, which
// the file cannot hold, or a number that does not fit), may fail (a range
// that reaches beyond 16 bits) or must succeed; a FileFailure is never
// expected in the scratch folder.

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/field_texts.h"
#include "generation/failures.h"
#include "generation/field_number.h"
#include "generation/parameters.h"
#include "generation/population_list.h"
#include "generation/sampler.h"
#include "tests/support/list_layout.h"

namespace {

constexpr int kMaxPlayers = 200;

[[noreturn]] void Finding(const std::string& what)
{
    std::fprintf(stderr, "\nFINDING: %s\n", what.c_str());
    std::abort();
}

void Check(bool holds, const std::string& what)
{
    if (!holds) Finding(what);
}

std::string ReadBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) Finding("cannot read " + path.string());
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const std::filesystem::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out) Finding("cannot write " + path.string());
}

// The scratch folder of this process: a folder with its "files" folder,
// holding a previous population list from the start on.
class Scratch {
public:
    Scratch()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "popgen-fuzz-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) Finding("mkdtemp failed");
        path_ = pattern;
        std::filesystem::create_directory(path_ / "files");
        WriteBytes(List(), "\"previous population\"\r\n 1\r\n");
    }
    ~Scratch()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }

    const std::filesystem::path& Path() const { return path_; }
    std::filesystem::path List() const { return path_ / "files" / "game_list.txt"; }

    std::vector<std::string> Names() const
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(path_ / "files")) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    std::filesystem::path path_;
};

Scratch& TheScratch()
{
    static Scratch scratch;  // removed at exit
    return scratch;
}

generation::GenerationParameters Split(std::string_view input)
{
    generation::GenerationParameters parameters = fuzz_input::ReadFieldTexts(input).parameters;
    std::string& count = parameters.General(generation::kPlayerCountRow);
    try {
        const int players = generation::FieldNumber(count);
        if (players > kMaxPlayers) count = std::to_string(players % (kMaxPlayers + 1));
    } catch (const generation::OverflowFailure&) {
        // kept: the run must fail on it
    }
    return parameters;
}

// What the texts of a coefficient row let a draw give.
struct Range {
    bool fits = false;  // Min and the width fit 16 bits
    long lo = 0;
    long hi = 0;
};

Range RangeOf(const generation::CoefficientRange& texts)
{
    Range range;
    try {
        const int min = generation::FieldNumber(texts.min);
        const double span = generation::LeadingNumber(texts.max) - min + 1.0;
        const double width = std::nearbyint(span);
        if (width < -32768.0 || width > 32767.0) return range;
        range.fits = true;
        // min + floor(width * u) for 0 <= u < 1.
        range.lo = width >= 1 ? min : min + static_cast<long>(width);
        range.hi = width >= 1 ? min + static_cast<long>(width) - 1 : min;
    } catch (const generation::OverflowFailure&) {
    }
    return range;
}

std::vector<std::string> CrlfLines(const std::string& bytes)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < bytes.size()) {
        const std::size_t end = bytes.find("\r\n", start);
        Check(end != std::string::npos, "the file does not end with CRLF");
        std::string line = bytes.substr(start, end - start);
        Check(line.find_first_of("\r\n") == std::string::npos,
              "bare CR or LF in line " + std::to_string(lines.size() + 1));
        lines.push_back(std::move(line));
        start = end + 2;
    }
    return lines;
}

// The value of a number line: " 0", " 500", "-50"; empty when malformed.
std::optional<long> NumberLine(const std::string& line)
{
    if (line.size() < 2 || line.size() > 6 || (line[0] != ' ' && line[0] != '-')) return std::nullopt;
    if (!std::all_of(line.begin() + 1, line.end(), [](char c) { return c >= '0' && c <= '9'; })) return std::nullopt;
    if (line[1] == '0' && (line.size() > 2 || line[0] == '-')) return std::nullopt;  // "007", "-0"
    const long magnitude = std::stol(line.substr(1));
    const long value = line[0] == '-' ? -magnitude : magnitude;
    if (value < -32768 || value > 32767) return std::nullopt;
    return value;
}

void CheckFile(const std::string& bytes, const generation::GenerationParameters& parameters, int players,
               const std::vector<Range>& ranges)
{
    const std::vector<std::string> lines = CrlfLines(bytes);
    const std::vector<std::string> head = list_layout::Head(parameters);
    const std::size_t expectedLines = list_layout::Lines(players);
    Check(lines.size() == expectedLines,
          std::to_string(lines.size()) + " lines; expected " + std::to_string(expectedLines));
    for (std::size_t i = 0; i < head.size(); ++i) {
        Check(lines[i] == head[i], "line " + std::to_string(i + 1) + " is \"" + lines[i] + "\"");
    }
    for (int player = 2; player <= players; ++player) {
        const std::size_t block = list_layout::PlayerLine(player) - 1;
        const std::string where = "player " + std::to_string(player);
        Check(lines[block] == " " + std::to_string(player), where + ": number line \"" + lines[block] + "\"");
        for (std::size_t column = 0; column < ranges.size(); ++column) {
            const std::string& line = lines[block + 1 + column];
            const std::optional<long> value = NumberLine(line);
            Check(value.has_value(), where + ": malformed number line \"" + line + "\"");
            const Range& range = ranges[column];
            Check(range.fits && *value >= range.lo && *value <= range.hi,
                  where + ", column " + std::to_string(column + 1) + ": " + std::to_string(*value) + " outside " +
                      std::to_string(range.lo) + ".." + std::to_string(range.hi));
        }
        Check(lines[block + list_layout::kBlockLines - 1].empty(), where + ": block does not end with an empty line");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const Scratch& scratch = TheScratch();
    const generation::GenerationParameters parameters =
        Split(std::string_view(reinterpret_cast<const char*>(data), size));

    // What the texts say about the run.
    std::optional<int> players;
    try {
        players = generation::FieldNumber(parameters.General(generation::kPlayerCountRow));
    } catch (const generation::OverflowFailure&) {
    }
    bool lineBreak = false;
    for (int row = generation::kFirstGeneralRow; row <= generation::kLastGeneralRow; ++row) {
        lineBreak = lineBreak || parameters.General(row).find_first_of("\r\n") != std::string::npos;
    }
    std::vector<Range> ranges;
    bool mustFail = !players;
    bool mayFail = mustFail;
    for (int row = generation::kFirstCoefficientRow; row <= generation::kLastCoefficientRow; ++row) {
        ranges.push_back(RangeOf(parameters.Coefficient(row)));
        if (players && *players >= 2) {
            mustFail = mustFail || !ranges.back().fits;
            mayFail = mayFail || !ranges.back().fits || ranges.back().lo < -32768 || ranges.back().hi > 32767;
        }
    }

    const std::string previous = ReadBytes(scratch.List());
    generation::CoefficientSampler sampler;
    bool failed = false;
    try {
        generation::GenerationRun(parameters, sampler, scratch.Path());
        Check(!lineBreak, "a text with a line break was written");
    } catch (const generation::TextFailure& failure) {
        Check(lineBreak, std::string("a text failure without a line break: ") + failure.what());
        Check(ReadBytes(scratch.List()) == previous, "a refused text changed the previous file");
        Check(scratch.Names() == std::vector<std::string>{"game_list.txt"}, "a refused text left a file behind");
        return 0;
    } catch (const generation::OverflowFailure& failure) {
        Check(!lineBreak, "a text with a line break was not refused before the numbers were read");
        Check(*failure.what() != '\0', "an overflow failure without a message");
        failed = true;
    } catch (const generation::FileFailure& failure) {
        Finding(std::string("FileFailure in the scratch folder: ") + failure.what());
    }

    Check(scratch.Names() == std::vector<std::string>{"game_list.txt"},
          "the folder holds more than game_list.txt after the run");
    if (failed) {
        Check(mayFail, "the run failed though every number fits");
        Check(ReadBytes(scratch.List()) == previous, "a failed run changed the previous file");
    } else {
        Check(!mustFail, "the run succeeded though a number does not fit");
        CheckFile(ReadBytes(scratch.List()), parameters, *players, ranges);
    }
    return 0;
}
