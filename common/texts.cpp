#include "texts.h"

const char kTextStartupFailed[] = "システムに異常があるので起動を中止します。";
const char kTextWindowsTooOld[] = "このバージョンのＷｉｎｄｏｗｓでは動作しません。";

const char kLabelInstall[] = "インストール(&I)";
const char kLabelUninstall[] = "アンインストール(&U)";
const char kEnginePath[] = "KBZ.EXE";
const char kEngineSuffix[] = "\\KBZ.EXE";
const char kEngineCommandLine[] = "KBZ Mosaren";
const char kTextNotThere[] = "が在りません";
const char kTextEngineMissing[] = "KBZ.EXEが在りません";

const char kRecordKey[] = ".Default\\Software\\RUMIK\\Q7";
const char kRecordClass[] = "KBZ";
const char kRecordValue[] = "InstallDir";

const char kTextDialogFailed[] = "ダイアログＢＯＸの作成に失敗ました。";
const char kTextAskUninstall[] = "アンインストールを実行しますか？";
const char kTextUninstallFromDisc[] =
    "アンインストールはＣＤ－ＲＯＭから行います。ＣＤ－ＲＯＭのQ7.EXEを起動してください。";

const char kFormatSizeLine[] = "インストールに必用な容量 = %3d.%1d M byte";
const char kTextNoFiles[] = "インストールするべきファイルが見つかりません。";
const char kTextNoDirectory[] = "ディレクトリを指定してください。";
const char kTextNetworkDrive[] = "ネットワークドライブにはインストールできません。";
const char kTextBadDrive[] = "指定ドライブにはインストールできません。";
const char kTextNoSpace[] = "指定ドライブの空き容量が不足しています。";
const char kTextConfirmHead[] = "ディレクトリ\"";
const char kTextConfirmTail[] = "\"にインストールを行います。";
const char kTextDirExists[] = "ディレクトリがすでに存在します。";
const char kTextDirNotCreated[] = "ディレクトリが作成できません。";

const char kTextNoMemory[] = "メモリが足りません。";
const char kTextInstallFailed[] = "インストールに失敗しました。";
const char kTextInstallDone[] = "インストールが終了しました。";
const char kTextAskCancel[] = "インストールを中断しますか？";
