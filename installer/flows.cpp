// Install and uninstall flows. Placeholders until the destination dialog,
// the copy engine and the removal are in: neither changes the install state.
#include "installer.h"

int RunInstall(HWND) {
    return 0;
}

int RunUninstall(HWND) {
    return 0;
}
