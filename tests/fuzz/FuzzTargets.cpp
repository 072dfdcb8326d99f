// The fuzz targets' bodies: texture dictionary entries, archives, INI files and skip rules from arbitrary bytes.
#include "tests/fuzz/FuzzTargets.h"

#include <cstring>
#include <string>

#include "Core/Inc/Core.h"
#include "Core/Inc/CorePath.h"
#include "Core/Inc/FConfigCacheIni.h"
#include "shrinker/FImgShrinker.h"
#include "shrinker/FReencodePolicy.h"
#include "shrinker/FRwChunk.h"
#include "shrinker/FSkipRules.h"
#include "shrinker/FSkipRulesCheck.h"
#include "engine/FGameArchives.h"
#include "engine/FGameDir.h"
#include "engine/FLooseFiles.h"
#include "engine/FModFolder.h"
#include "shrinker/FTxdImage.h"
#include "tests/support/TempDir.h"

namespace
{
// One folder for the whole run: a file per target, written again for every input.
const FTempDir& WorkDir()
{
    static const FTempDir Dir;
    return Dir;
}

std::string Bytes(const uint8_t* Data, size_t Size)
{
    return Size ? std::string(reinterpret_cast<const char*>(Data), Size) : std::string();
}

bool SameBytes(const uint8_t* A, const uint8_t* B, size_t Size)
{
    return Size == 0 || std::memcmp(A, B, Size) == 0;
}

bool CountsAddUp(const FTextureFacts& Facts)
{
    return Facts.Total == Facts.Changed + Facts.Skipped + Facts.KeptAsTheyAre() && Facts.CannotReachSide >= 0 &&
           Facts.CannotReachSide <= Facts.Total;
}

// ---- txd_entry --------------------------------------------------------------------------------------------------

const FSkipRules& DefaultSkipRules()
{
    static const FSkipRules Rules = []
    {
        FSkipRules Loaded;
        Loaded.LoadDefaults();
        return Loaded;
    }();
    return Rules;
}

// A rewritten dictionary against the one it came from: the same textures in the same order, each under the
// same header but for its size and level count, which may only fall, and no record longer than before.
const char* CompareTextures(const uint8_t* Before, int32_t BeforeBytes, const uint8_t* After, int32_t AfterBytes)
{
    TDynArray<FRwChunk> Old, New;
    if (!ReadChunks(Before, BeforeBytes, false, Old) || !CheckTxdShape(Old))
        return "an entry that was changed was not a well-formed dictionary";
    if (!ReadChunks(After, AfterBytes, false, New) || !CheckTxdShape(New))
        return "a rewritten entry is not a well-formed texture dictionary";
    const TDynArray<FRwChunk>& OldImages = Old[0].InnerChunks;
    const TDynArray<FRwChunk>& NewImages = New[0].InnerChunks;
    if (OldImages.Num() != NewImages.Num())
        return "a rewritten dictionary holds another number of textures";
    for (int32_t i = 1; i + 1 < OldImages.Num(); ++i)
    {
        const FHeldBytes& OldRecord = OldImages[i].InnerChunks[0].DataBytes;
        const FHeldBytes& NewRecord = NewImages[i].InnerChunks[0].DataBytes;
        FTxdImage OldImage, NewImage;
        if (!ParseTxdImage(OldRecord.GetData(), OldRecord.Num(), OldImage) ||
            !ParseTxdImage(NewRecord.GetData(), NewRecord.Num(), NewImage))
            return "a texture record of a rewritten dictionary does not parse";
        FTxdImageHeader A = OldImage.Header, B = NewImage.Header;
        if (B.Width > A.Width || B.Height > A.Height || B.MipLevels > A.MipLevels || NewRecord.Num() > OldRecord.Num())
            return "a texture grew";
        A.Width = B.Width = A.Height = B.Height = 0;
        A.MipLevels = B.MipLevels = 0;
        if (std::memcmp(&A, &B, sizeof(A)) != 0)
            return "a texture's header changed beyond its size and level count";
    }
    return nullptr;
}

// One entry through the stage with the given settings, checked.
const char* FuzzTxdEntryWith(const uint8_t* Data, size_t Size, const FShrinkSettings& Settings)
{
    // The entry in a buffer of exactly its size, so that a read past it is seen.
    FByteArray Entry;
    Entry.Append(Data, int32_t(Size));
    int32_t NumBytes = int32_t(Size);
    FTxdEntryContext Context(DefaultSkipRules(), &ReencodeImage, FString(u"fuzz"), nullptr, nullptr, Settings);
    const ETxdEntryResult Result = ProcessTxdEntry(Context, Entry.GetData(), NumBytes);

    if (!CountsAddUp(Context.Stats.Textures))
        return "the texture outcomes do not add up to the textures counted";
    if (Result != TXDENTRY_Changed)
    {
        if (NumBytes != int32_t(Size) || !SameBytes(Entry.GetData(), Data, Size))
            return "an entry reported unchanged was changed";
        if (Result == TXDENTRY_Malformed && Context.Stats.Textures.Total != 0)
            return "a malformed entry counted textures";
        return nullptr;
    }
    if (NumBytes <= 0 || NumBytes > int32_t(Size))
        return "a changed entry grew or became empty";
    for (size_t i = size_t(NumBytes); i < Size; ++i)
        if (Entry[int32_t(i)] != 0)
            return "a changed entry is not followed by zeros";

    if (const char* Broken = CompareTextures(Data, int32_t(Size), Entry.GetData(), NumBytes))
        return Broken;

    // What the stage writes, it takes again as a texture dictionary.
    FTxdEntryContext Again(DefaultSkipRules(), &ReencodeImage, FString(u"fuzz"), nullptr, nullptr, Settings);
    int32_t AgainBytes = NumBytes;
    if (ProcessTxdEntry(Again, Entry.GetData(), AgainBytes) == TXDENTRY_Malformed)
        return "a rewritten entry is not taken as a texture dictionary again";
    return nullptr;
}

// The standard shrink, and the largest side (smooth) with a side that the input's first byte picks.
const char* FuzzTxdEntry(const uint8_t* Data, size_t Size)
{
    // Entries are at most 256 MiB; the fuzzer's inputs are far smaller.
    if (Size > (size_t(1) << 28))
        return nullptr;
    if (const char* Broken = FuzzTxdEntryWith(Data, Size, FShrinkSettings::Standard()))
        return Broken;
    const int32_t Side = SHRINK_MinSide << (Size > 0 ? Data[0] % 4 : 0);
    return FuzzTxdEntryWith(Data, Size, FShrinkSettings::LargestSide(Side));
}

// ---- img_archive ------------------------------------------------------------------------------------------------

// Whether an entry was copied exactly: what the source does not hold reads as zeros.
bool SameEntryData(const std::string& Src, const FImgDirEntry& SrcEntry, const std::string& Out,
                   const FImgDirEntry& OutEntry)
{
    if (SrcEntry.BlockCount != OutEntry.BlockCount || uint64_t(OutEntry.DataEnd()) > Out.size())
        return false;
    for (int64_t i = 0; i < SrcEntry.DataBytes(); ++i)
    {
        const uint64_t At = uint64_t(SrcEntry.DataOffset() + i);
        const char Expected = At < Src.size() ? Src[size_t(At)] : 0;
        if (Out[size_t(OutEntry.DataOffset() + i)] != Expected)
            return false;
    }
    return true;
}

// An archive that a shrink wrote, checked against its source: the same header and names, the entries back to
// back from the source's first block on and none larger than before, every entry but the texture dictionaries
// copied exactly, and no more bytes than the entries need.
const char* CheckShrunkArchive(const std::string& Src, const std::string& Out)
{
    if (Out.size() < sizeof(FImgHeader) || std::memcmp(Out.data(), Src.data(), sizeof(FImgHeader)) != 0)
        return "the shrunk archive's header differs from its source's";
    FImgHeader Header;
    std::memcpy(&Header, Src.data(), sizeof(Header));
    const size_t DirEnd = sizeof(FImgHeader) + size_t(Header.NumEntries) * sizeof(FImgDirEntry);
    if (Src.size() < DirEnd || Out.size() < DirEnd)
        return "an archive that was shrunk is shorter than its directory";
    int64_t Next = -1;
    for (uint32_t i = 0; i < Header.NumEntries; ++i)
    {
        FImgDirEntry SrcEntry, OutEntry;
        std::memcpy(&SrcEntry, Src.data() + sizeof(FImgHeader) + size_t(i) * sizeof(FImgDirEntry), sizeof(SrcEntry));
        std::memcpy(&OutEntry, Out.data() + sizeof(FImgHeader) + size_t(i) * sizeof(FImgDirEntry), sizeof(OutEntry));
        if (!HaveSameName(SrcEntry, OutEntry))
            return "an entry's name changed";
        if (Next < 0)
            Next = SrcEntry.BlockOffset;
        if (OutEntry.BlockOffset != Next || OutEntry.BlockCount > SrcEntry.BlockCount)
            return "the shrunk entries are not back to back, or one grew";
        Next += OutEntry.BlockCount;
        FString TxdName;
        if (!GetImgTxdName(SrcEntry, TxdName) && !SameEntryData(Src, SrcEntry, Out, OutEntry))
            return "an entry that is no texture dictionary was not copied byte for byte";
    }
    if (Header.NumEntries > 0 && int64_t(Out.size()) != Next * IMG_BlockSize)
        return "the shrunk archive does not end right after its last entry";
    return nullptr;
}

const char* FuzzImgArchive(const uint8_t* Data, size_t Size)
{
    const FTempDir& Dir = WorkDir();
    const FString Src = Dir / u"source.img";
    const FString Dest = Dir / u"shrunk.img";
    const std::string Input = Bytes(Data, Size);
    if (!WriteTestFile(Src, Input))
        return "cannot write the input to a temporary file";

    FShrinkOptions Options;
    // A rules file that does not exist: the built-in rules, and no config cache involved.
    Options.SkipRulesFile = Dir / u"no-rules.ini";
    const FShrinkResult Result = ShrinkImgFile(*Dest, *Src, Options);

    FShrinkOptions DryOptions = Options;
    DryOptions.bDryRun = true;
    const FString DryDest = Dir / u"dry.img";
    const FShrinkResult Dry = ShrinkImgFile(*DryDest, *Src, DryOptions);

    std::string Source, Out;
    if (!ReadTestFile(Src, Source) || Source != Input)
        return "the source archive changed";
    if (TestFileExists(DryDest))
        return "a dry run wrote a file";
    if (!CountsAddUp(Result.Stats.Textures))
        return "the texture outcomes do not add up to the textures counted";
    if (Dry.bOk != Result.bOk || Dry.Failure != Result.Failure || Dry.OutputBytes != Result.OutputBytes)
        return "a dry run and a real shrink of the same archive disagree";
    if (!Result.bOk)
    {
        if (Result.Reason.IsEmpty())
            return "a failed shrink gave no reason";
        return TestFileExists(Dest) ? "a failed shrink left its destination behind" : nullptr;
    }
    if (!ReadTestFile(Dest, Out))
        return "a successful shrink left no destination";
    if (int64_t(Out.size()) != Result.OutputBytes)
        return "the destination's size is not the size reported";
    uint64_t SourceDigest = 0, OutputDigest = 0;
    if (!DigestImgArchive(*Src, SourceDigest) || SourceDigest != Result.SourceDigest ||
        Dry.SourceDigest != Result.SourceDigest)
        return "the source's digest is not the digest of the source file";
    if (!DigestImgArchive(*Dest, OutputDigest) || OutputDigest != Result.OutputDigest ||
        Dry.OutputDigest != Result.OutputDigest)
        return "the output's digest is not the digest of the file written";
    return CheckShrunkArchive(Input, Out);
}

// ---- config_file ------------------------------------------------------------------------------------------------

const char* FuzzConfigFile(const uint8_t* Data, size_t Size)
{
    const FTempDir& Dir = WorkDir();
    if (!WriteTestFile(Dir / u"fuzz.ini", Bytes(Data, Size)))
        return "cannot write the input to a temporary file";
    const char16_t* const File = u"fuzz.ini";

    Core::Imp::FConfigCacheIni Cache;
    Cache.ConfigDir = Dir.Path();
    TDynArray<FString> Sections;
    Cache.GetSectionNames(Sections, File);
    for (const FString& Name : Sections)
    {
        const FConfigSection* Section = Cache.GetSectionPtr(*Name, false, true, File);
        if (!Section)
            return "a section that the file lists is not found";
        for (const auto& Pair : *Section)
        {
            char16_t Small[8];
            TDynArray<FString> Values;
            if (!Cache.GetStringBuffer(*Name, *Pair.Key, Small, 8, File) ||
                !Cache.GetArray(*Name, *Pair.Key, Values, File))
                return "a key that the section holds is not found";
            int32_t Int = 0;
            float Float = 0;
            bool bBool = false;
            Cache.GetInt(*Name, *Pair.Key, Int, File);
            Cache.GetFloat(*Name, *Pair.Key, Float, File);
            Cache.GetBool(*Name, *Pair.Key, bBool, File);
        }
        char16_t Listing[64];
        Cache.GetSection(*Name, Listing, 64, File);
    }

    // A change makes the file be written back; the cache then reads what it wrote.
    Cache.SetString(Sections.Num() ? *Sections[0] : u"Fuzz", u"Key", u"Value", File, true);
    Cache.Flush(true, File);
    TDynArray<FString> Again;
    if (!Cache.GetSectionNames(Again, File))
        return "a file written back holds no section";
    return nullptr;
}

// ---- skip_rules -------------------------------------------------------------------------------------------------

// The rules a shrink acts on: those whose action is skip or allow.
int32_t ActingRules(const FSkipRules& Rules)
{
    int32_t Count = 0;
    for (const auto& Pair : Rules.ExactRules)
        Count += Pair.Value.Action.EqualsNoCase(u"skip") || Pair.Value.Action.EqualsNoCase(u"allow");
    for (const FSkipRule& Rule : Rules.WildcardRules)
        Count += Rule.Action.EqualsNoCase(u"skip") || Rule.Action.EqualsNoCase(u"allow");
    return Count;
}

const char* FuzzSkipRules(const uint8_t* Data, size_t Size)
{
    // Without a zero the whole input is the file.
    size_t FileBytes = Size;
    while (FileBytes > 0 && Data[FileBytes - 1] != 0)
        --FileBytes;
    const size_t NamesAt = FileBytes > 0 ? FileBytes : Size;
    FileBytes = FileBytes > 0 ? FileBytes - 1 : Size;
    const FString Path = WorkDir() / u"SkipRules.ini";
    if (!WriteTestFile(Path, Bytes(Data, FileBytes)))
        return "cannot write the input to a temporary file";

    FSkipRules Rules;
    Rules.Load(*Path);
    // The checker tells the user what a shrink will make of the file: it must agree with the rules read.
    const FSkipRulesCheck Check = CheckSkipRulesFile(Path);
    if (Check.Source == ESkipRulesSource::BuiltIn
            ? Rules.ExactRules.Num() + Rules.WildcardRules.Num() != FSkipRules::NumDefaultRules()
            : Check.NumRules != ActingRules(Rules))
        return "the rules file checker tells of other rules than a shrink reads";

    for (size_t Pos = NamesAt; Pos < Size;)
    {
        const uint8_t* End = static_cast<const uint8_t*>(std::memchr(Data + Pos, '\n', Size - Pos));
        const size_t Len = End ? size_t(End - (Data + Pos)) : Size - Pos;
        Rules.MatchSkipRule(FString::FromAnsi(Bytes(Data + Pos, Len).c_str()));
        Pos += Len + 1;
    }
    return nullptr;
}

// The small text files the engine reads from the player's disk: data\gta.dat (its archive and dictionary lines),
// a Steam libraryfolders.vdf, a Wine prefix's system.reg, the mod loader's modloader.ini and the loose
// dictionaries' journal. The same bytes go to every reader.
const char* FuzzGameText(const uint8_t* Data, size_t Size)
{
    if (Size > (size_t(1) << 20))
        return nullptr;
    FString Text;
    for (size_t i = 0; i < Size; ++i)
        Text += char16_t(Data[i]);

    TDynArray<FGameDatNote> Notes;
    for (const EGameDatLines Lines : {EGameDatLines::Archives, EGameDatLines::Dictionaries})
        for (const FGameDatEntry& Entry : ParseGameDat(Text, Notes, Lines))
        {
            // A name that is taken stays below the game folder.
            FString Path;
            if (!ResolveArchiveName(FString(u"G/"), Entry.Name, Path) || !Path.StartsWith(u"G/"))
                return "gta.dat gave a name outside the game folder";
        }

    // The mod loader's settings and the journal, in a game folder of their own with one mod in it.
    const FTempDir& Dir = WorkDir();
    const FString Game = Dir / u"game/";
    for (const char16_t* Folder : {u"game", u"game/modloader", u"game/modloader/mod", u"game/.pellmor"})
        CoreOS::DirMake(*(Dir / Folder));
    if (!WriteTestFile(Game + u"modloader/modloader.ini", Bytes(Data, Size)) ||
        !WriteTestFile(Game + u".pellmor/loose.journal", "pellmor loose journal 1\n" + Bytes(Data, Size)) ||
        !WriteTestFile(Game + u"modloader/mod/a.txd", "x"))
        return "cannot write the input to a temporary file";
    FindModFolderFiles(Game, TDynArray<FString>());
    FLooseJournal Journal;
    FString Why;
    if (ReadLooseJournal(Game, Journal, Why))
        for (const FLooseEntry& Entry : Journal.Entries)
        {
            if (Entry.Relative.InStr(u"..") >= 0 || appIsAbsolutePath(*Entry.Relative))
                return "the journal named a file outside the game folder";
            GetLooseState(Game, Entry);
        }
    ReadSteamLibraryFolders(Text);
    FString Value;
    ReadWineRegValue(Text, FString(u"Software\\Quorrin: San Andreas"), FString(u"GTA:SA Path"), Value);
    MapWineDrivePath(FString(u"/prefix"), Value);
    return nullptr;
}
} // namespace

const FFuzzTarget GFuzzTargets[] = {
    {"txd_entry", &FuzzTxdEntry},
    {"img_archive", &FuzzImgArchive},
    {"config_file", &FuzzConfigFile},
    {"skip_rules", &FuzzSkipRules},
    {"game_text", &FuzzGameText},
};
const int32_t GNumFuzzTargets = int32_t(sizeof(GFuzzTargets) / sizeof(GFuzzTargets[0]));

const FFuzzTarget* FindFuzzTarget(const char* Name)
{
    for (const FFuzzTarget& Target : GFuzzTargets)
        if (std::strcmp(Target.Name, Name) == 0)
            return &Target;
    return nullptr;
}
