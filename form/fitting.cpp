#include "form/fitting.h"

namespace form {

int CaptionMargin(Kind kind)
{
    switch (kind) {
        case Kind::Frame: return 20;
        case Kind::Button: return 12;
        case Kind::Field: return 8;
        case Kind::Label: return 0;
    }
    return 0;
}

bool EverythingFits(const MeasureText& measure, int dpi)
{
    constexpr int kFormDpi = 96;  // the margins' unit
    for (const Control& control : Controls()) {
        const TextExtent extent = measure(control.text);
        const Box box = ToPixels(control.box, dpi);
        const int room = box.width - ToPixels(CaptionMargin(control.kind) * kTwipsPerInch / kFormDpi, dpi);
        if (extent.width > room) return false;
        if (control.kind == Kind::Label && extent.height > box.height) return false;
    }
    return true;
}

int FittingSize(int preferred, int smallest, const std::function<bool(int size)>& fits)
{
    int size = preferred;
    while (size > smallest && !fits(size)) --size;
    return size;
}

}  // namespace form
