// The note box's side of the diary session: the typing it notices, what the session's commands
// changed shown in the box, the calendar and the tray, and the session's one timer.
#include "app/calendar_dlg.h"
#include "interaction/sync_status_text.h"
#include "ui/text.h"

void CCalendarDlg::NoticeTyping() {
    // The flag is taken down here so that the next keystroke raises it again and restarts the pause.
    if (m_edit && ::SendMessageW(m_edit, EM_GETMODIFY, 0, 0)) {
        ::SendMessageW(m_edit, EM_SETMODIFY, FALSE, 0);
        m_session.diary.Typed();
    }
}

void CCalendarDlg::Show(const SessionChanges& changes) {
    DiarySession& diary = m_session.diary;
    if (changes.showNote) {
        ::SetWindowTextW(m_edit, ui::Wide(diary.GetNote(diary.ShownDay())).c_str());
        ::SendMessageW(m_edit, EM_SETMODIFY, FALSE, 0);
    }
    if (changes.markDays) {
        MarkNoteDays();
        // New day states alone do not repaint the month calendar (Wine's does not): without this a
        // note from another PC turns its day bold only at the next selection.
        ::InvalidateRect(m_calendar, nullptr, FALSE);
    }
    if (changes.tellUser)
        m_tray.icon.ShowBalloon(quill::kSyncFailedTitle, quill::SyncStatusText(diary.LastRun().status));
    if (changes.syncStatus) {
        ShowSyncTip();
        m_session.TellSyncDialog();
    }
    if (const std::optional<std::uint64_t> wait = diary.TimerToSet())
        ::SetTimer(m_hWnd, ID_TIMER_SESSION, static_cast<UINT>(std::min<std::uint64_t>(*wait, 0x7FFFFFFF)),
                   nullptr);
}
