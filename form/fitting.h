#pragma once

#include <functional>
#include <string_view>

#include "form/form.h"

// Choosing the window's font so that every caption and default text fits
// its box. The windows measure text with their own toolkit; the stepping,
// the room each kind of control leaves its text and the decision live here,
// so both windows choose alike.
namespace form {

// The smallest font the windows step down to, in pixels at 96 DPI. Below
// it text stops being legible; a window keeps this size even when some
// caption is still too wide.
inline constexpr int kSmallestFontPixels = 8;

// Room that a control's own drawing takes from its caption's width, in
// pixels at 96 DPI: a frame's caption starts inside its corner, a button
// has its edges, a field its border and margins.
int CaptionMargin(Kind kind);

// What a font gives a text, in device pixels: its width, and the height of
// a line in that font.
struct TextExtent {
    int width;
    int height;
};

// Measures a text (UTF-8) in the font being tried.
using MeasureText = std::function<TextExtent(std::string_view text)>;

// Whether every caption and default text of the form fits its box at `dpi`:
// its width within the box less the control's margin and, for a label, its
// line within the box's height.
bool EverythingFits(const MeasureText& measure, int dpi);

// The font size to use: `preferred`, made smaller a step of one at a time
// while `fits` says no, down to `smallest` at the least, which is taken
// without asking. Sizes are in the caller's unit (pixels).
int FittingSize(int preferred, int smallest, const std::function<bool(int size)>& fits);

}  // namespace form
