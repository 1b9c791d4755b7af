// The window's appearance and placement record.
#include "appearance/calendar_settings.h"

#include <algorithm>
#include <cstring>

std::string_view FaceName(const LogFontData& font) {
    const void* zero = std::memchr(font.lfFaceName, '\0', sizeof font.lfFaceName);
    const std::size_t length =
        zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - font.lfFaceName)
             : sizeof font.lfFaceName;
    return {font.lfFaceName, length};
}

void SetFaceName(LogFontData& font, std::string_view name) {
    std::memset(font.lfFaceName, 0, sizeof font.lfFaceName);
    name = name.substr(0, name.find('\0'));
    const std::size_t length = std::min(name.size(), sizeof font.lfFaceName - 1);
    std::memcpy(font.lfFaceName, name.data(), length);
}

LogFontData BaseLogFont() {
    LogFontData font;
    font.lfHeight = -11;
    SetFaceName(font, "Tahoma");
    return font;
}

void FillDefaultSettings(CalendarSettings& settings) {
    settings.m_lfFont = BaseLogFont();
    SetFaceName(settings.m_lfFont, "Bradley Hand ITC");
    settings.m_lfFont.lfWeight = 600;
    settings.m_lfFont.lfHeight = -16;
    settings.m_nColorScheme = 0;
    settings.m_nCornerStyle = 0;
    settings.m_nGradient = 0;
    settings.m_nTimeFormat = quill::kDefaultTimeFormat;
    settings.m_strCustomFormat = "时间 %H:%M";
}
