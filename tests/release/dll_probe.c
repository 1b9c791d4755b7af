/* A program that takes no care where its DLLs come from. It imports only KnownDLLs and asks for every
   name on its command line the plain way.
   - With the planted names as arguments, every marker must run: planting them works at all, so a
     program showing none of them means something.
   - Without arguments it shows what the system's own DLLs load for any program that merely starts:
     nothing on Windows; under Wine, whose user32 imports version.dll, that one. */
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
    for (int i = 1; i < argc; ++i)
        LoadLibraryW(argv[i]);
    return GetSystemMetrics(SM_CXSCREEN) > 0 ? 0 : 1;
}
