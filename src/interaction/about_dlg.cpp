// The About box. Its support label and both links are hidden in the template; the links are still
// bound and set up each time the box opens.
#include "interaction/about_dlg.h"

#include "res/resource.h"

CAboutDlg::CAboutDlg() : ui::Dialog(IDD_ABOUTBOX, nullptr) {}

void CAboutDlg::DoDataExchange() {
    m_linkHome.SubclassDlgItem(IDC_LINK_HOME, m_hWnd);
    m_linkMail.SubclassDlgItem(IDC_LINK_MAIL, m_hWnd);
}

BOOL CAboutDlg::OnInitDialog() {
    ui::Dialog::OnInitDialog();
    DoDataExchange();
    m_linkHome.SetURL(std::string(quill::kHomeLinkTarget));
    m_linkHome.SetToolTipText(std::string(quill::kHomeLinkTip));
    m_linkHome.SetLinkStyle(quill::kLinkStyleButtonFace);
    m_linkMail.SetURL(std::string(quill::kMailLinkTarget));
    m_linkMail.SetToolTipText(std::string(quill::kMailLinkTip));
    m_linkMail.SetLinkStyle(quill::kLinkStyleButtonFace);
    return TRUE;
}

INT_PTR CAboutDlg::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_CTLCOLORSTATIC) {
        const HWND control = reinterpret_cast<HWND>(lParam);
        for (const CLinkStatic* link : {&m_linkHome, &m_linkMail}) {
            if (control && control == link->GetHwnd())
                return reinterpret_cast<INT_PTR>(link->CtlColor(reinterpret_cast<HDC>(wParam)));
        }
    }
    return ui::Dialog::OnMessage(msg, wParam, lParam);
}
