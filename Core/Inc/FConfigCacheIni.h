// FConfigCacheIni: the config cache of the system, and FConfigFile, one INI file held in it. The registry
// makes the one cache of the process; tests may make their own with their own ConfigDir.
#pragma once

#include <cstdint>

#include "Core/Inc/FConfigCache.h"
#include "Core/Inc/FFileManager.h"

namespace Core
{
namespace Imp
{
// One INI file: its sections in order of first appearance.
class FConfigFile : public TMap<FString, Core::Service::FConfigSection>
{
public:
    FConfigFile() : Dirty(0), NoSave(0), Quotes(0) {}

    // Replaces the sections with those of the file at Path; a file that cannot be read leaves none.
    void Read(FFileManager* FileManager, const char16_t* Path);
    // Writes the file when it changed and may be saved. True, with Dirty cleared, when nothing had to be written
    // (no change, or no section) or the save succeeded; false, with Dirty still set, when it failed.
    bool Write(FFileManager* FileManager, const char16_t* Path);

    // Changed since it was read or written.
    int32_t Dirty;
    // Never written.
    int32_t NoSave;
    // Values written in double quotes.
    int32_t Quotes;

private:
    // The index of the section Name, added when it is new; -1 for a name too long to be one, whose lines then
    // belong to no section.
    int32_t OpenSection(const FString& Name);
};

class FConfigCacheIni : public Core::Service::FConfigCache, public TMap<FString, FConfigFile>
{
public:
    // Files are found below ConfigDir ("ini/"), relative to the current directory.
    FConfigCacheIni();
    ~FConfigCacheIni() override;

    bool GetBool(const char16_t* Section, const char16_t* Key, bool& Value, const char16_t* Filename) override;
    bool GetInt(const char16_t* Section, const char16_t* Key, int32_t& Value, const char16_t* Filename) override;
    bool GetFloat(const char16_t* Section, const char16_t* Key, float& Value, const char16_t* Filename) override;
    bool GetString(const char16_t* Section, const char16_t* Key, FString& Value, const char16_t* Filename) override;
    bool GetStringBuffer(const char16_t* Section, const char16_t* Key, char16_t* Value, int32_t Size,
                         const char16_t* Filename) override;
    bool GetArray(const char16_t* Section, const char16_t* Key, TDynArray<FString>& Values,
                  const char16_t* Filename) override;
    const char16_t* GetStr(const char16_t* Section, const char16_t* Key, const char16_t* Filename) override;
    bool GetSection(const char16_t* Section, char16_t* Result, int32_t Size, const char16_t* Filename) override;
    Core::Service::FConfigSection* GetSectionPtr(const char16_t* Section, bool bForce, bool bConst,
                                                 const char16_t* Filename) override;
    void EmptySection(const char16_t* Section, const char16_t* Filename) override;
    bool GetSectionNames(TDynArray<FString>& Names, const char16_t* Filename) override;
    void SetBool(const char16_t* Section, const char16_t* Key, bool Value, const char16_t* Filename) override;
    void SetInt(const char16_t* Section, const char16_t* Key, int32_t Value, const char16_t* Filename) override;
    void SetFloat(const char16_t* Section, const char16_t* Key, float Value, const char16_t* Filename) override;
    void SetString(const char16_t* Section, const char16_t* Key, const char16_t* Value, const char16_t* Filename,
                   bool bReplace) override;
    void Flush(bool bRead, const char16_t* Filename) override;
    void UnloadFile(const char16_t* Filename) override;
    void Detach(const char16_t* Filename) override;
    void Exit() override;
    void Dump(FOutputDevice& Ar) override;

    // The held file, read on its first use. Without bCreate a file that does not exist is not held and null is
    // returned; with it a missing file is held empty. Null for a name over MAX_NAME characters.
    FConfigFile* FindConfigFile(const char16_t* Filename, bool bCreate);
    // "System" for null, ".ini" appended unless the 4th- or 5th-last character is '.'.
    static FString CacheName(const char16_t* Filename);

    enum
    {
        MAX_NAME = 250
    };

    FString ConfigDir;

private:
    Core::Service::FConfigSection* FindSection(const char16_t* Section, const char16_t* Filename);
};
} // namespace Imp
} // namespace Core
