// The content hash: eight bytes at a time, mixed so that every input bit reaches every output bit.
#include "safety/content_hash.h"

#include <cstring>

namespace {

constexpr std::uint64_t kMul = 0x9E3779B97F4A7C15ULL;

std::uint64_t Mix(std::uint64_t x) {
    x ^= x >> 31;
    x *= 0xBF58476D1CE4E5B9ULL;
    x ^= x >> 29;
    x *= 0x94D049BB133111EBULL;
    x ^= x >> 32;
    return x;
}

} // namespace

std::uint64_t ContentHash(std::string_view bytes) {
    // Four lanes of eight bytes, each its own chain, so that a diary of decades hashes at the speed
    // of memory rather than of one chain of multiplications; the length goes in first, so contents
    // that differ only by trailing zero bytes differ.
    std::uint64_t lane[4] = {Mix(bytes.size() ^ kMul), Mix(bytes.size() + 1), Mix(bytes.size() + 2),
                             Mix(bytes.size() + 3)};
    std::size_t at = 0;
    for (; at + 32 <= bytes.size(); at += 32) {
        for (int i = 0; i < 4; ++i) {
            std::uint64_t word = 0;
            std::memcpy(&word, bytes.data() + at + 8 * static_cast<std::size_t>(i), 8);
            lane[i] = (lane[i] ^ (word * kMul)) * 0xBF58476D1CE4E5B9ULL;
            lane[i] ^= lane[i] >> 31;
        }
    }
    std::uint64_t h = Mix(lane[0]) ^ Mix(lane[1] + 1) * 3 ^ Mix(lane[2] + 2) * 5 ^ Mix(lane[3] + 3) * 7;
    for (; at + 8 <= bytes.size(); at += 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, bytes.data() + at, 8);
        h = (h ^ Mix(word + at)) * kMul;
        h ^= h >> 29;
    }
    std::uint64_t tail = 0;
    for (std::size_t i = 0; at + i < bytes.size(); ++i)
        tail |= static_cast<std::uint64_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
    return Mix(h ^ Mix(tail ^ 0xA5A5A5A5A5A5A5A5ULL));
}

std::string HashHex(std::uint64_t hash) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text(16, '0');
    for (int i = 15; i >= 0; --i, hash >>= 4)
        text[static_cast<std::size_t>(i)] = kDigits[hash & 0xF];
    return text;
}

bool ParseHashHex(std::string_view text, std::uint64_t& hash) {
    if (text.size() != 16)
        return false;
    std::uint64_t value = 0;
    for (const char c : text) {
        int digit = 0;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else
            return false;
        value = (value << 4) | static_cast<std::uint64_t>(digit);
    }
    hash = value;
    return true;
}
