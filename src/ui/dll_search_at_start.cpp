// Linked into the command-line tool, whose main() is its own: the DLL search is restricted while the
// runtime starts, before main() and before anything it calls could load a library by name.
#include "ui/dll_search.h"

namespace {
[[maybe_unused]] const bool g_bRestricted = (ui::RestrictDllSearch(), true);
} // namespace
