// One run with the default fields in the folder given, for tests that
// preload fault_shim into it. Prints what a window would report (the kind
// and the message); exits 0 on success, 3 on a file error, 4 on any other
// failure.
#include <cstdio>

#include "generation/failures.h"
#include "generation/reported_run.h"

int main(int argc, char* argv[])
{
    if (argc != 2) return 4;
    generation::CoefficientSampler sampler;
    const generation::RunOutcome outcome = generation::ReportedRun(generation::GenerationParameters(), sampler, argv[1]);
    if (outcome.Succeeded()) return 0;
    std::printf("%s: %s\n", outcome.kind.c_str(), outcome.message.c_str());
    return outcome.kind == generation::FileFailure::kKind ? 3 : 4;
}
