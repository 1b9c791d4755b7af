// The About box: icon, name and version, maker and contact lines, and two link controls.
#pragma once
#include "interaction/link_static.h"
#include "ui/dialog.h"

class CAboutDlg : public ui::Dialog {
  public:
    CAboutDlg();

  protected:
    INT_PTR OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    BOOL OnInitDialog() override;
    void DoDataExchange();

  private:
    CLinkStatic m_linkHome;
    CLinkStatic m_linkMail;
};
