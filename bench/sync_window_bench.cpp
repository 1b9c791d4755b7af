// The window's answers while the widget's sync pulls a diary. Quillidar.exe is started on a diary
// whose account the notes tool set up (in the prefix's own local application data folder, where
// the widget looks: it does not follow %LOCALAPPDATA%), and a WM_NULL round trip is timed every
// 10 ms from its first window until a second after the pulled diary is on the disk (the notes
// file reaches a size; the time reported is until then), or for a set time when nothing is pulled
// (the same measure with no sync running). One line of figures goes to the file named, for
// bench/sync_bench.sh's table:
//   SECONDS SAMPLES WORST_MS P99_MS PEAK_WORKING_SET_BYTES REACHED
//   sync_window_bench --quillidar=EXE --temp=DIR --until-bytes=N --seconds=S --out=FILE
// --until-bytes=0 samples for S seconds; otherwise S is the most it waits for the diary.
#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "driver/files.h"
#include "driver/process.h"
#include "driver/wait.h"

namespace {

struct Options {
    std::wstring program, temp, out;
    unsigned long long untilBytes = 0;
    double seconds = 60;
};

bool ParseArgs(int argc, wchar_t** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::wstring a = argv[i];
        const auto value = [&](const wchar_t* name) -> const wchar_t* {
            const std::size_t n = std::wcslen(name);
            return a.compare(0, n, name) == 0 ? a.c_str() + n : nullptr;
        };
        if (const wchar_t* v = value(L"--quillidar="))
            o.program = v;
        else if (const wchar_t* v = value(L"--temp="))
            o.temp = v;
        else if (const wchar_t* v = value(L"--out="))
            o.out = v;
        else if (const wchar_t* v = value(L"--until-bytes="))
            o.untilBytes = std::wcstoull(v, nullptr, 10);
        else if (const wchar_t* v = value(L"--seconds="))
            o.seconds = std::wcstod(v, nullptr);
        else
            return false;
    }
    return !o.program.empty() && !o.temp.empty() && !o.out.empty() && o.seconds > 0;
}

// The value at fraction p of the sorted samples (nearest rank), 0 for none.
double Quantile(std::vector<double> v, double p) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const auto at = static_cast<std::size_t>(p * static_cast<double>(v.size() - 1) + 0.5);
    return v[std::min(at, v.size() - 1)];
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    Options o;
    if (!ParseArgs(argc, argv, o)) {
        std::fprintf(stderr, "usage: sync_window_bench --quillidar=EXE --temp=DIR "
                             "--until-bytes=N --seconds=S --out=FILE\n");
        return 2;
    }
    driver::StartOptions start;
    start.program = o.program;
    start.tempDir = o.temp;
    driver::Process program;
    if (!program.Start(start))
        return 1;
    const HWND window = program.WaitForWindow(60000);
    if (!window)
        return 1;
    const std::wstring notes = o.temp + L"\\nts.ini";
    std::vector<double> samples;
    const double begun = driver::SecondsNow();
    double next = begun;
    bool reached = false;
    double took = 0;
    for (;;) {
        const double now = driver::SecondsNow();
        // Sampled on for a second once the diary is there: the save that wrote it may still be
        // closing, and the window's share of the run's end comes after it.
        if (now - begun > (reached ? took + 1 : o.seconds) || !program.Running())
            break;
        if (o.untilBytes > 0 && !reached) {
            const auto size = driver::FileSize(notes);
            reached = size && *size >= o.untilBytes;
            if (reached)
                took = now - begun;
        }
        DWORD_PTR ignored = 0;
        const double t0 = driver::SecondsNow();
        SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 30000, &ignored);
        samples.push_back(driver::SecondsNow() - t0);
        // The next sample at the next 10 ms step: a stall longer than that is one sample.
        next += 0.010;
        while (next < driver::SecondsNow())
            next += 0.010;
        while (driver::SecondsNow() < next)
            Sleep(1);
    }
    if (!reached)
        took = driver::SecondsNow() - begun;
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(program.Handle(), &counters, sizeof counters);
    PostMessageW(window, WM_ENDSESSION, TRUE, 0);
    if (!program.EndsWithin(60000))
        std::fprintf(stderr, "sync_window_bench: still running 60 s after WM_ENDSESSION\n");
    const double worst = samples.empty() ? 0 : *std::max_element(samples.begin(), samples.end());
    char line[256];
    std::snprintf(line, sizeof line, "%.2f %zu %.1f %.1f %llu %d\n", took, samples.size(), worst * 1000,
                  Quantile(samples, 0.99) * 1000,
                  static_cast<unsigned long long>(counters.PeakWorkingSetSize), reached ? 1 : 0);
    driver::WriteWholeFile(o.out, line);
    std::fputs(line, stdout);
    return o.untilBytes > 0 && !reached ? 3 : 0;
}
