// The launcher's own entry points: start-up and the main window.
#pragma once
#include "../common/program.h"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nShowCmd);

Q7_EXPORT INT_PTR CALLBACK DlgMainProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam);
