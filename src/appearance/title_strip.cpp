// The title strip's colours, drawing objects and painting.
#include "appearance/title_strip.h"

#include "appearance/color_scheme.h"
#include "appearance/font_glue.h"
#include "appearance/paint_geometry.h"
#include "appearance/title_font.h"

namespace {

RECT ToRect(const quill::ClientRect& r) {
    return RECT{r.left, r.top, r.right, r.bottom};
}

quill::ClientRect ToClientRect(const RECT& r) {
    return {r.left, r.top, r.right, r.bottom};
}

TRIVERTEX ToVertex(const quill::GradientVertex& v) {
    TRIVERTEX t{};
    t.x = v.x;
    t.y = v.y;
    t.Red = v.red;
    t.Green = v.green;
    t.Blue = v.blue;
    t.Alpha = v.alpha;
    return t;
}

} // namespace

TitleStrip::TitleStrip() {
    // A settings file may name a scheme without colours; until a valid one is applied the window
    // uses the blue scheme's rather than painting black on black.
    const quill::ColorScheme startup = quill::StartupColors();
    m_crBack = startup.back;
    m_crAccent = startup.accent;
    m_crText = startup.text;
}

void TitleStrip::SetScheme(int scheme) {
    if (auto colors = quill::FindColorScheme(scheme)) {
        m_crBack = colors->back;
        m_crAccent = colors->accent;
        m_crText = colors->text;
    }
    m_penAccent.reset(::CreatePen(PS_SOLID, 1, m_crAccent));
    m_penText.reset(::CreatePen(PS_SOLID, 1, m_crText));
    m_brAccent.reset(::CreateSolidBrush(m_crAccent));
}

void TitleStrip::SetFont(const LogFontData& font) {
    m_font = font;
    m_bFontSet = true;
    MakeFont();
}

void TitleStrip::MakeFont() {
    LOGFONTW lf = ToLogFontW(m_font);
    m_nDrawnHeight = quill::DrawnTitleFontHeight(m_font.lfHeight, m_metrics.dpi);
    lf.lfHeight = m_nDrawnHeight;
    m_fontTitle.reset(::CreateFontIndirectW(&lf));
}

void TitleStrip::SetDpi(int dpi) {
    m_metrics = quill::MetricsForDpi(dpi);
    if (m_bFontSet)
        MakeFont();
    if (m_nClientWidth >= 0)
        Layout(m_nClientWidth);
}

void TitleStrip::Layout(int clientWidth) {
    m_nClientWidth = clientWidth;
    m_rcTitle = ToRect(quill::TitleStripRect(clientWidth, m_metrics.titleHeight));
    m_rcMenuButton = ToRect(quill::MenuButtonRect(m_metrics.titleHeight, m_metrics.menuButtonWidth));
}

void TitleStrip::Paint(HDC dc, const RECT& client, const CalendarSettings& settings,
                       const std::wstring& clock) const {
    {
        ui::Brush back(::CreateSolidBrush(m_crBack));
        ::FillRect(dc, &client, back.get());
    }

    if (auto gradient =
            quill::TitleGradientFor(settings.m_nGradient, m_crBack, m_crAccent, ToClientRect(m_rcTitle))) {
        TRIVERTEX vertices[2] = {ToVertex(gradient->start), ToVertex(gradient->end)};
        GRADIENT_RECT rect{0, 1};
        // gdi32's own entry: msimg32, whose GradientFill forwards here, is no KnownDLL.
        ::GdiGradientFill(dc, vertices, 2, &rect, 1,
                          gradient->direction == quill::GradientDirection::Vertical ? GRADIENT_FILL_RECT_V
                                                                                    : GRADIENT_FILL_RECT_H);
    }

    ui::SelectGuard font(dc, m_fontTitle.get());
    ui::SelectGuard pen(dc, m_penText.get());
    ui::SelectGuard brush(dc, m_brAccent.get());

    ::FrameRect(dc, &client, m_brAccent.get());
    ::FrameRect(dc, &m_rcMenuButton, m_brAccent.get());

    const auto corners = quill::MenuTriangle(m_metrics.dpi);
    POINT triangle[3];
    for (int i = 0; i < 3; ++i)
        triangle[i] = POINT{corners[i].x, corners[i].y};
    ::Polygon(dc, triangle, 3);

    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, m_crText);
    // An ampersand in a pattern of the user's is text, not a mnemonic to underline.
    constexpr UINT kTextFlags = DT_TOP | DT_NOPREFIX;
    const int length = static_cast<int>(clock.size());
    RECT measured{0, 0, 0, 0};
    ::DrawTextW(dc, clock.c_str(), length, &measured, kTextFlags | DT_CALCRECT);
    const quill::ClockTextPlacement place =
        quill::PlaceClockText(ToClientRect(m_rcTitle), ToClientRect(m_rcMenuButton), m_nDrawnHeight,
                              m_metrics.titleHeight, measured.right - measured.left);
    RECT rcText = ToRect(place.rect);
    ::DrawTextW(dc, clock.c_str(), length, &rcText,
                kTextFlags | (place.centred ? DT_CENTER : DT_LEFT | DT_END_ELLIPSIS));

    ui::SelectGuard line(dc, m_penAccent.get());
    const quill::LineSegment under = quill::StripUnderline(ToClientRect(m_rcTitle));
    ::MoveToEx(dc, under.from.x, under.from.y, nullptr);
    ::LineTo(dc, under.to.x, under.to.y);
}
