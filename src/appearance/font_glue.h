// The title font's record (GBK face name) to and from the font APIs' LOGFONTW.
#pragma once
#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

#include "appearance/calendar_settings.h"

LOGFONTW ToLogFontW(const LogFontData& font);
LogFontData FromLogFontW(const LOGFONTW& lf);

// The installed font families of that name, as the system spells them (none when it is not installed).
std::vector<std::string> InstalledFacesNamed(std::string_view face);
// The face the font mapper draws `lf` with.
std::string MappedFace(const LOGFONTW& lf);
