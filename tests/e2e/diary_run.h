// The diary's end-to-end tests' run of the program and their fixture, which keeps the user's safety
// folder aside.
#pragma once

#include "diary_helpers.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace e2e::diary {

// One run of the program and its two diary controls.
class DiaryRun : public ControlsRun {
  public:
    DiaryRun() = default;
    // A later start in the same temporary folder.
    explicit DiaryRun(const DiaryRun& earlier) : ControlsRun(earlier) {}

    std::optional<std::string> File(const wchar_t* name) const { return m_app.ReadTempFile(name); }

    // Puts the caret at the end of the note box.
    bool FocusNote() {
        if (!BringToFront(window))
            return false;
        const RECT box = ClientRect(note);
        Click(note, {box.right / 2, box.bottom / 2});
        if (!WaitUntil([&] { return FocusedWindow(window) == note; }, 2000)) {
            ADD_FAILURE() << "a click into the note box did not give it the focus";
            return false;
        }
        return Chord(window, {VK_CONTROL, VK_END});
    }

    bool TypeNote(std::wstring_view text) { return FocusNote() && Type(window, text); }

    // Tab keys move the focus out of the note box, so a tab reaches a note the way users put one
    // there: pasted.
    bool PasteNote(std::wstring_view text) {
        if (!FocusNote() || !OpenClipboard(nullptr))
            return false;
        EmptyClipboard();
        HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
        if (mem) {
            auto* p = static_cast<wchar_t*>(GlobalLock(mem));
            std::copy(text.begin(), text.end(), p);
            p[text.size()] = L'\0';
            GlobalUnlock(mem);
            if (!SetClipboardData(CF_UNICODETEXT, mem))
                GlobalFree(mem);
        }
        CloseClipboard();
        return Chord(window, {VK_CONTROL, 'V'});
    }

    bool ClearNote() {
        return FocusNote() && Chord(window, {VK_CONTROL, VK_SHIFT, VK_HOME}) && Key(window, VK_DELETE);
    }

    // Moves the selection with an arrow key on the month calendar. A calendar that takes no keys (Wine's)
    // gets a click on the day instead.
    bool Select(const SYSTEMTIME& day, WORD arrow) {
        const std::string before = Note();
        for (int i = 0; i < 3 && FocusedWindow(window) != calendar; ++i)
            Chord(window, {VK_SHIFT, VK_TAB});
        if (FocusedWindow(window) != calendar) {
            ADD_FAILURE() << "Shift+Tab did not reach the month calendar";
            return false;
        }
        if (Note() != before) {
            ADD_FAILURE() << "Shift+Tab changed the note";
            return false;
        }
        Key(window, arrow);
        std::optional<SYSTEMTIME> now = Selection();
        if (now && SameDay(*now, day)) {
            s_keyboardMoves = true;
            return true;
        }
        s_clickMoves = true;
        std::optional<RECT> cell = DayCell(m_app.Handle(), calendar, day);
        if (!cell) {
            ADD_FAILURE() << "day " << day.wDay << " is not on the calendar";
            return false;
        }
        Click(calendar, {(cell->left + cell->right) / 2, (cell->top + cell->bottom) / 2});
        now = Selection();
        if (!now || !SameDay(*now, day)) {
            ADD_FAILURE() << "neither the arrow key nor a click selected day " << day.wDay;
            return false;
        }
        return true;
    }

    // The ink of a day's cell once the calendar has painted everything asked of it so far.
    int DayInk(const SYSTEMTIME& day) {
        Settle(window);
        WaitUntil([&] { return !GetUpdateRect(calendar, nullptr, FALSE); }, 2000);
        Pump(50);
        std::optional<RECT> cell = DayCell(m_app.Handle(), calendar, day);
        if (!cell) {
            ADD_FAILURE() << "day " << day.wDay << " is not on the calendar";
            return -1;
        }
        return Ink(calendar, *cell);
    }

    // The context menu's "关闭": the OK path.
    bool Close() {
        PostMessageW(window, WM_COMMAND, kCloseCommand, 0);
        return m_app.WaitForExit();
    }

    bool Cancel() { return Key(window, VK_ESCAPE) && m_app.WaitForExit(); }

    static inline bool s_keyboardMoves = false;
    static inline bool s_clickMoves = false;
};

// Bold against plain of the same cell in the same state: the measured bold numbers hold about
// two and a half times the contrast of plain ones.
inline ::testing::AssertionResult Bolder(int bold, int plain) {
    if (plain > 0 && bold * 4 >= plain * 5)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "ink " << bold << " is not clearly more than plain " << plain;
}

class Diary : public ::testing::Test {
  protected:
    SafetyFolderAside m_safety;
};

} // namespace e2e::diary
