// The form's shared arithmetic and texts, which both windows build on.
#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "core/test_support.h"
#include "form/fitting.h"
#include "form/form.h"

namespace {

TEST(ToPixels, RoundsToTheNearestPixelAtAnyDpi)
{
    struct Case {
        int twips, dpi, pixels;
    };
    for (const Case& c : std::vector<Case>{{3735, 144, 374}, {255, 120, 21}, {285, 120, 24}, {-5, 144, -1}}) {
        EXPECT_EQ(form::ToPixels(c.twips, c.dpi), c.pixels) << c.twips << " twips at " << c.dpi << " DPI";
    }
}

// One text measured at the room its box leaves it fits, a pixel wider not;
// nor does a line taller than a label.
TEST(EverythingFits, LeavesEachKindOfControlItsRoom)
{
    const auto fits = [](std::string_view measured, int width, int height, int dpi) {
        return form::EverythingFits(
            [=](std::string_view text) { return form::TextExtent{text == measured ? width : 0, height}; }, dpi);
    };
    struct Case {
        std::string_view text;
        int dpi, room;
    };
    for (const Case& c : std::vector<Case>{{"General parameters", 144, 344}, {"Generate random population", 96, 237},
                                           {"Number of player in population:", 96, 153}, {"900", 144, 74}}) {
        EXPECT_TRUE(fits(c.text, c.room, 1, c.dpi)) << c.text;
        EXPECT_FALSE(fits(c.text, c.room + 1, 1, c.dpi)) << c.text;
    }
    EXPECT_TRUE(fits("", 0, 17, 96));
    EXPECT_FALSE(fits("", 0, 18, 96));
}

// Any well-made form: each control inside its frame, each frame and the button inside the window, no two
// controls of one frame (or of the window) overlapping, and a keyboard order that no tie leaves to chance.
TEST(Form, HasTheShapeOfAWellMadeForm)
{
    const auto overlap = [](const form::Box& a, const form::Box& b) {
        return a.left < b.left + b.width && b.left < a.left + a.width && a.top < b.top + b.height && b.top < a.top + a.height;
    };
    for (const form::Control& c : form::Controls()) {
        const auto room = c.parent.empty() ? form::Box{0, 0, form::kClientWidth, form::kClientHeight} : form::Find(c.parent).box;
        EXPECT_TRUE(c.box.left >= 0 && c.box.top >= 0 && c.box.left + c.box.width <= room.width &&
                    c.box.top + c.box.height <= room.height)
            << c.name << " sticks out of " << (c.parent.empty() ? "the window" : c.parent);
        for (const form::Control& o : form::Controls()) {
            EXPECT_FALSE(&o < &c && o.parent == c.parent && overlap(o.box, c.box)) << o.name << " overlaps " << c.name;
        }
    }
    const std::vector<const form::Control*> order = form::KeyboardOrder();
    for (std::size_t i = 1; i < order.size(); ++i) {
        EXPECT_NE(order[i - 1]->tabIndex, order[i]->tabIndex) << order[i - 1]->name << " and " << order[i]->name << " share it";
    }
}

TEST(FittingSize, StepsDownUntilItFitsButNotBelowTheSmallest)
{
    std::vector<int> asked;
    const auto fitsBelow = [&](int largest) {
        return [&asked, largest](int size) { return asked.push_back(size), size <= largest; };
    };
    EXPECT_EQ(form::FittingSize(12, 8, fitsBelow(10)), 10);
    EXPECT_EQ(form::FittingSize(10, 8, fitsBelow(0)), 8);
    EXPECT_EQ(asked, (std::vector<int>{12, 11, 10, 10, 9})) << "the smallest size is taken without asking";
}

#ifndef _WIN32
// A folder deleted under the program: no path to name, and no failure.
TEST(WhereAPressWrites, SaysSoWhenTheCurrentFolderIsGone)
{
    const std::filesystem::path previous = std::filesystem::current_path();
    testing_support::TempDir folder;
    std::filesystem::current_path(folder.Path());
    EXPECT_EQ(form::WhereAPressWrites(), "Writes " + std::filesystem::canonical(folder.Path()).string() + "/files/game_list.txt");
    std::filesystem::remove(folder.Path());
    EXPECT_EQ(form::WhereAPressWrites(),
              "Writes files/game_list.txt under the current folder, which cannot be determined now");
    std::filesystem::current_path(previous);
}
#endif

TEST(BrokenIntoLines, EndsALineAfterABlankOrASeparatorWhereItWouldNotFit)
{
    const auto fitsIn = [](std::size_t width) {
        return [width](const std::string& line) { return line.size() <= width; };
    };
    const struct {
        std::string text;
        std::size_t width;
        std::string lines;
    } cases[] = {
        {"Writes /tmp/files/game_list.txt", 40, "Writes /tmp/files/game_list.txt"},
        {"Writes C:\\Users\\ann\\files\\game_list.txt", 14, "Writes C:\\\nUsers\\ann\\\nfiles\\\ngame_list.txt"},
        {"Writes /a-name-too-long-for-a-line/x", 8, "Writes /\na-name-too-long-for-a-line/\nx"},
        {"Writes files/game_list.txt under the current folder", 20,
         "Writes files/\ngame_list.txt under \nthe current folder"},
    };
    for (const auto& c : cases) EXPECT_EQ(form::BrokenIntoLines(c.text, fitsIn(c.width)), c.lines) << c.text;
    const auto fitsTen = [](const std::wstring& line) { return line.size() <= 10; };
    EXPECT_EQ(form::BrokenIntoLines(std::wstring(L"Writes C:\\files"), fitsTen), L"Writes C:\\\nfiles");
}

}  // namespace
