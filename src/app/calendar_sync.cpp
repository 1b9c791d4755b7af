// The sync's side in the window: its dialog and what the tray says about it. When runs start, what
// they bring and how long a close waits for them are the diary session's; the runs themselves are
// the worker's, off this thread.
#include <windows.h>

#include "app/calendar_dlg.h"
#include "interaction/sync_status_text.h"
#include "interaction/tray_record.h"

void CCalendarDlg::ShowSyncDialog() {
    // One box at a time: a second sync box would keep whichever account was confirmed last, and any
    // box open over the window is what the user has to answer first.
    if (m_session.SyncDialogOpen() || !::IsWindowEnabled(m_hWnd)) {
        ComeForward();
        return;
    }
    CSyncDlg dlg(m_session);
    dlg.DoModal();
}

void CCalendarDlg::ShowSyncTip() {
    const DiarySession& diary = m_session.diary;
    if (!diary.Account()) {
        m_tray.icon.SetTip({});
        return;
    }
    m_tray.icon.SetTip(quill::SyncTrayTip(quill::MakeTrayRecord(false).tip, diary.LastRun(),
                                          m_session.platform.NowSeconds(), LocalMinuteAt));
}
