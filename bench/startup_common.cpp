// The benchmarks' shared parts: the statistics, the report's rows, the diaries written for the
// program, the read floor and the safety folder.
#include "startup_bench.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

#include "appearance/calendar_settings.h"
#include "appearance/settings_file.h"
#include "diary/notes_file.h"
#include "driver/files.h"
#include "driver/wait.h"

namespace startup {

namespace {

std::string SettingsBytes(int timeFormat) {
    CalendarSettings settings;
    FillDefaultSettings(settings);
    settings.m_nTimeFormat = timeFormat;
    settings.m_nPosX = 300;
    settings.m_nPosY = 200;
    return EncodeSettings(settings, kFileKey);
}

} // namespace

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

void Report::Row(const std::string& figure, const Stat& s, Unit unit, const Stat* floor, const Target& t) {
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
        verdicts.push_back("- " + t.label + ", " + t.text + ": " +
                           (met ? (*met ? "met, " : "missed, ") + std::string(detail) : "no measurement"));
}

void Report::Verdicts() {
    if (verdicts.empty())
        return;
    md << "\n### Against the targets\n\n";
    for (const std::string& line : verdicts)
        md << line << "\n";
}

std::wstring Join(const std::wstring& folder, const std::wstring& name) {
    return folder + L"\\" + name;
}

bench::Date Today() {
    SYSTEMTIME st;
    GetLocalTime(&st);
    return {st.wYear, st.wMonth, st.wDay};
}

// A temporary folder for the program holding a settings file and a notes file of `notes` notes of
// `noteBytes` bytes each.
DataSet MakeSet(const std::wstring& folder, std::string name, std::size_t notes, int timeFormat,
                std::size_t noteBytes) {
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

// Each diary keeps its copies, manifest and journals in a folder of its own inside the safety
// folder. Left from one run to the next, they change what the next run does (a copy that no longer
// matches the manifest is kept aside, a journal is applied, a kept copy read again at every save),
// so every run starts with none, as the first close of a diary would.
void ClearSafety(const std::wstring& safety) {
    if (safety.empty())
        return;
    for (const std::wstring& name : driver::FoldersIn(safety)) {
        const std::wstring sub = Join(safety, name);
        driver::EmptyFolder(sub);
        RemoveDirectoryW(sub.c_str());
    }
    driver::EmptyFolder(safety);
}

// The files of every diary folder inside the safety folder whose names start with `prefix`.
std::vector<std::wstring> SafetyFiles(const std::wstring& safety, const wchar_t* prefix) {
    std::vector<std::wstring> paths;
    for (const std::wstring& name : driver::FoldersIn(safety)) {
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

} // namespace startup
