#include "generation/sampler.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "generation/failures.h"

namespace {

using generation::CoefficientSampler;
using generation::GenerationParameters;
using generation::OverflowFailure;

GenerationParameters WithRange(int row, const std::string& min, const std::string& max)
{
    GenerationParameters parameters;
    parameters.Coefficient(row) = {min, max};
    return parameters;
}

// The draw as the formula states it, apart from Draw's integer path: u is
// the standard engine's next output scaled to 0 <= u < 1 with 24 bits, and
// the value is Min + floor(width * u) with the product formed in double
// precision (exact there: |width| <= 2^16 and u has 24 bits). The result
// may lie outside 16 bits.
class ReferenceDraw {
public:
    explicit ReferenceDraw(std::uint32_t seed = std::mt19937::default_seed) : engine_(seed) {}

    double Next(int min, int width)
    {
        const double u = static_cast<double>(engine_() >> 8) / 16777216.0;
        return min + std::floor(width * u);
    }

private:
    std::mt19937 engine_;
};

// The x87 unit's control word, on 32-bit x86 without SSE2 (0 elsewhere):
// Span() sets its precision to a double's for two steps and must restore it.
std::uint16_t X87ControlWord()
{
    std::uint16_t word = 0;
#if defined(__GNUC__) && defined(__i386__) && !defined(__SSE2_MATH__)
    __asm__ volatile("fnstcw %0" : "=m"(word));
#endif
    return word;
}

// How often each value came up in `draws` draws of one row.
std::map<int, int> Histogram(CoefficientSampler& sampler, const GenerationParameters& parameters, int row, int draws)
{
    std::map<int, int> counts;
    for (int i = 0; i < draws; ++i) ++counts[sampler.Draw(parameters, row)];
    return counts;
}

TEST(CoefficientSampler, DefaultRangesIncludeBothEnds)
{
    struct Expected {
        int row, low, high;
    };
    const Expected rows[] = {{5, 0, 1000}, {6, 0, 600}, {7, 0, 600}, {8, 0, 1600}, {9, -50, 150}};
    CoefficientSampler sampler;
    const GenerationParameters defaults;
    for (const Expected& e : rows) {
        const std::map<int, int> counts = Histogram(sampler, defaults, e.row, 100'000);
        EXPECT_EQ(counts.begin()->first, e.low) << "row " << e.row;
        EXPECT_EQ(counts.rbegin()->first, e.high) << "row " << e.row;
        EXPECT_EQ(static_cast<int>(counts.size()), e.high - e.low + 1) << "row " << e.row << ": every value occurs";
    }
}

TEST(CoefficientSampler, RangesFollowTheRoundedMinAndWidth)
{
    struct Case {
        std::string min, max;
        int low, high;  // every value in low..high occurs, none outside
    };
    const Case cases[] = {
        {"7", "7", 7, 7},
        {"8", "7", 8, 8},          // width 0: always Min
        {"10", "5", 6, 9},         // width -4: 6..9, and 10 only for u == 0
        {"0", "10.5", 0, 11},      // width rounds from 11.5 to 12
        {"0", "9.5", 0, 9},        // width rounds from 10.5 to 10
        {"2.5", "3", 2, 3},        // Min reads as 2
        {"abc", "100", 0, 100},
        {"0", "abc", 0, 0},        // width 1
        {" -50 players", "-48", -50, -48},
        {"-32768", "-32767", -32768, -32767},
        {"32767", "32767", 32767, 32767},
        {"-32768", "-2", -32768, -2},  // the widest range: 32767 values
    };
    CoefficientSampler sampler;
    for (const Case& c : cases) {
        const std::map<int, int> counts = Histogram(sampler, WithRange(5, c.min, c.max), 5, 200'000);
        EXPECT_EQ(counts.begin()->first, c.low) << c.min << ".." << c.max;
        EXPECT_EQ(counts.rbegin()->first, c.high) << c.min << ".." << c.max;
        if (c.high - c.low < 1000) {
            EXPECT_EQ(static_cast<int>(counts.size()), c.high - c.low + 1) << c.min << ".." << c.max;
        }
    }
}

TEST(CoefficientSampler, DrawsAgreeWithTheExactFormula)
{
    // Draw works in integers; the formula is min + floor(width * u) in doubles.
    struct Case {
        std::string min, max;
        int minValue, width;
    };
    const Case cases[] = {
        {"0", "0", 0, 1},         {"0", "1", 0, 2},          {"0", "2", 0, 3},
        {"0", "1000", 0, 1001},   {"-50", "150", -50, 201},  {"-32768", "-2", -32768, 32767},
        {"5", "4", 5, 0},         {"5", "3", 5, -1},         {"10", "5", 10, -4},
        {"32767", "0", 32767, -32766}, {"16384", "-16384", 16384, -32767},
        {"1", "-32768", 1, -32768},
    };
    for (const Case& c : cases) {
        const generation::PreparedRange range(WithRange(6, c.min, c.max), 6);
        ASSERT_TRUE(range.Fits());
        EXPECT_EQ(range.Min(), c.minValue);
        EXPECT_EQ(range.Width(), c.width);
        CoefficientSampler sampler;
        ReferenceDraw reference;
        for (int i = 0; i < 20'000; ++i) {
            ASSERT_EQ(sampler.Draw(range), reference.Next(c.minValue, c.width))
                << c.min << ".." << c.max << ", draw " << i;
        }
    }
}

TEST(CoefficientSampler, EngineIsTheStandardMersenneTwister)
{
    CoefficientSampler::Engine engine(CoefficientSampler::kSeed);
    std::mt19937 standard;
    for (int i = 1; i < 10'000; ++i) ASSERT_EQ(engine(), standard()) << "output " << i;
    EXPECT_EQ(engine(), 4123659995u);  // the standard's check value for the 10000th output
}

TEST(CoefficientSampler, AGivenSeedDrawsTheStandardSequenceFromThatSeed)
{
    GenerationParameters parameters;
    parameters.Coefficient(5) = {"-16384", "16382"};  // the widest range, 32767 values
    const generation::PreparedRange range(parameters, 5);
    for (const std::uint32_t seed : {0u, 1u, 7u, 4294967295u}) {
        CoefficientSampler sampler(seed);
        ReferenceDraw reference(seed);
        for (int i = 0; i < 1000; ++i) {
            ASSERT_EQ(sampler.Draw(range), reference.Next(-16384, 32767)) << "seed " << seed << ", draw " << i;
        }
    }
}

TEST(CoefficientSampler, OverflowBeforeTheDrawConsumesNoGeneratorValue)
{
    struct Case {
        std::string min, max, mentions;
    };
    const Case cases[] = {
        {"-32768", "32767", "65536"},    // the width does not fit
        {"40000", "50000", "Min field"},
        {"-32768.51", "0", "Min field"},
        {"0", "1e400", "Max field"},
        {"0", "40000", "40001"},
        {"0", "99999", "a range of 100000 values"},  // a width in plain digits,
        {"0", "40000.7", "a range of 40002 values"},  // and whole, as the draw rounds it
        // Max - Min, then + 1, each rounded to a double on every machine:
        // rounded once at the end, 2^53 + 1 would stay; rounded to 64 bits
        // of mantissa first (x87), the first step would land below Max.
        {"1", "9007199254740994", "a range of 9007199254740992 values"},
        {"32767", "502748532895842107392", "a range of 502748532895842107392 values"},
    };
    const std::uint16_t controlWord = X87ControlWord();
    for (const Case& c : cases) {
        CoefficientSampler sampler;
        try {
            sampler.Draw(WithRange(8, c.min, c.max), 8);
            ADD_FAILURE() << c.min << ".." << c.max << " did not fail";
        } catch (const OverflowFailure& failure) {
            const std::string message = failure.what();
            EXPECT_NE(message.find("\"Queen:\""), std::string::npos) << message;
            EXPECT_NE(message.find(c.mentions), std::string::npos) << message;
        }
        // The sequence goes on where a fresh sampler's starts.
        CoefficientSampler fresh;
        const GenerationParameters wide = WithRange(8, "-32768", "-2");
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(sampler.Draw(wide, 8), fresh.Draw(wide, 8)) << c.min << ".." << c.max << ", draw " << i;
        }
        EXPECT_EQ(X87ControlWord(), controlWord)
            << std::hex << "0x" << X87ControlWord() << ", not 0x" << controlWord << ", after " << c.min << ".." << c.max;
    }
}

TEST(CoefficientSampler, ValueBeyondSixteenBitsFailsAfterConsumingItsGeneratorValue)
{
    // Min -30000, Max -40000: width -9999, values -39999..-30000, of which
    // those below -32768 do not fit. Min 30000, Max 40000: those above 32767.
    struct Case {
        const char* min;
        const char* max;
        int lowest;
        int width;
    };
    for (const Case& c : {Case{"-30000", "-40000", -30000, -9999}, Case{"30000", "40000", 30000, 10001}}) {
        SCOPED_TRACE(std::string(c.min) + ".." + c.max);
        const GenerationParameters parameters = WithRange(9, c.min, c.max);
        CoefficientSampler sampler;
        ReferenceDraw reference;
        int failures = 0;
        for (int i = 0; i < 10'000; ++i) {
            const double expected = reference.Next(c.lowest, c.width);
            try {
                const int value = sampler.Draw(parameters, 9, 17);
                EXPECT_EQ(value, expected);
            } catch (const OverflowFailure& failure) {
                ++failures;
                EXPECT_TRUE(expected < -32768 || expected > 32767) << expected;
                const std::string message = failure.what();
                EXPECT_NE(message.find("POSS_MOVES of player 17"), std::string::npos) << message;
            }
        }
        EXPECT_GT(failures, 6'000);  // about 72% of either range lies beyond 16 bits
        EXPECT_LT(failures, 8'500);
    }
}

// Pearson's chi-square over equally likely values; the fixed seed makes
// this deterministic, and a correct sampler lands near the degrees of
// freedom (within a few standard deviations, sqrt(2 * dof)).
double ChiSquare(const std::map<int, int>& counts, int values, int draws)
{
    const double expected = static_cast<double>(draws) / values;
    double sum = 0;
    for (const auto& [value, count] : counts) sum += (count - expected) * (count - expected) / expected;
    sum += (values - static_cast<int>(counts.size())) * expected;  // values that never came up
    return sum;
}

TEST(CoefficientSampler, DrawsAreUniform)
{
    struct Case {
        std::string min, max;
        int values;
    };
    const Case cases[] = {{"0", "1000", 1001}, {"-50", "150", 201}, {"0", "1", 2}, {"-16384", "16382", 32767}};
    CoefficientSampler sampler;
    for (const Case& c : cases) {
        const int draws = c.values * 200;
        const std::map<int, int> counts = Histogram(sampler, WithRange(6, c.min, c.max), 6, draws);
        const double dof = c.values - 1;
        const double bound = 5 * std::sqrt(2 * dof) + 10;
        EXPECT_NEAR(ChiSquare(counts, c.values, draws), dof, bound) << c.min << ".." << c.max;
    }
}

}  // namespace
