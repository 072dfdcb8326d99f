// Whole files as text: load a file into an FString and save an FString as a file, through a file manager's
// buffered archives. The config cache reads and writes its INI files with them.
//
// Both block on the disk and take no lock; the file manager and the string belong to the caller.
#pragma once

#include "Core/Inc/CoreTemplateString.h"
#include "Core/Inc/FFileManager.h"

// Loads the whole file. Bytes FF FE (little-endian) or FE FF (big-endian) at the start of a file of an even
// length mark UTF-16, and EF BB BF marks UTF-8 (invalid sequences become U+FFFD); the mark is not part of the
// text. Any other file is 8-bit text, one unit per byte. False, with Result untouched, when the file cannot be
// opened or is too large for a string (2 GiB or more); false with Result filled from what was read when a read
// fails.
bool appLoadFileToString(FString& Result, FFileManager* FileManager, const char16_t* Path);

// Saves the text, created or truncated: one byte per unit when every unit is below 256, otherwise FF FE and
// UTF-16 little-endian. No terminator is written. An empty text writes nothing and returns false; false when
// the file cannot be opened or the text is too large (1 GiB of wide units), and false when a write or the
// close fails (the file may then hold part of the text); the failure's line goes to the log device.
bool appSaveStringToFile(const FString& Text, FFileManager* FileManager, const char16_t* Path);
