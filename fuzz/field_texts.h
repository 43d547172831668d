#pragma once
// The whole-run fuzzer's input: field texts by name, "players=30", separated
// by NUL bytes. A name is a general row's command-line option, or a
// coefficient row's with "-min" or "-max" ("rook-min"), so a seed tests the
// field its name says whatever rows are added around it. A text runs up to
// the NUL before the next name: it may hold NUL bytes itself. Fields not
// named keep their defaults.
#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "generation/parameters.h"

namespace fuzz_input {

// The text of the field so named, or nullptr.
inline std::string* Field(generation::GenerationParameters& parameters, std::string_view name)
{
    for (const generation::GeneralRow& row : generation::kGeneralRows) {
        if (name == row.option) return &parameters.General(row.row);
    }
    for (const generation::CoefficientRow& row : generation::kCoefficientRows) {
        if (!name.starts_with(row.option)) continue;
        if (name.substr(row.option.size()) == "-min") return &parameters.Coefficient(row.row).min;
        if (name.substr(row.option.size()) == "-max") return &parameters.Coefficient(row.row).max;
    }
    return nullptr;
}

struct FieldTexts {
    generation::GenerationParameters parameters;
    // What set no field: text before the first name, "NAME=TEXT" with a name
    // that no row has. The fuzzer ignores them; a seed has none.
    std::vector<std::string> strays;
};

inline FieldTexts ReadFieldTexts(std::string_view input)
{
    FieldTexts read;
    std::string* text = nullptr;
    for (bool more = true; more;) {
        const std::size_t end = input.find('\0');
        const std::string_view piece = input.substr(0, end);
        const std::size_t equals = piece.find('=');
        const auto nameCharacter = [](char c) { return c == '-' || (c >= 'a' && c <= 'z'); };
        const bool named = equals != std::string_view::npos && equals > 0 &&
                           std::all_of(piece.begin(), piece.begin() + equals, nameCharacter);
        if (std::string* field = named ? Field(read.parameters, piece.substr(0, equals)) : nullptr; field != nullptr) {
            text = field;
            *text = piece.substr(equals + 1);
        } else if (text != nullptr && !named) {
            (*text += '\0') += piece;
        } else if (!piece.empty()) {
            read.strays.emplace_back(piece);
            text = nullptr;
        }
        more = end != std::string_view::npos;
        if (more) input.remove_prefix(end + 1);
    }
    return read;
}

}  // namespace fuzz_input
