// The title strip's clock: the pattern of the chosen format, its expansion for local time, and the
// tick that wakes at the next change of the text and repaints the strip. Between two changes the
// program sleeps: a laptop's processor stays in its idle states.
#include <windows.h>

#include <algorithm>
#include <ctime>
#include <string>

#include "app/calendar_dlg.h"
#include "appearance/clock_format.h"
#include "appearance/clock_tick.h"
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

// Milliseconds since 1970 from the system clock. Read directly: the runtime's _time64 asks for the
// time zone on every call, which under Wine is a look at the zone file each time.
std::int64_t NowMs() {
    FILETIME ft{};
    ::GetSystemTimeAsFileTime(&ft);
    const std::uint64_t ticks = (static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    constexpr std::uint64_t kUnixEpoch = 116444736000000000ULL; // 1970-01-01 in 100 ns since 1601
    return ticks >= kUnixEpoch ? static_cast<std::int64_t>((ticks - kUnixEpoch) / 10000ULL) : 0;
}

std::int64_t NowSeconds() {
    return NowMs() / 1000;
}

// A timer the system may put off by a few milliseconds to wake together with other timers, where
// the system has one (Windows 8 and later); a plain timer elsewhere.
void SetClockTimer(HWND window, UINT_PTR id, UINT ms) {
    using Coalescable = UINT_PTR(WINAPI*)(HWND, UINT_PTR, UINT, TIMERPROC, ULONG);
    static const auto setCoalescable = reinterpret_cast<Coalescable>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "SetCoalescableTimer")));
    if (setCoalescable && setCoalescable(window, id, ms, nullptr, quill::kClockTickToleranceMs))
        return;
    ::SetTimer(window, id, ms, nullptr);
}

} // namespace

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

std::string CCalendarDlg::ClockTextShown() {
    // The same table the tick reads: the menu's item texts are made from it too.
    return std::string(m_strip.ShownText(
        NowSeconds(), quill::ClockPatternFor(m_settings.m_nTimeFormat, m_settings.m_strCustomFormat)));
}

void CCalendarDlg::ArmClock() {
    const std::string_view pattern =
        quill::ClockPatternFor(m_settings.m_nTimeFormat, m_settings.m_strCustomFormat);
    // Set again at every tick, from the system time: a tick that came late, a sleep or a clock set
    // back or forward changes only the next wait, never where the ticks fall.
    SetClockTimer(m_hWnd, ID_TIMER_CLOCK, quill::MsToNextClockTick(NowMs(), quill::ClockStepOf(pattern)));
}

void CCalendarDlg::ArmJournalCheck() {
    // A tenth of the pause the journal waits for: it is written at most that much late.
    if (m_journal.Pending())
        ::SetTimer(m_hWnd, ID_TIMER_JOURNAL, kJournalQuietMs / 10, nullptr);
}

void CCalendarDlg::OnTimer(UINT_PTR nIDEvent) {
    switch (nIDEvent) {
    case ID_TIMER_CLOCK: {
        // The menu's texts and the core's table are one and the same, so the tick reads the table
        // and neither touches the menu nor allocates.
        const std::string_view pattern =
            quill::ClockPatternFor(m_settings.m_nTimeFormat, m_settings.m_strCustomFormat);
        // No erase: the paint covers the strip, and an erase first would fill it twice.
        if (m_strip.ClockChanged(NowSeconds(), pattern))
            ::RedrawWindow(m_hWnd, &m_strip.StripRect(), nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        ArmClock();
        break;
    }
    case ID_TIMER_JOURNAL:
        JournalTick();
        if (!m_journal.Pending())
            ::KillTimer(m_hWnd, ID_TIMER_JOURNAL);
        break;
    case ID_TIMER_TRAY:
        OnTrayTimer();
        break;
    default:
        break;
    }
}
