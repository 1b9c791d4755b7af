// The program's name and version as the core knows them (the About box and the tray use them).
#include "core_version.h"

const char* QuillProductName() {
    return "Quillidar";
}
const char* QuillProductVersion() {
    return "1.5";
}
