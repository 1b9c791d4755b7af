// What the Windows half of the benchmarks shares between its parts: the options, the report's
// tables, the diaries it writes for the program, the safety folder it clears between runs, and the
// runs themselves (start-up and idle in startup_bench.cpp, day switches and typing in
// startup_typing_bench.cpp, the end-of-session save in startup_save_bench.cpp).
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "bench_data.h"
#include "win_run.h"

namespace startup {

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

Stat Summarize(std::vector<double> v);

// ---- The report ----

enum class Unit { Ms, Seconds, MB, Count };
std::string Format(double value, Unit unit);

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
    void Row(const std::string& figure, const Stat& s, Unit unit, const Stat* floor, const Target& t = {});
    void Note(const std::string& text) { md << "\n" << text << "\n"; }
    // One line per target of the rows above, for quoting.
    void Verdicts();
};

// ---- Data sets ----

std::wstring Join(const std::wstring& folder, const std::wstring& name);
bench::Date Today();

struct DataSet {
    std::wstring folder;
    std::uint64_t notesBytes = 0;
    std::size_t noteBytes = bench::kShortNoteBytes; // the length of each note
    std::string name;                               // as the tables name it
};

// A temporary folder for the program holding a settings file and a notes file of `notes` notes of
// `noteBytes` bytes each.
DataSet MakeSet(const std::wstring& folder, std::string name, std::size_t notes, int timeFormat,
                std::size_t noteBytes = bench::kShortNoteBytes);
std::string Megabytes(double bytes);

// The read floor: the whole file from the disk into fresh memory with one ReadFile, the least a
// program that loads its diary at start must do. Seconds, or nothing when it cannot be read.
std::optional<double> TimeRead(const std::wstring& path);

// The copies the program keeps outside the temporary folder: with them left in place, a later run
// started on an empty folder would load the diary of an earlier one.
std::wstring SafetyFolder();

// Each diary keeps its copies, manifest and journals in a folder of its own inside the safety
// folder. Left from one run to the next, they change what the next run does (a copy that no longer
// matches the manifest is kept aside, a journal is applied, a kept copy read again at every save),
// so every run starts with none, as the first close of a diary would.
void ClearSafety(const std::wstring& safety);

// The files of every diary folder inside the safety folder whose names start with `prefix`.
std::vector<std::wstring> SafetyFiles(const std::wstring& safety, const wchar_t* prefix);

// The p-th quantile (0..1) of the values, the nearest rank.
double Quantile(std::vector<double> v, double p);

// One Unicode character typed, as a keyboard sends it: down and up, to the focus of the foreground
// window. Not settled afterwards: a person typing does not wait for the window either.
void TypeChar(wchar_t c);

// ---- The runs ----

struct Bench {
    Options opt;
    std::wstring floorStartup, floorTimer, floorSecond, floorIdle, floorSave;
    std::wstring safety = SafetyFolder();
    DataSet empty, fmt44, n36500, n1m, y10, y100, none;
    Report report;

    bool Launch(WinRun& run, const std::wstring& exe, const std::wstring& temp);

    template <typename F> void Interleaved(int reps, std::size_t variants, F runOne) {
        for (int r = 0; r < reps; ++r) {
            for (std::size_t i = 0; i < variants; ++i)
                runOne((i + static_cast<std::size_t>(r)) % variants);
        }
    }

    // Start to first complete paint, and the memory after it.
    void Startup();
    // A start floor, a read floor (a diary's bytes read by this driver, not a program) or the
    // program itself; the heavy diaries' start-ups are held to the start floor plus their read floor.
    enum class StartKind { StartFloor, ReadFloor, Program };
    struct StartVariant {
        StartKind kind = StartKind::Program;
        std::wstring exe;
        DataSet* set = nullptr;
        double startLimit = 0;  // program: the most its start may be, as a ratio
        bool plusRead = false;  // program: held to the start floor plus its diary's read floor
        double memoryShare = 0; // program: the peak allowed over the floor's, per byte of diary
        std::vector<double> seconds, peak, priv;
    };
    void StartOnce(StartVariant& x);
    void ReportStartup(const std::vector<StartVariant>& v);
    void ReportStartupMemory(const std::vector<StartVariant>& v);

    // CPU time and wake-ups of an idle window.
    void Idle();
    struct IdleVariant {
        const char* name;
        std::wstring exe;
        DataSet* set = nullptr;
        std::vector<double> cpu, server, wakes;
    };
    std::optional<double> WineserverCpu() const;
    void IdleOnce(IdleVariant& x);
    void ReportIdle(const std::vector<IdleVariant>& v);

    // Input in the calendar to the new day's note shown.
    void DaySwitch();
    // Where each shown day's cell is, in the calendar's client coordinates, found by hit tests.
    static std::map<long, POINT> DayCells(HANDLE process, HWND calendar);
    // One run of day switches: each previous day in turn, `switches` times, by the Left key or, where
    // the calendar takes no keys, by a click on the day. `noteOf` names the text the note box must show.
    bool SwitchDays(const std::wstring& exe, const DataSet& set,
                    const std::function<std::wstring(long day)>& noteOf, std::vector<double>& latencies);
    bool m_clicks = false;

    // A window stalled while typing goes on, and what the journal holds of it.
    void Typing();
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
    double JournalRecords() const;
    bool TypeInto(const DataSet& set, TypingRun& out);

    // WM_ENDSESSION to the process gone and every file it wrote on the disk.
    void Save();
    struct SaveVariant {
        std::string name;
        std::wstring exe;
        DataSet* set = nullptr;
        bool program = false; // the program: its safety copy and today's dated copy are checked too
        int floor = 0;        // the row it is set against
        Target target;
        std::vector<double> seconds, gone;
    };
    // Every file of the temporary folder and of the diary's safety folders.
    std::vector<std::wstring> DiaryFiles(const std::wstring& folder) const;
    // One save of the variant's diary in `folder`; false when a file it wrote has the wrong length.
    bool SaveOnce(SaveVariant& x, const std::wstring& folder, const std::wstring& datedName);
    // The files a save of the variant must have written whole.
    std::vector<std::wstring> WrittenBy(const SaveVariant& x, const std::wstring& folder,
                                        const std::wstring& datedName) const;
    void ReportSave(const std::vector<SaveVariant>& v, int incomplete);
};

} // namespace startup
