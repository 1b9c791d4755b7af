// One Quillidar per user and temporary folder. The running copy holds a named mutex for its whole life
// and keeps where its calendar window is in a small named record; a later start finds the window there,
// asks it to come forward and ends before it has read or written a file.
#pragma once
#include <windows.h>

#include "ui/handle.h"

class SingleInstance {
  public:
    SingleInstance() = default;
    // Gives up the record, then the mutex: a copy started while this one was saving runs only now.
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // True when this process is to run the calendar: no other copy runs on this user's temporary
    // folder, or the one that did ended (closed or killed) within the wait. False once the running
    // copy's window (or whatever window it shows while closing) was brought forward, or when it
    // neither showed a window nor ended within the longest wait.
    bool Claim();

    // Where a later start finds the calendar window; nullptr once the window is closing, so that a
    // start in the meantime waits for this copy's end instead of calling a window that is going away.
    void Publish(HWND window);

    // The message the calendar window answers by coming to the front.
    static UINT ComeForwardMessage();

  private:
    struct Record;

    void OpenRecord(const wchar_t* name);
    // The window and process the record names; false when there is no record.
    static bool ReadRecord(const wchar_t* recordName, HWND& window, DWORD& pid);
    // Posts the call to come forward when the record names a live window of the copy that wrote it.
    static bool AskRunningToComeForward(const wchar_t* recordName);
    // Brings any visible window of the copy that wrote the record to the front; false when it shows
    // none.
    static bool BringAnyWindowForward(const wchar_t* recordName);

    ui::KernelHandle m_mutex;
    ui::KernelHandle m_recordMapping;
    Record* m_record = nullptr;
    bool m_bOwner = false;
};
