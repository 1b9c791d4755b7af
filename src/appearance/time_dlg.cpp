// The custom clock pattern dialog: OK takes the text as it is, the close box and Esc keep the old one.
#include "appearance/time_dlg.h"

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
    if (g_pCalendarDlg)
        g_pCalendarDlg->m_settings.m_strCustomFormat = ui::WindowTextGbk(m_editFormat);
    ui::Dialog::OnOK();
}
