// Where the calendar window paints: title strip, menu box, triangle, clock text, gradient and outline,
// and how each of those sizes follows the display's DPI.
#include "appearance/paint_geometry.h"

#include <algorithm>

namespace quill {
namespace {

int Add(int a, int b) {
    return ClampToInt(std::int64_t{a} + b);
}

std::uint16_t Wide16(std::uint8_t channel) {
    return static_cast<std::uint16_t>(channel << 8);
}

} // namespace

WindowMetrics MetricsForDpi(int dpi) {
    dpi = UsableDpi(dpi);
    return {dpi, ScaleForDpi(kTitleHeight, dpi), ScaleForDpi(kMenuButtonWidth, dpi),
            ScaleForDpi(kNoteBoxExtension, dpi)};
}

ClientRect TitleStripRect(int clientWidth, int titleHeight) {
    return {0, 0, clientWidth, titleHeight};
}

ClientRect MenuButtonRect(int titleHeight, int width) {
    return {0, 0, width, Add(titleHeight, 1)};
}

std::array<ClientPoint, 3> MenuTriangle(int dpi) {
    const auto at = [dpi](int x, int y) { return ClientPoint{ScaleForDpi(x, dpi), ScaleForDpi(y, dpi)}; };
    return {{at(3, 9), at(13, 9), at(8, 14)}};
}

int TextTopOffset(int lfHeight, int strip) {
    const std::int64_t height = lfHeight;
    if (-height < strip) {
        // Positive here, so truncation and flooring agree.
        return ClampToInt((std::int64_t{strip} + height) / 3);
    }
    return 0;
}

ClientRect ClockTextRect(const ClientRect& rcTitle, int lfHeight, int titleHeight) {
    return {0, TextTopOffset(lfHeight, titleHeight), rcTitle.right, rcTitle.bottom};
}

LineSegment StripUnderline(const ClientRect& rcTitle) {
    return {{0, rcTitle.bottom}, {rcTitle.right, rcTitle.bottom}};
}

ClockTextPlacement PlaceClockText(const ClientRect& rcTitle, const ClientRect& menuBox, int lfHeight,
                                  int titleHeight, int textWidth) {
    const ClientRect whole = ClockTextRect(rcTitle, lfHeight, titleHeight);
    const std::int64_t room = std::int64_t{rcTitle.right} - rcTitle.left - textWidth;
    // Two pixels off the box's frame and off the window's, so the text never touches either.
    const int firstFree = Add(menuBox.right, 2);
    const int lastFree = Add(rcTitle.right, -3);
    if (textWidth >= 0 && room >= 0) {
        // DrawText centres with either rounding of the half; both must clear the box and the frame.
        const std::int64_t leftmost = rcTitle.left + room / 2;
        const std::int64_t rightmost = rcTitle.left + (room + 1) / 2 + textWidth;
        if (leftmost >= firstFree && rightmost <= lastFree) {
            return {whole, true};
        }
    }
    return {{firstFree, whole.top, std::max(lastFree, firstFree), whole.bottom}, false};
}

GradientVertex MakeGradientVertex(ClientPoint at, Colorref color) {
    return {at.x, at.y, Wide16(RedOf(color)), Wide16(GreenOf(color)), Wide16(BlueOf(color)), 0};
}

std::optional<TitleGradient> TitleGradientFor(int style, Colorref back, Colorref accent,
                                              const ClientRect& rcTitle) {
    if (style < 0 || style > 3) {
        return std::nullopt;
    }
    const bool accentFirst = (style % 2) == 1;
    const Colorref first = accentFirst ? accent : back;
    const Colorref second = accentFirst ? back : accent;
    return TitleGradient{style < 2 ? GradientDirection::Vertical : GradientDirection::Horizontal,
                         MakeGradientVertex({0, 0}, first),
                         MakeGradientVertex({rcTitle.right, rcTitle.bottom}, second)};
}

CornerRegion CornerRegionFor(int style, int width, int height, int radius) {
    switch (style) {
    case 1:
        return {RegionKind::RoundRect, {0, 0, Add(width, 1), Add(height, radius)}, radius, radius};
    case 2:
        return {RegionKind::RoundRect, {0, 0, Add(width, 1), Add(height, 1)}, radius, radius};
    default:
        return {RegionKind::Rect, {0, 0, width, height}, 0, 0};
    }
}

} // namespace quill
