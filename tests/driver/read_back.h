// Reading a program's windows back from outside: rectangles, the screen's pixels, class names,
// focus and text. Text read through a message is bounded; TextW reports when it gets no answer.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "driver/wait.h"

namespace driver {

POINT ToScreen(HWND w, POINT client);
RECT WindowRect(HWND w); // screen coordinates
RECT ClientRect(HWND w); // client coordinates: left and top are 0
// The window rectangle of a child in the client coordinates of its parent.
RECT RectInParent(HWND child);
inline LONG Width(const RECT& r) {
    return r.right - r.left;
}
inline LONG Height(const RECT& r) {
    return r.bottom - r.top;
}

// The colour on screen at a point, from the screen's device context.
COLORREF ScreenPixel(POINT screen);
// What draw paints into a bitmap of width by height pixels (given its memory device context; false
// when it could not paint), row by row from the top, each pixel a DIB word 0x00RRGGBB; empty when
// the bitmap cannot be made or draw fails.
std::vector<std::uint32_t> DrawOffScreen(int width, int height, const std::function<bool(HDC)>& draw);
// A block of the screen (screen coordinates) in one copy, row by row from the top, each pixel a
// DIB word 0x00RRGGBB; empty when the rectangle is empty or the copy fails.
std::vector<std::uint32_t> CaptureScreen(const RECT& screen);
// Saves the whole screen as a 24-bit BMP file.
bool SaveScreenshot(const std::wstring& path);

// The window with the keyboard focus in the thread of w (null when none).
HWND FocusedWindow(HWND w);
HWND Child(HWND parent, int id);
std::wstring ClassName(HWND w);
// "window 0000000000010086 (#32770)", for reports.
std::string DescribeWindow(HWND w);

// The text of a window of any process (WM_GETTEXT); nothing, and no report, when it does not
// answer within timeoutMs.
std::optional<std::wstring> ReadText(HWND w, DWORD timeoutMs = kWaitMs);
// The same, reporting a window that does not answer (the text is then empty).
std::wstring TextW(HWND w);
// The text as the program holds it: GBK bytes (code page 936).
std::string TextGbk(HWND w);

} // namespace driver
