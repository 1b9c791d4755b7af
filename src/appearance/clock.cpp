// The title strip's clock: the pattern of the chosen format expanded for local time, the text shown
// kept until the next change, the system time read directly and the timer that wakes at that change.
#include <windows.h>

#include <algorithm>
#include <ctime>
#include <string>

#include "appearance/clock.h"
#include "appearance/clock_format.h"
#include "appearance/clock_tick.h"
#include "appearance/title_strip.h"
#include "ui/text.h"

namespace {

// The zone's names and offsets, read once: the tick must not allocate.
const quill::ClockZone& LocalZone() {
    static const struct Holder {
        std::string standardName;
        std::string daylightName;
        quill::ClockZone zone;
        Holder() {
            TIME_ZONE_INFORMATION tzi{};
            const DWORD kind = ::GetTimeZoneInformation(&tzi);
            standardName = ui::Narrow(tzi.StandardName);
            daylightName = ui::Narrow(tzi.DaylightName);
            zone.standardName = standardName;
            zone.daylightName = daylightName;
            if (kind != TIME_ZONE_ID_INVALID) {
                zone.standardOffset = -static_cast<int>(tzi.Bias + tzi.StandardBias);
                zone.daylightOffset = -static_cast<int>(tzi.Bias + tzi.DaylightBias);
            }
        }
    } holder;
    return holder.zone;
}

// Expands into the fixed buffer; an instant the runtime cannot convert gives the empty text.
std::size_t ExpandAt(std::string_view pattern, std::int64_t instant, quill::ClockTextBuffer& out) {
    std::tm tm{};
    const __time64_t t = instant;
    if (_localtime64_s(&tm, &t) != 0) {
        out[0] = '\0';
        return 0;
    }
    return quill::ExpandClockPattern(pattern, quill::ClockTimeFromTm(tm), LocalZone(), out);
}

} // namespace

namespace quill {

// Read directly: the runtime's _time64 asks for the time zone on every call, which under Wine is a
// look at the zone file each time.
std::int64_t ClockNowMs() {
    FILETIME ft{};
    ::GetSystemTimeAsFileTime(&ft);
    const std::uint64_t ticks = (static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    constexpr std::uint64_t kUnixEpoch = 116444736000000000ULL; // 1970-01-01 in 100 ns since 1601
    return ticks >= kUnixEpoch ? static_cast<std::int64_t>((ticks - kUnixEpoch) / 10000ULL) : 0;
}

std::int64_t ClockNowSeconds() {
    return ClockNowMs() / 1000;
}

void SetClockTimer(HWND window, UINT_PTR id, UINT ms) {
    using Coalescable = UINT_PTR(WINAPI*)(HWND, UINT_PTR, UINT, TIMERPROC, ULONG);
    static const auto setCoalescable = reinterpret_cast<Coalescable>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "SetCoalescableTimer")));
    if (setCoalescable && setCoalescable(window, id, ms, nullptr, kClockTickToleranceMs))
        return;
    ::SetTimer(window, id, ms, nullptr);
}

} // namespace quill

std::string_view TitleStrip::ShownText(std::int64_t now, std::string_view pattern) {
    if (pattern != m_patternShown) {
        m_patternShown.assign(pattern);
        m_timeShown = now;
        m_nTextShown = kNoTextShown;
    }
    if (m_nTextShown == kNoTextShown)
        m_nTextShown = ExpandAt(pattern, m_timeShown, m_textShown);
    return {m_textShown, m_nTextShown};
}

bool TitleStrip::ClockChanged(std::int64_t now, std::string_view pattern) {
    // The text is a function of the whole second, so 99 ticks in 100 have nothing new to compare.
    if (pattern != m_patternShown) {
        // Another format: its text is new whatever the second.
        m_timeChecked = now;
        ShownText(now, pattern);
        return true;
    }
    if (now == m_timeChecked)
        return false;
    m_timeChecked = now;
    // The text of the second shown is kept from the last change, so a second costs one expansion.
    if (m_nTextShown == kNoTextShown)
        m_nTextShown = ExpandAt(pattern, m_timeShown, m_textShown);
    quill::ClockTextBuffer textNow;
    const std::size_t nNow = ExpandAt(pattern, now, textNow);
    if (std::string_view(textNow, nNow) == std::string_view(m_textShown, m_nTextShown))
        return false;
    m_timeShown = now;
    std::copy(textNow, textNow + nNow, m_textShown);
    m_nTextShown = nNow;
    return true;
}
