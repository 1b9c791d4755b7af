// Messages with memory, sent to a window of another process.
#include "driver/remote.h"

#include <commctrl.h>

#include <string>

#include "driver/read_back.h"
#include "driver/report.h"

namespace driver {

RemoteBlock::RemoteBlock(HANDLE process, std::size_t size)
    : m_process(process), m_size(size),
      m_remote(VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)) {}

RemoteBlock::~RemoteBlock() {
    if (m_remote)
        VirtualFreeEx(m_process, m_remote, 0, MEM_RELEASE);
}

bool RemoteBlock::Send(HWND w, UINT msg, WPARAM wp, void* data, LRESULT* result, DWORD timeoutMs) const {
    SIZE_T moved = 0;
    DWORD_PTR answer = 0;
    const bool ok = m_remote && WriteProcessMemory(m_process, m_remote, data, m_size, &moved) &&
                    moved == m_size &&
                    SendMessageTimeoutW(w, msg, wp, reinterpret_cast<LPARAM>(m_remote), SMTO_NORMAL,
                                        timeoutMs, &answer) &&
                    ReadProcessMemory(m_process, m_remote, data, m_size, &moved) && moved == m_size;
    if (ok && result)
        *result = static_cast<LRESULT>(answer);
    return ok;
}

bool SendRemote(HANDLE process, HWND w, UINT msg, WPARAM wp, void* data, std::size_t size, LRESULT* result) {
    const RemoteBlock block(process, size);
    if (!block.Valid()) {
        ReportFailure("VirtualAllocEx failed with error " + std::to_string(GetLastError()));
        return false;
    }
    if (!block.Send(w, msg, wp, data, result)) {
        ReportFailure("message " + std::to_string(msg) + " to " + DescribeWindow(w) +
                      " failed: no answer, or its block could not be copied");
        return false;
    }
    return true;
}

std::optional<SYSTEMTIME> MonthCalSelection(HANDLE process, HWND calendar) {
    SYSTEMTIME st{};
    LRESULT found = 0;
    if (!SendRemote(process, calendar, MCM_GETCURSEL, 0, &st, sizeof st, &found) || !found)
        return std::nullopt;
    return st;
}

} // namespace driver
