#pragma once

#include <filesystem>
#include <string>

#include "generation/parameters.h"
#include "generation/sampler.h"

namespace generation {

// What one run came to, as a front end shows it: nothing on success, else
// the kind of failure (the first words of a report) and its message.
struct RunOutcome {
    std::string kind;   // empty when the run succeeded
    std::string message;
    std::filesystem::path list;  // the list the run wrote, or would have written; empty when unknown

    bool Succeeded() const noexcept { return kind.empty(); }
};

// One generation run with every failure it raises (a number out of range, a
// file that cannot be written, a text that cannot be written, anything
// unexpected) turned into its outcome. The windows and the command line
// show what it returns and catch nothing of the run themselves. An empty
// `directory` stands for the process's current directory.
RunOutcome ReportedRun(const GenerationParameters& parameters, CoefficientSampler& sampler,
                       const std::filesystem::path& directory);

// A press of a window's button: the process's sampler, the current directory.
RunOutcome ReportedRun(const GenerationParameters& parameters);

}  // namespace generation
