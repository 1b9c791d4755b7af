// The note box's repaint after a scroll. A multi-line edit box scrolls only its text rectangle, a
// whole number of lines, by copying what is on the screen; a scroll by more than the box is high
// (dragging the scroll box, Ctrl+End in a long note) copies from outside the box, and the strip
// under the last line, which the copy reaches but the box never invalidates, then shows a slice of
// the month calendar until something repaints the whole box. Here the box invalidates that strip
// and the other margins itself whenever its first visible line changed.
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
