// The clock's time source and its timer, shared by the strip's text and the window's tick.
#pragma once
#include <windows.h>

#include <cstdint>

namespace quill {

// Milliseconds and whole seconds since 1970 from the system clock.
std::int64_t ClockNowMs();
std::int64_t ClockNowSeconds();

// A timer the system may put off by a few milliseconds to wake together with other timers, where
// the system has one (Windows 8 and later); a plain timer elsewhere.
void SetClockTimer(HWND window, UINT_PTR id, UINT ms);

} // namespace quill
