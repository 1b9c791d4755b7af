// Reads the virtual desktop's notification area from outside: which icons it shows, where, and the
// balloon it pops up. Wine's explorer paints every icon into its "Shell_TrayWnd" window itself and
// gives each icon a tooltip window of its own, owned by the tray, whose one tool covers the icon's
// cell; that tool's text is the icon's tip, and its rectangle is emptied when the icon is taken away.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <cstddef>
#include <cstring>
#include <cwchar>
#include <iterator>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "driver/remote.h"
#include "harness.h"

namespace e2e {

inline HWND TrayWindow() {
    return FindWindowW(L"Shell_TrayWnd", nullptr);
}

namespace tray_detail {

// Sends msg to a window of another process with lParam pointing at a copy of `bytes` placed in that
// process; `fixup` gets the local copy and the remote address before it is sent, to aim embedded
// pointers at the remote block. The block comes back in `bytes`. Reports nothing: the tray's windows
// come and go while a test polls them.
inline bool SendWithRemoteBlock(HWND w, UINT msg, WPARAM wp, std::vector<BYTE>& bytes,
                                const std::function<void(BYTE* local, BYTE* remote)>& fixup,
                                LRESULT* result = nullptr) {
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (!process)
        return false;
    bool ok = false;
    {
        const driver::RemoteBlock block(process, bytes.size());
        if (block.Valid()) {
            fixup(bytes.data(), static_cast<BYTE*>(block.Address()));
            ok = block.Send(w, msg, wp, bytes.data(), result, 2000);
        }
    }
    CloseHandle(process);
    return ok;
}

constexpr std::size_t kTextChars = 512;

struct ToolBlock {
    TTTOOLINFOW info;
    wchar_t text[kTextChars];
};

// The first tool of a tooltip window: its text and its rectangle in the tool window's client area.
inline std::optional<std::pair<std::wstring, RECT>> FirstTool(HWND tooltip) {
    std::vector<BYTE> bytes(sizeof(ToolBlock));
    LRESULT found = 0;
    const bool sent = SendWithRemoteBlock(
        tooltip, TTM_ENUMTOOLSW, 0, bytes,
        [](BYTE* local, BYTE* remote) {
            auto* block = reinterpret_cast<ToolBlock*>(local);
            block->info.cbSize = sizeof(TTTOOLINFOW);
            block->info.lpszText = reinterpret_cast<ToolBlock*>(remote)->text;
        },
        &found);
    if (!sent || !found)
        return std::nullopt;
    ToolBlock block;
    std::memcpy(&block, bytes.data(), sizeof block);
    block.text[kTextChars - 1] = 0;
    RECT cell = block.info.rect;
    if (block.info.hwnd)
        MapWindowPoints(block.info.hwnd, nullptr, reinterpret_cast<POINT*>(&cell), 2);
    // A tool without a rectangle stays empty wherever its window is.
    if (IsRectEmpty(&block.info.rect))
        SetRectEmpty(&cell);
    return std::make_pair(std::wstring(block.text), cell);
}

struct TitleBlock {
    TTGETTITLE get;
    wchar_t text[kTextChars];
};

inline std::optional<std::wstring> Title(HWND tooltip) {
    std::vector<BYTE> bytes(sizeof(TitleBlock));
    const bool sent = SendWithRemoteBlock(tooltip, TTM_GETTITLE, 0, bytes, [](BYTE* local, BYTE* remote) {
        auto* block = reinterpret_cast<TitleBlock*>(local);
        block->get.dwSize = sizeof(TTGETTITLE);
        block->get.cch = kTextChars;
        block->get.pszTitle = reinterpret_cast<TitleBlock*>(remote)->text;
    });
    if (!sent)
        return std::nullopt;
    TitleBlock block;
    std::memcpy(&block, bytes.data(), sizeof block);
    block.text[kTextChars - 1] = 0;
    return std::wstring(block.text);
}

// Tooltip windows owned by the tray: the icons' tips, or (balloons) the balloon windows.
inline std::vector<HWND> TrayTooltipWindows(bool balloons) {
    struct Search {
        HWND tray;
        bool balloons;
        std::vector<HWND> found;
    } search{TrayWindow(), balloons, {}};
    if (!search.tray)
        return {};
    EnumWindows(
        [](HWND w, LPARAM lp) -> BOOL {
            auto* s = reinterpret_cast<Search*>(lp);
            if (GetWindow(w, GW_OWNER) != s->tray || ClassName(w) != TOOLTIPS_CLASSW)
                return TRUE;
            const bool balloon = (GetWindowLongPtrW(w, GWL_STYLE) & TTS_BALLOON) != 0;
            if (balloon == s->balloons)
                s->found.push_back(w);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

} // namespace tray_detail

struct TrayTip {
    HWND tooltip = nullptr;
    std::wstring text;
    RECT cell{}; // screen coordinates; empty once the icon is gone
};

// The tools of the tray's tooltip windows (balloons excluded), read out of the explorer process.
inline std::vector<TrayTip> TrayTips() {
    std::vector<TrayTip> tips;
    for (HWND w : tray_detail::TrayTooltipWindows(false)) {
        if (auto tool = tray_detail::FirstTool(w))
            tips.push_back({w, tool->first, tool->second});
    }
    return tips;
}

// The cell of the icon whose tip is `tip`, while the tray shows one.
inline std::optional<RECT> TrayIconCell(std::wstring_view tip) {
    for (const TrayTip& t : TrayTips()) {
        if (t.text == tip && !IsRectEmpty(&t.cell))
            return t.cell;
    }
    return std::nullopt;
}

inline POINT CenterOf(const RECT& r) {
    return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

struct Balloon {
    HWND window = nullptr;
    std::wstring title;
    std::wstring text;
};

// The balloon the tray shows at the moment, if any.
inline std::optional<Balloon> VisibleBalloon() {
    for (HWND w : tray_detail::TrayTooltipWindows(true)) {
        if (!IsWindowVisible(w))
            continue;
        Balloon b{w, {}, {}};
        if (auto tool = tray_detail::FirstTool(w))
            b.text = tool->first;
        b.title = tray_detail::Title(w).value_or(L"");
        return b;
    }
    return std::nullopt;
}

// How much of `cell` on screen looks like `icon` drawn there as the tray draws it (small icon size,
// centred in the cell): the share of the pixels the icon changes that match on screen, 0 to 1.
inline double IconLikeness(HICON icon, const RECT& cell) {
    const int cx = GetSystemMetrics(SM_CXSMICON), cy = GetSystemMetrics(SM_CYSMICON);
    const int x = cell.left + (Width(cell) - cx) / 2, y = cell.top + (Height(cell) - cy) / 2;
    const std::vector<std::uint32_t> shot = CaptureScreen({x, y, x + cx, y + cy});
    // The tray paints on its window colour; draw the icon on the same ground to compare.
    const COLORREF groundColour = GetSysColor(COLOR_WINDOW);
    const std::vector<std::uint32_t> drawn = DrawOffScreen(cx, cy, [&](HDC mem) {
        HBRUSH ground = CreateSolidBrush(groundColour);
        RECT all{0, 0, cx, cy};
        FillRect(mem, &all, ground);
        DeleteObject(ground);
        return DrawIconEx(mem, 0, 0, icon, cx, cy, 0, nullptr, DI_NORMAL) != FALSE;
    });
    if (drawn.empty() || shot.size() != drawn.size())
        return 0;
    const std::uint32_t groundPixel =
        (GetRValue(groundColour) << 16) | (GetGValue(groundColour) << 8) | GetBValue(groundColour);
    int inked = 0, matching = 0;
    for (std::size_t i = 0; i < drawn.size(); ++i) {
        if ((drawn[i] & 0xFFFFFF) == groundPixel)
            continue;
        ++inked;
        if ((shot[i] & 0xFFFFFF) == (drawn[i] & 0xFFFFFF))
            ++matching;
    }
    return inked ? static_cast<double>(matching) / inked : 0;
}

// Icons of the driver's own, added to the tray before the program's so that its icon lands away from
// the screen corner, where a menu opened at the cursor would have to be pushed back on screen.
class FillerIcons {
  public:
    explicit FillerIcons(int count) : m_count(count) {
        m_owner = CreateWindowExW(0, L"STATIC", L"filler icons", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                  nullptr, nullptr);
        for (int i = 0; i < m_count; ++i) {
            NOTIFYICONDATAW nid = Record(i);
            nid.uFlags = NIF_ICON | NIF_TIP;
            nid.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
            swprintf(nid.szTip, std::size(nid.szTip), L"filler %d", i);
            Shell_NotifyIconW(NIM_ADD, &nid);
        }
        WaitUntil([&] { return TrayIconCell(L"filler " + std::to_wstring(m_count - 1)).has_value(); }, 5000);
    }
    ~FillerIcons() {
        for (int i = 0; i < m_count; ++i) {
            NOTIFYICONDATAW nid = Record(i);
            Shell_NotifyIconW(NIM_DELETE, &nid);
        }
        DestroyWindow(m_owner);
    }
    FillerIcons(const FillerIcons&) = delete;
    FillerIcons& operator=(const FillerIcons&) = delete;

  private:
    NOTIFYICONDATAW Record(int i) const {
        NOTIFYICONDATAW nid{};
        nid.cbSize = NOTIFYICONDATAW_V2_SIZE;
        nid.hWnd = m_owner;
        nid.uID = static_cast<UINT>(1000 + i);
        return nid;
    }

    HWND m_owner = nullptr;
    int m_count = 0;
};

} // namespace e2e
