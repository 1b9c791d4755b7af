// The account's check on a thread of its own: the same look for the collection the notes tool's
// setup makes, with the typed password, before the dialog keeps either.
#include "app/sync_check.h"

#include "sync/caldav_client.h"
#include "sync/winhttp_transport.h"
#include "ui/dialog.h"

SyncCheck::~SyncCheck() {
    Stop();
}

bool SyncCheck::Running() {
    std::lock_guard lock(m_mutex);
    return !m_done;
}

bool SyncCheck::Start(const SyncAccount& account, std::string password, HWND window, UINT message) {
    if (Running())
        return false;
    Join();
    std::lock_guard lock(m_mutex);
    m_cancelled = false;
    m_done = false;
    try {
        m_thread = std::thread(&SyncCheck::Run, this, account, std::move(password), window, message);
    } catch (...) {
        ui::ReportCaught("starting the account's check");
        m_done = true;
        return false;
    }
    return true;
}

void SyncCheck::Run(SyncAccount account, std::string password, HWND window, UINT message) {
    SyncStatus status = SyncStatus::kOk;
    try {
        TransportOptions options;
        options.url = account.serverUrl;
        options.user = account.user;
        options.password = password;
        std::unique_ptr<WinHttpTransport> transport = WinHttpTransport::Open(options, status);
        options.password.assign(options.password.size(), '\0');
        if (transport) {
            {
                std::lock_guard lock(m_mutex);
                m_transport = transport.get();
                if (m_cancelled)
                    transport->Cancel();
            }
            std::string collectionUrl;
            status = CalDavClient(*transport).Discover(account.serverUrl, collectionUrl, account.collection);
            std::lock_guard lock(m_mutex);
            m_transport = nullptr;
        }
    } catch (...) {
        ui::ReportCaught("the account's check");
        status = SyncStatus::kBadReply;
    }
    password.assign(password.size(), '\0');
    std::lock_guard lock(m_mutex);
    m_done = true;
    if (!m_cancelled)
        ::PostMessageW(window, message, static_cast<WPARAM>(status), 0);
}

void SyncCheck::Stop() {
    {
        std::lock_guard lock(m_mutex);
        m_cancelled = true;
        if (m_transport)
            m_transport->Cancel();
    }
    Join();
}

void SyncCheck::Join() {
    std::thread thread;
    {
        std::lock_guard lock(m_mutex);
        thread = std::move(m_thread);
    }
    if (thread.joinable())
        thread.join();
}
