// Paths as the system and its players write them: the one place that knows the rules. '\' and '/' both separate
// on both systems (a Linux copy of the game is named either way); the system's own separator ('\' on Windows,
// also under Wine, '/' elsewhere) is the one the program writes. Pure text work unless a routine says otherwise.
#pragma once

#include "Core/Inc/CoreTemplateString.h"

bool appIsPathSeparator(char16_t C);
// Whether Path names a place without the current directory's help: it starts with a separator ("/x", "\x",
// "\\server\x") or with a drive letter and a colon ("C:\x").
bool appIsAbsolutePath(const char16_t* Path);
// '\' on Windows, '/' elsewhere.
char16_t appPathSeparator();
// Every separator written as the system's own; it names the same file.
FString appWithSystemSeparators(const FString& Path);
// Path without the separators at its end; a lone separator (the root) stays.
FString appWithoutTrailingSeparators(FString Path);
// Path written with the system's separators and ending with one.
FString appWithTrailingSeparator(const FString& Path);
// Folder and Name with one separator between them: "a" and "x" make "a/x", "a/" and "x" make "a/x", the root "/"
// and "x" make "/x". An added separator is the system's own.
FString appPathJoin(const FString& Folder, const FString& Name);
// The folder that holds Path's last component (separators at Path's end are ignored), with its separator:
// "models/gta3.img" gives "models/", "/x" gives "/". Empty for a path of one component.
FString appPathFolder(const FString& Path);
// Path's last component, separators at its end ignored: "models/gta3.img" gives "gta3.img".
FString appPathFileName(const FString& Path);
// Path as the file system spells it, with the system's separators: each component that exists as its folder
// holds it ("MODELS\GTA_INT.IMG" may be models/gta_int.img), the rest as written. Reads the folders on the way.
FString appPathAsOnDisk(const FString& Path);
// Path as given when it is absolute, else joined to the current directory ("." and a leading "./" name that
// directory itself); written with the system's separators. Asks the system for the current directory.
FString appAbsolutePath(const FString& Path);
// The same against Base (absolute) in place of the current directory; Path as given when Base is empty.
FString appAbsolutePath(const FString& Path, const FString& Base);
// The current directory, absolute, with the system's separators; empty when the system cannot tell.
FString appCurrentDirectory();

// What is at Path, as the system says: anything at all, a folder, a file (anything that is no folder). Each asks
// the system once.
bool appPathExists(const FString& Path);
bool appIsFolder(const FString& Path);
bool appIsFile(const FString& Path);
// Whether Name is one of the entries a folder lists for itself and its parent, "." and "..".
bool appIsDotEntry(const char16_t* Name);
