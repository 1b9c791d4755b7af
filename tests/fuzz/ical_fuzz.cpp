// libFuzzer harness for the calendar resource reader: no resource may crash it; every entry it
// reads, written back as our own resource, reads back as the same day and bytes.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "sync/day_resource.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const ResourceRead read = ReadCalendarResource(bytes);
    if (!read.error.empty() && !read.entries.empty()) {
        std::abort();
    }
    for (const ResourceEntry& e : read.entries) {
        if (e.text.find('\0') != std::string::npos) {
            std::abort(); // the notes file cannot hold it
        }
        const ResourceRead again = ReadCalendarResource(EncodeDayResource(e.date, e.text, 0));
        if (!again.error.empty() || again.entries.size() != 1 || again.entries[0].text != e.text ||
            again.entries[0].date != e.date || !again.entries[0].ours) {
            std::abort();
        }
    }
    return 0;
}
