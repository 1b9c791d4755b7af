// Portable core figures (Google Benchmark): the notes file's decode and encode, SetNote, the bold-day
// computation and the clock text, at 365, 36,500 and 1,000,000 notes of 100 bytes, and the file
// paths also at a hundred years of 2,000-byte notes, each next to a floor that does the same data
// path in the plainest way. With --report=FILE the medians, minima and maxima over
// the repetitions and the ratios to the floors are also written there as a Markdown table.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "appearance/clock_format.h"
#include "bench_data.h"
#include "diary/day_state.h"
#include "diary/notes_file.h"

namespace {

using Record = std::pair<std::string, std::string>;

constexpr bench::Date kToday{2026, 12, 7};

// The heavy, realistic diary: every day of a hundred years, each with a long note. Its figures are
// named by this count, which no diary of short notes uses.
constexpr std::size_t kHeavyNotes = 36524;
constexpr std::size_t kHeavyNoteBytes = 2000;

struct Diary {
    NoteMap notes;
    std::string bytes;
    std::vector<Record> records;
};

const Diary& DiaryOf(std::size_t count) {
    static std::map<std::size_t, std::unique_ptr<Diary>> cache;
    auto& slot = cache[count];
    if (!slot) {
        slot = std::make_unique<Diary>();
        slot->notes =
            bench::MakeDiary(count, kToday, count == kHeavyNotes ? kHeavyNoteBytes : bench::kShortNoteBytes);
        slot->bytes = EncodeNotes(slot->notes);
        // The list as the program holds it: read from its file.
        DecodeNotes(slot->bytes, slot->notes);
        for (const NoteEntry& e : slot->notes)
            slot->records.emplace_back(e.m_strKey, e.m_strText);
    }
    return *slot;
}

std::string ScratchPath() {
    return (std::filesystem::temp_directory_path() /
            ("quill-core-bench-" + std::to_string(::getpid()) + ".ini"))
        .string();
}

void SetBytes(benchmark::State& state, std::size_t bytes) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}

// Runs `once` untimed first, so every figure is of memory the process already has, as in a long
// run, then times it.
template <typename Once> void MeasureWarm(benchmark::State& state, Once& once, std::size_t bytes) {
    once();
    for (auto _ : state) {
        once();
    }
    SetBytes(state, bytes);
}

// ---- Floors: the same bytes and records the plainest way ----

std::uint32_t LengthAt(const unsigned char*& p) {
    std::uint32_t n = *p++;
    if (n == 0xFF) {
        n = p[0] | (p[1] << 8);
        p += 2;
        if (n == 0xFFFF) {
            std::memcpy(&n, p, 4);
            p += 4;
        }
    }
    return n;
}

void PutLength(std::string& out, std::size_t n) {
    if (n < 0xFF) {
        out.push_back(static_cast<char>(n));
    } else {
        out.push_back('\xFF');
        out.push_back(static_cast<char>(n & 0xFF));
        out.push_back(static_cast<char>(n >> 8));
    }
}

void FloorParse(benchmark::State& state) {
    const Diary& d = DiaryOf(static_cast<std::size_t>(state.range(0)));
    auto once = [&] {
        const auto* p = reinterpret_cast<const unsigned char*>(d.bytes.data());
        std::int32_t count;
        std::memcpy(&count, p, 4);
        p += 4;
        std::vector<Record> records;
        for (std::int32_t i = 0; i < count; ++i) {
            const std::uint32_t kn = LengthAt(p);
            std::string key(reinterpret_cast<const char*>(p), kn);
            p += kn;
            const std::uint32_t tn = LengthAt(p);
            std::string text(reinterpret_cast<const char*>(p), tn);
            p += tn;
            records.emplace_back(std::move(key), std::move(text));
        }
        benchmark::DoNotOptimize(records.data());
    };
    MeasureWarm(state, once, d.bytes.size());
}

void FloorFormat(benchmark::State& state) {
    const Diary& d = DiaryOf(static_cast<std::size_t>(state.range(0)));
    auto once = [&] {
        std::string out;
        const auto count = static_cast<std::int32_t>(d.records.size());
        out.append(reinterpret_cast<const char*>(&count), 4);
        for (const Record& r : d.records) {
            PutLength(out, r.first.size());
            out += r.first;
            PutLength(out, r.second.size());
            out += r.second;
        }
        benchmark::DoNotOptimize(out.data());
    };
    MeasureWarm(state, once, d.bytes.size());
}

void FloorStreamWrite(benchmark::State& state) {
    const Diary& d = DiaryOf(static_cast<std::size_t>(state.range(0)));
    const std::string path = ScratchPath();
    auto once = [&] {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        std::setvbuf(f, nullptr, _IOFBF, 4096);
        const auto count = static_cast<std::int32_t>(d.records.size());
        std::fwrite(&count, 4, 1, f);
        std::string prefix;
        for (const Record& r : d.records) {
            prefix.clear();
            PutLength(prefix, r.first.size());
            std::fwrite(prefix.data(), 1, prefix.size(), f);
            std::fwrite(r.first.data(), 1, r.first.size(), f);
            prefix.clear();
            PutLength(prefix, r.second.size());
            std::fwrite(prefix.data(), 1, prefix.size(), f);
            std::fwrite(r.second.data(), 1, r.second.size(), f);
        }
        std::fclose(f);
    };
    MeasureWarm(state, once, d.bytes.size());
    std::remove(path.c_str());
}

std::uint32_t LengthFrom(std::FILE* f) {
    std::uint32_t n = static_cast<unsigned char>(std::getc(f));
    if (n == 0xFF) {
        n = 0;
        std::fread(&n, 2, 1, f);
        if (n == 0xFFFF)
            std::fread(&n, 4, 1, f);
    }
    return n;
}

void FloorStreamRead(benchmark::State& state) {
    const Diary& d = DiaryOf(static_cast<std::size_t>(state.range(0)));
    const std::string path = ScratchPath();
    std::ofstream(path, std::ios::binary) << d.bytes;
    auto once = [&] {
        std::FILE* f = std::fopen(path.c_str(), "rb");
        std::setvbuf(f, nullptr, _IOFBF, 4096);
        std::int32_t count = 0;
        std::fread(&count, 4, 1, f);
        std::vector<Record> records;
        for (std::int32_t i = 0; i < count; ++i) {
            std::string key(LengthFrom(f), '\0');
            std::fread(key.data(), 1, key.size(), f);
            std::string text(LengthFrom(f), '\0');
            std::fread(text.data(), 1, text.size(), f);
            records.emplace_back(std::move(key), std::move(text));
        }
        std::fclose(f);
        benchmark::DoNotOptimize(records.data());
    };
    MeasureWarm(state, once, d.bytes.size());
    std::remove(path.c_str());
}

// ---- The program's core ----

// Over bytes the caller keeps, so the list takes a copy of them: the program hands its bytes over
// instead (Load).
void Decode(benchmark::State& state) {
    const Diary& d = DiaryOf(static_cast<std::size_t>(state.range(0)));
    auto once = [&] {
        NoteMap notes;
        benchmark::DoNotOptimize(DecodeNotes(d.bytes, notes));
    };
    MeasureWarm(state, once, d.bytes.size());
}

void Encode(benchmark::State& state) {
    const Diary& d = DiaryOf(static_cast<std::size_t>(state.range(0)));
    auto once = [&] {
        std::string bytes = EncodeNotes(d.notes);
        benchmark::DoNotOptimize(bytes.data());
    };
    MeasureWarm(state, once, d.bytes.size());
}

// Encode, then the bytes to disk in one write, as the program saves.
void Save(benchmark::State& state) {
    const Diary& d = DiaryOf(static_cast<std::size_t>(state.range(0)));
    const std::string path = ScratchPath();
    auto once = [&] {
        const std::string bytes = EncodeNotes(d.notes);
        std::FILE* f = std::fopen(path.c_str(), "wb");
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    };
    MeasureWarm(state, once, d.bytes.size());
    std::remove(path.c_str());
}

// The whole file into memory, then decode, as the program loads.
void Load(benchmark::State& state) {
    const Diary& d = DiaryOf(static_cast<std::size_t>(state.range(0)));
    const std::string path = ScratchPath();
    std::ofstream(path, std::ios::binary) << d.bytes;
    auto once = [&] {
        std::FILE* f = std::fopen(path.c_str(), "rb");
        std::fseek(f, 0, SEEK_END);
        std::string bytes(static_cast<std::size_t>(std::ftell(f)), '\0');
        std::fseek(f, 0, SEEK_SET);
        std::fread(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        // Handed over, as the program does: the list keeps the bytes read as its block.
        NoteMap notes;
        benchmark::DoNotOptimize(DecodeNotes(std::move(bytes), notes));
    };
    MeasureWarm(state, once, d.bytes.size());
    std::remove(path.c_str());
}

// Filing a changed note under a day that has one: what every day switch after typing does.
void SetNote(benchmark::State& state) {
    const Diary& d = DiaryOf(static_cast<std::size_t>(state.range(0)));
    NoteMap notes = d.notes;
    std::vector<std::string> keys;
    for (const NoteEntry& e : d.notes)
        keys.push_back(e.m_strKey);
    std::uint64_t lcg = 12345;
    // The first filing after a load grows the list once (it was read to the exact size); that one-time
    // copy is not what every later day switch costs.
    notes.SetNote(keys.front(), d.records.front().second);
    for (auto _ : state) {
        lcg = lcg * 6364136223846793005ULL + 1442695040888963407ULL;
        const std::string& key = keys[(lcg >> 33) % keys.size()];
        notes.SetNote(key, d.records.front().second);
    }
}

// The bold days of a month: 31 look-ups and the calendar's three day-state words.
void DayState(benchmark::State& state) {
    const Diary& d = DiaryOf(static_cast<std::size_t>(state.range(0)));
    const std::string key = bench::KeyOf(kToday);
    for (auto _ : state) {
        auto words = DayStateWords(3, NoteDaysMask(d.notes, key));
        benchmark::DoNotOptimize(words.data());
    }
}

const std::tm kTm = [] {
    std::tm tm{};
    tm.tm_year = 126;
    tm.tm_mon = 11;
    tm.tm_mday = 8;
    tm.tm_hour = 14;
    tm.tm_min = 5;
    tm.tm_sec = 9;
    tm.tm_wday = 2;
    tm.tm_yday = 341;
    return tm;
}();

// One clock tick expands the pattern twice; this is one expansion of the default format.
void ClockExpand(benchmark::State& state) {
    const quill::ClockTime time = quill::ClockTimeFromTm(kTm);
    const std::string_view pattern = quill::ClockPatternFor(quill::kDefaultTimeFormat, {});
    quill::ClockTextBuffer out;
    for (auto _ : state) {
        benchmark::DoNotOptimize(quill::ExpandClockPattern(pattern, time, {}, out));
        benchmark::ClobberMemory();
    }
}

void FloorStrftime(benchmark::State& state) {
    const std::string pattern(quill::ClockPatternFor(quill::kDefaultTimeFormat, {}));
    char out[128];
    for (auto _ : state) {
        benchmark::DoNotOptimize(std::strftime(out, sizeof out, pattern.c_str(), &kTm));
        benchmark::ClobberMemory();
    }
}

// ---- The Markdown table ----

// Each figure and the floor it is set against; ratio targets where there is one.
struct Pairing {
    const char* figure;
    const char* floor;
    double limit; // at 1,000,000 notes; 0 when there is no target
};
constexpr Pairing kPairings[] = {
    {"Decode", "FloorParse", 2.0},       {"Encode", "FloorFormat", 2.0}, {"Load", "FloorStreamRead", 0},
    {"Save", "FloorStreamWrite", 0},     {"SetNote", nullptr, 0},        {"DayState", nullptr, 0},
    {"ClockExpand", "FloorStrftime", 0},
};

class TableReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred)
                continue;
            std::string name = run.benchmark_name();
            name = name.substr(0, name.find("/repeats:"));
            name = name.substr(0, name.find("/min_time:"));
            // Seconds per iteration, whatever unit the run was shown in.
            m_times[name].push_back(run.real_accumulated_time / static_cast<double>(run.iterations));
        }
        ConsoleReporter::ReportRuns(runs);
    }

    std::string Markdown() const {
        std::string md = "\n### Core, native (Google Benchmark)\n\n"
                         "| Figure | Notes | Median | Min | Max | Runs | Floor | Floor (median) | Ratio | "
                         "Target |\n|---|---|---|---|---|---|---|---|---|---|\n";
        for (const Pairing& p : kPairings) {
            for (const char* arg : {"/365", "/36500", "/1000000", "/36524", ""}) {
                const auto it = m_times.find(std::string(p.figure) + arg);
                if (it == m_times.end())
                    continue;
                const Stat s = Summarize(it->second);
                const std::string notes = std::string(arg) == "/36524" ? "36524 x 2000 B"
                                          : *arg                       ? std::string(arg + 1)
                                                                       : "-";
                std::string row = "| " + std::string(p.figure) + " | " + notes + " | " + Time(s.median) +
                                  " | " + Time(s.min) + " | " + Time(s.max) + " | " + std::to_string(s.n) +
                                  " | ";
                const auto floor = p.floor ? m_times.find(std::string(p.floor) + arg) : m_times.end();
                if (floor != m_times.end()) {
                    const Stat f = Summarize(floor->second);
                    const double ratio = s.median / f.median;
                    char r[32];
                    std::snprintf(r, sizeof r, "%.2fx", ratio);
                    row += std::string(p.floor) + " | " + Time(f.median) + " | " + r + " | ";
                    if (p.limit > 0 && std::string(arg) == "/1000000") {
                        char t[48];
                        std::snprintf(t, sizeof t, "<= %.0fx floor (%s)", p.limit,
                                      ratio <= p.limit ? "met" : "missed");
                        row += t;
                    } else {
                        row += "-";
                    }
                } else {
                    row += "- | - | - | -";
                }
                md += row + " |\n";
            }
        }
        return md;
    }

  private:
    struct Stat {
        double median = 0, min = 0, max = 0;
        std::size_t n = 0;
    };
    static Stat Summarize(std::vector<double> v) {
        std::sort(v.begin(), v.end());
        Stat s;
        s.n = v.size();
        s.min = v.front();
        s.max = v.back();
        s.median = v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
        return s;
    }
    static std::string Time(double seconds) {
        char text[32];
        if (seconds >= 1e-3)
            std::snprintf(text, sizeof text, "%.2f ms", seconds * 1e3);
        else if (seconds >= 1e-6)
            std::snprintf(text, sizeof text, "%.2f us", seconds * 1e6);
        else
            std::snprintf(text, sizeof text, "%.1f ns", seconds * 1e9);
        return text;
    }

    std::map<std::string, std::vector<double>> m_times;
};

void Register() {
    using Fn = void (*)(benchmark::State&);
    // The file paths are also measured with the heavy diary; look-ups do not depend on note length.
    const std::tuple<const char*, Fn, bool> sized[] = {
        {"Decode", Decode, true},    {"FloorParse", FloorParse, true},
        {"Encode", Encode, true},    {"FloorFormat", FloorFormat, true},
        {"Load", Load, true},        {"FloorStreamRead", FloorStreamRead, true},
        {"Save", Save, true},        {"FloorStreamWrite", FloorStreamWrite, true},
        {"SetNote", SetNote, false}, {"DayState", DayState, false},
    };
    for (const auto& [name, fn, heavy] : sized) {
        auto* b = benchmark::RegisterBenchmark(name, fn);
        for (int n : {365, 36500, 1000000})
            b->Arg(n);
        if (heavy)
            b->Arg(static_cast<int>(kHeavyNotes));
        b->Unit(benchmark::kMicrosecond);
    }
    benchmark::RegisterBenchmark("ClockExpand", ClockExpand);
    benchmark::RegisterBenchmark("FloorStrftime", FloorStrftime);
}

} // namespace

int main(int argc, char** argv) {
    std::string reportPath;
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) {
        if (std::strncmp(argv[i], "--report=", 9) == 0)
            reportPath = argv[i] + 9;
        else
            args.push_back(argv[i]);
    }
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data()))
        return 1;
    Register();
    TableReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    if (!reportPath.empty())
        std::ofstream(reportPath) << reporter.Markdown();
    return 0;
}
