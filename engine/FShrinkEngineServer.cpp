// The game file set, its shrink and restore transactions, and the job server that runs them.
#include "engine/FShrinkEngineServer.h"

#include <chrono>

#include "Core/Inc/CoreOS.h"
#include "Core/Inc/FFileManager.h"
#include "shrinker/FImgShrinker.h"

namespace
{
Core::Service::FFileManager* FileManager()
{
    return GGlobalVars()->GetFileManager();
}

// The folder that holds a file name (everything up to its last separator).
FString DirectoryOf(const FString& Path)
{
    for (int32_t i = Path.Len() - 1; i >= 0; --i)
        if (Path[i] == u'\\' || Path[i] == u'/')
            return Path.Left(i + 1);
    return FString();
}

// A finished archive reaches the disk before any rename makes it the one the game loads, so a power cut cannot
// leave a truncated gta3.img behind.
bool FlushToDisk(const FString& Path)
{
    CoreOS::FFileHandle File = CoreOS::FileOpen(*Path, CoreOS::FILEACCESS_Read | CoreOS::FILEACCESS_Write,
                                                CoreOS::FILESHARE_Read, CoreOS::FILECREATE_OpenExisting);
    if (!File)
        return false;
    const bool bFlushed = CoreOS::FileFlush(File);
    return CoreOS::FileClose(File) && bFlushed;
}
} // namespace

TDynArray<FString> GetFileSet(const FString& Dir, const char16_t* Suffix)
{
    TDynArray<FString> Set;
    Set.AddItem(Dir + u"Models\\gta3" + Suffix + u".img");
    return Set;
}

int32_t CountExistingFiles(const TDynArray<FString>& List)
{
    int32_t Count = 0;
    for (const FString& Name : List)
        if (FileManager()->FileSize(*Name) >= 0)
            ++Count;
    return Count;
}

int32_t DeleteFiles(const TDynArray<FString>& List)
{
    int32_t Count = 0;
    for (const FString& Name : List)
    {
        if (!FileManager()->Delete(*Name, false, true))
            return -1;
        ++Count;
    }
    return Count;
}

int32_t RenameFiles(const TDynArray<FString>& NewList, const TDynArray<FString>& OldList)
{
    appCheck(OldList.Num() == NewList.Num());
    int32_t Count = 0;
    for (int32_t i = 0; i < OldList.Num(); ++i)
    {
        const bool bMoved = FileManager()->Move(*NewList[i], *OldList[i], true, true, false);
        // The rename itself is atomic; syncing the folder makes it survive a power cut.
        CoreOS::SyncDirectory(*DirectoryOf(NewList[i]));
        if (!bMoved)
            return -1;
        ++Count;
    }
    return Count;
}

int32_t BuildShrunkFiles(const TDynArray<FString>& SrcList, const TDynArray<FString>& DestList)
{
    appCheck(SrcList.Num() == DestList.Num());
    int32_t Count = 0;
    for (int32_t i = 0; i < SrcList.Num(); ++i)
    {
        if (!ShrinkImgFile(*DestList[i], *SrcList[i]))
            return -1;
        if (!FlushToDisk(DestList[i]))
        {
            EngineTrace(u"Could not flush %s to the disk", *DestList[i]);
            FileManager()->Delete(*DestList[i], false, true);
            return -1;
        }
        ++Count;
    }
    return Count;
}

uint32_t GetFreeDiskSpaceMB(const FString& Dir)
{
    const int64_t Bytes = CoreOS::FreeDiskSpace(*Dir);
    if (Bytes <= 0)
        return 0;
    const int64_t MB = Bytes / 1048576;
    return MB > int64_t(UINT32_MAX) ? UINT32_MAX : uint32_t(MB);
}

FString CheckCanShrink(const FString& Dir)
{
    const TDynArray<FString> CurFiles = GetFileSet(Dir, u"");
    const TDynArray<FString> BakOrigFiles = GetFileSet(Dir, u"_ORIG_BAK");
    if (CountExistingFiles(CurFiles) != CurFiles.Num())
        return FString(u"Perform Unshrink - Prerequisite fail - Not all Cur Files exist");
    if (CountExistingFiles(BakOrigFiles) == BakOrigFiles.Num())
        return FString(u"Perform Unshrink - Prerequisite fail - All Bak Files already exist");
    return FString();
}

FString CheckCanUnshrink(const FString& Dir)
{
    const TDynArray<FString> BakOrigFiles = GetFileSet(Dir, u"_ORIG_BAK");
    if (CountExistingFiles(BakOrigFiles) == BakOrigFiles.Num())
        return FString();
    return FString(u"Perform Unshrink - Prerequisite fail - Not all Bak Files exist");
}

bool CanUnshrink(const FString& Dir)
{
    return CheckCanUnshrink(Dir).IsEmpty();
}

FString PerformShrink(const FString& Dir)
{
    const FString Check = CheckCanShrink(Dir);
    if (!Check.IsEmpty())
        return Check;
    const TDynArray<FString> CurFiles = GetFileSet(Dir, u"");
    const TDynArray<FString> TempShrinkFiles = GetFileSet(Dir, u"_TEMP");
    const TDynArray<FString> BakOrigFiles = GetFileSet(Dir, u"_ORIG_BAK");
    const TDynArray<FString> BakModFiles = GetFileSet(Dir, u"_SHRUNK_BAK");

    if (DeleteFiles(TempShrinkFiles) == -1)
        return FString(u"Perform Shrink - Failed while trying to delete TempShrinkFiles");
    if (DeleteFiles(BakOrigFiles) == -1)
        return FString(u"Perform Shrink - Failed while trying to delete BakOrigFiles");

    // A shrunk archive kept from an earlier shrink is reused as it is.
    if (CountExistingFiles(BakModFiles) == 0)
    {
        if (DeleteFiles(BakModFiles) == -1)
            return FString(u"Perform Shrink - Failed while trying to delete BakModFiles");
        if (GetFreeDiskSpaceMB(Dir) <= 768)
            return FString(u"Not enough disk space to do shrink");
        if (BuildShrunkFiles(CurFiles, TempShrinkFiles) == -1)
            return FString(u"Perform Shrink - Failed while building TempShrinkFiles");
        if (RenameFiles(BakModFiles, TempShrinkFiles) == -1)
            return FString(u"Perform Shrink - Failed renaming TempShrinkFiles to BakModFiles");
    }
    if (RenameFiles(BakOrigFiles, CurFiles) == -1)
        return FString(u"Perform Shrink - Failed renaming CurFiles to BakOrigFiles");
    if (RenameFiles(CurFiles, BakModFiles) == -1)
        return FString(u"Perform Shrink - Failed renaming TempFiles to CurFiles");
    return FString();
}

FString PerformUnshrink(const FString& Dir)
{
    const FString Check = CheckCanUnshrink(Dir);
    if (!Check.IsEmpty())
        return Check;
    const TDynArray<FString> CurFiles = GetFileSet(Dir, u"");
    const TDynArray<FString> BakOrigFiles = GetFileSet(Dir, u"_ORIG_BAK");
    const TDynArray<FString> BakModFiles = GetFileSet(Dir, u"_SHRUNK_BAK");
    // Keeping the shrunk archive is a bonus: without a current archive this move fails and the restore goes on.
    RenameFiles(BakModFiles, CurFiles);
    if (RenameFiles(CurFiles, BakOrigFiles) == -1)
        return FString(u"Perform Unshrink - Failed renaming BakOrigFiles to CurFiles");
    return FString();
}

// ---- Job server ---------------------------------------------------------------------------------------------

FShrinkEngineServer::FShrinkEngineServer() : StopFlag(0) {}

FShrinkEngineServer::~FShrinkEngineServer()
{
    for (auto& Pair : Vars.JobMap)
        delete Pair.Value;
    Vars.JobMap.Empty();
    Vars.PendingQueue.Empty();
    Vars.FinishedList.Empty();
    Vars.DeleteList.Empty();
}

FShrinkEngineServerBase* CreateEngineServer()
{
    FShrinkEngineServer* Server = new FShrinkEngineServer;
    Server->ThreadHandle = std::thread([Server] { Server->ThreadLoop(); });
    return Server;
}

int32_t FShrinkEngineServer::QueueJob(const FString& Command)
{
    std::lock_guard<std::mutex> Guard(VarsLock);
    const int32_t Id = ++Vars.NextJobId;
    Vars.JobMap.Set(Id, new FShrinkJob{Id, Command, FString()});
    Vars.PendingQueue.AddItem(Id);
    return Id;
}

bool FShrinkEngineServer::GetJobResult(int32_t Id, FString& Result)
{
    std::lock_guard<std::mutex> Guard(VarsLock);
    if (Vars.FinishedList.FindItemIndex(Id) < 0)
        return false;
    FShrinkJob** Job = Vars.JobMap.Find(Id);
    if (!Job)
        return false;
    Result = (*Job)->Result;
    return true;
}

int32_t FShrinkEngineServer::DeleteJob(int32_t Id)
{
    std::lock_guard<std::mutex> Guard(VarsLock);
    Vars.DeleteList.AddItem(Id);
    return 0;
}

bool FShrinkEngineServer::IsBusy()
{
    std::lock_guard<std::mutex> Guard(VarsLock);
    return Vars.CurrentJob != 0 || Vars.PendingQueue.Num() != 0;
}

void FShrinkEngineServer::ThreadLoop()
{
    if (!StopFlag.load())
    {
        for (;;)
        {
            Iterate();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            if (StopFlag.load())
                break;
        }
    }
    std::lock_guard<std::mutex> Guard(DoneLock);
    bThreadDone = true;
    DoneSignal.notify_all();
}

void FShrinkEngineServer::Iterate()
{
    FShrinkJob* Job = nullptr;
    {
        std::lock_guard<std::mutex> Guard(VarsLock);
        appCheck(Vars.CurrentJob==0);
        while (Vars.DeleteList.Num() > 0)
        {
            const int32_t Id = Vars.DeleteList.Pop();
            for (int32_t i = Vars.PendingQueue.Num() - 1; i >= 0; --i)
                if (Vars.PendingQueue[i] == Id)
                    Vars.PendingQueue.Remove(i);
            for (int32_t i = Vars.FinishedList.Num() - 1; i >= 0; --i)
                if (Vars.FinishedList[i] == Id)
                    Vars.FinishedList.Remove(i);
            if (FShrinkJob** Found = Vars.JobMap.Find(Id))
            {
                FShrinkJob* Record = *Found;
                Vars.JobMap.Remove(Id);
                delete Record;
            }
        }
    }
    {
        std::lock_guard<std::mutex> Guard(VarsLock);
        if (Vars.PendingQueue.Num() == 0)
            return;
        Vars.CurrentJob = Vars.PendingQueue[0];
        Vars.PendingQueue.Remove(0);
        FShrinkJob** Found = Vars.JobMap.Find(Vars.CurrentJob);
        Job = Found ? *Found : nullptr;
    }
    // The job runs without the lock: its record cannot go away before this thread handles a DeleteJob.
    if (Job)
        Job->Result = RunCommand(Job->Command);
    std::lock_guard<std::mutex> Guard(VarsLock);
    Vars.FinishedList.AddItem(Vars.CurrentJob);
    Vars.CurrentJob = 0;
}

FString FShrinkEngineServer::RunCommand(const FString& Command)
{
    // The argument is everything after the first comma, so a directory holding a comma arrives whole.
    const int32_t Comma = Command.InStr(u",");
    const FString Cmd = Comma >= 0 ? Command.Left(Comma) : Command;
    const FString Arg = Comma >= 0 ? Command.Mid(Comma + 1) : FString();

    if (Cmd.EqualsNoCase(u"CanShrink"))
        return FString(CheckCanShrink(Arg).IsEmpty());
    if (Cmd.EqualsNoCase(u"CanUnshrink"))
        return FString(CanUnshrink(Arg));
    if (Cmd.EqualsNoCase(u"PerformShrink"))
    {
        FString Result = PerformShrink(Arg);
        std::atomic<int32_t>* Cancel = GShrinkCancelFlag;
        if (Cancel && Cancel->load() != 0)
            Result = u"Shrink canceled";
        return Result;
    }
    if (Cmd.EqualsNoCase(u"PerformUnshrink"))
        return PerformUnshrink(Arg);
    EngineTrace(u"Unknown Cmd: %s", *Cmd);
    return FString();
}

void FShrinkEngineServer::Shutdown()
{
    StopFlag.store(1);
    bool bFinished = false;
    {
        std::unique_lock<std::mutex> Lock(DoneLock);
        for (int32_t Attempt = 0; Attempt < 5 && !bFinished; ++Attempt)
        {
            EngineTrace(u"Waiting for thread to finish");
            bFinished = DoneSignal.wait_for(Lock, std::chrono::milliseconds(1000), [this] { return bThreadDone; });
            EngineTrace(bFinished ? u"Thread finished" : u"Thread NOT finished");
        }
        // A job can still be running (a long shrink): the server is never destroyed under its worker.
        while (!bFinished)
        {
            bFinished = DoneSignal.wait_for(Lock, std::chrono::milliseconds(1000), [this] { return bThreadDone; });
            if (!bFinished)
                EngineTrace(u"Thread NOT finished");
        }
    }
    if (ThreadHandle.joinable())
        ThreadHandle.join();
    delete this;
}
