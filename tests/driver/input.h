// Real input for a program under test, through SendInput only: every mouse event carries its own
// absolute position, keys go to the focus of the foreground window, text goes in as Unicode.
// Whatever does not happen in time is reported (driver/report.h).
#pragma once

#include <windows.h>

#include <initializer_list>
#include <string_view>

namespace driver {

enum class Button { Left, Right };

// Makes the top-level window of w the foreground window; false, with a report, if it cannot.
bool BringToFront(HWND w);
// Waits until the thread of w has taken what was sent to it so far (bounded).
bool Settle(HWND w);

// Screen points.
void MoveTo(POINT screen);
void PressAt(POINT screen, Button b = Button::Left);
void ReleaseAt(POINT screen, Button b = Button::Left);
void ClickAt(POINT screen, Button b = Button::Left);
// Presses at from, moves there in steps, releases at to.
void DragAt(POINT from, POINT to, int steps = 8);

// Client points of w; each settles w afterwards. The mouse does not bring w to the front first: a
// click does that itself, as it would for a user.
void Click(HWND w, POINT client, Button b = Button::Left);
void DoubleClick(HWND w, POINT client);
void Drag(HWND w, POINT fromClient, POINT toClient, int steps = 8);

// Keys go to the focus of the foreground window: these bring w to the front first, then settle it.
void KeyDown(WORD vk);
void KeyUp(WORD vk);
bool Key(HWND w, WORD vk);
// Holds the keys down in order and lets them go in reverse (Ctrl+A is {VK_CONTROL, 'A'}).
bool Chord(HWND w, std::initializer_list<WORD> vks);
// Types text as Unicode characters (KEYEVENTF_UNICODE), whatever the keyboard layout.
bool Type(HWND w, std::wstring_view text);

// A plain window of the driver's own, laid over the program's, to see the program's window come
// forward. Not a static control: those are transparent to hit-testing, so WindowFromPoint would look
// through them.
class CoverWindow {
  public:
    explicit CoverWindow(const RECT& screen);
    ~CoverWindow();
    CoverWindow(const CoverWindow&) = delete;
    CoverWindow& operator=(const CoverWindow&) = delete;
    HWND Get() const { return m_window; }

  private:
    HWND m_window = nullptr;
};

} // namespace driver
