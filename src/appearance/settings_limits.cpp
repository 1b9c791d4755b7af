// What the calendar window can draw of a settings record.
#include "appearance/settings_limits.h"

#include <algorithm>

#include "appearance/clock_format.h"

namespace quill {

std::int32_t ShowableTitleFontHeight(std::int32_t height) {
    if (height == 0)
        return 0;
    // In 64 bits, so that the most negative height has a magnitude.
    const std::int64_t size = height < 0 ? -std::int64_t{height} : std::int64_t{height};
    const std::int64_t largest = height < 0 ? kMaxTitleCharHeight : kMaxTitleCellHeight;
    const auto fitted =
        static_cast<std::int32_t>(std::clamp<std::int64_t>(size, kMinTitleFontHeight, largest));
    return height < 0 ? -fitted : fitted;
}

CalendarSettings ShowableSettings(CalendarSettings settings) {
    settings.m_nCornerRadius = std::clamp(settings.m_nCornerRadius, kMinCornerRadius, kMaxCornerRadius);
    // Ids past the menu's items have no pattern and leave the strip blank.
    if (settings.m_nTimeFormat < kTimeFormatFirst || settings.m_nTimeFormat > kTimeFormatCustom)
        settings.m_nTimeFormat = kDefaultTimeFormat;
    settings.m_lfFont.lfHeight = ShowableTitleFontHeight(settings.m_lfFont.lfHeight);
    return settings;
}

} // namespace quill
