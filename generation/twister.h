#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace generation {

// The 32-bit Mersenne Twister with std::mt19937's parameters, so its
// outputs are std::mt19937's for the same seed. It twists and tempers a
// whole block of 624 outputs at a time, in loops the compiler can
// vectorise, and hands them out one by one.
class Twister {
public:
    static constexpr std::uint32_t kDefaultSeed = 5489;

    explicit Twister(std::uint32_t seed = kDefaultSeed);

    std::uint32_t operator()()
    {
        if (next_ == kSize) Refill();
        return block_[next_++];
    }

private:
    static constexpr std::size_t kSize = 624;

    void Refill();

    std::array<std::uint32_t, kSize> state_;
    std::array<std::uint32_t, kSize> block_;
    std::size_t next_ = kSize;
};

}  // namespace generation
