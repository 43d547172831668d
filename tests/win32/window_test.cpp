// The real Win32 window, created in this process as the program creates it,
// checked against the layout written out by hand in expected_form.h: the
// window's kind, each control's class, caption and pixel box, the keyboard
// order, and that every caption fits its box in the window's font; and that
// fields keep pasted text on one line and hand it on as UTF-8. With
// --at-dpi=N it all runs again in a child process started at N dots per inch
// (Wine's LogPixels setting, read when a process starts; Wine 10 gives the
// monitor the value it had when its server started, so CTest runs these in a
// prefix of their own: at_dpi.sh). With --windows7
// the window finds none of the calls that came after Windows 7, as there,
// and must look the same through their fallbacks.
#include <windows.h>
#include <commctrl.h>
#include <initguid.h>
#include <oleacc.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "generation/platform/utf16.h"
#include "support/expected_form.h"
#include "support/import_patch.h"
#include "win32/population_window.h"
#include "win32/system_calls.h"

namespace {

using expected_form::Kind;

// A length in pixels at 96 DPI scaled to `dpi`, rounded half up.
int Scaled(int pixels, int dpi) { return (2 * pixels * dpi + 96) / 192; }

std::wstring WideText(HWND control)
{
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(::GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
    return text;
}

std::string Narrowed(const std::wstring& text)
{
    bool valid = false;
    std::string utf8 = generation::Utf8(text, &valid);
    EXPECT_TRUE(valid);
    return utf8;
}

std::string TextOf(HWND control) { return Narrowed(WideText(control)); }

std::string ClassOf(HWND control)
{
    wchar_t name[64] = {};
    ::GetClassNameW(control, name, 64);
    return Narrowed(name);
}

void Pump()
{
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
}

// Tells the window that it moved to a monitor of another DPI, as Windows
// does (Wine has one DPI for all monitors and never does).
void ChangeDpi(HWND window, int dpi)
{
    RECT frame{};
    ::GetWindowRect(window, &frame);
    ::SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&frame));
}

// The system's store of texts for screen readers, as the window finds it
// through its import of CoCreateInstance: it records each text set on a
// control, by its handle and kind ("name", "description").
struct RecordedTexts : IAccPropServices {
    int created = 0, calls = 0;
    std::map<std::pair<HWND, std::string>, std::string> texts;
    HRESULT WINAPI SetHwndPropStr(HWND control, DWORD object, DWORD child, MSAAPROPID id, LPCWSTR text) override
    {
        ++calls;
        const bool self = object == static_cast<DWORD>(OBJID_CLIENT) && child == CHILDID_SELF;
        const char* kind = id == PROPID_ACC_NAME ? "name" : id == PROPID_ACC_DESCRIPTION ? "description" : "?";
        texts[{control, self ? kind : "?"}] = Narrowed(text);
        return S_OK;
    }
    HRESULT WINAPI QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG WINAPI AddRef() override { return 1; }
    ULONG WINAPI Release() override { return 1; }
    HRESULT WINAPI SetPropValue(const BYTE*, DWORD, MSAAPROPID, VARIANT) override { return E_NOTIMPL; }
    HRESULT WINAPI SetPropServer(const BYTE*, DWORD, const MSAAPROPID*, int, IAccPropServer*, AnnoScope) override { return E_NOTIMPL; }
    HRESULT WINAPI ClearProps(const BYTE*, DWORD, const MSAAPROPID*, int) override { return E_NOTIMPL; }
    HRESULT WINAPI SetHwndProp(HWND, DWORD, DWORD, MSAAPROPID, VARIANT) override { return E_NOTIMPL; }
    HRESULT WINAPI SetHwndPropServer(HWND, DWORD, DWORD, const MSAAPROPID*, int, IAccPropServer*, AnnoScope) override { return E_NOTIMPL; }
    HRESULT WINAPI ClearHwndProps(HWND, DWORD, DWORD, const MSAAPROPID*, int) override { return E_NOTIMPL; }
    HRESULT WINAPI ComposeHwndIdentityString(HWND, DWORD, DWORD, BYTE**, DWORD*) override { return E_NOTIMPL; }
    HRESULT WINAPI DecomposeHwndIdentityString(const BYTE*, DWORD, HWND*, DWORD*, DWORD*) override { return E_NOTIMPL; }
    HRESULT WINAPI SetHmenuProp(HMENU, DWORD, MSAAPROPID, VARIANT) override { return E_NOTIMPL; }
    HRESULT WINAPI SetHmenuPropStr(HMENU, DWORD, MSAAPROPID, LPCWSTR) override { return E_NOTIMPL; }
    HRESULT WINAPI SetHmenuPropServer(HMENU, DWORD, const MSAAPROPID*, int, IAccPropServer*, AnnoScope) override { return E_NOTIMPL; }
    HRESULT WINAPI ClearHmenuProps(HMENU, DWORD, const MSAAPROPID*, int) override { return E_NOTIMPL; }
    HRESULT WINAPI ComposeHmenuIdentityString(HMENU, DWORD, BYTE**, DWORD*) override { return E_NOTIMPL; }
    HRESULT WINAPI DecomposeHmenuIdentityString(const BYTE*, DWORD, HMENU*, DWORD*) override { return E_NOTIMPL; }
} recorded;

HRESULT WINAPI RecordingCoCreateInstance(REFCLSID id, IUnknown*, DWORD, REFIID wanted, void** object)
{
    if (id != CLSID_AccPropServices || wanted != IID_IAccPropServices) return REGDB_E_CLASSNOTREG;
    ++recorded.created;
    *object = static_cast<IAccPropServices*>(&recorded);
    return S_OK;
}

// One window for all the tests, left to the end of the process: Wine with
// no window manager waits two seconds for each window it takes down.
class Window : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        static const ImportPatch coCreateInstance("CoCreateInstance",
                                                  reinterpret_cast<const void*>(&RecordingCoCreateInstance));
        window_ = win32::CreatePopulationWindow(::GetModuleHandleW(nullptr));
        if (window_ == nullptr) return;
        ::ShowWindow(window_, SW_SHOWNORMAL);
        ::SetForegroundWindow(window_);
        Pump();
    }

    void SetUp() override
    {
        ASSERT_NE(window_, nullptr) << "no window; the tests need Wine on an X display (the fixture wine_display)";
        const char* expected = std::getenv("POPGEN_EXPECT_DPI");
        dpi_ = static_cast<int>(::GetDpiForWindow(window_));
        ASSERT_EQ(dpi_, expected != nullptr ? std::atoi(expected) : 96) << "not the DPI this run was started for";
        // Larger text (POPGEN_MESSAGE_FONT pixels at 96 DPI, against the
        // standard 12) lays the form out as at a higher DPI.
        const char* text = std::getenv("POPGEN_MESSAGE_FONT");
        layoutDpi_ = text != nullptr ? dpi_ * std::atoi(text) / 12 : dpi_;
    }

    HWND Control(std::string_view name) const
    {
        HWND control = win32::FindControl(window_, name);
        EXPECT_NE(control, nullptr) << "no control " << name;
        return control;
    }

    static inline HWND window_ = nullptr;
    int dpi_ = 96;
    int layoutDpi_ = 96;
};

// A sizable top-level window with minimise, maximise and close, not a dialog
// or tool window; with visual styles (the button's window procedure is that
// of common controls 6, not user32's) and per-monitor DPI awareness.
TEST_F(Window, IsAnOrdinaryTopLevelWindowAsItsManifestSays)
{
    const auto style = static_cast<DWORD>(::GetWindowLongPtrW(window_, GWL_STYLE));
    const auto exStyle = static_cast<DWORD>(::GetWindowLongPtrW(window_, GWL_EXSTYLE));
    const DWORD wanted = WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
    EXPECT_EQ(style & wanted, wanted) << std::hex << style;
    EXPECT_EQ(style & (WS_CHILD | WS_POPUP | DS_MODALFRAME), 0u) << std::hex << style;
    EXPECT_EQ(exStyle & (WS_EX_TOOLWINDOW | WS_EX_DLGMODALFRAME | WS_EX_TOPMOST | WS_EX_CONTEXTHELP), 0u)
        << std::hex << exStyle;
    EXPECT_NE(ClassOf(window_), "#32770") << "a dialog";
    EXPECT_EQ(::GetWindow(window_, GW_OWNER), nullptr);
    EXPECT_EQ(TextOf(window_), expected_form::kCaption);
    RECT client{};
    ::GetClientRect(window_, &client);
    EXPECT_EQ(client.right, Scaled(expected_form::kClientWidth, dpi_));
    EXPECT_EQ(client.bottom, Scaled(expected_form::kClientHeight, dpi_));

    HMODULE owner = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCWSTR>(::GetWindowLongPtrW(Control("Command1"), GWLP_WNDPROC)), &owner);
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(owner, path, MAX_PATH);
    EXPECT_NE(Narrowed(path).find("common-controls_6595b64144ccf1df_6."), std::string::npos) << Narrowed(path);
    EXPECT_EQ(::GetAwarenessFromDpiAwarenessContext(::GetWindowDpiAwarenessContext(window_)),
              DPI_AWARENESS_PER_MONITOR_AWARE);
}

// Screen readers get the fields' names and the button's description once a
// client first asks for an object (WM_GETOBJECT, here to a label), each on
// its own control; another request adds nothing.
TEST_F(Window, AccessibleTextsReachTheSystemWhenAClientFirstAsks)
{
    EXPECT_EQ(recorded.created, 0) << "made before any client asked";
    // The tooltip, shown first (it asks for its text), keeps nothing from being set at the first request.
    HWND tooltip = nullptr;
    do tooltip = ::FindWindowExW(nullptr, tooltip, TOOLTIPS_CLASSW, nullptr);
    while (tooltip != nullptr && ::GetWindow(tooltip, GW_OWNER) != window_);
    NMTTDISPINFOW shown{{tooltip, 0, TTN_GETDISPINFOW}, {}, {}, {}, {}, {}};
    ::SendMessageW(window_, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&shown));
    ::SendMessageW(Control("Label3(12)"), WM_GETOBJECT, 0, static_cast<LPARAM>(OBJID_CLIENT));
    EXPECT_EQ(recorded.created, 1);
    for (const expected_form::Control& field : expected_form::kControls) {
        if (field.kind != Kind::Field) continue;
        std::string name, column;  // the label on its row; the heading above it
        for (const expected_form::Control& label : expected_form::kControls) {
            if (label.kind == Kind::Label && label.parent == field.parent && label.top == field.top) name = label.text;
            if (label.kind == Kind::Label && label.parent == field.parent && label.left == field.left) column = label.text;
        }
        EXPECT_EQ(recorded.texts[std::pair(Control(field.name), "name")], column.empty() ? name : name + " " + column);
    }
    const std::string description = recorded.texts[std::pair(Control("Command1"), "description")];
    EXPECT_TRUE(description.starts_with("Writes ") && description.ends_with("\\files\\game_list.txt")) << description;
    EXPECT_EQ(recorded.texts.size(), expected_form::kFocusOrder.size());  // the fields' names, the button's description
    const int calls = recorded.calls;
    ::SendMessageW(window_, WM_GETOBJECT, 0, static_cast<LPARAM>(OBJID_CLIENT));
    EXPECT_EQ(recorded.calls, calls);
    EXPECT_EQ(recorded.created, 1);

    // The description follows the current folder, from one activation to the next.
    wchar_t temp[MAX_PATH] = {}, previous[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    ::GetCurrentDirectoryW(MAX_PATH, previous);
    ::SetCurrentDirectoryW(temp);
    ::SendMessageW(window_, WM_ACTIVATE, WA_ACTIVE, 0);
    ::SetCurrentDirectoryW(previous);
    EXPECT_EQ(recorded.texts[std::pair(Control("Command1"), "description")],
              "Writes " + Narrowed(temp) + "files\\game_list.txt");
}

// Enlarged, the window keeps every control where it was; moved to another
// DPI, it places them anew, in a font for that DPI.
TEST_F(Window, EveryControlHasItsClassCaptionAndBoxAlsoWhenEnlargedOrRescaled)
{
    int children = 0;
    ::EnumChildWindows(window_, [](HWND, LPARAM count) CALLBACK -> BOOL { return ++*reinterpret_cast<int*>(count), TRUE; },
                       reinterpret_cast<LPARAM>(&children));
    EXPECT_EQ(children, static_cast<int>(expected_form::kControls.size()));

    RECT original{};
    ::GetWindowRect(window_, &original);
    int shownFontHeight = 0;
    for (std::string_view state : {"as shown", "enlarged", "at 192 DPI"}) {
        const int dpi = state == "at 192 DPI" ? 192 : dpi_;
        if (state == "enlarged") {
            ::SetWindowPos(window_, nullptr, 0, 0, Scaled(700, dpi_), Scaled(700, dpi_), SWP_NOMOVE | SWP_NOZORDER);
        }
        if (dpi != dpi_) ChangeDpi(window_, dpi);
        Pump();
        // The font grows with the DPI (shrunk at most a little to fit).
        LOGFONTW font{};
        ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(Control("Command1"), WM_GETFONT, 0, 0)), sizeof font, &font);
        if (state == "as shown") shownFontHeight = std::abs(font.lfHeight);
        EXPECT_GE(std::abs(font.lfHeight), shownFontHeight * dpi / dpi_) << "the font at " << dpi << " DPI";
        for (const expected_form::Control& expected : expected_form::kControls) {
            SCOPED_TRACE(std::string(expected.name) + ", window " + std::string(state));
            HWND control = Control(expected.name);
            if (control == nullptr) continue;
            const auto style = static_cast<DWORD>(::GetWindowLongPtrW(control, GWL_STYLE));
            switch (expected.kind) {
                case Kind::Frame: EXPECT_EQ(style & BS_TYPEMASK, DWORD{BS_GROUPBOX}); break;
                case Kind::Button: EXPECT_EQ(style & BS_TYPEMASK, DWORD{BS_PUSHBUTTON}) << "default button"; break;
                case Kind::Label:
                    EXPECT_EQ(style & SS_NOPREFIX, DWORD{SS_NOPREFIX}) << "'&' would hide";
                    EXPECT_EQ(style & SS_TYPEMASK,
                              DWORD(expected.alignment == expected_form::Alignment::Center ? SS_CENTER : SS_LEFT));
                    break;
                case Kind::Field:
                    EXPECT_EQ(style & (ES_MULTILINE | ES_READONLY | ES_NUMBER | ES_PASSWORD), 0u);
                    EXPECT_GE(::SendMessageW(control, EM_GETLIMITTEXT, 0, 0), 0x7FFFFFFE) << "a length limit";
                    break;
            }
            constexpr const char* kClasses[] = {"Button", "Static", "Edit", "Button"};
            EXPECT_EQ(ClassOf(control), kClasses[static_cast<int>(expected.kind)]);
            EXPECT_EQ(TextOf(control), expected.text);

            int left = expected.left;
            int top = expected.top;
            for (const expected_form::Control& frame : expected_form::kControls) {
                if (frame.name == expected.parent) left += frame.left, top += frame.top;
            }
            RECT box{};
            ::GetWindowRect(control, &box);
            ::MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&box), 2);
            EXPECT_EQ(box.left, Scaled(left, dpi));
            EXPECT_EQ(box.top, Scaled(top, dpi));
            EXPECT_EQ(box.right - box.left, Scaled(expected.width, dpi));
            EXPECT_EQ(box.bottom - box.top, Scaled(expected.height, dpi));
        }
    }
    ChangeDpi(window_, dpi_);
    ::SetWindowPos(window_, nullptr, 0, 0, original.right - original.left, original.bottom - original.top,
                   SWP_NOMOVE | SWP_NOZORDER);
}

// With a message font larger than the standard 9 points, the whole form
// grows by its ratio to the standard: the client area and each box, within
// a pixel; and so does the text.
TEST_F(Window, GrowsWithTheTextSizeAsked)
{
    if (layoutDpi_ == dpi_) GTEST_SKIP() << "the standard text size, whose boxes the other tests check";
    RECT client{}, frame{};
    ::GetClientRect(window_, &client);
    ::GetWindowRect(window_, &frame);
    MONITORINFO monitor{sizeof monitor, {}, {}, 0};
    ::GetMonitorInfoW(::MonitorFromWindow(window_, MONITOR_DEFAULTTONEAREST), &monitor);
    const LONG room = monitor.rcWork.bottom - monitor.rcWork.top;
    if (Scaled(expected_form::kClientHeight, layoutDpi_) + (frame.bottom - frame.top) - client.bottom > room) {
        // Too large for the screen: the window grows as far as it fits, a
        // DPI step (4.6 px) and a rounded pixel short of the work area's
        // height at most.
        EXPECT_LE(frame.bottom - frame.top, room);
        EXPECT_GE(frame.bottom - frame.top, room - 5);
        EXPECT_NEAR(client.right * expected_form::kClientHeight, client.bottom * expected_form::kClientWidth,
                    2 * expected_form::kClientHeight) << "out of proportion";
        return;
    }
    EXPECT_NEAR(client.right, Scaled(expected_form::kClientWidth, layoutDpi_), 1);
    EXPECT_NEAR(client.bottom, Scaled(expected_form::kClientHeight, layoutDpi_), 1);
    for (const expected_form::Control& expected : expected_form::kControls) {
        int left = expected.left, top = expected.top;
        for (const expected_form::Control& frame : expected_form::kControls) {
            if (frame.name == expected.parent) left += frame.left, top += frame.top;
        }
        RECT box{};
        ::GetWindowRect(Control(expected.name), &box);
        ::MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&box), 2);
        const int wanted[] = {left, top, expected.width, expected.height};
        const LONG found[] = {box.left, box.top, box.right - box.left, box.bottom - box.top};
        for (int i = 0; i < 4; ++i) EXPECT_NEAR(found[i], Scaled(wanted[i], layoutDpi_), 1) << expected.name;
    }
    // Moved to a monitor (here of the same DPI), it is placed anew just so.
    RECT before{}, after{};
    ::GetWindowRect(Control("Command1"), &before);
    ChangeDpi(window_, dpi_);
    ::GetWindowRect(Control("Command1"), &after);
    EXPECT_TRUE(::EqualRect(&before, &after)) << "the button, after a change of DPI";
    LOGFONTW font{};
    ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(Control("Command1"), WM_GETFONT, 0, 0)), sizeof font, &font);
    EXPECT_GT(-font.lfHeight, Scaled(11, dpi_)) << "the text itself no larger";
}

TEST_F(Window, FocusStartsInTheRookMinAndTabFollowsTheKeyboardOrder)
{
    const auto& order = expected_form::kFocusOrder;
    EXPECT_EQ(::GetFocus(), Control(order.front()));
    for (bool backwards : {false, true}) {
        HWND control = Control(order.front());
        for (std::size_t step = 1; step <= order.size(); ++step) {
            control = ::GetNextDlgTabItem(window_, control, backwards);
            const std::size_t place = (backwards ? order.size() - step : step) % order.size();
            EXPECT_EQ(control, Control(order[place])) << (backwards ? "Shift+Tab" : "Tab") << " step " << step;
        }
    }
}

TEST_F(Window, EveryCaptionFitsItsBoxInTheWindowFont)
{
    // A message font too wide for any size to fit: the window stops at the
    // smallest size, 8 px at 96 DPI and 12 at 144.
    if (std::getenv("POPGEN_WIDE_MESSAGE_FONT") != nullptr) {
        LOGFONTW font{};
        ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(Control("Command1"), WM_GETFONT, 0, 0)), sizeof font, &font);
        EXPECT_EQ(-font.lfHeight, dpi_ == 144 ? 12 : 8);
        return;
    }
    // Room that a control's own drawing takes from its caption's width, at
    // 96 DPI: a frame's corner, a button's edges, a field's border.
    constexpr int kMargins[] = {16, 0, 6, 8};  // frame, label, field, button
    HDC dc = ::GetDC(window_);
    for (const expected_form::Control& expected : expected_form::kControls) {
        HWND control = Control(expected.name);
        auto font = reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0));
        ASSERT_NE(font, nullptr) << expected.name << " has the system font, not the window's";
        HGDIOBJ previous = ::SelectObject(dc, font);
        const std::wstring text = WideText(control);
        SIZE size{};
        ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
        TEXTMETRICW metrics{};
        ::GetTextMetricsW(dc, &metrics);
        ::SelectObject(dc, previous);
        RECT client{};
        ::GetClientRect(control, &client);
        EXPECT_LE(size.cx + Scaled(kMargins[static_cast<int>(expected.kind)], layoutDpi_), client.right)
            << expected.name << " \"" << expected.text << "\" is " << size.cx << " px wide";
        EXPECT_LE(metrics.tmHeight, Scaled(expected.height, layoutDpi_)) << expected.name << ": font too tall";
    }
    ::ReleaseDC(window_, dc);
}

// What a press that fails shows, seen from inside the report as it opens.
struct Report {
    HWND owner = nullptr;
    bool ownerEnabled = true;
    std::string caption, text;
    bool errorIcon = false;
};
Report seen;
int reportsSeen = 0;
HWND reportOwner = nullptr;

LRESULT CALLBACK WatchReport(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_ACTIVATE && ClassOf(reinterpret_cast<HWND>(wParam)) == "#32770") {
        auto box = reinterpret_cast<HWND>(wParam);
        ++reportsSeen;
        seen = {::GetWindow(box, GW_OWNER), ::IsWindowEnabled(reportOwner) != FALSE, TextOf(box), {}, false};
        ::EnumChildWindows(box, [](HWND child, LPARAM) CALLBACK -> BOOL {
            const auto style = ::GetWindowLongPtrW(child, GWL_STYLE);
            if (ClassOf(child) == "Static" && (style & SS_TYPEMASK) == SS_ICON) {
                seen.errorIcon = reinterpret_cast<HICON>(::SendMessageW(child, STM_GETICON, 0, 0)) ==
                                 ::LoadIconW(nullptr, IDI_ERROR);
            } else if (ClassOf(child) == "Static" && seen.text.empty()) {
                seen.text = TextOf(child);
            }
            return TRUE;
        }, 0);
        ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

// While it lasts, the current folder is one without a folder "files", where
// every press fails and shows its report, which is dismissed at once.
class PressesFail {
public:
    explicit PressesFail(HWND window)
    {
        wchar_t temp[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, temp);
        folder_ = temp + std::wstring(L"popgen-no-files-") + std::to_wstring(::GetCurrentProcessId());
        ::GetCurrentDirectoryW(MAX_PATH, previous_);
        EXPECT_TRUE(::CreateDirectoryW(folder_.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS);
        EXPECT_TRUE(::SetCurrentDirectoryW(folder_.c_str()));
        reportOwner = window;
        reportsSeen = 0;
        hook_ = ::SetWindowsHookExW(WH_CBT, WatchReport, nullptr, ::GetCurrentThreadId());
    }
    ~PressesFail()
    {
        ::UnhookWindowsHookEx(hook_);
        ::SetCurrentDirectoryW(previous_);
        ::RemoveDirectoryW(folder_.c_str());
    }
    PressesFail(const PressesFail&) = delete;
    PressesFail& operator=(const PressesFail&) = delete;

private:
    std::wstring folder_;
    wchar_t previous_[MAX_PATH] = {};
    HHOOK hook_ = nullptr;
};

// With no folder "files" the press fails: an error box captioned as the
// window, owned by it and modal over it; afterwards the fields are as typed.
TEST_F(Window, AFailedPressShowsAModalErrorBoxOwnedByTheWindow)
{
    ::SetWindowTextW(Control("text3(12)"), L"3 players");
    {
        const PressesFail fail(window_);
        ::SendMessageW(Control("Command1"), BM_CLICK, 0, 0);
    }
    EXPECT_EQ(reportsSeen, 1);
    EXPECT_EQ(seen.owner, window_);
    EXPECT_FALSE(seen.ownerEnabled) << "not modal";
    EXPECT_EQ(seen.caption, expected_form::kCaption);
    EXPECT_EQ(seen.text.rfind("File error", 0), 0u) << seen.text;
    EXPECT_TRUE(seen.errorIcon);
    EXPECT_TRUE(::IsWindowVisible(window_));
    EXPECT_EQ(TextOf(Control("text3(12)")), "3 players");
    // Half a surrogate pair is refused as such, not written as U+FFFD.
    ::SetWindowTextW(Control("text3(12)"), L"3\xD800");
    const PressesFail fail(window_);
    ::SendMessageW(Control("Command1"), BM_CLICK, 0, 0);
    EXPECT_EQ(seen.text.rfind("Text that cannot be written", 0), 0u) << seen.text;
    ::SetWindowTextW(Control("text3(12)"), L"30");
}

// The button's tooltip names the list that a press writes, worked out as it
// shows, so it follows the current folder. Wine keeps no accessible
// description (SetHwndPropStr answers E_NOTIMPL), so only the tooltip is read.
TEST_F(Window, TheButtonsTooltipNamesTheListAPressWrites)
{
    HWND tooltip = nullptr;
    do tooltip = ::FindWindowExW(nullptr, tooltip, TOOLTIPS_CLASSW, nullptr);
    while (tooltip != nullptr && ::GetWindow(tooltip, GW_OWNER) != window_);
    ASSERT_NE(tooltip, nullptr) << "the window has no tooltip";

    // Deeper than 260 characters, where the standard library's current_path()
    // gives a wrong path of two characters and no error.
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    std::vector<std::wstring> folders{temp + (L"popgen-tip-" + std::to_wstring(::GetCurrentProcessId()))};
    while (folders.back().size() <= 260) folders.push_back(folders.back() + L"\\one folder deeper");
    const std::wstring folder = folders.back();
    folders.push_back(folder + L"\\files");
    const std::wstring list = folder + L"\\files\\game_list.txt";
    for (const std::wstring& made : folders) ::CreateDirectoryW((LR"(\\?\)" + made).c_str(), nullptr);
    wchar_t previous[MAX_PATH] = {};
    ::GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(::SetCurrentDirectoryW(folder.c_str()));

    // A window wider than a third of its monitor makes the tooltip as wide.
    RECT original{};
    ::GetWindowRect(window_, &original);
    ::SetWindowPos(window_, nullptr, 0, 0, Scaled(800, dpi_), original.bottom - original.top, SWP_NOMOVE | SWP_NOZORDER);
    wchar_t text[1024] = {};
    TTTOOLINFOW tool{sizeof tool, 0, window_, reinterpret_cast<UINT_PTR>(Control("Command1")), {}, nullptr, text,
                     0, nullptr};
    ::SendMessageW(tooltip, TTM_GETTEXTW, std::size(text), reinterpret_cast<LPARAM>(&tool));
    std::wstring shown = text;  // on lines no wider than a part of the screen
    EXPECT_NE(shown.find(L'\n'), std::wstring::npos) << "a long path on one line";
    std::erase(shown, L'\n');
    EXPECT_EQ(Narrowed(shown), "Writes " + Narrowed(list));
    // As wide as the window, or a third of its monitor's work area where that
    // is wider; each line fits in the tooltip's font and could take no more.
    MONITORINFO monitor{sizeof monitor, {}, {}, 0};
    ::GetMonitorInfoW(::MonitorFromWindow(window_, MONITOR_DEFAULTTONEAREST), &monitor);
    RECT frame{};
    ::GetWindowRect(window_, &frame);
    const LONG width = std::max(frame.right - frame.left, (monitor.rcWork.right - monitor.rcWork.left) / 3);
    EXPECT_EQ(::SendMessageW(tooltip, TTM_GETMAXTIPWIDTH, 0, 0), width);
    const HDC dc = ::GetDC(tooltip);
    const auto font = reinterpret_cast<HGDIOBJ>(::SendMessageW(tooltip, WM_GETFONT, 0, 0));
    const HGDIOBJ selected = font != nullptr ? ::SelectObject(dc, font) : nullptr;
    const auto fits = [dc, width](const std::wstring& line) {
        SIZE size{};
        return ::GetTextExtentPoint32W(dc, line.data(), static_cast<int>(line.size()), &size) && size.cx <= width;
    };
    const std::wstring wrong = expected_form::MisbrokenTooltipLine(std::wstring(text), fits);
    if (selected != nullptr) ::SelectObject(dc, selected);
    ::ReleaseDC(tooltip, dc);
    EXPECT_EQ(Narrowed(wrong), "") << "a line too wide, or one that could take more, at " << width << " px";
    reportOwner = window_;
    reportsSeen = 0;
    const HHOOK hook = ::SetWindowsHookExW(WH_CBT, WatchReport, nullptr, ::GetCurrentThreadId());
    ::SendMessageW(Control("Command1"), BM_CLICK, 0, 0);
    ::UnhookWindowsHookEx(hook);
    EXPECT_EQ(reportsSeen, 0) << seen.text;
    EXPECT_TRUE(::DeleteFileW((LR"(\\?\)" + list).c_str())) << "the press wrote elsewhere";

    ::MoveWindow(window_, original.left, original.top, original.right - original.left, original.bottom - original.top, 0);
    ::SetCurrentDirectoryW(previous);
    for (auto made = folders.rbegin(); made != folders.rend(); ++made) ::RemoveDirectoryW((LR"(\\?\)" + *made).c_str());
}

// Enter held down on the focused button: the key's first press presses it,
// the keyboard's repeats (bit 30 of the key message) do not.
TEST_F(Window, EnterHeldDownOnTheButtonPressesItOnce)
{
    HWND button = Control("Command1");
    ::SetFocus(button);
    {
        const PressesFail fail(window_);
        for (const LPARAM repeated : {0L, 1L << 30, 1L << 30, 1L << 30}) {
            MSG message{button, WM_KEYDOWN, VK_RETURN, 1 | repeated, 0, {}};
            if (!win32::HandleKeyboard(window_, message)) ::DispatchMessageW(&message);
        }
        MSG release{button, WM_KEYUP, VK_RETURN, 1 | (3L << 30), 0, {}};
        if (!win32::HandleKeyboard(window_, release)) ::DispatchMessageW(&release);
        Pump();
    }
    EXPECT_EQ(reportsSeen, 1);
    ::SetFocus(Control(expected_form::kFocusOrder.front()));
}

TEST_F(Window, PastedLineBreaksStayOutOfAField)
{
    const std::wstring pasted = L"12\r\n3\n4";
    ASSERT_TRUE(::OpenClipboard(window_));
    ::EmptyClipboard();
    HGLOBAL data = ::GlobalAlloc(GMEM_MOVEABLE, (pasted.size() + 1) * sizeof(wchar_t));
    std::copy_n(pasted.c_str(), pasted.size() + 1, static_cast<wchar_t*>(::GlobalLock(data)));
    ::GlobalUnlock(data);
    ::SetClipboardData(CF_UNICODETEXT, data);
    ::CloseClipboard();

    HWND field = Control("Text2(9)");
    ::SendMessageW(field, EM_SETSEL, 0, -1);
    ::SendMessageW(field, WM_PASTE, 0, 0);
    EXPECT_EQ(TextOf(field), "1234");

    // A block whose text has no terminating zero is read no further than
    // its size in bytes: here the first three characters, as if the zero
    // were missing.
    {
        const ImportPatch size("GlobalSize", reinterpret_cast<const void*>(+[](HGLOBAL) -> SIZE_T { return 6; }));
        ASSERT_TRUE(size.Applied());
        ::SendMessageW(field, EM_SETSEL, 0, -1);
        ::SendMessageW(field, WM_PASTE, 0, 0);
    }
    EXPECT_EQ(TextOf(field), "12");
    ::SetWindowTextW(field, L"150");
}

// Every character both ways; text that is not valid (a broken surrogate, a
// stray byte) comes out with U+FFFD in its place and is said to be invalid.
TEST(TextConversion, KeepsEveryCharacterAndMarksInvalidText)
{
    const std::wstring text = L"a\u00e9\u20ac\U0001D11E";
    bool valid = false;
    EXPECT_EQ(generation::Utf8(text, &valid), "a\xC3\xA9\xE2\x82\xAC\xF0\x9D\x84\x9E");
    EXPECT_TRUE(valid);
    EXPECT_EQ(generation::Utf16("a\xC3\xA9\xE2\x82\xAC\xF0\x9D\x84\x9E", &valid), text);
    EXPECT_TRUE(valid);
    EXPECT_EQ(generation::Utf8(std::wstring(L"1\xD834" L"2"), &valid), "1\xEF\xBF\xBD" "2");
    EXPECT_FALSE(valid);
    EXPECT_EQ(generation::Utf16("1\xFF" "2", &valid), L"1\xFFFD" L"2");
    EXPECT_FALSE(valid);
}

// Runs this program again, without arguments, at `dpi` dots per inch; the
// setting is put back afterwards.
int RunAtDpi(int dpi, bool windows7)
{
    HKEY key = nullptr;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                          nullptr) != ERROR_SUCCESS) {
        return 1;
    }
    DWORD previous = 0;
    DWORD size = sizeof previous;
    const bool had = ::RegQueryValueExW(key, L"LogPixels", nullptr, nullptr, reinterpret_cast<BYTE*>(&previous),
                                        &size) == ERROR_SUCCESS;
    const auto value = static_cast<DWORD>(dpi);
    ::RegSetValueExW(key, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    ::SetEnvironmentVariableW(L"POPGEN_EXPECT_DPI", std::to_wstring(dpi).c_str());

    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring commandLine = L"\"" + std::wstring(self) + L"\"" + (windows7 ? L" --windows7" : L"");
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    DWORD status = 1;
    if (::CreateProcessW(self, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        ::WaitForSingleObject(process.hProcess, INFINITE);
        ::GetExitCodeProcess(process.hProcess, &status);
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
    }
    if (had) {
        ::RegSetValueExW(key, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&previous), sizeof previous);
    } else {
        ::RegDeleteValueW(key, L"LogPixels");
    }
    ::RegCloseKey(key);
    return static_cast<int>(status);
}

}  // namespace

int main(int argc, char** argv)
{
    constexpr std::string_view kAtDpi = "--at-dpi=";
    const bool windows7 = argc >= 2 && std::string_view(argv[argc - 1]) == "--windows7";
    if (windows7) {
        win32::system_calls::PretendWindows7();
        --argc;
    }
    if (argc == 2 && std::string_view(argv[1]).starts_with(kAtDpi)) {
        // While that run lasts, the prefix's message font is drawn about
        // three times as wide as its face (POPGEN_WIDE_MESSAGE_FONT), or is
        // POPGEN_MESSAGE_FONT pixels tall at 96 DPI.
        const wchar_t* key = L"Control Panel\\Desktop\\WindowMetrics";
        LOGFONTW font{};
        DWORD size = sizeof font;
        const char* height = std::getenv("POPGEN_MESSAGE_FONT");
        const bool widen =
            (std::getenv("POPGEN_WIDE_MESSAGE_FONT") != nullptr || height != nullptr) &&
            !::RegGetValueW(HKEY_CURRENT_USER, key, L"MessageFont", RRF_RT_REG_BINARY, nullptr, &font, &size);
        LOGFONTW wide = font;
        if (height != nullptr) wide.lfHeight = -std::atoi(height);
        else wide.lfWidth = 3 * std::abs(font.lfHeight) / 2;
        if (widen) ::RegSetKeyValueW(HKEY_CURRENT_USER, key, L"MessageFont", REG_BINARY, &wide, sizeof wide);
        const int status = RunAtDpi(std::atoi(argv[1] + kAtDpi.size()), windows7);
        if (widen) ::RegSetKeyValueW(HKEY_CURRENT_USER, key, L"MessageFont", REG_BINARY, &font, sizeof font);
        return status;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
