// Which view draws the calendar, kept in a small file of its own beside the settings: the settings
// file's bytes stay what they were, and an older program reading it finds nothing it does not know.
#pragma once

#include <string>
#include <string_view>

namespace quill {

inline constexpr wchar_t kViewFileName[] = L"qlw_view.ini";

struct ViewChoice {
    bool lunar = false;
    friend bool operator==(const ViewChoice&, const ViewChoice&) = default;
};

// Lines "key=value"; anything unknown, damaged or missing leaves the default (the template's calendar).
ViewChoice DecodeViewChoice(std::string_view bytes);
std::string EncodeViewChoice(const ViewChoice& choice);

} // namespace quill
