// Messages whose lParam points at memory, sent to a window of another process. The system carries
// such memory across processes only for messages it knows (WM_GETTEXT, ...); for control messages
// (MCM_*, TTM_*, ...) the block is placed in the other process, the message is sent with its
// address, and the block is copied back.
#pragma once

#include <windows.h>

#include <cstddef>
#include <optional>

#include "driver/wait.h"

namespace driver {

// A block of memory in another process, reusable for many messages.
class RemoteBlock {
  public:
    // process needs PROCESS_VM_OPERATION, PROCESS_VM_READ and PROCESS_VM_WRITE.
    RemoteBlock(HANDLE process, std::size_t size);
    ~RemoteBlock();
    RemoteBlock(const RemoteBlock&) = delete;
    RemoteBlock& operator=(const RemoteBlock&) = delete;

    bool Valid() const { return m_remote != nullptr; }
    // Where the block is in the other process, to aim pointers inside the data at it.
    void* Address() const { return m_remote; }
    // Copies the block's size of data in, sends msg with the block as lParam, and copies the block
    // back into data. False, and no report, when any step fails or the window does not answer.
    bool Send(HWND w, UINT msg, WPARAM wp, void* data, LRESULT* result = nullptr,
              DWORD timeoutMs = kWaitMs) const;

  private:
    HANDLE m_process;
    std::size_t m_size;
    void* m_remote;
};

// One message through a block of its own; reports what failed.
bool SendRemote(HANDLE process, HWND w, UINT msg, WPARAM wp, void* data, std::size_t size,
                LRESULT* result = nullptr);

// MCM_GETCURSEL of a month calendar in another process; nothing when it has no selection.
std::optional<SYSTEMTIME> MonthCalSelection(HANDLE process, HWND calendar);

} // namespace driver
