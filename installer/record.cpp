// The install record: one string value under HKEY_USERS. Registry failures
// are silent by design; the product key is opened with open-or-create on
// every access and never deleted.
#include "installer.h"
#include "record_rules.h"
#include "../common/strutil.h"
#include "../common/texts.h"

BOOL g_bInstalled;
char g_szInstallDir[MAX_PATH];

static bool OpenProductKey(HKEY *phKey, DWORD *pdwDisposition) {
    return RegCreateKeyExA(HKEY_USERS, kRecordKey, 0, const_cast<LPSTR>(kRecordClass),
                           REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, NULL, phKey,
                           pdwDisposition) == ERROR_SUCCESS;
}

void ReadInstallRecord(void) {
    HKEY hKey;
    DWORD dwDisposition = 0;
    if (!OpenProductKey(&hKey, &dwDisposition))
        return;
    if (dwDisposition != REG_CREATED_NEW_KEY) {
        DWORD cValues = 0;
        bool counted = RegQueryInfoKeyA(hKey, NULL, NULL, NULL, NULL, NULL, NULL, &cValues, NULL,
                                        NULL, NULL, NULL) == ERROR_SUCCESS;
        bool found = ScanRecordValues(RecordScanLimit(counted, cValues), [hKey](uint32_t index) {
            char szName[32];
            DWORD cchName = sizeof szName;
            DWORD cbData = sizeof g_szInstallDir;
            DWORD dwType;
            LONG rc = RegEnumValueA(hKey, index, szName, &cchName, NULL, &dwType,
                                    reinterpret_cast<BYTE *>(g_szInstallDir), &cbData);
            if (rc == ERROR_NO_MORE_ITEMS)
                return kScanNoMoreValues;
            // Any other code counts as an entry; a name that did not fit
            // cannot be "InstallDir", whatever the buffer holds.
            if (rc != ERROR_SUCCESS && rc != ERROR_MORE_DATA)
                return kScanNextValue;
            if (cchName >= sizeof szName || !StrEqual(szName, kRecordValue))
                return kScanNextValue;
            return AcceptInstallDirData(rc, g_szInstallDir, cbData, sizeof g_szInstallDir)
                       ? kScanFound
                       : kScanNoMoreValues;
        });
        if (found)
            g_bInstalled = TRUE;
    }
    RegCloseKey(hKey);
}

void WriteInstallRecord(void) {
    HKEY hKey;
    DWORD dwDisposition;
    if (!OpenProductKey(&hKey, &dwDisposition))
        return;
    RegSetValueExA(hKey, kRecordValue, 0, REG_SZ, reinterpret_cast<const BYTE *>(g_szInstallDir),
                   StrLen(g_szInstallDir) + 1);
    RegCloseKey(hKey);
}

void DeleteInstallRecord(void) {
    HKEY hKey;
    DWORD dwDisposition;
    if (!OpenProductKey(&hKey, &dwDisposition))
        return;
    RegDeleteValueA(hKey, kRecordValue);
    RegCloseKey(hKey);
}
