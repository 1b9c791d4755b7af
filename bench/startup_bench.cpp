// Windows half of the benchmarks: Quillidar.exe watched from outside against the bare-dialog floors
// of bench/floor_dialog.cpp, every figure a median over runs interleaved with its floor's.
//
//   startup_bench --quillidar=EXE --floors=DIR --work=DIR [--out=FILE] [--reps=N] [--idle-seconds=S]
//                 [--idle-reps=N] [--switches=N] [--wineserver-pid=PID] [--clock-ticks=HZ]
//                 [--only=startup,idle,switch,save]
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "appearance/calendar_settings.h"
#include "appearance/settings_file.h"
#include "bench_data.h"
#include "diary/notes_file.h"
#include "driver/files.h"
#include "driver/remote.h"
#include "driver/read_back.h"
#include "driver/text.h"
#include "driver/wait.h"
#include "win_run.h"

namespace {

using bench::WinRun;

struct Options {
    std::wstring program;
    std::wstring floors;
    std::wstring work;
    std::wstring out;
    int reps = 7;
    int idleSeconds = 60;
    int idleReps = 3;
    int switches = 40;
    std::uint32_t wineserverPid = 0;
    int clockTicks = 100;
    std::string only;
    bool Wants(const char* part) const { return only.empty() || only.find(part) != std::string::npos; }
};

constexpr DWORD kPaintTimeoutMs = 60000;
constexpr COLORREF kAccent = RGB(100, 100, 190); // scheme 0, the default
constexpr int kFormatWithSeconds = 43;
constexpr int kFormatWithoutSeconds = 44;

struct Stat {
    double median = 0, min = 0, max = 0;
    std::size_t n = 0;
};

Stat Summarize(std::vector<double> v) {
    Stat s;
    s.n = v.size();
    if (v.empty())
        return s;
    std::sort(v.begin(), v.end());
    s.min = v.front();
    s.max = v.back();
    s.median = v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
    return s;
}

// ---- The report ----

enum class Unit { Ms, Seconds, MB };

std::string Format(double value, Unit unit) {
    char text[64];
    switch (unit) {
    case Unit::Ms:
        std::snprintf(text, sizeof text, "%.1f ms", value * 1000);
        break;
    case Unit::Seconds:
        std::snprintf(text, sizeof text, "%.3f s", value);
        break;
    case Unit::MB:
        std::snprintf(text, sizeof text, "%.1f MB", value / 1e6);
        break;
    }
    return text;
}

struct Report {
    std::ostringstream md;

    void Section(const std::string& title) {
        md << "\n### " << title << "\n\n"
           << "| Figure | Median | Min | Max | Runs | Floor (median) | Ratio | Target |\n"
           << "|---|---|---|---|---|---|---|---|\n";
    }
    // limit: the ratio the target allows (0 when the target is not a ratio); target: its text.
    void Row(const std::string& figure, const Stat& s, Unit unit, const Stat* floor, double limit,
             const std::string& target) {
        md << "| " << figure << " | " << Format(s.median, unit) << " | " << Format(s.min, unit) << " | "
           << Format(s.max, unit) << " | " << s.n << " | ";
        if (floor && s.n && floor->n) {
            char ratio[32];
            const double r = floor->median > 0 ? s.median / floor->median : 0;
            std::snprintf(ratio, sizeof ratio, "%.2fx", r);
            md << Format(floor->median, unit) << " | " << ratio << " | " << target;
            if (limit > 0)
                md << (r <= limit ? " (met)" : " (missed)");
        } else {
            md << "- | - | " << target;
        }
        if (!s.n)
            md << " (no measurement)";
        md << " |\n";
    }
    void Note(const std::string& text) { md << "\n" << text << "\n"; }
};

// ---- Data sets ----

std::wstring Join(const std::wstring& folder, const std::wstring& name) {
    return folder + L"\\" + name;
}

bench::Date Today() {
    SYSTEMTIME st;
    GetLocalTime(&st);
    return {st.wYear, st.wMonth, st.wDay};
}

std::string SettingsBytes(int timeFormat) {
    CalendarSettings settings;
    FillDefaultSettings(settings);
    settings.m_nTimeFormat = timeFormat;
    settings.m_nPosX = 300;
    settings.m_nPosY = 200;
    return EncodeSettings(settings, kFileKey);
}

struct DataSet {
    std::wstring folder;
    std::uint64_t notesBytes = 0;
};

// A temporary folder for the program holding a settings file and a notes file of `notes` notes.
DataSet MakeSet(const std::wstring& folder, std::size_t notes, int timeFormat) {
    driver::MakeFolders(folder);
    driver::EmptyFolder(folder);
    const std::string bytes = EncodeNotes(bench::MakeDiary(notes, Today()));
    driver::WriteWholeFile(Join(folder, L"nts.ini"), bytes);
    driver::WriteWholeFile(Join(folder, L"qlw.ini"), SettingsBytes(timeFormat));
    return {folder, bytes.size()};
}

// The copies the program keeps outside the temporary folder: with them left in place, a later run
// started on an empty folder would load the diary of an earlier one.
std::wstring SafetyFolder() {
    const std::wstring base = driver::LocalAppDataFolder();
    return base.empty() ? base : base + L"\\Quillidar";
}

// ---- One run ----

struct Bench {
    Options opt;
    std::wstring floorStartup, floorTimer, floorIdle;
    std::wstring safety = SafetyFolder();
    DataSet empty, fmt44, n36500, n1m, none;
    Report report;

    bool Launch(WinRun& run, const std::wstring& exe, const std::wstring& temp) {
        if (!safety.empty())
            driver::EmptyFolder(safety);
        run.SetClockTicks(opt.clockTicks);
        if (!run.Start(exe, temp)) {
            std::fprintf(stderr, "cannot start %s\n", driver::Utf8(exe).c_str());
            return false;
        }
        return true;
    }

    template <typename F> void Interleaved(int reps, std::size_t variants, F runOne) {
        for (int r = 0; r < reps; ++r) {
            for (std::size_t i = 0; i < variants; ++i)
                runOne((i + static_cast<std::size_t>(r)) % variants);
        }
    }

    void Startup() {
        struct Variant {
            const char* name;
            std::wstring exe;
            DataSet* set;
            std::vector<double> seconds, peak, priv;
        };
        std::vector<Variant> v = {{"floor", floorStartup, &none, {}, {}, {}},
                                  {"empty diary", opt.program, &empty, {}, {}, {}},
                                  {"36,500 notes", opt.program, &n36500, {}, {}, {}},
                                  {"1,000,000 notes", opt.program, &n1m, {}, {}, {}}};
        Interleaved(opt.reps, v.size(), [&](std::size_t i) {
            WinRun run;
            if (!Launch(run, v[i].exe, v[i].set->folder))
                return;
            const auto t = run.WaitForPaint(kAccent, kPaintTimeoutMs);
            if (!t) {
                std::fprintf(stderr, "startup %s: no paint seen\n", v[i].name);
                return;
            }
            v[i].seconds.push_back(*t);
            // Peak figures are taken once start-up work has surely ended.
            Sleep(300);
            if (const auto m = run.ReadMemory()) {
                v[i].peak.push_back(m->peakWorkingSet);
                v[i].priv.push_back(m->privateBytes);
            }
            std::fprintf(stderr, "startup %-16s %.1f ms\n", v[i].name, *t * 1000);
            if (i == 0)
                run.WaitForExit(5000);
        });
        const Stat floor = Summarize(v[0].seconds);
        report.Section("Start to first complete paint");
        report.Row("bare dialog (floor)", floor, Unit::Ms, &floor, 0, "-");
        const double limits[] = {0, 1.1, 1.3, 0};
        const char* targets[] = {"", "<= 1.1x floor", "<= 1.3x floor", "-"};
        for (std::size_t i = 1; i < v.size(); ++i)
            report.Row(std::string("Quillidar, ") + v[i].name, Summarize(v[i].seconds), Unit::Ms, &floor,
                       limits[i], targets[i]);

        const Stat floorPeak = Summarize(v[0].peak);
        const Stat floorPriv = Summarize(v[0].priv);
        report.Section("Memory after start (GetProcessMemoryInfo)");
        report.Row("bare dialog (floor), peak working set", floorPeak, Unit::MB, &floorPeak, 0, "-");
        report.Row("bare dialog (floor), private bytes", floorPriv, Unit::MB, &floorPriv, 0, "-");
        for (std::size_t i = 1; i < v.size(); ++i) {
            const double bytes = static_cast<double>(v[i].set->notesBytes);
            const Stat peak = Summarize(v[i].peak);
            const double allowed = floorPeak.median + 2 * bytes;
            char target[96];
            std::snprintf(target, sizeof target, "<= floor + 2 x %.1f MB file = %.1f MB (%s)", bytes / 1e6,
                          allowed / 1e6, peak.median <= allowed ? "met" : "missed");
            report.Row(std::string("Quillidar, ") + v[i].name + ", peak working set", peak, Unit::MB,
                       &floorPeak, 0, target);
            report.Row(std::string("Quillidar, ") + v[i].name + ", private bytes", Summarize(v[i].priv),
                       Unit::MB, &floorPriv, 0, "-");
        }
    }

    std::optional<double> WineserverCpu() const {
        if (!opt.wineserverPid)
            return std::nullopt;
        return bench::UnixProcessCpuSeconds(opt.wineserverPid, opt.clockTicks);
    }

    void Idle() {
        struct Variant {
            const char* name;
            std::wstring exe;
            DataSet* set;
            std::vector<double> cpu, server;
        };
        std::vector<Variant> v = {
            {"bare dialog, no timer (floor)", floorIdle, &none, {}, {}},
            {"bare dialog, empty 10 ms timer (floor)", floorTimer, &none, {}, {}},
            {"Quillidar, clock \"%a %I:%M:%S %p\" (default)", opt.program, &empty, {}, {}},
            {"Quillidar, clock \"%A %H:%M\" (no seconds)", opt.program, &fmt44, {}, {}}};
        Interleaved(opt.idleReps, v.size(), [&](std::size_t i) {
            WinRun run;
            if (!Launch(run, v[i].exe, v[i].set->folder))
                return;
            if (!run.WaitForPaint(kAccent, kPaintTimeoutMs)) {
                std::fprintf(stderr, "idle %s: no paint seen\n", v[i].name);
                return;
            }
            Sleep(1000);
            const auto c0 = run.CpuSeconds();
            const auto s0 = WineserverCpu();
            if (run.WaitForExit(static_cast<DWORD>(opt.idleSeconds) * 1000)) {
                std::fprintf(stderr, "idle %s: ended by itself\n", v[i].name);
                return;
            }
            const auto c1 = run.CpuSeconds();
            const auto s1 = WineserverCpu();
            if (c0 && c1)
                v[i].cpu.push_back(*c1 - *c0);
            if (s0 && s1)
                v[i].server.push_back(*s1 - *s0);
            std::fprintf(stderr, "idle %-48s process %.3f s, wineserver %.3f s\n", v[i].name,
                         c0 && c1 ? *c1 - *c0 : -1.0, s0 && s1 ? *s1 - *s0 : -1.0);
        });
        char title[96];
        std::snprintf(title, sizeof title, "CPU time over %d s idle", opt.idleSeconds);
        report.Section(title);
        const Stat floorCpu = Summarize(v[1].cpu);
        const Stat floorServer = Summarize(v[1].server);
        for (std::size_t i = 0; i < v.size(); ++i) {
            const bool program = i >= 2;
            report.Row(std::string(v[i].name) + ", process", Summarize(v[i].cpu), Unit::Seconds, &floorCpu,
                       program ? 1.1 : 0, program ? "<= 1.1x timer floor" : "-");
            report.Row(std::string(v[i].name) + ", wineserver", Summarize(v[i].server), Unit::Seconds,
                       &floorServer, program ? 1.1 : 0, program ? "<= 1.1x timer floor" : "-");
        }
        report.Note("Ratios are to the bare dialog with the empty 10 ms timer. CPU times are user plus "
                    "system time from /proc/<pid>/stat of the program's own Unix process and of the "
                    "wineserver (on Windows, GetProcessTimes); they tick in 10 ms steps.");
    }

    // Where each shown day's cell is, in the calendar's client coordinates, found by hit tests.
    static std::map<long, POINT> DayCells(HANDLE process, HWND calendar) {
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

    // One run of day switches: each previous day in turn, `switches` times, by the Left key or, where
    // the calendar takes no keys, by a click on the day. `noteOf` names the text the note box must show.
    bool SwitchDays(const std::wstring& exe, const DataSet& set,
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
            auto shown = [&](double t0, double limit) {
                while (driver::SecondsNow() - t0 < limit) {
                    const auto text = driver::ReadText(edit, 2000);
                    if (text && *text == expected)
                        return true;
                    Sleep(1);
                }
                return false;
            };
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
            if (cell) {
                PostMessageW(calendar, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(cell->x, cell->y));
                PostMessageW(calendar, WM_LBUTTONUP, 0, MAKELPARAM(cell->x, cell->y));
            } else {
                PostMessageW(calendar, WM_KEYDOWN, VK_LEFT, 0x014B0001);
                PostMessageW(calendar, WM_KEYUP, VK_LEFT, static_cast<LPARAM>(0xC14B0001u));
            }
            const bool ok = shown(t0, cell ? 3.0 : 0.5);
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
            // Bold days are set before the text; done once neither control waits for a repaint.
            while (driver::SecondsNow() - t0 < 3 &&
                   (GetUpdateRect(calendar, nullptr, FALSE) || GetUpdateRect(edit, nullptr, FALSE)))
                Sleep(1);
            latencies.push_back(driver::SecondsNow() - t0);
            // Selecting a day of another month scrolls the calendar, and every cell moves.
            if (bench::CivilFromDays(day).month != bench::CivilFromDays(day + 1).month)
                cells.clear();
            Sleep(30);
        }
        return true;
    }

    void DaySwitch() {
        std::vector<double> program, floor;
        bool failed = false;
        auto noteOf = [](long day) {
            return driver::FromGbk(bench::NoteTextFor(bench::KeyOf(bench::CivilFromDays(day))));
        };
        auto dateOf = [](long day) {
            const bench::Date d = bench::CivilFromDays(day);
            wchar_t text[16];
            wsprintfW(text, L"%04d-%02d-%02d", d.year, d.month, d.day);
            return std::wstring(text);
        };
        Interleaved(std::max(1, opt.reps / 3), 2, [&](std::size_t i) {
            if (failed)
                return;
            failed = i == 0 ? !SwitchDays(floorIdle, none, dateOf, floor)
                            : !SwitchDays(opt.program, n36500, noteOf, program);
        });
        const Stat f = Summarize(floor);
        report.Section("Day switch with 36,500 notes (input in the calendar to the new note shown)");
        const char* how = m_clicks ? "click on the previous day" : "Left key";
        report.Row(std::string("bare dialog writing the date into its note box (floor), ") + how, f, Unit::Ms,
                   &f, 0, "-");
        report.Row(std::string("Quillidar, ") + how, Summarize(program), Unit::Ms, &f, 0,
                   std::string("< 16 ms (one frame)") + (program.empty()                     ? ""
                                                         : Summarize(program).median < 0.016 ? " (met)"
                                                                                             : " (missed)"));
        if (m_clicks)
            report.Note("This month calendar takes no arrow keys (Wine's), so each previous day was clicked "
                        "(a posted button press on its cell) instead of reached with the Left key.");
        if (failed)
            report.Note("Some day switches did not change the note box: see the driver's output.");
        report.Note(
            "Measured from outside: from posting the input to the note box's text (WM_GETTEXT, polled "
            "about every millisecond) being the new day's and neither control waiting for a repaint.");
    }

    bool m_clicks = false;

    void Save() {
        struct Variant {
            const char* name;
            std::wstring exe;
            DataSet* set;
            std::vector<double> seconds;
        };
        std::vector<Variant> v = {{"bare dialog (floor)", floorIdle, &none, {}},
                                  {"Quillidar, 36,500 notes", opt.program, &n36500, {}},
                                  {"Quillidar, 1,000,000 notes", opt.program, &n1m, {}}};
        const std::wstring folder = Join(opt.work, L"runs\\save");
        driver::MakeFolders(folder);
        int incomplete = 0;
        Interleaved(std::max(1, opt.reps / 2), v.size(), [&](std::size_t i) {
            driver::EmptyFolder(folder);
            for (const wchar_t* name : {L"nts.ini", L"qlw.ini"})
                CopyFileW(Join(v[i].set->folder, name).c_str(), Join(folder, name).c_str(), FALSE);
            WinRun run;
            if (!Launch(run, v[i].exe, folder) || !run.WaitForPaint(kAccent, kPaintTimeoutMs)) {
                std::fprintf(stderr, "save %s: no paint seen\n", v[i].name);
                return;
            }
            Sleep(500);
            const double t0 = driver::SecondsNow();
            PostMessageW(run.Window(), WM_ENDSESSION, TRUE, 0);
            if (!run.WaitForExit(60000)) {
                std::fprintf(stderr, "save %s: still running after 60 s\n", v[i].name);
                return;
            }
            const double t = driver::SecondsNow() - t0;
            // Today's note moves to the end of the list; the file keeps its length.
            const auto size = driver::FileSize(Join(folder, L"nts.ini"));
            if (v[i].set != &none && (!size || *size != v[i].set->notesBytes)) {
                ++incomplete;
                std::fprintf(stderr, "save %s: nts.ini has %llu bytes, %llu expected\n", v[i].name,
                             static_cast<unsigned long long>(size.value_or(0)),
                             static_cast<unsigned long long>(v[i].set->notesBytes));
                return;
            }
            v[i].seconds.push_back(t);
            std::fprintf(stderr, "save %-28s %.1f ms\n", v[i].name, t * 1000);
        });
        const Stat floor = Summarize(v[0].seconds);
        report.Section("WM_ENDSESSION to process gone, nts.ini complete");
        report.Row(v[0].name, floor, Unit::Ms, &floor, 0, "-");
        report.Row(v[1].name, Summarize(v[1].seconds), Unit::Ms, &floor, 0, "well under 5 s");
        const Stat big = Summarize(v[2].seconds);
        report.Row(v[2].name, big, Unit::Ms, &floor, 0,
                   std::string("well under 5 s") +
                       (big.n ? (big.median < 2.5 ? " (met)" : " (missed)") : ""));
        report.Note("The program's save also writes its safety copy and the day's dated copy of the notes.");
        if (incomplete)
            report.Note("Some saves left an nts.ini of the wrong length: see the driver's output.");
    }
};

bool ParseArgs(int argc, wchar_t** argv, Options& opt) {
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        auto value = [&](const wchar_t* name) -> const wchar_t* {
            const std::wstring prefix = std::wstring(L"--") + name + L"=";
            return arg.rfind(prefix, 0) == 0 ? argv[i] + prefix.size() : nullptr;
        };
        if (auto v = value(L"quillidar"))
            opt.program = v;
        else if (auto v = value(L"floors"))
            opt.floors = v;
        else if (auto v = value(L"work"))
            opt.work = v;
        else if (auto v = value(L"out"))
            opt.out = v;
        else if (auto v = value(L"reps"))
            opt.reps = _wtoi(v);
        else if (auto v = value(L"idle-seconds"))
            opt.idleSeconds = _wtoi(v);
        else if (auto v = value(L"idle-reps"))
            opt.idleReps = _wtoi(v);
        else if (auto v = value(L"switches"))
            opt.switches = _wtoi(v);
        else if (auto v = value(L"wineserver-pid"))
            opt.wineserverPid = static_cast<std::uint32_t>(_wtoi(v));
        else if (auto v = value(L"clock-ticks"))
            opt.clockTicks = _wtoi(v);
        else if (auto v = value(L"only"))
            opt.only = driver::Utf8(v);
        else {
            std::fprintf(stderr, "unknown argument %s\n", driver::Utf8(arg).c_str());
            return false;
        }
    }
    return !opt.program.empty() && !opt.floors.empty() && !opt.work.empty() && opt.reps > 0;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    Bench b;
    if (!ParseArgs(argc, argv, b.opt)) {
        std::fprintf(stderr, "usage: startup_bench --quillidar=EXE --floors=DIR --work=DIR [options]\n");
        return 2;
    }
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    b.floorStartup = Join(b.opt.floors, L"floor_startup.exe");
    b.floorTimer = Join(b.opt.floors, L"floor_idle_timer.exe");
    b.floorIdle = Join(b.opt.floors, L"floor_idle.exe");

    const std::wstring sets = Join(b.opt.work, L"sets");
    std::fprintf(stderr, "writing the diaries...\n");
    b.none = {Join(sets, L"floor"), 0};
    driver::MakeFolders(b.none.folder);
    driver::EmptyFolder(b.none.folder);
    b.empty = MakeSet(Join(sets, L"empty"), 0, kFormatWithSeconds);
    b.fmt44 = MakeSet(Join(sets, L"no-seconds"), 0, kFormatWithoutSeconds);
    b.n36500 = MakeSet(Join(sets, L"n36500"), 36500, kFormatWithSeconds);
    if (b.opt.Wants("startup") || b.opt.Wants("save"))
        b.n1m = MakeSet(Join(sets, L"n1000000"), 1000000, kFormatWithSeconds);

    // Warms the file cache and the server once, so the first measured run is not the odd one out.
    {
        WinRun warm;
        if (b.Launch(warm, b.opt.program, b.n36500.folder))
            warm.WaitForPaint(kAccent, kPaintTimeoutMs);
    }

    if (b.opt.Wants("startup"))
        b.Startup();
    if (b.opt.Wants("switch"))
        b.DaySwitch();
    if (b.opt.Wants("save"))
        b.Save();
    if (b.opt.Wants("idle"))
        b.Idle();

    const std::string md = b.report.md.str();
    std::fwrite(md.data(), 1, md.size(), stdout);
    if (!b.opt.out.empty())
        driver::WriteWholeFile(b.opt.out, md);
    if (!b.safety.empty())
        driver::EmptyFolder(b.safety);
    return 0;
}
