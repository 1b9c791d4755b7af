// The benchmarks' end-of-session save: WM_ENDSESSION to the process gone and every file it wrote on
// the disk, against a bare dialog that writes the same bytes once and flushes them.
#include "startup_bench.h"

#include <algorithm>
#include <cstdio>
#include <cwchar>

#include "driver/files.h"
#include "driver/text.h"
#include "driver/wait.h"

namespace startup {

namespace {

// Opens a file for writing and flushes it: whatever of it is still only in the page cache, and
// the journal commit its name and size wait for, reach the disk before this returns.
void FlushFile(const std::wstring& path) {
    const HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return;
    FlushFileBuffers(f);
    CloseHandle(f);
}

} // namespace

std::vector<std::wstring> Bench::DiaryFiles(const std::wstring& folder) const {
    std::vector<std::wstring> paths = SafetyFiles(safety, L"");
    for (const std::wstring& name : driver::FilesIn(folder))
        paths.push_back(Join(folder, name));
    return paths;
}

void Bench::Save() {
    auto variant = [&](std::string name, const std::wstring& exe, DataSet* set, bool program, int floor,
                       Target target) {
        SaveVariant x;
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
    std::vector<SaveVariant> v = {variant("bare dialog (floor)", floorIdle, &none, false, 0, {}),
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
        if (!SaveOnce(v[i], folder, datedName))
            ++incomplete;
    });
    ReportSave(v, incomplete);
}

bool Bench::SaveOnce(SaveVariant& x, const std::wstring& folder, const std::wstring& datedName) {
    const char* name = x.name.c_str();
    ClearSafety(safety);
    driver::EmptyFolder(folder);
    for (const wchar_t* file : {L"nts.ini", L"qlw.ini"})
        CopyFileW(Join(x.set->folder, file).c_str(), Join(folder, file).c_str(), FALSE);
    // The diary on the disk, as a user's is when the session ends, and the last run's files
    // gone from it: left in the page cache, ext4's commit of the run's first flush writes them
    // too, and a floor that replaces no file pays for the driver's copy of nts.ini.
    for (const std::wstring& path : DiaryFiles(folder))
        FlushFile(path);
    WinRun run;
    run.SetClockTicks(opt.clockTicks);
    if (!run.Start(x.exe, folder) || !run.WaitForPaint(kAccent, kPaintTimeoutMs)) {
        std::fprintf(stderr, "save %s: no paint seen\n", name);
        return true;
    }
    Sleep(500);
    const double t0 = driver::SecondsNow();
    PostMessageW(run.Window(), WM_ENDSESSION, TRUE, 0);
    if (!run.WaitForExit(60000)) {
        std::fprintf(stderr, "save %s: still running after 60 s\n", name);
        return true;
    }
    const double gone = driver::SecondsNow() - t0;
    // What the process left in the page cache counts: the user waits until it is on the disk.
    for (const std::wstring& path : DiaryFiles(folder))
        FlushFile(path);
    const double t = driver::SecondsNow() - t0;
    for (const std::wstring& path : WrittenBy(x, folder, datedName)) {
        const auto size = driver::FileSize(path);
        if (!size || *size != x.set->notesBytes) {
            std::fprintf(stderr, "save %s: %s has %llu bytes, %llu expected\n", name,
                         driver::Utf8(path).c_str(), static_cast<unsigned long long>(size.value_or(0)),
                         static_cast<unsigned long long>(x.set->notesBytes));
            return false;
        }
    }
    x.seconds.push_back(t);
    x.gone.push_back(gone);
    std::fprintf(stderr, "save %-48s %.1f ms (process gone after %.1f ms)\n", name, t * 1000, gone * 1000);
    return true;
}

std::vector<std::wstring> Bench::WrittenBy(const SaveVariant& x, const std::wstring& folder,
                                           const std::wstring& datedName) const {
    // Today's note moves to the end of the list; each file keeps the diary's length.
    std::vector<std::wstring> written;
    if (x.exe == floorSave)
        written.push_back(Join(folder, L"floor_save.ini"));
    if (x.program) {
        written.push_back(Join(folder, L"nts.ini"));
        const auto copies = SafetyFiles(safety, L"nts");
        for (const wchar_t* copy : {L"nts.ini", datedName.c_str()}) {
            const auto it = std::find_if(copies.begin(), copies.end(), [&](const std::wstring& path) {
                return path.size() > wcslen(copy) &&
                       path.compare(path.size() - wcslen(copy), std::wstring::npos, copy) == 0 &&
                       path[path.size() - wcslen(copy) - 1] == L'\\';
            });
            written.push_back(it == copies.end() ? L"(no " + std::wstring(copy) + L" in the safety folder)"
                                                 : *it);
        }
    }
    return written;
}

void Bench::ReportSave(const std::vector<SaveVariant>& v, int incomplete) {
    std::vector<Stat> stats;
    for (const SaveVariant& x : v)
        stats.push_back(Summarize(x.seconds));
    report.Section("WM_ENDSESSION to process gone and every file it wrote on disk");
    for (std::size_t i = 0; i < v.size(); ++i)
        report.Row(v[i].name, stats[i], Unit::Ms, &stats[static_cast<std::size_t>(v[i].floor)], v[i].target);
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

} // namespace startup
