// The small dialog in which the user types the clock's own pattern.
#pragma once
#include <windows.h>

#include <string>

#include "ui/dialog.h"

class CTimeDlg : public ui::Dialog {
  public:
    // Shows `pattern` and, on OK only, writes the edited text back into it.
    explicit CTimeDlg(std::string& pattern, HWND parent = nullptr);

  protected:
    BOOL OnInitDialog() override;
    void OnOK() override;

  private:
    HWND m_editFormat = nullptr;
    std::string* m_pPattern;
};
