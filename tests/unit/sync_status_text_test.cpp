// The sync's words: one plain text per way a sync ends, and the times the status line and the
// tooltip give.
#include <gtest/gtest.h>

#include <set>

#include "interaction/sync_status_text.h"
#include "text/gb18030.h"

namespace {

using quill::LocalMinute;

// UTC seconds taken as minutes since 2026-12-08 00:00 local, for fixed instants without a clock.
LocalMinute Local(std::int64_t t) {
    const int minutes = static_cast<int>(t / 60);
    const int day = 8 + minutes / (24 * 60);
    const int month = day > 31 ? 1 : 12;
    return {month == 1 ? 2027 : 2026, month, month == 1 ? day - 31 : day, minutes / 60 % 24, minutes % 60};
}
constexpr std::int64_t kMin = 60, kDayS = 24 * 60 * 60;

TEST(SyncStatusText, EveryStatusHasWordsOfItsOwn) {
    std::set<std::string_view> seen;
    for (int s = static_cast<int>(SyncStatus::kOk); s <= static_cast<int>(SyncStatus::kNoCalendar); ++s) {
        const std::string_view text = quill::SyncStatusText(static_cast<SyncStatus>(s));
        EXPECT_TRUE(seen.insert(text).second) << s;
        // Chinese words in GBK: they go through the converter and back unchanged, and are no ASCII.
        EXPECT_EQ(Gb18030FromUtf16(Utf16FromGb18030(text)), text) << s;
        EXPECT_GE(static_cast<unsigned char>(text[0]), 0x81u) << s;
    }
}

TEST(SyncStatusText, StatusLineAndTip) {
    const std::string ok(quill::SyncStatusText(SyncStatus::kOk));
    const std::string offline(quill::SyncStatusText(SyncStatus::kOffline));
    struct Case {
        SyncLastRun last;
        std::int64_t now;
        std::string line;
        std::string tip;
    } cases[] = {
        {{}, 600 * kMin, std::string(quill::kSyncNever), "Q"},
        {{754 * kMin, 754 * kMin, SyncStatus::kOk},
         800 * kMin,
         "12:34 " + ok,
         "Q\n\xC9\xCF\xB4\xCE\xCD\xAC\xB2\xBD 12:34"},
        // The next day the date is said too.
        {{5 * kMin, 5 * kMin, SyncStatus::kOk},
         kDayS + 1,
         "12-08 00:05 " + ok,
         "Q\n\xC9\xCF\xB4\xCE\xCD\xAC\xB2\xBD 12-08 00:05"},
        // Across the year, the year as well.
        {{5 * kMin, 5 * kMin, SyncStatus::kOk},
         30 * kDayS,
         "2026-12-08 00:05 " + ok,
         "Q\n\xC9\xCF\xB4\xCE\xCD\xAC\xB2\xBD 2026-12-08 00:05"},
        // A failure after a success: when it failed, why, and when the last success was.
        {{61 * kMin, 59 * kMin, SyncStatus::kOffline, 1},
         62 * kMin,
         "01:01 " + offline + " (\xC9\xCF\xB4\xCE\xB3\xC9\xB9\xA6: 00:59)",
         "Q\n\xC9\xCF\xB4\xCE\xCD\xAC\xB2\xBD 00:59"},
        // Failures only: no success to name, and the tooltip says nothing of a sync.
        {{61 * kMin, 0, SyncStatus::kOffline, 3}, 62 * kMin, "01:01 " + offline, "Q"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(quill::SyncStatusLine(c.last, c.now, Local), c.line);
        EXPECT_EQ(quill::SyncTrayTip("Q", c.last, c.now, Local), c.tip);
    }
}

// The dialog's line says whether a password is kept, and after a success what the sync did, counted as
// the notes tool counts it; a check that failed says that nothing was kept.
TEST(SyncStatusText, DialogLine) {
    const std::string ok(quill::SyncStatusText(SyncStatus::kOk));
    const std::string offline(quill::SyncStatusText(SyncStatus::kOffline));
    SyncLastRun done{754 * kMin, 754 * kMin, SyncStatus::kOk};
    done.pushed = 3;
    done.joined = 1;
    done.pulled = 12;
    const std::string counts = "发出 3 篇 (其中合并 1 篇), 收到 12 篇";
    const std::string kept = std::string(quill::kSyncPasswordKept) + "\r\n";
    struct Case {
        SyncLastRun last;
        bool passwordKept;
        std::string line;
    } cases[] = {
        {{}, false, std::string(quill::kSyncNever)},
        {{}, true, kept + std::string(quill::kSyncNever)},
        {done, true, kept + "12:34 " + ok + "\r\n" + counts},
        {done, false, "12:34 " + ok + "\r\n" + counts},
        {{754 * kMin, 754 * kMin, SyncStatus::kOk},
         true,
         kept + "12:34 " + ok + "\r\n发出 0 篇 (其中合并 0 篇), 收到 0 篇"},
        // After a failure the counts of the success before would read as this try's.
        {{61 * kMin, 0, SyncStatus::kOffline, 3, false, 3, 1, 1}, true, kept + "01:01 " + offline},
    };
    for (const Case& c : cases)
        EXPECT_EQ(quill::SyncDialogLine(c.last, c.passwordKept, 800 * kMin, Local), c.line);
    EXPECT_EQ(quill::SyncCheckFailedLine(SyncStatus::kUnauthorized), "用户名或密码错误, 未保存任何设置");
    EXPECT_EQ(quill::SyncCheckFailedLine(SyncStatus::kNoCalendar),
              std::string(quill::SyncStatusText(SyncStatus::kNoCalendar)) + ", 未保存任何设置");
}

} // namespace
