// Time and bounded waits of the driver: every wait it offers ends, whatever the program does.
#pragma once

#include <windows.h>

#include <functional>

namespace driver {

// The longest any single wait of the driver takes unless its caller names another bound.
inline constexpr DWORD kWaitMs = 10000;

// Seconds on the performance counter, for intervals.
double SecondsNow();

// Lets ms milliseconds pass while answering the driver's own messages (event hooks, its windows).
void Pump(DWORD ms);

// Polls pred every few milliseconds, pumping messages, until it holds or timeoutMs has passed.
// Reports nothing: the caller knows what it waited for.
bool WaitUntil(const std::function<bool()>& pred, DWORD timeoutMs = kWaitMs);

} // namespace driver
