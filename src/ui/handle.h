// Move-only owners for Win32 handles, and a guard that puts back what a device context had selected.
#pragma once
#include <windows.h>

#include <utility>

namespace ui {

template <typename T, auto Close> class Unique {
  public:
    Unique() = default;
    explicit Unique(T h) : m_h(h) {}
    Unique(const Unique&) = delete;
    Unique& operator=(const Unique&) = delete;
    Unique(Unique&& other) noexcept : m_h(std::exchange(other.m_h, T{})) {}
    Unique& operator=(Unique&& other) noexcept {
        if (this != &other)
            reset(std::exchange(other.m_h, T{}));
        return *this;
    }
    ~Unique() { reset(); }

    // Takes ownership of h and releases the handle held before.
    void reset(T h = T{}) {
        T old = std::exchange(m_h, h);
        if (old)
            Close(old);
    }
    [[nodiscard]] T release() { return std::exchange(m_h, T{}); }
    T get() const { return m_h; }
    explicit operator bool() const { return m_h != T{}; }

  private:
    T m_h{};
};

inline void DeleteGdiObject(HGDIOBJ h) {
    ::DeleteObject(h);
}
inline void DestroyMenuHandle(HMENU h) {
    ::DestroyMenu(h);
}
inline void CloseKernelHandle(HANDLE h) {
    ::CloseHandle(h);
}

inline void DestroyIconHandle(HICON h) {
    ::DestroyIcon(h);
}
inline void CloseFindHandle(HANDLE h) {
    ::FindClose(h);
}

// The same for handles whose "none" is INVALID_HANDLE_VALUE: files and searches.
template <auto Close> class UniqueInvalid {
  public:
    UniqueInvalid() = default;
    explicit UniqueInvalid(HANDLE h) : m_h(h) {}
    UniqueInvalid(const UniqueInvalid&) = delete;
    UniqueInvalid& operator=(const UniqueInvalid&) = delete;
    UniqueInvalid(UniqueInvalid&& other) noexcept : m_h(std::exchange(other.m_h, INVALID_HANDLE_VALUE)) {}
    UniqueInvalid& operator=(UniqueInvalid&& other) noexcept {
        if (this != &other)
            reset(std::exchange(other.m_h, INVALID_HANDLE_VALUE));
        return *this;
    }
    ~UniqueInvalid() { reset(); }

    void reset(HANDLE h = INVALID_HANDLE_VALUE) {
        HANDLE old = std::exchange(m_h, h);
        if (old != INVALID_HANDLE_VALUE && old != nullptr)
            Close(old);
    }
    [[nodiscard]] HANDLE release() { return std::exchange(m_h, INVALID_HANDLE_VALUE); }
    HANDLE get() const { return m_h; }
    explicit operator bool() const { return m_h != INVALID_HANDLE_VALUE && m_h != nullptr; }

  private:
    HANDLE m_h = INVALID_HANDLE_VALUE;
};

using Pen = Unique<HPEN, DeleteGdiObject>;
using Brush = Unique<HBRUSH, DeleteGdiObject>;
using Font = Unique<HFONT, DeleteGdiObject>;
using Region = Unique<HRGN, DeleteGdiObject>;
using Menu = Unique<HMENU, DestroyMenuHandle>;
using Icon = Unique<HICON, DestroyIconHandle>;
// Mutexes, mappings, tokens: the handles CloseHandle ends (not files, whose "none" is INVALID_HANDLE_VALUE).
using KernelHandle = Unique<HANDLE, CloseKernelHandle>;
// Files (CreateFileW) and searches (FindFirstFileW).
using FileHandle = UniqueInvalid<CloseKernelHandle>;
using FindHandle = UniqueInvalid<CloseFindHandle>;

// Selects an object into a DC and restores the previous one when it goes out of scope. Declare the
// owned object before the guard, so it is deselected before it is deleted.
class SelectGuard {
  public:
    SelectGuard(HDC dc, HGDIOBJ obj) : m_dc(dc), m_old(obj ? ::SelectObject(dc, obj) : nullptr) {}
    SelectGuard(const SelectGuard&) = delete;
    SelectGuard& operator=(const SelectGuard&) = delete;
    ~SelectGuard() {
        if (m_old)
            ::SelectObject(m_dc, m_old);
    }

  private:
    HDC m_dc;
    HGDIOBJ m_old;
};

} // namespace ui
