#pragma once

#include <string>
#include <string_view>

// Conversions between doubles and decimal text, the same on every standard
// library: std::from_chars and std::to_chars where the library has them for
// doubles, and where it does not (libc++ before 20, so emscripten's and
// older Apple ones) a fallback on the C library's correctly rounded strtod
// in the "C" locale, which gives exactly the same results. Configuring with
// -DPOPGEN_CHARCONV_FALLBACK=ON uses the fallback everywhere, so that the
// tests check it on any machine.
namespace generation::detail {

// How a decimal number's text read.
enum class DecimalRead {
    Read,        // the nearest double, a denormal included
    OutOfRange,  // beyond the double range, or a nonzero number that rounds to zero
};

// Reads `body`, a number as LeadingNumber scans it (digits with at most one
// period, at least one digit, and an optional exponent of an "e" or "E", a
// sign and digits; no sign of its own), in full: as
// std::from_chars(..., std::chars_format::general) reads it.
// std::logic_error when `body` is not such a number.
DecimalRead ReadDecimal(std::string_view body, double& value);

// The shortest text that reads back as `value`, as std::to_chars(value)
// writes it, or with `fixed` as std::to_chars(value, std::chars_format::fixed)
// does: "32767.5", "1e+16", "-inf", "nan".
std::string ShortestText(double value, bool fixed);

#ifndef _WIN32
// The fallback itself, on every POSIX library (the fuzzers hold it against
// the standard one where the library has that). Windows builds have the
// standard conversions in every supported compiler and need none.
DecimalRead FallbackReadDecimal(std::string_view body, double& value);
std::string FallbackShortestText(double value, bool fixed);
#endif

#if POPGEN_HAVE_FLOAT_CHARCONV
// The standard library's conversions, where it has them for doubles.
DecimalRead StandardReadDecimal(std::string_view body, double& value);
std::string StandardShortestText(double value, bool fixed);
#endif

}  // namespace generation::detail
