// The note box follows the month calendar: a selection change files the shown text under the day it
// belonged to, shows the new day's note, and marks the days of the month that carry a note in bold.
#include <windows.h>
#include <commctrl.h>

#include <ctime>
#include <vector>

#include "app/calendar_dlg.h"
#include "diary/date_key.h"
#include "diary/day_state.h"
#include "ui/text.h"

std::string CCalendarDlg::GetSelectedDateKey() {
    SYSTEMTIME st{};
    if (!MonthCal_GetCurSel(m_calendar, &st))
        return DateKeyOfInstant(0);
    return DateKeyOfDate(st.wYear, st.wMonth, st.wDay);
}

void CCalendarDlg::StoreCurrentNote() {
    const std::string key = m_strDateKey;
    SetNote(key, ui::WindowTextGbk(m_edit));
    MarkNoteDays();
}

void CCalendarDlg::OnSelChangeCalendar(NMHDR*, LRESULT* pResult) {
    StoreCurrentNote();
    const std::string key = GetSelectedDateKey();
    ::SetWindowTextW(m_edit, ui::Wide(GetNote(key)).c_str());
    m_strDateKey = key;
    *pResult = 0;
}

void CCalendarDlg::MarkNoteDays() {
    SYSTEMTIME range[2] = {};
    const int months = MonthCal_GetMonthRange(m_calendar, GMR_DAYSTATE, range);
    if (months <= 0)
        return;
    const std::vector<std::uint32_t> mask =
        DayStateWords(months, NoteDaysMask(m_notes, GetSelectedDateKey()));
    std::vector<MONTHDAYSTATE> words(mask.begin(), mask.end());
    MonthCal_SetDayState(m_calendar, months, words.data());
}

void CCalendarDlg::AddFirstNote(NoteMap& notes) {
    notes.Clear();
    notes.Append(
        NoteEntry{DateKeyOfInstant(static_cast<std::int64_t>(std::time(nullptr))), "俺的第一篇日记.."});
}
