#include "win32/population_window.h"

#include <commctrl.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "form/form.h"
#include "generation/parameters.h"
#include "generation/platform/utf16.h"
#include "generation/reported_run.h"
#include "win32/accessible_texts.h"
#include "win32/placement.h"
#include "win32/system_calls.h"

namespace win32 {

namespace {

constexpr wchar_t kWindowClass[] = L"PopulationGeneratorWindow";
// Control identifiers: this base plus the control's place in the form
// table. It keeps clear of IDOK and IDCANCEL, which the dialog keyboard
// handling sends for Enter and Escape and which the window ignores.
constexpr int kFirstControlId = 100;
constexpr int kIconId = 1;  // as in the resource script
constexpr UINT kMakeTooltip = WM_APP;

struct WindowState {
    UINT dpi = USER_DEFAULT_SCREEN_DPI;
    UINT layoutDpi = USER_DEFAULT_SCREEN_DPI;  // larger when the user asked for larger text
    HFONT font = nullptr;
    std::vector<HWND> controls;  // in form table order
    HWND focus = nullptr;        // the control to give the focus back to
    std::optional<AccessibleTexts> texts;  // the tooltip, destroyed with the window, its owner
    ~WindowState()
    {
        if (font != nullptr) ::DeleteObject(font);
    }
};

WindowState* StateOf(HWND window) { return reinterpret_cast<WindowState*>(::GetWindowLongPtrW(window, GWLP_USERDATA)); }

int ControlId(std::size_t index) { return kFirstControlId + static_cast<int>(index); }

// Button captions (frames are buttons too) read '&' as an access-key
// prefix; doubled, it shows as itself. Labels say so with SS_NOPREFIX.
std::wstring ButtonCaption(std::string_view text)
{
    std::wstring caption;
    for (wchar_t c : generation::Utf16(text)) {
        caption += c;
        if (c == L'&') caption += L'&';
    }
    return caption;
}

// The layout and the font for the window's DPI and text size.
void ChooseLayout(HWND window, WindowState& state, UINT dpi)
{
    state.dpi = dpi;
    state.layoutDpi = LayoutDpi(window, dpi);
    HFONT font = FittedFont(window, state.layoutDpi, dpi);
    if (state.font != nullptr) ::DeleteObject(state.font);
    state.font = font;
}

// The text on the clipboard, read no further than its memory block, whether
// or not a terminating zero ends it within.
std::wstring ClipboardText(HWND owner)
{
    std::wstring text;
    if (!::IsClipboardFormatAvailable(CF_UNICODETEXT) || !::OpenClipboard(owner)) return text;
    if (HANDLE data = ::GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* chars = static_cast<const wchar_t*>(::GlobalLock(data))) {
            const std::wstring_view block(chars, ::GlobalSize(data) / sizeof(wchar_t));
            text = block.substr(0, block.find(L'\0'));
            ::GlobalUnlock(data);
        }
    }
    ::CloseClipboard();
    return text;
}

// Every control is subclassed for the first WM_GETOBJECT, which sets the
// accessible texts (AccessibleTexts::Asked). A field (reference data 1)
// also keeps to one line: a pasted text loses its line breaks, since each
// text ends up on a line of its own in the population list and a break
// inside it would shift every line after it.
LRESULT CALLBACK ControlProcedure(HWND control, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                  DWORD_PTR isField) noexcept
{
    try {
        switch (message) {
            case WM_GETOBJECT:
                if (WindowState* state = StateOf(::GetParent(control)); state != nullptr && state->texts) {
                    state->texts->Asked(state->controls);
                }
                break;
            case WM_CHAR:
                if (isField && (wParam == L'\r' || wParam == L'\n')) return 0;
                break;
            case WM_PASTE: {
                if (!isField) break;
                std::wstring text = ClipboardText(control);
                std::erase_if(text, [](wchar_t c) { return c == L'\r' || c == L'\n'; });
                ::SendMessageW(control, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(text.c_str()));
                return 0;
            }
            case WM_NCDESTROY:
                ::RemoveWindowSubclass(control, ControlProcedure, 0);
                break;
        }
    } catch (...) {
        if (message == WM_PASTE) return 0;  // a paste that found no memory pastes nothing
    }
    return ::DefSubclassProc(control, message, wParam, lParam);
}

// At its box, in the window's font.
HWND CreateControl(HWND window, const WindowState& state, const form::Control& control, int id)
{
    const wchar_t* windowClass = L"STATIC";
    DWORD style = WS_CHILD | WS_VISIBLE;
    DWORD exStyle = 0;
    std::wstring text = generation::Utf16(control.text);
    switch (control.kind) {
        case form::Kind::Frame:
            windowClass = L"BUTTON";
            style |= BS_GROUPBOX;
            text = ButtonCaption(control.text);
            break;
        case form::Kind::Label:
            style |= SS_NOPREFIX | SS_CENTERIMAGE | (control.alignment == form::Alignment::Center ? SS_CENTER : SS_LEFT);
            break;
        case form::Kind::Field:
            windowClass = L"EDIT";
            style |= WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL;
            exStyle |= WS_EX_CLIENTEDGE;
            break;
        case form::Kind::Button:
            windowClass = L"BUTTON";
            style |= WS_TABSTOP | BS_PUSHBUTTON;
            text = ButtonCaption(control.text);
            break;
    }
    const RECT box = ControlBox(control, state.layoutDpi);
    HWND handle = ::CreateWindowExW(exStyle, windowClass, text.c_str(), style, box.left, box.top,
                                    box.right - box.left, box.bottom - box.top, window,
                                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                    reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(window, GWLP_HINSTANCE)), nullptr);
    if (handle == nullptr) return nullptr;
    ::SendMessageW(handle, WM_SETFONT, reinterpret_cast<WPARAM>(state.font), FALSE);
    const bool isField = control.kind == form::Kind::Field;
    if (isField) ::SendMessageW(handle, EM_SETLIMITTEXT, 0, 0);  // none of its own: the system's largest
    ::SetWindowSubclass(handle, ControlProcedure, 0, isField ? 1 : 0);
    return handle;
}

// Frames and labels first, in table order; then the fields and the button
// in keyboard order, since Tab follows the order in which they were made.
bool CreateControls(HWND window, WindowState& state)
{
    const auto& controls = form::Controls();
    state.controls.assign(controls.size(), nullptr);
    auto create = [&](const form::Control& control) {
        const std::size_t index = static_cast<std::size_t>(&control - controls.data());
        state.controls[index] = CreateControl(window, state, control, ControlId(index));
        return state.controls[index] != nullptr;
    };
    for (const form::Control& control : controls) {
        if (!control.TakesFocus() && !create(control)) return false;
    }
    for (const form::Control* control : form::KeyboardOrder()) {
        if (!create(*control)) return false;
    }
    state.focus = FindControl(window, form::KeyboardOrder().front()->name);
    return true;
}

void Report(HWND window, const generation::RunOutcome& outcome)
{
    const std::wstring text = generation::Utf16(form::FailureReportText(outcome.kind, outcome.message));
    ::MessageBoxW(window, text.c_str(), generation::Utf16(form::kCaption).c_str(), MB_OK | MB_ICONERROR);
}

// One generation run in the current directory with the fields as they
// stand. A failure is reported; the fields and the previous file stay as
// they were, so the user can mend the cause and press again. A field whose
// text UTF-8 cannot hold (a lone surrogate) is refused, not mended.
void Generate(HWND window, const WindowState& state)
{
    generation::GenerationParameters parameters;
    const auto& controls = form::Controls();
    for (std::size_t i = 0; i < controls.size(); ++i) {
        const form::Control& control = controls[i];
        if (control.binding == form::Binding::None) continue;
        const int length = ::GetWindowTextLengthW(state.controls[i]);
        std::wstring wide(static_cast<std::size_t>(length) + 1, L'\0');
        wide.resize(static_cast<std::size_t>(::GetWindowTextW(state.controls[i], wide.data(), length + 1)));
        bool valid = true;
        form::FieldText(parameters, control) = generation::Utf8(wide, &valid);
        if (!valid) {
            Report(window, form::BrokenTextOutcome(control));
            return;
        }
    }
    const generation::RunOutcome outcome = generation::ReportedRun(parameters);
    if (!outcome.Succeeded()) Report(window, outcome);
}

LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    WindowState* state = StateOf(window);
    switch (message) {
        case WM_NCCREATE: {
            auto owned = std::make_unique<WindowState>();
            ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(owned.release()));
            break;
        }
        case WM_CREATE:
            // Each control is made at its box in its font, and the tooltip
            // only once the window shows (kMakeTooltip): nothing is done
            // twice, or before it is needed, while the user waits.
            if (state == nullptr) return -1;
            ChooseLayout(window, *state, system_calls::DpiForWindow(window));
            if (!CreateControls(window, *state)) return -1;
            SizeClientArea(window, state->layoutDpi, state->dpi);
            state->texts.emplace(window, FindControl(window, "Command1"));
            ::PostMessageW(window, kMakeTooltip, 0, 0);
            return 0;
        case kMakeTooltip:
            if (state != nullptr && state->texts) state->texts->MakeTooltip();
            return 0;
        case WM_DPICHANGED: {
            if (state == nullptr) break;
            ChooseLayout(window, *state, HIWORD(wParam));
            PlaceControls(state->controls, state->layoutDpi, state->font);
            const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
            ::SetWindowPos(window, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                           suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
            return 0;
        }
        case WM_GETOBJECT:
            if (state != nullptr && state->texts) state->texts->Asked(state->controls);
            break;
        case WM_ACTIVATE:
            // Keep the focused control over a deactivation (the report, another
            // program) and give it back on return, as a dialog does.
            if (state != nullptr && LOWORD(wParam) == WA_INACTIVE) {
                HWND focus = ::GetFocus();
                if (focus != nullptr && ::IsChild(window, focus)) state->focus = focus;
            } else if (state != nullptr && state->texts) {
                state->texts->Activated();  // the description, read without the tooltip
            }
            break;
        case WM_NOTIFY: {
            auto* info = reinterpret_cast<NMTTDISPINFOW*>(lParam);
            if (state != nullptr && state->texts && info->hdr.code == TTN_GETDISPINFOW) {
                if (wchar_t* text = state->texts->TooltipText(info->hdr.hwndFrom)) {
                    info->lpszText = text;
                    return 0;
                }
            }
            break;
        }
        case WM_SETFOCUS:
            if (state != nullptr && state->focus != nullptr) ::SetFocus(state->focus);
            return 0;
        case WM_COMMAND:
            if (state != nullptr && HIWORD(wParam) == BN_CLICKED &&
                reinterpret_cast<HWND>(lParam) == FindControl(window, "Command1") && lParam != 0) {
                Generate(window, *state);
                return 0;
            }
            break;
        case WM_DESTROY:
            ::PostQuitMessage(0);
            return 0;
        case WM_NCDESTROY:
            delete state;
            ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
            break;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept
{
    try {
        return HandleMessage(window, message, wParam, lParam);
    } catch (...) {
        // Nothing may escape into the system's code. What can still be
        // said without memory is said.
        if (message == WM_COMMAND) {
            ::MessageBoxW(window, L"Unexpected error\n\nThe population list was not changed.", L"Population generator",
                          MB_OK | MB_ICONERROR);
        }
        return message == WM_CREATE ? -1 : 0;
    }
}

}  // namespace

HWND CreatePopulationWindow(HINSTANCE instance)
{
    const int iconSize = ::GetSystemMetrics(SM_CXICON);
    const int smallIconSize = ::GetSystemMetrics(SM_CXSMICON);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = WindowProcedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kWindowClass;
    windowClass.hIcon = static_cast<HICON>(
        ::LoadImageW(instance, MAKEINTRESOURCEW(kIconId), IMAGE_ICON, iconSize, iconSize, LR_DEFAULTCOLOR));
    windowClass.hIconSm = static_cast<HICON>(
        ::LoadImageW(instance, MAKEINTRESOURCEW(kIconId), IMAGE_ICON, smallIconSize, smallIconSize, LR_DEFAULTCOLOR));
    if (::RegisterClassExW(&windowClass) == 0 && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return nullptr;

    // Made at its size for the system DPI, at which a new window opens, so
    // that it is not made at another one and resized at once.
    const UINT dpi = system_calls::DpiForWindow(nullptr);
    const SIZE size = WindowSize(LayoutDpi(nullptr, dpi), dpi);
    const std::wstring caption = generation::Utf16(form::kCaption);
    return ::CreateWindowExW(kWindowExStyle, kWindowClass, caption.c_str(), kWindowStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                             size.cx, size.cy, nullptr, nullptr, instance, nullptr);
}

HWND FindControl(HWND window, std::string_view name)
{
    const auto& controls = form::Controls();
    for (std::size_t i = 0; i < controls.size(); ++i) {
        if (controls[i].name == name) return ::GetDlgItem(window, ControlId(i));
    }
    return nullptr;
}

bool HandleKeyboard(HWND window, MSG& message)
{
    // Enter presses the button that has the focus, as Space does; it is not
    // a default button, so Enter in a field does nothing.
    if (message.message == WM_KEYDOWN && message.wParam == VK_RETURN) {
        HWND button = FindControl(window, "Command1");
        if (message.hwnd == button) {
            const bool repeated = (message.lParam & (1L << 30)) != 0;
            const bool modified = (::GetKeyState(VK_SHIFT) | ::GetKeyState(VK_CONTROL) | ::GetKeyState(VK_MENU)) < 0;
            if (!repeated && !modified) {
                ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(button), BN_CLICKED),
                               reinterpret_cast<LPARAM>(button));
            }
            return true;
        }
    }
    return ::IsDialogMessageW(window, &message) != FALSE;
}

int RunMessageLoop(HWND window)
{
    MSG message{};
    BOOL result;
    while ((result = ::GetMessageW(&message, nullptr, 0, 0)) != 0) {
        if (result == -1) return 1;
        if (HandleKeyboard(window, message)) continue;
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

}  // namespace win32
