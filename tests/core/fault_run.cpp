// One run with the default fields in the folder given, for tests that
// preload fault_shim into it. Exits 0 on success, 3 on a FileFailure
// (its message on standard output), 4 on anything else.
#include <cstdio>
#include <exception>

#include "generation/failures.h"
#include "generation/population_list.h"

int main(int argc, char* argv[])
{
    if (argc != 2) return 4;
    try {
        generation::CoefficientSampler sampler;
        generation::GenerationRun(generation::GenerationParameters(), sampler, argv[1]);
        return 0;
    } catch (const generation::FileFailure& failure) {
        std::printf("%s\n", failure.what());
        return 3;
    } catch (const std::exception& failure) {
        std::printf("%s\n", failure.what());
        return 4;
    }
}
