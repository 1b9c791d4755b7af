// The title strip and the window's frame: the scheme's colours and the pens, brush and font they are
// drawn with, the window's sizes at its DPI, the strip's and the menu box's rectangles, the clock
// text's last change, and the painting of it all.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "appearance/calendar_settings.h"
#include "appearance/clock_format.h"
#include "appearance/paint_geometry.h"
#include "ui/handle.h"

class TitleStrip {
  public:
    TitleStrip();

    // The colours of a known scheme; an unknown one keeps the colours in use.
    void SetScheme(int scheme);
    void SetFont(const LogFontData& font);
    // Every size follows the DPI: the pens, the font and the rectangles are made again at the new one.
    void SetDpi(int dpi);
    // The strip across the client width, the menu box at its left end.
    void Layout(int clientWidth);

    COLORREF Back() const { return m_crBack; }
    COLORREF Accent() const { return m_crAccent; }
    COLORREF Text() const { return m_crText; }
    const RECT& StripRect() const { return m_rcTitle; }
    const RECT& MenuBox() const { return m_rcMenuButton; }
    const quill::WindowMetrics& Metrics() const { return m_metrics; }

    // Background, gradient, frame, menu box, clock text and the line under the strip.
    void Paint(HDC dc, const RECT& client, const CalendarSettings& settings, const std::wstring& clock) const;

    // Whether the clock's text for the second `now` differs from the one shown; called on every
    // tick, so it compares once per second and allocates nothing.
    bool ClockChanged(std::int64_t now, std::string_view pattern);
    // The last second the clock tick compared, -1 before the first tick.
    std::int64_t LastChecked() const { return m_timeChecked; }
    void ClockShownAt(std::int64_t now) {
        m_timeShown = now;
        m_nTextShown = kNoTextShown;
    }
    // The clock's text as the strip shows it: the one the last tick found, expanded here only when
    // nothing was expanded yet for this pattern (the first paint, a format just chosen). The tick and
    // the paint share it, so a second's text is expanded once.
    std::string_view ShownText(std::int64_t now, std::string_view pattern);

  private:
    void MakeFont();

    COLORREF m_crBack = 0;
    COLORREF m_crAccent = 0;
    COLORREF m_crText = 0;
    quill::WindowMetrics m_metrics;
    ui::Pen m_penAccent;
    ui::Pen m_penText;
    ui::Brush m_brAccent;
    LogFontData m_font;
    bool m_bFontSet = false;
    // The height the font is drawn with: the record's, within the strip and at the DPI.
    int m_nDrawnHeight = 0;
    ui::Font m_fontTitle;
    int m_nClientWidth = -1;
    RECT m_rcTitle{};
    RECT m_rcMenuButton{};
    std::int64_t m_timeShown = 0;
    // The text of m_timeShown as last compared; kNoTextShown until the first comparison.
    static constexpr std::size_t kNoTextShown = static_cast<std::size_t>(-1);
    quill::ClockTextBuffer m_textShown{};
    std::size_t m_nTextShown = kNoTextShown;
    // The pattern m_textShown was expanded from.
    std::string m_patternShown;
    // The last second the clock tick compared; -1 before the first tick.
    std::int64_t m_timeChecked = -1;
};
