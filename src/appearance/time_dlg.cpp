// The custom clock pattern dialog: OK takes the text as it is, the close box and Esc keep the old one.
// It is used from the keyboard: the focus starts in the pattern, all of it selected, so that typing
// replaces it and Enter confirms it.
#include "appearance/time_dlg.h"

#include "appearance/clock_tick.h"
#include "res/resource.h"
#include "ui/common_controls.h"
#include "ui/text.h"

CTimeDlg::CTimeDlg(std::string& pattern, HWND parent)
    : ui::Dialog(IDD_TIMEFORMAT, parent), m_pPattern(&pattern) {}

BOOL CTimeDlg::OnInitDialog() {
    ui::Dialog::OnInitDialog();
    m_editFormat = GetDlgItem(IDC_TIMEFORMAT_EDIT);
    ::SetWindowTextW(m_editFormat, ui::Wide(*m_pPattern).c_str());
    // A single-line edit box has no Ctrl+A of its own on every system.
    ui::SetWindowSubclass(m_editFormat, &CTimeDlg::EditProc, 0, 0);
    CheckPattern();
    ::SetFocus(m_editFormat);
    ::SendMessageW(m_editFormat, EM_SETSEL, 0, -1);
    // FALSE: the focus was placed here; the dialog manager would move it to the first tab stop, OK.
    return FALSE;
}

BOOL CTimeDlg::OnCommand(UINT id, UINT code, HWND control) {
    if (id == IDC_TIMEFORMAT_EDIT && code == EN_CHANGE) {
        CheckPattern();
        return TRUE;
    }
    return ui::Dialog::OnCommand(id, code, control);
}

bool CTimeDlg::CheckPattern() {
    const bool showsNothing = quill::ClockPatternShowsNothing(ui::WindowTextGbk(m_editFormat));
    ::EnableWindow(GetDlgItem(IDOK), !showsNothing);
    wchar_t hint[64] = {};
    if (showsNothing)
        ::LoadStringW(::GetModuleHandleW(nullptr), IDS_TIMEFORMAT_SHOWS_NOTHING, hint, 64);
    ::SetDlgItemTextW(m_hWnd, IDC_TIMEFORMAT_HINT, hint);
    return !showsNothing;
}

void CTimeDlg::OnOK() {
    // Enter reaches here with OK disabled as well: a pattern that shows nothing would leave the
    // strip blank with no sign of why.
    if (!CheckPattern())
        return;
    *m_pPattern = ui::WindowTextGbk(m_editFormat);
    ui::Dialog::OnOK();
}

LRESULT CALLBACK CTimeDlg::EditProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    constexpr WPARAM kCtrlA = 1; // the character Ctrl+A types
    switch (msg) {
    case WM_CHAR:
        if (wParam == kCtrlA) {
            ::SendMessageW(hwnd, EM_SETSEL, 0, -1);
            return 0;
        }
        break;
    case WM_NCDESTROY:
        ui::RemoveWindowSubclass(hwnd, &CTimeDlg::EditProc, 0);
        break;
    default:
        break;
    }
    return ui::DefSubclassProc(hwnd, msg, wParam, lParam);
}
