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
