#pragma once

#include <array>
#include <string>
#include <string_view>

namespace generation {

// Rows: the coefficient rows 5..9 are also the column order of the file;
// the general rows 10..14 are written to the file in ascending order.
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
};

struct CoefficientRow {
    int row;
    std::string_view label;
    std::string_view column;  // the coefficient's name in the file's header
    std::string_view defaultMin;
    std::string_view defaultMax;
    int fixedValue;  // player 1's value, whatever the range says
};

inline constexpr std::array<GeneralRow, kGeneralCount> kGeneralRows{{
    {10, "Max depth of black player:", "5", "Depth of black CPU"},
    {11, "Max depth of white player:", "5", "Depth of white CPU"},
    {12, "Number of player in population:", "30", "Number of player (set of eval function coefs)"},
    {13, "Max number of generation:", "50", "NUMBER OF GENERATIONS"},
    {14, "Time limit for evolution (min):", "900", "Max time in minutes"},
}};

inline constexpr std::array<CoefficientRow, kCoefficientCount> kCoefficientRows{{
    {5, "Rook:", "ROOK", "0", "1000", 500},
    {6, "Knight:", "KNIGHT", "0", "600", 300},
    {7, "Bishop:", "BISHOP", "0", "600", 300},
    {8, "Queen:", "QUEEN", "0", "1600", 900},
    {9, "Legal moves:", "POSS_MOVES", "-50", "150", 10},
}};

// Throw std::out_of_range for a row outside 10..14 or 5..9 respectively.
const GeneralRow& GeneralRowInfo(int row);
const CoefficientRow& CoefficientRowInfo(int row);

// The Min and Max texts of one coefficient row.
struct CoefficientRange {
    std::string min;
    std::string max;
    bool operator==(const CoefficientRange&) const = default;
};

// The fifteen texts that one generation run reads, held exactly as typed:
// never trimmed, never validated. A new record holds the default texts.
class GenerationParameters {
public:
    GenerationParameters();

    // Rows 10..14; std::out_of_range otherwise.
    const std::string& General(int row) const;
    std::string& General(int row);

    // Rows 5..9; std::out_of_range otherwise.
    const CoefficientRange& Coefficient(int row) const;
    CoefficientRange& Coefficient(int row);

    bool operator==(const GenerationParameters&) const = default;

private:
    std::array<std::string, kGeneralCount> general_;
    std::array<CoefficientRange, kCoefficientCount> coefficients_;
};

}  // namespace generation
