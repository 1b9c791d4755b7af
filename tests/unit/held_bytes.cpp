// The unit tests' operator new: each block carries its size before it, so that what is held can be
// counted at any moment without asking the C library.
#include "held_bytes.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<std::size_t> g_now{0};
std::atomic<std::size_t> g_peak{0};
std::atomic<std::size_t> g_asked{0};

// Enough to keep every block as aligned as malloc's own.
constexpr std::size_t kHeader = alignof(std::max_align_t);

void* Take(std::size_t size) {
    void* block = std::malloc(size + kHeader);
    if (!block) {
        throw std::bad_alloc();
    }
    *static_cast<std::size_t*>(block) = size;
    g_asked.fetch_add(size, std::memory_order_relaxed);
    const std::size_t now = g_now.fetch_add(size, std::memory_order_relaxed) + size;
    std::size_t peak = g_peak.load(std::memory_order_relaxed);
    while (now > peak && !g_peak.compare_exchange_weak(peak, now, std::memory_order_relaxed)) {
    }
    return static_cast<char*>(block) + kHeader;
}

void Give(void* p) noexcept {
    if (!p) {
        return;
    }
    void* block = static_cast<char*>(p) - kHeader;
    g_now.fetch_sub(*static_cast<std::size_t*>(block), std::memory_order_relaxed);
    std::free(block);
}

} // namespace

namespace held_bytes {

std::size_t Now() {
    return g_now.load();
}

std::size_t Peak() {
    return g_peak.load();
}

void ResetPeak() {
    g_peak.store(g_now.load());
}

std::size_t Asked() {
    return g_asked.load();
}

} // namespace held_bytes

void* operator new(std::size_t size) {
    return Take(size);
}
void* operator new[](std::size_t size) {
    return Take(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return Take(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return Take(size);
    } catch (...) {
        return nullptr;
    }
}
void operator delete(void* p) noexcept {
    Give(p);
}
void operator delete[](void* p) noexcept {
    Give(p);
}
void operator delete(void* p, std::size_t) noexcept {
    Give(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    Give(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    Give(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    Give(p);
}
