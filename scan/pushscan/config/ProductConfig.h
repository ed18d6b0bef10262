// The product INI, the language of the installation and the settings folder, shared by the
// scan-button program and the scan application.
#pragma once

#include "win/base.h"

// Characters of the program's own file name cut off to name the product INI: the scan-button
// program cuts its name tail and extension (12), the scan application 7.
#define PUSHSCAN_INI_TAIL 12
#define SCANAPP_INI_TAIL 7

#define LANGUAGE_COUNT 21

// Set when "File Prefix" is "vrx3310" (exactly): the second kind of scanner driver.
extern BOOL g_bIsPlatformC;
// The language index found at start (GetLanguageIndex); names the section of "Push UI Title".
extern int g_nLanguageIndex;
// The tail that this program cuts from its file name for the product INI (PUSHSCAN_INI_TAIL unless
// the scan application sets SCANAPP_INI_TAIL before its first use of the helpers).
extern int g_nProductIniTail;

// The language vocabulary and the codes of the language DLLs and help files, by index.
extern const WCHAR* const g_szLanguageName[LANGUAGE_COUNT];
extern const WCHAR* const g_szLanguageCode[LANGUAGE_COUNT];

// Windows directory + "\" + the program's file name less its last nTail characters + ".ini".
// Empty (FALSE) when the module name cannot be read, holds no backslash, is not longer than the
// tail, or when the path would be MAX_PATH characters or more.
BOOL GetProductIniPath(WCHAR* pszPath /*[MAX_PATH]*/, int nTail);
// A string of the product INI (section "TWAIN" unless given), "" when missing.
void GetProductIniString(LPCWSTR pszSection, LPCWSTR pszKey, WCHAR* pszValue /*[MAX_PATH]*/);

// The folder of the running program with its closing backslash, the module name read into
// cchModuleName characters (256 for the registration DLL, MAX_PATH otherwise). Empty (FALSE) when
// the name cannot be read whole or holds no backslash.
BOOL GetExecutableFolder(WCHAR* pszFolder /*[MAX_PATH]*/, DWORD cchModuleName = MAX_PATH);

// The language index from the installed "Language" value, else from the system locale; stores it in
// g_nLanguageIndex and writes its LanguageCode into pszCode.
int GetLanguageIndex(WCHAR* pszCode /*[MAX_PATH]*/);
// The language index of the system locale (1, English, for locales without a language of ours).
int GetLanguageIndexFromLcid();
// The LanguageName and LanguageCode of an index (those of index 0 outside the table).
LPCWSTR GetLanguageName(int nIndex);
LPCWSTR GetLanguageCode(int nIndex);
// The LanguageName of g_nLanguageIndex.
LPCWSTR GetLanguageNameOfCurrent();
// "Push UI Title" from the section of the current language, "" when missing.
void GetPushUITitle(WCHAR* pszTitle /*[MAX_PATH]*/);

// FOLDER + PREFIX + pszName: the path of a maker component beside the program.
BOOL GetProductFilePath(WCHAR* pszPath /*[MAX_PATH]*/, LPCWSTR pszName, DWORD cchModuleName = MAX_PATH);
// FOLDER + PREFIX + "kelr" + LanguageCode + ".dll"; sets g_bIsPlatformC for the prefix "vrx3310".
BOOL GetResourceDllPath(WCHAR* pszPath /*[MAX_PATH]*/);
// FOLDER + PREFIX + "kh" + LanguageCode + ".chm".
BOOL GetHelpFilePath(WCHAR* pszPath /*[MAX_PATH]*/);

// The settings folder: the application-data folder + "Setting Path" (as the INI gives it), after
// creating appData + "Setting Folder" and the settings folder. FALSE and empty when the
// application-data folder is unknown (nothing is created then).
BOOL GetSettingsFolder(WCHAR* pszFolder /*[MAX_PATH]*/);
// The settings folder + "pushscan_settings.dat" (written to the debugger output).
BOOL GetSettingsFilePath(WCHAR* pszPath /*[MAX_PATH]*/);
// My Pictures on Windows 6 and later, else My Documents (created when missing).
BOOL GetDefaultSaveFolder(WCHAR* pszPath /*[MAX_PATH]*/);
