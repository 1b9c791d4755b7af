// The About box's identity texts, and the link control's look and hover states without a window.
#pragma once

#include "appearance/color_scheme.h"
#include "appearance/paint_geometry.h"
#include "interaction/placement.h"
#include "res/identity.h"

#include <string_view>

namespace quill {

// The texts themselves live in res/identity.h, which the resource script shares.
inline constexpr std::string_view kAboutHomePage = QUILL_HOME_URL;
inline constexpr std::string_view kAboutSupportMail = QUILL_SUPPORT_MAIL;

// What the two links hand to the shell, and their tooltips.
inline constexpr std::string_view kHomeLinkTarget = QUILL_HOME_URL "?id=10pa";
inline constexpr std::string_view kMailLinkTarget = "mailto:" QUILL_SUPPORT_MAIL;
inline constexpr std::string_view kHomeLinkTip = "访问主页";
inline constexpr std::string_view kMailLinkTip = "发送邮件给作者";

inline constexpr unsigned kLinkLeaveTimerId = 5;
inline constexpr unsigned kLinkLeavePeriodMs = 100;
inline constexpr int kLinkStyleButtonFace = 2; // the only preset the About box uses

struct LinkColors {
    Colorref text = 0;
    Colorref back = 0;   // fill of the rounded box
    Colorref border = 0; // its outline
    friend bool operator==(const LinkColors&, const LinkColors&) = default;
};

struct LinkLook {
    LinkColors normal;
    LinkColors hover;
    int radius = 0; // width and height of the rounded box's corner ellipse
    friend bool operator==(const LinkLook&, const LinkLook&) = default;
};

// Dark grey text on a near-white box with a grey outline, the same in both states; the box's corners
// are rounded by 5 pixels at 96 DPI, scaled to the dialog's `dpi`.
LinkLook InitialLinkLook(int dpi = kDefaultDpi);

// Preset 2: blue text on the button face, box and outline vanishing into the dialog. `buttonFace` is
// the system colour read at the call. Other presets leave the look as it is; fonts and radius never
// change here.
LinkLook ApplyLinkPreset(const LinkLook& look, int preset, Colorref buttonFace);

// The two fonts the control creates: the same face and size, underlined while hovered; 11 pixels high
// at 96 DPI, scaled to the dialog's `dpi`.
struct LinkFont {
    int height = -11;
    int weight = 400;
    bool underline = false;
    std::string_view face = "MS Shell Dlg 2";
};
LinkFont LinkFontFor(bool hovered, int dpi = kDefaultDpi);

// What the control must do after an event; the glue carries it out in field order.
struct LinkEffects {
    bool setHoverFont = false;
    bool setNormalFont = false;
    bool startTimer = false; // (re)start kLinkLeaveTimerId with kLinkLeavePeriodMs
    bool killTimer = false;
    bool redraw = false;
    friend bool operator==(const LinkEffects&, const LinkEffects&) = default;
};

// Leaving is found by polling the cursor, not by mouse-leave tracking, so a pointer that leaves with a
// button held still drops the hover.
class LinkHoverState {
  public:
    bool IsHovered() const { return hovered_; }

    LinkEffects OnMouseMove();

    // `window` and `cursor` in screen coordinates; the window's right and bottom edges are outside.
    LinkEffects OnTimer(unsigned timerId, const ScreenRect& window, ScreenPoint cursor);

  private:
    bool hovered_ = false;
};

} // namespace quill
