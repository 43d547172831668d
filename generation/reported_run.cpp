#include "generation/reported_run.h"

#include <exception>

#include "generation/failures.h"
#include "generation/population_list.h"

namespace generation {

RunOutcome ReportedRun(const GenerationParameters& parameters, CoefficientSampler& sampler,
                       const std::filesystem::path& directory)
{
    RunOutcome outcome;
    try {
        const std::filesystem::path folder = directory.empty() ? CurrentDirectory() : directory;
        outcome.list = PopulationListPath(folder);
        GenerationRun(parameters, sampler, folder);
    } catch (const GenerationFailure& failure) {
        outcome.kind = failure.Kind();
        outcome.message = failure.what();
    } catch (const std::exception& failure) {
        // Nothing else is expected from a run, but nothing may escape into
        // a window's event loop and end the program with the user's texts.
        outcome.kind = kUnexpectedFailureKind;
        outcome.message = failure.what();
    } catch (...) {
        outcome.kind = kUnexpectedFailureKind;
        outcome.message = "The run stopped on an error that gives no description.";
    }
    return outcome;
}

RunOutcome ReportedRun(const GenerationParameters& parameters)
{
    return ReportedRun(parameters, CoefficientSampler::Process(), {});
}

}  // namespace generation
