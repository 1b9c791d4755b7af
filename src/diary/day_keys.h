// The keys that change the day, wherever the focus is: the month calendar and the note box each send
// the window a day move for Ctrl+arrows and Ctrl+Home instead of handling the key themselves (Wine's
// month calendar ignores arrows, and the note box would move the caret by a word).
#pragma once
#include <windows.h>

// Sent to the control's parent: wParam is nonzero for today, lParam the days to move otherwise.
inline constexpr UINT WM_DAY_MOVE = WM_APP + 30;

// The control sends WM_DAY_MOVE from now until it is destroyed.
void AttachDayKeys(HWND control);
