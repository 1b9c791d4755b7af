// libFuzzer harness for the WebDAV multistatus reader over expat: no reply may crash it or make it
// exceed its limits, and a reply it refuses yields no responses.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "sync/multistatus.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const Multistatus m = ReadMultistatus(bytes);
    if (!m.error.empty() && (!m.responses.empty() || !m.syncToken.empty())) {
        std::abort();
    }
    if (m.responses.size() > kMaxDavResponses) {
        std::abort();
    }
    for (const DavResponse& r : m.responses) {
        if (r.href.size() > kMaxDavText ||
            (r.props.calendarData && r.props.calendarData->size() > kMaxDavText)) {
            std::abort();
        }
    }
    return 0;
}
