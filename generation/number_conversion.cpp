#include "generation/number_conversion.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <stdexcept>

#if POPGEN_HAVE_FLOAT_CHARCONV
#include <charconv>
#include <system_error>
#endif

#ifndef _WIN32
#include <locale.h>
#include <stdlib.h>
#if defined(__APPLE__)
#include <xlocale.h>
#endif
#endif

namespace generation::detail {

namespace {

[[noreturn]] void NotADecimal(std::string_view body)
{
    // The scanner hands over only what both conversions read in full;
    // anything else is a fault of the caller, not of the text.
    throw std::logic_error("number reader handed \"" + std::string(body) + "\", which is not a decimal number");
}

}  // namespace

#ifndef _WIN32

namespace {

// The "C" locale, made once: strtod_l reads a period as the decimal point
// in it, whatever locale the process or the thread has set.
locale_t CLocale()
{
    static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    if (c == static_cast<locale_t>(nullptr)) throw std::runtime_error("the \"C\" locale cannot be made");
    return c;
}

// One correctly rounded conversion of the whole text, in the "C" locale.
DecimalRead ReadInC(const std::string& text, double& value)
{
    errno = 0;
    char* end = nullptr;
    const double read = strtod_l(text.c_str(), &end, CLocale());
    const int error = errno;
    if (end != text.c_str() + text.size()) NotADecimal(text);
    // strtod reports a denormal with ERANGE too; that is a value all the same.
    if (error == ERANGE && (std::isinf(read) || read == 0.0)) return DecimalRead::OutOfRange;
    value = read;
    return DecimalRead::Read;
}

// A positive finite value's shortest decimal: `digits` without trailing
// zeros, and `exponent`, the power of ten of the first digit.
struct Decimal {
    std::string digits;
    int exponent;
};

// The p-digit decimal nearest to `value` (p = precision + 1), from printf's
// exactly rounded %e, read without regard to the decimal point's character.
void NearestDigits(double value, int precision, std::uint64_t& mantissa, int& exponent)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*e", precision, value);
    mantissa = 0;
    const char* at = buffer;
    for (; *at != 'e' && *at != 'E' && *at != '\0'; ++at) {
        if (*at >= '0' && *at <= '9') mantissa = mantissa * 10 + static_cast<std::uint64_t>(*at - '0');
    }
    exponent = static_cast<int>(std::strtol(at + 1, nullptr, 10));
}

bool ReadsBackAs(std::uint64_t mantissa, int power, double value)
{
    char text[48];
    std::snprintf(text, sizeof text, "%llue%d", static_cast<unsigned long long>(mantissa), power);
    double read = 0.0;
    return ReadInC(text, read) == DecimalRead::Read && read == value;
}

// The fewest digits that read back as `value`, and of those the nearest:
// for each count of digits, the nearest decimal of that many digits, or,
// when `value` lies next to a power of two where the doubles below it are
// twice as close as those above, the decimal beside it on the far side.
Decimal ShortestDigits(double value)
{
    for (int count = 1; count <= 17; ++count) {
        std::uint64_t nearest = 0;
        int exponent = 0;
        NearestDigits(value, count - 1, nearest, exponent);
        std::uint64_t lowest = 1;
        for (int i = 1; i < count; ++i) lowest *= 10;
        for (const std::uint64_t candidate : {nearest, nearest + 1, nearest - 1}) {
            if (candidate < lowest || !ReadsBackAs(candidate, exponent - count + 1, value)) continue;
            std::string digits = std::to_string(candidate);
            const int first = exponent + static_cast<int>(digits.size()) - count;  // 10^count carries
            while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
            return {digits, first};
        }
    }
    throw std::logic_error("no decimal of 17 digits reads back as the value");  // 17 always do
}

std::string Scientific(const Decimal& decimal)
{
    std::string text(1, decimal.digits[0]);
    if (decimal.digits.size() > 1) text += '.' + decimal.digits.substr(1);
    const int magnitude = decimal.exponent < 0 ? -decimal.exponent : decimal.exponent;
    text += decimal.exponent < 0 ? "e-" : "e+";
    if (magnitude < 10) text += '0';
    return text + std::to_string(magnitude);
}

std::string Fixed(double value, const Decimal& decimal)
{
    const int count = static_cast<int>(decimal.digits.size());
    if (decimal.exponent >= count - 1) {
        // A whole number: its digits exactly, as every whole-number text of
        // that length has as few characters and this one is the nearest.
        char buffer[400];
        std::snprintf(buffer, sizeof buffer, "%.0f", value);
        std::string text;
        for (const char* at = buffer; *at != '\0'; ++at) {
            if (*at >= '0' && *at <= '9') text += *at;
        }
        return text;
    }
    if (decimal.exponent < 0) return "0." + std::string(static_cast<std::size_t>(-decimal.exponent - 1), '0') + decimal.digits;
    const auto whole = static_cast<std::size_t>(decimal.exponent + 1);
    return decimal.digits.substr(0, whole) + '.' + decimal.digits.substr(whole);
}

}  // namespace

DecimalRead FallbackReadDecimal(std::string_view body, double& value)
{
    // Only what from_chars reads in the general format, and nothing that
    // strtod reads beyond it (a sign, blanks, "inf", hexadecimal).
    if (body.empty() || !((body[0] >= '0' && body[0] <= '9') || body[0] == '.')) NotADecimal(body);
    for (const char c : body) {
        if (!((c >= '0' && c <= '9') || c == '.' || c == 'e' || c == 'E' || c == '+' || c == '-')) NotADecimal(body);
    }
    return ReadInC(std::string(body), value);
}

std::string FallbackShortestText(double value, bool fixed)
{
    const std::string sign = std::signbit(value) ? "-" : "";
    if (std::isnan(value)) return sign + "nan";
    if (std::isinf(value)) return sign + "inf";
    if (value == 0.0) return sign + "0";
    const Decimal decimal = ShortestDigits(std::fabs(value));
    const std::string plain = Fixed(std::fabs(value), decimal);
    if (fixed) return sign + plain;
    // The shorter of the two forms; the fixed one when they tie.
    const std::string scientific = Scientific(decimal);
    return sign + (scientific.size() < plain.size() ? scientific : plain);
}

#endif  // _WIN32

#if POPGEN_HAVE_FLOAT_CHARCONV

DecimalRead StandardReadDecimal(std::string_view body, double& value)
{
    double read = 0.0;
    const auto [end, error] = std::from_chars(body.data(), body.data() + body.size(), read, std::chars_format::general);
    if (error == std::errc::result_out_of_range) return DecimalRead::OutOfRange;
    if (error != std::errc{} || end != body.data() + body.size()) NotADecimal(body);
    value = read;
    return DecimalRead::Read;
}

std::string StandardShortestText(double value, bool fixed)
{
    char buffer[400];  // the longest, a denormal in fixed digits, takes 343
    const auto result = fixed ? std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed)
                              : std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

#endif

DecimalRead ReadDecimal(std::string_view body, double& value)
{
#if POPGEN_HAVE_FLOAT_CHARCONV && !POPGEN_CHARCONV_FALLBACK
    return StandardReadDecimal(body, value);
#else
    return FallbackReadDecimal(body, value);
#endif
}

std::string ShortestText(double value, bool fixed)
{
#if POPGEN_HAVE_FLOAT_CHARCONV && !POPGEN_CHARCONV_FALLBACK
    return StandardShortestText(value, fixed);
#else
    return FallbackShortestText(value, fixed);
#endif
}

}  // namespace generation::detail
