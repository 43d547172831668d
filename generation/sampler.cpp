#include "generation/sampler.h"

#include <cstdint>
#include <string>

#include "generation/failures.h"
#include "generation/field_number.h"

namespace generation {

namespace {

// Max - Min + 1, each step rounded to a double, as SSE2 and every other
// floating-point unit rounds it. The x87 unit of 32-bit x86 keeps 64 bits
// of mantissa and rounds to a double only when a value is stored: once for
// the whole sum (Min 1 and Max 2^53 + 2 then made 2^53 + 2 values, not 2^53),
// or twice for a step, which can land on the other neighbour beyond 2^64.
// So the unit's precision is set to a double's for the two steps; the
// volatile operands keep them between the precision's changes.
double Span(double max, int min)
{
#if defined(__GNUC__) && defined(__i386__) && !defined(__SSE2_MATH__)
    std::uint16_t saved = 0;
    __asm__ volatile("fnstcw %0" : "=m"(saved) : : "memory");
    const std::uint16_t doubles = static_cast<std::uint16_t>((saved & ~0x300u) | 0x200u);
    __asm__ volatile("fldcw %0" : : "m"(doubles) : "memory");
    volatile double operand = max;
    volatile double difference = operand - min;
    volatile double span = difference + 1.0;
    __asm__ volatile("fldcw %0" : : "m"(saved) : "memory");
    return span;
#else
    const double difference = max - min;
    return difference + 1.0;
#endif
}

}  // namespace

CoefficientSampler& CoefficientSampler::Process()
{
    static CoefficientSampler sampler;
    return sampler;
}

PreparedRange::PreparedRange(const GenerationParameters& parameters, int row)
    : row_(row), texts_(parameters.Coefficient(row))
{
    const std::string label = QuotedText(CoefficientRowInfo(row).label);
    try {
        min_ = detail::FieldNumber(texts_.min, "the Min field of " + label);
        const double max = detail::LeadingNumber(texts_.max, "the Max field of " + label);
        const double span = Span(max, min_);
        const std::optional<std::int16_t> width = detail::Fit16(span);
        if (!width) {
            // The width is a whole number of values: the span rounded.
            const double values = detail::RoundHalfEven(span);
            throw OverflowFailure("In the row " + label + ", Max " + QuotedText(texts_.max) + " and Min " +
                                  std::to_string(min_) + " make a range of " + detail::NumberText(values) +
                                  " values, which " + detail::OutsideRange(values));
        }
        width_ = *width;
    } catch (const OverflowFailure&) {
        failure_ = std::current_exception();
    }
}

std::int16_t CoefficientSampler::Draw(const GenerationParameters& parameters, int row, int player)
{
    return Draw(PreparedRange(parameters, row), player);
}

void CoefficientSampler::RaiseRangeFailure(const PreparedRange& range)
{
    std::rethrow_exception(range.failure_);
}

void CoefficientSampler::RaiseValueFailure(const PreparedRange& range, std::int64_t value, int player)
{
    const CoefficientRow& info = CoefficientRowInfo(range.row_);
    std::string who = std::string(info.column);
    if (player > 0) who += " of player " + std::to_string(player);
    throw OverflowFailure("The value drawn for " + who + " is " + std::to_string(value) + " (row " +
                          QuotedText(info.label) + ", Min " + QuotedText(range.texts_.min) + ", Max " +
                          QuotedText(range.texts_.max) + "), which " +
                          detail::OutsideRange(static_cast<double>(value)));
}

}  // namespace generation
