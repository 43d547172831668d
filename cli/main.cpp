// population-generator-cli: the window's run from a command line. Each
// field is an option that takes the field's text as it is; the run, its file
// and its failures are the window's.
#include <CLI/CLI.hpp>

#include <array>
#include <charconv>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#endif

#include "form/form.h"
#include "generation/failures.h"
#include "generation/parameters.h"
#include "generation/population_list.h"
#include "generation/sampler.h"

#ifndef POPGEN_VERSION
#error "POPGEN_VERSION must name the project's version"
#endif

namespace {

constexpr std::string_view kProgram = "population-generator-cli";

enum ExitStatus : int { kSuccess = 0, kRunFailed = 1, kUsageError = 2 };

// The options of the general and the coefficient rows, in the order of the
// core's row tables.
constexpr std::array<std::string_view, generation::kGeneralCount> kGeneralOptions{
    "--depth-black", "--depth-white", "--players", "--generations", "--time-limit"};
constexpr std::array<std::string_view, generation::kCoefficientCount> kCoefficientOptions{
    "--rook", "--knight", "--bishop", "--queen", "--moves"};

// A row's label as a help text: without its closing colon.
std::string Caption(std::string_view label)
{
    if (!label.empty() && label.back() == ':') label.remove_suffix(1);
    return std::string(label);
}

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

// A seed is a whole number 0..4294967295 in decimal digits only: no sign,
// no blanks, no other base. Returns CLI11's error text, empty when valid.
std::string SeedError(const std::string& text)
{
    std::uint32_t seed = 0;
    const char* const end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, seed);
    if (text.empty() || text.front() == '-' || error != std::errc{} || stop != end) {
        return "the seed must be a whole number from 0 to 4294967295, not " + Quoted(text);
    }
    return {};
}

// The folder the run writes under when no --directory is given: the current
// one, named in full in messages, as the window names it.
std::filesystem::path CurrentDirectory()
{
    std::error_code error;
    std::filesystem::path directory = std::filesystem::current_path(error);
    if (error) throw generation::FileFailure("determine the current folder", {}, error);
    return directory;
}

#ifdef _WIN32
// The arguments as UTF-8, converted from the command line's UTF-16: the
// narrow argv holds them in the ANSI code page, which cannot hold every
// character a script may pass, and the window hands the core UTF-8 too.
std::vector<std::string> Utf8Arguments()
{
    int count = 0;
    const auto release = [](LPWSTR* list) { LocalFree(list); };
    const std::unique_ptr<LPWSTR, decltype(release)> wide(CommandLineToArgvW(GetCommandLineW(), &count), release);
    if (!wide) throw std::system_error(static_cast<int>(GetLastError()), std::system_category(), "reading the command line");
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i) arguments.push_back(generation::PathText(wide.get()[i]));
    return arguments;
}
#endif

// A folder named by a UTF-8 text, whatever the system's narrow encoding.
std::filesystem::path Utf8Path(const std::string& text)
{
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

void ReportRunFailure(std::string_view kind, std::string_view message)
{
    std::cerr << kProgram << ": " << kind << ": " << message << '\n'
              << kProgram << ": the population list was not changed.\n";
}

}  // namespace

int main(int argc, char* argv[])
{
    CLI::App app{"Writes the population list files/game_list.txt as the Population generator window does.\n"
                 "Each field option takes a text exactly as the field would hold it: empty, or starting with\n"
                 "'-' as in -50, is a text too. An option left out takes its field's default.",
                 std::string(kProgram)};
    app.set_help_flag();  // added last, so the help lists the fields first
    app.allow_windows_style_options(false);  // "/x" is a text on Windows too
    app.footer("Exit status: 0 when the list was written; 1 when the run failed (the reason goes to standard\n"
               "error and the previous list stays as it was); 2 for a usage error.");

    generation::GenerationParameters parameters;
    for (std::size_t i = 0; i < kGeneralOptions.size(); ++i) {
        const generation::GeneralRow& row = generation::kGeneralRows[i];
        app.add_option(std::string(kGeneralOptions[i]), parameters.General(row.row),
                       Caption(row.label) + " (row " + std::to_string(row.row) + "; default " +
                           Quoted(row.defaultText) + ")")
            ->type_name("TEXT")
            ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    }
    std::array<std::pair<std::string, std::string>, generation::kCoefficientCount> ranges;
    for (std::size_t i = 0; i < kCoefficientOptions.size(); ++i) {
        const generation::CoefficientRow& row = generation::kCoefficientRows[i];
        ranges[i] = {parameters.Coefficient(row.row).min, parameters.Coefficient(row.row).max};
        app.add_option(std::string(kCoefficientOptions[i]), ranges[i],
                       "Min and Max of " + Caption(row.label) + " (row " + std::to_string(row.row) + "; default " +
                           Quoted(row.defaultMin) + " " + Quoted(row.defaultMax) + ")")
            ->type_name("MIN MAX")
            ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    }

    std::string seedText = std::to_string(generation::CoefficientSampler::kSeed);
    app.add_option("--seed", seedText,
                   "The generator's seed, 0 to 4294967295 (default " + seedText +
                       ", which draws what the window's first press draws)")
        ->type_name("N")
        ->check(CLI::Validator(SeedError, "", "seed"));
    std::string directory;
    app.add_option("--directory", directory,
                   "Write DIR/files/game_list.txt; the folder files must exist (default: the current folder)")
        ->type_name("DIR");
    bool verbose = false;
    app.add_flag("--verbose", verbose, "Say what was written");
    app.set_help_flag("-h,--help", "Print this help and exit");
    app.set_version_flag("--version", std::string(kProgram) + " (Population generator) " POPGEN_VERSION,
                         "Print the version and exit");

#ifdef _WIN32
    std::vector<std::string> utf8Arguments;
    try {
        utf8Arguments = Utf8Arguments();
    } catch (const std::exception& failure) {
        std::cerr << kProgram << ": " << failure.what() << '\n';
        return kUsageError;
    }
    std::vector<char*> utf8Argv;
    for (std::string& argument : utf8Arguments) utf8Argv.push_back(argument.data());
    utf8Argv.push_back(nullptr);
    argc = static_cast<int>(utf8Arguments.size());
    argv = utf8Argv.data();
#endif

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& request) {
        return app.exit(request);
    } catch (const CLI::CallForVersion& request) {
        return app.exit(request);
    } catch (const CLI::ParseError& error) {
        std::cerr << kProgram << ": " << error.what() << '\n'
                  << "Try '" << kProgram << " --help' for more information.\n";
        return kUsageError;
    }

    for (std::size_t i = 0; i < kCoefficientOptions.size(); ++i) {
        auto& range = parameters.Coefficient(generation::kCoefficientRows[i].row);
        range.min = ranges[i].first;
        range.max = ranges[i].second;
    }
    std::uint32_t seed = 0;
    std::from_chars(seedText.data(), seedText.data() + seedText.size(), seed);

    try {
        const std::filesystem::path folder =
            directory.empty() ? CurrentDirectory() : Utf8Path(directory);
        generation::CoefficientSampler sampler(seed);
        generation::GenerationRun(parameters, sampler, folder);
        if (verbose) {
            std::cout << kProgram << ": wrote " << generation::PathText(generation::PopulationListPath(folder))
                      << '\n';
        }
    } catch (const generation::GenerationFailure& failure) {
        ReportRunFailure(failure.Kind(), failure.what());
        return kRunFailed;
    } catch (const std::exception& failure) {
        ReportRunFailure(form::kUnexpectedFailureKind, failure.what());
        return kRunFailed;
    }
    return kSuccess;
}
