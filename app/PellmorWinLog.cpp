// The dialog's log of each run, PellmorWin.log.
#include "app/PellmorWinLog.h"

#include <initializer_list>

#include "Core/Inc/CoreOS.h"
#include "Core/Inc/CorePath.h"
#include "Core/Inc/CoreUtil.h"
#include "Core/Inc/FFileManager.h"
#include "Core/Inc/FGlobalVars.h"

const char16_t* const GDialogLogFileName = u"PellmorWin.log";

namespace
{
// Each run starts on a line of its own with this; the oldest runs are dropped whole.
const char* const RunMark = "\n==== PellmorWin";
// UTF-8's byte-order mark, which tells Notepad the file's encoding.
const char* const ByteOrderMark = "\xEF\xBB\xBF";

FFileManager* FileManager()
{
    return GGlobalVars()->GetFileManager();
}

bool ReadBytes(const FString& Path, std::string& Bytes)
{
    FArchive* Reader = FileManager()->CreateFileReader(*Path, 0, nullptr);
    if (!Reader)
        return false;
    const int64_t Size = Reader->TotalSize();
    Bytes.assign(size_t(Size > 0 ? Size : 0), '\0');
    if (!Bytes.empty())
        Reader->Serialize(&Bytes[0], int32_t(Bytes.size()));
    const bool bRead = Reader->GetError() == 0;
    delete Reader;
    return bRead;
}

bool WriteBytes(const FString& Path, const std::string& Bytes, uint32_t Flags)
{
    FArchive* Writer = FileManager()->CreateFileWriter(*Path, Flags, nullptr);
    if (!Writer)
        return false;
    std::string Data = Bytes;
    if (!Data.empty())
        Writer->Serialize(&Data[0], int32_t(Data.size()));
    const bool bWritten = Writer->Close();
    delete Writer;
    return bWritten;
}

// The last runs of Bytes that keep within Keep bytes, from a run's first line on.
std::string LastRuns(const std::string& Bytes, size_t Keep)
{
    const size_t From = Bytes.size() > Keep ? Bytes.size() - Keep : 0;
    const size_t Mark = Bytes.find(RunMark, From);
    return Mark == std::string::npos ? std::string() : Bytes.substr(Mark + 1);
}

FString LocalTime(bool bDate)
{
    CoreOS::FLocalTime Time;
    CoreOS::GetLocalTime(Time);
    const FString Clock = FString::Printf(u"%02d:%02d:%02d", Time.Hour, Time.Minute, Time.Second);
    return bDate ? FString::Printf(u"%04d-%02d-%02d ", Time.Year, Time.Month, Time.Day) + Clock : Clock;
}
} // namespace

FString FDialogLog::ChoosePath(const FString& ProgramDir, const FString& TempDir)
{
    for (const FString& Dir : {ProgramDir, TempDir})
    {
        const FString Candidate = appPathJoin(Dir, FString(GDialogLogFileName));
        if (!Dir.IsEmpty() && WriteBytes(Candidate, std::string(), Core::Service::WRITE_Append))
            return Candidate;
    }
    return FString();
}

FString FDialogLog::ChoosePath()
{
    char16_t Temp[1024];
    CoreOS::TempDirectory(Temp, 1024);
    return ChoosePath(FString(appBaseDir()), FString(Temp));
}

void FDialogLog::BeginRun(const FString& InPath, const FString& What)
{
    Path = InPath;
    RunBytes = 0;
    bFull = false;
    if (Path.IsEmpty())
        return;
    // The runs kept leave room for this one, which stops at half of the cap.
    std::string Bytes;
    if (FileManager()->FileSize(*Path) > CapBytes / 2 && ReadBytes(Path, Bytes))
        WriteBytes(Path, ByteOrderMark + LastRuns(Bytes, size_t(CapBytes / 2)), 0);
    else if (FileManager()->FileSize(*Path) <= 0)
        WriteBytes(Path, ByteOrderMark, 0);
    Append("\r\n==== PellmorWin " PELLMOR_VERSION ", " + LocalTime(true).ToUtf8() + ", " + What.ToUtf8() + " ====\r\n");
}

void FDialogLog::Write(const FString& Text)
{
    if (Path.IsEmpty() || bFull)
        return;
    std::string Lines;
    const std::string Time = LocalTime(false).ToUtf8();
    std::string Utf8 = Text.ToUtf8();
    while (Utf8.size() >= 2 && Utf8.compare(Utf8.size() - 2, 2, "\r\n") == 0)
        Utf8.resize(Utf8.size() - 2);
    size_t Start = 0;
    while (Start <= Utf8.size())
    {
        size_t End = Utf8.find("\r\n", Start);
        if (End == std::string::npos)
            End = Utf8.size();
        if (End > Start)
            Lines += Time + "  " + Utf8.substr(Start, End - Start) + "\r\n";
        Start = End + 2;
    }
    if (RunBytes + int64_t(Lines.size()) > CapBytes / 2)
    {
        bFull = true;
        Lines = Time + "  (this run wrote as much as the log keeps of one; the rest is not logged)\r\n";
    }
    Append(Lines);
}

bool FDialogLog::Append(const std::string& Bytes)
{
    RunBytes += int64_t(Bytes.size());
    return WriteBytes(Path, Bytes, Core::Service::WRITE_Append | Core::Service::WRITE_ShareRead);
}
