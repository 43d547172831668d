// Fuzz target: reading field texts as numbers.
//
// For any byte string, LeadingNumber must agree bit for bit with a reference
// that finds the number with a state machine and converts it with strtod in
// the C locale, and FieldNumber must give that value rounded to the nearest
// integer (ties to even) or raise OverflowFailure when it does not fit 16
// bits. The first eight bytes, read as a double, also go through Round16.
//
// Zero keeps its sign where the number has one: "-0" and a negative number
// too small for a double ("-1e-400") read as -0.0, as strtod gives them; a
// text with no number reads as +0.0. Numbers beyond the double range, where
// strtod gives HUGE_VAL with ERANGE, must raise OverflowFailure. Numbers
// below the smallest denormal read as zero and the others as the nearest
// denormal; strtod sets ERANGE for both, so ERANGE alone decides nothing.
//
// Where the standard library converts doubles itself, its conversions and
// the core's fallback for libraries that do not (the C library in the "C"
// locale) must agree bit for bit and character for character: the number
// found, and the first eight bytes' shortest text, fixed and general.

#include <cerrno>
#include <cfenv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <locale.h>
#include <optional>
#include <stdlib.h>
#include <string>
#include <string_view>

#include "generation/failures.h"
#include "generation/field_number.h"
#include "generation/number_conversion.h"

namespace {

[[noreturn]] void Finding(const std::string& what, std::string_view text)
{
    std::fprintf(stderr, "\nFINDING: %s\ntext (%zu bytes):", what.c_str(), text.size());
    for (const unsigned char c : text.substr(0, 200)) std::fprintf(stderr, " %02x", c);
    std::fprintf(stderr, "\n");
    std::abort();
}

std::uint64_t Bits(double value)
{
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

std::string Show(double value)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.17g (bits %016llx)", value, static_cast<unsigned long long>(Bits(value)));
    return buffer;
}

// The longest prefix, after the leading blanks, that the grammar accepts:
//   [+-]? (digits "."? digits? | "." digits) ([eE] [+-]? digits)?
// Empty when there is none.
std::string NumberPrefix(std::string_view text)
{
    enum class State { Blanks, Sign, Whole, Point, Fraction, E, ESign, Exponent, Done };
    State state = State::Blanks;
    std::size_t begin = 0;
    std::size_t accepted = std::string_view::npos;  // end of the longest accepted prefix
    for (std::size_t at = 0; state != State::Done; ++at) {
        const int c = at < text.size() ? static_cast<unsigned char>(text[at]) : -1;
        const bool digit = c >= '0' && c <= '9';
        const bool sign = c == '+' || c == '-';
        switch (state) {
        case State::Blanks:
            if (c == ' ' || c == '\t' || c == '\n') break;
            begin = at;
            state = sign ? State::Sign : digit ? State::Whole : c == '.' ? State::Point : State::Done;
            break;
        case State::Sign:
            state = digit ? State::Whole : c == '.' ? State::Point : State::Done;
            break;
        case State::Whole:
            state = digit ? State::Whole : c == '.' ? State::Fraction : (c == 'e' || c == 'E') ? State::E : State::Done;
            break;
        case State::Point:  // a period with no digit before it
            state = digit ? State::Fraction : State::Done;
            break;
        case State::Fraction:
            state = digit ? State::Fraction : (c == 'e' || c == 'E') ? State::E : State::Done;
            break;
        case State::E:
            state = sign ? State::ESign : digit ? State::Exponent : State::Done;
            break;
        case State::ESign:
            state = digit ? State::Exponent : State::Done;
            break;
        case State::Exponent:
            state = digit ? State::Exponent : State::Done;
            break;
        case State::Done:
            break;
        }
        // Whole, Fraction and Exponent end a number; entering one of them
        // at `at` accepts the prefix up to and including `at`.
        if (state == State::Whole || state == State::Fraction || state == State::Exponent) accepted = at + 1;
    }
    if (accepted == std::string_view::npos) return {};
    return std::string(text.substr(begin, accepted - begin));
}

// The reference value; empty when the number lies beyond the double range.
std::optional<double> ReferenceNumber(std::string_view text)
{
    static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    if (c == static_cast<locale_t>(nullptr)) Finding("newlocale failed", text);

    const std::string number = NumberPrefix(text);
    if (number.empty()) return 0.0;
    errno = 0;
    char* end = nullptr;
    const double value = strtod_l(number.c_str(), &end, c);
    const int error = errno;
    if (end != number.c_str() + number.size()) Finding("the reference scanner accepted what strtod does not read", text);
    if (error == ERANGE && std::fabs(value) == HUGE_VAL) return std::nullopt;
    return value;
}

// The reference of FieldNumber and Round16: empty for the overflow failure.
std::optional<std::int16_t> ReferenceWhole(std::optional<double> value)
{
    if (!value || std::isnan(*value)) return std::nullopt;
    const double rounded = std::nearbyint(*value);  // the default mode rounds ties to even
    if (rounded < -32768.0 || rounded > 32767.0) return std::nullopt;
    return static_cast<std::int16_t>(rounded);
}

template <typename Read>
auto Outcome(Read read) -> std::optional<decltype(read())>
{
    try {
        return read();
    } catch (const generation::OverflowFailure& failure) {
        if (std::strlen(failure.what()) == 0) Finding("an overflow failure without a message", {});
        return std::nullopt;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (std::fegetround() != FE_TONEAREST) Finding("the rounding mode changed", {});
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    const std::optional<double> expected = ReferenceNumber(text);
    const std::optional<double> read = Outcome([&] { return generation::LeadingNumber(text); });
    if (expected.has_value() != read.has_value()) {
        Finding(expected ? "LeadingNumber raised OverflowFailure; the reference reads " + Show(*expected)
                         : "LeadingNumber read " + Show(*read) + "; the reference overflows",
                text);
    }
    if (expected && Bits(*expected) != Bits(*read)) {
        Finding("LeadingNumber read " + Show(*read) + "; the reference reads " + Show(*expected), text);
    }

    const std::optional<std::int16_t> whole = ReferenceWhole(expected);
    const std::optional<std::int16_t> field = Outcome([&] { return generation::FieldNumber(text); });
    if (whole != field) {
        Finding("FieldNumber gives " + (field ? std::to_string(*field) : std::string("OverflowFailure")) +
                    "; the reference gives " + (whole ? std::to_string(*whole) : std::string("OverflowFailure")),
                text);
    }

#if POPGEN_HAVE_FLOAT_CHARCONV
    if (std::string body = NumberPrefix(text); !body.empty()) {
        if (body[0] == '+' || body[0] == '-') body.erase(0, 1);
        double standard = 0.0, fallback = 0.0;
        const auto standardRead = generation::detail::StandardReadDecimal(body, standard);
        const auto fallbackRead = generation::detail::FallbackReadDecimal(body, fallback);
        if (standardRead != fallbackRead || Bits(standard) != Bits(fallback)) {
            Finding("the fallback reads " + Show(fallback) + "; from_chars reads " + Show(standard), text);
        }
    }
#endif

    if (size >= sizeof(double)) {
        double value;
        std::memcpy(&value, data, sizeof value);
#if POPGEN_HAVE_FLOAT_CHARCONV
        for (const bool fixed : {false, true}) {
            const std::string standard = generation::detail::StandardShortestText(value, fixed);
            const std::string fallback = generation::detail::FallbackShortestText(value, fixed);
            if (standard != fallback) {
                Finding("the fallback writes " + Show(value) + " as " + fallback + "; to_chars as " + standard, text);
            }
        }
#endif
        const std::optional<std::int16_t> reference = ReferenceWhole(value);
        const std::optional<std::int16_t> rounded = Outcome([&] { return generation::Round16(value); });
        if (reference != rounded) {
            Finding("Round16(" + Show(value) + ") gives " +
                        (rounded ? std::to_string(*rounded) : std::string("OverflowFailure")) + "; the reference gives " +
                        (reference ? std::to_string(*reference) : std::string("OverflowFailure")),
                    text);
        }
    }
    return 0;
}
