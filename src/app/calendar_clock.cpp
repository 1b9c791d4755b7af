// The window's timers: the clock's tick, which wakes at the next change of its text and repaints the
// strip, the diary session's (the journal's due check, the sync's runs) and the tray icon's tries.
// Between two changes the program sleeps.
#include <windows.h>

#include <string>

#include "app/calendar_dlg.h"
#include "appearance/clock.h"
#include "appearance/clock_format.h"
#include "appearance/clock_tick.h"

void CCalendarDlg::ArmClock() {
    const CalendarSettings& settings = m_session.diary.Settings();
    const std::string_view pattern =
        quill::ClockPatternFor(settings.m_nTimeFormat, settings.m_strCustomFormat);
    // Set again at every tick, from the system time: a tick that came late, a sleep or a clock set
    // back or forward changes only the next wait, never where the ticks fall.
    quill::SetClockTimer(m_hWnd, ID_TIMER_CLOCK,
                         quill::MsToNextClockTick(quill::ClockNowMs(), quill::ClockStepOf(pattern)));
}

void CCalendarDlg::OnTimer(UINT_PTR nIDEvent) {
    switch (nIDEvent) {
    case ID_TIMER_CLOCK: {
        // The menu's texts and the core's table are one and the same, so the tick reads the table
        // and neither touches the menu nor allocates.
        const CalendarSettings& settings = m_session.diary.Settings();
        const std::string_view pattern =
            quill::ClockPatternFor(settings.m_nTimeFormat, settings.m_strCustomFormat);
        const std::int64_t lastLooked = m_strip.LastChecked();
        const std::int64_t now = quill::ClockNowSeconds();
        // No erase: the paint covers the strip, and an erase first would fill it twice.
        if (m_strip.ClockChanged(now, pattern))
            ::RedrawWindow(m_hWnd, &m_strip.StripRect(), nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        // The clock wakes at least once a minute, and at once when the time is set or the machine
        // wakes: a day that began while the window was open is noticed within that minute.
        FollowDate(lastLooked, now);
        ArmClock();
        break;
    }
    case ID_TIMER_SESSION:
        // Set again, when anything is due, by what the tick changed.
        ::KillTimer(m_hWnd, ID_TIMER_SESSION);
        Show(m_session.diary.Tick([this] { return CurrentNoteText(); }));
        break;
    case ID_TIMER_TRAY:
        m_tray.OnTrayTimer(m_hWnd, m_icons.Tray(), ID_TIMER_TRAY);
        break;
    default:
        break;
    }
}
