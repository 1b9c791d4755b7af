// Modal dialog base over DialogBoxParamW: one trampoline, one virtual message switch, small handlers.
#pragma once
#include <windows.h>

namespace ui {

// Says, for a debugger or DebugView, that an exception stopped a step of the window: where (a short
// name of the step) and what (the exception's message when it is a std::exception). Call it from a
// catch block only; it never throws and never shows anything to the user.
void ReportCaught(const char* where) noexcept;

class Dialog {
  public:
    explicit Dialog(UINT templateId, HWND parent = nullptr) : m_templateId(templateId), m_parent(parent) {}
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;
    virtual ~Dialog() = default;

    // Runs the dialog modally; returns what EndDialog was given, or -1 when it could not be created.
    // Without a parent the process's main window owns it, as the application framework would choose.
    INT_PTR DoModal();

    HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }

    // The window that owns dialogs created without an explicit parent.
    static HWND s_mainWnd;

  protected:
    // The switch that acts as the message map. Return TRUE when handled (set the message result with
    // SetMsgResult where Win32 reads one), FALSE to let the dialog manager do its default work.
    virtual INT_PTR OnMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    virtual BOOL OnInitDialog() { return TRUE; }
    // WM_COMMAND, its words split: the command or control id, the notification code (0 from a
    // menu, 1 from an accelerator) and the control that sent it (null from a menu).
    virtual BOOL OnCommand(UINT id, UINT code, HWND control);
    // WM_NOTIFY with the sender's id; the answer is the procedure's (set DWLP_MSGRESULT through
    // SetMsgResult where the notification reads one).
    virtual INT_PTR OnNotify(UINT id, NMHDR* header);
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }

    void EndDialog(INT_PTR result) { ::EndDialog(m_hWnd, result); }
    INT_PTR SetMsgResult(LRESULT result) {
        ::SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, result);
        return TRUE;
    }

    HWND m_hWnd = nullptr;

  private:
    static INT_PTR CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

    UINT m_templateId;
    HWND m_parent;
};

} // namespace ui
