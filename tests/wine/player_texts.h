// Every text the player can read on the launcher's windows and message
// boxes, transcribed by hand for the tests. Tests build what they expect
// from these and never from the program's own text constants, so a changed
// word shows up as a failure. Compiled with the execution character set
// CP932, each literal is the Shift-JIS the screen gives back.
#pragma once
#include <cstdio>
#include <string>

namespace player {

static_assert(sizeof("ＯＲＬＩＮ") == 11, "player texts need -fexec-charset=CP932");

// ---- The caption (every window's and message box's title) and start-up's
// closing messages

inline constexpr char kCaption[] = "ＯＲＬＩＮ－Ｑ７の起動とインストール";
inline constexpr char kStartupFailed[] = "システムに異常があるので起動を中止します。";
inline constexpr char kWindowsTooOld[] = "このバージョンのＷｉｎｄｏｗｓでは動作しません。";

// ---- Main window

inline constexpr char kPlayLabel[] = "プレイ(&P)";
inline constexpr char kInstallLabel[] = "インストール(&I)";
inline constexpr char kUninstallLabel[] = "アンインストール(&U)";
inline constexpr char kExitLabel[] = "終了(&X)";
inline constexpr char kNotThere[] = "が在りません";
inline constexpr char kEngineMissing[] = "KBZ.EXEが在りません";

// ---- Install and uninstall flows

inline constexpr char kDialogFailed[] = "ダイアログＢＯＸの作成に失敗ました。";
inline constexpr char kAskUninstall[] = "アンインストールを実行しますか？";
inline constexpr char kUninstallFromDisc[] =
    "アンインストールはＣＤ－ＲＯＭから行います。ＣＤ－ＲＯＭのQ7.EXEを起動してください。";

// ---- Destination dialog

inline constexpr char kStartLabel[] = "インストール開始(&G)";
inline constexpr char kCancelLabel[] = "中止(&S)";
inline constexpr char kAskForDirectory[] = "インストールディレクトリを指定してください";
inline constexpr char kSizeLineHead[] = "インストールに必用な容量 = "; // up to the figures
inline constexpr char kSizeLineTail[] = " M byte";                     // after them
inline constexpr char kNoFiles[] = "インストールするべきファイルが見つかりません。";
inline constexpr char kNoDirectory[] = "ディレクトリを指定してください。";
inline constexpr char kNetworkDrive[] = "ネットワークドライブにはインストールできません。";
inline constexpr char kBadDrive[] = "指定ドライブにはインストールできません。";
inline constexpr char kNoSpace[] = "指定ドライブの空き容量が不足しています。";
inline constexpr char kConfirmHead[] = "ディレクトリ\"";
inline constexpr char kConfirmTail[] = "\"にインストールを行います。";
inline constexpr char kDirExists[] = "ディレクトリがすでに存在します。";
inline constexpr char kDirNotCreated[] = "ディレクトリが作成できません。";

// ---- Copy dialog

inline constexpr char kInstalling[] = "インストール中";
inline constexpr char kNoMemory[] = "メモリが足りません。";
inline constexpr char kInstallFailed[] = "インストールに失敗しました。";
inline constexpr char kInstallDone[] = "インストールが終了しました。";
inline constexpr char kAskCancel[] = "インストールを中断しますか？";

// The confirmation for a directory, quoted with ASCII double quotes.
inline std::string Confirmation(const std::string &dir) {
    return kConfirmHead + dir + kConfirmTail;
}

// The size line for an install set of `bytes`: tenths of a "megabyte" of
// 972,800 bytes, truncated, with the whole part right-aligned in three places.
inline std::string SizeLine(unsigned long long bytes) {
    unsigned long long tenths = bytes / 97280;
    char figures[48];
    std::snprintf(figures, sizeof figures, "%3llu.%llu", tenths / 10, tenths % 10);
    return kSizeLineHead + std::string(figures) + kSizeLineTail;
}

} // namespace player
