// The custom clock pattern dialog: OK takes the text as it is, the close box and Esc keep the old one.
#include "appearance/time_dlg.h"

#include <vector>

#include "app/calendar_dlg.h"
#include "ui/text.h"

CTimeDlg::CTimeDlg(HWND parent) : ui::Dialog(IDD_TIMEFORMAT, parent) {}

BOOL CTimeDlg::OnInitDialog() {
    ui::Dialog::OnInitDialog();
    m_editFormat = GetDlgItem(IDC_TIMEFORMAT_EDIT);
    if (g_pCalendarDlg)
        ::SetWindowTextW(m_editFormat, ui::Wide(g_pCalendarDlg->m_settings.m_strCustomFormat).c_str());
    return TRUE;
}

void CTimeDlg::OnOK() {
    const int length = ::GetWindowTextLengthW(m_editFormat);
    std::vector<wchar_t> text(static_cast<size_t>(length) + 1, L'\0');
    const int got = ::GetWindowTextW(m_editFormat, text.data(), length + 1);
    if (g_pCalendarDlg)
        g_pCalendarDlg->m_settings.m_strCustomFormat =
            ui::Narrow(std::wstring_view(text.data(), got > 0 ? got : 0));
    ui::Dialog::OnOK();
}
