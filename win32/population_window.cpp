#include "win32/population_window.h"

#include <commctrl.h>
#include <initguid.h>
#include <oleacc.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "form/fitting.h"
#include "form/form.h"
#include "generation/parameters.h"
#include "generation/reported_run.h"
#include "win32/system_calls.h"

namespace win32 {

namespace {

constexpr wchar_t kWindowClass[] = L"PopulationGeneratorWindow";
constexpr DWORD kWindowStyle = WS_OVERLAPPEDWINDOW;
constexpr DWORD kWindowExStyle = 0;
// Control identifiers: this base plus the control's place in the form
// table. It keeps clear of IDOK and IDCANCEL, which the dialog keyboard
// handling sends for Enter and Escape and which the window ignores.
constexpr int kFirstControlId = 100;
constexpr int kIconId = 1;  // as in the resource script

struct WindowState {
    UINT dpi = USER_DEFAULT_SCREEN_DPI;
    HFONT font = nullptr;
    std::vector<HWND> controls;  // in form table order
    HWND focus = nullptr;        // the control to give the focus back to
    HWND tooltip = nullptr;      // the button's; destroyed with the window, its owner
    std::wstring whereAPressWrites;  // its text as last shown
    std::wstring tooltipText;        // the same, broken into lines that fit the tooltip
    ~WindowState()
    {
        if (font != nullptr) ::DeleteObject(font);
    }
};

WindowState* StateOf(HWND window) { return reinterpret_cast<WindowState*>(::GetWindowLongPtrW(window, GWLP_USERDATA)); }

int ControlId(std::size_t index) { return kFirstControlId + static_cast<int>(index); }

RECT PixelRect(const form::Box& twips, UINT dpi)
{
    const form::Box box = form::ToPixels(twips, static_cast<int>(dpi));
    return {box.left, box.top, box.left + box.width, box.top + box.height};
}

// Button captions (frames are buttons too) read '&' as an access-key
// prefix; doubled, it shows as itself. Labels say so with SS_NOPREFIX.
std::wstring ButtonCaption(std::string_view text)
{
    std::wstring caption;
    for (wchar_t c : Widen(text)) {
        caption += c;
        if (c == L'&') caption += L'&';
    }
    return caption;
}

// The system's message font at the window's DPI: the face and size the
// window prefers.
LOGFONTW MessageFont(UINT dpi)
{
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    LOGFONTW logFont{};
    if (system_calls::SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi)) {
        logFont = metrics.lfMessageFont;
    } else {
        logFont.lfHeight = -::MulDiv(11, static_cast<int>(dpi), 96);
        logFont.lfCharSet = DEFAULT_CHARSET;
        ::lstrcpynW(logFont.lfFaceName, L"Tahoma", LF_FACESIZE);
    }
    if (logFont.lfHeight > 0) logFont.lfHeight = -logFont.lfHeight;  // a cell height: near enough
    return logFont;
}

// Whether every caption and default text fits its box in this font.
bool EverythingFits(HWND window, HFONT font, UINT dpi)
{
    HDC dc = ::GetDC(window);
    if (dc == nullptr) return true;
    HGDIOBJ previous = ::SelectObject(dc, font);
    TEXTMETRICW metrics{};
    ::GetTextMetricsW(dc, &metrics);
    const bool fits = form::EverythingFits(
        [dc, &metrics](std::string_view text) {
            const std::wstring wide = Widen(text);
            SIZE size{};
            ::GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &size);
            return form::TextExtent{static_cast<int>(size.cx), static_cast<int>(metrics.tmHeight)};
        },
        static_cast<int>(dpi));
    ::SelectObject(dc, previous);
    ::ReleaseDC(window, dc);
    return fits;
}

// The system's message font at the window's DPI, made smaller, a pixel at a
// time, until every caption fits its box.
HFONT ChooseFont(HWND window, UINT dpi)
{
    LOGFONTW logFont = MessageFont(dpi);
    const int smallest = ::MulDiv(form::kSmallestFontPixels, static_cast<int>(dpi), 96);
    logFont.lfHeight = -form::FittingSize(-logFont.lfHeight, smallest, [&](int pixels) {
        LOGFONTW tried = logFont;
        tried.lfHeight = -pixels;
        HFONT font = ::CreateFontIndirectW(&tried);
        if (font == nullptr) return true;  // no smaller one will be made either
        const bool fits = EverythingFits(window, font, dpi);
        ::DeleteObject(font);
        return fits;
    });
    return ::CreateFontIndirectW(&logFont);
}

// Puts every control at its box for the window's DPI, in its font.
void PlaceControls(HWND window, WindowState& state)
{
    HFONT font = ChooseFont(window, state.dpi);
    const auto& controls = form::Controls();
    for (std::size_t i = 0; i < controls.size(); ++i) {
        const RECT box = PixelRect(form::WindowBox(controls[i]), state.dpi);
        ::SetWindowPos(state.controls[i], nullptr, box.left, box.top, box.right - box.left, box.bottom - box.top,
                       SWP_NOZORDER | SWP_NOACTIVATE);
        ::SendMessageW(state.controls[i], WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    }
    if (state.font != nullptr) ::DeleteObject(state.font);
    state.font = font;
}

// A field keeps to one line: a pasted text loses its line breaks, since
// each text ends up on a line of its own in the population list and a
// break inside it would shift every line after it.
LRESULT CALLBACK FieldProcedure(HWND field, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) noexcept
{
    try {
        switch (message) {
            case WM_CHAR:
                if (wParam == L'\r' || wParam == L'\n') return 0;
                break;
            case WM_PASTE: {
                if (!::IsClipboardFormatAvailable(CF_UNICODETEXT) || !::OpenClipboard(field)) return 0;
                std::wstring text;
                if (HANDLE data = ::GetClipboardData(CF_UNICODETEXT)) {
                    if (const auto* chars = static_cast<const wchar_t*>(::GlobalLock(data))) {
                        text = chars;
                        ::GlobalUnlock(data);
                    }
                }
                ::CloseClipboard();
                std::erase_if(text, [](wchar_t c) { return c == L'\r' || c == L'\n'; });
                ::SendMessageW(field, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(text.c_str()));
                return 0;
            }
            case WM_NCDESTROY:
                ::RemoveWindowSubclass(field, FieldProcedure, 0);
                break;
        }
    } catch (...) {
        return 0;  // a paste that found no memory pastes nothing
    }
    return ::DefSubclassProc(field, message, wParam, lParam);
}

HWND CreateControl(HWND window, const form::Control& control, int id)
{
    const wchar_t* windowClass = L"STATIC";
    DWORD style = WS_CHILD | WS_VISIBLE;
    DWORD exStyle = 0;
    std::wstring text = Widen(control.text);
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
    HWND handle = ::CreateWindowExW(exStyle, windowClass, text.c_str(), style, 0, 0, 0, 0, window,
                                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                    reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(window, GWLP_HINSTANCE)), nullptr);
    if (handle != nullptr && control.kind == form::Kind::Field) {
        ::SendMessageW(handle, EM_SETLIMITTEXT, 0, 0);  // none of its own: the system's largest
        ::SetWindowSubclass(handle, FieldProcedure, 0, 0);
    }
    return handle;
}

// Gives controls texts for screen readers beyond their captions. Needs COM
// initialised on the thread; without it, or where the system does not
// offer the service, nothing is set.
class AccessibleTexts {
public:
    AccessibleTexts()
    {
        if (FAILED(::CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER, IID_IAccPropServices,
                                      reinterpret_cast<void**>(&services_)))) {
            services_ = nullptr;
        }
    }
    ~AccessibleTexts()
    {
        if (services_ != nullptr) services_->Release();
    }
    AccessibleTexts(const AccessibleTexts&) = delete;
    AccessibleTexts& operator=(const AccessibleTexts&) = delete;

    void Set(HWND control, const MSAAPROPID& property, const std::wstring& text)
    {
        if (services_ == nullptr || control == nullptr) return;
        services_->SetHwndPropStr(control, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, property, text.c_str());
    }

private:
    IAccPropServices* services_ = nullptr;
};

// Screen readers name an edit control after the label before it in the
// window order, which here is not its own (the order is the keyboard's), so
// each field is given its name from the form ("Rook: Min").
void NameFields(const WindowState& state)
{
    AccessibleTexts texts;
    const auto& controls = form::Controls();
    for (std::size_t i = 0; i < controls.size(); ++i) {
        if (controls[i].kind != form::Kind::Field) continue;
        texts.Set(state.controls[i], PROPID_ACC_NAME, Widen(controls[i].accessibleName));
    }
}

// Works out where the next press writes, for the button's tooltip and, as
// its accessible description, for screen readers.
void ShowWhereAPressWrites(HWND window, WindowState& state)
{
    std::wstring text = Widen(form::WhereAPressWrites());
    if (text == state.whereAPressWrites) return;
    state.whereAPressWrites = std::move(text);
    AccessibleTexts().Set(FindControl(window, "Command1"), PROPID_ACC_DESCRIPTION, state.whereAPressWrites);
}

// The button's tooltip. Its text is asked for (TTN_GETDISPINFO) each time it
// is about to show, so it names the current folder of that moment.
HWND CreateTooltip(HWND window)
{
    HWND tooltip = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                                     CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window, nullptr,
                                     reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(window, GWLP_HINSTANCE)),
                                     nullptr);
    if (tooltip == nullptr) return nullptr;
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = window;
    tool.uId = reinterpret_cast<UINT_PTR>(FindControl(window, "Command1"));
    tool.lpszText = LPSTR_TEXTCALLBACKW;
    ::SendMessageW(tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    return tooltip;
}

// The button's tooltip names a path that may be longer than a screen is
// wide: it is at most a third as wide as the window's monitor (or as wide as
// the window, when that is wider), in that monitor's pixels, with its lines
// broken where they would be wider.
void FitTooltip(HWND window, WindowState& state)
{
    RECT frame{};
    ::GetWindowRect(window, &frame);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    ::GetMonitorInfoW(::MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor);
    const LONG width = std::max(frame.right - frame.left, (monitor.rcWork.right - monitor.rcWork.left) / 3);
    ::SendMessageW(state.tooltip, TTM_SETMAXTIPWIDTH, 0, width);

    const HDC dc = ::GetDC(state.tooltip);
    const auto font = reinterpret_cast<HGDIOBJ>(::SendMessageW(state.tooltip, WM_GETFONT, 0, 0));
    const HGDIOBJ previous = font != nullptr ? ::SelectObject(dc, font) : nullptr;
    const auto fits = [dc, width](const std::wstring& line) {
        SIZE size{};
        return ::GetTextExtentPoint32W(dc, line.data(), static_cast<int>(line.size()), &size) && size.cx <= width;
    };
    state.tooltipText = form::BrokenIntoLines(state.whereAPressWrites, fits);
    if (previous != nullptr) ::SelectObject(dc, previous);
    ::ReleaseDC(state.tooltip, dc);
}

// Frames and labels first, in table order; then the fields and the button
// in keyboard order, since Tab follows the order in which they were made.
bool CreateControls(HWND window, WindowState& state)
{
    const auto& controls = form::Controls();
    state.controls.assign(controls.size(), nullptr);
    auto create = [&](const form::Control& control) {
        const std::size_t index = static_cast<std::size_t>(&control - controls.data());
        state.controls[index] = CreateControl(window, control, ControlId(index));
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

void SizeClientArea(HWND window, UINT dpi)
{
    RECT frame = PixelRect({0, 0, form::kClientWidth, form::kClientHeight}, dpi);
    system_calls::AdjustWindowRectExForDpi(&frame, kWindowStyle, FALSE, kWindowExStyle, dpi);
    ::SetWindowPos(window, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Report(HWND window, const generation::RunOutcome& outcome)
{
    const std::wstring text = Widen(form::FailureReportText(outcome.kind, outcome.message));
    ::MessageBoxW(window, text.c_str(), Widen(form::kCaption).c_str(), MB_OK | MB_ICONERROR);
}

// One generation run in the current directory with the fields as they
// stand. A failure is reported; the fields and the previous file stay as
// they were, so the user can mend the cause and press again.
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
        if (!Narrow(wide, form::FieldText(parameters, control))) {
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
            if (state == nullptr || !CreateControls(window, *state)) return -1;
            NameFields(*state);
            state->tooltip = CreateTooltip(window);  // the window works without it
            ShowWhereAPressWrites(window, *state);
            state->dpi = system_calls::DpiForWindow(window);
            PlaceControls(window, *state);
            SizeClientArea(window, state->dpi);
            return 0;
        case WM_DPICHANGED: {
            if (state == nullptr) break;
            state->dpi = HIWORD(wParam);
            PlaceControls(window, *state);
            const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
            ::SetWindowPos(window, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                           suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
            return 0;
        }
        case WM_ACTIVATE:
            // Keep the focused control over a deactivation (the report, another
            // program) and give it back on return, as a dialog does.
            if (state != nullptr && LOWORD(wParam) == WA_INACTIVE) {
                HWND focus = ::GetFocus();
                if (focus != nullptr && ::IsChild(window, focus)) state->focus = focus;
            } else if (state != nullptr) {
                ShowWhereAPressWrites(window, *state);  // the description, read without the tooltip
            }
            break;
        case WM_NOTIFY: {
            auto* info = reinterpret_cast<NMTTDISPINFOW*>(lParam);
            if (state != nullptr && info->hdr.code == TTN_GETDISPINFOW && info->hdr.hwndFrom == state->tooltip) {
                ShowWhereAPressWrites(window, *state);
                FitTooltip(window, *state);
                info->lpszText = state->tooltipText.data();
                return 0;
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

std::wstring Widen(std::string_view utf8)
{
    if (utf8.empty()) return {};
    const int size = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(std::max(size, 0)), L'\0');
    if (size > 0) ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), size);
    return wide;
}

bool Narrow(std::wstring_view utf16, std::string& utf8)
{
    utf8.clear();
    if (utf16.empty()) return true;
    const int length = static_cast<int>(utf16.size());
    const int size = ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, utf16.data(), length, nullptr, 0, nullptr,
                                           nullptr);
    if (size <= 0) return false;
    utf8.resize(static_cast<std::size_t>(size));
    return ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, utf16.data(), length, utf8.data(), size, nullptr,
                                 nullptr) == size;
}

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

    const std::wstring caption = Widen(form::kCaption);
    return ::CreateWindowExW(kWindowExStyle, kWindowClass, caption.c_str(), kWindowStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                             CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, nullptr);
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
