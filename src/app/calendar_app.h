// The application object and the hidden owner window that keeps the calendar off the taskbar.
#pragma once
#include <windows.h>

#include "ui/dialog.h"

class SingleInstance;

class CCalendarApp {
  public:
    // Runs the whole program inside two nested modal dialogs; always FALSE, so no message loop follows.
    BOOL InitInstance();
};

class CParent : public ui::Dialog {
  public:
    explicit CParent(SingleInstance& instance, HWND parent = nullptr);

  protected:
    BOOL OnInitDialog() override;

  private:
    SingleInstance* m_pInstance;
};
