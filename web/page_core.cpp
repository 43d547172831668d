// The page's way into the core and the form table: plain C functions that
// the page's script calls. The script builds the page from Form(), hands
// over the fields' texts, and saves what Press() wrote: a download, or a
// file in the tuning folder that the user chose.
//
// The core writes into the module's in-memory file system. In the folder
// mode the page first looks whether the chosen folder holds "files" and
// mirrors that here, so the core's own checks and messages decide a press
// as they do in the windows; the bytes then go to the real folder.

#include <emscripten/emscripten.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <system_error>

#include "form/fitting.h"
#include "form/form.h"
#include "generation/failures.h"
#include "generation/population_list.h"
#include "generation/reported_run.h"

namespace {

// Where the core writes in the in-memory file system: the folder whose
// name the page gives (the chosen folder's, or one of its own for
// downloads), under a folder of the page's own.
constexpr std::string_view kMirrors = "/population-generator";
constexpr std::string_view kDownloadFolder = "download";

// What the folder that a press writes into holds at the press.
enum class FilesState { Folder = 1, Missing = 2, File = 3 };

generation::GenerationParameters g_parameters;
generation::RunOutcome g_outcome;
std::string g_list;   // the bytes of the last list written
std::string g_text;   // the last text handed to the page

const char* Hand(std::string text)
{
    g_text = std::move(text);
    return g_text.c_str();
}

void AppendJson(std::string& out, std::string_view text)
{
    out += '"';
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            constexpr char kHex[] = "0123456789abcdef";
            out += "\\u00";
            out += kHex[(c >> 4) & 0xF];
            out += kHex[c & 0xF];
        } else {
            out += c;
        }
    }
    out += '"';
}

std::string_view KindName(form::Kind kind)
{
    switch (kind) {
        case form::Kind::Frame: return "frame";
        case form::Kind::Label: return "label";
        case form::Kind::Field: return "field";
        case form::Kind::Button: return "button";
    }
    return "";
}

// A text's extent in the page's font at `pixels`, measured by the page.
EM_JS(int, MeasureWidth, (const char* text, int pixels), { return Module.measureText(UTF8ToString(text), pixels)[0]; });
EM_JS(int, MeasureHeight, (int pixels), { return Module.measureText("Xg", pixels)[1]; });

}  // namespace

extern "C" {

// The form table as JSON: the caption, the client area's size and every
// control (in table order) with its box in the window's client area, in
// twips, and the controls that take the focus in keyboard order.
EMSCRIPTEN_KEEPALIVE const char* Form()
{
    std::string out = "{\"caption\":";
    AppendJson(out, form::kCaption);
    out += ",\"width\":" + std::to_string(form::kClientWidth) + ",\"height\":" + std::to_string(form::kClientHeight);
    out += ",\"controls\":[";
    const auto& controls = form::Controls();
    for (std::size_t i = 0; i < controls.size(); ++i) {
        const form::Control& control = controls[i];
        const form::Box box = form::WindowBox(control);
        out += i == 0 ? "{" : ",{";
        out += "\"name\":";
        AppendJson(out, control.name);
        out += ",\"kind\":";
        AppendJson(out, KindName(control.kind));
        out += ",\"text\":";
        AppendJson(out, control.text);
        out += ",\"accessibleName\":";
        AppendJson(out, control.accessibleName);
        out += ",\"center\":" + std::string(control.alignment == form::Alignment::Center ? "true" : "false");
        out += ",\"box\":[" + std::to_string(box.left) + "," + std::to_string(box.top) + "," +
               std::to_string(box.width) + "," + std::to_string(box.height) + "]";
        out += ",\"margin\":" + std::to_string(form::CaptionMargin(control.kind)) + "}";
    }
    out += "],\"keyboardOrder\":[";
    bool first = true;
    for (const form::Control* control : form::KeyboardOrder()) {
        if (!first) out += ',';
        first = false;
        out += std::to_string(control - controls.data());
    }
    return Hand(out + "]}");
}

// The font size, in CSS pixels, at which every caption and default text
// fits its box, from `preferred` down to the windows' smallest.
EMSCRIPTEN_KEEPALIVE int FontPixels(int preferred)
{
    constexpr int kCssDpi = 96;  // 15 twips to a CSS pixel
    return form::FittingSize(preferred, form::kSmallestFontPixels, [](int size) {
        return form::EverythingFits(
            [size](std::string_view text) {
                const std::string copy(text);
                return form::TextExtent{MeasureWidth(copy.c_str(), size), MeasureHeight(size)};
            },
            kCssDpi);
    });
}

// Field `index` of the form table now holds `text` (UTF-8).
EMSCRIPTEN_KEEPALIVE void SetField(int index, const char* text)
{
    form::FieldText(g_parameters, form::Controls().at(static_cast<std::size_t>(index))) = text;
}

// One press: a run into `folder` of the in-memory file system, whose
// "files" is in `state` (FilesState). 1 when it wrote the list, 0 when it
// failed (Report() then says why). The sequence carries over to the next.
EMSCRIPTEN_KEEPALIVE int Press(const char* folder, int state)
{
    namespace fs = std::filesystem;
    g_list.clear();
    std::error_code ignored;
    const fs::path mirrors(kMirrors);
    fs::remove_all(mirrors, ignored);
    fs::create_directories(mirrors, ignored);
    fs::current_path(mirrors, ignored);
    const fs::path name = *folder != '\0' ? fs::path(folder) : fs::path(kDownloadFolder);
    fs::create_directory(name, ignored);
    if (static_cast<FilesState>(state) == FilesState::Folder) fs::create_directory(name / "files", ignored);
    if (static_cast<FilesState>(state) == FilesState::File) std::ofstream(name / "files").put('\n');

    g_outcome = generation::ReportedRun(g_parameters, generation::CoefficientSampler::Process(), name);
    if (!g_outcome.Succeeded()) return 0;
    // In one read: character by character it would take many times the run.
    std::ifstream list(generation::PopulationListPath(name), std::ios::binary | std::ios::ate);
    g_list.resize(static_cast<std::size_t>(list.tellg()));
    list.seekg(0).read(g_list.data(), static_cast<std::streamsize>(g_list.size()));
    if (!list) {
        g_outcome = {std::string(generation::kUnexpectedFailureKind), "The list that the run wrote could not be read back.", {}};
        return 0;
    }
    return 1;
}

EMSCRIPTEN_KEEPALIVE const char* ListBytes() { return g_list.data(); }
EMSCRIPTEN_KEEPALIVE int ListSize() { return static_cast<int>(g_list.size()); }

// A failure of the page's own (the folder could not be written), in the
// core's words: `action` and the browser's `reason` for the list in `folder`.
EMSCRIPTEN_KEEPALIVE void FileFailed(const char* action, const char* folder, const char* reason)
{
    const generation::FileFailure failure(action, generation::PopulationListPath(folder), std::string(reason));
    g_outcome = {std::string(failure.Kind()), failure.what(), failure.Path()};
}

// A press refused because field `index` holds half of a surrogate pair.
EMSCRIPTEN_KEEPALIVE void BrokenText(int index)
{
    g_outcome = form::BrokenTextOutcome(form::Controls().at(static_cast<std::size_t>(index)));
}

// The failure report of the last press, as the windows word it.
EMSCRIPTEN_KEEPALIVE const char* Report() { return Hand(form::FailureReportText(g_outcome.kind, g_outcome.message)); }

// Where a press writes, in the windows' words: the chosen folder's list,
// or (no folder) the download.
EMSCRIPTEN_KEEPALIVE const char* WhereAPressWrites(const char* folder)
{
    if (*folder == '\0') return Hand(form::WritesText("game_list.txt into the browser's downloads"));
    return Hand(form::WritesText(generation::PathText(generation::PopulationListPath(folder))));
}

}  // extern "C"
