// The custom clock pattern dialog: OK takes the text as it is, the close box and Esc keep the old one.
#include "appearance/time_dlg.h"

#include "res/resource.h"
#include "ui/text.h"

CTimeDlg::CTimeDlg(std::string& pattern, HWND parent)
    : ui::Dialog(IDD_TIMEFORMAT, parent), m_pPattern(&pattern) {}

BOOL CTimeDlg::OnInitDialog() {
    ui::Dialog::OnInitDialog();
    m_editFormat = GetDlgItem(IDC_TIMEFORMAT_EDIT);
    ::SetWindowTextW(m_editFormat, ui::Wide(*m_pPattern).c_str());
    return TRUE;
}

void CTimeDlg::OnOK() {
    *m_pPattern = ui::WindowTextGbk(m_editFormat);
    ui::Dialog::OnOK();
}
