// The sync's words for the dialog and the tray.
#include "interaction/sync_status_text.h"

#include <cstdio>

namespace quill {
namespace {

// "12:34" on the day itself, "12-08 12:34" within the year, the whole date before: a status line
// read the morning after still says which evening it means.
std::string When(const LocalMinute& at, const LocalMinute& now) {
    char text[32] = {};
    if (at.year == now.year && at.month == now.month && at.day == now.day) {
        std::snprintf(text, sizeof text, "%02d:%02d", at.hour, at.minute);
    } else if (at.year == now.year) {
        std::snprintf(text, sizeof text, "%02d-%02d %02d:%02d", at.month, at.day, at.hour, at.minute);
    } else {
        std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", at.year, at.month, at.day, at.hour,
                      at.minute);
    }
    return text;
}

} // namespace

std::string_view SyncStatusText(SyncStatus status) {
    switch (status) {
    case SyncStatus::kOk:
        return "同步成功";
    case SyncStatus::kOffline:
        return "无法连接服务器";
    case SyncStatus::kTimeout:
        return "服务器响应超时";
    case SyncStatus::kCut:
        return "连接中断";
    case SyncStatus::kCertificate:
        return "服务器的证书未通过验证";
    case SyncStatus::kRedirect:
        return "服务器要求转到其他地址, 已拒绝";
    case SyncStatus::kUnauthorized:
        return "用户名或密码错误";
    case SyncStatus::kForbidden:
        return "服务器不允许此帐户这样做";
    case SyncStatus::kCollectionGone:
        return "服务器上的日记已不存在";
    case SyncStatus::kConflict:
        return "服务器因冲突拒绝了修改";
    case SyncStatus::kTooLarge:
        return "有日记过大, 未能同步";
    case SyncStatus::kServerError:
        return "服务器出错";
    case SyncStatus::kServerFull:
        return "服务器空间已满";
    case SyncStatus::kBadReply:
        return "无法读懂服务器的回复";
    case SyncStatus::kNoCalendar:
        return "此地址不是可保存日记的日历服务器";
    }
    return "同步失败";
}

std::string SyncStatusLine(const SyncLastRun& last, std::int64_t now, const LocalMinuteOf& localOf) {
    if (last.tried == 0) {
        return std::string(kSyncNever);
    }
    const LocalMinute today = localOf(now);
    std::string line = When(localOf(last.tried), today) + " " + std::string(SyncStatusText(last.status));
    if (last.status != SyncStatus::kOk && last.succeeded != 0) {
        line += " (上次成功: " + When(localOf(last.succeeded), today) + ")";
    }
    return line;
}

std::string SyncTrayTip(std::string_view name, const SyncLastRun& last, std::int64_t now,
                        const LocalMinuteOf& localOf) {
    std::string tip(name);
    if (last.succeeded != 0) {
        tip += "\n上次同步 " + When(localOf(last.succeeded), localOf(now));
    }
    return tip;
}

std::string SyncCheckFailedLine(SyncStatus status) {
    return std::string(SyncStatusText(status)) + ", 未保存任何设置";
}

std::string SyncDialogLine(const SyncLastRun& last, bool passwordKept, std::int64_t now,
                           const LocalMinuteOf& localOf) {
    std::string line = passwordKept ? std::string(kSyncPasswordKept) + "\r\n" : std::string();
    line += SyncStatusLine(last, now, localOf);
    if (last.tried != 0 && last.status == SyncStatus::kOk) {
        line += "\r\n发出 " + std::to_string(last.pushed) + " 篇 (其中合并 " + std::to_string(last.joined) +
                " 篇), 收到 " + std::to_string(last.pulled) + " 篇";
    }
    return line;
}

} // namespace quill
