// A 64-bit hash of a file's or a note's bytes: how a copy, a journal record and the manifest tell
// that two contents are the same without keeping both.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Not a cryptographic hash: it tells our own writes apart from damage, truncation and edits by
// other programs, and reads eight bytes a step so that a diary of decades hashes in milliseconds.
std::uint64_t ContentHash(std::string_view bytes);

// Sixteen lower-case hex digits, and back; nullopt-like false for anything else.
std::string HashHex(std::uint64_t hash);
bool ParseHashHex(std::string_view text, std::uint64_t& hash);
