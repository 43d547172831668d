#include "generation/parameters.h"

#include <stdexcept>

namespace generation {

namespace {

int GeneralIndex(int row)
{
    if (row < kFirstGeneralRow || row > kLastGeneralRow) {
        throw std::out_of_range("general parameter rows are " + std::to_string(kFirstGeneralRow) + " to " +
                                std::to_string(kLastGeneralRow) + ", not " + std::to_string(row));
    }
    return row - kFirstGeneralRow;
}

int CoefficientIndex(int row)
{
    if (row < kFirstCoefficientRow || row > kLastCoefficientRow) {
        throw std::out_of_range("coefficient rows are " + std::to_string(kFirstCoefficientRow) + " to " +
                                std::to_string(kLastCoefficientRow) + ", not " + std::to_string(row));
    }
    return row - kFirstCoefficientRow;
}

}  // namespace

const GeneralRow& GeneralRowInfo(int row) { return kGeneralRows[GeneralIndex(row)]; }

const CoefficientRow& CoefficientRowInfo(int row) { return kCoefficientRows[CoefficientIndex(row)]; }

GenerationParameters::GenerationParameters()
{
    for (const GeneralRow& info : kGeneralRows) {
        General(info.row) = info.defaultText;
    }
    for (const CoefficientRow& info : kCoefficientRows) {
        Coefficient(info.row) = {std::string(info.defaultMin), std::string(info.defaultMax)};
    }
}

const std::string& GenerationParameters::General(int row) const { return general_[GeneralIndex(row)]; }

std::string& GenerationParameters::General(int row) { return general_[GeneralIndex(row)]; }

const CoefficientRange& GenerationParameters::Coefficient(int row) const
{
    return coefficients_[CoefficientIndex(row)];
}

CoefficientRange& GenerationParameters::Coefficient(int row) { return coefficients_[CoefficientIndex(row)]; }

}  // namespace generation
