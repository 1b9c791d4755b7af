/* A program that asks for DLLs by name, next to the marker DLLs. It imports only KnownDLLs.
     dll_probe NAME...   loads each name the plain way: every marker must run, so planting them works
                         at all and a program showing none of them means something.
     dll_probe           merely starts: what the system's own DLLs load from a program's folder for
                         any program (nothing on Windows; under Wine, whose user32 imports version.dll,
                         that one). */
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
    for (int i = 1; i < argc; ++i)
        LoadLibraryW(argv[i]);
    return GetSystemMetrics(SM_CXSCREEN) > 0 ? 0 : 1;
}
