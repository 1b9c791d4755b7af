// The note box follows the month calendar: a selection change files the shown text under the day it
// belonged to, shows the new day's note, and marks the days of the month that carry a note in bold.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <optional>
#include <vector>

#include "app/calendar_dlg.h"
#include "diary/date_key.h"
#include "diary/day_move.h"
#include "diary/day_state.h"
#include "ui/text.h"

std::string CCalendarDlg::GetSelectedDateKey() {
    SYSTEMTIME st{};
    if (!MonthCal_GetCurSel(m_calendar, &st))
        return DateKeyOfInstant(0);
    return DateKeyOfDate(st.wYear, st.wMonth, st.wDay);
}

namespace {

// Compared as shown, so that a character the notes cannot hold is still replaced by what was filed.
std::wstring ShownText(HWND edit) {
    std::wstring text(static_cast<std::size_t>(std::max(0, ::GetWindowTextLengthW(edit))) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        std::max(0, ::GetWindowTextW(edit, text.data(), static_cast<int>(text.size())))));
    return text;
}

} // namespace

std::string CCalendarDlg::CurrentNoteText() {
    // Bytes that are no valid text are shown as U+FFFD, so reading back a note nobody changed would
    // file those in their place. The comparison also catches text replaced from outside without a
    // notice to us (WM_SETTEXT by an automation tool clears the box's modified flag).
    const std::wstring shown = ShownText(m_edit);
    const DiarySession& diary = m_session.diary;
    if (!diary.NoteEdited()) {
        std::string original = diary.GetNote(diary.ShownDay());
        if (shown == ui::Wide(original))
            return original;
    }
    return ui::Narrow(shown);
}

void CCalendarDlg::StoreCurrentNote() {
    const SessionChanges filed = m_session.diary.FileNote(CurrentNoteText());
    // Setting the day states repaints the whole calendar, which doubles the cost of a day switch:
    // only when a day gained or lost its note, or another month is shown.
    if (filed.markDays || MonthOfKey(GetSelectedDateKey()) != m_strMarkedMonth)
        MarkNoteDays();
}

void CCalendarDlg::OnSelChangeCalendar(NMHDR*, LRESULT* pResult) {
    StoreCurrentNote();
    DiarySession& diary = m_session.diary;
    std::string key = GetSelectedDateKey();
    const std::wstring note = ui::Wide(diary.GetNote(key));
    // The calendar also reports the day already shown (its today link; Wine's calendar every two
    // minutes): putting the same text back would throw the caret to the start while the user types.
    if (key != diary.ShownDay() || ShownText(m_edit) != note) {
        ::SetWindowTextW(m_edit, note.c_str());
        diary.ShowDay(std::move(key));
    }
    *pResult = 0;
}

void CCalendarDlg::MoveSelection(bool toToday, int days) {
    SYSTEMTIME selected{};
    if (!MonthCal_GetCurSel(m_calendar, &selected))
        return;
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    const std::optional<quill::CivilDate> target = quill::DateAfterMove(
        {selected.wYear, selected.wMonth, selected.wDay}, {toToday, days}, {now.wYear, now.wMonth, now.wDay});
    if (!target)
        return;
    SYSTEMTIME day{};
    day.wYear = static_cast<WORD>(target->year);
    day.wMonth = static_cast<WORD>(target->month);
    day.wDay = static_cast<WORD>(target->day);
    // Setting the selection sends no notice, so the click's own handler runs here: the note is
    // filed, the journal written first, and the new day's note shown.
    if (!MonthCal_SetCurSel(m_calendar, &day))
        return;
    NMSELCHANGE change{};
    change.nmhdr.hwndFrom = m_calendar;
    change.nmhdr.idFrom = IDC_CALENDAR;
    change.nmhdr.code = MCN_SELCHANGE;
    change.stSelStart = day;
    change.stSelEnd = day;
    OnNotify(IDC_CALENDAR, &change.nmhdr);
}

void CCalendarDlg::FollowDate(std::int64_t lastLooked, std::int64_t now) {
    if (!quill::DateChangedSince(lastLooked, now))
        return;
    // Typing is unfiled while the box differs from what the diary holds for its day.
    NoticeTyping();
    const DiarySession& diary = m_session.diary;
    const bool unfiled = CurrentNoteText() != diary.GetNote(diary.ShownDay());
    if (quill::FollowAtDateChange(true, unfiled) == quill::DayFollow::ToToday)
        MoveSelection(true, 0);
}

void CCalendarDlg::MarkNoteDays() {
    m_strMarkedMonth.clear();
    SYSTEMTIME range[2] = {};
    const int months = MonthCal_GetMonthRange(m_calendar, GMR_DAYSTATE, range);
    if (months <= 0)
        return;
    const std::vector<std::uint32_t> mask =
        DayStateWords(months, NoteDaysMask(m_session.diary.Notes(), GetSelectedDateKey()));
    std::vector<MONTHDAYSTATE> words(mask.begin(), mask.end());
    if (MonthCal_SetDayState(m_calendar, months, words.data()))
        m_strMarkedMonth = MonthOfKey(GetSelectedDateKey());
    m_lunar.Refresh();
}
