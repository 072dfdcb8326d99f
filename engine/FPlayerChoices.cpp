// The player's remembered choices in PellmorWin.ini beside the program.
#include "engine/FPlayerChoices.h"

#include "Core/Inc/CorePath.h"
#include "Core/Inc/CoreUtil.h"
#include "Core/Inc/FConfigCache.h"
#include "Core/Inc/FGlobalVars.h"
#include "engine/FGameDisk.h"

const char16_t* const GChoicesFileName = u"PellmorWin.ini";

namespace
{
const char16_t* const Section = u"PellmorWin";

// Through the config cache a name in "../" is the file in the program's own folder.
const FString& CacheName()
{
    static const FString Name = FString(u"../") + GChoicesFileName;
    return Name;
}
} // namespace

FPlayerChoices LoadPlayerChoices()
{
    FPlayerChoices Choices;
    Core::Service::FConfigCache* Cache = GGlobalVars()->GetConfigCache();
    if (!Cache)
        return Choices;
    Cache->GetString(Section, u"GameDir", Choices.GameDir, *CacheName());
    bool bAll = false;
    if (Cache->GetBool(Section, u"AllArchives", bAll, *CacheName()))
        Choices.bAllArchives = bAll;
    FString Settings;
    if (Cache->GetString(Section, u"Settings", Settings, *CacheName()))
        FShrinkSettings::FromText(Settings, Choices.Settings);
    return Choices;
}

void SavePlayerChoices(const FPlayerChoices& Choices)
{
    Core::Service::FConfigCache* Cache = GGlobalVars()->GetConfigCache();
    if (!Cache)
        return;
    Cache->SetString(Section, u"GameDir", *Choices.GameDir, *CacheName(), true);
    Cache->SetBool(Section, u"AllArchives", Choices.bAllArchives, *CacheName());
    Cache->SetString(Section, u"Settings", *Choices.Settings.ToText(), *CacheName(), true);
    Cache->Flush(false, *CacheName());
}

void ForgetPlayerChoices()
{
    if (Core::Service::FConfigCache* Cache = GGlobalVars()->GetConfigCache())
        Cache->UnloadFile(*CacheName());
    FGameDisk::Remove(appPathJoin(appBaseDir(), GChoicesFileName));
}
