// The benchmarks' runs that give the window input: day switches (the Left key, or a click where the
// calendar takes no keys) and typing into the note box while another thread times the window's
// answers.
#include "startup_bench.h"

#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>

#include "driver/files.h"
#include "driver/input.h"
#include "driver/read_back.h"
#include "driver/remote.h"
#include "driver/text.h"
#include "driver/wait.h"
#include "safety/edit_journal.h"

namespace startup {

namespace {

// True once the note box shows `expected`, polled about every millisecond from t0 for `limit` seconds.
bool NoteShows(HWND edit, const std::wstring& expected, double t0, double limit) {
    while (driver::SecondsNow() - t0 < limit) {
        const auto text = driver::ReadText(edit, 2000);
        if (text && *text == expected)
            return true;
        Sleep(1);
    }
    return false;
}

// A click on the day's cell where one is given, else the Left key.
void SelectPreviousDay(HWND calendar, const std::optional<POINT>& cell) {
    if (cell) {
        // Real input, as a user's click arrives: through the system's hit test, the cursor
        // and the activation, which a posted button message skips.
        POINT screen = *cell;
        ClientToScreen(calendar, &screen);
        driver::ClickAt(screen);
    } else {
        PostMessageW(calendar, WM_KEYDOWN, VK_LEFT, 0x014B0001);
        PostMessageW(calendar, WM_KEYUP, VK_LEFT, static_cast<LPARAM>(0xC14B0001u));
    }
}

void WaitUntilDrawn(HWND window, HWND calendar, HWND edit, double t0) {
    // Bold days are set before the text; done once neither control waits for a repaint.
    while (driver::SecondsNow() - t0 < 3 &&
           (GetUpdateRect(calendar, nullptr, FALSE) || GetUpdateRect(edit, nullptr, FALSE)))
        Sleep(1);
    // A paint under way has already emptied the update region: the switch is over when the
    // window's thread answers again, its paint drawn.
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 3000, &ignored);
}

} // namespace

std::map<long, POINT> Bench::DayCells(HANDLE process, HWND calendar) {
    struct Sum {
        long x = 0, y = 0, n = 0;
    };
    std::map<long, Sum> sums;
    RECT rc{};
    GetClientRect(calendar, &rc);
    const driver::RemoteBlock block(process, sizeof(MCHITTESTINFO));
    for (LONG y = 1; y < rc.bottom; y += 3) {
        for (LONG x = 1; x < rc.right; x += 3) {
            MCHITTESTINFO info{};
            info.cbSize = sizeof info;
            info.pt = {x, y};
            if (!block.Send(calendar, MCM_HITTEST, 0, &info, nullptr, 5000))
                return {};
            // Week numbers share the date bit; only a day's own cell counts.
            if ((info.uHit & ~(MCHT_NEXT | MCHT_PREV)) != MCHT_CALENDARDATE || !info.st.wYear)
                continue;
            Sum& sum = sums[bench::DaysFromCivil({info.st.wYear, info.st.wMonth, info.st.wDay})];
            sum.x += x;
            sum.y += y;
            ++sum.n;
        }
    }
    std::map<long, POINT> cells;
    for (const auto& [day, sum] : sums)
        cells[day] = POINT{sum.x / sum.n, sum.y / sum.n};
    return cells;
}

bool Bench::SwitchDays(const std::wstring& exe, const DataSet& set,
                       const std::function<std::wstring(long day)>& noteOf, std::vector<double>& latencies) {
    WinRun run;
    if (!Launch(run, exe, set.folder) || !run.WaitForPaint(kAccent, kPaintTimeoutMs)) {
        std::fprintf(stderr, "day switch: no paint seen\n");
        return false;
    }
    Sleep(500);
    const HWND calendar = GetDlgItem(run.Window(), 1000);
    const HWND edit = GetDlgItem(run.Window(), 1001);
    long day = bench::DaysFromCivil(Today());
    std::map<long, POINT> cells;
    for (int i = 0; i < opt.switches; ++i) {
        --day;
        const std::wstring expected = noteOf(day);
        std::optional<POINT> cell;
        if (m_clicks) {
            if (!cells.count(day))
                cells = DayCells(run.Process(), calendar);
            const auto it = cells.find(day);
            if (it == cells.end()) {
                std::fprintf(stderr, "day switch: the previous day is not on the calendar\n");
                return false;
            }
            cell = it->second;
        }
        const double t0 = driver::SecondsNow();
        SelectPreviousDay(calendar, cell);
        const bool ok = NoteShows(edit, expected, t0, cell ? 3.0 : 0.5);
        if (!ok && !cell && i == 0) {
            // A month calendar that takes no keys (Wine's): the day is clicked instead.
            m_clicks = true;
            ++day;
            --i;
            continue;
        }
        if (!ok) {
            std::fprintf(stderr, "day switch %d: the note of the previous day did not appear\n", i);
            return false;
        }
        WaitUntilDrawn(run.Window(), calendar, edit, t0);
        latencies.push_back(driver::SecondsNow() - t0);
        // Selecting a day of another month scrolls the calendar, and every cell moves.
        if (bench::CivilFromDays(day).month != bench::CivilFromDays(day + 1).month)
            cells.clear();
        Sleep(30);
    }
    return true;
}

void Bench::DaySwitch() {
    auto dateOf = [](long day) {
        const bench::Date d = bench::CivilFromDays(day);
        wchar_t text[16];
        wsprintfW(text, L"%04d-%02d-%02d", d.year, d.month, d.day);
        return std::wstring(text);
    };
    struct Variant {
        std::wstring exe;
        DataSet* set = nullptr;
        Target target;
        std::vector<double> latencies;
        bool failed = false;
    };
    auto variant = [&](const std::wstring& exe, DataSet* set, Target target) {
        Variant x;
        x.exe = exe;
        x.set = set;
        x.target = std::move(target);
        return x;
    };
    auto noSlower = [](const DataSet& set) {
        return Target("<= 1.0x floor", 1.0, 0, "day switch, " + set.name);
    };
    // Each diary's floor shows the date and then a note as long as the diary's own, so a long
    // note's layout in the note box is paid on both sides.
    auto floorFor = [&](const DataSet& set) {
        DataSet floor{Join(opt.work, L"sets\\floor-note-" + std::to_wstring(set.noteBytes)), 0, set.noteBytes,
                      "floor"};
        driver::MakeFolders(floor.folder);
        driver::EmptyFolder(floor.folder);
        const std::wstring note = driver::FromGbk(bench::NoteTextFor("000000", set.noteBytes)).substr(10);
        driver::WriteWholeFile(
            Join(floor.folder, L"floor_note.txt"),
            std::string(reinterpret_cast<const char*>(note.data()), note.size() * sizeof(wchar_t)));
        return floor;
    };
    DataSet floors[] = {floorFor(n36500), floorFor(y10), floorFor(y100)};
    std::vector<Variant> v = {
        variant(floorIdle, &floors[0], {}),
        variant(opt.program, &n36500, {"< 16 ms (one frame)", 0, 0.016, "day switch, " + n36500.name}),
        variant(floorIdle, &floors[1], {}),
        variant(opt.program, &y10, noSlower(y10)),
        variant(floorIdle, &floors[2], {}),
        variant(opt.program, &y100, noSlower(y100))};
    Interleaved(std::max(1, opt.reps / 3), v.size(), [&](std::size_t i) {
        if (v[i].failed)
            return;
        const std::size_t noteBytes = v[i].set->noteBytes;
        auto noteOf = [noteBytes](long day) {
            return driver::FromGbk(bench::NoteTextFor(bench::KeyOf(bench::CivilFromDays(day)), noteBytes));
        };
        const std::wstring filler = driver::FromGbk(bench::NoteTextFor("000000", noteBytes)).substr(10);
        auto floorOf = [&](long day) { return dateOf(day) + filler; };
        v[i].failed = i % 2 == 0 ? !SwitchDays(v[i].exe, *v[i].set, floorOf, v[i].latencies)
                                 : !SwitchDays(v[i].exe, *v[i].set, noteOf, v[i].latencies);
    });
    report.Section("Day switch (input in the calendar to the new note shown)");
    const char* how = m_clicks ? "click on the previous day" : "Left key";
    for (std::size_t i = 0; i < v.size(); i += 2) {
        const Stat f = Summarize(v[i].latencies);
        char floorName[160];
        std::snprintf(floorName, sizeof floorName,
                      "bare dialog writing the date and a %zu-byte note into its note box (floor), %s",
                      v[i].set->noteBytes, how);
        report.Row(floorName, f, Unit::Ms, &f);
        report.Row("Quillidar, " + v[i + 1].set->name + ", " + how, Summarize(v[i + 1].latencies), Unit::Ms,
                   &f, v[i + 1].target);
    }
    if (m_clicks)
        report.Note("This month calendar takes no arrow keys (Wine's), so each previous day was clicked "
                    "(a real click, SendInput, on its cell) instead of reached with the Left key.");
    if (std::any_of(v.begin(), v.end(), [](const Variant& x) { return x.failed; }))
        report.Note("Some day switches did not change the note box: see the driver's output.");
    report.Note("Measured from outside: from the input to the note box's text (WM_GETTEXT, polled about "
                "every millisecond) being the new day's, neither control waiting for a repaint, and the "
                "window's thread answering a WM_NULL round trip (the paint under way finished).");
}

double Bench::JournalRecords() const {
    double records = 0;
    for (const std::wstring& path : SafetyFiles(safety, L"journal-")) {
        if (const auto bytes = driver::ReadWholeFile(path)) {
            for (const JournalRecord& r : DecodeJournal(*bytes).records)
                records += r.kind == JournalRecordKind::kEdit ? 1 : 0;
        }
    }
    return records;
}

bool Bench::TypeInto(const DataSet& set, TypingRun& out) {
    // A copy of the diary: the close saves what was typed, and the diary must stay as written.
    const std::wstring folder = Join(opt.work, L"runs\\typing");
    driver::MakeFolders(folder);
    driver::EmptyFolder(folder);
    for (const wchar_t* file : {L"nts.ini", L"qlw.ini"})
        CopyFileW(Join(set.folder, file).c_str(), Join(folder, file).c_str(), FALSE);
    WinRun run;
    if (!Launch(run, opt.program, folder) || !run.WaitForPaint(kAccent, kPaintTimeoutMs)) {
        std::fprintf(stderr, "typing %s: no paint seen\n", set.name.c_str());
        return false;
    }
    Sleep(500);
    const HWND window = run.Window();
    const HWND edit = GetDlgItem(window, 1001);
    RECT box{};
    GetWindowRect(edit, &box);
    driver::BringToFront(window);
    // The caret into the note box, at the end of the day's note, as a click and Ctrl+End put it.
    driver::ClickAt({(box.left + box.right) / 2, (box.top + box.bottom) / 2});
    driver::Chord(edit, {VK_CONTROL, VK_END});
    const auto before = driver::ReadText(edit);

    std::atomic<bool> stop{false};
    std::thread sampler([&] {
        double next = driver::SecondsNow();
        while (!stop) {
            const double t0 = driver::SecondsNow();
            DWORD_PTR ignored = 0;
            SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 30000, &ignored);
            out.samples.push_back(driver::SecondsNow() - t0);
            // The next sample at the next 10 ms step; a stall longer than that is one sample.
            next += 0.010;
            while (next < driver::SecondsNow())
                next += 0.010;
            while (driver::SecondsNow() < next)
                Sleep(1);
        }
    });
    const int keys = opt.typingSeconds * 10;
    std::wstring typed;
    const double start = driver::SecondsNow();
    for (int k = 0; k < keys; ++k) {
        while (driver::SecondsNow() < start + 0.1 * k)
            Sleep(1);
        const wchar_t c = k % 8 == 7 ? L' ' : static_cast<wchar_t>(L'a' + k % 26);
        TypeChar(c);
        typed.push_back(c);
    }
    out.typingRecords = JournalRecords();
    Sleep(3000);
    stop = true;
    sampler.join();
    out.records = JournalRecords();
    const auto after = driver::ReadText(edit);
    out.typed = before && after && *after == *before + typed;
    PostMessageW(window, WM_ENDSESSION, TRUE, 0);
    if (!run.WaitForExit(60000))
        std::fprintf(stderr, "typing %s: still running 60 s after WM_ENDSESSION\n", set.name.c_str());
    return true;
}

void Bench::Typing() {
    struct Variant {
        DataSet* set = nullptr;
        std::vector<double> longest, p99, typingRecords, records;
        int lost = 0; // runs whose note box did not end with what was typed
    };
    std::vector<Variant> v(2);
    v[0].set = &empty;
    v[1].set = &y100;
    Interleaved(std::max(1, opt.reps / 3), v.size(), [&](std::size_t i) {
        TypingRun r;
        if (!TypeInto(*v[i].set, r) || r.samples.empty())
            return;
        v[i].longest.push_back(*std::max_element(r.samples.begin(), r.samples.end()));
        v[i].p99.push_back(Quantile(r.samples, 0.99));
        v[i].typingRecords.push_back(r.typingRecords);
        v[i].records.push_back(r.records);
        v[i].lost += r.typed ? 0 : 1;
        std::fprintf(stderr,
                     "typing %-24s longest %.1f ms, p99 %.1f ms, %zu samples, %.0f journal records at "
                     "the last key, "
                     "%.0f after the pause%s\n",
                     v[i].set->name.c_str(), v[i].longest.back() * 1000, v[i].p99.back() * 1000,
                     r.samples.size(), r.typingRecords, r.records, r.typed ? "" : ", the note box lost keys");
    });
    char title[160];
    std::snprintf(title, sizeof title,
                  "Typing (a character every 100 ms for %d s, then 3 s still; WM_NULL round trip every "
                  "10 ms)",
                  opt.typingSeconds);
    report.Section(title);
    const Stat longest = Summarize(v[0].longest), p99 = Summarize(v[0].p99);
    const Stat records = Summarize(v[0].records);
    report.Row("Quillidar, empty diary, longest stall", longest, Unit::Ms, &longest);
    report.Row("Quillidar, empty diary, 99th percentile", p99, Unit::Ms, &p99);
    const Stat typingRecords = Summarize(v[0].typingRecords);
    report.Row("Quillidar, empty diary, journal records on disk at the last key", typingRecords, Unit::Count,
               &typingRecords);
    report.Row("Quillidar, empty diary, journal records on disk after the pause", records, Unit::Count,
               &records);
    const std::string name = "Quillidar, " + v[1].set->name;
    report.Row(name + ", longest stall", Summarize(v[1].longest), Unit::Ms, &longest,
               Target("<= 1.5x the empty diary's", 1.5, 0, "typing, longest stall, " + v[1].set->name));
    report.Row(name + ", 99th percentile", Summarize(v[1].p99), Unit::Ms, &p99);
    report.Row(name + ", journal records on disk at the last key", Summarize(v[1].typingRecords), Unit::Count,
               &typingRecords);
    report.Row(name + ", journal records on disk after the pause", Summarize(v[1].records), Unit::Count,
               &records);
    report.Note("A stall is the time the window's thread takes to answer a WM_NULL round trip "
                "(SendMessageTimeoutW) sent from another thread of the driver every 10 ms while a "
                "character is typed into the note box (SendInput, Unicode) every 100 ms, and for 3 s "
                "after the last, when the pause's journal write falls. Each run gives its longest "
                "stall and its 99th percentile; the table shows their median over the runs. Journal "
                "records are the edit records in the diary's journal files, read from the disk at the "
                "last key and again after the pause, before the close. Each run types into a copy of "
                "the diary.");
    if (v[0].lost + v[1].lost)
        report.Note("In some runs the note box did not end with every character typed: see the "
                    "driver's output.");
}

} // namespace startup
