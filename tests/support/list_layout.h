#pragma once
// The population list's layout as every test expects it, worked out from the
// core's tables (generation/parameters.h): a coefficient or a general field
// added there moves each count, line number and expected line with it. The
// golden file, tests/data/default_game_list.txt, checks the bytes themselves.
#include <algorithm>
#include <string>
#include <vector>

#include "generation/parameters.h"

namespace list_layout {

// Before player 1: a key line and a text line per general field, the start
// markers with their numbers, an empty line, the header, an empty line.
inline constexpr int kLinesBeforePlayers = 2 * generation::kGeneralCount + 7;
// A player's block: its number, a value per coefficient, an empty line.
inline constexpr int kBlockLines = generation::kCoefficientCount + 2;

// The lines of a list of `players` players, the count as a run reads it: player 1 always.
constexpr std::size_t Lines(int players) { return kLinesBeforePlayers + kBlockLines * std::max(players, 1); }
// Line numbers, from 1: a player's number, and its value of a coefficient row (5..9).
constexpr int PlayerLine(int player) { return kLinesBeforePlayers + kBlockLines * (player - 1) + 1; }
constexpr int ValueLine(int player, int row) { return PlayerLine(player) + 1 + row - generation::kFirstCoefficientRow; }

// The bytes that `lines` take in the file, each line ended by CRLF.
inline std::size_t Bytes(const std::vector<std::string>& lines)
{
    std::size_t bytes = 2 * lines.size();
    for (const std::string& line : lines) bytes += line.size();
    return bytes;
}

// A number line: " 500", "-50".
inline std::string NumberLine(int value) { return (value < 0 ? "-" : " ") + std::to_string(value < 0 ? -value : value); }

// The lines before player 2, which every run with these texts writes alike:
// each general key and text, the start markers, the header ("PLAYER NO" and
// the coefficients' keys) and player 1's block with the table's fixed values.
inline std::vector<std::string> Head(const generation::GenerationParameters& parameters = {})
{
    std::vector<std::string> lines;
    for (const generation::GeneralRow& row : generation::kGeneralRows) {
        lines.insert(lines.end(), {"\"" + std::string(row.key) + "\"", parameters.General(row.row)});
    }
    std::string header = "\"PLAYER NO";
    for (const generation::CoefficientRow& row : generation::kCoefficientRows) header += ", " + std::string(row.column);
    lines.insert(lines.end(), {"\"First generation\"", " 1", "\"First game\"", " 0", "", header + "\"", "", " 1"});
    for (const generation::CoefficientRow& row : generation::kCoefficientRows) lines.push_back(NumberLine(row.fixedValue));
    lines.emplace_back();
    return lines;
}

}  // namespace list_layout
