// The sync's account and last-run files against damage, the password's name per origin, and the
// record of tries that drives the back-off and "tell the user once".
#include <gtest/gtest.h>

#include <cstdio>

#include "fake_file_system.h"
#include "sync/sync_session.h"

namespace {

std::string Fnv(std::string_view bytes) {
    std::uint64_t h = 14695981039346656037ull;
    for (const char c : bytes) {
        h ^= static_cast<unsigned char>(c);
        h *= 1099511628211ull;
    }
    char digits[17];
    std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(h));
    return digits;
}

// A file with a right checksum around whatever body: what the decoder must judge by its fields.
std::string Sealed(std::string body) {
    return body + "end " + Fnv(body) + "\n";
}

const SyncAccount kAccount{"https://Dav.Example.org/remote.php/dav/", "alice", "日记 2"};
const SyncLastRun kLast{1796724000, 1796720000, SyncStatus::kUnauthorized, 3, true, 4, 5, 6};

TEST(SyncAccountFile, RoundTripsAndRefusesEveryCutAndFlip) {
    const std::string account = EncodeSyncAccount(kAccount);
    const std::string last = EncodeSyncLastRun(kLast);
    SyncAccount a;
    SyncLastRun l;
    ASSERT_TRUE(DecodeSyncAccount(account, a));
    EXPECT_EQ(a, kAccount);
    ASSERT_TRUE(DecodeSyncLastRun(last, l));
    EXPECT_EQ(l, kLast);
    for (std::size_t n = 0; n < account.size(); ++n) {
        EXPECT_FALSE(DecodeSyncAccount(account.substr(0, n), a)) << "cut at " << n;
    }
    for (std::size_t n = 0; n < last.size(); ++n) {
        EXPECT_FALSE(DecodeSyncLastRun(last.substr(0, n), l)) << "cut at " << n;
    }
    for (const unsigned char mask : {0x01, 0x20, 0x80}) {
        for (std::size_t i = 0; i < account.size(); ++i) {
            std::string bad = account;
            bad[i] = static_cast<char>(bad[i] ^ mask);
            EXPECT_FALSE(DecodeSyncAccount(bad, a)) << "flip " << int(mask) << " at " << i;
        }
        for (std::size_t i = 0; i < last.size(); ++i) {
            std::string bad = last;
            bad[i] = static_cast<char>(bad[i] ^ mask);
            EXPECT_FALSE(DecodeSyncLastRun(bad, l)) << "flip " << int(mask) << " at " << i;
        }
    }
    // A refused file leaves what the caller held alone.
    EXPECT_EQ(a, kAccount);
    EXPECT_EQ(l, kLast);
}

TEST(SyncAccountFile, SealedButWrongFieldsAreRefused) {
    const std::string head = "quillidar-sync-account 1\n";
    const std::string good = "server 68747470733a2f2f68\nuser 61\ncollection 63\n"; // https://h, a, c
    SyncAccount a;
    ASSERT_TRUE(DecodeSyncAccount(Sealed(head + good), a));
    EXPECT_EQ(a, (SyncAccount{"https://h", "a", "c"}));
    const struct {
        const char* what;
        std::string body;
    } cases[] = {
        {"a field twice", good + "user 62\n"},
        {"a field missing", "server 68747470733a2f2f68\nuser 61\n"},
        {"an unknown field", good + "token 61\n"},
        {"upper-case hex", "server 68747470733A2F2F68\nuser 61\ncollection 63\n"},
        {"odd hex", "server 68747470733a2f2f6\nuser 61\ncollection 63\n"},
        {"no user", "server 68747470733a2f2f68\nuser -\ncollection 63\n"},
        {"an address of no server", "server 66696c653a2f2f68\nuser 61\ncollection 63\n"}, // file://h
        {"no space", "server68747470733a2f2f68\nuser 61\ncollection 63\n"},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(DecodeSyncAccount(Sealed(head + c.body), a)) << c.what;
    }
    const std::string lastHead = "quillidar-sync-last 1\n";
    auto lastOf = [](std::string status, std::string failures, std::string told, std::string tried = "5") {
        return "tried " + tried + "\nsucceeded 0\nstatus " + status + "\nfailures " + failures + "\ntold " +
               told + "\npushed 0\npulled 0\njoined 0\n";
    };
    SyncLastRun l;
    ASSERT_TRUE(DecodeSyncLastRun(Sealed(lastHead + lastOf("14", "2", "1")), l));
    EXPECT_EQ(l.status, SyncStatus::kNoCalendar);
    const struct {
        const char* what;
        std::string body;
    } lastCases[] = {
        {"a status past the last", lastOf("15", "0", "0")},
        {"a negative count", lastOf("0", "-1", "0")},
        {"told is no flag", lastOf("0", "0", "2")},
        {"a leading zero", lastOf("0", "01", "0")},
        {"a number too large", lastOf("0", "99999999999", "0")},
        {"no number", lastOf("0", "x", "0")},
        {"a negative time", lastOf("0", "0", "0", "-5")},
    };
    for (const auto& c : lastCases) {
        EXPECT_FALSE(DecodeSyncLastRun(Sealed(lastHead + c.body), l)) << c.what;
    }
}

TEST(SyncAccountFile, DamagedFilesReadAsNoAccountAndNeverRan) {
    FakeFileSystem fs;
    const FsPath folder = L"safe/";
    ASSERT_EQ(SaveSyncAccount(fs, folder, kAccount).outcome, SaveOutcome::kSaved);
    ASSERT_EQ(SaveSyncLastRun(fs, folder, kLast).outcome, SaveOutcome::kSaved);
    EXPECT_EQ(LoadSyncAccount(fs, folder), kAccount);
    EXPECT_EQ(LoadSyncLastRun(fs, folder), kLast);
    fs.files[folder + kSyncAccountFileName].back() = ' ';
    fs.files[folder + kSyncLastRunFileName].erase(3, 1);
    EXPECT_EQ(LoadSyncAccount(fs, folder), std::nullopt);
    EXPECT_EQ(LoadSyncLastRun(fs, folder), SyncLastRun{});
    EXPECT_TRUE(RemoveSyncAccount(fs, folder));
    EXPECT_FALSE(fs.Exists(folder + kSyncAccountFileName));
    EXPECT_TRUE(RemoveSyncAccount(fs, folder)) << "nothing to remove is no failure";
    // A save that fails leaves the old file.
    ASSERT_EQ(SaveSyncAccount(fs, folder, kAccount).outcome, SaveOutcome::kSaved);
    fs.FailNth(FsOp::kWrite, 1, FileError::kDiskFull);
    EXPECT_NE(SaveSyncAccount(fs, folder, SyncAccount{"https://other", "bob", "x"}).outcome,
              SaveOutcome::kSaved);
    EXPECT_EQ(LoadSyncAccount(fs, folder), kAccount);
}

TEST(SyncAccountFile, PasswordNamedByOriginAndUser) {
    const struct {
        std::string url, user, target;
    } cases[] = {
        {"https://dav.example.org/", "alice", "Quillidar sync https://dav.example.org:443 alice"},
        {"HTTPS://DAV.Example.ORG", "alice", "Quillidar sync https://dav.example.org:443 alice"},
        {"https://dav.example.org:443/a/b?c", "alice", "Quillidar sync https://dav.example.org:443 alice"},
        {"https://dav.example.org:8443/", "alice", "Quillidar sync https://dav.example.org:8443 alice"},
        // A name inside the address is never where a password goes.
        {"https://eve@dav.example.org/", "alice", "Quillidar sync (none) alice"},
        {"https://dav.example.org@evil.example/", "alice", "Quillidar sync (none) alice"},
        {"http://127.0.0.1:5232/", "Alice", "Quillidar sync http://127.0.0.1:5232 Alice"},
        {"http://localhost/", "a b", "Quillidar sync http://localhost:80 a b"},
        {"https://[::1]:8443/x", "alice", "Quillidar sync https://[::1]:8443 alice"},
        {"ftp://dav.example.org/", "alice", "Quillidar sync (none) alice"},
        {"https://dav.example.org:0/", "alice", "Quillidar sync (none) alice"},
        {"https://dav.example.org:99999/", "alice", "Quillidar sync (none) alice"},
        {"https://:443/", "alice", "Quillidar sync (none) alice"},
        {"dav.example.org", "alice", "Quillidar sync (none) alice"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CredentialTarget(SyncAccount{c.url, c.user, kCollectionName}), c.target) << c.url;
    }
}

TEST(SyncAccountFile, OnlyLoopbackHostsCountAsThisComputer) {
    const struct {
        const char* url;
        bool loopback;
    } cases[] = {
        {"http://127.0.0.1:5232/", true},  {"http://127.9.8.7/", true},
        {"http://LOCALHOST/", true},       {"http://[::1]/", true},
        {"http://127.0.0.1.evil/", false}, {"http://127.0.0/", false},
        {"http://127.0.0.256/", false},    {"http://128.0.0.1/", false},
        {"http://localhost.evil/", false}, {"http://[::2]/", false},
        {"http://127.0.0.01/", true},
    };
    for (const auto& c : cases) {
        const std::optional<SyncOrigin> origin = OriginOfSyncUrl(c.url);
        ASSERT_TRUE(origin) << c.url;
        EXPECT_EQ(origin->loopback, c.loopback) << c.url;
    }
}

TEST(SyncAccountFile, TriesRecordedInARow) {
    FakeFileSystem fs;
    const FsPath folder = L"safe/";
    const struct {
        SyncStatus status;
        bool toldBefore; // the widget showed the failure before this try
        int failures;
        bool told;
        std::int64_t succeeded;
    } steps[] = {
        {SyncStatus::kOffline, false, 1, false, 0},
        {SyncStatus::kOffline, false, 2, false, 0},
        {SyncStatus::kUnauthorized, false, 3, false, 0},
        {SyncStatus::kUnauthorized, true, 4, true, 0}, // told once: not again for the same failure
        {SyncStatus::kCertificate, true, 5, false, 0}, // another failure is news
        {SyncStatus::kOk, true, 0, false, 1006},       // success starts over
        {SyncStatus::kServerError, false, 1, false, 1006},
    };
    std::int64_t now = 1000;
    for (const auto& s : steps) {
        if (s.toldBefore) {
            SyncLastRun told = LoadSyncLastRun(fs, folder);
            told.userTold = true;
            SaveSyncLastRun(fs, folder, told);
        }
        SyncReport report;
        report.status = s.status;
        report.pushed = 2;
        const SyncLastRun last = RecordSyncTry(fs, folder, report, ++now);
        EXPECT_EQ(last, LoadSyncLastRun(fs, folder)) << "kept as returned";
        EXPECT_EQ(last.tried, now);
        EXPECT_EQ(last.status, s.status);
        EXPECT_EQ(last.failures, s.failures) << now;
        EXPECT_EQ(last.userTold, s.told) << now;
        EXPECT_EQ(last.succeeded, s.succeeded) << now;
        EXPECT_EQ(last.pushed, s.succeeded ? 2 : 0) << "what the last successful run did";
    }
}

} // namespace
