#include "form/form.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <stdexcept>

#include "generation/failures.h"
#include "generation/population_list.h"

namespace form {

namespace {

// Every row of a frame has its label at the left edge and its field (or
// fields) in the columns shared by the whole form.
constexpr int kLabelLeft = 240;
constexpr int kLabelHeight = 255;
constexpr int kFieldHeight = 285;
constexpr int kMinLeft = 1560;
constexpr int kMinWidth = 735;
constexpr int kMaxLeft = 2640;  // also the general fields' column
constexpr int kMaxWidth = 855;

// Where each general row stands in the upper frame, and its tab indexes.
struct GeneralPlace {
    int row;
    int top;
    int labelWidth;
    int labelTab;
    int fieldTab;
};

constexpr GeneralPlace kGeneralPlaces[] = {
    {10, 480, 1935, 24, 19}, {11, 840, 1935, 25, 20}, {12, 1200, 2295, 26, 21},
    {13, 1560, 1935, 27, 22}, {14, 1920, 2175, 28, 23},
};

// Where each coefficient row stands in the lower frame. The rook, knight
// and bishop labels carry the indexes 7, 5 and 6.
struct CoefficientPlace {
    int row;
    int labelIndex;
    int top;
    int labelWidth;
    int labelTab;
    int minTab;
    int maxTab;
};

constexpr CoefficientPlace kCoefficientPlaces[] = {
    {5, 7, 720, 615, 4, 1, 13},  {6, 5, 1080, 615, 2, 9, 14},   {7, 6, 1440, 615, 3, 10, 15},
    {8, 8, 1800, 615, 5, 11, 16}, {9, 9, 2160, 1095, 6, 12, 17},
};

// The tab indexes of the controls that stand outside the rows.
constexpr int kLowerFrameTab = 0;
constexpr int kMinHeadingTab = 7;
constexpr int kMaxHeadingTab = 8;
constexpr int kUpperFrameTab = 18;
constexpr int kButtonTab = 29;

// Every row of the core's tables has exactly one place, and every place a
// row: a row without one would have no field in either window or the page.
template <typename Row, std::size_t N, typename Place, std::size_t M>
constexpr bool OnePlaceEach(const std::array<Row, N>& rows, const Place (&places)[M])
{
    return N == M && std::all_of(rows.begin(), rows.end(), [&places](const Row& row) {
               return std::count_if(places, places + M, [&row](const Place& place) { return place.row == row.row; }) == 1;
           });
}
static_assert(OnePlaceEach(generation::kGeneralRows, kGeneralPlaces), "every general row has one place in the form");
static_assert(OnePlaceEach(generation::kCoefficientRows, kCoefficientPlaces),
              "every coefficient row has one place in the form");

// The tab indexes of all the controls run from 0 with no gap and no two
// alike, so the keyboard order is the table's and no sort can shuffle it.
constexpr bool TabIndexesRunFromZero()
{
    constexpr std::size_t kCount = 5 + 2 * std::size(kGeneralPlaces) + 3 * std::size(kCoefficientPlaces);
    std::array<int, kCount> tabs{kLowerFrameTab, kMinHeadingTab, kMaxHeadingTab, kUpperFrameTab, kButtonTab};
    std::size_t next = 5;
    for (const GeneralPlace& place : kGeneralPlaces) {
        for (const int tab : {place.labelTab, place.fieldTab}) tabs[next++] = tab;
    }
    for (const CoefficientPlace& place : kCoefficientPlaces) {
        for (const int tab : {place.labelTab, place.minTab, place.maxTab}) tabs[next++] = tab;
    }
    std::array<bool, kCount> seen{};
    for (const int tab : tabs) {
        if (tab < 0 || tab >= static_cast<int>(kCount) || seen[tab]) return false;
        seen[tab] = true;
    }
    return true;
}
static_assert(TabIndexesRunFromZero(), "tab indexes run 0, 1, ... with none twice: see the places and k...Tab");

std::string Indexed(std::string_view name, int index) { return std::string(name) + '(' + std::to_string(index) + ')'; }

std::vector<Control> BuildControls()
{
    std::vector<Control> controls;
    auto add = [&controls](std::string name, Kind kind, std::string_view text, std::string_view parent, Box box,
                           int tab, std::string accessibleName = {}, Binding binding = Binding::None, int row = 0,
                           Alignment alignment = Alignment::Left) {
        if (accessibleName.empty()) accessibleName = std::string(text);
        controls.push_back(Control{std::move(name), kind, std::string(text), std::string(parent), box, alignment,
                                   std::move(accessibleName), tab, binding, row});
    };

    add("Frame3", Kind::Frame, "General parameters", "", {360, 360, 3735, 2415}, kUpperFrameTab);
    add("Frame2", Kind::Frame, "Randomization parameters", "", {360, 3000, 3735, 2655}, kLowerFrameTab);

    for (const GeneralPlace& place : kGeneralPlaces) {
        const generation::GeneralRow& info = generation::GeneralRowInfo(place.row);
        add(Indexed("Label3", place.row), Kind::Label, info.label, "Frame3",
            {kLabelLeft, place.top, place.labelWidth, kLabelHeight}, place.labelTab);
        add(Indexed("text3", place.row), Kind::Field, info.defaultText, "Frame3",
            {kMaxLeft, place.top, kMaxWidth, kFieldHeight}, place.fieldTab, std::string(info.label), Binding::General,
            place.row);
    }

    add("Label2(2)", Kind::Label, "Min", "Frame2", {kMinLeft, 360, kMinWidth, kLabelHeight}, kMinHeadingTab, {}, Binding::None, 0,
        Alignment::Center);
    add("Label2(3)", Kind::Label, "Max", "Frame2", {kMaxLeft, 360, kMaxWidth, kLabelHeight}, kMaxHeadingTab, {}, Binding::None, 0,
        Alignment::Center);
    for (const CoefficientPlace& place : kCoefficientPlaces) {
        const generation::CoefficientRow& info = generation::CoefficientRowInfo(place.row);
        const std::string label(info.label);
        add(Indexed("Label1", place.labelIndex), Kind::Label, info.label, "Frame2",
            {kLabelLeft, place.top, place.labelWidth, kLabelHeight}, place.labelTab);
        add(Indexed("Text1", place.row), Kind::Field, info.defaultMin, "Frame2",
            {kMinLeft, place.top, kMinWidth, kFieldHeight}, place.minTab, label + " Min", Binding::Min, place.row);
        add(Indexed("Text2", place.row), Kind::Field, info.defaultMax, "Frame2",
            {kMaxLeft, place.top, kMaxWidth, kFieldHeight}, place.maxTab, label + " Max", Binding::Max, place.row);
    }

    add("Command1", Kind::Button, "Generate random population", "", {360, 5880, 3735, 495}, kButtonTab);
    return controls;
}

}  // namespace

const std::vector<Control>& Controls()
{
    static const std::vector<Control> controls = BuildControls();
    return controls;
}

const Control& Find(std::string_view name)
{
    for (const Control& control : Controls()) {
        if (control.name == name) return control;
    }
    throw std::out_of_range("the form has no control " + std::string(name));
}

std::vector<const Control*> KeyboardOrder()
{
    std::vector<const Control*> order;
    for (const Control& control : Controls()) {
        if (control.TakesFocus()) order.push_back(&control);
    }
    std::sort(order.begin(), order.end(),
              [](const Control* a, const Control* b) { return a->tabIndex < b->tabIndex; });
    return order;
}

std::string& FieldText(generation::GenerationParameters& parameters, const Control& control)
{
    switch (control.binding) {
        case Binding::General: return parameters.General(control.row);
        case Binding::Min: return parameters.Coefficient(control.row).min;
        case Binding::Max: return parameters.Coefficient(control.row).max;
        case Binding::None: break;
    }
    throw std::invalid_argument(control.name + " is not a field");
}

Box WindowBox(const Control& control)
{
    if (control.parent.empty()) return control.box;
    const Box& frame = Find(control.parent).box;
    return {frame.left + control.box.left, frame.top + control.box.top, control.box.width, control.box.height};
}

int ToPixels(int twips, int dpi)
{
    const long long scaled = static_cast<long long>(twips) * dpi;
    const long long half = kTwipsPerInch / 2;
    return static_cast<int>(scaled >= 0 ? (scaled + half) / kTwipsPerInch : -((-scaled + half) / kTwipsPerInch));
}

Box ToPixels(const Box& twips, int dpi)
{
    return {ToPixels(twips.left, dpi), ToPixels(twips.top, dpi), ToPixels(twips.width, dpi),
            ToPixels(twips.height, dpi)};
}

std::string FailureReportText(std::string_view kind, std::string_view message)
{
    std::string text;
    text.reserve(kind.size() + message.size() + kUnchangedAdvice.size() + 4);
    text.append(kind).append("\n\n").append(message).append("\n\n").append(kUnchangedAdvice);
    return text;
}

generation::RunOutcome BrokenTextOutcome(const Control& field)
{
    return {std::string(generation::TextFailure::kKind),
            "The field \"" + field.accessibleName +
                "\" holds a broken character, which the file cannot hold. Retype the field's text.",
            {}};
}

std::string WritesText(std::string_view where) { return "Writes " + std::string(where); }

std::string WhereAPressWrites()
{
    try {
        return WritesText(generation::PathText(generation::PopulationListPath(generation::CurrentDirectory())));
    } catch (const std::exception&) {
        // A press would fail and say why; until then, name the file alone.
        return WritesText(generation::PathText(generation::PopulationListPath({})) +
                          " under the current folder, which cannot be determined now");
    }
}

}  // namespace form
