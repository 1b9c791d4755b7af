// A time zone for the length of a test, put back after it: the local-time rules are tested at fixed
// zones and instants, never at the machine's own.
#pragma once

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

inline void SetTz(const char* tz) {
#ifdef _WIN32
    _putenv_s("TZ", tz ? tz : "");
    _tzset();
#else
    if (tz)
        setenv("TZ", tz, 1);
    else
        unsetenv("TZ");
    tzset();
#endif
}

class ScopedTz {
  public:
    explicit ScopedTz(const char* tz) {
        if (const char* old = std::getenv("TZ"))
            m_old = old;
        SetTz(tz);
    }
    ~ScopedTz() { SetTz(m_old ? m_old->c_str() : nullptr); }
    ScopedTz(const ScopedTz&) = delete;
    ScopedTz& operator=(const ScopedTz&) = delete;

  private:
    std::optional<std::string> m_old;
};
