#pragma once

// The window as a user should find it, written out by hand for the tests of
// both windows (Qt and Win32): each control's kind, caption or default text,
// frame, and box in pixels at 96 dots per inch (15 twips to the pixel), from
// the frame's outer top left corner or from the window's client area. It is
// deliberately not derived from the form table that the windows are built
// from, so a slip in that table shows up here. Standard library only.

#include <array>
#include <cstddef>
#include <string_view>

namespace expected_form {

inline constexpr std::string_view kCaption = "Population generator";
inline constexpr int kClientWidth = 296;   // pixels at 96 DPI
inline constexpr int kClientHeight = 446;

enum class Kind { Frame, Label, Field, Button };
enum class Alignment { Left, Center };

struct Control {
    std::string_view name;
    Kind kind;
    std::string_view text;    // caption, or a field's default text
    std::string_view parent;  // empty: the window
    int left, top, width, height;
    Alignment alignment = Alignment::Left;
};

inline constexpr std::array<Control, 30> kControls{{
    {"Frame3", Kind::Frame, "General parameters", "", 24, 24, 249, 161},
    {"Frame2", Kind::Frame, "Randomization parameters", "", 24, 200, 249, 177},
    {"Command1", Kind::Button, "Generate random population", "", 24, 392, 249, 33},

    {"Label3(10)", Kind::Label, "Max depth of black player:", "Frame3", 16, 32, 129, 17},
    {"Label3(11)", Kind::Label, "Max depth of white player:", "Frame3", 16, 56, 129, 17},
    {"Label3(12)", Kind::Label, "Number of player in population:", "Frame3", 16, 80, 153, 17},
    {"Label3(13)", Kind::Label, "Max number of generation:", "Frame3", 16, 104, 129, 17},
    {"Label3(14)", Kind::Label, "Time limit for evolution (min):", "Frame3", 16, 128, 145, 17},
    {"text3(10)", Kind::Field, "5", "Frame3", 176, 32, 57, 19},
    {"text3(11)", Kind::Field, "5", "Frame3", 176, 56, 57, 19},
    {"text3(12)", Kind::Field, "30", "Frame3", 176, 80, 57, 19},
    {"text3(13)", Kind::Field, "50", "Frame3", 176, 104, 57, 19},
    {"text3(14)", Kind::Field, "900", "Frame3", 176, 128, 57, 19},

    {"Label2(2)", Kind::Label, "Min", "Frame2", 104, 24, 49, 17, Alignment::Center},
    {"Label2(3)", Kind::Label, "Max", "Frame2", 176, 24, 57, 17, Alignment::Center},
    {"Label1(7)", Kind::Label, "Rook:", "Frame2", 16, 48, 41, 17},
    {"Label1(5)", Kind::Label, "Knight:", "Frame2", 16, 72, 41, 17},
    {"Label1(6)", Kind::Label, "Bishop:", "Frame2", 16, 96, 41, 17},
    {"Label1(8)", Kind::Label, "Queen:", "Frame2", 16, 120, 41, 17},
    {"Label1(9)", Kind::Label, "Legal moves:", "Frame2", 16, 144, 73, 17},
    {"Text1(5)", Kind::Field, "0", "Frame2", 104, 48, 49, 19},
    {"Text2(5)", Kind::Field, "1000", "Frame2", 176, 48, 57, 19},
    {"Text1(6)", Kind::Field, "0", "Frame2", 104, 72, 49, 19},
    {"Text2(6)", Kind::Field, "600", "Frame2", 176, 72, 57, 19},
    {"Text1(7)", Kind::Field, "0", "Frame2", 104, 96, 49, 19},
    {"Text2(7)", Kind::Field, "600", "Frame2", 176, 96, 57, 19},
    {"Text1(8)", Kind::Field, "0", "Frame2", 104, 120, 49, 19},
    {"Text2(8)", Kind::Field, "1600", "Frame2", 176, 120, 57, 19},
    {"Text1(9)", Kind::Field, "-50", "Frame2", 104, 144, 49, 19},
    {"Text2(9)", Kind::Field, "150", "Frame2", 176, 144, 57, 19},
}};

// The keyboard order; the first has the focus when the window is first shown.
inline constexpr std::array<std::string_view, 16> kFocusOrder{{
    "Text1(5)", "Text1(6)", "Text1(7)", "Text1(8)", "Text1(9)",
    "Text2(5)", "Text2(6)", "Text2(7)", "Text2(8)", "Text2(9)",
    "text3(10)", "text3(11)", "text3(12)", "text3(13)", "text3(14)",
    "Command1",
}};

// A tooltip's lines as a user should find them: each fits (`fits`), and
// none could have taken the next line's first piece, up to and with its
// first blank or folder separator. Returns the first line that breaks this
// (with that piece when it would have fitted), or nothing.
template <typename Text, typename Fits>
Text MisbrokenTooltipLine(const Text& shown, Fits fits)
{
    const auto breaksAfter = [](auto c) { return c == ' ' || c == '\\' || c == '/'; };
    for (std::size_t start = 0;;) {
        const std::size_t end = shown.find('\n', start);
        const Text line = shown.substr(start, end - start);
        if (!fits(line)) return line;
        if (end == Text::npos) return {};
        std::size_t next = end + 1;
        while (next < shown.size() && shown[next] != '\n' && !breaksAfter(shown[next])) ++next;
        const std::size_t pieceEnd = next < shown.size() && breaksAfter(shown[next]) ? next + 1 : next;
        const Text piece = shown.substr(end + 1, pieceEnd - end - 1);
        if (fits(line + piece)) return line + piece;
        start = end + 1;
    }
}

}  // namespace expected_form
