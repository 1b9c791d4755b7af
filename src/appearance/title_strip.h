// The title strip and the window's frame: the scheme's colours and the pen, brush and font they are
// drawn with, the strip's and the menu box's rectangles, the clock text's last change, and the
// painting of it all.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "appearance/calendar_settings.h"
#include "ui/handle.h"

class TitleStrip {
  public:
    TitleStrip();

    // The colours of a known scheme; an unknown one keeps the colours in use.
    void SetScheme(int scheme);
    void SetFont(const LogFontData& font);
    // The strip across the client width, the menu box at its left end.
    void Layout(int clientWidth);

    COLORREF Back() const { return m_crBack; }
    COLORREF Accent() const { return m_crAccent; }
    COLORREF Text() const { return m_crText; }
    const RECT& StripRect() const { return m_rcTitle; }
    const RECT& MenuBox() const { return m_rcMenuButton; }

    // Background, gradient, frame, menu box, clock text and the line under the strip.
    void Paint(HDC dc, const RECT& client, const CalendarSettings& settings, const std::wstring& clock) const;

    // Whether the clock's text for the second `now` differs from the one shown; called on every
    // tick, so it compares once per second and allocates nothing.
    bool ClockChanged(std::int64_t now, std::string_view pattern);
    void ClockShownAt(std::int64_t now) { m_timeShown = now; }

  private:
    COLORREF m_crBack = 0;
    COLORREF m_crAccent = 0;
    COLORREF m_crText = 0;
    ui::Pen m_penAccent;
    ui::Pen m_penText;
    ui::Brush m_brAccent;
    ui::Font m_fontTitle;
    RECT m_rcTitle{};
    RECT m_rcMenuButton{};
    std::int64_t m_timeShown = 0;
    // The last second the clock tick compared; -1 before the first tick.
    std::int64_t m_timeChecked = -1;
};
