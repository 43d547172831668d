#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "generation/parameters.h"
#include "generation/reported_run.h"

// The window's form as data: every control's name, kind, caption or default
// text, frame, box and keyboard place, and the wording of the failure
// report. The Qt window and the Win32 window are both built from it, so
// neither holds a position or a caption of its own.
namespace form {

inline constexpr std::string_view kCaption = "Population generator";

// Boxes are in twips: 1440 to the inch, 15 to the pixel at 96 dots per inch.
inline constexpr int kTwipsPerInch = 1440;
inline constexpr int kClientWidth = 4440;
inline constexpr int kClientHeight = 6690;

// A box in twips, from the outer top left corner of the control's frame, or
// of the window's client area for a control placed on the window.
struct Box {
    int left;
    int top;
    int width;
    int height;
    bool operator==(const Box&) const = default;
};

enum class Kind { Frame, Label, Field, Button };
enum class Alignment { Left, Center };

// Which of the run's texts a field holds.
enum class Binding {
    None,     // not a field
    General,  // the text of a general row (text3)
    Min,      // the Min text of a coefficient row (Text1)
    Max,      // the Max text of a coefficient row (Text2)
};

struct Control {
    std::string name;       // with its index for array elements: "Text1(5)", "Label1(7)", "Command1"
    Kind kind;
    std::string text;       // the caption, or a field's default text
    std::string parent;     // the frame's name, or empty for the window itself
    Box box;
    Alignment alignment;    // of a label's text; Left for the other kinds
    std::string accessibleName;
    int tabIndex;           // labels and frames have one too, but never take the focus
    Binding binding;
    int row;                // the row a field holds, 0 for other controls

    bool TakesFocus() const noexcept { return kind == Kind::Field || kind == Kind::Button; }
};

// Every control, frames first, then the frames' contents (the upper frame's
// rows, the lower frame's headings and rows), then the button. A frame
// always comes before the controls inside it.
const std::vector<Control>& Controls();

// The control of that name; std::out_of_range when there is none.
const Control& Find(std::string_view name);

// The controls that take the focus, in keyboard order (ascending tab
// index): the Min column, the Max column, the general column, the button.
// The first of them has the focus when the window is first shown.
std::vector<const Control*> KeyboardOrder();

// The text of `parameters` that the field `control` holds: a general row's
// text, or a coefficient row's Min or Max. std::invalid_argument for a
// control that is not a field.
std::string& FieldText(generation::GenerationParameters& parameters, const Control& control);

// The control's box in the window's client area: its own box moved by its
// frame's corner.
Box WindowBox(const Control& control);

// Twips to device pixels at `dpi` dots per inch, rounded to the nearest
// pixel (halves away from zero). At 96 DPI every box of the form maps
// exactly, 15 twips to the pixel.
int ToPixels(int twips, int dpi);
Box ToPixels(const Box& twips, int dpi);

// The failure report. Its title is the window's caption; its text names the
// kind of failure, gives the core's message (the path and the system's
// reason, or the field and its text) and says that nothing was lost.
inline constexpr std::string_view kUnchangedAdvice =
    "The population list was not changed. Correct the cause and press the button again.";
std::string FailureReportText(std::string_view kind, std::string_view message);

// What a press reports, without running, when `field` holds a character that
// UTF-8 cannot hold (half of a UTF-16 surrogate pair, pasted from something
// broken): the same kind as a text that holds a line break.
generation::RunOutcome BrokenTextOutcome(const Control& field);

// The button's tooltip and accessible description: the full path that the
// next press writes, "Writes /home/ann/tuning/files/game_list.txt", worked
// out now from the process's current directory as a run works it out. When
// the current folder cannot be determined (it was deleted), the text says
// so rather than naming a path.
std::string WhereAPressWrites();

// The words that name where a press writes: "Writes " and the place.
std::string WritesText(std::string_view where);

// A tooltip's text, such as a long path, broken into lines that fit: a line
// ends after a blank or a folder's separator where the next piece would make
// `fits(line)` false (a tooltip itself breaks lines at blanks alone). A piece
// that does not fit a line of its own stands on one all the same.
template <typename Text, typename Fits>
Text BrokenIntoLines(const Text& text, Fits fits)
{
    Text broken;
    Text line;
    for (std::size_t start = 0, i = 0; i < text.size(); ++i) {
        const auto c = text[i];
        if (c != ' ' && c != '\\' && c != '/' && i + 1 < text.size()) continue;
        const Text piece = text.substr(start, i + 1 - start);
        if (!line.empty() && !fits(line + piece)) {
            broken += line + typename Text::value_type('\n');
            line.clear();
        }
        line += piece;
        start = i + 1;
    }
    return broken + line;
}

}  // namespace form
