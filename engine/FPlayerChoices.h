// What the player chose in the dialog, remembered between runs in an INI file beside the program, read and
// written through the config cache: the game folder in the box, the all-archives box, and the texture size with
// Smooth. Both front ends read them (the game folder is the first place the game is looked for); only the dialog
// writes them.
#pragma once

#include "Core/Inc/CoreTemplateString.h"
#include "shrinker/FShrinkSettings.h"

// The file's own name, in the program's folder.
extern const char16_t* const GChoicesFileName;

struct FPlayerChoices
{
    FString GameDir;           // the folder in the box when the dialog last closed; empty when none
    bool bAllArchives = false; // Shrink and Restore work on every archive the game loads
    // What Shrink makes: the texture size and Smooth (ModeDefault while the player has not touched the box),
    // kept in FShrinkSettings' text form; a text that is not one gives the standard shrink.
    FShrinkSettings Settings;
};

// The remembered choices, or the defaults when the file or a value is missing. On the user-interface thread
// (the config cache takes no lock).
FPlayerChoices LoadPlayerChoices();
// Remembers Choices and writes the file at once. In a program folder the user may not write to the file is not
// written: the choices are then forgotten at the next start, and nothing else changes.
void SavePlayerChoices(const FPlayerChoices& Choices);
// Forgets every choice: the file is deleted and dropped from the config cache, so the next load finds the
// defaults (a fresh start; the tests start and end each dialog with it).
void ForgetPlayerChoices();
