// The sync dialog's check of an account with the server before anything of it is kept, off the
// window's thread: the box stays live while the server answers, and "取消" cuts the check short.
#pragma once
#include <windows.h>

#include <mutex>
#include <string>
#include <thread>

#include "sync/sync_account.h"

class WinHttpTransport;

class SyncCheck {
  public:
    SyncCheck() = default;
    SyncCheck(const SyncCheck&) = delete;
    SyncCheck& operator=(const SyncCheck&) = delete;
    ~SyncCheck();

    // Finds or makes the account's collection with `password`; `window` is posted `message` with the
    // SyncStatus in wParam when the server has answered. False when a check runs or no thread could
    // be had.
    bool Start(const SyncAccount& account, std::string password, HWND window, UINT message);
    bool Running();
    // The request in flight ends at once and nothing is posted; then the thread is waited for.
    void Stop();
    // After the message came: the thread is ending, and is waited for.
    void Join();

  private:
    void Run(SyncAccount account, std::string password, HWND window, UINT message);

    std::mutex m_mutex;
    std::thread m_thread;
    WinHttpTransport* m_transport = nullptr; // while the check has it open
    bool m_cancelled = false;
    bool m_done = true;
};
