// The notification-area icon as plain data: its record's texts and values, and what a click does.
#pragma once

#include <cstdint>
#include <string_view>

namespace quill {

inline constexpr unsigned kTrayIconId = 118;
// Below WM_USER on purpose: the window's message numbers are fixed and no framework range is used.
inline constexpr unsigned kTrayCallbackMessage = 117;

// NOTIFYICONDATA flag and balloon values, spelled out so this file needs no Windows header.
inline constexpr unsigned kNifMessage = 0x01;
inline constexpr unsigned kNifIcon = 0x02;
inline constexpr unsigned kNifTip = 0x04;
inline constexpr unsigned kNifInfo = 0x10;
inline constexpr unsigned kNiifInfo = 0x01;
inline constexpr unsigned kNiifWarning = 0x02;

struct TrayRecord {
    unsigned id = kTrayIconId;
    unsigned callbackMessage = kTrayCallbackMessage;
    unsigned flags = 0;
    std::string_view tip; // GBK, as every text here
    bool balloon = false; // the fields below are filled only with the balloon
    std::string_view balloonTitle;
    std::string_view balloonText;
    unsigned timeoutMs = 0;
    unsigned infoFlags = 0;
};

// The balloon explains the two clicks; it is shown on a start that found no settings file.
TrayRecord MakeTrayRecord(bool showBalloon);

enum class TrayAction { None, ShowMenu, BringToFront };

// `lParam` of the callback message carries the mouse message; it is compared whole. While a box is
// open over the window (`boxOpen`), the box is what the user has to answer: either click brings it
// forward, and no menu opens whose commands would start a second box or raise the disabled window.
TrayAction DecideTrayAction(std::int64_t lParam, bool boxOpen = false);

// The notification area refuses icons until the shell has made it, which early at sign-in can be
// well after this window is up. The wait before the next try after `failedTries` failed adds of the
// first icon; 0 once the tries are spent, the last of them about a minute after the first.
// TaskbarCreated still brings the icon whenever the shell says it is ready.
unsigned TrayRetryDelayMs(int failedTries);

} // namespace quill
