// What a big sync holds at its peak, counted in bytes by the tests' own operator new, against the
// bytes of the diary it brings in or sends: a pull of another PC's days or of a phone's entries, a
// run that changes nothing, and the state read and kept between them.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "fake_caldav_server.h"
#include "fake_file_system.h"
#include "held_bytes.h"
#include "sync/day_resource.h"
#include "sync/sync_session.h"
#include "sync/sync_state.h"

namespace {

const std::string kRoot = std::string(FakeCalDavServer::kOrigin) + "/";

// About 500 bytes of a note, different every day, as the bench's diary has them.
std::string NoteOfDay(int i) {
    static const char* kWords[] = {"today", "rain", "walk", "tea", "diary", "book", "a long day", "sun"};
    std::string text;
    for (int j = 0; j < 70; ++j) {
        text += text.empty() ? "" : " ";
        text += kWords[(i * 7 + j) % 8];
    }
    return text + " " + std::to_string(i);
}

SyncDate DayBack(int i) {
    // From the last day of the diary's century window backwards.
    static const int kMonthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    SyncDate d{2027, 12, 31};
    for (int k = 0; k < i; ++k) {
        if (--d.day == 0) {
            if (--d.month == 0) {
                d.month = 12;
                --d.year;
            }
            const bool leap = d.year % 4 == 0 && (d.year % 100 != 0 || d.year % 400 == 0);
            d.day = kMonthDays[d.month - 1] + (d.month == 2 && leap);
        }
    }
    return d;
}

// A phone's entry of the day, under a name and UID of its own.
std::string PhoneEntry(const SyncDate& date, const std::string& text) {
    const std::string compact = CompactDate(date);
    return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//phone//EN\r\nBEGIN:VJOURNAL\r\nUID:phone-" + compact +
           "\r\nDTSTAMP:20261208T000000Z\r\nDTSTART;VALUE=DATE:" + compact + "\r\nDESCRIPTION:" + text +
           "\r\nEND:VJOURNAL\r\nEND:VCALENDAR\r\n";
}

int DaysToMeasure() {
    const char* days = std::getenv("QUILL_SYNC_MEMORY_DAYS");
    return days ? std::atoi(days) : 2000;
}

struct Figures {
    std::size_t diary = 0; // the notes' text
    std::size_t peak = 0;  // the most held while the run went, above what was held before it
    std::size_t state = 0; // held by the state it left
    std::size_t again = 0; // the most a second run, which finds nothing changed, held above it
};

Figures Pull(bool phone, int n) {
    FakeCalDavServer server;
    CalDavClient setup(server);
    std::string url;
    EXPECT_EQ(setup.Discover(kRoot, url), SyncStatus::kOk);
    Figures f;
    for (int i = 0; i < n; ++i) {
        const SyncDate date = DayBack(i);
        const std::string text = NoteOfDay(i);
        f.diary += text.size();
        server.Write(server.CollectionPath() +
                         (phone ? "phone-" + CompactDate(date) + ".ics" : HrefNameOfDay(date)),
                     phone ? PhoneEntry(date, text) : EncodeDayResource(date, text, 0));
    }
    FakeFileSystem fs;
    NoteMap notes;
    SyncSessionInput input;
    input.account = SyncAccount{kRoot, "user", kCollectionName};
    input.folder = L"/safety/";
    for (const bool second : {false, true}) {
        const std::size_t before = held_bytes::Now();
        held_bytes::ResetPeak();
        SyncSessionResult result = RunSyncSession(server, notes, fs, input);
        EXPECT_EQ(result.report.status, SyncStatus::kOk);
        EXPECT_EQ(notes.size(), static_cast<std::size_t>(n));
        (second ? f.again : f.peak) = held_bytes::Peak() - before;
        // Kept for the second run; what keeping costs is measured with the state's file.
        EXPECT_EQ(
            KeepSyncState(fs, input.folder + kSyncStateFileName, result.state, result.stateMark).outcome,
            SaveOutcome::kSaved);
        if (!second) {
            const std::size_t withState = held_bytes::Now();
            result.state = SyncState{};
            f.state = withState - held_bytes::Now();
        }
    }
    return f;
}

// Bounds, as times the diary's text, of what a run may hold; the notes alone cost about 1.3 to
// 1.5 times their text (a string and an entry apiece).
TEST(SyncMemory, BigPullsHoldLittleBesideTheNotes) {
    const struct {
        const char* what;
        bool phone;
        double peak, state, again;
    } cases[] = {
        // Every entry another client's: the note holds its text, the state only its sum.
        {"a phone's entries", true, 3.0, 0.7, 1.4},
        // Our own days: the state holds the text agreed on, beside the note.
        {"another PC's days", false, 3.6, 1.8, 3.0},
    };
    const int n = DaysToMeasure();
    for (const auto& c : cases) {
        const Figures f = Pull(c.phone, n);
        const double peak = double(f.peak) / f.diary, state = double(f.state) / f.diary,
                     again = double(f.again) / f.diary;
        if (std::getenv("QUILL_SYNC_MEMORY_DAYS")) {
            std::printf("%s, %d days of %zu bytes: peak %zu (%.2fx), state %zu (%.2fx), again %zu (%.2fx)\n",
                        c.what, n, f.diary, f.peak, peak, f.state, state, f.again, again);
        }
        EXPECT_LE(peak, c.peak) << c.what;
        EXPECT_LE(state, c.state) << c.what;
        EXPECT_LE(again, c.again) << c.what;
    }
}

} // namespace
