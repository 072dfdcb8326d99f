// pellmor status: the state of each archive as the engine sees it, what a shrink of it would need, and what to do
// next, in the words that shrink and restore use.
#include "Core/Inc/CoreUtil.h"
#include "cli/PellmorInternals.h"
#include "engine/FGameArchives.h"
#include "engine/FModFolder.h"
#include "shrinker/FSkipRules.h"

namespace
{
// What stands in the way of the next step, in the words the step itself would use; None when nothing does.
FArchiveVerdict NextVerdict(const FGameArchive& Archive, const FArchiveLook& Look)
{
    const EArchiveState State = Look.Status.State;
    FArchiveVerdict Verdict = CheckBeforeShrink(Archive, Look, FShrinkSettings::Standard());
    if (State == EArchiveState::Shrunk || State == EArchiveState::Interrupted)
    {
        const FArchiveVerdict Restore = CheckBeforeRestore(Archive, Look);
        if (Restore.Problem != EVerdict::Done)
            Verdict = Restore;
        else if (State == EArchiveState::Shrunk)
            Verdict = FArchiveVerdict();
    }
    return Verdict;
}

// The shrink that takes the kept shrunk copy over: the one with the choice it was made with (a copy made before
// records were kept was made by the standard shrink).
FString ReuseStep(const FGameArchive& Archive, const FArchiveStatus& Status)
{
    const bool bRecorded = Status.RecordRead == ERecordRead::Read;
    const FShrinkSettings Made = bRecorded ? Status.Record.Settings : FShrinkSettings::Standard();
    FString Next = FString::Printf(u"Run %s to make the archive smaller (it reuses the kept shrunk copy, made %s: a "
                                   u"matter of seconds",
                                   *CommandFor(*(u"shrink" + ShrinkOptionsFor(Made)), Archive), *Made.Describe());
    if (bRecorded && !Status.Record.bBuiltInRules)
        Next += u"; with the skip rules it was made with";
    return Next + u"; another choice builds a new one).";
}

FString NextStep(const FGameArchive& Archive, const FArchiveLook& Look, const FArchiveVerdict& Verdict)
{
    if (Verdict.Problem != EVerdict::Done)
        return Verdict.Advice.IsEmpty() ? Verdict.Sentence : Verdict.Sentence + u" " + Verdict.Advice;
    if (Look.Status.State == EArchiveState::Shrunk && Look.Status.bShrunkChanged)
        return FString::Printf(u"%s changed after the shrink (a mod was installed into the shrunk archive): a restore "
                               u"would take that change away from the game. %s",
                               *Archive.Shown, *AdviceFor(EVerdict::Changed, Archive));
    if (Look.Status.State == EArchiveState::Shrunk)
        return FString::Printf(u"The game loads the shrunk archive. Run %s to put the original back.",
                               *CommandFor(u"restore", Archive));
    if (Look.Status.Kept == EKeptArchive::Current)
        return ReuseStep(Archive, Look.Status);
    const FString Next = FString::Printf(u"Run %s to make the archive smaller.", *CommandFor(u"shrink", Archive));
    if (Look.Status.Kept != EKeptArchive::Stale)
        return Next;
    return Next + u" " + DescribeStaleKept(Archive, Look.Status.KeptWhy, false);
}

// What the shrunk archive (in use or kept) was made with, from its record; empty without one.
FString SettingsMade(const FArchiveStatus& Status)
{
    const bool bShrunk = Status.State == EArchiveState::Shrunk || Status.KeptShrunkBytes >= 0;
    return bShrunk && Status.RecordRead == ERecordRead::Read ? Status.Record.Settings.Describe() : FString();
}

// The states in which the archive cannot be shrunk or restored at all: status fails for them.
bool IsBroken(EArchiveState State)
{
    return State == EArchiveState::Missing || State == EArchiveState::Damaged || State == EArchiveState::NotAnArchive ||
           State == EArchiveState::Unreadable;
}

const char16_t* StateMeaning(EArchiveState State)
{
    switch (State)
    {
        case EArchiveState::Original:
            return u"the game's own archive is in use";
        case EArchiveState::Shrunk:
            return u"the shrunk archive is in use, the original is kept";
        case EArchiveState::Interrupted:
            return u"a shrink or restore was interrupted";
        case EArchiveState::Missing:
            return u"no game files found";
        case EArchiveState::Damaged:
            return u"the archive in use is damaged";
        case EArchiveState::NotAnArchive:
            return u"the archive in use is no IMG archive";
        case EArchiveState::Busy:
            return u"another shrink or restore is running";
        case EArchiveState::Unreadable:
            return u"the archive in use cannot be read";
    }
    return u"";
}

// What status says about one archive.
struct FArchiveReport
{
    FGameArchive Archive;
    FArchiveLook Look;
    FArchiveVerdict Verdict; // of the next step
    FString Next;
};

FArchiveReport LookAtArchive(const FGameArchive& Archive)
{
    FArchiveReport Report;
    Report.Archive = Archive;
    Report.Look = LookAt(Archive, true);
    Report.Verdict = NextVerdict(Archive, Report.Look);
    Report.Next = NextStep(Archive, Report.Look, Report.Verdict);
    return Report;
}

// ---- JSON -------------------------------------------------------------------------------------------------------

// The members of one archive's status.
void WriteStatusMembers(FJsonWriter& Json, const FArchiveReport& Report)
{
    const FArchiveFiles& Files = Report.Archive.Files;
    const FArchiveStatus& Status = Report.Look.Status;
    const FShrinkNeeds& Needs = Report.Look.Needs;
    const bool bRestorable = Status.State == EArchiveState::Shrunk || Status.State == EArchiveState::Interrupted;
    const bool bCanShrink =
        CheckBeforeShrink(Report.Archive, Report.Look, FShrinkSettings::Standard()).Problem == EVerdict::Done;
    const bool bCanRestore = bRestorable && CheckBeforeRestore(Report.Archive, Report.Look).Problem == EVerdict::Done;
    WriteArchiveNames(Json, Report.Archive);
    Json.Key(u"state").String(GetArchiveStateName(Status.State));
    Json.Key(u"canShrink").Bool(bCanShrink);
    Json.Key(u"canRestore").Bool(bCanRestore);
    Json.Key(u"files").BeginObject(FJsonWriter::Inline);
    Json.Key(*Files.Name).Size(Status.CurBytes);
    Json.Key(*appPathFileName(Files.OrigBak)).Size(Status.OrigBytes);
    Json.Key(*appPathFileName(Files.KeptShrunk)).Size(Status.KeptShrunkBytes);
    Json.Key(*appPathFileName(Files.Temp)).Size(Status.TempBytes);
    Json.EndObject();
    Json.Key(u"checks").BeginObject(FJsonWriter::Inline);
    Json.Key(u"writable").Bool(Needs.WriteError == 0);
    Json.Key(u"freeBytes").Size(Needs.FreeBytes);
    Json.Key(u"neededBytes").Number(Needs.bNeedsBuild ? Needs.NeededBytes : 0);
    Json.EndObject();
    Json.Key(u"kept").String(KeptName(Status.Kept));
    if (Status.Kept == EKeptArchive::Stale)
        Json.Key(u"keptWhy").String(Status.KeptWhy);
    else
        Json.Key(u"keptWhy").Null();
    // What the shrunk archive in use or kept was made with: only its record tells.
    if (!SettingsMade(Status).IsEmpty())
        Json.Key(u"settings").String(Status.Record.Settings.ToText());
    Json.Key(u"changedAfterShrink").Bool(Status.bShrunkChanged);
    Json.Key(u"textureDictionaries").Size(Report.Look.TextureDictionaries);
    Json.Key(u"extraBytes").Number(GetBytesBeyondOriginal(Status));
    Json.Key(u"next").String(Report.Next);
}

// The reports as a JSON array, a broken archive's with its error.
FString StatusJsonArray(const TDynArray<FArchiveReport>& Reports)
{
    FJsonWriter Json;
    Json.BeginArray();
    for (const FArchiveReport& Report : Reports)
    {
        Json.BeginObject();
        WriteStatusMembers(Json, Report);
        if (IsBroken(Report.Look.Status.State))
            WriteJsonError(Json.Key(u"error"), ErrorFor(Report.Verdict.Problem), Report.Verdict.Sentence,
                           Report.Verdict.Advice);
        Json.EndObject();
    }
    return Json.EndArray().Text();
}

// ---- Text -------------------------------------------------------------------------------------------------------

FString GameFolderLine(const FGameDir& Game, int32_t Width)
{
    const FString From = DescribeGameDirSource(Game);
    return WrapText(FString::Printf(u"Game folder: %s%s", *ShellQuote(Game.Dir),
                                    From.IsEmpty() ? u"" : *(FString(u" (from ") + From + u")")),
                    Width, 13);
}

// How much more than the original alone the files hold; empty when nothing more.
FString ExtraLine(int64_t ExtraBytes, int32_t Width)
{
    if (ExtraBytes <= 0)
        return FString();
    return WrapText(FString::Printf(u"Disk:        the files above take %s more than the original alone.",
                                    *appFormatMegabytes(ExtraBytes)),
                    Width, 13);
}

// Which skip rules a shrink would take, and where the player's own file would go when there is none.
FString SkipRulesLine(const FSkipRulesCheck& SkipRules, int32_t Width)
{
    FString Line = DescribeSkipRules(SkipRules);
    if (SkipRules.Source == ESkipRulesSource::BuiltIn && !SkipRules.bFileFound)
    {
        const FString UserFile = FSkipRules::UserFile();
        const FString Beside = appWithSystemSeparators(FString(appBaseDir()) + GSkipRulesFileName);
        Line += UserFile.IsEmpty() ? FString::Printf(u"; %s changes them", *ShellQuote(Beside))
                                   : FString::Printf(u"; %s (or %s) changes them", *ShellQuote(UserFile),
                                                     *ShellQuote(Beside));
    }
    return WrapText(u"Skip rules:  " + Line, Width, 13);
}

FString ChecksLine(const FArchiveLook& Look)
{
    const FShrinkNeeds& Needs = Look.Needs;
    FString Line = Needs.WriteError == 0 ? FString(u"writable") : FString(u"not writable");
    Line += FString::Printf(u", %s free", *appFormatMegabytes(Needs.FreeBytes));
    if (Look.Status.State == EArchiveState::Original)
        Line += Needs.bNeedsBuild ? FString::Printf(u" (a shrink needs %s)", *appFormatMegabytes(Needs.NeededBytes))
                                  : FString::Printf(u" (the shrink below only swaps files; another choice needs %s)",
                                                    *appFormatMegabytes(Needs.NeededBytes));
    return Line;
}

// The state of the one archive of the game, file by file, as status always showed it.
FString StatusText(const FArchiveReport& Report, const FSkipRulesCheck& SkipRules, int32_t Width)
{
    const FArchiveFiles& Files = Report.Archive.Files;
    const FArchiveStatus& Status = Report.Look.Status;
    FString Text = GameFolderLine(Report.Archive.Game, Width);
    Text += WrapText(
        FString::Printf(u"State:       %s (%s)", GetArchiveStateName(Status.State), StateMeaning(Status.State)), Width,
        13);
    const struct
    {
        const FString* Path;
        int64_t Bytes;
        const char16_t* Note;
    } Rows[] = {
        {&Files.Cur, Status.CurBytes,
         Status.State == EArchiveState::Interrupted ? u"" : GetArchiveStateName(Status.State)},
        {&Files.OrigBak, Status.OrigBytes, u"the original, kept"},
        {&Files.KeptShrunk, Status.KeptShrunkBytes, u"a shrunk copy kept for the next shrink"},
        {&Files.Temp, Status.TempBytes, u"left by an interrupted shrink; the next shrink deletes it"},
    };
    TDynArray<TDynArray<FString>> Present;
    for (const auto& Row : Rows)
        if (Row.Bytes >= 0)
            Present.AddItem(TableRow({ShownFile(Report.Archive, *Row.Path), appFormatMegabytes(Row.Bytes), Row.Note}));
    if (Present.Num() > 0)
        Text += u"Files:\n" + FormatTable(Present, 1u << 1, 2) + ExtraLine(GetBytesBeyondOriginal(Status), Width);
    if (!SettingsMade(Status).IsEmpty())
        Text += WrapText(FString::Printf(u"Made with:   %s (%s)", *SettingsMade(Status),
                                         Status.State == EArchiveState::Shrunk ? u"the shrunk archive in use"
                                                                               : u"the kept shrunk archive"),
                         Width, 13);
    if (!IsBroken(Status.State) && Status.State != EArchiveState::Busy)
        Text += SkipRulesLine(SkipRules, Width) +
                WrapText(FString::Printf(u"Checks:      %s", *ChecksLine(Report.Look)), Width, 13);
    // What is wrong with a broken archive is the failure, said once on standard error.
    if (!IsBroken(Status.State))
        Text += WrapText(FString::Printf(u"Next:        %s", *Report.Next), Width, 13);
    return Text;
}

// The checks of an archive that has them; empty for one that cannot be shrunk or is busy.
FString ChecksCell(const FArchiveReport& Report)
{
    const EArchiveState State = Report.Look.Status.State;
    return IsBroken(State) || State == EArchiveState::Busy ? FString() : ChecksLine(Report.Look);
}

// One row per archive, then what to do next with each. The checks are a column while the table fits in Width
// columns, else a list of their own; the lists' sentences are broken at ProseColumns.
FString StatusTable(const TDynArray<FArchiveReport>& Reports, int32_t Width, int32_t ProseColumns)
{
    FString Text = GameFolderLine(Reports[0].Archive.Game, ProseColumns);
    TDynArray<TDynArray<FString>> Rows;
    Rows.AddItem(TableRow({u"Archive", u"State", u"Size", u"Checks"}));
    for (const FArchiveReport& Report : Reports)
        Rows.AddItem(TableRow({Report.Archive.Shown, GetArchiveStateName(Report.Look.Status.State),
                               appFormatMegabytes(Report.Look.Status.CurBytes), ChecksCell(Report)}));
    const uint32_t SizeColumn = 1u << 2;
    const FString Table = FormatTable(Rows, SizeColumn, 2);
    if (WidestLine(Table) <= Width)
        Text += Table;
    else
    {
        for (TDynArray<FString>& Row : Rows)
            Row.Remove(3);
        Text += FormatTable(Rows, SizeColumn, 2);
        Text += u"Checks:\n";
        for (const FArchiveReport& Report : Reports)
            if (!ChecksCell(Report).IsEmpty())
                Text +=
                    WrapText(FString::Printf(u"  %s: %s", *Report.Archive.Shown, *ChecksCell(Report)), ProseColumns, 4);
    }
    int64_t ExtraBytes = 0;
    for (const FArchiveReport& Report : Reports)
        ExtraBytes += GetBytesBeyondOriginal(Report.Look.Status);
    if (ExtraBytes > 0)
        Text += WrapText(FString::Printf(u"Disk: the archives' files take %s more than the originals alone.",
                                         *appFormatMegabytes(ExtraBytes)),
                         ProseColumns, 2);
    FString Next;
    for (const FArchiveReport& Report : Reports)
        if (!IsBroken(Report.Look.Status.State))
            Next += WrapText(FString::Printf(u"  %s: %s", *Report.Archive.Shown, *Report.Next), ProseColumns, 4);
    return Next.IsEmpty() ? Text : Text + u"Next:\n" + Next;
}
// The loose dictionaries the game loads beside its archives, by mod: how many and how large, and those drawn at
// screen size, which a shrink leaves as they are. Empty when there are none.
FString LooseDictionariesText(const FModFolderFiles& Files, int32_t ProseColumns)
{
    if (Files.Dictionaries.Num() == 0)
        return FString();
    struct FTotals
    {
        int32_t Count = 0;
        int64_t Bytes = 0;
    };
    TDynArray<FString> Names;
    TDynArray<FTotals> Totals;
    FTotals Screen;
    for (const FLooseDictionary& Dictionary : Files.Dictionaries)
    {
        const FString Name = Dictionary.Mod.IsEmpty() ? FString(u"(the game's data files)") : Dictionary.Mod;
        if (Names.Num() == 0 || Names.Last() != Name)
        {
            Names.AddItem(Name);
            Totals.AddItem(FTotals());
        }
        FTotals& Sum = Dictionary.Use == ELooseUse::Screen ? Screen : Totals.Last();
        Sum.Count += 1;
        Sum.Bytes += Dictionary.Bytes;
    }
    TDynArray<TDynArray<FString>> Rows;
    Rows.AddItem(TableRow({u"Mod", u"Dictionaries", u"Size"}));
    for (int32_t i = 0; i < Names.Num(); ++i)
        if (Totals[i].Count > 0)
            Rows.AddItem(TableRow({Names[i], FString::Printf(u"%d", Totals[i].Count),
                                   appFormatMegabytes(Totals[i].Bytes)}));
    FString Text = WrapText(FString::Printf(u"Loose texture dictionaries the game loads%s:",
                                            Files.Folder.IsEmpty() ? u"" : u" (with the mod loader's folder)"),
                            ProseColumns, 2);
    Text += FormatTable(Rows, (1u << 1) | (1u << 2), 2);
    if (Screen.Count > 0)
        Text += WrapText(FString::Printf(u"Drawn at screen size (interface, fonts, radar, loading screens), and left as "
                                         u"they are: %d, %s.",
                                         Screen.Count, *appFormatMegabytes(Screen.Bytes)),
                         ProseColumns, 2);
    return Text;
}
} // namespace

int32_t RunStatus(const FPellmorOptions& Options, FPellmorConsole& Console)
{
    FGameDir Game;
    TDynArray<FGameArchive> Archives;
    int32_t Exit = PELLMOR_Usage;
    if (!FindGameArchives(Options, Console, Game, Archives, Exit))
        return Exit;
    TDynArray<FArchiveReport> Reports;
    for (const FGameArchive& Archive : Archives)
        Reports.AddItem(LookAtArchive(Archive));
    const FSkipRulesCheck SkipRules = CheckSkipRulesFile(Options.SkipRulesFile);

    if (!Options.NamesArchives())
    {
        // One archive, one object: the shape scripts have always read.
        const FArchiveReport& Report = Reports[0];
        if (!Options.bJson)
            Console.Out(StatusText(Report, SkipRules, ProseWidth(Console)));
        const FJsonMembers Members = [&Report, &SkipRules](FJsonWriter& Json)
        {
            WriteStatusMembers(Json, Report);
            WriteSkipRules(Json.Key(u"skipRules"), SkipRules);
        };
        if (IsBroken(Report.Look.Status.State))
            return PrintVerdict(Console, Options, Report.Verdict, Members);
        if (Options.bJson)
        {
            FJsonWriter Json;
            Members(Json.BeginObject());
            Console.Out(Json.EndObject().Text());
        }
        return PELLMOR_Done;
    }

    // The exit code of the first archive that cannot be worked on.
    Exit = PELLMOR_Done;
    for (const FArchiveReport& Report : Reports)
        if (Exit == PELLMOR_Done && IsBroken(Report.Look.Status.State))
            Exit = PellmorExitCode(ErrorFor(Report.Verdict.Problem), CoreOS::INTERRUPT_None);
    Console.Out(Options.bJson ? StatusJsonArray(Reports)
                              : StatusTable(Reports, TableWidth(Console), ProseWidth(Console)) +
                                    SkipRulesLine(SkipRules, ProseWidth(Console)));
    if (!Options.bJson && Options.bAllArchives)
        Console.Out(LooseDictionariesText(FindModFolderFiles(Game.Dir, ListGameArchives(Game.Dir).Archives),
                                          ProseWidth(Console)));
    if (!Options.bJson)
        for (const FArchiveReport& Report : Reports)
            if (IsBroken(Report.Look.Status.State))
                PrintVerdict(Console, Options, Report.Verdict);
    return Exit;
}
