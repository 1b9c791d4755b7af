/* A stand-in for a system DLL, copied next to a program under the names of DLLs that Windows looks for
   in the program's folder first (msimg32.dll, comctl32.dll, ...). When the loader takes it, its
   DllMain leaves an empty "<its own file name>.loaded" beside it; nothing else. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved) {
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        wchar_t path[MAX_PATH * 2];
        const DWORD room = (DWORD)(sizeof path / sizeof path[0]) - 8;
        const DWORD n = GetModuleFileNameW(self, path, room);
        if (n > 0 && n < room) {
            lstrcpyW(path + n, L".loaded");
            HANDLE mark = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
            if (mark != INVALID_HANDLE_VALUE)
                CloseHandle(mark);
        }
    }
    return TRUE;
}
