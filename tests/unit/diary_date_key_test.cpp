// Date keys under fixed time zones, across the edges of the range they cover.
#include <gtest/gtest.h>

#include "scoped_tz.h"

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

#include "diary/date_key.h"

namespace {

// The C runtime on Windows reads only a name, an offset and a daylight name from TZ (and uses
// its own daylight rules), so the zones are written in both notations.
struct Zone {
    const char* posix;
    const char* windows;
};
constexpr Zone kUtc{"UTC0", "UTC0"};
constexpr Zone kEast{"CET-1CEST,M3.5.0,M10.5.0/3", "CET-1CEST"};
constexpr Zone kWest{"EST5EDT,M3.2.0,M11.1.0", "EST5EDT"};

const char* Tz(const Zone& zone) {
#ifdef _WIN32
    return zone.windows;
#else
    return zone.posix;
#endif
}

TEST(DateKey, OfCalendarDates) {
    const struct {
        Zone zone;
        int y, m, d;
        const char* key;
    } cases[] = {
        {kUtc, 2026, 12, 7, "071226"},
        {kUtc, 1975, 6, 15, "150675"},
        {kUtc, 2075, 6, 15, "150675"},
        {kUtc, 2000, 2, 29, "290200"},
        // Below 1900 the key is that of the instant 0, in local time.
        {kUtc, 1899, 12, 31, "010170"},
        {kEast, 1899, 1, 1, "010170"},
        {kWest, 1899, 6, 30, "311269"},
        // Local midnights before the instant 0 have no key.
        {kUtc, 1900, 1, 1, ""},
        {kUtc, 1965, 6, 1, ""},
        {kWest, 1969, 12, 31, ""},
        {kUtc, 1970, 1, 1, "010170"},
        {kWest, 1970, 1, 1, "010170"},
        {kEast, 1970, 1, 1, ""},
        {kEast, 1970, 1, 2, "020170"},
        // The year 3000 is the last one, in every zone.
        {kUtc, 3000, 12, 31, "311200"},
        {kEast, 3000, 12, 31, "311200"},
        {kWest, 3000, 12, 31, "311200"},
        {kUtc, 3001, 1, 1, ""},
        {kEast, 3001, 1, 1, ""},
        {kWest, 3001, 1, 1, ""},
        // Days and months out of range roll over.
        {kUtc, 2026, 2, 29, "010326"},
        {kUtc, 2026, 13, 1, "010127"},
        {kUtc, 2026, 1, 0, "311225"},
        {kEast, 3000, 12, 32, ""},
        {kEast, 1900, 0, 1, "010170"},
        // A year far outside the keys' range still rolls over exactly, by whole 400-year cycles.
        {kUtc, 500, 1, 600000, "290942"},
        {kUtc, 42026, 1, -14609700 + 1, "010126"},
        {kUtc, -40000, 1, 1, "010170"},
        {kUtc, 40000, 1, 1, ""},
    };
    for (const auto& c : cases) {
        ScopedTz tz(Tz(c.zone));
        EXPECT_EQ(DateKeyOfDate(c.y, c.m, c.d), c.key)
            << Tz(c.zone) << " " << c.y << "-" << c.m << "-" << c.d;
    }
}

TEST(DateKey, OfInstants) {
    const struct {
        Zone zone;
        std::int64_t instant;
        const char* key;
    } cases[] = {
        {kUtc, 0, "010170"},
        {kEast, 0, "010170"},
        {kWest, 0, "311269"},
        {kUtc, -1, ""},
        {kUtc, 1796644800, "071226"},
        {kUtc, kLastKeyInstant, "311200"},
        {kWest, kLastKeyInstant, "311200"},
        {kUtc, kLastKeyInstant + 1, ""},
        // Already 3001 locally: past the last day.
        {kEast, kLastKeyInstant, ""},
        {kEast, kLastKeyInstant - 3600, "311200"},
        {kUtc, INT64_MIN, ""},
        {kUtc, INT64_MAX, ""},
    };
    for (const auto& c : cases) {
        ScopedTz tz(Tz(c.zone));
        EXPECT_EQ(DateKeyOfInstant(c.instant), c.key) << Tz(c.zone) << " " << c.instant;
    }
}

TEST(DateKey, DaylightSavingChangeDays) {
#ifdef _WIN32
    GTEST_SKIP() << "the Windows C runtime takes no daylight rules from TZ";
#else
    const struct {
        const char* tz;
        int y, m, d;
        const char* key;
    } dates[] = {
        {kEast.posix, 2026, 3, 29, "290326"},
        {kEast.posix, 2026, 10, 25, "251026"},
        {kWest.posix, 2026, 3, 8, "080326"},
        {kWest.posix, 2026, 11, 1, "011126"},
        // Clocks here jump from 23:59:59 to 01:00 at the start of summer time, so that day has no
        // midnight; it still has its own key.
        {"<-03>3<-02>,M11.1.0/0,M2.3.0/0", 2018, 11, 4, "041118"},
        {"<-03>3<-02>,M11.1.0/0,M2.3.0/0", 2019, 2, 17, "170219"},
    };
    for (const auto& c : dates) {
        ScopedTz tz(c.tz);
        EXPECT_EQ(DateKeyOfDate(c.y, c.m, c.d), c.key) << c.tz << " " << c.y << "-" << c.m << "-" << c.d;
    }
    const struct {
        std::int64_t instant;
        const char* key;
    } instants[] = {
        {1774738799, "280326"}, // 23:59:59 CET
        {1774740600, "290326"}, // 00:30 CET
        {1774747800, "290326"}, // 03:30 CEST
    };
    ScopedTz tz(kEast.posix);
    for (const auto& c : instants) {
        EXPECT_EQ(DateKeyOfInstant(c.instant), c.key) << c.instant;
    }
#endif
}

} // namespace
