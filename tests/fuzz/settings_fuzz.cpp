// libFuzzer harness for the settings file decoder: no input may crash it, and a record it accepts
// must survive encode and decode unchanged.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "appearance/settings_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    CalendarSettings settings;
    if (!DecodeSettings(bytes, settings, kFileKey)) {
        return 0;
    }
    const std::string encoded = EncodeSettings(settings, kFileKey);
    CalendarSettings again;
    if (!DecodeSettings(encoded, again, kFileKey) || !(again == settings) ||
        EncodeSettings(again, kFileKey) != encoded) {
        std::abort();
    }
    return 0;
}
