// The destination dialog: measures the install set, proposes a directory,
// validates the user's choice and creates the directory with every missing
// level above it.
#include "installer.h"
#include "install_rules.h"
#include "../common/strutil.h"
#include "../common/texts.h"
#include "../resources/resource.h"

ULONGLONG g_qwInstallSetSize;

static const int kTextBufferSize = 512;

// Every entry counts, with no attribute test: the copy takes fewer.
static bool MeasureInstallSet(void) {
    WIN32_FIND_DATAA fd;
    HANDLE hFind = FindFirstFileA("*.*", &fd);
    if (hFind == INVALID_HANDLE_VALUE)
        return false;
    ULONGLONG total = 0;
    do {
        total = AddEntrySize(total, fd.nFileSizeHigh, fd.nFileSizeLow);
    } while (FindNextFileA(hFind, &fd));
    FindClose(hFind);
    g_qwInstallSetSize = total;
    return true;
}

static void OnSelectInitDialog(HWND hDlg) {
    CentreOnDesktop(hDlg, 1);
    if (!MeasureInstallSet()) {
        ShowInfo(hDlg, kTextNoFiles);
        EndDialog(hDlg, 0);
        return;
    }

    char text[kTextBufferSize];
    SizeLineFigures f = SizeLineUnits(g_qwInstallSetSize);
    wsprintfA(text, kFormatSizeLine, f.whole, f.tenth);
    SetDlgItemTextA(hDlg, ID_SIZE_LINE, text);

    // The Windows drive ("C:") in front of the default path.
    UINT len = GetWindowsDirectoryA(text, sizeof text);
    if (len < 2 || len >= sizeof text)
        text[0] = '\0';
    else
        text[2] = '\0';
    StrAppend(text, sizeof text, g_szDefaultPath);
    SetDlgItemTextA(hDlg, ID_DIR, text);
}

static bool IsAnsiLeadByte(unsigned char c) {
    return IsDBCSLeadByte(c) != FALSE;
}

// Every missing level above the install directory, each prefix ending before
// a separator. A double-byte character whose second byte is 0x5C is not cut;
// in a code page without double-byte characters every 0x5C cuts.
// Levels that exist already fail harmlessly; only the final creation counts.
static void CreateDirectoryChain(const char *fullPath, SECURITY_ATTRIBUTES *psa) {
    char prefix[MAX_PATH];
    for (size_t i = FindPathSeparator(fullPath, 3, IsAnsiLeadByte); fullPath[i] != '\0';
         i = FindPathSeparator(fullPath, i + 1, IsAnsiLeadByte)) {
        if (CopyPathPrefix(prefix, sizeof prefix, fullPath, i))
            CreateDirectoryA(prefix, psa);
    }
}

// Validates the directory in the edit field and creates it. Returns true
// when the dialog may end with success.
static bool StartInstall(HWND hDlg) {
    // Read with room to spare, so that a text the install directory buffer
    // cannot hold is refused instead of being cut to another directory.
    char typed[2 * MAX_PATH];
    LRESULT typedLen = SendDlgItemMessageA(hDlg, ID_DIR, WM_GETTEXT, sizeof typed,
                                           reinterpret_cast<LPARAM>(typed));
    if (typedLen <= 0) {
        ShowInfo(hDlg, kTextNoDirectory);
        return false;
    }
    if (!StrCopy(g_szInstallDir, sizeof g_szInstallDir, typed)) {
        ShowInfo(hDlg, kTextDirNotCreated);
        return false;
    }

    char fullPath[MAX_PATH];
    LPSTR filePart;
    DWORD fullLen = GetFullPathNameA(g_szInstallDir, sizeof fullPath, fullPath, &filePart);
    if (!FullPathFits(fullLen, sizeof fullPath)) {
        ShowInfo(hDlg, kTextDirNotCreated);
        return false;
    }
    StrCopy(g_szInstallDir, sizeof g_szInstallDir, fullPath);

    if (fullPath[0] == '\\') {
        ShowInfo(hDlg, kTextNetworkDrive);
        return false;
    }

    char root[4] = {'A', ':', '\\', '\0'};
    root[0] = fullPath[0];
    DWORD sectorsPerCluster, bytesPerSector, freeClusters, totalClusters;
    if (!GetDiskFreeSpaceA(root, &sectorsPerCluster, &bytesPerSector, &freeClusters,
                           &totalClusters)) {
        ShowInfo(hDlg, kTextBadDrive);
        return false;
    }
    if (!FreeSpaceSuffices(FreeBytes(sectorsPerCluster, bytesPerSector, freeClusters),
                           g_qwInstallSetSize)) {
        ShowInfo(hDlg, kTextNoSpace);
        return false;
    }

    char text[kTextBufferSize];
    if (!StrJoin3(text, sizeof text, kTextConfirmHead, g_szInstallDir, kTextConfirmTail) ||
        MessageBoxA(hDlg, text, g_szCaption, MB_YESNO | MB_ICONQUESTION) != IDYES)
        return false;

    SECURITY_ATTRIBUTES sa;
    sa.nLength = sizeof sa;
    sa.lpSecurityDescriptor = NULL;
    sa.bInheritHandle = TRUE;
    CreateDirectoryChain(fullPath, &sa);

    // An existing directory is never taken: the install directory is always
    // one created here, so the removal cannot empty a directory of the user's.
    if (CreateDirectoryA(g_szInstallDir, &sa))
        return true;
    ShowInfo(hDlg, GetLastError() == ERROR_ALREADY_EXISTS ? kTextDirExists : kTextDirNotCreated);
    return false;
}

static void OnSelectCommand(HWND hDlg, WPARAM wParam) {
    if (wParam == ID_START) {
        if (StartInstall(hDlg))
            EndDialog(hDlg, 1);
    } else {
        EndDialog(hDlg, 0);
    }
}

Q7_EXPORT INT_PTR CALLBACK DlgSelectProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM) {
    switch (uMsg) {
    case WM_INITDIALOG:
        OnSelectInitDialog(hDlg);
        return TRUE;
    case WM_COMMAND:
        // The whole word is compared: only clicks count, Escape does nothing.
        if (wParam != ID_START && wParam != ID_CANCEL)
            return FALSE;
        OnSelectCommand(hDlg, wParam);
        return TRUE;
    }
    return FALSE;
}
