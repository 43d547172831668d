// The form's shared arithmetic and texts, which both windows build on: twips
// to pixels at any DPI, the room each kind of control leaves its caption and
// the stepping of the font size, and the text that names where a press
// writes.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "core/test_support.h"
#include "form/fitting.h"
#include "form/form.h"

namespace {

// Twips to pixels rounds to the nearest pixel, halves away from zero; at
// 96 DPI every box maps exactly, elsewhere most do not.
TEST(ToPixels, RoundsToTheNearestPixelAtAnyDpi)
{
    struct Case {
        int twips, dpi, pixels;
    };
    for (const Case& c : std::vector<Case>{{3735, 96, 249}, {3735, 144, 374}, {255, 120, 21}, {285, 120, 24},
                                           {6690, 168, 781}, {5, 144, 1}, {4, 144, 0}, {-5, 144, -1}}) {
        EXPECT_EQ(form::ToPixels(c.twips, c.dpi), c.pixels) << c.twips << " twips at " << c.dpi << " DPI";
    }
    EXPECT_EQ(form::ToPixels(form::Box{360, 5880, 3735, 495}, 144), (form::Box{36, 588, 374, 50}));
}

// One caption measured at the room its box leaves it fits, one pixel wider
// does not; every other text is measured as nothing. A label's line must
// also fit its height.
TEST(EverythingFits, LeavesEachKindOfControlItsRoom)
{
    struct Case {
        std::string_view text;  // the caption or default text of one control
        int dpi, room;          // pixels
    };
    for (const Case& c : std::vector<Case>{{"General parameters", 96, 229}, {"General parameters", 144, 344},
                                           {"Generate random population", 96, 237},
                                           {"Generate random population", 144, 356},
                                           {"Number of player in population:", 96, 153},
                                           {"Number of player in population:", 144, 230},
                                           {"900", 96, 49}, {"900", 144, 74}}) {
        for (int width : {c.room, c.room + 1}) {
            const bool fits = form::EverythingFits(
                [&](std::string_view text) { return form::TextExtent{text == c.text ? width : 0, 1}; }, c.dpi);
            EXPECT_EQ(fits, width == c.room) << '"' << c.text << "\" " << width << " px wide at " << c.dpi << " DPI";
        }
    }
    const auto lineOf = [](int height) {
        return [height](std::string_view) { return form::TextExtent{0, height}; };
    };
    EXPECT_TRUE(form::EverythingFits(lineOf(17), 96));
    EXPECT_FALSE(form::EverythingFits(lineOf(18), 96)) << "a line taller than a label";
}

// Smaller a step at a time until it fits; the smallest size is taken
// without asking, and a preferred size below it as it is.
TEST(FittingSize, StepsDownToTheFirstSizeThatFitsButNoFurtherThanTheSmallest)
{
    struct Case {
        int preferred, smallest, largestFitting, chosen;
        std::vector<int> asked;
    };
    for (const Case& c : std::vector<Case>{{12, 8, 12, 12, {12}}, {12, 8, 10, 10, {12, 11, 10}},
                                           {10, 8, 0, 8, {10, 9}}, {7, 8, 0, 7, {}}}) {
        std::vector<int> asked;
        const int chosen = form::FittingSize(c.preferred, c.smallest, [&](int size) {
            asked.push_back(size);
            return size <= c.largestFitting;
        });
        EXPECT_EQ(chosen, c.chosen) << "preferred " << c.preferred << ", fits up to " << c.largestFitting;
        EXPECT_EQ(asked, c.asked) << "preferred " << c.preferred << ", fits up to " << c.largestFitting;
    }
}

// The text names the list under the current folder of the moment it is
// asked for, as a run would write it.
TEST(WhereAPressWrites, NamesTheListUnderTheCurrentFolder)
{
#ifdef _WIN32
    constexpr std::string_view kList = "\\files\\game_list.txt";
#else
    constexpr std::string_view kList = "/files/game_list.txt";
#endif
    const std::filesystem::path previous = std::filesystem::current_path();
    testing_support::TempDir folder;
    std::filesystem::current_path(folder.Path());
    const std::u8string name = std::filesystem::canonical(folder.Path()).u8string();
    EXPECT_EQ(form::WhereAPressWrites(), "Writes " + std::string(name.begin(), name.end()) + std::string(kList));
#ifndef _WIN32
    // A folder deleted under the program: no path to name, and no failure.
    std::filesystem::remove(folder.Path());
    EXPECT_EQ(form::WhereAPressWrites(),
              "Writes files/game_list.txt under the current folder, which cannot be determined now");
#endif
    std::filesystem::current_path(previous);
}

}  // namespace
