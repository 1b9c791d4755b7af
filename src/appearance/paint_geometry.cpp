// Where the calendar window paints: title strip, menu box, triangle, clock text, gradient and outline.
#include "appearance/paint_geometry.h"

#include <algorithm>
#include <limits>

namespace quill {
namespace {

int ClampToInt(std::int64_t value) {
    return static_cast<int>(
        std::clamp<std::int64_t>(value, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

int Add(int a, int b) {
    return ClampToInt(std::int64_t{a} + b);
}

std::uint16_t Wide16(std::uint8_t channel) {
    return static_cast<std::uint16_t>(channel << 8);
}

} // namespace

ClientRect TitleStripRect(int clientWidth, int titleHeight) {
    return {0, 0, clientWidth, titleHeight};
}

ClientRect MenuButtonRect(int titleHeight) {
    return {0, 0, kMenuButtonWidth, Add(titleHeight, 1)};
}

std::array<ClientPoint, 3> MenuTriangle() {
    return {{{3, 9}, {13, 9}, {8, 14}}};
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
