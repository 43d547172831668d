// The real Win32 window, created in this process as the program creates it,
// checked against the layout written out by hand in expected_form.h: the
// window's kind and client area, each control's class, caption and pixel
// box, the keyboard order and first focus, and that every caption fits its
// box in the window's font; and that fields keep pasted text on one line and
// hand it on as UTF-8. Run with --at-dpi=N, the same checks run in a child
// process that starts at N dots per inch (Wine's LogPixels setting).
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "support/expected_form.h"
#include "win32/population_window.h"

namespace {

using expected_form::Kind;

// The DPI the window should have: 96 unless the parent process said otherwise.
int ExpectedDpi()
{
    const char* dpi = std::getenv("POPGEN_EXPECT_DPI");
    return dpi != nullptr ? std::atoi(dpi) : 96;
}

// A length in pixels at 96 DPI scaled to `dpi`, rounded half up.
int Scaled(int pixels, int dpi) { return (2 * pixels * dpi + 96) / 192; }

std::string Narrowed(const std::wstring& text)
{
    std::string utf8;
    EXPECT_TRUE(win32::Narrow(text, utf8));
    return utf8;
}

std::string ClassOf(HWND control)
{
    wchar_t name[64] = {};
    ::GetClassNameW(control, name, 64);
    return Narrowed(name);
}

std::string TextOf(HWND control)
{
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(::GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
    return Narrowed(text);
}

RECT BoxInClientArea(HWND control)
{
    RECT box{};
    ::GetWindowRect(control, &box);
    ::MapWindowPoints(nullptr, ::GetParent(control), reinterpret_cast<POINT*>(&box), 2);
    return box;
}

void Pump()
{
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

// One window for all the tests, left to the end of the process: Wine with
// no window manager waits two seconds for each window it takes down.
class WindowLayout : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        window_ = win32::CreatePopulationWindow(::GetModuleHandleW(nullptr));
        if (window_ == nullptr) return;
        ::ShowWindow(window_, SW_SHOWNORMAL);
        ::SetForegroundWindow(window_);
        Pump();
    }

    void SetUp() override
    {
        ASSERT_NE(window_, nullptr) << "no window (error " << ::GetLastError()
                                    << "); the tests need Wine on an X display: run them through scripts/test-windows";
        dpi_ = static_cast<int>(::GetDpiForWindow(window_));
        ASSERT_EQ(dpi_, ExpectedDpi()) << "the window does not have the DPI this run was started for";
    }

    HWND Control(std::string_view name) const
    {
        HWND control = win32::FindControl(window_, name);
        EXPECT_NE(control, nullptr) << "no control " << name;
        return control;
    }

    static inline HWND window_ = nullptr;
    int dpi_ = 96;
};

TEST_F(WindowLayout, IsASizableTopLevelWindowWithItsCaptionAndClientArea)
{
    const LONG_PTR style = ::GetWindowLongPtrW(window_, GWL_STYLE);
    const LONG_PTR exStyle = ::GetWindowLongPtrW(window_, GWL_EXSTYLE);
    for (LONG_PTR bit : {LONG_PTR{WS_CAPTION}, LONG_PTR{WS_SYSMENU}, LONG_PTR{WS_THICKFRAME}, LONG_PTR{WS_MINIMIZEBOX}, LONG_PTR{WS_MAXIMIZEBOX}}) {
        EXPECT_EQ(style & bit, bit) << "style " << std::hex << style << " lacks " << bit;
    }
    for (LONG_PTR bit : {LONG_PTR{WS_CHILD}, LONG_PTR{WS_POPUP}, LONG_PTR{DS_MODALFRAME}}) EXPECT_EQ(style & bit, 0) << std::hex << bit;
    for (LONG_PTR bit : {LONG_PTR{WS_EX_TOOLWINDOW}, LONG_PTR{WS_EX_DLGMODALFRAME}, LONG_PTR{WS_EX_TOPMOST}, LONG_PTR{WS_EX_CONTEXTHELP}}) {
        EXPECT_EQ(exStyle & bit, 0) << "extended style " << std::hex << exStyle << " has " << bit;
    }
    EXPECT_NE(ClassOf(window_), "#32770") << "a dialog";
    EXPECT_EQ(::GetWindow(window_, GW_OWNER), nullptr);
    EXPECT_EQ(TextOf(window_), expected_form::kCaption);

    RECT client{};
    ::GetClientRect(window_, &client);
    EXPECT_EQ(client.right, Scaled(expected_form::kClientWidth, dpi_));
    EXPECT_EQ(client.bottom, Scaled(expected_form::kClientHeight, dpi_));
}

// The manifest that the program and this test share took effect: visual
// styles (the button's window procedure is that of common controls 6, from
// the side-by-side store, not user32's) and per-monitor DPI awareness.
TEST_F(WindowLayout, RunsWithVisualStylesAndPerMonitorDpiAwareness)
{
    HMODULE owner = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCWSTR>(::GetWindowLongPtrW(Control("Command1"), GWLP_WNDPROC)), &owner);
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(owner, path, MAX_PATH);
    EXPECT_NE(Narrowed(path).find("common-controls_6595b64144ccf1df_6."), std::string::npos) << Narrowed(path);
    EXPECT_EQ(::GetAwarenessFromDpiAwarenessContext(::GetWindowDpiAwarenessContext(window_)),
              DPI_AWARENESS_PER_MONITOR_AWARE);
}

// Enlarged, the window keeps every control where it was.
// Tells the window that it moved to a monitor of another DPI, as Windows
// does (Wine has one DPI for all monitors and never does).
void ChangeDpi(HWND window, int dpi)
{
    RECT frame{};
    ::GetWindowRect(window, &frame);
    ::SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&frame));
}

// Enlarged, the window keeps every control where it was; moved to another
// DPI, it places them anew.
TEST_F(WindowLayout, EveryControlHasItsClassCaptionAndBoxAlsoWhenEnlargedOrRescaled)
{
    int children = 0;
    ::EnumChildWindows(window_, [](HWND, LPARAM count) { return ++*reinterpret_cast<int*>(count), TRUE; },
                       reinterpret_cast<LPARAM>(&children));
    EXPECT_EQ(children, static_cast<int>(expected_form::kControls.size()));

    RECT original{};
    ::GetWindowRect(window_, &original);
    for (std::string_view state : {"as shown", "enlarged", "at 192 DPI"}) {
        int dpi = dpi_;
        if (state == "enlarged") {
            ::SetWindowPos(window_, nullptr, 0, 0, Scaled(700, dpi_), Scaled(700, dpi_), SWP_NOMOVE | SWP_NOZORDER);
        } else if (state == "at 192 DPI") {
            ChangeDpi(window_, dpi = 192);
        }
        Pump();
        for (const expected_form::Control& expected : expected_form::kControls) {
            SCOPED_TRACE(std::string(expected.name) + ", window " + std::string(state));
            HWND control = Control(expected.name);
            if (control == nullptr) continue;
            const LONG_PTR style = ::GetWindowLongPtrW(control, GWL_STYLE);
            switch (expected.kind) {
                case Kind::Frame:
                    EXPECT_EQ(ClassOf(control), "Button");
                    EXPECT_EQ(style & BS_TYPEMASK, BS_GROUPBOX);
                    break;
                case Kind::Label:
                    EXPECT_EQ(ClassOf(control), "Static");
                    EXPECT_EQ(style & SS_NOPREFIX, SS_NOPREFIX) << "'&' would hide";
                    EXPECT_EQ(style & SS_TYPEMASK,
                              expected.alignment == expected_form::Alignment::Center ? SS_CENTER : SS_LEFT);
                    break;
                case Kind::Field:
                    EXPECT_EQ(ClassOf(control), "Edit");
                    EXPECT_EQ(style & (ES_MULTILINE | ES_READONLY | ES_NUMBER | ES_PASSWORD), 0);
                    EXPECT_GE(::SendMessageW(control, EM_GETLIMITTEXT, 0, 0), 0x7FFFFFFE) << "a length limit";
                    break;
                case Kind::Button:
                    EXPECT_EQ(ClassOf(control), "Button");
                    EXPECT_EQ(style & BS_TYPEMASK, BS_PUSHBUTTON) << "a default button";
                    break;
            }
            EXPECT_EQ(TextOf(control), expected.text);

            int left = expected.left;
            int top = expected.top;
            if (!expected.parent.empty()) {
                for (const expected_form::Control& frame : expected_form::kControls) {
                    if (frame.name == expected.parent) left += frame.left, top += frame.top;
                }
            }
            const RECT box = BoxInClientArea(control);
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

TEST_F(WindowLayout, FocusStartsInTheRookMinAndTabFollowsTheKeyboardOrder)
{
    EXPECT_EQ(::GetFocus(), Control(expected_form::kFocusOrder.front()));
    const std::size_t count = expected_form::kFocusOrder.size();
    for (bool backwards : {false, true}) {
        HWND control = Control(expected_form::kFocusOrder.front());
        for (std::size_t step = 1; step <= count; ++step) {
            control = ::GetNextDlgTabItem(window_, control, backwards);
            const std::size_t place = backwards ? (count - step) % count : step % count;
            EXPECT_EQ(control, Control(expected_form::kFocusOrder[place]))
                << (backwards ? "Shift+Tab" : "Tab") << " step " << step << " should reach "
                << expected_form::kFocusOrder[place] << ", reached " << TextOf(control);
        }
    }
}

// Room that each kind of control takes from its caption's width, at 96 DPI:
// a frame's caption starts inside its corner, a button has its edges and a
// field its border and margins.
int Margin(Kind kind)
{
    switch (kind) {
        case Kind::Frame: return 16;
        case Kind::Button: return 8;
        case Kind::Field: return 6;
        case Kind::Label: return 0;
    }
    return 0;
}

TEST_F(WindowLayout, EveryCaptionFitsItsBoxInTheWindowFont)
{
    HDC dc = ::GetDC(window_);
    for (const expected_form::Control& expected : expected_form::kControls) {
        HWND control = Control(expected.name);
        if (control == nullptr) continue;
        auto font = reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0));
        ASSERT_NE(font, nullptr) << expected.name << " has the system font, not the window's";
        HGDIOBJ previous = ::SelectObject(dc, font);
        std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(control)) + 1, L'\0');
        text.resize(static_cast<std::size_t>(::GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
        SIZE size{};
        ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
        TEXTMETRICW metrics{};
        ::GetTextMetricsW(dc, &metrics);
        ::SelectObject(dc, previous);
        RECT client{};
        ::GetClientRect(control, &client);
        EXPECT_LE(size.cx + Scaled(Margin(expected.kind), dpi_), client.right)
            << expected.name << " \"" << expected.text << "\" is " << size.cx << " px wide";
        EXPECT_LE(metrics.tmHeight, Scaled(expected.height, dpi_)) << expected.name << " font too tall";
    }
    ::ReleaseDC(window_, dc);
}

// A field keeps to one line: a pasted line break never enters it.
TEST_F(WindowLayout, PastedLineBreaksStayOutOfAField)
{
    HWND field = Control("Text2(9)");
    const std::wstring pasted = L"12\r\n3\n4";
    ASSERT_TRUE(::OpenClipboard(window_));
    ::EmptyClipboard();
    HGLOBAL data = ::GlobalAlloc(GMEM_MOVEABLE, (pasted.size() + 1) * sizeof(wchar_t));
    std::copy_n(pasted.c_str(), pasted.size() + 1, static_cast<wchar_t*>(::GlobalLock(data)));
    ::GlobalUnlock(data);
    ::SetClipboardData(CF_UNICODETEXT, data);
    ::CloseClipboard();

    ::SendMessageW(field, EM_SETSEL, 0, -1);
    ::SendMessageW(field, WM_PASTE, 0, 0);
    EXPECT_EQ(TextOf(field), "1234");
    ::SetWindowTextW(field, L"150");
}

// The fields' UTF-16 reaches the core as UTF-8 without loss; a broken
// surrogate, which UTF-8 cannot hold, is refused rather than replaced.
TEST(TextConversion, KeepsEveryCharacterAndRefusesBrokenSurrogates)
{
    const std::wstring text = L"a\u00e9\u20ac\U0001D11E";
    std::string utf8;
    ASSERT_TRUE(win32::Narrow(text, utf8));
    EXPECT_EQ(utf8, "a\xC3\xA9\xE2\x82\xAC\xF0\x9D\x84\x9E");
    EXPECT_EQ(win32::Widen(utf8), text);
    EXPECT_FALSE(win32::Narrow(std::wstring(L"1\xD834" L"2"), utf8));
}

// Runs every test again in a child process started at `dpi` dots per inch:
// Wine's LogPixels setting is read when a process starts.
int RunAtDpi(int dpi)
{
    HKEY key = nullptr;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                          nullptr) != ERROR_SUCCESS) {
        std::fprintf(stderr, "cannot open the LogPixels setting\n");
        return 1;
    }
    DWORD previous = 0;
    DWORD size = sizeof previous;
    const bool had = ::RegQueryValueExW(key, L"LogPixels", nullptr, nullptr, reinterpret_cast<BYTE*>(&previous),
                                        &size) == ERROR_SUCCESS;
    const DWORD value = static_cast<DWORD>(dpi);
    ::RegSetValueExW(key, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    ::SetEnvironmentVariableW(L"POPGEN_EXPECT_DPI", std::to_wstring(dpi).c_str());

    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring commandLine = L"\"" + std::wstring(self) + L"\"";
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
    if (argc == 2 && std::string_view(argv[1]).starts_with(kAtDpi)) return RunAtDpi(std::atoi(argv[1] + kAtDpi.size()));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
