#include "win32/accessible_texts.h"

#include <commctrl.h>
#include <initguid.h>
#include <objbase.h>
#include <oleacc.h>

#include <algorithm>

#include "form/fitting.h"
#include "form/form.h"
#include "generation/platform/utf16.h"

namespace win32 {

void AccessibleTexts::MakeTooltip()
{
    if (tooltip_ != nullptr) return;
    // Its text is asked for (TTN_GETDISPINFO) each time it is about to
    // show, so it names the current folder of that moment.
    tooltip_ = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                                 CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window_, nullptr,
                                 reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(window_, GWLP_HINSTANCE)), nullptr);
    if (tooltip_ == nullptr) return;
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = window_;
    tool.uId = reinterpret_cast<UINT_PTR>(button_);
    tool.lpszText = LPSTR_TEXTCALLBACKW;
    ::SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

AccessibleTexts::~AccessibleTexts()
{
    if (services_ != nullptr) services_->Release();
    if (comInitialised_) ::CoUninitialize();
}

// Screen readers name an edit control after the label before it in the
// window order, which here is not its own (the order is the keyboard's), so
// each field is given its name from the form ("Rook: Min").
//
// Nothing of this is paid for at start: a client reads these texts only
// after it has asked for an object of this window, and every such request
// starts with WM_GETOBJECT to the window or the control concerned: from
// MSAA (AccessibleObjectFromWindow, ...FromPoint, ...FromEvent) and from UI
// Automation alike (an element from a window, a point or the focus, and its
// event handling). The texts are set before that message is answered, so
// the first answer already carries them. It is safe to initialise COM
// here: sent messages run on the window's own thread, which has not
// initialised COM elsewhere and which pumps messages, as an apartment
// thread must; and the calls made (an in-process object that stores the
// texts as the controls' window properties) never call out of the process,
// which is forbidden while another process waits on a sent message.
void AccessibleTexts::Asked(const std::vector<HWND>& controls)
{
    if (asked_) return;
    asked_ = true;  // before anything that may send messages of its own
    comInitialised_ = SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    if (FAILED(::CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER, IID_IAccPropServices,
                                  reinterpret_cast<void**>(&services_)))) {
        services_ = nullptr;
        return;
    }
    const auto& table = form::Controls();
    for (std::size_t i = 0; i < table.size() && i < controls.size(); ++i) {
        if (table[i].kind != form::Kind::Field || controls[i] == nullptr) continue;
        services_->SetHwndPropStr(controls[i], static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, PROPID_ACC_NAME,
                                  generation::Utf16(table[i].accessibleName).c_str());
    }
    whereAPressWrites_.clear();  // so that the description is set now
    FollowFolder();
}

void AccessibleTexts::FollowFolder()
{
    std::wstring text = generation::Utf16(form::WhereAPressWrites());
    if (text == whereAPressWrites_) return;
    whereAPressWrites_ = std::move(text);
    if (services_ != nullptr && button_ != nullptr) {
        services_->SetHwndPropStr(button_, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, PROPID_ACC_DESCRIPTION,
                                  whereAPressWrites_.c_str());
    }
}

// The tooltip names a path that may be longer than a screen is wide: it is
// at most a third as wide as the window's monitor (or as wide as the
// window, when that is wider), in that monitor's pixels, with its lines
// broken where they would be wider.
wchar_t* AccessibleTexts::TooltipText(HWND tooltip)
{
    if (tooltip == nullptr || tooltip != tooltip_) return nullptr;
    FollowFolder();
    RECT frame{};
    ::GetWindowRect(window_, &frame);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    ::GetMonitorInfoW(::MonitorFromWindow(window_, MONITOR_DEFAULTTONEAREST), &monitor);
    const LONG width = std::max(frame.right - frame.left, (monitor.rcWork.right - monitor.rcWork.left) / 3);
    ::SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, width);

    const HDC dc = ::GetDC(tooltip_);
    const auto font = reinterpret_cast<HGDIOBJ>(::SendMessageW(tooltip_, WM_GETFONT, 0, 0));
    const HGDIOBJ previous = font != nullptr ? ::SelectObject(dc, font) : nullptr;
    const auto fits = [dc, width](const std::wstring& line) {
        SIZE size{};
        return ::GetTextExtentPoint32W(dc, line.data(), static_cast<int>(line.size()), &size) && size.cx <= width;
    };
    tooltipText_ = form::BrokenIntoLines(whereAPressWrites_, fits);
    if (previous != nullptr) ::SelectObject(dc, previous);
    ::ReleaseDC(tooltip_, dc);
    return tooltipText_.data();
}

}  // namespace win32
