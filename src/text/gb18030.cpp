// GB18030 that keeps code page 936's bytes: one table lookup per character each way.
#include "text/gb18030.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "text/gb18030_table.h"

namespace {

using namespace gb18030_table;

constexpr char16_t kReplacement = 0xFFFD;
constexpr std::uint32_t kSupplementaryFirstPointer = 189000; // 90 30 81 30 is U+10000
constexpr std::uint32_t kSupplementaryCount = 0x100000;

bool IsLead(unsigned b) {
    return b >= 0x81 && b <= 0xFE;
}
bool IsDigit(unsigned b) {
    return b >= 0x30 && b <= 0x39;
}

// Two-byte code of each BMP character that has one, 0 for the rest. Built on first use from the
// decoding table, so the two directions cannot disagree.
const std::vector<std::uint16_t>& TwoByteCodes() {
    static const std::vector<std::uint16_t> codes = [] {
        std::vector<std::uint16_t> out(0x10000, 0);
        for (std::size_t i = 0; i < kLeadCount * kTrailCount; ++i) {
            if (const std::uint16_t ch = kTwoByte[i])
                out[ch] = static_cast<std::uint16_t>((kFirstLead + i / kTrailCount) << 8 |
                                                     (kFirstTrail + i % kTrailCount));
        }
        return out;
    }();
    return codes;
}

char16_t BmpOfPointer(std::uint32_t pointer) {
    const FourByteRange* next =
        std::upper_bound(std::begin(kFourByteRanges), std::end(kFourByteRanges), pointer,
                         [](std::uint32_t p, const FourByteRange& r) { return p < r.pointer; });
    const FourByteRange& range = *(next - 1); // the first range starts at pointer 0
    return static_cast<char16_t>(range.codePoint + (pointer - range.pointer));
}

std::uint32_t PointerOfBmp(char16_t ch) {
    const FourByteRange* next =
        std::upper_bound(std::begin(kFourByteRanges), std::end(kFourByteRanges), ch,
                         [](char16_t c, const FourByteRange& r) { return c < r.codePoint; });
    const FourByteRange& range = *(next - 1); // the first range starts at U+0080
    return range.pointer + (ch - range.codePoint);
}

char* PutFourByte(char* to, std::uint32_t pointer) {
    to[3] = static_cast<char>(0x30 + pointer % 10);
    pointer /= 10;
    to[2] = static_cast<char>(0x81 + pointer % 126);
    pointer /= 126;
    to[1] = static_cast<char>(0x30 + pointer % 10);
    to[0] = static_cast<char>(0x81 + pointer / 10);
    return to + 4;
}

template <class Unit> std::basic_string<Unit> Decode(std::string_view bytes) {
    // No code yields more units than it has bytes.
    std::basic_string<Unit> out(bytes.size(), Unit{});
    Unit* to = out.data();
    const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t size = bytes.size();
    std::size_t i = 0;
    while (i < size) {
        const unsigned b = in[i];
        if (b < 0x80) {
            *to++ = static_cast<Unit>(b);
            ++i;
            continue;
        }
        if (b == 0x80) {
            *to++ = static_cast<Unit>(0x20AC); // code page 936's euro sign
            ++i;
            continue;
        }
        if (IsLead(b) && i + 1 < size) {
            const unsigned trail = in[i + 1];
            if (trail >= kFirstTrail && trail <= 0xFE) {
                if (const std::uint16_t ch =
                        kTwoByte[(b - kFirstLead) * kTrailCount + (trail - kFirstTrail)]) {
                    *to++ = static_cast<Unit>(ch);
                    i += 2;
                    continue;
                }
            } else if (IsDigit(trail) && i + 3 < size && IsLead(in[i + 2]) && IsDigit(in[i + 3])) {
                const std::uint32_t pointer =
                    ((b - 0x81) * 10 + (trail - 0x30)) * 1260 + (in[i + 2] - 0x81) * 10 + (in[i + 3] - 0x30);
                if (pointer < kBmpFourByteCount) {
                    *to++ = static_cast<Unit>(BmpOfPointer(pointer));
                    i += 4;
                    continue;
                }
                if (pointer - kSupplementaryFirstPointer < kSupplementaryCount) {
                    const std::uint32_t offset = pointer - kSupplementaryFirstPointer;
                    *to++ = static_cast<Unit>(0xD800 + (offset >> 10));
                    *to++ = static_cast<Unit>(0xDC00 + (offset & 0x3FF));
                    i += 4;
                    continue;
                }
            }
        }
        *to++ = static_cast<Unit>(kReplacement);
        ++i;
    }
    out.resize(static_cast<std::size_t>(to - out.data()));
    return out;
}

bool IsHighSurrogate(char16_t u) {
    return u >= 0xD800 && u <= 0xDBFF;
}
bool IsLowSurrogate(char16_t u) {
    return u >= 0xDC00 && u <= 0xDFFF;
}

template <class Unit> std::string Encode(std::basic_string_view<Unit> text) {
    const std::vector<std::uint16_t>& twoByte = TwoByteCodes();
    const std::size_t size = text.size();
    // Measured first: the notes keep the string as it is returned, so it holds no spare room.
    std::size_t length = 0;
    for (std::size_t i = 0; i < size; ++i) {
        const auto u = static_cast<char16_t>(text[i]);
        if (u < 0x80 || u == 0x20AC) {
            length += 1;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            if (IsHighSurrogate(u) && i + 1 < size && IsLowSurrogate(static_cast<char16_t>(text[i + 1]))) {
                length += 4;
                ++i;
            } else {
                length += 1;
            }
        } else {
            length += twoByte[u] ? 2 : 4;
        }
    }
    std::string out(length, '\0');
    char* to = out.data();
    for (std::size_t i = 0; i < size; ++i) {
        const auto u = static_cast<char16_t>(text[i]);
        if (u < 0x80) {
            *to++ = static_cast<char>(u);
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            const auto low = i + 1 < size ? static_cast<char16_t>(text[i + 1]) : char16_t{0};
            if (IsHighSurrogate(u) && IsLowSurrogate(low)) {
                to = PutFourByte(to, kSupplementaryFirstPointer + ((u - 0xD800u) << 10) + (low - 0xDC00u));
                ++i;
            } else {
                *to++ = '?';
            }
        } else if (u == 0x20AC) {
            *to++ = '\x80';
        } else if (const std::uint16_t code = twoByte[u]) {
            *to++ = static_cast<char>(code >> 8);
            *to++ = static_cast<char>(code & 0xFF);
        } else {
            to = PutFourByte(to, PointerOfBmp(u));
        }
    }
    return out;
}

} // namespace

std::u16string Utf16FromGb18030(std::string_view bytes) {
    return Decode<char16_t>(bytes);
}

std::string Gb18030FromUtf16(std::u16string_view text) {
    return Encode(text);
}

#if WCHAR_MAX == 0xFFFF
std::wstring WideFromGb18030(std::string_view bytes) {
    return Decode<wchar_t>(bytes);
}

std::string Gb18030FromWide(std::wstring_view text) {
    return Encode(text);
}
#endif
