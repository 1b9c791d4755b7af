// The small dialog in which the user types the clock's own pattern.
#pragma once
#include <windows.h>

#include "ui/dialog.h"

class CTimeDlg : public ui::Dialog {
  public:
    explicit CTimeDlg(HWND parent = nullptr);

  protected:
    BOOL OnInitDialog() override;
    void OnOK() override;

  private:
    HWND m_editFormat = nullptr;
};
