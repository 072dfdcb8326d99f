// Where the game lives: the folder a user names (or the Models folder or archive inside it, which people name
// just as often), the registry value the game's installers write, the same value in a Wine prefix's registry
// files, a Steam library on Linux with its Proton prefix, and the default install folder.
#pragma once

#include <cstdint>

#include "Core/Inc/CoreTemplateArray.h"
#include "Core/Inc/CoreTemplateString.h"

// The registry key (under HKEY_LOCAL_MACHINE) and value that name the game's folder, and the folder taken when
// they are missing on a system with a registry.
extern const char16_t* const GGameDirRegistryKey;
extern const char16_t* const GGameDirRegistryValue;
extern const char16_t* const GDefaultGameDir;
// The game's folder below a Steam library's steamapps/common, and its Steam app id (compatdata/<id>/pfx is the
// Proton prefix it runs in).
extern const char16_t* const GSteamGameFolder;
extern const char16_t* const GSteamAppId;

// Where a game folder came from.
enum class EGameDirSource : int32_t
{
    Argument,      // the user named it
    CurrentFolder, // the folder the command was started in (or the game above it, from its Models folder)
    Remembered,    // the folder in the dialog's box when it last closed
    ProgramFolder, // the program's own folder, or the one above it (the program copied into the game)
    Registry,      // the registry value (Windows: the 32-bit view, where the game's installer writes, else 64-bit)
    WinePrefix,    // the registry value in a Wine prefix's system.reg
    Steam,         // a Steam library's game folder, or the registry value in its Proton prefix
    Default,       // the default install folder (Windows)
};

// What a path given as the game folder named.
enum class EGameDirGiven : int32_t
{
    GameFolder,   // a folder holding Models\gta3.img or Models\gta3_ORIG_BAK.img
    ModelsFolder, // that Models folder itself: the game folder is its parent
    ArchiveFile,  // one of the archive's files in Models: the game folder is the one above Models
    // None of these: taken as given.
    Missing,     // nothing on disk has that name
    OtherFile,   // a file, but none of the archive's
    OtherFolder, // a folder without game files
};

struct FGameDir
{
    FString Dir; // absolute as given or found, ending with a separator, written with the system's separators
    EGameDirSource Source = EGameDirSource::Argument;
    FString Detail; // the Wine prefix, Steam library or Proton prefix it was found through; else empty
    EGameDirGiven Given = EGameDirGiven::GameFolder; // for an argument: what it named
    // For an argument that named no game: the game folder the user may have meant (a folder above it, or one of
    // its subfolders), ending with a separator; empty when none is near.
    FString Nearby;
};

// Where to look for a game no one named. GetGameDirSearch fills it from the system, the environment and the
// remembered choices; tests fill it themselves.
struct FGameDirSearch
{
    FString CurrentDir;     // the folder a command was started in: taken first when it (or the folder above its
                            // Models) holds the game; empty for the dialog, which is started from anywhere
    FString Remembered;     // the folder in the dialog's box when it last closed; taken when it holds the game
    FString ProgramDir;     // the program's own folder: it, or the folder above it, when it holds the game
    bool bRegistry = false; // the system has a registry: read it, and take the default folder last
    FString SteamRoot;      // the Steam folder the registry names (Windows), whose libraries are looked through
    FString WinePrefix;     // a prefix the user named: then only it is looked in; when empty, EnvWinePrefix,
                            // else Home/.wine
    FString EnvWinePrefix;  // $WINEPREFIX
    FString Home;           // $HOME; the Wine prefix and the Steam libraries are looked for below it
};
FGameDirSearch GetGameDirSearch(const FString& WinePrefix);

// The game folder the user meant by Path (absolute): Path itself when it holds the game's archive, its parent
// when it is the Models folder of a game, the folder above Models when it names one of the archive's files
// there; otherwise Path as given, with a game folder nearby if there is one. Looks at the disk only; any thread.
FGameDir InterpretGameDirArgument(const FString& Path);

// Looks for the game in this order, the same for both front ends: the current folder (a command's, when it or
// the folder above its Models holds the game's archive or gta_sa.exe), the remembered folder, the program's folder or
// the one above it (each only when it holds the game's archive or gta_sa.exe), the registry value (with
// bRegistry; the 32-bit view first), the Wine prefix (the one named, else $WINEPREFIX, else ~/.wine), the Steam
// libraries (a game folder holding the archive, else a Proton prefix's registry value), the default folder
// (with bRegistry, always found). A prefix the user named is the only place looked in. False when nothing was
// found, with Why saying what was looked at (one sentence without a final full stop). Reads the registry and
// small files; blocks on the disk.
bool FindGameDir(const FGameDirSearch& Search, FGameDir& Found, FString& Why);

// The registry value the game's installers write: the 32-bit view first (a 32-bit installer on 64-bit Windows
// writes there), then the 64-bit one. Each read as the dialog always read it: a zeroed buffer of 4096 units
// announced as 4094 bytes, the text up to the bytes returned or its first zero. Empty when neither view holds
// the value (always on POSIX).
FString ReadRegistryGameDir();
// The Steam folder from HKEY_CURRENT_USER\Software\Valve\Steam, value SteamPath; empty when there is none.
FString ReadRegistrySteamRoot();

// Reads the game folder from the prefix's system.reg (HKEY_LOCAL_MACHINE; also the Wow6432Node view, where
// 64-bit Wine keeps what 32-bit installers wrote) and maps its drive path through the prefix's dosdevices
// folder: "C:\Games\GTA" becomes Prefix/dosdevices/c:/Games/GTA/. False with Why when the file, the key or the
// value is missing or the value is no drive path.
bool FindWineGameDir(const FString& Prefix, FString& Dir, FString& Why);

// Looks through the Steam libraries of the Steam folders Roots (each one's steamapps and every library its
// libraryfolders.vdf lists): first for a game folder holding the archive, then for a Proton prefix naming one.
// Found.Detail is the library or the prefix. False with Why when there is neither.
bool FindSteamGameDir(const TDynArray<FString>& Roots, FGameDir& Found, FString& Why);

// The library folders that a Steam libraryfolders.vdf text lists: every "path" value at any depth, and the
// numbered values of the top-level block that older files hold. Text of any shape is read without complaint:
// what cannot be read (an unterminated quote, an overlong token, stray braces) is skipped.
TDynArray<FString> ReadSteamLibraryFolders(const FString& VdfText);

// The value ValueName of the key KeyPath in the text of a Wine registry file (system.reg): key lines are
// "[Software\\Quorrin: San Andreas] 1234567890" with backslashes doubled, value lines "\"Name\"=\"text\"" with
// the file's escapes (\\, \", \n, \t, \0, \xHHHH). Key and value names compare without regard to ASCII case.
// Only text values ("..." and str(2):"...") are found.
bool ReadWineRegValue(const FString& RegText, const FString& KeyPath, const FString& ValueName, FString& Value);

// "C:\Games\GTA" through Prefix's dosdevices: Prefix/dosdevices/c:/Games/GTA/ (always ending with '/').
// Empty when the path does not start with a drive letter and a colon.
FString MapWineDrivePath(const FString& Prefix, const FString& WindowsPath);
