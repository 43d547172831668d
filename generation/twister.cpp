#include "generation/twister.h"

namespace generation {

namespace {

constexpr std::size_t kShift = 397;
constexpr std::uint32_t kMatrix = 0x9908b0dfU;
constexpr std::uint32_t kUpper = 0x80000000U;
constexpr std::uint32_t kLower = 0x7fffffffU;

inline std::uint32_t Twist(std::uint32_t far, std::uint32_t current, std::uint32_t following)
{
    const std::uint32_t y = (current & kUpper) | (following & kLower);
    return far ^ (y >> 1) ^ ((0U - (y & 1U)) & kMatrix);
}

}  // namespace

Twister::Twister(std::uint32_t seed)
{
    state_[0] = seed;
    for (std::size_t i = 1; i < kSize; ++i) {
        const std::uint32_t previous = state_[i - 1];
        state_[i] = 1812433253U * (previous ^ (previous >> 30)) + static_cast<std::uint32_t>(i);
    }
}

void Twister::Refill()
{
    std::uint32_t* const s = state_.data();
    for (std::size_t i = 0; i < kSize - kShift; ++i) s[i] = Twist(s[i + kShift], s[i], s[i + 1]);
    for (std::size_t i = kSize - kShift; i < kSize - 1; ++i) s[i] = Twist(s[i + kShift - kSize], s[i], s[i + 1]);
    s[kSize - 1] = Twist(s[kShift - 1], s[kSize - 1], s[0]);

    for (std::size_t i = 0; i < kSize; ++i) {
        std::uint32_t y = s[i];
        y ^= y >> 11;
        y ^= (y << 7) & 0x9d2c5680U;
        y ^= (y << 15) & 0xefc60000U;
        y ^= y >> 18;
        block_[i] = y;
    }
    next_ = 0;
}

}  // namespace generation
