// Times a whole generation run against its floor: the same bytes written
// through the same temporary file, sync and rename, with nothing drawn or
// formatted. Run: build/bench/generation_bench
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "generation/parameters.h"
#include "generation/platform/file_replacement.h"
#include "generation/population_list.h"
#include "generation/sampler.h"

namespace {

class ScratchFolder {
public:
    ScratchFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "popgen-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
        std::filesystem::create_directories(path_ / "files");
    }
    ~ScratchFolder() { std::filesystem::remove_all(path_); }
    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
};

generation::GenerationParameters WithPlayers(const char* count)
{
    generation::GenerationParameters parameters;
    parameters.General(generation::kPlayerCountRow) = count;
    return parameters;
}

void Run(benchmark::State& state, const char* players)
{
    ScratchFolder folder;
    const generation::GenerationParameters parameters = WithPlayers(players);
    generation::CoefficientSampler sampler;
    for (auto _ : state) {
        generation::GenerationRun(parameters, sampler, folder.Path());
    }
    state.SetBytesProcessed(state.iterations() *
                            static_cast<std::int64_t>(std::filesystem::file_size(generation::PopulationListPath(folder.Path()))));
}

void Floor(benchmark::State& state, const char* players)
{
    ScratchFolder folder;
    generation::CoefficientSampler sampler;
    generation::GenerationRun(WithPlayers(players), sampler, folder.Path());
    const std::filesystem::path target = generation::PopulationListPath(folder.Path());
    std::ifstream in(target, std::ios::binary);
    const std::string bytes(std::istreambuf_iterator<char>(in), {});
    constexpr std::size_t kChunk = generation::detail::kWriteChunk;  // the pieces a run writes
    for (auto _ : state) {
        generation::FileReplacement file(target);
        for (std::size_t at = 0; at < bytes.size(); at += kChunk) {
            file.Write(std::string_view(bytes).substr(at, kChunk));
        }
        file.Commit();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes.size()));
}

void BM_RunDefault(benchmark::State& state) { Run(state, "30"); }
void BM_FloorDefault(benchmark::State& state) { Floor(state, "30"); }
void BM_Run32767(benchmark::State& state) { Run(state, "32767"); }
void BM_Floor32767(benchmark::State& state) { Floor(state, "32767"); }

// The work of a run without the file: drawing and formatting 32766 players.
void BM_Draw32767(benchmark::State& state)
{
    const generation::GenerationParameters parameters;
    std::vector<generation::PreparedRange> ranges;
    for (const generation::CoefficientRow& row : generation::kCoefficientRows) ranges.emplace_back(parameters, row.row);
    generation::CoefficientSampler sampler;
    for (auto _ : state) {
        int sum = 0;
        for (int player = 2; player <= 32767; ++player) {
            for (const generation::PreparedRange& range : ranges) sum += sampler.Draw(range, player);
        }
        benchmark::DoNotOptimize(sum);
    }
}

}  // namespace

BENCHMARK(BM_RunDefault)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FloorDefault)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Run32767)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Floor32767)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Draw32767)->Unit(benchmark::kMillisecond);
