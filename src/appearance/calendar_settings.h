// The window's appearance and placement record, and the font description it carries.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "appearance/clock_format.h"

// The LOGFONTA fields, without <windows.h>; the window copies it field by field.
struct LogFontData {
    std::int32_t lfHeight = 0;
    std::int32_t lfWidth = 0;
    std::int32_t lfEscapement = 0;
    std::int32_t lfOrientation = 0;
    std::int32_t lfWeight = 0;
    std::uint8_t lfItalic = 0;
    std::uint8_t lfUnderline = 0;
    std::uint8_t lfStrikeOut = 0;
    std::uint8_t lfCharSet = 0;
    std::uint8_t lfOutPrecision = 0;
    std::uint8_t lfClipPrecision = 0;
    std::uint8_t lfQuality = 0;
    std::uint8_t lfPitchAndFamily = 0;
    char lfFaceName[32] = {};

    friend bool operator==(const LogFontData&, const LogFontData&) = default;
};

// The face name's bytes up to its terminator (all 32 if it has none).
std::string_view FaceName(const LogFontData& font);
// Cut at a zero byte and to 31 bytes, and terminated; the rest of the array is zeroed.
void SetFaceName(LogFontData& font, std::string_view name);

// Tahoma, height -11, everything else zero: ANSI character set, default precision and quality.
LogFontData BaseLogFont();

inline constexpr std::int32_t kDefaultCornerRadius = 15;

struct CalendarSettings {
    std::int32_t m_nCornerStyle = 0;
    std::int32_t m_nColorScheme = 0;
    std::int32_t m_nGradient = 0;
    std::int32_t m_nTimeFormat = quill::kDefaultTimeFormat;
    std::int32_t m_nCornerRadius = kDefaultCornerRadius;
    std::int32_t m_nPosX = 0;
    std::int32_t m_nPosY = 0;
    LogFontData m_lfFont = BaseLogFont();
    std::string m_strCustomFormat;

    friend bool operator==(const CalendarSettings&, const CalendarSettings&) = default;
};

// Every default except the position, which the window centres itself, and the corner radius,
// which is set before the file is read and kept whatever the file held.
void FillDefaultSettings(CalendarSettings& settings);
