// The sync dialog's fields read and written; the window keeps the account and runs the syncs.
#include "app/sync_dlg.h"

#include "interaction/sync_status_text.h"
#include "res/resource.h"
#include "sync/credentials_win.h"
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
    case WM_SYNC_CHECKED:
        OnChecked(static_cast<SyncStatus>(wParam));
        return TRUE;
    case WM_DESTROY:
        m_check.Stop();
        m_host.SetSyncDialog(nullptr);
        return FALSE;
    default:
        return ui::Dialog::OnMessage(msg, wParam, lParam);
    }
}

BOOL CSyncDlg::OnCommand(UINT id, UINT code, HWND control) {
    if (id == IDC_SYNC_NOW && code == BN_CLICKED) {
        Submit(false);
        return TRUE;
    }
    return ui::Dialog::OnCommand(id, code, control);
}

void CSyncDlg::Submit(bool close) {
    if (m_check.Running())
        return;
    SyncAccount account;
    account.serverUrl = Trimmed(Utf8Text(GetDlgItem(IDC_SYNC_URL)));
    account.user = Trimmed(Utf8Text(GetDlgItem(IDC_SYNC_USER)));
    if (account.serverUrl.empty()) {
        // Sync off: nothing to ask a server.
        const std::string problem = m_host.KeepSyncAccount(account, std::string());
        if (!problem.empty())
            ShowStatus(problem);
        else if (close)
            ui::Dialog::OnOK();
        return;
    }
    // Refused before the password goes anywhere, as the window would refuse to keep it.
    const std::optional<SyncOrigin> origin = OriginOfSyncUrl(account.serverUrl);
    if (!origin || (origin->scheme == "http" && !origin->loopback)) {
        ShowStatus(std::string(quill::kSyncBadAddress));
        return;
    }
    bool passwordKept = false;
    const SyncAccount kept = m_host.KeptSyncAccount(passwordKept);
    // The collection is the one the window would keep with the account.
    account.collection = kept.serverUrl.empty() ? std::string(kCollectionName) : kept.collection;
    std::string typed = Utf8Text(GetDlgItem(IDC_SYNC_PASSWORD));
    if (typed.empty() && passwordKept && account == kept) {
        // Nothing new to check or keep: the kept account syncs as it is.
        m_host.SyncNow();
        if (close)
            ui::Dialog::OnOK();
        return;
    }
    std::string password = typed;
    if (password.empty())
        password = WinCredentialStore().Load(CredentialTarget(account)).value_or(std::string());
    if (password.empty()) {
        ShowStatus(std::string(quill::kSyncNeedPassword));
        return;
    }
    m_checked = account;
    m_typedPassword = std::move(typed);
    m_closeAfterCheck = close;
    if (!m_check.Start(account, std::move(password), m_hWnd, WM_SYNC_CHECKED)) {
        m_typedPassword.assign(m_typedPassword.size(), '\0');
        ShowStatus(std::string(quill::kSyncNotSaved));
        return;
    }
    EnableButtons(false);
    ShowStatus(std::string(quill::kSyncChecking));
}

void CSyncDlg::OnChecked(SyncStatus status) {
    m_check.Join();
    EnableButtons(true);
    if (status != SyncStatus::kOk) {
        // Nothing was kept, so there is nothing to undo: the old account and password stay.
        m_typedPassword.assign(m_typedPassword.size(), '\0');
        ShowStatus(quill::SyncCheckFailedLine(status));
        return;
    }
    const std::string problem = m_host.KeepSyncAccount(m_checked, m_typedPassword);
    m_typedPassword.assign(m_typedPassword.size(), '\0');
    if (!problem.empty()) {
        ShowStatus(problem);
        return;
    }
    // Kept now: the box goes back to meaning "the kept one".
    ::SetWindowTextW(GetDlgItem(IDC_SYNC_PASSWORD), L"");
    m_host.SyncNow();
    if (m_closeAfterCheck) {
        ui::Dialog::OnOK();
        return;
    }
    ShowStatus(m_host.SyncStatusLineNow());
}

void CSyncDlg::EnableButtons(bool enable) {
    ::EnableWindow(GetDlgItem(IDOK), enable);
    ::EnableWindow(GetDlgItem(IDC_SYNC_NOW), enable);
}

void CSyncDlg::OnOK() {
    Submit(true);
}

void CSyncDlg::OnCancel() {
    m_check.Stop();
    m_typedPassword.assign(m_typedPassword.size(), '\0');
    ui::Dialog::OnCancel();
}

void CSyncDlg::ShowStatus(const std::string& gbk) {
    ::SetWindowTextW(GetDlgItem(IDC_SYNC_STATUS), ui::Wide(gbk).c_str());
}
