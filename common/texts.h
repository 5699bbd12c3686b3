// The program's fixed Shift-JIS texts. texts.cpp is UTF-8 source compiled
// with the execution character set CP932, so each literal below reaches the
// program as the exact Shift-JIS bytes the platform's ANSI calls expect.
#pragma once

// Start-up's closing messages.
extern const char kTextStartupFailed[];
extern const char kTextWindowsTooOld[];

// Main window.
extern const char kLabelInstall[];
extern const char kLabelUninstall[];
extern const char kEnginePath[];        // "KBZ.EXE"
extern const char kEngineSuffix[];      // "\KBZ.EXE"
extern const char kEngineCommandLine[]; // "KBZ Mosaren"
extern const char kTextNotThere[];      // appended to the engine's path
extern const char kTextEngineMissing[]; // "KBZ.EXE" + kTextNotThere

// Install record.
extern const char kRecordKey[];
extern const char kRecordClass[];
extern const char kRecordValue[];

// Install and uninstall flows.
extern const char kTextDialogFailed[];
extern const char kTextAskUninstall[];
extern const char kTextUninstallFromDisc[];

// Destination dialog.
extern const char kFormatSizeLine[];
extern const char kTextNoFiles[];
extern const char kTextNoDirectory[];
extern const char kTextNetworkDrive[];
extern const char kTextBadDrive[];
extern const char kTextNoSpace[];
extern const char kTextConfirmHead[]; // "ディレクトリ" and an ASCII double quote
extern const char kTextConfirmTail[]; // an ASCII double quote and the rest
extern const char kTextDirExists[];
extern const char kTextDirNotCreated[];

// Copy dialog.
extern const char kTextNoMemory[];
extern const char kTextInstallFailed[];
extern const char kTextInstallDone[];
extern const char kTextAskCancel[];
