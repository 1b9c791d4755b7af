// A static text control that behaves like a link: rounded box, hover font, tooltip, hand cursor,
// and the shell's "open" on release.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <string>

#include "interaction/link_state.h"
#include "ui/handle.h"

class CLinkStatic {
  public:
    CLinkStatic() = default;
    CLinkStatic(const CLinkStatic&) = delete;
    CLinkStatic& operator=(const CLinkStatic&) = delete;
    ~CLinkStatic();

    // Binds the control to its existing window (subclassing it) and sets up colours, fonts and tooltip.
    void SubclassDlgItem(int id, HWND dialog);
    void SetURL(std::string url) { m_strURL = std::move(url); }
    void SetToolTipText(const std::string& text);
    void SetLinkStyle(int preset);

    // The parent's WM_CTLCOLORSTATIC for this control: text colour, and no background of its own.
    HBRUSH CtlColor(HDC dc) const;
    HWND GetHwnd() const { return m_hWnd; }

    COLORREF m_crHoverText = 0;
    COLORREF m_crNormalText = 0;
    COLORREF m_crNormalBack = 0;
    COLORREF m_crHoverBack = 0;
    COLORREF m_crNormalBorder = 0;
    COLORREF m_crHoverBorder = 0;
    ui::Font m_pFontHover;
    ui::Font m_pFontNormal;
    RECT m_rcLink{};
    int m_nRadius = 0;
    bool m_bHover = false;
    HWND m_toolTip = nullptr;
    std::string m_strURL;

  private:
    void PreSubclassWindow();
    void ApplyLook(const quill::LinkLook& look);
    quill::LinkLook CurrentLook() const;
    void Redraw();
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                         DWORD_PTR self);

    HWND m_hWnd = nullptr;
    quill::LinkHoverState m_hover;
};
