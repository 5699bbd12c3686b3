// The process entry point. There is no C runtime to call WinMain for us, so
// this does, and ends the process with its result.
#include "launcher.h"

extern "C" void Q7Entry(void) {
    UINT code = (UINT)WinMain(GetModuleHandleA(NULL), NULL, (LPSTR) "", SW_SHOWDEFAULT);
    ExitProcess(code);
}
