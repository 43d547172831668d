#pragma once

#include <cstdint>
#include <exception>

#include "generation/parameters.h"
#include "generation/twister.h"

namespace generation {

// A coefficient row's range as its texts read: the rounded Min and the
// width, or the overflow failure that reading them raised, kept until a
// draw from the range raises it. Reading once serves every draw of a run,
// since the texts cannot change while a run lasts.
class PreparedRange {
public:
    PreparedRange(const GenerationParameters& parameters, int row);

    int Row() const noexcept { return row_; }
    bool Fits() const noexcept { return !failure_; }
    int Min() const noexcept { return min_; }
    int Width() const noexcept { return width_; }

private:
    friend class CoefficientSampler;

    int row_;
    int min_ = 0;
    int width_ = 0;
    std::exception_ptr failure_;
    CoefficientRange texts_;
};

// Draws coefficient values from their Min..Max ranges. Its generator
// starts from a constant seed and is never reseeded, so the same program
// start draws the same values for the same fields.
class CoefficientSampler {
public:
    // Draws std::mt19937's sequence from its seed, by default the
    // standard's default seed.
    using Engine = Twister;
    static constexpr std::uint32_t kSeed = Twister::kDefaultSeed;

    CoefficientSampler() = default;
    explicit CoefficientSampler(std::uint32_t seed) : engine_(seed) {}

    // The one sampler of the process; its sequence carries over from one
    // run to the next until the program exits.
    static CoefficientSampler& Process();

    // A value for a coefficient row of `parameters`: Min is read as a
    // field number, the width Max - Min + 1 is rounded, and the value is
    // Min + floor(width * u), u being the generator's next value scaled to
    // 0 <= u < 1 with 24-bit resolution. OverflowFailure when Min, the width or the
    // value does not fit 16 bits; a draw that fails before the generator is
    // asked consumes no generator value. `player` only names the player in
    // a failure's message (0: none).
    std::int16_t Draw(const GenerationParameters& parameters, int row, int player = 0);

    // The same draw from a range read beforehand.
    std::int16_t Draw(const PreparedRange& range, int player = 0)
    {
        if (!range.Fits()) [[unlikely]] RaiseRangeFailure(range);
        // u = k * 2^-24 exactly, so floor(width * u) is the product width * k
        // shifted right by 24 bits (an arithmetic shift rounds toward minus
        // infinity, as floor does).
        const std::int64_t offset = (static_cast<std::int64_t>(range.Width()) * NextBits()) >> 24;
        const std::int64_t value = range.Min() + offset;
        if (value < -32768 || value > 32767) [[unlikely]] RaiseValueFailure(range, value, player);
        return static_cast<std::int16_t>(value);
    }

private:
    // The top 24 bits of the engine's next output: u * 2^24.
    std::uint32_t NextBits() { return engine_() >> 8; }

    [[noreturn]] static void RaiseRangeFailure(const PreparedRange& range);
    [[noreturn]] static void RaiseValueFailure(const PreparedRange& range, std::int64_t value, int player);

    Engine engine_{kSeed};
};

}  // namespace generation
