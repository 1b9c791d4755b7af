// The settings file "qlw.ini": seven integers, four font fields, the shifted face name and the
// custom clock pattern.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "appearance/calendar_settings.h"
#include "diary/archive.h"

// In the temporary folder, and the safety copy's name in the safety folder.
inline constexpr wchar_t kSettingsFileName[] = L"qlw.ini";

// The face name is stored shifted by this key. No GBK text contains the byte 0xFF, and only a
// name byte equal to the key turns into the zero byte that would cut the name short when read.
inline constexpr std::uint8_t kFileKey = 0xFF;

// Every byte b becomes b - key (subtract) or b + key, modulo 256.
std::string ShiftString(std::string_view text, bool subtract, std::uint8_t key);

std::string EncodeSettings(const CalendarSettings& settings, std::uint8_t key);

// Resets m_lfFont to the base font, then stores each field as it is read, unchecked. False when
// the bytes end early or hold an impossible length; the fields read until then keep their new
// values, and the caller fills in the defaults (which leave m_nCornerRadius as it stands).
bool DecodeSettings(std::string_view bytes, CalendarSettings& settings, std::uint8_t key,
                    const WideToNarrow& toNarrow = {});
