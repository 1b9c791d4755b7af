// The notification-area icon as plain data: its record's texts and values, and what a click does.
#include "interaction/tray_record.h"

#include <iterator>

namespace quill {
namespace {

constexpr std::int64_t kWmLButtonDown = 0x201;
constexpr std::int64_t kWmRButtonUp = 0x205;

} // namespace

TrayRecord MakeTrayRecord(bool showBalloon) {
    TrayRecord record;
    record.tip = "Quillidar";
    record.flags = kNifMessage | kNifIcon | kNifTip;
    if (showBalloon) {
        record.flags |= kNifInfo;
        record.balloon = true;
        record.balloonTitle = "Quillidar 在这里！";
        record.balloonText = "右键单击 - 显示菜单\r\n左键单击 - 设置日历前景";
        record.timeoutMs = 300;
        record.infoFlags = kNiifInfo;
    }
    return record;
}

TrayAction DecideTrayAction(std::int64_t lParam, bool boxOpen) {
    switch (lParam) {
    case kWmRButtonUp:
        return boxOpen ? TrayAction::BringToFront : TrayAction::ShowMenu;
    case kWmLButtonDown:
        return TrayAction::BringToFront;
    default:
        return TrayAction::None;
    }
}

unsigned TrayRetryDelayMs(int failedTries) {
    // Soon at first, when the shell is most likely just about ready, then further apart.
    static constexpr unsigned kDelays[] = {1000, 2000, 4000, 8000, 15000, 30000};
    if (failedTries < 1 || failedTries > static_cast<int>(std::size(kDelays)))
        return 0;
    return kDelays[failedTries - 1];
}

} // namespace quill
