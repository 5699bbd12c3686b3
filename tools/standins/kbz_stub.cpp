// Stand-in for the game engine KBZ.EXE, for the demo and the tests: it writes
// its command line, its current directory, its own path and its ANSI code
// page (GetACP), one per line, to the file named by
// the environment variable Q7_ENGINE_RECORD (inherited from whoever started
// the launcher), and exits.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    char record[MAX_PATH];
    DWORD n = GetEnvironmentVariableA("Q7_ENGINE_RECORD", record, sizeof record);
    if (n == 0 || n >= sizeof record)
        return 0;
    char text[3 * MAX_PATH + 1024];
    char dir[MAX_PATH];
    char self[MAX_PATH];
    GetCurrentDirectoryA(sizeof dir, dir);
    GetModuleFileNameA(NULL, self, sizeof self);
    int len =
        wsprintfA(text, "%.1000s\r\n%s\r\n%s\r\n%u\r\n", GetCommandLineA(), dir, self, GetACP());
    HANDLE h =
        CreateFileA(record, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (h != INVALID_HANDLE_VALUE) {
        DWORD written;
        WriteFile(h, text, static_cast<DWORD>(len), &written, NULL);
        CloseHandle(h);
    }
    return 0;
}
