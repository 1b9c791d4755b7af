// The window's timers: the clock's tick, which wakes at the next change of its text and repaints the
// strip, the journal's due check and the tray icon's tries. Between two changes the program sleeps.
#include <windows.h>

#include <string>

#include "app/calendar_dlg.h"
#include "appearance/clock.h"
#include "appearance/clock_format.h"
#include "appearance/clock_tick.h"

std::string CCalendarDlg::ClockTextShown() {
    // The same table the tick reads: the menu's item texts are made from it too.
    return std::string(
        m_strip.ShownText(quill::ClockNowSeconds(),
                          quill::ClockPatternFor(m_settings.m_nTimeFormat, m_settings.m_strCustomFormat)));
}

void CCalendarDlg::ArmClock() {
    const std::string_view pattern =
        quill::ClockPatternFor(m_settings.m_nTimeFormat, m_settings.m_strCustomFormat);
    // Set again at every tick, from the system time: a tick that came late, a sleep or a clock set
    // back or forward changes only the next wait, never where the ticks fall.
    quill::SetClockTimer(m_hWnd, ID_TIMER_CLOCK,
                         quill::MsToNextClockTick(quill::ClockNowMs(), quill::ClockStepOf(pattern)));
}

void CCalendarDlg::ArmJournalCheck() {
    // A tenth of the pause the journal waits for: it is written at most that much late.
    if (m_journal.Pending())
        ::SetTimer(m_hWnd, ID_TIMER_JOURNAL, kJournalQuietMs / 10, nullptr);
}

void CCalendarDlg::OnTimer(UINT_PTR nIDEvent) {
    switch (nIDEvent) {
    case ID_TIMER_CLOCK: {
        // The menu's texts and the core's table are one and the same, so the tick reads the table
        // and neither touches the menu nor allocates.
        const std::string_view pattern =
            quill::ClockPatternFor(m_settings.m_nTimeFormat, m_settings.m_strCustomFormat);
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
    case ID_TIMER_JOURNAL:
        JournalTick();
        if (!m_journal.Pending())
            ::KillTimer(m_hWnd, ID_TIMER_JOURNAL);
        break;
    case ID_TIMER_TRAY:
        OnTrayTimer();
        break;
    case ID_TIMER_SYNC:
        OnSyncTimer();
        break;
    default:
        break;
    }
}
