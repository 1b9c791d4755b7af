// The lunar view's window: the grid's painting, its mouse, keys and wheel, and the switch of views.
#include "interaction/lunar_view.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <cwchar>
#include <new>

#include "diary/note_map.h"
#include "files/win_file_system.h"
#include "interaction/day_words.h"
#include "interaction/holiday_source.h"
#include "interaction/lunar_look.h"
#include "res/resource.h"
#include "safety/safety_win.h"
#include "ui/dpi.h"
#include "ui/text.h"

namespace {

constexpr wchar_t kGridClass[] = L"QuillidarLunarGrid";

almanac::Date DateOf(const SYSTEMTIME& st) {
    return almanac::MakeDate(st.wYear, st.wMonth, st.wDay).value_or(almanac::Date{});
}

SYSTEMTIME SystemTimeOf(almanac::Date day) {
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(almanac::YearOf(day));
    st.wMonth = static_cast<WORD>(almanac::MonthOf(day));
    st.wDay = static_cast<WORD>(almanac::DayOf(day));
    st.wDayOfWeek = static_cast<WORD>(std::chrono::weekday{std::chrono::sys_days{day}}.c_encoding());
    return st;
}

RECT ToRect(const quill::GridRect& r) {
    return {r.left, r.top, r.right, r.bottom};
}

bool HighContrast() {
    HIGHCONTRASTW hc{};
    hc.cbSize = sizeof hc;
    if (::SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof hc, &hc, 0) && (hc.dwFlags & HCF_AVAILABLE))
        return (hc.dwFlags & HCF_HIGHCONTRASTON) != 0;
    // A system without the feature (Wine answers so and cannot set it) may still have a high-contrast
    // theme applied through the registry: its colours, and this record that it is on.
    wchar_t flags[16] = {};
    DWORD size = sizeof flags;
    if (::RegGetValueW(HKEY_CURRENT_USER, L"Control Panel\\Accessibility\\HighContrast", L"Flags",
                       RRF_RT_REG_SZ, nullptr, flags, &size) != ERROR_SUCCESS)
        return false;
    return (std::wcstoul(flags, nullptr, 10) & HCF_HIGHCONTRASTON) != 0;
}

quill::GridPalette PaletteNow(const quill::ColorScheme& scheme) {
    if (!HighContrast())
        return quill::PaletteOf(scheme);
    return quill::ContrastPalette({::GetSysColor(COLOR_WINDOW), ::GetSysColor(COLOR_WINDOWTEXT),
                                   ::GetSysColor(COLOR_HIGHLIGHT), ::GetSysColor(COLOR_HIGHLIGHTTEXT),
                                   ::GetSysColor(COLOR_GRAYTEXT), ::GetSysColor(COLOR_HOTLIGHT)});
}

HFONT MakeFont(int pixels, bool bold) {
    LOGFONTW lf{};
    lf.lfHeight = -pixels;
    lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    lf.lfCharSet = GB2312_CHARSET;
    lf.lfQuality = DEFAULT_QUALITY;
    wcscpy_s(lf.lfFaceName, L"\x5B8B\x4F53"); // the dialog's own face, 宋体
    return ::CreateFontIndirectW(&lf);
}

void Fill(HDC dc, const RECT& r, COLORREF color) {
    ::SetBkColor(dc, color);
    ::ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &r, nullptr, 0, nullptr);
}

void Text(HDC dc, HFONT font, COLORREF color, const std::wstring& text, RECT r, UINT format) {
    ui::SelectGuard select(dc, font);
    ::SetTextColor(dc, color);
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, format | DT_NOPREFIX | DT_SINGLELINE);
}

void Triangle(HDC dc, const RECT& r, bool left, COLORREF color) {
    const int cx = (r.left + r.right) / 2;
    const int cy = (r.top + r.bottom) / 2;
    const int h = std::max(3, static_cast<int>(r.bottom - r.top) / 4);
    POINT points[3];
    if (left)
        points[0] = {cx - h / 2, cy}, points[1] = {cx + h / 2, cy - h}, points[2] = {cx + h / 2, cy + h};
    else
        points[0] = {cx + h / 2, cy}, points[1] = {cx - h / 2, cy - h}, points[2] = {cx - h / 2, cy + h};
    ui::Brush brush(::CreateSolidBrush(color));
    ui::Pen pen(::CreatePen(PS_SOLID, 1, color));
    ui::SelectGuard b(dc, brush.get());
    ui::SelectGuard p(dc, pen.get());
    ::Polygon(dc, points, 3);
}

bool Weekend(almanac::Date day) {
    const std::chrono::weekday w{std::chrono::sys_days{day}};
    return w == std::chrono::Saturday || w == std::chrono::Sunday;
}

// The window's paint drawn off screen and put up at once: a month change never shows half a month.
template <typename PaintTo> void PaintOffScreen(HWND window, const PaintTo& paint) {
    PAINTSTRUCT ps{};
    HDC dc = ::BeginPaint(window, &ps);
    if (!dc)
        return;
    RECT client{};
    ::GetClientRect(window, &client);
    HDC memory = ::CreateCompatibleDC(dc);
    HBITMAP bitmap = ::CreateCompatibleBitmap(dc, client.right, client.bottom);
    if (memory && bitmap) {
        HGDIOBJ old = ::SelectObject(memory, bitmap);
        paint(memory, client);
        ::BitBlt(dc, 0, 0, client.right, client.bottom, memory, 0, 0, SRCCOPY);
        ::SelectObject(memory, old);
    } else {
        paint(dc, client);
    }
    if (bitmap)
        ::DeleteObject(bitmap);
    if (memory)
        ::DeleteDC(memory);
    ::EndPaint(window, &ps);
}

// The month's title with its arrows, the weekday heads and the week numbers of the rows.
void PaintHeads(HDC dc, const quill::GridPalette& p, const quill::GridLayout& l,
                std::chrono::year_month month, std::chrono::weekday first,
                const std::array<quill::GridDate, quill::kGridCells>& days, HFONT titleFont, HFONT headFont) {
    Fill(dc, ToRect(l.title), p.titleBack);
    Text(dc, titleFont, p.titleText, ui::Wide(quill::GridTitle(month)), ToRect(l.title),
         DT_CENTER | DT_VCENTER);
    Triangle(dc, ToRect(l.prev), true, p.titleText);
    Triangle(dc, ToRect(l.next), false, p.titleText);

    for (int column = 0; column < quill::kGridColumns; ++column) {
        const std::chrono::weekday w = first + std::chrono::days{column};
        RECT head = ToRect(l.cells[static_cast<std::size_t>(column)]);
        head.top = l.header.top;
        head.bottom = l.header.bottom;
        const bool weekend = w == std::chrono::Saturday || w == std::chrono::Sunday;
        Text(dc, headFont, weekend ? p.weekend : p.text, ui::Wide(quill::WeekdayHead(w)), head,
             DT_CENTER | DT_VCENTER);
    }
    {
        // The line under the heads, as the month calendar draws it.
        RECT line{l.header.left, l.header.bottom - 1, l.header.right, l.header.bottom};
        Fill(dc, line, p.weekNumber);
    }
    for (int row = 0; row < quill::kGridRows; ++row) {
        const int week = quill::WeekNumberOfRow(days[static_cast<std::size_t>(row * quill::kGridColumns)]);
        Text(dc, headFont, p.weekNumber, std::to_wstring(week),
             ToRect(l.weeks[static_cast<std::size_t>(row)]), DT_CENTER | DT_VCENTER);
    }
}

} // namespace

LunarView::~LunarView() {
    if (m_grid)
        ::DestroyWindow(m_grid);
}

void LunarView::Attach(HWND dialog, HWND calendar, HWND edit, NoteOf noteOf) {
    m_dialog = dialog;
    m_calendar = calendar;
    m_edit = edit;
    m_noteOf = std::move(noteOf);
    m_dpi = ui::WindowDpi(dialog);
    {
        // The diary's safety folders in the tool's order, so both read the same file.
        const DiaryPlace place = TempDiaryPlace();
        std::vector<FsPath> folders;
        for (const FsPath& root : place.safetyRoots)
            folders.push_back(DiaryFolderUnder(root, DiaryTag(place.identity)));
        WinFileSystem fs;
        m_schedule = quill::ScheduleFromFolders(fs, folders);
    }
    m_tip.Create(dialog, [this](almanac::Date day) {
        return quill::DayTipText(almanac::FactsOf(day, m_schedule), m_noteOf ? m_noteOf(day) : std::string());
    });
    m_tip.WatchCalendar(calendar);

    std::string bytes;
    WinFileSystem fs;
    const FsPath path = GetTempFilePath(quill::kViewFileName);
    if (!path.empty() && LoadFile(fs, path, bytes) == FileError::kNone)
        m_choice = quill::DecodeViewChoice(bytes);
    // The default window pays for nothing of the grid: it is made only when first shown.
    if (m_choice.lunar)
        Show(true);
}

void LunarView::Toggle() {
    m_choice.lunar = !m_choice.lunar;
    Show(m_choice.lunar);
    SaveChoice();
}

void LunarView::SaveChoice() const {
    WinFileSystem fs;
    const FsPath path = GetTempFilePath(quill::kViewFileName);
    if (path.empty())
        return;
    const std::string bytes = quill::EncodeViewChoice(m_choice);
    if (!HoldsBytes(fs, path, bytes))
        SaveFileAtomically(fs, path, bytes);
}

void LunarView::Show(bool on) {
    m_tip.Hide();
    if (on && !m_grid) {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.style = CS_DBLCLKS;
        wc.lpfnWndProc = &LunarView::GridProc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        wc.lpszClassName = kGridClass;
        ::RegisterClassExW(&wc); // a second register fails harmlessly
        m_grid = ::CreateWindowExW(0, kGridClass, L"", WS_CHILD | WS_TABSTOP, 0, 0, 0, 0, m_dialog, nullptr,
                                   ::GetModuleHandleW(nullptr), this);
        // Right after the calendar in the tab order, so the focus goes where the calendar's went.
        ::SetWindowPos(m_grid, m_calendar, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        MakeFonts();
    }
    if (!m_grid)
        return;
    const bool hadFocus = ::GetFocus() == (on ? m_calendar : m_grid);
    Fit();
    ::ShowWindow(m_grid, on ? SW_SHOWNA : SW_HIDE);
    ::ShowWindow(m_calendar, on ? SW_HIDE : SW_SHOWNA);
    if (hadFocus)
        ::SetFocus(on ? m_grid : m_calendar);
    if (on)
        Refresh();
}

void LunarView::Fit() {
    RECT cal{};
    ::GetWindowRect(m_calendar, &cal);
    ::MapWindowPoints(HWND_DESKTOP, m_dialog, reinterpret_cast<POINT*>(&cal), 2);
    const quill::GridRect least = quill::GridMinimum(quill::GridSizesAt(m_dpi));
    const int calHeight = cal.bottom - cal.top;
    const int want = m_choice.lunar ? std::max(0, least.bottom - calHeight) : 0;
    const int delta = want - m_grown;
    if (delta != 0) {
        RECT edit{};
        ::GetWindowRect(m_edit, &edit);
        ::MapWindowPoints(HWND_DESKTOP, m_dialog, reinterpret_cast<POINT*>(&edit), 2);
        ::MoveWindow(m_edit, edit.left, edit.top + delta, edit.right - edit.left, edit.bottom - edit.top,
                     TRUE);
        RECT window{};
        ::GetWindowRect(m_dialog, &window);
        ::SetWindowPos(m_dialog, nullptr, 0, 0, window.right - window.left,
                       window.bottom - window.top + delta, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        m_grown = want;
    }
    if (m_grid)
        ::MoveWindow(m_grid, cal.left, cal.top, cal.right - cal.left, calHeight + m_grown, TRUE);
}

void LunarView::SetColors(const quill::ColorScheme& scheme) {
    m_scheme = scheme;
    if (m_grid)
        ::InvalidateRect(m_grid, nullptr, FALSE);
}

void LunarView::Refresh() {
    if (!m_grid || !m_choice.lunar)
        return;
    ::InvalidateRect(m_grid, nullptr, FALSE);
    Announce();
}

void LunarView::SystemColorsChanged() {
    if (m_grid)
        ::InvalidateRect(m_grid, nullptr, FALSE);
}

void LunarView::DpiChanged(int oldDpi, int newDpi) {
    m_dpi = newDpi;
    // The window and the note box were scaled with what the grid had added.
    m_grown = ::MulDiv(m_grown, newDpi, oldDpi);
    if (!m_grid)
        return;
    MakeFonts();
    Fit();
    ::InvalidateRect(m_grid, nullptr, FALSE);
}

void LunarView::MakeFonts() {
    const quill::GridFonts f = quill::GridFontsAt(m_dpi);
    m_fontNumber.reset(MakeFont(f.number, false));
    m_fontBold.reset(MakeFont(f.number, true));
    m_fontCaption.reset(MakeFont(f.caption, false));
    m_fontBadge.reset(MakeFont(f.badge, false));
    m_fontTitle.reset(MakeFont(f.title, true));
    m_fontHead.reset(MakeFont(f.head, false));
}

quill::GridLayout LunarView::Layout() const {
    RECT client{};
    ::GetClientRect(m_grid, &client);
    return quill::LayoutGrid(client.right, client.bottom, quill::GridSizesAt(m_dpi));
}

std::chrono::weekday LunarView::FirstDay() const {
    // 0 is Monday to the month calendar; both views start their weeks on the same day.
    const auto first = static_cast<unsigned>(LOWORD(MonthCal_GetFirstDayOfWeek(m_calendar)));
    return std::chrono::weekday{(first + 1) % 7};
}

almanac::Date LunarView::Selected() const {
    SYSTEMTIME st{};
    if (!MonthCal_GetCurSel(m_calendar, &st))
        return Today();
    return DateOf(st);
}

almanac::Date LunarView::Today() const {
    SYSTEMTIME st{};
    if (!MonthCal_GetToday(m_calendar, &st))
        ::GetLocalTime(&st);
    return DateOf(st);
}

void LunarView::Select(almanac::Date day) {
    if (day == Selected())
        return;
    NMSELCHANGE change{};
    change.stSelStart = SystemTimeOf(day);
    change.stSelEnd = change.stSelStart;
    if (!MonthCal_SetCurSel(m_calendar, &change.stSelStart))
        return;
    // The same notice the calendar sends for a click, so the window files the note, marks the bold
    // days and syncs exactly as it does there.
    change.nmhdr.hwndFrom = m_calendar;
    change.nmhdr.idFrom = IDC_CALENDAR;
    change.nmhdr.code = MCN_SELCHANGE;
    ::SendMessageW(m_dialog, WM_NOTIFY, IDC_CALENDAR, reinterpret_cast<LPARAM>(&change));
    Refresh();
}

void LunarView::Announce() {
    const almanac::Date day = Selected();
    const bool hasNote = m_noteOf && !IsBlankNote(m_noteOf(day));
    const std::wstring name = ui::Wide(quill::DayAccessibleName(almanac::FactsOf(day, m_schedule), hasNote));
    ::SetWindowTextW(m_grid, name.c_str());
    ::NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, m_grid, OBJID_CLIENT, CHILDID_SELF);
    const long child = SelectedChild();
    ::NotifyWinEvent(EVENT_OBJECT_SELECTION, m_grid, OBJID_CLIENT, child);
    if (GridHasFocus())
        ::NotifyWinEvent(EVENT_OBJECT_FOCUS, m_grid, OBJID_CLIENT, child);
}

long LunarView::SelectedChild() const {
    const int cell = SelectedCell();
    return cell < 0 ? CHILDID_SELF : cell + 1;
}

std::array<almanac::Date, quill::kGridCells> LunarView::ShownDays() const {
    const almanac::Date selected = Selected();
    return quill::GridDays(selected.year() / selected.month(), FirstDay());
}

std::wstring LunarView::GridName() const {
    const almanac::Date selected = Selected();
    return ui::Wide(quill::GridTitle(selected.year() / selected.month()));
}

std::wstring LunarView::CellName(int cell) const {
    const almanac::Date day = ShownDays()[static_cast<std::size_t>(cell)];
    const bool hasNote = m_noteOf && !IsBlankNote(m_noteOf(day));
    return ui::Wide(quill::DayAccessibleName(almanac::FactsOf(day, m_schedule), hasNote));
}

RECT LunarView::CellRect(int cell) const {
    return ToRect(Layout().cells[static_cast<std::size_t>(cell)]);
}

int LunarView::SelectedCell() const {
    const almanac::Date selected = Selected();
    return quill::CellOf(selected.year() / selected.month(), FirstDay(), selected).value_or(-1);
}

void LunarView::SelectCell(int cell) {
    Select(ShownDays()[static_cast<std::size_t>(cell)]);
}

void LunarView::OnKey(UINT key) {
    quill::GridKey move = quill::GridKey::Other;
    switch (key) {
    case VK_LEFT:
        move = quill::GridKey::Left;
        break;
    case VK_RIGHT:
        move = quill::GridKey::Right;
        break;
    case VK_UP:
        move = quill::GridKey::Up;
        break;
    case VK_DOWN:
        move = quill::GridKey::Down;
        break;
    case VK_PRIOR:
        move = quill::GridKey::PageUp;
        break;
    case VK_NEXT:
        move = quill::GridKey::PageDown;
        break;
    case VK_HOME:
        move = quill::GridKey::Home;
        break;
    case VK_END:
        move = quill::GridKey::End;
        break;
    default:
        return;
    }
    Select(quill::MoveByKey(Selected(), move, Today()));
}

void LunarView::OnMouseMove(POINT at) {
    const quill::GridLayout layout = Layout();
    const quill::GridHit hit = quill::HitTestGrid(layout, at.x, at.y);
    if (hit.part != quill::GridPart::Day) {
        m_tip.Hide();
        return;
    }
    const almanac::Date selected = Selected();
    const auto days = quill::GridDays(selected.year() / selected.month(), FirstDay());
    m_tip.Over(m_grid, days[static_cast<std::size_t>(hit.index)],
               ToRect(layout.cells[static_cast<std::size_t>(hit.index)]));
}

LRESULT CALLBACK LunarView::GridProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<LunarView*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (msg == WM_NCDESTROY) {
        ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        if (self) {
            self->m_grid = nullptr;
            if (self->m_accessible) {
                self->m_accessible->Disconnect();
                self->m_accessible->Release();
                self->m_accessible = nullptr;
            }
        }
    }
    if (!self || !self->m_grid)
        return ::DefWindowProcW(window, msg, wParam, lParam);
    try {
        return self->OnGridMessage(msg, wParam, lParam);
    } catch (...) {
        return ::DefWindowProcW(window, msg, wParam, lParam);
    }
}

LRESULT LunarView::OnGridMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    const POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    switch (msg) {
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
        PaintOffScreen(m_grid, [this](HDC dc, const RECT& client) { Paint(dc, client); });
        return 0;
    case WM_GETDLGCODE:
        return DLGC_WANTARROWS;
    case WM_KEYDOWN:
        OnKey(static_cast<UINT>(wParam));
        return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        ::InvalidateRect(m_grid, nullptr, FALSE);
        if (msg == WM_SETFOCUS)
            ::NotifyWinEvent(EVENT_OBJECT_FOCUS, m_grid, OBJID_CLIENT, SelectedChild());
        return 0;
    case WM_GETOBJECT:
        if (static_cast<DWORD>(lParam) == static_cast<DWORD>(OBJID_CLIENT)) {
            if (!m_accessible)
                m_accessible = new (std::nothrow) LunarGridAccessible(m_grid, this);
            if (m_accessible) {
                if (const LRESULT answer = m_accessible->Answer(wParam))
                    return answer;
            }
        }
        return ::DefWindowProcW(m_grid, msg, wParam, lParam);
    case WM_THEMECHANGED:
    case WM_SYSCOLORCHANGE:
        ::InvalidateRect(m_grid, nullptr, FALSE);
        return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
        m_tip.Hide();
        ::SetFocus(m_grid);
        const quill::GridLayout layout = Layout();
        const quill::GridHit hit = quill::HitTestGrid(layout, at.x, at.y);
        const almanac::Date selected = Selected();
        if (hit.part == quill::GridPart::Prev)
            Select(quill::AddMonths(selected, -1));
        else if (hit.part == quill::GridPart::Next)
            Select(quill::AddMonths(selected, 1));
        else if (hit.part == quill::GridPart::Day)
            Select(quill::GridDays(selected.year() / selected.month(),
                                   FirstDay())[static_cast<std::size_t>(hit.index)]);
        return 0;
    }
    case WM_MOUSEMOVE:
        OnMouseMove(at);
        return 0;
    case WM_MOUSELEAVE:
        m_tip.Hide();
        return 0;
    case WM_MOUSEWHEEL: {
        m_tip.Hide();
        const int months = quill::WheelMonths(m_wheel, GET_WHEEL_DELTA_WPARAM(wParam));
        if (months)
            Select(quill::AddMonths(Selected(), months));
        return 0;
    }
    case WM_CONTEXTMENU:
        // The window's own menu, as over the calendar.
        return ::SendMessageW(m_dialog, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(m_grid), lParam);
    default:
        return ::DefWindowProcW(m_grid, msg, wParam, lParam);
    }
}

void LunarView::Paint(HDC dc, const RECT& client) {
    const quill::GridPalette p = PaletteNow(m_scheme);
    const quill::GridLayout l = quill::LayoutGrid(client.right, client.bottom, quill::GridSizesAt(m_dpi));
    const almanac::Date selected = Selected();
    const almanac::Date today = Today();
    const auto month = selected.year() / selected.month();
    const std::chrono::weekday first = FirstDay();
    const auto days = quill::GridDays(month, first);
    ::SetBkMode(dc, TRANSPARENT);

    Fill(dc, client, p.back);
    PaintHeads(dc, p, l, month, first, days, m_fontTitle.get(), m_fontHead.get());

    const quill::GridFonts fonts = quill::GridFontsAt(m_dpi);
    const int pad = std::max(1, m_dpi / 48);
    const bool focused = ::GetFocus() == m_grid;
    for (int i = 0; i < quill::kGridCells; ++i) {
        const almanac::Date day = days[static_cast<std::size_t>(i)];
        const RECT cell = ToRect(l.cells[static_cast<std::size_t>(i)]);
        const almanac::DayFacts facts = almanac::FactsOf(day, m_schedule);
        const bool inMonth = day.year() / day.month() == month;
        const bool isSelected = day == selected;
        const bool off =
            facts.off == almanac::DayOff::Rest || (Weekend(day) && facts.off != almanac::DayOff::Work);
        COLORREF fore = inMonth ? (off ? p.weekend : p.text) : (off ? p.weekendFaint : p.faint);
        if (isSelected) {
            RECT mark{cell.left + pad, cell.top + pad, cell.right - pad, cell.bottom - pad};
            Fill(dc, mark, p.selectBack);
            fore = p.selectText;
            if (focused)
                ::DrawFocusRect(dc, &mark);
        }
        if (day == today) {
            ui::Pen pen(::CreatePen(PS_SOLID, std::max(1, m_dpi / 96), p.todayFrame));
            ui::SelectGuard penIn(dc, pen.get());
            ui::SelectGuard brushIn(dc, ::GetStockObject(NULL_BRUSH));
            ::Rectangle(dc, cell.left + pad, cell.top + pad, cell.right - pad, cell.bottom - pad);
        }
        const bool hasNote = m_noteOf && !IsBlankNote(m_noteOf(day));
        // The number keeps clear of the badge: centred in what the badge leaves of the cell's top.
        const int side = fonts.badge + pad;
        const int numberRight = facts.off != almanac::DayOff::None ? cell.right - side - pad : cell.right;
        RECT numberBox{cell.left, cell.top + pad, numberRight, cell.top + pad + fonts.number + pad};
        Text(dc, hasNote ? m_fontBold.get() : m_fontNumber.get(), fore, std::to_wstring(almanac::DayOf(day)),
             numberBox, DT_CENTER | DT_TOP);
        RECT captionBox{cell.left, numberBox.bottom, cell.right, cell.bottom - pad};
        const bool marked = !facts.festivals.empty() || facts.term >= 0;
        const COLORREF captionColor = isSelected ? p.selectText : (marked && inMonth ? p.weekNumber : fore);
        Text(dc, m_fontCaption.get(), captionColor, ui::Wide(almanac::CellCaption(facts)), captionBox,
             DT_CENTER | DT_TOP | DT_END_ELLIPSIS);
        if (facts.off != almanac::DayOff::None) {
            RECT badge{cell.right - side - pad, cell.top + pad, cell.right - pad, cell.top + pad + side};
            Fill(dc, badge, facts.off == almanac::DayOff::Rest ? p.restBadge : p.workBadge);
            Text(dc, m_fontBadge.get(), p.badgeText,
                 facts.off == almanac::DayOff::Rest ? L"\x4F11" : L"\x73ED", badge, DT_CENTER | DT_VCENTER);
        }
    }
}
