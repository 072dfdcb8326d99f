// Where the game is when the user does not say: the registry value the game's installers write (on Windows), or
// the same value in a Wine prefix's registry files (on Linux).
#pragma once

#include "Core/Inc/CoreTemplateString.h"

// The registry key (under HKEY_LOCAL_MACHINE) and value that name the game's folder, and the folder the dialog
// assumes when they are missing.
extern const char16_t* const GGameDirRegistryKey;
extern const char16_t* const GGameDirRegistryValue;
extern const char16_t* const GDefaultGameDir;

// The game folder for a command given none. On a system with a registry: the registry value, else the default
// install folder (always found). Without one: the value in the Wine prefix ($WINEPREFIX, else ~/.wine) mapped
// to a path of this system; false when there is none, with Why saying what was looked at, in one sentence.
// From says where the folder came from ("the registry", "the Wine prefix /root/.wine", ...).
bool FindDefaultGameDir(FString& Dir, FString& From, FString& Why);

// The Wine prefix a Linux user's Windows programs live in: $WINEPREFIX, else $HOME/.wine (empty without HOME).
FString GetWinePrefix();

// Reads the game folder from the prefix's system.reg (HKEY_LOCAL_MACHINE; also the Wow6432Node view, where
// 64-bit Wine keeps what 32-bit installers wrote) and maps its drive path through the prefix's dosdevices
// folder: "C:\Games\GTA" becomes Prefix/dosdevices/c:/Games/GTA/. False with Why when the file, the key or the
// value is missing or the value is no drive path.
bool FindWineGameDir(const FString& Prefix, FString& Dir, FString& Why);

// The value ValueName of the key KeyPath in the text of a Wine registry file (system.reg): key lines are
// "[Software\\Quorrin: San Andreas] 1234567890" with backslashes doubled, value lines "\"Name\"=\"text\"" with
// the file's escapes (\\, \", \n, \t, \0, \xHHHH). Key and value names compare without regard to ASCII case.
// Only text values ("..." and str(2):"...") are found.
bool ReadWineRegValue(const FString& RegText, const FString& KeyPath, const FString& ValueName, FString& Value);

// "C:\Games\GTA" through Prefix's dosdevices: Prefix/dosdevices/c:/Games/GTA/ (always ending with '/').
// Empty when the path does not start with a drive letter and a colon.
FString MapWineDrivePath(const FString& Prefix, const FString& WindowsPath);
