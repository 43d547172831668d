// population-generator-cli: the window's run from a command line. Each
// field is an option that takes the field's text as it is; the run, its file
// and its failures are the window's.
#include <CLI/CLI.hpp>

#include <array>
#include <charconv>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#endif

#include "cli/console.h"
#include "generation/failures.h"
#include "generation/parameters.h"
#include "generation/platform/dll_search.h"
#include "generation/reported_run.h"
#include "generation/sampler.h"

#ifndef POPGEN_VERSION
#error "POPGEN_VERSION must name the project's version"
#endif

namespace {

constexpr std::string_view kProgram = "population-generator-cli";

enum ExitStatus : int { kSuccess = 0, kRunFailed = 1, kUsageError = 2 };

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

// The option of that long name (without its dashes), or nullptr.
const CLI::Option* LongOption(const CLI::App& app, std::string_view name)
{
    for (const CLI::Option* option : app.get_options()) {
        if (option->check_lname(std::string(name))) return option;
    }
    return nullptr;
}

// An option's value may be any text, "-50" and "-abc" included, so the
// argument after an option is always its value. When that argument names
// one of the options ("--players --verbose"), the value was forgotten: the
// text "--verbose" is passed as --players=--verbose. Returns the error, or
// nothing when every value is a value.
std::string ForgottenValue(const CLI::App& app, const std::vector<std::string>& arguments)
{
    const auto namesAnOption = [&app](std::string_view argument) {
        return argument.starts_with("--") && LongOption(app, argument.substr(2, argument.find('=') - 2)) != nullptr;
    };
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--") break;
        if (!argument.starts_with("--") || argument.find('=') != std::string::npos) continue;
        const CLI::Option* option = LongOption(app, std::string_view(argument).substr(2));
        if (option == nullptr || option->get_items_expected_max() == 0) continue;
        const std::size_t values = static_cast<std::size_t>(option->get_items_expected_max());
        for (std::size_t k = 1; k <= values && i + k < arguments.size(); ++k) {
            if (namesAnOption(arguments[i + k])) {
                std::string error = argument + " is missing a value: " + Quoted(arguments[i + k]) +
                                    " after it is an option";
                if (values == 1) error += " (to pass that text, write " + argument + "=" + arguments[i + k] + ")";
                return error;
            }
        }
        i += values;
    }
    return {};
}

#ifdef _WIN32
// The arguments as UTF-8, converted from the command line's UTF-16: the
// narrow argv holds them in the ANSI code page, which cannot hold every
// character a script may pass, and the window hands the core UTF-8 too.
std::vector<std::string> Arguments(int, char*[])
{
    int count = 0;
    const auto release = [](LPWSTR* list) { LocalFree(list); };
    const std::unique_ptr<LPWSTR, decltype(release)> wide(CommandLineToArgvW(GetCommandLineW(), &count), release);
    if (!wide) throw std::system_error(static_cast<int>(GetLastError()), std::system_category(), "reading the command line");
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i) arguments.push_back(generation::PathText(wide.get()[i]));
    return arguments;
}

// Started by a double-click, the program has a console of its own that
// closes as soon as it ends: it explains itself and waits for Enter rather
// than write the default list unasked. All of it fits the first screen of
// a new console (80 by 25 on Windows 7 and 8.1); --help is one command away.
void ExplainItself()
{
    const std::string program(kProgram);
    cli::Write(cli::Stream::Output,
        program + " is a command-line program, so it wrote nothing now.\n"
        "It writes the population list files\\game_list.txt when it is run from a\n"
        "Command Prompt, PowerShell or a script, with the fields given as options.\n\n"
        "To run it: in File Explorer, open the folder that holds the folder \"files\",\n"
        "type cmd in the address bar and press Enter. In the Command Prompt that\n"
        "opens, type for example\n\n"
        "  " + program + " --players 50 --seed 7\n\n"
        "and press Enter: that writes a list of 50 players drawn with the seed 7,\n"
        "every other field at its default. To see every option, its value and its\n"
        "default, type\n\n"
        "  " + program + " --help\n\n"
        "To set the fields in a window instead, start population-generator.exe.\n\n"
        "Press Enter to close this window.");
    cli::WaitForEnter();
}
#else
std::vector<std::string> Arguments(int argc, char* argv[]) { return std::vector<std::string>(argv, argv + argc); }
#endif

// A folder named by a UTF-8 text, whatever the system's narrow encoding.
std::filesystem::path Utf8Path(const std::string& text)
{
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

int UsageError(const std::string& what)
{
    cli::Write(cli::Stream::Error, std::string(kProgram) + ": " + what + "\nTry '" + std::string(kProgram) +
                                " --help' for more information.\n");
    return kUsageError;
}

}  // namespace

int main(int argc, char* argv[])
{
    generation::LoadDllsFromSystemFolderOnly();  // before anything else, on Windows
    // The help is CLI11's own. It fits a console of 80 columns, whose last
    // column would leave a blank line after a line that fills it, with every
    // CLI11 from 2.1 on: a description starts 30 columns in and takes at most
    // 48 (2.5 and later end each line with a blank), and the footer, which
    // holds the longer story, has lines of at most 78.
    CLI::App app{"Writes the population list files/game_list.txt as the window does.",
                 std::string(kProgram)};
    app.set_help_flag();  // added last, so the help lists the fields first
    app.allow_windows_style_options(false);  // "/x" is a text on Windows too
    std::string seedText = std::to_string(generation::CoefficientSampler::kSeed);
    app.footer("Each field option takes a text exactly as the window's field would hold it:\n"
               "an empty text, or one that starts with '-' as in -50, is a text too. An\n"
               "option left out takes its field's default; the seed " + seedText + " draws what the\n"
               "window's first press draws. The folder files (DIR/files) must exist.\n"
               "\n"
               "Exit status: 0 when the list was written; 1 when the run failed (the reason\n"
               "goes to standard error and the previous list stays as it was); 2 for a usage\n"
               "error.");

    generation::GenerationParameters parameters;
    for (const generation::GeneralRow& row : generation::kGeneralRows) {
        app.add_option("--" + std::string(row.option), parameters.General(row.row),
                       Caption(row.label) + " (default " + Quoted(row.defaultText) + ")")
            ->type_name("TEXT")
            ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    }
    std::array<std::pair<std::string, std::string>, generation::kCoefficientCount> ranges;
    for (std::size_t i = 0; i < ranges.size(); ++i) {
        const generation::CoefficientRow& row = generation::kCoefficientRows[i];
        ranges[i] = {parameters.Coefficient(row.row).min, parameters.Coefficient(row.row).max};
        app.add_option("--" + std::string(row.option), ranges[i],
                       "Min and Max of " + Caption(row.label) + " (default " + Quoted(row.defaultMin) + " " +
                           Quoted(row.defaultMax) + ")")
            ->type_name("MIN MAX")
            ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    }

    app.add_option("--seed", seedText, "Generator's seed, 0 to 4294967295 (default " + seedText + ")")
        ->type_name("N")
        ->check(CLI::Validator(SeedError, "", "seed"));
    std::string directory;
    app.add_option("--directory", directory, "Write DIR/files/game_list.txt (default: .)")->type_name("DIR");
    bool verbose = false;
    app.add_flag("--verbose", verbose, "Say what was written");
    app.set_help_flag("-h,--help", "Print this help and exit");
    app.set_version_flag("--version", std::string(kProgram) + " (Population generator) " POPGEN_VERSION,
                         "Print the version and exit");

    std::vector<std::string> arguments;
    try {
        arguments = Arguments(argc, argv);
    } catch (const std::exception& failure) {
        return UsageError(failure.what());
    }
    // execve may start a program without even its name, argv[0]: the rest
    // of main takes the name as there, so an empty list is read as a bare start.
    if (arguments.empty()) arguments.emplace_back(kProgram);
#ifdef _WIN32
    if (cli::StartedByDoubleClick(cli::CurrentConsoleUse(arguments.size() - 1))) {
        ExplainItself();
        return kUsageError;
    }
    if (arguments.size() == 2 && arguments[1] == "/?") arguments[1] = "--help";
#endif
    if (const std::string error = ForgottenValue(app, arguments); !error.empty()) return UsageError(error);

    try {
        std::vector<std::string> reversed(arguments.rbegin(), arguments.rend() - 1);  // CLI11 takes them reversed
        app.parse(std::move(reversed));
    } catch (const CLI::CallForHelp&) {
        cli::Write(cli::Stream::Output, app.help());
        return kSuccess;
    } catch (const CLI::CallForVersion& request) {
        cli::Write(cli::Stream::Output, std::string(request.what()) + "\n");
        return kSuccess;
    } catch (const CLI::ExtrasError&) {
        // CLI11 (2.1 to 2.4) lists the arguments it did not expect last
        // first; the user reads them as typed.
        const std::vector<std::string> extras = app.remaining();
        std::string error = extras.size() > 1 ? "The following arguments were not expected:"
                                              : "The following argument was not expected:";
        for (const std::string& extra : extras) error += " " + extra;
        return UsageError(error);
    } catch (const CLI::ParseError& error) {
        return UsageError(error.what());
    }

    for (std::size_t i = 0; i < ranges.size(); ++i) {
        auto& range = parameters.Coefficient(generation::kCoefficientRows[i].row);
        range.min = ranges[i].first;
        range.max = ranges[i].second;
    }
    std::uint32_t seed = 0;
    std::from_chars(seedText.data(), seedText.data() + seedText.size(), seed);

    generation::CoefficientSampler sampler(seed);
    const generation::RunOutcome outcome =
        generation::ReportedRun(parameters, sampler, directory.empty() ? std::filesystem::path() : Utf8Path(directory));
    if (!outcome.Succeeded()) {
        cli::Write(cli::Stream::Error, std::string(kProgram) + ": " + outcome.kind + ": " + outcome.message + "\n" +
                                    std::string(kProgram) + ": the population list was not changed.\n");
        return kRunFailed;
    }
    if (verbose) cli::Write(cli::Stream::Output, std::string(kProgram) + ": wrote " + generation::PathText(outcome.list) + "\n");
    return kSuccess;
}
