// The small dialog in which the user types the clock's own pattern.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <string>

#include "ui/dialog.h"

class CTimeDlg : public ui::Dialog {
  public:
    // Shows `pattern` and, on OK only, writes the edited text back into it.
    explicit CTimeDlg(std::string& pattern, HWND parent = nullptr);

  protected:
    BOOL OnInitDialog() override;
    BOOL OnCommand(UINT id, UINT code, HWND control) override;
    void OnOK() override;

  private:
    // OK is offered only for a pattern that shows something; the hint says why it is not.
    bool CheckPattern();
    static LRESULT CALLBACK EditProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                     DWORD_PTR data);

    HWND m_editFormat = nullptr;
    std::string* m_pPattern;
};
