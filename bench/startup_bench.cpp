// Windows half of the benchmarks: Quillidar.exe watched from outside against the bare-dialog floors
// of bench/floor_dialog.cpp and a read floor of its own (a diary's bytes read in one call), every
// figure a median over runs interleaved with its floor's. The report ends with one line per target.
//
//   startup_bench --quillidar=EXE --floors=DIR --work=DIR [--out=FILE] [--reps=N] [--idle-seconds=S]
//                 [--idle-reps=N] [--switches=N] [--wineserver-pid=PID] [--clock-ticks=HZ]
//                 [--typing-seconds=S] [--only=startup,idle,switch,save,typing]
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "appearance/calendar_settings.h"
#include "appearance/settings_file.h"
#include "bench_data.h"
#include "diary/notes_file.h"
#include "driver/files.h"
#include "driver/input.h"
#include "driver/remote.h"
#include "driver/read_back.h"
#include "driver/text.h"
#include "driver/wait.h"
#include "safety/edit_journal.h"
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
    int typingSeconds = 30;
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

enum class Unit { Ms, Seconds, MB, Count };

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
    case Unit::Count:
        std::snprintf(text, sizeof text, "%.0f", value);
        break;
    }
    return text;
}

// What a row is held to. A ratio target compares the median with the row's floor; a value target
// compares it with a bound of its own (in seconds or bytes). A row with a label is also listed in
// "Against the targets" at the end.
struct Target {
    Target() = default;
    Target(std::string text_, double ratio_ = 0, double value_ = 0, std::string label_ = {})
        : text(std::move(text_)), ratio(ratio_), value(value_), label(std::move(label_)) {}

    std::string text = "-";
    double ratio = 0; // the most the ratio to the floor may be; 0: not a ratio target
    double value = 0; // the most the median may be; 0: not a value target
    std::string label;
};

struct Report {
    std::ostringstream md;
    std::vector<std::string> verdicts;

    void Section(const std::string& title) {
        md << "\n### " << title << "\n\n"
           << "| Figure | Median | Min | Max | Runs | Floor (median) | Ratio | Target |\n"
           << "|---|---|---|---|---|---|---|---|\n";
    }
    void Row(const std::string& figure, const Stat& s, Unit unit, const Stat* floor, const Target& t = {}) {
        md << "| " << figure << " | " << Format(s.median, unit) << " | " << Format(s.min, unit) << " | "
           << Format(s.max, unit) << " | " << s.n << " | ";
        const bool ratioKnown = floor && s.n && floor->n && floor->median > 0;
        const double r = ratioKnown ? s.median / floor->median : 0;
        if (ratioKnown) {
            char ratio[32];
            std::snprintf(ratio, sizeof ratio, "%.2fx", r);
            md << Format(floor->median, unit) << " | " << ratio << " | " << t.text;
        } else {
            md << "- | - | " << t.text;
        }
        std::optional<bool> met;
        char detail[160] = "";
        if (t.ratio > 0 && ratioKnown) {
            met = r <= t.ratio;
            std::snprintf(detail, sizeof detail, "%.2fx (at most %.2gx)", r, t.ratio);
        } else if (t.value > 0 && s.n && (!floor || floor->n)) {
            met = s.median <= t.value;
            std::snprintf(detail, sizeof detail, "%s (at most %s)", Format(s.median, unit).c_str(),
                          Format(t.value, unit).c_str());
        }
        if (met)
            md << (*met ? " (met)" : " (missed)");
        if (!s.n)
            md << " (no measurement)";
        md << " |\n";
        if (!t.label.empty())
            verdicts.push_back(
                "- " + t.label + ", " + t.text + ": " +
                (met ? (*met ? "met, " : "missed, ") + std::string(detail) : "no measurement"));
    }
    void Note(const std::string& text) { md << "\n" << text << "\n"; }
    // One line per target of the rows above, for quoting.
    void Verdicts() {
        if (verdicts.empty())
            return;
        md << "\n### Against the targets\n\n";
        for (const std::string& line : verdicts)
            md << line << "\n";
    }
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
    std::size_t noteBytes = bench::kShortNoteBytes; // the length of each note
    std::string name;                               // as the tables name it
};

// A temporary folder for the program holding a settings file and a notes file of `notes` notes of
// `noteBytes` bytes each.
DataSet MakeSet(const std::wstring& folder, std::string name, std::size_t notes, int timeFormat,
                std::size_t noteBytes = bench::kShortNoteBytes) {
    driver::MakeFolders(folder);
    driver::EmptyFolder(folder);
    const std::string bytes = EncodeNotes(bench::MakeDiary(notes, Today(), noteBytes));
    driver::WriteWholeFile(Join(folder, L"nts.ini"), bytes);
    driver::WriteWholeFile(Join(folder, L"qlw.ini"), SettingsBytes(timeFormat));
    return {folder, bytes.size(), noteBytes, std::move(name)};
}

std::string Megabytes(double bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB", bytes / 1e6);
    return text;
}

// The read floor: the whole file from the disk into fresh memory with one ReadFile, the least a
// program that loads its diary at start must do. Seconds, or nothing when it cannot be read.
std::optional<double> TimeRead(const std::wstring& path) {
    const double t0 = driver::SecondsNow();
    HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return std::nullopt;
    LARGE_INTEGER size{};
    std::unique_ptr<char[]> buffer;
    DWORD got = 0;
    bool ok = GetFileSizeEx(f, &size) && size.QuadPart < MAXDWORD;
    if (ok) {
        const auto n = static_cast<DWORD>(size.QuadPart);
        buffer.reset(new char[n ? n : 1]);
        ok = ReadFile(f, buffer.get(), n, &got, nullptr) && got == n;
    }
    CloseHandle(f);
    const double t = driver::SecondsNow() - t0;
    if (!ok)
        return std::nullopt;
    return t;
}

// The copies the program keeps outside the temporary folder: with them left in place, a later run
// started on an empty folder would load the diary of an earlier one.
std::wstring SafetyFolder() {
    const std::wstring base = driver::LocalAppDataFolder();
    return base.empty() ? base : base + L"\\Quillidar";
}

// The folders directly inside a folder.
std::vector<std::wstring> FoldersIn(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        const std::wstring name = found.cFileName;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && name != L"." && name != L"..")
            names.push_back(name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

// Each diary keeps its copies, manifest and journals in a folder of its own inside the safety
// folder. Left from one run to the next, they change what the next run does (a copy that no longer
// matches the manifest is kept aside, a journal is applied, a kept copy read again at every save),
// so every run starts with none, as the first close of a diary would.
void ClearSafety(const std::wstring& safety) {
    if (safety.empty())
        return;
    for (const std::wstring& name : FoldersIn(safety)) {
        const std::wstring sub = Join(safety, name);
        driver::EmptyFolder(sub);
        RemoveDirectoryW(sub.c_str());
    }
    driver::EmptyFolder(safety);
}

// The files of every diary folder inside the safety folder whose names start with `prefix`.
std::vector<std::wstring> SafetyFiles(const std::wstring& safety, const wchar_t* prefix) {
    std::vector<std::wstring> paths;
    for (const std::wstring& name : FoldersIn(safety)) {
        for (const std::wstring& file : driver::FilesIn(Join(safety, name))) {
            if (file.rfind(prefix, 0) == 0)
                paths.push_back(Join(Join(safety, name), file));
        }
    }
    return paths;
}

// The p-th quantile (0..1) of the values, the nearest rank.
double Quantile(std::vector<double> v, double p) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const auto rank = static_cast<std::size_t>(std::ceil(p * static_cast<double>(v.size())));
    return v[std::min(v.size() - 1, rank ? rank - 1 : 0)];
}

// One Unicode character typed, as a keyboard sends it: down and up, to the focus of the foreground
// window. Not settled afterwards: a person typing does not wait for the window either.
void TypeChar(wchar_t c) {
    INPUT in[2]{};
    for (int i = 0; i < 2; ++i) {
        in[i].type = INPUT_KEYBOARD;
        in[i].ki.wScan = c;
        in[i].ki.dwFlags = KEYEVENTF_UNICODE | (i ? KEYEVENTF_KEYUP : 0);
    }
    SendInput(2, in, sizeof(INPUT));
}

// ---- One run ----

struct Bench {
    Options opt;
    std::wstring floorStartup, floorTimer, floorSecond, floorIdle, floorSave;
    std::wstring safety = SafetyFolder();
    DataSet empty, fmt44, n36500, n1m, y10, y100, none;
    Report report;

    bool Launch(WinRun& run, const std::wstring& exe, const std::wstring& temp) {
        ClearSafety(safety);
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
        // A start floor, a read floor (a diary's bytes read by this driver, not a program) or the
        // program itself; the heavy diaries' start-ups are held to the start floor plus their read floor.
        enum class Kind { StartFloor, ReadFloor, Program };
        struct Variant {
            Kind kind = Kind::Program;
            std::wstring exe;
            DataSet* set = nullptr;
            double startLimit = 0;  // program: the most its start may be, as a ratio
            bool plusRead = false;  // program: held to the start floor plus its diary's read floor
            double memoryShare = 0; // program: the peak allowed over the floor's, per byte of diary
            std::vector<double> seconds, peak, priv;
        };
        auto variant = [&](Kind kind, DataSet* set, double startLimit = 0, bool plusRead = false,
                           double memoryShare = 0) {
            Variant x;
            x.kind = kind;
            x.exe = kind == Kind::StartFloor ? floorStartup : kind == Kind::Program ? opt.program : L"";
            x.set = set;
            x.startLimit = startLimit;
            x.plusRead = plusRead;
            x.memoryShare = memoryShare;
            return x;
        };
        std::vector<Variant> v = {variant(Kind::StartFloor, &none),
                                  variant(Kind::Program, &empty, 1.1, false, 2),
                                  variant(Kind::Program, &n36500, 1.3, false, 2),
                                  variant(Kind::Program, &n1m, 3, false, 1.5),
                                  variant(Kind::ReadFloor, &y10),
                                  variant(Kind::Program, &y10, 1.1, true, 1.25),
                                  variant(Kind::ReadFloor, &y100),
                                  variant(Kind::Program, &y100, 1.1, true, 1.25)};
        Interleaved(opt.reps, v.size(), [&](std::size_t i) {
            const std::string name = v[i].set->name;
            if (v[i].kind == Kind::ReadFloor) {
                const auto t = TimeRead(Join(v[i].set->folder, L"nts.ini"));
                if (!t) {
                    std::fprintf(stderr, "read floor %s: cannot read the diary\n", name.c_str());
                    return;
                }
                v[i].seconds.push_back(*t);
                std::fprintf(stderr, "read floor %-24s %.1f ms\n", name.c_str(), *t * 1000);
                return;
            }
            WinRun run;
            if (!Launch(run, v[i].exe, v[i].set->folder))
                return;
            const auto t = run.WaitForPaint(kAccent, kPaintTimeoutMs);
            if (!t) {
                std::fprintf(stderr, "startup %s: no paint seen\n", name.c_str());
                return;
            }
            v[i].seconds.push_back(*t);
            // Peak figures are taken once start-up work has surely ended.
            Sleep(300);
            if (const auto m = run.ReadMemory()) {
                v[i].peak.push_back(m->peakWorkingSet);
                v[i].priv.push_back(m->privateBytes);
            }
            std::fprintf(stderr, "startup %-24s %.1f ms\n", name.c_str(), *t * 1000);
            if (v[i].kind == Kind::StartFloor)
                run.WaitForExit(5000);
        });
        const Stat floor = Summarize(v[0].seconds);
        report.Section("Start to first complete paint");
        report.Row("bare dialog (floor)", floor, Unit::Ms, &floor);
        for (const Variant& x : v) {
            if (x.kind != Kind::ReadFloor)
                continue;
            const Stat read = Summarize(x.seconds);
            report.Row("read floor, " + x.set->name + ": " +
                           Megabytes(static_cast<double>(x.set->notesBytes)) +
                           " nts.ini, CreateFileW + one ReadFile + CloseHandle",
                       read, Unit::Ms, &read);
        }
        for (const Variant& x : v) {
            if (x.kind != Kind::Program)
                continue;
            Stat against = floor;
            char text[64];
            if (x.plusRead) {
                const auto readFloor = std::find_if(v.begin(), v.end(), [&](const Variant& y) {
                    return y.kind == Kind::ReadFloor && y.set == x.set;
                });
                const Stat read = Summarize(readFloor->seconds);
                against.median += read.median;
                against.n = std::min(floor.n, read.n);
                std::snprintf(text, sizeof text, "<= %.2gx (start floor + read floor)", x.startLimit);
            } else {
                std::snprintf(text, sizeof text, "<= %.2gx floor", x.startLimit);
            }
            report.Row("Quillidar, " + x.set->name, Summarize(x.seconds), Unit::Ms, &against,
                       Target(text, x.startLimit, 0, "start-up, " + x.set->name));
        }
        report.Note("The read floors are read by the driver itself, interleaved with the start-ups, from "
                    "the same files with the cache as warm as the program finds it; the heavy diaries' "
                    "start-ups are held to the bare dialog's start plus that read.");

        const Stat floorPeak = Summarize(v[0].peak);
        const Stat floorPriv = Summarize(v[0].priv);
        report.Section("Memory after start (GetProcessMemoryInfo)");
        report.Row("bare dialog (floor), peak working set", floorPeak, Unit::MB, &floorPeak);
        report.Row("bare dialog (floor), private bytes", floorPriv, Unit::MB, &floorPriv);
        for (const Variant& x : v) {
            if (x.kind != Kind::Program)
                continue;
            const double bytes = static_cast<double>(x.set->notesBytes);
            const double allowed = floorPeak.median + x.memoryShare * bytes;
            char target[96];
            std::snprintf(target, sizeof target, "<= floor + %.3g x %s file = %s", x.memoryShare,
                          Megabytes(bytes).c_str(), Megabytes(allowed).c_str());
            report.Row("Quillidar, " + x.set->name + ", peak working set", Summarize(x.peak), Unit::MB,
                       &floorPeak, Target(target, 0, allowed, "memory, " + x.set->name));
            report.Row("Quillidar, " + x.set->name + ", private bytes", Summarize(x.priv), Unit::MB,
                       &floorPriv);
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
            DataSet* set = nullptr;
            std::vector<double> cpu, server, wakes;
        };
        std::vector<Variant> v = {
            {"bare dialog, no timer (floor)", floorIdle, &none, {}, {}, {}},
            {"bare dialog, empty 10 ms timer (floor)", floorTimer, &none, {}, {}, {}},
            {"bare dialog, timer once a second at the boundary (floor)", floorSecond, &none, {}, {}, {}},
            {"Quillidar, clock \"%a %I:%M:%S %p\" (default)", opt.program, &empty, {}, {}, {}},
            {"Quillidar, clock \"%A %H:%M\" (no seconds)", opt.program, &fmt44, {}, {}, {}}};
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
            const auto w0 = run.ContextSwitches();
            const auto s0 = WineserverCpu();
            if (run.WaitForExit(static_cast<DWORD>(opt.idleSeconds) * 1000)) {
                std::fprintf(stderr, "idle %s: ended by itself\n", v[i].name);
                return;
            }
            const auto c1 = run.CpuSeconds();
            const auto w1 = run.ContextSwitches();
            const auto s1 = WineserverCpu();
            if (c0 && c1)
                v[i].cpu.push_back(*c1 - *c0);
            if (w0 && w1)
                v[i].wakes.push_back(*w1 - *w0);
            if (s0 && s1)
                v[i].server.push_back(*s1 - *s0);
            std::fprintf(stderr, "idle %-58s process %.3f s, %.0f switches, wineserver %.3f s\n", v[i].name,
                         c0 && c1 ? *c1 - *c0 : -1.0, w0 && w1 ? *w1 - *w0 : -1.0,
                         s0 && s1 ? *s1 - *s0 : -1.0);
        });
        char title[96];
        std::snprintf(title, sizeof title, "CPU time and wake-ups over %d s idle", opt.idleSeconds);
        report.Section(title);
        // The program with seconds is held to the once-a-second floor; without them, to the bare
        // window plus one wake-up a minute, a wake-up costing what the once-a-second floor pays for
        // each of its ticks over the bare window.
        const double minuteTicks = std::max(1.0, std::ceil(opt.idleSeconds / 60.0));
        auto perMinute = [&](const std::vector<double> Variant::*field) {
            const Stat bare = Summarize(v[0].*field);
            const Stat second = Summarize(v[2].*field);
            const double perTick = std::max(0.0, second.median - bare.median) / std::max(1, opt.idleSeconds);
            return bare.median + perTick * minuteTicks;
        };
        struct Figure {
            const char* what;
            std::vector<double> Variant::*field;
            Unit unit;
        };
        const Figure figures[] = {{"process CPU", &Variant::cpu, Unit::Seconds},
                                  {"context switches", &Variant::wakes, Unit::Count},
                                  {"wineserver CPU", &Variant::server, Unit::Seconds}};
        for (const Figure& f : figures) {
            const Stat floorSecondStat = Summarize(v[2].*f.field);
            const double minuteBound = perMinute(f.field);
            for (std::size_t i = 0; i < v.size(); ++i) {
                const std::string label = std::string("idle ") + f.what + ", " + v[i].name;
                Target t;
                if (i == 3) {
                    t = Target{"<= 1.1x once-a-second floor", 1.1, 0, label};
                } else if (i == 4) {
                    char text[96];
                    std::snprintf(text, sizeof text, "<= no-timer floor + 1 tick a minute = %s",
                                  Format(minuteBound, f.unit).c_str());
                    // A value target of 0 would read as none: the bound is never below one unit.
                    t = Target{text, 0, std::max(minuteBound, f.unit == Unit::Count ? 1.0 : 0.01), label};
                }
                report.Row(std::string(v[i].name) + ", " + f.what, Summarize(v[i].*f.field), f.unit,
                           &floorSecondStat, t);
            }
        }
        report.Note("Ratios are to the bare dialog whose timer fires once a second at the second's "
                    "boundary; the 10 ms timer's floor shows what the program paid before its clock slept "
                    "between seconds. CPU times are user plus system time from /proc/<pid>/stat of the "
                    "program's own Unix process and of the wineserver (on Windows, GetProcessTimes); they "
                    "tick in 10 ms steps. Context switches are the voluntary and involuntary switches of "
                    "every thread of the program's Unix process (/proc/<pid>/task/*/status): each wake-up "
                    "of the program is at least one.");
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
                // Real input, as a user's click arrives: through the system's hit test, the cursor
                // and the activation, which a posted button message skips.
                POINT screen = *cell;
                ClientToScreen(calendar, &screen);
                driver::ClickAt(screen);
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
            // A paint under way has already emptied the update region: the switch is over when the
            // window's thread answers again, its paint drawn.
            DWORD_PTR ignored = 0;
            SendMessageTimeoutW(run.Window(), WM_NULL, 0, 0, SMTO_NORMAL, 3000, &ignored);
            latencies.push_back(driver::SecondsNow() - t0);
            // Selecting a day of another month scrolls the calendar, and every cell moves.
            if (bench::CivilFromDays(day).month != bench::CivilFromDays(day + 1).month)
                cells.clear();
            Sleep(30);
        }
        return true;
    }

    void DaySwitch() {
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
            DataSet floor{Join(opt.work, L"sets\\floor-note-" + std::to_wstring(set.noteBytes)), 0,
                          set.noteBytes, "floor"};
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
                return driver::FromGbk(
                    bench::NoteTextFor(bench::KeyOf(bench::CivilFromDays(day)), noteBytes));
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
            report.Row("Quillidar, " + v[i + 1].set->name + ", " + how, Summarize(v[i + 1].latencies),
                       Unit::Ms, &f, v[i + 1].target);
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

    bool m_clicks = false;

    // One run of typing into the note box: a character every 100 ms for the set time while another
    // thread asks the window for a WM_NULL round trip every 10 ms, and on for three seconds after
    // the last key, when the journal writes what the pause left. The round trips' times go to
    // `samples`; false when the run could not be made.
    struct TypingRun {
        std::vector<double> samples;
        double typingRecords = 0; // edit records in the diary's journals at the last key, on the disk
        double records = 0;       // and after the pause
        bool typed = false;       // the note box ended with what was typed
    };
    double JournalRecords() const {
        double records = 0;
        for (const std::wstring& path : SafetyFiles(safety, L"journal-")) {
            if (const auto bytes = driver::ReadWholeFile(path)) {
                for (const JournalRecord& r : DecodeJournal(*bytes).records)
                    records += r.kind == JournalRecordKind::kEdit ? 1 : 0;
            }
        }
        return records;
    }

    bool TypeInto(const DataSet& set, TypingRun& out) {
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

    void Typing() {
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
                         r.samples.size(), r.typingRecords, r.records,
                         r.typed ? "" : ", the note box lost keys");
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
        report.Row("Quillidar, empty diary, journal records on disk at the last key", typingRecords,
                   Unit::Count, &typingRecords);
        report.Row("Quillidar, empty diary, journal records on disk after the pause", records, Unit::Count,
                   &records);
        const std::string name = "Quillidar, " + v[1].set->name;
        report.Row(name + ", longest stall", Summarize(v[1].longest), Unit::Ms, &longest,
                   Target("<= 1.5x the empty diary's", 1.5, 0, "typing, longest stall, " + v[1].set->name));
        report.Row(name + ", 99th percentile", Summarize(v[1].p99), Unit::Ms, &p99);
        report.Row(name + ", journal records on disk at the last key", Summarize(v[1].typingRecords),
                   Unit::Count, &typingRecords);
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

    // Opens a file for writing and flushes it: whatever of it is still only in the page cache, and
    // the journal commit its name and size wait for, reach the disk before this returns.
    static void FlushFile(const std::wstring& path) {
        const HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (f == INVALID_HANDLE_VALUE)
            return;
        FlushFileBuffers(f);
        CloseHandle(f);
    }

    // Every file of the temporary folder and of the diary's safety folders.
    std::vector<std::wstring> DiaryFiles(const std::wstring& folder) const {
        std::vector<std::wstring> paths = SafetyFiles(safety, L"");
        for (const std::wstring& name : driver::FilesIn(folder))
            paths.push_back(Join(folder, name));
        return paths;
    }

    void Save() {
        struct Variant {
            std::string name;
            std::wstring exe;
            DataSet* set = nullptr;
            bool program = false; // the program: its safety copy and today's dated copy are checked too
            int floor = 0;        // the row it is set against
            Target target;
            std::vector<double> seconds, gone;
        };
        auto variant = [&](std::string name, const std::wstring& exe, DataSet* set, bool program, int floor,
                           Target target) {
            Variant x;
            x.name = std::move(name);
            x.exe = exe;
            x.set = set;
            x.program = program;
            x.floor = floor;
            x.target = std::move(target);
            return x;
        };
        auto flushFloor = [&](DataSet* set, int row) {
            return variant("write-and-flush floor, " + set->name, floorSave, set, false, row, {});
        };
        auto program = [&](DataSet* set, int row, Target target) {
            return variant("Quillidar, " + set->name, opt.program, set, true, row, std::move(target));
        };
        auto twice = [](const DataSet& set) {
            return Target("<= 2x write-and-flush floor", 2, 0, "close, " + set.name);
        };
        std::vector<Variant> v = {variant("bare dialog (floor)", floorIdle, &none, false, 0, {}),
                                  flushFloor(&y10, 1),
                                  flushFloor(&y100, 2),
                                  program(&n36500, 0, {"well under 5 s"}),
                                  program(&n1m, 0, {"well under 5 s", 0, 2.5, "close, " + n1m.name}),
                                  program(&y10, 1, twice(y10)),
                                  program(&y100, 2, twice(y100))};
        const std::wstring folder = Join(opt.work, L"runs\\save");
        driver::MakeFolders(folder);
        int incomplete = 0;
        wchar_t datedName[32];
        {
            const bench::Date d = Today();
            wsprintfW(datedName, L"nts-%04d%02d%02d.ini", d.year, d.month, d.day);
        }
        Interleaved(std::max(1, opt.reps / 2), v.size(), [&](std::size_t i) {
            const char* name = v[i].name.c_str();
            ClearSafety(safety);
            driver::EmptyFolder(folder);
            for (const wchar_t* file : {L"nts.ini", L"qlw.ini"})
                CopyFileW(Join(v[i].set->folder, file).c_str(), Join(folder, file).c_str(), FALSE);
            // The diary on the disk, as a user's is when the session ends, and the last run's files
            // gone from it: left in the page cache, ext4's commit of the run's first flush writes them
            // too, and a floor that replaces no file pays for the driver's copy of nts.ini.
            for (const std::wstring& path : DiaryFiles(folder))
                FlushFile(path);
            WinRun run;
            run.SetClockTicks(opt.clockTicks);
            if (!run.Start(v[i].exe, folder) || !run.WaitForPaint(kAccent, kPaintTimeoutMs)) {
                std::fprintf(stderr, "save %s: no paint seen\n", name);
                return;
            }
            Sleep(500);
            const double t0 = driver::SecondsNow();
            PostMessageW(run.Window(), WM_ENDSESSION, TRUE, 0);
            if (!run.WaitForExit(60000)) {
                std::fprintf(stderr, "save %s: still running after 60 s\n", name);
                return;
            }
            const double gone = driver::SecondsNow() - t0;
            // What the process left in the page cache counts: the user waits until it is on the disk.
            for (const std::wstring& path : DiaryFiles(folder))
                FlushFile(path);
            const double t = driver::SecondsNow() - t0;
            // Today's note moves to the end of the list; each file keeps the diary's length.
            std::vector<std::wstring> written;
            if (v[i].exe == floorSave)
                written.push_back(Join(folder, L"floor_save.ini"));
            if (v[i].program) {
                written.push_back(Join(folder, L"nts.ini"));
                const auto copies = SafetyFiles(safety, L"nts");
                for (const wchar_t* copy : {L"nts.ini", static_cast<const wchar_t*>(datedName)}) {
                    const auto it = std::find_if(copies.begin(), copies.end(), [&](const std::wstring& path) {
                        return path.size() > wcslen(copy) &&
                               path.compare(path.size() - wcslen(copy), std::wstring::npos, copy) == 0 &&
                               path[path.size() - wcslen(copy) - 1] == L'\\';
                    });
                    written.push_back(
                        it == copies.end() ? L"(no " + std::wstring(copy) + L" in the safety folder)" : *it);
                }
            }
            for (const std::wstring& path : written) {
                const auto size = driver::FileSize(path);
                if (!size || *size != v[i].set->notesBytes) {
                    ++incomplete;
                    std::fprintf(stderr, "save %s: %s has %llu bytes, %llu expected\n", name,
                                 driver::Utf8(path).c_str(),
                                 static_cast<unsigned long long>(size.value_or(0)),
                                 static_cast<unsigned long long>(v[i].set->notesBytes));
                    return;
                }
            }
            v[i].seconds.push_back(t);
            v[i].gone.push_back(gone);
            std::fprintf(stderr, "save %-48s %.1f ms (process gone after %.1f ms)\n", name, t * 1000,
                         gone * 1000);
        });
        std::vector<Stat> stats;
        for (const Variant& x : v)
            stats.push_back(Summarize(x.seconds));
        report.Section("WM_ENDSESSION to process gone and every file it wrote on disk");
        for (std::size_t i = 0; i < v.size(); ++i)
            report.Row(v[i].name, stats[i], Unit::Ms, &stats[static_cast<std::size_t>(v[i].floor)],
                       v[i].target);
        for (std::size_t i = 0; i < v.size(); ++i) {
            if (v[i].exe == floorIdle)
                continue;
            const Stat gone = Summarize(v[i].gone);
            const Stat floorGone = Summarize(v[static_cast<std::size_t>(v[i].floor)].gone);
            report.Row(v[i].name + ", process gone only", gone, Unit::Ms, &floorGone);
        }
        report.Note("Each run starts from a diary already on the disk and an empty safety folder: the "
                    "driver copies nts.ini and qlw.ini into the temporary folder, removes every diary "
                    "folder of the safety folder and flushes what it wrote, so neither its copy nor the "
                    "removal of the last run's files waits in the page cache for the run's own flush. The "
                    "time runs from WM_ENDSESSION to the process being gone and then every file of the "
                    "temporary folder and of the diary's safety folder flushed by the driver "
                    "(FlushFileBuffers), which costs nothing for a file already on the disk. The program "
                    "writes nts.ini, its safety copy and today's dated copy (each checked for the diary's "
                    "length) and its manifest; the write-and-flush floor is the bare dialog that reads "
                    "nts.ini whole before it shows and, at WM_ENDSESSION, writes those bytes once to a new "
                    "file (CreateFileW, WriteFile, FlushFileBuffers, CloseHandle) and ends.");
        if (incomplete)
            report.Note("Some saves left a file of the wrong length: see the driver's output.");
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
        else if (auto v = value(L"typing-seconds"))
            opt.typingSeconds = _wtoi(v);
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
    b.floorSecond = Join(b.opt.floors, L"floor_idle_second.exe");
    b.floorIdle = Join(b.opt.floors, L"floor_idle.exe");

    b.floorSave = Join(b.opt.floors, L"floor_save.exe");

    const std::wstring sets = Join(b.opt.work, L"sets");
    std::fprintf(stderr, "writing the diaries...\n");
    b.none = {Join(sets, L"floor"), 0, 0, "no diary"};
    driver::MakeFolders(b.none.folder);
    driver::EmptyFolder(b.none.folder);
    b.empty = MakeSet(Join(sets, L"empty"), "empty diary", 0, kFormatWithSeconds);
    b.fmt44 = MakeSet(Join(sets, L"no-seconds"), "empty diary", 0, kFormatWithoutSeconds);
    b.n36500 = MakeSet(Join(sets, L"n36500"), "36,500 notes", 36500, kFormatWithSeconds);
    if (b.opt.Wants("startup") || b.opt.Wants("save"))
        b.n1m = MakeSet(Join(sets, L"n1000000"), "1,000,000 notes", 1000000, kFormatWithSeconds);
    // The heavy, realistic diaries: a note on every day up to today, long ones.
    if (b.opt.Wants("startup") || b.opt.Wants("save") || b.opt.Wants("switch") || b.opt.Wants("typing")) {
        b.y10 = MakeSet(Join(sets, L"y10x500"), "10 years x 500 bytes", 3652, kFormatWithSeconds, 500);
        b.y100 =
            MakeSet(Join(sets, L"y100x2000"), "100 years x 2,000 bytes", 36524, kFormatWithSeconds, 2000);
    }

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
    if (b.opt.Wants("typing"))
        b.Typing();
    if (b.opt.Wants("save"))
        b.Save();
    if (b.opt.Wants("idle"))
        b.Idle();
    b.report.Verdicts();

    const std::string md = b.report.md.str();
    std::fwrite(md.data(), 1, md.size(), stdout);
    if (!b.opt.out.empty())
        driver::WriteWholeFile(b.opt.out, md);
    ClearSafety(b.safety);
    return 0;
}
