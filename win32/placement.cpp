#include "win32/placement.h"

#include <algorithm>

#include "form/fitting.h"
#include "form/form.h"
#include "generation/platform/utf16.h"
#include "win32/system_calls.h"

namespace win32 {

namespace {

// Windows' standard message font, 9 points: 12 pixels at 96 DPI.
constexpr int kStandardFontPixels = 12;

RECT PixelRect(const form::Box& twips, UINT dpi)
{
    const form::Box box = form::ToPixels(twips, static_cast<int>(dpi));
    return {box.left, box.top, box.left + box.width, box.top + box.height};
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
        logFont.lfHeight = -::MulDiv(11, static_cast<int>(dpi), USER_DEFAULT_SCREEN_DPI);
        logFont.lfCharSet = DEFAULT_CHARSET;
        ::lstrcpynW(logFont.lfFaceName, L"Tahoma", LF_FACESIZE);
    }
    if (logFont.lfHeight > 0) logFont.lfHeight = -logFont.lfHeight;  // a cell height: near enough
    return logFont;
}

// Whether every caption and default text fits its box at `layoutDpi` in
// this font.
bool EverythingFits(HWND window, HFONT font, UINT layoutDpi)
{
    HDC dc = ::GetDC(window);
    if (dc == nullptr) return true;
    HGDIOBJ previous = ::SelectObject(dc, font);
    TEXTMETRICW metrics{};
    ::GetTextMetricsW(dc, &metrics);
    const bool fits = form::EverythingFits(
        [dc, &metrics](std::string_view text) {
            const std::wstring wide = generation::Utf16(text);
            SIZE size{};
            ::GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &size);
            return form::TextExtent{static_cast<int>(size.cx), static_cast<int>(metrics.tmHeight)};
        },
        static_cast<int>(layoutDpi));
    ::SelectObject(dc, previous);
    ::ReleaseDC(window, dc);
    return fits;
}

}  // namespace

// Made smaller a pixel at a time.
HFONT FittedFont(HWND window, UINT layoutDpi, UINT dpi)
{
    LOGFONTW logFont = MessageFont(dpi);
    const int smallest = ::MulDiv(form::kSmallestFontPixels, static_cast<int>(layoutDpi), USER_DEFAULT_SCREEN_DPI);
    logFont.lfHeight = -form::FittingSize(-logFont.lfHeight, smallest, [&](int pixels) {
        LOGFONTW tried = logFont;
        tried.lfHeight = -pixels;
        HFONT font = ::CreateFontIndirectW(&tried);
        if (font == nullptr) return true;  // no smaller one will be made either
        const bool fits = EverythingFits(window, font, layoutDpi);
        ::DeleteObject(font);
        return fits;
    });
    return ::CreateFontIndirectW(&logFont);
}

UINT LayoutDpi(HWND window, UINT dpi)
{
    const int asked = -MessageFont(dpi).lfHeight;
    const int standard = ::MulDiv(kStandardFontPixels, static_cast<int>(dpi), USER_DEFAULT_SCREEN_DPI);
    if (asked <= standard) return dpi;

    // The largest layout whose window fits the work area: the frame keeps
    // the size of `dpi`, the client area grows.
    RECT frame{};
    system_calls::AdjustWindowRectExForDpi(&frame, kWindowStyle, FALSE, kWindowExStyle, dpi);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    const HMONITOR nearest = window != nullptr ? ::MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST)
                                               : ::MonitorFromPoint({0, 0}, MONITOR_DEFAULTTOPRIMARY);
    if (!::GetMonitorInfoW(nearest, &monitor)) return dpi;
    const long long width = (monitor.rcWork.right - monitor.rcWork.left) - (frame.right - frame.left);
    const long long height = (monitor.rcWork.bottom - monitor.rcWork.top) - (frame.bottom - frame.top);
    const long long largest = std::min(width * form::kTwipsPerInch / form::kClientWidth,
                                       height * form::kTwipsPerInch / form::kClientHeight);
    const long long wanted = static_cast<long long>(dpi) * asked / standard;
    return static_cast<UINT>(std::max<long long>(dpi, std::min(wanted, largest)));
}

RECT ControlBox(const form::Control& control, UINT layoutDpi) { return PixelRect(form::WindowBox(control), layoutDpi); }

void PlaceControls(const std::vector<HWND>& controls, UINT layoutDpi, HFONT font)
{
    const auto& table = form::Controls();
    for (std::size_t i = 0; i < table.size() && i < controls.size(); ++i) {
        const RECT box = ControlBox(table[i], layoutDpi);
        ::SetWindowPos(controls[i], nullptr, box.left, box.top, box.right - box.left, box.bottom - box.top,
                       SWP_NOZORDER | SWP_NOACTIVATE);
        ::SendMessageW(controls[i], WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    }
}

SIZE WindowSize(UINT layoutDpi, UINT dpi)
{
    RECT frame = PixelRect({0, 0, form::kClientWidth, form::kClientHeight}, layoutDpi);
    system_calls::AdjustWindowRectExForDpi(&frame, kWindowStyle, FALSE, kWindowExStyle, dpi);
    return {frame.right - frame.left, frame.bottom - frame.top};
}

void SizeClientArea(HWND window, UINT layoutDpi, UINT dpi)
{
    const SIZE size = WindowSize(layoutDpi, dpi);
    RECT frame{};
    ::GetWindowRect(window, &frame);
    if (frame.right - frame.left == size.cx && frame.bottom - frame.top == size.cy) return;
    ::SetWindowPos(window, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace win32
