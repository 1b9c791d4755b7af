// The checksum of the sync's files, apart from the state's reader so the resource readers (and their
// fuzzers) take it without the file system.
#include "sync/sync_state.h"

std::uint64_t SyncFileChecksum(std::string_view bytes, std::uint64_t from) {
    std::uint64_t h = from;
    for (const char c : bytes) {
        h ^= static_cast<unsigned char>(c);
        h *= 1099511628211ull;
    }
    return h;
}

std::string SyncSumHex(std::uint64_t sum) {
    std::string digits(16, '0');
    for (int i = 0; i < 16; ++i) {
        digits[static_cast<std::size_t>(i)] = "0123456789abcdef"[(sum >> (60 - 4 * i)) & 15];
    }
    return digits;
}

std::optional<std::uint64_t> SyncSumOfHex(std::string_view hex) {
    if (hex.size() != 16) {
        return std::nullopt;
    }
    std::uint64_t sum = 0;
    for (const char c : hex) {
        const int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (d < 0) {
            return std::nullopt;
        }
        sum = sum << 4 | static_cast<std::uint64_t>(d);
    }
    return sum;
}
