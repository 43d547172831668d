#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct IAccPropServices;

// What the window says beyond its captions: where a press writes, in the
// button's tooltip and as its description for screen readers, and the
// fields' names for screen readers.
namespace win32 {

class AccessibleTexts {
public:
    AccessibleTexts(HWND window, HWND button) : window_(window), button_(button) {}
    ~AccessibleTexts();
    AccessibleTexts(const AccessibleTexts&) = delete;
    AccessibleTexts& operator=(const AccessibleTexts&) = delete;

    // Makes the button's tooltip, once (the window works without it).
    void MakeTooltip();

    // For each WM_GETOBJECT that reaches the window or one of its controls
    // (`controls`, in form table order). The first one gives every field
    // its name and the button its description; later ones add nothing.
    void Asked(const std::vector<HWND>& controls);

    // On each activation: the button's description follows the current
    // folder, once a client has asked.
    void Activated()
    {
        if (asked_) FollowFolder();
    }

    // The tooltip's text, on lines that fit it, for TTN_GETDISPINFO; valid
    // until the next call. Null for any other tooltip.
    wchar_t* TooltipText(HWND tooltip);

private:
    // Works out anew where a press writes, for the tooltip and, once a
    // client has asked, the button's description.
    void FollowFolder();

    HWND window_;
    HWND button_;
    HWND tooltip_ = nullptr;
    std::wstring whereAPressWrites_;  // as last worked out
    std::wstring tooltipText_;        // the same, broken into lines
    bool asked_ = false;
    bool comInitialised_ = false;
    IAccPropServices* services_ = nullptr;  // when the system offers them
};

}  // namespace win32
