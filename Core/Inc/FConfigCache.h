// FConfigCache: the INI configuration cache. Files are read on their first use and held for the rest of the
// run (or until flushed with Read, unloaded or Exit); changes are recorded in memory and written back by Flush
// and Exit.
//
// INI syntax, as the reader takes it:
//   [Name]           opens the section Name, exactly as written; a name given again adds to the same section
//   key=value        adds a pair; the key is kept exactly (blanks too), trailing spaces of the value are cut,
//                    and a value wrapped in double quotes loses them
//   a=x b=y c="p q"  a value holding another '=' is split at blanks and tabs outside double quotes: the first
//                    word is the value of the key, each further word another pair (quotes stay part of words)
// Repeated keys are all kept in file order. Lines outside a section, empty lines and lines without '=' are
// skipped; there is no comment syntax. Section and key names compare without regard to ASCII case.
//
// Names: Filename null means "System"; ".ini" is appended unless the name already ends in a short extension.
// File and section names longer than 250 characters are refused (false, null, nothing stored).
//
// Threads: no lock. One thread at a time uses the cache; pointers it returns (sections, GetStr's scratch text)
// stay valid until the cache or that file next changes. Reading and writing block on the disk.
#pragma once

#include <cstdint>

#include "Core/Inc/CoreTemplateArray.h"
#include "Core/Inc/CoreTemplateMap.h"
#include "Core/Inc/CoreTemplateString.h"
#include "Core/Inc/FOutputDevice.h"

namespace Core
{
namespace Service
{
// One section: key to value, every pair kept in the order it was added (TMap::Add), repeated keys included.
// Find gives the pair added last for a key.
class FConfigSection : public TMap<FString, FString>
{
};

class FConfigCache
{
public:
    // The value read into 80 units: "True" (any case) is true, otherwise true when its integer value is 1.
    virtual bool GetBool(const char16_t* Section, const char16_t* Key, bool& Value, const char16_t* Filename) = 0;
    // The value read into 80 units, as a decimal integer (leading blanks and a sign allowed; 0 without digits).
    virtual bool GetInt(const char16_t* Section, const char16_t* Key, int32_t& Value, const char16_t* Filename) = 0;
    virtual bool GetFloat(const char16_t* Section, const char16_t* Key, float& Value, const char16_t* Filename) = 0;
    // At most 4095 characters of the value.
    virtual bool GetString(const char16_t* Section, const char16_t* Key, FString& Value, const char16_t* Filename) = 0;
    // Copies at most Size - 1 units of the last value given for Key and terminates; Value is "" when not found.
    virtual bool GetStringBuffer(const char16_t* Section, const char16_t* Key, char16_t* Value, int32_t Size,
                                 const char16_t* Filename) = 0;
    // Appends every value given for Key, the last line first. True when Values is then not empty.
    virtual bool GetArray(const char16_t* Section, const char16_t* Key, TDynArray<FString>& Values,
                          const char16_t* Filename) = 0;
    // The value in a scratch text (1023 characters at most), "" when not found.
    virtual const char16_t* GetStr(const char16_t* Section, const char16_t* Key, const char16_t* Filename) = 0;
    // Every pair as "key=value" and a zero unit, in file order, then one more zero unit. A pair that does not
    // fit whole in Size units is left out with all after it. True when the section exists.
    virtual bool GetSection(const char16_t* Section, char16_t* Result, int32_t Size, const char16_t* Filename) = 0;
    // The section itself, owned by the cache. bForce creates the file and section when missing; bForce or
    // !bConst marks the file changed (the caller is expected to edit it).
    virtual FConfigSection* GetSectionPtr(const char16_t* Section, bool bForce, bool bConst,
                                          const char16_t* Filename) = 0;
    // Removes every pair of the section and writes the file at once.
    virtual void EmptySection(const char16_t* Section, const char16_t* Filename) = 0;
    // Empties Names, then appends the file's section names in order. True when there is at least one.
    virtual bool GetSectionNames(TDynArray<FString>& Names, const char16_t* Filename) = 0;
    virtual void SetBool(const char16_t* Section, const char16_t* Key, bool Value, const char16_t* Filename) = 0;
    virtual void SetInt(const char16_t* Section, const char16_t* Key, int32_t Value, const char16_t* Filename) = 0;
    virtual void SetFloat(const char16_t* Section, const char16_t* Key, float Value, const char16_t* Filename) = 0;
    // With bReplace the last pair for Key takes the value (a value equal but for ASCII case changes nothing);
    // otherwise, or without such a pair, a new pair is added. The file and section are made when missing.
    virtual void SetString(const char16_t* Section, const char16_t* Key, const char16_t* Value,
                           const char16_t* Filename, bool bReplace) = 0;
    // Writes every changed file that Filename names (by its whole name, or its name up to the first '.'; null:
    // every file); with bRead the named file (null: every file) is then dropped, to be read again on next use.
    // A file whose write failed keeps its changes pending and stays held, so a later flush tries again.
    virtual void Flush(bool bRead, const char16_t* Filename) = 0;
    // Drops the file without writing it.
    virtual void UnloadFile(const char16_t* Filename) = 0;
    // The file is never written from now on.
    virtual void Detach(const char16_t* Filename) = 0;
    // Writes every changed file and empties the cache (but for files whose write failed); it stays usable.
    virtual void Exit() = 0;
    // "Files map:" and the file map's hash statistics.
    virtual void Dump(FOutputDevice& Ar) = 0;

    // The cache writes every changed file before it frees anything.
    virtual ~FConfigCache() {}
};
} // namespace Service
} // namespace Core

using Core::Service::FConfigCache;
using Core::Service::FConfigSection;
