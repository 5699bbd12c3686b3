// Install and uninstall flows: the order in which the installer's dialogs
// run, and what is taken back when a copy does not finish.
#include "installer.h"
#include "../common/texts.h"

int RunInstall(HWND hOwner) {
    INT_PTR result = DialogBoxParamA(g_hInstance, "DLG_SELECT", hOwner, DlgSelectProc, 0);
    if (result == -1) {
        ShowInfo(hOwner, kTextDialogFailed);
        return 0;
    }
    if (result != 1)
        return 0;

    result = DialogBoxParamA(g_hInstance, "DLG_INST", hOwner, DlgInstallProc, 0);
    if (result == -1) {
        // The new directory stays: nothing was copied into it.
        ShowInfo(hOwner, kTextDialogFailed);
        return 0;
    }
    if (result != 1) {
        RemoveInstallDir(kTakeBackCopy);
        return 0;
    }
    WriteInstallRecord();
    return 1;
}

int RunUninstall(HWND hOwner) {
    if (MessageBoxA(hOwner, kTextAskUninstall, g_szCaption, MB_YESNO | MB_ICONQUESTION) != IDYES)
        return 0;
    if (!RemoveInstallDir(kUninstallSet)) {
        // Nothing was deleted: the install stays, recorded, and the player
        // learns where the uninstall can tell the disc's files from theirs.
        ShowInfo(hOwner, kTextUninstallFromDisc);
        return 0;
    }
    DeleteInstallRecord();
    return 1;
}
