// The title font's record (GBK face name) to and from the font APIs' LOGFONTW.
#pragma once
#include <windows.h>

#include "appearance/calendar_settings.h"

LOGFONTW ToLogFontW(const LogFontData& font);
LogFontData FromLogFontW(const LOGFONTW& lf);
