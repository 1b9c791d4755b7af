// The note box's repaint after a scroll. A multi-line edit box scrolls only its text rectangle, a
// whole number of lines, by copying what is on the screen. A scroll by more than the box is high
// (dragging the scroll box of a long note moves many lines at once) copies, with Wine's at least,
// from outside the box into the strip under the last line, which the box never invalidates: a slice
// of the month calendar stays there until something repaints the whole box (the clock, once a second
// or a minute). Here the box invalidates that strip and its other margins whenever its first visible
// line changed, and paints them at once. Text another program puts in with WM_SETTEXT is reported to
// the window as typing (EN_CHANGE, the modified flag set), so the journal keeps it like a key.
#pragma once
#include <windows.h>

class NoteBox {
  public:
    NoteBox() = default;
    NoteBox(const NoteBox&) = delete;
    NoteBox& operator=(const NoteBox&) = delete;
    ~NoteBox();

    void Attach(HWND edit);

  private:
    static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                         DWORD_PTR self);
    void RepaintMargins() const;

    HWND m_hWnd = nullptr;
};
