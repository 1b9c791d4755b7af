// The About box's identity texts, and the link control's look and hover states without a window.
#include "interaction/link_state.h"

namespace quill {
namespace {

bool Contains(const ScreenRect& rect, ScreenPoint point) {
    return point.x >= rect.left && point.x < rect.right && point.y >= rect.top && point.y < rect.bottom;
}

} // namespace

LinkLook InitialLinkLook(int dpi) {
    const LinkColors colors{Rgb(50, 50, 50), Rgb(250, 250, 250), Rgb(150, 150, 150)};
    return {colors, colors, ScaleForDpi(5, dpi)};
}

LinkLook ApplyLinkPreset(const LinkLook& look, int preset, Colorref buttonFace) {
    if (preset != kLinkStyleButtonFace) {
        return look;
    }
    const LinkColors colors{Rgb(0, 0, 250), buttonFace, buttonFace};
    return {colors, colors, look.radius};
}

LinkFont LinkFontFor(bool hovered, int dpi) {
    LinkFont font;
    font.height = ScaleForDpi(font.height, dpi);
    font.underline = hovered;
    return font;
}

LinkEffects LinkHoverState::OnMouseMove() {
    hovered_ = true;
    LinkEffects effects;
    effects.setHoverFont = true;
    effects.startTimer = true;
    return effects;
}

LinkEffects LinkHoverState::OnTimer(unsigned timerId, const ScreenRect& window, ScreenPoint cursor) {
    LinkEffects effects;
    if (timerId != kLinkLeaveTimerId || Contains(window, cursor)) {
        return effects;
    }
    hovered_ = false;
    effects.setNormalFont = true;
    effects.killTimer = true;
    effects.redraw = true;
    return effects;
}

} // namespace quill
