// Skip rules: parsing, matching and the built-in list.
#include "shrinker/FSkipRules.h"

#include "Core/Inc/CoreOS.h"
#include "Core/Inc/CorePath.h"
#include "Core/Inc/FConfigCache.h"
#include "Core/Inc/FConfigCacheIni.h"
#include "Core/Inc/FGlobalVars.h"

namespace
{
// Every built-in rule is a case-insensitive "skip"; only the first carries a star. "bike" is listed twice.
const char16_t* const GDefaultRules[] = {
    u"radar*", u"gta_tree_oldpine", u"gta_tree_palm", u"gta_tree_pine", u"lod_veg", u"vehicle", u"landstal",
    u"bravura", u"buffalo", u"linerun", u"peren", u"sentinel", u"dumper", u"firetruk", u"trash", u"stretch",
    u"manana", u"infernus", u"voodoo", u"pony", u"mule", u"cheetah", u"ambulan", u"leviathn", u"moonbeam",
    u"esperant", u"taxi", u"washing", u"bobcat", u"mrwhoop", u"bfinject", u"hunter", u"premier", u"enforcer",
    u"securica", u"banshee", u"predator", u"bus", u"rhino", u"barracks", u"hotknife", u"artict1", u"previon",
    u"coach", u"cabbie", u"stallion", u"rumpo", u"rcbandit", u"romero", u"packer", u"monster", u"admiral", u"squalo",
    u"seaspar", u"pizzaboy", u"tram", u"artict2", u"turismo", u"speeder", u"reefer", u"tropic", u"flatbed",
    u"yankee", u"caddy", u"solair", u"topfun", u"skimmer", u"pcj600", u"faggio", u"freeway", u"rcbaron", u"rcraider",
    u"glendale", u"oceanic", u"sanchez", u"sparrow", u"patriot", u"quad", u"coastg", u"dinghy", u"hermes", u"sabre",
    u"rustler", u"zr350", u"walton", u"regina", u"comet", u"bmx", u"burrito", u"camper", u"marquis", u"baggage",
    u"dozer", u"maverick", u"vcnmav", u"rancher", u"fbiranch", u"virgo", u"greenwoo", u"jetmax", u"hotring",
    u"sandking", u"blistac", u"polmav", u"boxville", u"benson", u"mesa", u"rcgoblin", u"hotrina", u"hotrinb",
    u"bloodra", u"rnchlure", u"supergt", u"elegant", u"journey", u"bike", u"mtbike", u"beagle", u"cropdust",
    u"stunt", u"petro", u"rdtrain", u"nebula", u"majestic", u"buccanee", u"shamal", u"hydra", u"fcr900", u"nrg500",
    u"copbike", u"cement", u"towtruck", u"fortune", u"cadrona", u"fbitruck", u"willard", u"forklift", u"tractor",
    u"combine", u"feltzer", u"remingtn", u"slamvan", u"blade", u"freight", u"streak", u"vortex", u"vincent",
    u"bullet", u"clover", u"sadler", u"firela", u"hustler", u"intruder", u"primo", u"cargobob", u"tampa", u"sunrise",
    u"merit", u"utility", u"nevada", u"yosemite", u"windsor", u"monstera", u"monsterb", u"uranus", u"jester",
    u"sultan", u"stratum", u"elegy", u"raindanc", u"rctiger", u"flash", u"tahoma", u"savanna", u"bandito",
    u"freiflat", u"streakc", u"kart", u"mower", u"duneride", u"sweeper", u"broadway", u"tornado", u"at400", u"dft30",
    u"huntley", u"stafford", u"bf400", u"newsvan", u"tug", u"petrotr", u"car", u"bike", u"euros", u"hotdog", u"club",
    u"freibox", u"artict3", u"androm", u"plane", u"rccam", u"launch", u"copcarla", u"copcarsf", u"copcarvg",
    u"copcarru", u"picador", u"swatvan", u"alpha", u"phoenix", u"glenshit", u"sadlshit", u"bagboxa", u"bagboxb",
    u"tugstair", u"boxburg", u"farmtr1", u"utiltr1",
};
const int32_t GNumDefaultRules = int32_t(sizeof(GDefaultRules) / sizeof(GDefaultRules[0]));
static_assert(sizeof(GDefaultRules) / sizeof(GDefaultRules[0]) == 218, "the built-in list has 218 rules");

bool Equal(const FString& A, const FString& B, bool bCaseSensitive)
{
    return bCaseSensitive ? appStrcmp(*A, *B) == 0 : appStricmp(*A, *B) == 0;
}

bool Matches(const FSkipRule& Rule, const FString& Name)
{
    const bool bCase = Rule.bCaseSensitive != 0;
    const int32_t Len = Rule.Pattern.Len();
    if (Rule.bWildcardAtStart && Rule.bWildcardAtEnd)
        return bCase ? Name.InStr(*Rule.Pattern) >= 0 : Name.InStrNoCase(*Rule.Pattern) >= 0;
    if (Rule.bWildcardAtEnd)
        return Len <= Name.Len() && Equal(Name.Left(Len), Rule.Pattern, bCase);
    if (Rule.bWildcardAtStart)
        return Len <= Name.Len() && Equal(Name.Right(Len), Rule.Pattern, bCase);
    return Equal(Name, Rule.Pattern, bCase);
}
} // namespace

const char16_t* const GSkipRulesFileName = u"SkipRules.ini";

const char16_t* FSkipRules::DefaultFile()
{
    static const FString File = FString(u"../") + GSkipRulesFileName;
    return *File;
}

FString FSkipRules::UserFile()
{
    char16_t Config[4096];
    if (CoreOS::UserConfigDir(Config, 4096) <= 0)
        return FString();
    return appPathJoin(appPathJoin(FString(Config), u"pellmor"), GSkipRulesFileName);
}

int32_t FSkipRules::NumDefaultRules()
{
    return GNumDefaultRules;
}

const char16_t* FSkipRules::DefaultRule(int32_t Index)
{
    return GDefaultRules[Index];
}

void FSkipRules::Empty()
{
    ExactRules.Empty();
    WildcardRules.Empty();
    RulesHash = FHash64();
}

uint64_t FSkipRules::Digest() const
{
    return RulesHash.Digest();
}

uint64_t FSkipRules::DefaultDigest()
{
    static const uint64_t Digest = [] {
        FSkipRules Rules;
        Rules.LoadDefaults();
        return Rules.Digest();
    }();
    return Digest;
}

void FSkipRules::Load(const char16_t* File)
{
    if (ExactRules.Num() > 0)
        return;
    Empty();
    const Core::Service::FConfigSection* Section = nullptr;
    // A file named by the user is read where it is, with the config cache's INI syntax; the program's own
    // goes through the cache.
    Core::Imp::FConfigFile UserFile;
    if (appIsAbsolutePath(File))
    {
        UserFile.Read(GGlobalVars()->GetFileManager(), File);
        Section = UserFile.Find(FString(u"SkipRules"));
    }
    else if (Core::Service::FConfigCache* Cache = GGlobalVars()->GetConfigCache())
        Section = Cache->GetSectionPtr(u"SkipRules", false, true, File);
    if (Section)
    {
        for (const auto& Pair : *Section)
            AddSkipRule(Pair.Key, Pair.Value);
        return;
    }
    LoadDefaults();
}

void FSkipRules::LoadDefaults()
{
    for (int32_t i = 0; i < GNumDefaultRules; ++i)
        AddSkipRule(FString(u"skip"), FString(GDefaultRules[i]));
}

void FSkipRules::AddSkipRule(const FString& Action, const FString& Pattern)
{
    FSkipRule Rule;
    Rule.Action = Action;
    if (Rule.Action.Len() > 0)
    {
        const char16_t Last = Rule.Action[Rule.Action.Len() - 1];
        if (Last == u'c' || Last == u'C')
        {
            Rule.Action = Rule.Action.Left(Rule.Action.Len() - 1);
            Rule.bCaseSensitive = 1;
        }
    }
    Rule.Pattern = Pattern;
    if (Rule.Pattern.Len() > 0 && Rule.Pattern[Rule.Pattern.Len() - 1] == u'*')
    {
        Rule.Pattern = Rule.Pattern.Left(Rule.Pattern.Len() - 1);
        Rule.bWildcardAtEnd = 1;
    }
    if (Rule.Pattern.Len() > 0 && Rule.Pattern[0] == u'*')
    {
        Rule.Pattern = Rule.Pattern.Mid(1);
        Rule.bWildcardAtStart = 1;
    }
    const uint8_t Flags[3] = {uint8_t(Rule.bCaseSensitive), uint8_t(Rule.bWildcardAtStart),
                              uint8_t(Rule.bWildcardAtEnd)};
    RulesHash.Update(Flags, sizeof(Flags));
    // Each text with its terminating zero, so that no two pairs of texts run together alike.
    RulesHash.Update(*Rule.Action, size_t(Rule.Action.Len() + 1) * sizeof(char16_t));
    RulesHash.Update(*Rule.Pattern, size_t(Rule.Pattern.Len() + 1) * sizeof(char16_t));
    if (Rule.bWildcardAtEnd || Rule.bWildcardAtStart)
        WildcardRules.AddItem(Rule);
    else
        ExactRules.Add(Rule.Pattern, Rule);
}

int32_t FSkipRules::MatchSkipRule(const FString& Name) const
{
    FString Action;
    if (const FSkipRule* Exact = ExactRules.Find(Name))
        if (Equal(Name, Exact->Pattern, Exact->bCaseSensitive != 0))
            Action = Exact->Action;
    if (Action.IsEmpty())
        for (const FSkipRule& Rule : WildcardRules)
            if (Matches(Rule, Name))
                Action = Rule.Action;
    if (Action.EqualsNoCase(u"skip"))
        return SKIPMATCH_Skip;
    if (Action.EqualsNoCase(u"allow"))
        return SKIPMATCH_Allow;
    return SKIPMATCH_None;
}
