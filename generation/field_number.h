#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace generation {

inline constexpr int kWholeMin = -32768;
inline constexpr int kWholeMax = 32767;

// The text's leading decimal number: blanks (space, tab, line feed) are
// skipped, then an optional sign, digits with at most one period (at least
// one digit), and an optional exponent are read; whatever follows is
// ignored. A text with no number there reads as 0. The period is the
// decimal point in every locale. The value is the nearest double; a number
// too large for a double raises OverflowFailure, one too small reads as 0.
double LeadingNumber(std::string_view text);

// The value rounded to the nearest integer, ties to even; OverflowFailure
// when the result lies outside -32768..32767.
std::int16_t Round16(double value);

// Round16(LeadingNumber(text)).
std::int16_t FieldNumber(std::string_view text);

namespace detail {

// LeadingNumber without the failure: empty when the number is too large
// for a double.
std::optional<double> ReadLeadingNumber(std::string_view text);

// Round16 without the failure: empty when the rounded value does not fit.
std::optional<std::int16_t> Fit16(double value);

// The value rounded to an integer, ties to even, as a double.
double RoundHalfEven(double value);

// The shortest text that reads back as the value, in plain digits below
// 1e16 ("100000", "32767.5").
std::string NumberText(double value);

// FieldNumber of a field's text, with a failure that names the field:
// `field` reads like `the Min field of "Rook:"`.
std::int16_t FieldNumber(std::string_view text, std::string_view field);

// LeadingNumber of a field's text, with a failure that names the field.
double LeadingNumber(std::string_view text, std::string_view field);

// The end of a sentence saying that a number does not fit: "is outside the
// whole-number range -32768 to 32767." or "rounds to 32768, outside ...".
std::string OutsideRange(double value);

}  // namespace detail

}  // namespace generation
