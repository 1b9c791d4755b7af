// The context menu's side in the window: where it opens, and the dispatch of its commands (schemes,
// styles, clock formats, the title font, Help and the About box).
#include <windows.h>
#include <commdlg.h>
#include <shellapi.h>

#include <string>

#include "app/calendar_dlg.h"
#include "appearance/font_glue.h"
#include "appearance/time_dlg.h"
#include "appearance/title_font.h"
#include "interaction/about_dlg.h"
#include "interaction/menu_table.h"
#include "interaction/placement.h"
#include "ui/dll_search.h"
#include "ui/dpi.h"
#include "ui/text.h"

void CCalendarDlg::BuildContextMenu() {
    m_contextMenu.Build(m_session.diary.Settings());
}

void CCalendarDlg::ShowContextMenu(POINT ptScreen) {
    m_contextMenu.Show(m_hWnd, ptScreen);
}

void CCalendarDlg::ShowContextMenuAtBox() {
    const RECT& menuBox = m_strip.MenuBox();
    const quill::ClientPoint drop =
        quill::MenuDropPoint({menuBox.left, menuBox.top, menuBox.right, menuBox.bottom});
    POINT pt{drop.x, drop.y};
    ::ClientToScreen(m_hWnd, &pt);
    ShowContextMenu(pt);
}

BOOL CCalendarDlg::OnContextMenu(HWND, POINT screen) {
    // Only the keyboard's request, which comes without a point: a right click on the window opens
    // nothing of its own. The note box answers both with its own editing menu and never sends this.
    if (screen.x != -1 || screen.y != -1)
        return FALSE;
    ShowContextMenuAtBox();
    return TRUE;
}

namespace {

void OpenHelp() {
    // Resolved next to the program, never against the current directory, so a file planted in
    // whatever folder the program was started from is not what opens.
    wchar_t path[MAX_PATH * 4] = {};
    const DWORD n = ::GetModuleFileNameW(nullptr, path, static_cast<DWORD>(std::size(path)));
    std::wstring helpPath = L"Help.chm";
    if (n > 0 && n < std::size(path)) {
        std::wstring exe(path, n);
        const auto slash = exe.find_last_of(L"\\/");
        if (slash != std::wstring::npos)
            helpPath = exe.substr(0, slash + 1) + L"Help.chm";
    }
    ::ShellExecuteW(nullptr, L"open", helpPath.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

} // namespace

BOOL CCalendarDlg::OnHelpInfo(HELPINFO*) {
    OpenHelp();
    return TRUE;
}

namespace {

// The font dialog's library is loaded on the first use of the command rather than at start: it
// brings the printing libraries with it, which a widget that starts with Windows should not pay for.
BOOL RunFontDialog(CHOOSEFONTW* cf) {
    using ChooseFontFn = BOOL(WINAPI*)(CHOOSEFONTW*);
    static const ChooseFontFn chooseFont = [] {
        HMODULE comdlg = ui::LoadSystemDll(L"comdlg32.dll");
        return comdlg ? reinterpret_cast<ChooseFontFn>(
                            reinterpret_cast<void*>(::GetProcAddress(comdlg, "ChooseFontW")))
                      : nullptr;
    }();
    return chooseFont ? chooseFont(cf) : FALSE;
}

} // namespace

void CCalendarDlg::ChooseTitleFont() {
    const LogFontData& stored = m_session.diary.Settings().m_lfFont;
    const int dpi = ui::ScreenDpi();
    LOGFONTW lf = ToLogFontW(stored);
    lf.lfHeight = quill::DialogFontHeight(stored.lfHeight, dpi);
    const int offered = lf.lfHeight;
    const std::string face =
        quill::DialogFaceName(FaceName(stored), InstalledFacesNamed(FaceName(stored)), MappedFace(lf));
    wcsncpy_s(lf.lfFaceName, LF_FACESIZE, ui::Wide(face).c_str(), _TRUNCATE);
    CHOOSEFONTW cf{};
    cf.lStructSize = sizeof(cf);
    cf.hwndOwner = m_hWnd;
    cf.lpLogFont = &lf;
    // Sideways faces ("@" names) draw the clock on its side.
    cf.Flags = CF_SCREENFONTS | CF_EFFECTS | CF_INITTOLOGFONTSTRUCT | CF_NOVERTFONTS;
    // Some font dialogs (Wine's among them) write each pick into the LOGFONT while they are open
    // and leave it there on Cancel, so only OK may copy it back.
    if (RunFontDialog(&cf)) {
        LogFontData chosen = FromLogFontW(lf);
        chosen.lfHeight = quill::StoredFontHeight(stored.lfHeight, offered, lf.lfHeight, dpi);
        m_session.diary.Settings().m_lfFont = chosen;
    }
    m_strip.SetFont(m_session.diary.Settings().m_lfFont);
    RedrawWhole(m_hWnd);
}

BOOL CCalendarDlg::OnCommand(UINT id, UINT code, HWND control) {
    if (id == IDC_EDIT && code == EN_CHANGE) {
        // The journal's check starts with the typing; the session's timer is not set again at every
        // key, or steady typing would reach the journal only at the first pause, not every ten seconds.
        NoticeTyping();
        Show({});
        return TRUE;
    }
    // Compared whole: a notification code makes any id an unknown command.
    const quill::MenuCommand cmd = quill::ClassifyCommand((std::uint64_t{code} << 16) | id);
    bool radio = true; // a pick in one of the four groups: its mark moves and the window repaints
    switch (cmd.action) {
    case quill::CommandAction::ColorScheme:
        SetColorScheme(cmd.value);
        break;
    case quill::CommandAction::CornerStyle:
        SetCornerStyle(cmd.value);
        break;
    case quill::CommandAction::TimeFormat:
        if (cmd.value == quill::kCmdTimeCustom) {
            CTimeDlg dlg(m_session.diary.Settings().m_strCustomFormat);
            if (dlg.DoModal() == IDCANCEL)
                return FALSE;
        }
        m_session.diary.Settings().m_nTimeFormat = cmd.value;
        break;
    case quill::CommandAction::Gradient:
        m_session.diary.Settings().m_nGradient = cmd.value;
        break;
    default:
        radio = false;
        break;
    }
    if (radio) {
        m_contextMenu.Check(cmd.group, cmd.check, id);
        RedrawWhole(m_hWnd);
        // A pattern with seconds needs its ticks at once, one without them no more than each minute.
        ArmClock();
    }
    switch (cmd.action) {
    case quill::CommandAction::Font:
        ChooseTitleFont();
        break;
    case quill::CommandAction::LunarView:
        m_lunar.Toggle();
        m_contextMenu.CheckItem(quill::kCmdLunarView, m_lunar.On());
        // The window may have grown or shrunk with the view.
        SetCornerStyle(m_session.diary.Settings().m_nCornerStyle);
        RedrawWhole(m_hWnd);
        break;
    case quill::CommandAction::Sync:
        ShowSyncDialog();
        break;
    case quill::CommandAction::Help:
        OpenHelp();
        break;
    case quill::CommandAction::About:
        ShowAboutBox();
        break;
    case quill::CommandAction::Close:
        OnOK();
        // The dialog has ended; the base must not see this command as its own OK a second time.
        return TRUE;
    default:
        break;
    }
    return ui::Dialog::OnCommand(id, code, control);
}

void CCalendarDlg::ShowAboutBox() {
    CAboutDlg about;
    about.DoModal();
}
