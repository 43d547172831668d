#include "generation/field_number.h"

#include <gtest/gtest.h>

#include <bit>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <locale>
#include <string>
#include <utility>
#include <vector>

#include "generation/failures.h"
#include "generation/number_conversion.h"

namespace {

using generation::FieldNumber;
using generation::LeadingNumber;
using generation::OverflowFailure;
using generation::Round16;

struct LeadingCase {
    std::string text;
    double expected;
};

TEST(LeadingNumber, ReadsTheLeadingDecimalNumber)
{
    const LeadingCase cases[] = {
        {"", 0},
        {"   ", 0},
        {" \t\n ", 0},
        {"abc", 0},
        {"7", 7},
        {"  7", 7},
        {"\t\n7", 7},
        {"7 players", 7},
        {"-50", -50},
        {"12.75", 12.75},
        {".5", 0.5},
        {"5.", 5},
        {"12,5", 12},
        {"-", 0},
        {"+", 0},
        {".", 0},
        {"-.", 0},
        {"- 5", 0},     // no blanks between the sign and the digits
        {"1 000", 1},   // nor inside the digits
        {"1.2.3", 1.2},
        {"+7", 7},
        {"-.25", -0.25},
        {"007", 7},
        {"0x10", 0},    // no radix prefixes
        {"1e3", 1000},
        {"1E3", 1000},
        {"2.5e-1", 0.25},
        {"1e+2x", 100},
        {"7e", 7},
        {"7e+", 7},
        {"7e-", 7},
        {"7ex", 7},
        {".e5", 0},
        {"e5", 0},
        {"\r7", 0},     // only space, tab and line feed are blanks
        {"inf", 0},
        {"nan", 0},
        {"1e-400", 0},  // too small to represent
        {"\xEF\xBC\x97", 0},  // a full-width seven is not a digit
    };
    for (const LeadingCase& c : cases) {
        EXPECT_EQ(LeadingNumber(c.text), c.expected) << "text \"" << c.text << "\"";
    }
}

TEST(LeadingNumber, IsCorrectlyRounded)
{
    EXPECT_EQ(LeadingNumber("0.1"), 0.1);
    EXPECT_EQ(LeadingNumber("1.7976931348623157e308"), std::numeric_limits<double>::max());
    EXPECT_EQ(LeadingNumber("4.9406564584124654e-324"), std::numeric_limits<double>::denorm_min());
    EXPECT_EQ(LeadingNumber(std::string(300, '9')), 1e300);
    // A long run of digits after the point still rounds correctly.
    EXPECT_EQ(LeadingNumber("2.50000000000000000000000000000000000000000001"), 2.5);
    EXPECT_EQ(LeadingNumber("-0"), 0.0);
}

TEST(LeadingNumber, NumbersBeyondTheDoubleRangeOverflow)
{
    for (const std::string& text : std::vector<std::string>{"1e400", "-1e400", "1e99999999999999999999", std::string(400, '9'),
                                   "0.0000001e316"}) {
        EXPECT_THROW(LeadingNumber(text), OverflowFailure) << text.substr(0, 20);
    }
    // Tiny values underflow to zero however they are written.
    for (const std::string& text : std::vector<std::string>{"1e-99999999999999999999", "0." + std::string(400, '0') + "1",
                                   "1000e-330"}) {
        EXPECT_EQ(LeadingNumber(text), 0.0) << text.substr(0, 20);
        double read = 0.0;  // and the conversion says so, rather than that it read a zero
        EXPECT_EQ(generation::detail::ReadDecimal(text, read), generation::detail::DecimalRead::OutOfRange) << text.substr(0, 20);
    }
}

// A comma-decimal locale set in both the C library and the C++ library for
// as long as it lives. The machine need not have one installed: the build
// compiles de_DE.UTF-8 into a folder of its own, found through LOCPATH.
class CommaLocale {
public:
    CommaLocale() : previousCpp_(std::locale::global(std::locale(std::locale::classic(), new CommaDecimal)))
    {
#ifdef _WIN32
        name_ = "German_Germany.1252";
#else
        name_ = "de_DE.UTF-8";
        ::setenv("LOCPATH", POPGEN_TEST_LOCALES, 1);  // left set: it matters only to named locales
#endif
        const char* previous = std::setlocale(LC_ALL, nullptr);
        previousC_ = previous ? previous : "C";
        set_ = std::setlocale(LC_ALL, name_.c_str()) != nullptr;
    }
    ~CommaLocale()
    {
        std::setlocale(LC_ALL, previousC_.c_str());
        std::locale::global(previousCpp_);
    }

    const std::string& Name() const { return name_; }
    bool IsSet() const { return set_; }

private:
    struct CommaDecimal : std::numpunct<char> {
        char do_decimal_point() const override { return ','; }
    };
    std::locale previousCpp_;
    std::string previousC_;
    std::string name_;
    bool set_ = false;
};

TEST(LeadingNumber, IgnoresTheLocale)
{
    const CommaLocale comma;
    ASSERT_TRUE(comma.IsSet()) << "the locale " << comma.Name() << " cannot be set";
    ASSERT_STREQ(std::localeconv()->decimal_point, ",") << comma.Name();

    EXPECT_EQ(LeadingNumber("12,5"), 12);
    EXPECT_EQ(LeadingNumber("12.5"), 12.5);
    EXPECT_EQ(LeadingNumber("-2.5e1x"), -25);
    EXPECT_EQ(FieldNumber("2.6"), 3);
    EXPECT_EQ(FieldNumber("12,5"), 12);
}

struct WholeCase {
    std::string text;
    int expected;
};

TEST(FieldNumber, RoundsHalfToEvenWithinSixteenBits)
{
    const WholeCase cases[] = {
        {"", 0},        {"   ", 0},         {"abc", 0},          {" 7", 7},        {"7 players", 7},
        {"-50", -50},   {"12.75", 13},      {".5", 0},           {"5.", 5},        {"2.5", 2},
        {"3.5", 4},     {"2.51", 3},        {"-0.5", 0},         {"-2.5", -2},     {"-1.5", -2},
        {"0.49999999999999994", 0},         {"32767", 32767},    {"32767.4", 32767},
        {"-32768", -32768},                 {"-32768.5", -32768}, {"12,5", 12},    {"30", 30},
        {"1e3", 1000},  {"3.2767e4", 32767}, {"-1e-400", 0},
    };
    for (const WholeCase& c : cases) {
        EXPECT_EQ(FieldNumber(c.text), c.expected) << "text \"" << c.text << "\"";
    }
}

TEST(FieldNumber, OutsideSixteenBitsIsTheOverflowFailure)
{
    for (const std::string& text : std::vector<std::string>{"32767.5", "32768", "40000", "-32768.51", "-32769", "1e5", "1e400",
                                   std::string(400, '9')}) {
        EXPECT_THROW(FieldNumber(text), OverflowFailure) << text.substr(0, 20);
    }
}

TEST(Round16, RoundsTiesToEvenAndChecksTheRange)
{
    EXPECT_EQ(Round16(0.5), 0);
    EXPECT_EQ(Round16(1.5), 2);
    EXPECT_EQ(Round16(-0.0), 0);
    EXPECT_EQ(Round16(-32768.5), -32768);
    EXPECT_EQ(Round16(32766.5), 32766);
    EXPECT_EQ(Round16(std::nextafter(0.5, 1.0)), 1);
    EXPECT_THROW(Round16(32767.5), OverflowFailure);
    EXPECT_THROW(Round16(-32769), OverflowFailure);
    EXPECT_THROW(Round16(std::numeric_limits<double>::infinity()), OverflowFailure);
    EXPECT_THROW(Round16(std::numeric_limits<double>::quiet_NaN()), OverflowFailure);
    EXPECT_THROW(Round16(1e300), OverflowFailure);
}

TEST(NumberText, IsTheShortestTextThatReadsBack)
{
    const std::pair<double, std::string> cases[] = {
        {32767.5, "32767.5"},   {1e5, "100000"},         {-40000, "-40000"},         {-0.0, "-0"},  // keeps its sign
        {std::bit_cast<double>(std::uint64_t{0x3FD3333333333334}), "0.30000000000000004"},  // 0.1 + 0.2 in doubles
        {1e16, "1e+16"},        {1e300, "1e+300"},       {-2.5e300, "-2.5e+300"},   {12345678901234567890.0, "12345678901234567168"},
        {9007199254740993.0, "9007199254740992"},        {std::numeric_limits<double>::infinity(), "inf"},
        {std::ldexp(1.0, 70), "1180591620717411303424"}, {std::ldexp(1.0, 1000), "1.0715086071862673e+301"},
    };
    for (const auto& [value, text] : cases) EXPECT_EQ(generation::detail::NumberText(value), text) << text;
}

TEST(FieldNumber, OverflowMessageNamesTheTextAndTheRange)
{
    try {
        FieldNumber("32767.5");
        FAIL() << "no failure";
    } catch (const OverflowFailure& failure) {
        const std::string message = failure.what();
        EXPECT_NE(message.find("\"32767.5\""), std::string::npos) << message;
        EXPECT_NE(message.find("rounds to 32768"), std::string::npos) << message;
        EXPECT_NE(message.find("-32768 to 32767"), std::string::npos) << message;
    }
    // A long text is quoted short, cut on a character's boundary: half of the
    // "♞" that straddles the 40th byte would break the message's UTF-8.
    const std::string nines(39, '9');
    try {
        FieldNumber(nines + "\xE2\x99\x9E");
        FAIL() << "no failure";
    } catch (const OverflowFailure& failure) {
        EXPECT_NE(std::string(failure.what()).find('"' + nines + "...\""), std::string::npos) << failure.what();
    }
}

}  // namespace
