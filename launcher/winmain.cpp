// Start-up and shutdown: the frame around the main window.
#include "launcher.h"
#include "rules.h"
#include "../common/texts.h"
#include "../installer/installer.h"
#include "background.h"
#include "../resources/resource.h"

enum StartupOutcome { kStartupFailed = 0, kWindowsTooOld = 1, kMainWindowRan = 2 };

static bool LoadTexts(void) {
    return LoadStringA(g_hInstance, IDS_CAPTION, g_szCaption, sizeof g_szCaption) > 0 &&
           LoadStringA(g_hInstance, IDS_DEFAULT_PATH, g_szDefaultPath, sizeof g_szDefaultPath) >
               0 &&
           LoadStringA(g_hInstance, IDS_SOURCE_DIR, g_szSourceDir, sizeof g_szSourceDir) > 0;
}

static StartupOutcome RunLauncher(void) {
    if (!LoadTexts())
        return kStartupFailed;
    if (!VersionAdmitted(GetVersion()))
        return kWindowsTooOld;
    SetCurrentDirectoryA(g_szSourceDir);
    GetWindowRect(GetDesktopWindow(), &g_rcDesktop);
    ReadInstallRecord();
    if (!LoadBackgroundPicture(g_hInstance))
        return kStartupFailed;
    if (DialogBoxParamA(g_hInstance, "DLG_MAIN", NULL, DlgMainProc, 0) == -1)
        return kStartupFailed;
    return kMainWindowRan;
}

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int) {
    g_hInstance = hInstance;
    StartupOutcome outcome = RunLauncher();
    if (outcome == kStartupFailed)
        ShowInfo(NULL, kTextStartupFailed);
    else if (outcome == kWindowsTooOld)
        ShowInfo(NULL, kTextWindowsTooOld);
    ReleaseBackgroundPicture();
    return 0;
}
