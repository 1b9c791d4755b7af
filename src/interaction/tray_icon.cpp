// The notification-area icon: the program's handle in the taskbar, since the window has no button.
#include <windows.h>
#include <shellapi.h>

#include <cwchar>

#include "interaction/tray_icon.h"

#include "interaction/tray_record.h"
#include "ui/text.h"

namespace {

template <size_t N> void CopyText(wchar_t (&dest)[N], std::string_view gbk) {
    const std::wstring wide = ui::Wide(gbk);
    wcsncpy_s(dest, N, wide.c_str(), _TRUNCATE);
}

} // namespace

bool TrayIcon::Install(HWND owner, HICON icon, bool balloon) {
    const quill::TrayRecord record = quill::MakeTrayRecord(balloon);
    m_nid = NOTIFYICONDATAW{};
    // The version-2 size of the Unicode record: balloon fields, no trailing GUID; every shell since
    // Windows 2000 accepts it, and it carries the Chinese texts on any display language.
    m_nid.cbSize = NOTIFYICONDATAW_V2_SIZE;
    m_nid.hIcon = icon;
    m_nid.hWnd = owner;
    m_nid.uID = record.id;
    m_nid.uCallbackMessage = record.callbackMessage;
    CopyText(m_nid.szTip, m_strTip.empty() ? record.tip : std::string_view(m_strTip));
    m_nid.uFlags = record.flags;
    if (record.balloon) {
        m_nid.uTimeout = record.timeoutMs;
        m_nid.dwInfoFlags = record.infoFlags;
        CopyText(m_nid.szInfoTitle, record.balloonTitle);
        CopyText(m_nid.szInfo, record.balloonText);
    }
    ::Shell_NotifyIconW(NIM_DELETE, &m_nid);
    const bool added = ::Shell_NotifyIconW(NIM_ADD, &m_nid) != FALSE;
    m_bShown = true;
    m_bBalloonDue = balloon && !added;
    return added;
}

void TrayIcon::Remove() {
    m_bShown = false;
    ::Shell_NotifyIconW(NIM_DELETE, &m_nid);
}

bool TrayIcon::Restore() {
    return m_bShown && Install(m_nid.hWnd, m_nid.hIcon, m_bBalloonDue);
}

void TrayIcon::SetTip(std::string_view tip) {
    m_strTip = tip;
    if (!m_bShown)
        return;
    CopyText(m_nid.szTip, m_strTip.empty() ? quill::MakeTrayRecord(false).tip : std::string_view(m_strTip));
    NOTIFYICONDATAW nid = m_nid;
    nid.uFlags = quill::kNifTip;
    ::Shell_NotifyIconW(NIM_MODIFY, &nid);
}

void TrayIcon::ShowBalloon(std::string_view title, std::string_view text) {
    if (!m_bShown)
        return;
    NOTIFYICONDATAW nid = m_nid;
    nid.uFlags = quill::kNifInfo;
    nid.dwInfoFlags = quill::kNiifWarning;
    nid.uTimeout = quill::MakeTrayRecord(true).timeoutMs;
    CopyText(nid.szInfoTitle, title);
    CopyText(nid.szInfo, text);
    ::Shell_NotifyIconW(NIM_MODIFY, &nid);
}

UINT TrayIcon::TaskbarCreatedMessage() {
    static const UINT message = ::RegisterWindowMessageW(L"TaskbarCreated");
    return message;
}
