// The title strip's clock: the pattern of the chosen format, its expansion for local time, and the
// 10 ms tick that repaints the strip only when the text would change.
#include <windows.h>

#include <ctime>
#include <string>

#include "app/calendar_dlg.h"
#include "appearance/clock_format.h"
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

std::string CCalendarDlg::FormatClockText(int nFormat, bool bExpand) {
    std::string pattern;
    if (nFormat == quill::kTimeFormatCustom) {
        pattern = m_settings.m_strCustomFormat;
    } else if (m_contextMenu.Built()) {
        // The fixed formats' patterns are the texts of their menu items.
        pattern = m_contextMenu.ItemText(nFormat);
    } else {
        pattern = std::string(quill::ClockPatternFor(nFormat, {}));
    }
    if (!bExpand)
        return pattern;
    quill::ClockTextBuffer buffer;
    const std::size_t n = ExpandAt(pattern, static_cast<std::int64_t>(_time64(nullptr)), buffer);
    return std::string(buffer, n);
}

bool TitleStrip::ClockChanged(std::int64_t now, std::string_view pattern) {
    // The text is a function of the whole second, so 99 ticks in 100 have nothing new to compare.
    if (now == m_timeChecked)
        return false;
    m_timeChecked = now;
    quill::ClockTextBuffer textNow;
    quill::ClockTextBuffer textShown;
    const std::size_t nNow = ExpandAt(pattern, now, textNow);
    const std::size_t nShown = ExpandAt(pattern, m_timeShown, textShown);
    if (std::string_view(textNow, nNow) == std::string_view(textShown, nShown))
        return false;
    m_timeShown = now;
    return true;
}

void CCalendarDlg::OnTimer(UINT_PTR nIDEvent) {
    if (nIDEvent != ID_TIMER_CLOCK)
        return;
    // The menu's texts and the core's table are one and the same, so the tick reads the table and
    // neither touches the menu nor allocates.
    const std::string_view pattern =
        quill::ClockPatternFor(m_settings.m_nTimeFormat, m_settings.m_strCustomFormat);
    if (m_strip.ClockChanged(_time64(nullptr), pattern))
        ::RedrawWindow(m_hWnd, &m_strip.StripRect(), nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    JournalTick();
}
