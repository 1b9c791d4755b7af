// The lunar view's costs, each next to its floor measured in the same run:
//   paint of a month: the lunar grid against the month calendar of the template, in one window;
//   a month change: Page Down in the grid against the calendar set to the next month;
//   start-up and memory: Quillidar.exe with the lunar view chosen against the same program without.
// Medians over interleaved repetitions; ratios to the floor. Nothing here passes or fails.
//
//   lunar_bench --quillidar=EXE --work=DIR [--reps=N] [--paints=N]
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "driver/files.h"
#include "driver/text.h"
#include "interaction/lunar_view.h"
#include "ui/common_controls.h"
#include "win_run.h"

namespace {

constexpr COLORREF kAccent = RGB(100, 100, 190); // scheme 0, the default
constexpr DWORD kPaintTimeoutMs = 20000;

double Now() {
    LARGE_INTEGER f{}, t{};
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / static_cast<double>(f.QuadPart);
}

double Median(std::vector<double> v) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

std::wstring Arg(int argc, wchar_t** argv, const wchar_t* name, const wchar_t* fallback) {
    const std::wstring prefix = std::wstring(L"--") + name + L"=";
    for (int i = 1; i < argc; ++i) {
        if (std::wstring(argv[i]).rfind(prefix, 0) == 0)
            return std::wstring(argv[i]).substr(prefix.size());
    }
    return fallback;
}

void Pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

// Seconds per call of `step`, the median of `reps` runs of `count` calls.
double Time(int reps, int count, const std::function<void()>& step) {
    std::vector<double> runs;
    for (int r = 0; r < reps; ++r) {
        const double start = Now();
        for (int i = 0; i < count; ++i)
            step();
        runs.push_back((Now() - start) / count);
        Pump();
    }
    return Median(runs);
}

void Row(const char* what, double value, double floor, const char* unit, double scale) {
    std::printf("| %-44s | %10.3f %s | %10.3f %s | %6.2fx |\n", what, value * scale, unit, floor * scale,
                unit, floor > 0 ? value / floor : 0.0);
}

void InProcess(const std::wstring& work, int reps, int paints) {
    // The view's file goes to the bench's own folder, never the user's.
    const std::wstring temp = work + L"\\inproc";
    CreateDirectoryW(temp.c_str(), nullptr);
    SetEnvironmentVariableW(L"TMP", temp.c_str());
    SetEnvironmentVariableW(L"TEMP", temp.c_str());
    ui::InitCommonControls(ICC_DATE_CLASSES | ICC_BAR_CLASSES | ICC_STANDARD_CLASSES);

    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"LunarBenchHost";
    RegisterClassW(&wc);
    // The template's calendar area at 96 DPI: 306 by 158 pixels under a strip, the note box below.
    HWND host = CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP | WS_VISIBLE, 100, 100, 309, 400, nullptr,
                                nullptr, wc.hInstance, nullptr);
    HWND calendar =
        CreateWindowExW(0, MONTHCAL_CLASSW, L"", WS_CHILD | WS_VISIBLE | MCS_DAYSTATE | MCS_WEEKNUMBERS, 1,
                        24, 306, 158, host, reinterpret_cast<HMENU>(1000), wc.hInstance, nullptr);
    HWND edit = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | ES_MULTILINE, 1, 186, 306, 75, host,
                                reinterpret_cast<HMENU>(1001), wc.hInstance, nullptr);
    HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    SendMessageW(calendar, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    auto view = std::make_unique<LunarView>();
    view->Attach(host, calendar, edit, [](almanac::Date) { return std::string(); });
    Pump();

    auto repaint = [](HWND w) {
        InvalidateRect(w, nullptr, TRUE);
        UpdateWindow(w);
    };
    SYSTEMTIME months[2] = {};
    MonthCal_GetCurSel(calendar, &months[0]);
    months[1] = months[0];
    months[1].wDay = 1;
    months[1].wMonth = static_cast<WORD>(months[0].wMonth % 12 + 1);
    months[0].wDay = 1;
    int flip = 0;
    const double calendarPaint = Time(reps, paints, [&] { repaint(calendar); });
    const double calendarMonth = Time(reps, paints, [&] {
        MonthCal_SetCurSel(calendar, &months[++flip % 2]);
        UpdateWindow(calendar);
    });
    MonthCal_SetCurSel(calendar, &months[0]);
    view->Toggle();
    Pump();
    HWND grid = FindWindowExW(host, nullptr, L"QuillidarLunarGrid", nullptr);
    if (!grid) {
        std::printf("no lunar grid was made\n");
        return;
    }
    const double gridPaint = Time(reps, paints, [&] { repaint(grid); });
    const double gridMonth = Time(reps, paints, [&] {
        SendMessageW(grid, WM_KEYDOWN, (++flip % 2) ? VK_NEXT : VK_PRIOR, 0);
        UpdateWindow(grid);
    });
    std::printf(
        "| figure                                       |      value    |      floor    |  ratio |\n");
    std::printf(
        "|----------------------------------------------|---------------|---------------|--------|\n");
    Row("paint of a month: lunar grid / month calendar", gridPaint, calendarPaint, "ms", 1000);
    Row("month change: grid Page Down / calendar set", gridMonth, calendarMonth, "ms", 1000);
    view.reset();
    DestroyWindow(host);
}

void Processes(const std::wstring& exe, const std::wstring& work, int reps) {
    const std::wstring off = work + L"\\off";
    const std::wstring on = work + L"\\on";
    std::vector<double> start[2], memory[2];
    for (int r = 0; r < reps; ++r) {
        for (int variant = 0; variant < 2; ++variant) {
            const std::wstring& folder = variant ? on : off;
            CreateDirectoryW(folder.c_str(), nullptr);
            driver::EmptyFolder(folder);
            if (variant)
                driver::WriteWholeFile(folder + L"\\qlw_view.ini", "[view]\r\nlunar=1\r\n");
            bench::WinRun run;
            if (!run.Start(exe, folder)) {
                std::printf("cannot start %s\n", driver::Utf8(exe).c_str());
                return;
            }
            const std::optional<double> t = run.WaitForPaint(kAccent, kPaintTimeoutMs);
            Sleep(300);
            const std::optional<bench::Memory> m = run.ReadMemory();
            if (t)
                start[variant].push_back(*t);
            if (m)
                memory[variant].push_back(m->peakWorkingSet);
        }
    }
    Row("start-up to first paint: lunar view on / off", Median(start[1]), Median(start[0]), "ms", 1000);
    Row("peak working set: lunar view on / off", Median(memory[1]), Median(memory[0]), "MB", 1.0 / 1048576);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring exe = Arg(argc, argv, L"quillidar", L"Quillidar.exe");
    const std::wstring work = Arg(argc, argv, L"work", L".");
    const int reps = std::max(1, _wtoi(Arg(argc, argv, L"reps", L"5").c_str()));
    const int paints = std::max(1, _wtoi(Arg(argc, argv, L"paints", L"50").c_str()));
    CreateDirectoryW(work.c_str(), nullptr);
    InProcess(work, reps, paints);
    Processes(exe, work, reps);
    return 0;
}
