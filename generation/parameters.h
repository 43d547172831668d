#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace generation {

// Rows: the coefficient rows, kFirstCoefficientRow up, are also the column
// order of the file; the general rows, kFirstGeneralRow up, are written to
// the file in ascending order.
inline constexpr int kFirstCoefficientRow = 5;
inline constexpr int kLastCoefficientRow = 9;
inline constexpr int kFirstGeneralRow = 10;
inline constexpr int kLastGeneralRow = 14;
inline constexpr int kPlayerCountRow = 12;
inline constexpr int kCoefficientCount = kLastCoefficientRow - kFirstCoefficientRow + 1;
inline constexpr int kGeneralCount = kLastGeneralRow - kFirstGeneralRow + 1;

struct GeneralRow {
    int row;
    std::string_view label;        // the caption beside the field
    std::string_view defaultText;  // the field's text at start
    std::string_view key;          // the quoted line written before the text
    std::string_view option;       // the command line's option: --option TEXT
};

struct CoefficientRow {
    int row;
    std::string_view label;
    std::string_view column;  // the coefficient's name in the file's header
    std::string_view defaultMin;
    std::string_view defaultMax;
    int fixedValue;           // player 1's value, whatever the range says
    std::string_view option;  // the command line's option: --option MIN MAX
};

inline constexpr std::array<GeneralRow, kGeneralCount> kGeneralRows{{
    {10, "Max depth of black player:", "5", "Depth of black CPU", "depth-black"},
    {11, "Max depth of white player:", "5", "Depth of white CPU", "depth-white"},
    {12, "Number of player in population:", "30", "Number of player (set of eval function coefs)", "players"},
    {13, "Max number of generation:", "50", "NUMBER OF GENERATIONS", "generations"},
    {14, "Time limit for evolution (min):", "900", "Max time in minutes", "time-limit"},
}};

inline constexpr std::array<CoefficientRow, kCoefficientCount> kCoefficientRows{{
    {5, "Rook:", "ROOK", "0", "1000", 500, "rook"},
    {6, "Knight:", "KNIGHT", "0", "600", 300, "knight"},
    {7, "Bishop:", "BISHOP", "0", "600", 300, "bishop"},
    {8, "Queen:", "QUEEN", "0", "1600", 900, "queen"},
    {9, "Legal moves:", "POSS_MOVES", "-50", "150", 10, "moves"},
}};

// A row added without its option would leave a field the command line
// cannot set (an aggregate's missing member is empty): it stops the build.
// (std::none_of, not std::ranges::none_of, which the page's libc++ lacks.)
inline constexpr bool kEveryGeneralRowHasOption = std::none_of(kGeneralRows.begin(), kGeneralRows.end(),
                                                        [](const GeneralRow& row) { return row.option.empty(); });
inline constexpr bool kEveryCoefficientRowHasOption = std::none_of(
    kCoefficientRows.begin(), kCoefficientRows.end(), [](const CoefficientRow& row) { return row.option.empty(); });
static_assert(kEveryGeneralRowHasOption, "every general row names its command-line option");
static_assert(kEveryCoefficientRowHasOption, "every coefficient row names its command-line option");

// A row is found by its position in its table (GeneralRowInfo, the record's
// arrays), and the coefficient table's order is the file's column order: a
// row numbered out of turn would give its label, default and message to
// another field, so it stops the build.
template <typename Row, std::size_t N>
constexpr bool NumberedInTableOrder(const std::array<Row, N>& rows, int first)
{
    for (std::size_t i = 0; i < N; ++i) {
        if (rows[i].row != first + static_cast<int>(i)) return false;
    }
    return true;
}
static_assert(NumberedInTableOrder(kGeneralRows, kFirstGeneralRow), "general rows run from kFirstGeneralRow up in table order");
static_assert(NumberedInTableOrder(kCoefficientRows, kFirstCoefficientRow),
              "coefficient rows run from kFirstCoefficientRow up in table order");
static_assert(kLastCoefficientRow < kFirstGeneralRow, "the coefficient rows come before the general rows");
static_assert(kPlayerCountRow >= kFirstGeneralRow && kPlayerCountRow <= kLastGeneralRow, "the count is a general row");

// Throw std::out_of_range for a row that is not a general or a coefficient row respectively.
const GeneralRow& GeneralRowInfo(int row);
const CoefficientRow& CoefficientRowInfo(int row);

// The Min and Max texts of one coefficient row.
struct CoefficientRange {
    std::string min;
    std::string max;
    bool operator==(const CoefficientRange&) const = default;
};

// The texts of every field that one generation run reads, held exactly as typed:
// never trimmed, never validated. A new record holds the default texts.
class GenerationParameters {
public:
    GenerationParameters();

    // A general row; std::out_of_range otherwise.
    const std::string& General(int row) const;
    std::string& General(int row);

    // A coefficient row; std::out_of_range otherwise.
    const CoefficientRange& Coefficient(int row) const;
    CoefficientRange& Coefficient(int row);

    bool operator==(const GenerationParameters&) const = default;

private:
    std::array<std::string, kGeneralCount> general_;
    std::array<CoefficientRange, kCoefficientCount> coefficients_;
};

}  // namespace generation
