#include "generation/population_list.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "generation/failures.h"
#include "generation/field_number.h"
#include "generation/platform/file_replacement.h"

namespace generation {

namespace {

constexpr std::string_view kLineEnd = "\r\n";

// The column header: "PLAYER NO", then each coefficient's key in the
// table's order, the order of a player's values.
const std::string& Header()
{
    static const std::string header = [] {
        std::string text = "PLAYER NO";
        for (const CoefficientRow& row : kCoefficientRows) (text += ", ") += row.column;
        return text;
    }();
    return header;
}

// The number lines of every 16-bit value, " 500\r\n" or "-32768\r\n", in
// eight bytes each (the longest needs all eight), indexed by the value's
// bit pattern: a run writes up to 196 000 of them, and copying eight bytes
// is much cheaper than formatting each.
using NumberLineTable = std::array<std::array<char, 8>, 65536>;

const NumberLineTable& NumberLines()
{
    static const auto table = [] {
        auto lines = std::make_unique<NumberLineTable>();
        for (int value = -32768; value <= 32767; ++value) {
            std::array<char, 8>& line = (*lines)[static_cast<std::uint16_t>(value)];
            char* at = line.data();
            *at++ = value < 0 ? '-' : ' ';
            at = std::to_chars(at, line.data() + line.size(), value < 0 ? -value : value).ptr;
            *at++ = '\r';
            *at = '\n';
        }
        return lines;
    }();
    return *table;
}

// The length of a value's number line: sign or space, digits, CR, LF.
inline std::size_t NumberLineSize(std::int16_t value)
{
    const int magnitude = value < 0 ? -value : value;
    return 4 + (magnitude >= 10) + (magnitude >= 100) + (magnitude >= 1000) + (magnitude >= 10000);
}

// Collects the file's lines and hands them to the replacement in chunks.
class PopulationListWriter {
public:
    explicit PopulationListWriter(FileReplacement& file)
        : file_(file), lines_(NumberLines()), buffer_(new char[kChunk + kSlack])
    {
    }

    void Quoted(std::string_view text)
    {
        Append("\"");
        Append(text);
        Append("\"\r\n");
    }

    void Plain(std::string_view text)
    {
        Append(text);
        Append(kLineEnd);
    }

    // " 0", " 500", "-50": a space stands where a minus sign would.
    void Number(std::int16_t value)
    {
        used_ += Put(buffer_.get() + used_, value);
        if (used_ >= kChunk) Flush();
    }

    // A player block: the player's number, the values, an empty line.
    void Player(std::int16_t number, const std::array<std::int16_t, kCoefficientCount>& values)
    {
        char* const start = buffer_.get() + used_;
        char* at = start;
        at += Put(at, number);
        for (const std::int16_t value : values) at += Put(at, value);
        *at++ = '\r';
        *at++ = '\n';
        used_ += static_cast<std::size_t>(at - start);
        if (used_ >= kChunk) Flush();
    }

    void Empty() { Append(kLineEnd); }

    void Flush()
    {
        file_.Write(std::string_view(buffer_.get(), used_));
        used_ = 0;
    }

private:
    static constexpr std::size_t kChunk = detail::kWriteChunk;
    // Room past the chunk for one player block of whole number lines.
    static constexpr std::size_t kSlack = (kCoefficientCount + 2) * 8;

    // Copies a number line's eight bytes; the line is the first few of them.
    std::size_t Put(char* at, std::int16_t value) const
    {
        std::memcpy(at, lines_[static_cast<std::uint16_t>(value)].data(), 8);
        return NumberLineSize(value);
    }

    void Append(std::string_view text)
    {
        while (!text.empty()) {
            const std::size_t part = std::min(text.size(), kChunk - used_);
            std::copy_n(text.data(), part, buffer_.get() + used_);
            used_ += part;
            text.remove_prefix(part);
            if (used_ >= kChunk) Flush();
        }
    }

    FileReplacement& file_;
    const NumberLineTable& lines_;
    std::unique_ptr<char[]> buffer_;
    std::size_t used_ = 0;
};

// Each general text is one line of the file, written as typed.
void RequireOneLineTexts(const GenerationParameters& parameters)
{
    for (const GeneralRow& row : kGeneralRows) {
        if (parameters.General(row.row).find_first_of("\r\n") != std::string::npos) {
            throw TextFailure("The field " + QuotedText(row.label) +
                              " holds a line break. A line break cannot be written into the population list, "
                              "where each text stands on a line of its own.");
        }
    }
}

}  // namespace

std::filesystem::path CurrentDirectory()
{
    std::error_code error;
    std::filesystem::path directory = CurrentFolder(error);
    if (error) throw FileFailure("determine the current folder", {}, error);
    return directory;
}

std::filesystem::path PopulationListPath(const std::filesystem::path& directory)
{
    return directory / "files" / "game_list.txt";
}

void GenerationRun(const GenerationParameters& parameters)
{
    GenerationRun(parameters, CoefficientSampler::Process(), CurrentDirectory());
}

void GenerationRun(const GenerationParameters& parameters, CoefficientSampler& sampler,
                   const std::filesystem::path& directory)
{
    RequireOneLineTexts(parameters);
    FileReplacement file(PopulationListPath(directory));
    PopulationListWriter out(file);

    for (const GeneralRow& row : kGeneralRows) {
        out.Quoted(row.key);
        out.Plain(parameters.General(row.row));
    }
    out.Quoted("First generation");
    out.Number(1);
    out.Quoted("First game");
    out.Number(0);
    out.Empty();
    out.Quoted(Header());
    out.Empty();

    std::array<std::int16_t, kCoefficientCount> values{};
    for (std::size_t column = 0; column < values.size(); ++column) {
        values[column] = static_cast<std::int16_t>(kCoefficientRows[column].fixedValue);
    }
    out.Player(1, values);

    const GeneralRow& countRow = GeneralRowInfo(kPlayerCountRow);
    const int players =
        detail::FieldNumber(parameters.General(kPlayerCountRow), "the field " + QuotedText(countRow.label));
    if (players >= 2) {
        // The texts stay as they are for the whole run, so each range is read
        // once; a range that does not fit fails at its first draw.
        std::vector<PreparedRange> ranges;
        ranges.reserve(kCoefficientRows.size());
        for (const CoefficientRow& row : kCoefficientRows) ranges.emplace_back(parameters, row.row);

        // A failing draw discards the whole file, so a player's values may
        // all be drawn before its block is written.
        for (int player = 2; player <= players; ++player) {
            for (std::size_t column = 0; column < values.size(); ++column) {
                values[column] = sampler.Draw(ranges[column], player);
            }
            out.Player(static_cast<std::int16_t>(player), values);
        }
    }

    out.Flush();
    file.Commit();
}

}  // namespace generation
