// The sync dialog's fields read and written; the window keeps the account and runs the syncs.
#include "app/sync_dlg.h"

#include "res/resource.h"
#include "text/text_codec.h"
#include "ui/text.h"

namespace {

// The account's fields are UTF-8, whatever the display language.
std::string Utf8Text(HWND control) {
    const int length = ::GetWindowTextLengthW(control);
    std::wstring text(static_cast<std::size_t>(length > 0 ? length : 0) + 1, L'\0');
    text.resize(
        static_cast<std::size_t>(::GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
    return text_codec::Utf8FromUtf16(std::u16string(text.begin(), text.end()));
}

void SetUtf8Text(HWND control, const std::string& utf8) {
    const std::u16string text = text_codec::Utf16FromUtf8(utf8).value_or(std::u16string());
    ::SetWindowTextW(control, std::wstring(text.begin(), text.end()).c_str());
}

// Leading and trailing blanks of a pasted address or name are never meant.
std::string Trimmed(std::string text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

} // namespace

CSyncDlg::CSyncDlg(SyncSetupHost& host, HWND parent) : ui::Dialog(IDD_SYNC, parent), m_host(host) {}

BOOL CSyncDlg::OnInitDialog() {
    ui::Dialog::OnInitDialog();
    bool passwordKept = false;
    const SyncAccount account = m_host.KeptSyncAccount(passwordKept);
    SetUtf8Text(GetDlgItem(IDC_SYNC_URL), account.serverUrl);
    SetUtf8Text(GetDlgItem(IDC_SYNC_USER), account.user);
    // The kept password never comes back to the screen: an empty box keeps it.
    ::SendMessageW(GetDlgItem(IDC_SYNC_PASSWORD), EM_LIMITTEXT, 1024, 0);
    m_host.SetSyncDialog(m_hWnd);
    ShowStatus(m_host.SyncStatusLineNow());
    return TRUE;
}

INT_PTR CSyncDlg::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_SYNC_STATUS:
        ShowStatus(m_host.SyncStatusLineNow());
        return TRUE;
    case WM_DESTROY:
        m_host.SetSyncDialog(nullptr);
        return FALSE;
    default:
        return ui::Dialog::OnMessage(msg, wParam, lParam);
    }
}

BOOL CSyncDlg::OnCommand(UINT id, UINT code, HWND control) {
    if (id == IDC_SYNC_NOW && code == BN_CLICKED) {
        if (KeepTyped())
            m_host.SyncNow();
        return TRUE;
    }
    return ui::Dialog::OnCommand(id, code, control);
}

bool CSyncDlg::KeepTyped() {
    SyncAccount account;
    account.serverUrl = Trimmed(Utf8Text(GetDlgItem(IDC_SYNC_URL)));
    account.user = Trimmed(Utf8Text(GetDlgItem(IDC_SYNC_USER)));
    std::string password = Utf8Text(GetDlgItem(IDC_SYNC_PASSWORD));
    const std::string problem = m_host.KeepSyncAccount(account, password);
    password.assign(password.size(), '\0');
    if (!problem.empty()) {
        ShowStatus(problem);
        return false;
    }
    // Kept now: the box goes back to meaning "the kept one".
    ::SetWindowTextW(GetDlgItem(IDC_SYNC_PASSWORD), L"");
    return true;
}

void CSyncDlg::OnOK() {
    if (!KeepTyped())
        return;
    bool passwordKept = false;
    if (!m_host.KeptSyncAccount(passwordKept).serverUrl.empty())
        m_host.SyncNow();
    ui::Dialog::OnOK();
}

void CSyncDlg::OnCancel() {
    ui::Dialog::OnCancel();
}

void CSyncDlg::ShowStatus(const std::string& gbk) {
    ::SetWindowTextW(GetDlgItem(IDC_SYNC_STATUS), ui::Wide(gbk).c_str());
}
