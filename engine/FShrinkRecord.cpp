// The shrink's record beside the archive: written, read and compared.
#include "engine/FShrinkRecord.h"

#include <mutex>

#include "engine/FGameFiles.h"

#include "Core/Inc/CoreHash.h"
#include "Core/Inc/FConfigCacheIni.h"
#include "engine/FGameDisk.h"
#include "shrinker/FImgArchive.h"

namespace
{
const char16_t* const Section = u"Shrink";

FString Hex(uint64_t Value)
{
    return FString::Printf(u"%016llx", (unsigned long long)Value);
}

bool ParseHex(const FString& Text, uint64_t& Value)
{
    if (Text.Len() != 16)
        return false;
    Value = 0;
    for (int32_t i = 0; i < Text.Len(); ++i)
    {
        const char16_t C = appToLower(Text[i]);
        const int32_t Digit = C >= u'0' && C <= u'9' ? C - u'0' : C >= u'a' && C <= u'f' ? C - u'a' + 10 : -1;
        if (Digit < 0)
            return false;
        Value = (Value << 4) | uint64_t(Digit);
    }
    return true;
}

bool ParseNumber(const FString& Text, int64_t& Value)
{
    if (Text.IsEmpty() || Text.Len() > 18)
        return false;
    const bool bNegative = Text[0] == u'-';
    Value = 0;
    for (int32_t i = bNegative ? 1 : 0; i < Text.Len(); ++i)
    {
        if (Text[i] < u'0' || Text[i] > u'9')
            return false;
        Value = Value * 10 + (Text[i] - u'0');
    }
    Value = bNegative ? -Value : Value;
    return true;
}

// The record's values as lines of its one section, in a fixed order.
FString RecordText(const FShrinkRecord& Record)
{
    FString Text = FString::Printf(u"[%s]\r\n", Section);
    auto Line = [&Text](const char16_t* Key, const FString& Value) { Text += FString(Key) + u"=" + Value + u"\r\n"; };
    Line(u"Settings", Record.Settings.ToText());
    Line(u"SkipRules", Hex(Record.SkipRulesDigest));
    Line(u"BuiltInRules", FString(Record.bBuiltInRules ? u"1" : u"0"));
    Line(u"SourceBytes", FString::Printf(u"%lld", (long long)Record.Source.Bytes));
    Line(u"SourceTime", FString::Printf(u"%lld", (long long)Record.Source.Time));
    Line(u"SourceDigest", Hex(Record.SourceDigest));
    Line(u"ShrunkBytes", FString::Printf(u"%lld", (long long)Record.Shrunk.Bytes));
    Line(u"ShrunkTime", FString::Printf(u"%lld", (long long)Record.Shrunk.Time));
    Line(u"ShrunkDigest", Hex(Record.ShrunkDigest));
    Line(u"ShrunkDirectory", Hex(Record.ShrunkDirectoryDigest));
    Line(u"Changed", FString(Record.bChanged ? u"1" : u"0"));
    if (Record.FitShare != 0)
        Line(u"FitShare", FString::Printf(u"%lld", (long long)Record.FitShare));
    return Text;
}

// Reads every value the record must hold; false when one is missing or makes no sense.
bool ParseRecord(const Core::Service::FConfigSection& Values, FShrinkRecord& Record)
{
    auto Get = [&Values](const char16_t* Key) -> FString
    {
        const FString* Found = Values.Find(FString(Key));
        return Found ? *Found : FString();
    };
    int64_t BuiltIn = 0;
    int64_t Changed = 0;
    const bool bRead =
        FShrinkSettings::FromText(Get(u"Settings"), Record.Settings) &&
        ParseHex(Get(u"SkipRules"), Record.SkipRulesDigest) && ParseNumber(Get(u"BuiltInRules"), BuiltIn) &&
        ParseNumber(Get(u"SourceBytes"), Record.Source.Bytes) && ParseNumber(Get(u"SourceTime"), Record.Source.Time) &&
        ParseHex(Get(u"SourceDigest"), Record.SourceDigest) && ParseNumber(Get(u"ShrunkBytes"), Record.Shrunk.Bytes) &&
        ParseNumber(Get(u"ShrunkTime"), Record.Shrunk.Time) && ParseHex(Get(u"ShrunkDigest"), Record.ShrunkDigest) &&
        ParseHex(Get(u"ShrunkDirectory"), Record.ShrunkDirectoryDigest) && ParseNumber(Get(u"Changed"), Changed);
    Record.bBuiltInRules = BuiltIn != 0;
    Record.bChanged = Changed != 0;
    // Records of archives planned alone have no share.
    const FString Share = Get(u"FitShare");
    return bRead && (Share.IsEmpty() || (ParseNumber(Share, Record.FitShare) && Record.FitShare > 0));
}
} // namespace

FFileStamp StampOf(const FString& Path)
{
    FFileStamp Stamp;
    Stamp.Bytes = FGameDisk::FileSize(Path);
    CoreOS::FLocalTime Time;
    if (Stamp.Bytes < 0 || !FGameDisk::GetModifiedTime(Path, Time))
        return Stamp;
    const int64_t Seconds =
        ((((int64_t(Time.Year - 2000) * 13 + Time.Month) * 32 + Time.Day) * 24 + Time.Hour) * 60 + Time.Minute) * 60 +
        Time.Second;
    Stamp.Time = Seconds * 1000 + Time.Milliseconds;
    return Stamp;
}

ERecordRead ReadShrinkRecord(const FArchiveFiles& Files, FShrinkRecord& Record)
{
    if (!FGameDisk::Exists(Files.Record))
        return ERecordRead::None;
    Core::Imp::FConfigFile File;
    FGameDisk::ReadConfig(Files.Record, File);
    const Core::Service::FConfigSection* Values = File.Find(FString(Section));
    FShrinkRecord Parsed;
    if (!Values || !ParseRecord(*Values, Parsed))
        return ERecordRead::Unreadable;
    Record = Parsed;
    return ERecordRead::Read;
}

bool WriteShrinkRecord(const FArchiveFiles& Files, const FShrinkRecord& Record)
{
    const FString Part = Files.Record + u".pellmor-part";
    if (!FGameDisk::SaveText(Part, RecordText(Record)))
    {
        FGameDisk::Delete(Part);
        return false;
    }
    if (FGameDisk::ReplaceInOneStep(Part, Files.Record))
        return true;
    FGameDisk::Delete(Part);
    return false;
}

bool DeleteShrinkRecord(const FArchiveFiles& Files)
{
    return FGameDisk::Remove(Files.Record);
}

uint64_t DigestImgDirectory(const FString& Path)
{
    TDynArray<FImgDirEntry> Directory;
    if (!ReadImgDirectory(*Path, Directory))
        return 0;
    return appHash64(Directory.GetData(), size_t(Directory.Num()) * sizeof(FImgDirEntry));
}

namespace
{
// The last content verdict, kept for as long as the file and the record it was made against stay as they were:
// the dialog looks once a second, and a touched archive must not be read whole every time.
struct FContentVerdict
{
    FString Path;
    FFileStamp Stamp;
    uint64_t Expected = 0;
    bool bChanged = false;
};
std::mutex GContentVerdictLock;
FContentVerdict GContentVerdict;

bool IsContentChanged(const FString& Path, const FFileStamp& Stamp, uint64_t Expected)
{
    {
        std::lock_guard<std::mutex> Guard(GContentVerdictLock);
        if (GContentVerdict.Path == Path && GContentVerdict.Stamp == Stamp && GContentVerdict.Expected == Expected)
            return GContentVerdict.bChanged;
    }
    uint64_t Digest = 0;
    // An archive that cannot be read through is not what the shrink wrote.
    const bool bChanged = !DigestImgArchive(*Path, Digest) || Digest != Expected;
    // Only a verdict on a file that stayed as it was while it was read is kept.
    if (StampOf(Path) == Stamp)
    {
        std::lock_guard<std::mutex> Guard(GContentVerdictLock);
        GContentVerdict = FContentVerdict{Path, Stamp, Expected, bChanged};
    }
    return bChanged;
}
} // namespace

bool IsShrunkChanged(const FArchiveFiles& Files, const FShrinkRecord& Record)
{
    const FFileStamp Stamp = StampOf(Files.Cur);
    if (Stamp.Bytes != Record.Shrunk.Bytes || DigestImgDirectory(Files.Cur) != Record.ShrunkDirectoryDigest)
        return true;
    if (Stamp.Time == Record.Shrunk.Time)
        return false;
    return IsContentChanged(Files.Cur, Stamp, Record.ShrunkDigest);
}
