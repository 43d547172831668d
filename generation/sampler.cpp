#include "generation/sampler.h"

#include <string>

#include "generation/failures.h"
#include "generation/field_number.h"

namespace generation {

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
        const double span = max - min_ + 1.0;
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
