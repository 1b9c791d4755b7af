// What the sync dialog's status line and the tray's tooltip say, in Chinese (GBK): the words for
// each way a sync can end, and the times of the last tries.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "sync/sync_account.h"

namespace quill {

// A local time as the status line shows it.
struct LocalMinute {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
};
using LocalMinuteOf = std::function<LocalMinute(std::int64_t utcSeconds)>;

// How a sync ended, in plain words.
std::string_view SyncStatusText(SyncStatus status);

// What the dialog itself says while it waits or when it cannot start a sync.
inline constexpr std::string_view kSyncNever = "尚未同步";
inline constexpr std::string_view kSyncRunning = "正在同步...";
inline constexpr std::string_view kSyncOff = "同步已关闭";
inline constexpr std::string_view kSyncNoAddress = "请填写服务器地址";
// An address the password must not go to: not http(s), a user name in it, or plain http off this computer.
inline constexpr std::string_view kSyncBadAddress = "地址须为 https://...（http:// 只用于本机）";
inline constexpr std::string_view kSyncNoPassword = "无法保存密码";
inline constexpr std::string_view kSyncNotSaved = "无法保存同步设置";

// The status line: when the last try ended and how; after a failure, also when the last success was.
std::string SyncStatusLine(const SyncLastRun& last, std::int64_t now, const LocalMinuteOf& localOf);

// The tray's tooltip: "Quillidar", and when the last sync succeeded once one has.
std::string SyncTrayTip(std::string_view name, const SyncLastRun& last, std::int64_t now,
                        const LocalMinuteOf& localOf);

// The balloon's title for a failure the user has to act on.
inline constexpr std::string_view kSyncFailedTitle = "同步失败";

// The dialog checks an account with the server before it keeps anything.
inline constexpr std::string_view kSyncChecking = "正在检查帐户...";
inline constexpr std::string_view kSyncNeedPassword = "请填写密码";
inline constexpr std::string_view kSyncPasswordKept = "密码已保存";

// A check that failed: how, and that nothing was kept.
std::string SyncCheckFailedLine(SyncStatus status);

// The dialog's status line: whether a password is kept for the account, the status line, and after
// a success what that sync did, as the notes tool counts it.
std::string SyncDialogLine(const SyncLastRun& last, bool passwordKept, std::int64_t now,
                           const LocalMinuteOf& localOf);

} // namespace quill
