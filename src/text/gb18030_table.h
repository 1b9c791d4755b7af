// The generated tables behind gb18030.cpp (gb18030_table.cpp, written by tools/make_gb18030_table.py).
#pragma once

#include <cstddef>
#include <cstdint>

namespace gb18030_table {

inline constexpr std::uint8_t kFirstLead = 0x81;
inline constexpr std::uint8_t kFirstTrail = 0x40;
inline constexpr std::size_t kLeadCount = 0xFE - 0x81 + 1;
inline constexpr std::size_t kTrailCount = 0xFE - 0x40 + 1;
// Four-byte codes 81 30 81 30 .. 84 31 A4 39 in order: U+0080 .. U+FFFF where no shorter code is.
inline constexpr std::uint32_t kBmpFourByteCount = 39420;
inline constexpr std::size_t kFourByteRangeCount = 206;

struct FourByteRange {
    std::uint16_t pointer; // index of the four-byte code among kBmpFourByteCount
    std::uint16_t codePoint;
};

// Character of lead, trail at (lead - kFirstLead) * kTrailCount + trail - kFirstTrail; 0 if none.
extern const std::uint16_t kTwoByte[kLeadCount * kTrailCount];
extern const FourByteRange kFourByteRanges[kFourByteRangeCount];

} // namespace gb18030_table
