// The note box's repaint after a scroll. A multi-line edit box scrolls only its text rectangle, a
// whole number of lines, by copying what is on the screen. A scroll by more than the box is high
// (dragging the scroll box of a long note moves many lines at once) copies, with Wine's at least,
// from outside the box into the strip under the last line, which the box never invalidates: a slice
// of the month calendar stays there until something repaints the whole box (the clock, once a second
// or a minute). Here the box invalidates that strip and its other margins whenever its first visible
// line changed, and paints them at once. Text another program puts in with WM_SETTEXT is reported to
// the window as typing (EN_CHANGE, the modified flag set), so the journal keeps it like a key.
//
// The box also keeps its text whole when the focus arrives. The dialog manager selects all of an
// edit box's text when Tab, a mnemonic or the window's activation gives it the focus, and in a diary
// that files the box's text when the day changes one key after a Tab would replace the whole note.
// Here the focus brings the caret to the end of the text with nothing selected (a click keeps the
// point it was made at), and Ctrl+A, which a plain multi-line box ignores, selects all.
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
    // The caret to the end of the text, nothing selected.
    void CaretToEnd() const;

    HWND m_hWnd = nullptr;
    // A click is being handled: the box set the caret at the point before it took the focus.
    bool m_bClicking = false;
};
