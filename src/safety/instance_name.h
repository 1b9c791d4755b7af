// Names of the kernel objects that keep one Quillidar per user and temporary folder.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quill {

// The folder as the file system compares it: a "\\?\" or "\\?\UNC\" prefix dropped, '/' read as
// '\', runs of separators made one (the two that open a UNC path kept), ASCII letters upper-cased,
// and exactly one separator at the end. Letters beyond ASCII are kept as they come: the window's
// side maps them with the system's own case table before calling. Empty stays empty.
std::wstring NormaliseFolder(std::wstring_view folder);

struct InstanceNames {
    std::wstring mutex;  // held by the running copy for as long as it runs
    std::wstring window; // the running copy's record of where its calendar window is
};

// "Local\Quillidar-" and 16 hex digits, and the same with "-window": names of this session's
// namespace, of one length whatever the path, with no backslash after the namespace. The digits are a
// hash of the user and the normalised folder; the same inputs give the same names in every build.
InstanceNames MakeInstanceNames(std::wstring_view user, std::wstring_view tempFolder);

// The registered window message a later start posts to the running copy's calendar window.
inline constexpr wchar_t kComeForwardMessage[] = L"Quillidar.ComeForward";
// How long a later start waits for a copy that is still starting to show its window.
inline constexpr unsigned kWaitForRunningMs = 5000;

} // namespace quill
