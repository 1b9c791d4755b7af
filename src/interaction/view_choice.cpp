// The view's choice in its own small file.
#include "interaction/view_choice.h"

namespace quill {

ViewChoice DecodeViewChoice(std::string_view bytes) {
    ViewChoice choice;
    while (!bytes.empty()) {
        const std::size_t end = bytes.find('\n');
        std::string_view line = bytes.substr(0, end);
        bytes = end == std::string_view::npos ? std::string_view{} : bytes.substr(end + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line == "lunar=1")
            choice.lunar = true;
        else if (line == "lunar=0")
            choice.lunar = false;
    }
    return choice;
}

std::string EncodeViewChoice(const ViewChoice& choice) {
    return std::string("[view]\r\nlunar=") + (choice.lunar ? "1" : "0") + "\r\n";
}

} // namespace quill
