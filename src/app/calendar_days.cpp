// The note box follows the month calendar: a selection change files the shown text under the day it
// belonged to, shows the new day's note, and marks the days of the month that carry a note in bold.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
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
    if (!m_bNoteEdited) {
        std::string original = GetNote(m_strDateKey);
        if (shown == ui::Wide(original))
            return original;
    }
    return ui::Narrow(shown);
}

void CCalendarDlg::StoreCurrentNote() {
    const std::string key = m_strDateKey;
    const bool wasBlank = IsBlankNote(m_notes.FindNote(key));
    const std::string text = CurrentNoteText();
    const bool nowBlank = IsBlankNote(text);
    const bool changed = m_notes.FindNote(key) != text;
    m_notes.SetNote(key, text);
    if (changed)
        NoteFiled();
    // Setting the day states repaints the whole calendar, which doubles the cost of a day switch:
    // only when a day gained or lost its note, or another month is shown.
    if (wasBlank != nowBlank || MonthOfKey(GetSelectedDateKey()) != m_strMarkedMonth)
        MarkNoteDays();
}

void CCalendarDlg::OnSelChangeCalendar(NMHDR*, LRESULT* pResult) {
    StoreCurrentNote();
    const std::string key = GetSelectedDateKey();
    const std::wstring note = ui::Wide(GetNote(key));
    // The calendar also reports the day already shown (its today link; Wine's calendar every two
    // minutes): putting the same text back would throw the caret to the start while the user types.
    if (key != m_strDateKey || ShownText(m_edit) != note) {
        ::SetWindowTextW(m_edit, note.c_str());
        m_bNoteEdited = false;
    }
    m_strDateKey = key;
    *pResult = 0;
}

void CCalendarDlg::MarkNoteDays() {
    m_strMarkedMonth.clear();
    SYSTEMTIME range[2] = {};
    const int months = MonthCal_GetMonthRange(m_calendar, GMR_DAYSTATE, range);
    if (months <= 0)
        return;
    const std::vector<std::uint32_t> mask =
        DayStateWords(months, NoteDaysMask(m_notes, GetSelectedDateKey()));
    std::vector<MONTHDAYSTATE> words(mask.begin(), mask.end());
    if (MonthCal_SetDayState(m_calendar, months, words.data()))
        m_strMarkedMonth = MonthOfKey(GetSelectedDateKey());
    m_lunar.Refresh();
}

void CCalendarDlg::AddFirstNote(NoteMap& notes) {
    notes.Clear();
    notes.Append(
        NoteEntry{DateKeyOfInstant(static_cast<std::int64_t>(std::time(nullptr))), "俺的第一篇日记.."});
}
