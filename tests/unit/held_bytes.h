// What the heap holds, counted by the unit tests' own operator new: a test of memory states what a
// piece of work may hold at its peak, in bytes, never in time.
#pragma once

#include <cstddef>

namespace held_bytes {

// Bytes asked of operator new and not yet given back.
std::size_t Now();
// The most Now() has been since the last ResetPeak().
std::size_t Peak();
void ResetPeak();
// Every byte asked of operator new so far, given back or not.
std::size_t Asked();

} // namespace held_bytes
