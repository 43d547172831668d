#pragma once

#include <cstddef>
#include <filesystem>

#include "generation/parameters.h"
#include "generation/sampler.h"

namespace generation {

namespace detail {

// The size of the pieces in which a run hands the file's bytes to the
// operating system.
inline constexpr std::size_t kWriteChunk = 64 * 1024;

}  // namespace detail

// Where a run in `directory` writes: its folder "files", file "game_list.txt".
std::filesystem::path PopulationListPath(const std::filesystem::path& directory);

// The folder under which a run writes unless it is given another: the
// process's current directory. FileFailure when it cannot be determined.
std::filesystem::path CurrentDirectory();

// Writes the population list file under the process's current directory:
// the general parameters, the start markers, the column header, player 1
// with its fixed values and players 2..N drawn by the process's sampler.
// The file is replaced as a whole only when everything has been written
// and synced; on FileFailure or OverflowFailure the previous file (or its
// absence) is left exactly as it was. The folder "files" must exist.
// A general text that holds a line break (CR or LF) would move every line
// after it: it raises TextFailure before anything is written.
void GenerationRun(const GenerationParameters& parameters);

// The same run in a given directory with a given sampler.
void GenerationRun(const GenerationParameters& parameters, CoefficientSampler& sampler,
                   const std::filesystem::path& directory);

}  // namespace generation
