#include "generation/field_number.h"

#include <cmath>

#include "generation/failures.h"
#include "generation/number_conversion.h"

namespace generation {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n'; }

// Whether a decimal number, written as digits, an optional period and an
// optional exponent, has a magnitude of at least 1. Used only to tell an
// overflow from an underflow, which lie hundreds of decades apart.
bool AtLeastOne(std::string_view body)
{
    long long magnitude = 0;  // the power of ten of the first significant digit, plus one
    bool seenPeriod = false;
    bool seenSignificant = false;
    std::size_t i = 0;
    for (; i < body.size() && (IsDigit(body[i]) || body[i] == '.'); ++i) {
        const char c = body[i];
        if (c == '.') {
            seenPeriod = true;
        } else if (seenSignificant) {
            if (!seenPeriod) ++magnitude;
        } else if (c != '0') {
            seenSignificant = true;
            if (!seenPeriod) magnitude = 1;
        } else if (seenPeriod) {
            --magnitude;
        }
    }
    if (!seenSignificant) return false;
    if (i < body.size()) {  // the exponent
        ++i;
        bool negative = false;
        if (body[i] == '+' || body[i] == '-') negative = body[i++] == '-';
        long long exponent = 0;
        for (; i < body.size(); ++i) {
            if (exponent < 1'000'000'000) exponent = exponent * 10 + (body[i] - '0');
        }
        magnitude += negative ? -exponent : exponent;
    }
    return magnitude > 0;
}

}  // namespace

namespace detail {

std::optional<double> ReadLeadingNumber(std::string_view text)
{
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n && IsBlank(text[i])) ++i;
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';

    const std::size_t start = i;
    std::size_t digits = 0;
    while (i < n && IsDigit(text[i])) ++i, ++digits;
    if (i < n && text[i] == '.') {
        ++i;
        while (i < n && IsDigit(text[i])) ++i, ++digits;
    }
    if (digits == 0) return 0.0;

    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < n && (text[j] == '+' || text[j] == '-')) ++j;
        const std::size_t exponentStart = j;
        while (j < n && IsDigit(text[j])) ++j;
        if (j > exponentStart) i = j;  // "7e" and "7e+" end before the e
    }

    const std::string_view body = text.substr(start, i - start);
    double value = 0.0;
    if (ReadDecimal(body, value) == DecimalRead::OutOfRange) {
        if (AtLeastOne(body)) return std::nullopt;
        value = 0.0;
    }
    return negative ? -value : value;
}

double RoundHalfEven(double value)
{
    if (!std::isfinite(value)) return value;
    const double below = std::floor(value);
    const double fraction = value - below;  // exact for every finite double
    if (fraction < 0.5) return below;
    if (fraction > 0.5) return below + 1.0;
    return std::fmod(below, 2.0) == 0.0 ? below : below + 1.0;
}

std::optional<std::int16_t> Fit16(double value)
{
    const double rounded = RoundHalfEven(value);
    if (!(rounded >= kWholeMin && rounded <= kWholeMax)) return std::nullopt;  // NaN included
    return static_cast<std::int16_t>(rounded);
}

std::string NumberText(double value)
{
    // Plain digits as far as a person reads them ("100000", not "1e+05");
    // an exponent only for numbers of more than sixteen digits.
    return ShortestText(value, std::fabs(value) < 1e16);
}

std::string OutsideRange(double value)
{
    const double rounded = RoundHalfEven(value);
    const std::string where = "the whole-number range -32768 to 32767.";
    if (rounded != value) return "rounds to " + NumberText(rounded) + ", outside " + where;
    return "is outside " + where;
}

double LeadingNumber(std::string_view text, std::string_view field)
{
    const std::optional<double> value = ReadLeadingNumber(text);
    if (!value) {
        throw OverflowFailure("In " + std::string(field) + ", the text " + QuotedText(text) +
                              " is a number too large to be read.");
    }
    return *value;
}

std::int16_t FieldNumber(std::string_view text, std::string_view field)
{
    const double value = LeadingNumber(text, field);
    const std::optional<std::int16_t> whole = Fit16(value);
    if (!whole) {
        throw OverflowFailure("In " + std::string(field) + ", the text " + QuotedText(text) + " reads as " +
                              NumberText(value) + ", which " + OutsideRange(value));
    }
    return *whole;
}

}  // namespace detail

double LeadingNumber(std::string_view text) { return detail::LeadingNumber(text, "a field"); }

std::int16_t Round16(double value)
{
    const std::optional<std::int16_t> whole = detail::Fit16(value);
    if (!whole) {
        throw OverflowFailure("The number " + detail::NumberText(value) + " " + detail::OutsideRange(value));
    }
    return *whole;
}

std::int16_t FieldNumber(std::string_view text) { return detail::FieldNumber(text, "a field"); }

}  // namespace generation
