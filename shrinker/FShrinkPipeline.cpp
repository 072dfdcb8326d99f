// The shrink pipeline: the pool of bytes in flight, the hand-over between reader, workers and writer, and the
// serial run.
#include "shrinker/FShrinkPipeline.h"

#include <condition_variable>
#include <exception>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "Core/Inc/CoreAssert.h"
#include "shrinker/FScratchBytes.h"

namespace
{
// Runs the stages on one piece after another, on the calling thread.
bool RunSerial(FShrinkStages& Stages)
{
    FShrinkWork Work;
    FScratchBytes Buffer;
    FShrinkBuffers Buffers;
    for (;;)
    {
        if (Stages.NextPiece(Work) != FShrinkStages::NEXT_Piece)
            return true;
        Work.bOutOfMemory = false;
        try
        {
            Work.Bytes = Buffer.SetNum(Work.Length);
            Stages.ReadPiece(Work);
            if (Work.bProcess)
                Stages.ProcessPiece(Work, Buffers);
        }
        catch (const std::bad_alloc&)
        {
            Work.bOutOfMemory = true;
        }
        if (!Stages.WritePiece(Work))
            return false;
    }
}

// The threads of a parallel run and what they share. Every field below Lock is guarded by it; a piece's
// FShrinkWork belongs to the thread whose stage it is in (the hand-over happens under the lock).
class FParallelRun
{
public:
    FParallelRun(FShrinkStages& InStages, int64_t InPoolBytes) : Stages(InStages), PoolBytes(InPoolBytes)
    {
        for (int32_t Slot = 0; Slot < SHRINKPIPE_MaxPieces; ++Slot)
            Works[size_t(Slot)].Slot = Slot;
    }
    ~FParallelRun() { Stop(); }

    // False when no thread could be started (nothing has been read then).
    bool Start(int32_t Workers);
    // The writer's loop, on the calling thread.
    bool Write();
    // Asks every thread to end and waits for them. Pieces in flight are dropped.
    void Stop();

private:
    enum EPieceState : int32_t
    {
        PIECE_Queued,   // read, waiting for a worker
        PIECE_Finished, // ready for the writer
    };
    struct FPlace
    {
        int64_t Offset = 0; // in the pool
        int64_t End = 0;    // Offset + the piece's bytes
        int64_t Charge = 0; // pool bytes it holds, with the unused end of the pool when it wrapped round
        bool bAlone = false;
        EPieceState State = PIECE_Queued;
    };

    void ReaderLoop();
    void WorkerLoop();
    bool TakeRoom(FShrinkWork& Work, FPlace& Place);
    void GiveRoom(const FPlace& Place);
    FShrinkWork& WorkOf(int64_t Piece) { return Works[size_t(Piece % SHRINKPIPE_MaxPieces)]; }
    FPlace& PlaceOf(int64_t Piece) { return Places[size_t(Piece % SHRINKPIPE_MaxPieces)]; }

    FShrinkStages& Stages;
    const int64_t PoolBytes;
    FScratchBytes Pool;
    FScratchBytes Alone; // the buffer of a piece larger than the pool
    std::vector<FShrinkWork> Works = std::vector<FShrinkWork>(SHRINKPIPE_MaxPieces);
    std::vector<std::thread> Threads;

    std::mutex Lock;
    std::condition_variable RoomFreed;  // the reader waits for a free slot and pool room
    std::condition_variable WorkQueued; // workers wait for a piece to process
    std::condition_variable PieceDone;  // the writer waits for the next piece in order
    std::vector<FPlace> Places = std::vector<FPlace>(SHRINKPIPE_MaxPieces);
    int64_t NumRead = 0;    // pieces handed on by the reader
    int64_t NumWritten = 0; // pieces written and given back
    // Pieces waiting for a worker, oldest first: a ring of QueueNum from QueueFirst (never more than are in flight).
    std::vector<int64_t> Queue = std::vector<int64_t>(SHRINKPIPE_MaxPieces);
    size_t QueueFirst = 0;
    size_t QueueNum = 0;
    // The pool is a ring: pieces take room at PoolHead and give it back, in the same order, from PoolTail.
    int64_t PoolHead = 0;
    int64_t PoolTail = 0;
    int64_t PoolUsed = 0;
    bool bReaderDone = false;
    bool bStopping = false;
};

bool FParallelRun::Start(int32_t Workers)
{
    Pool.SetNum(PoolBytes);
    // Workers first: if the reader cannot be started after them, nothing has been read and the caller can still
    // run serially.
    for (int32_t i = 0; i < Workers; ++i)
    {
        try
        {
            Threads.emplace_back(&FParallelRun::WorkerLoop, this);
        }
        catch (const std::exception&) // no more threads to be had
        {
            break;
        }
    }
    if (Threads.empty())
        return false;
    try
    {
        Threads.emplace_back(&FParallelRun::ReaderLoop, this);
    }
    catch (const std::exception&)
    {
        Stop();
        return false;
    }
    return true;
}

void FParallelRun::Stop()
{
    {
        std::lock_guard<std::mutex> Guard(Lock);
        bStopping = true;
    }
    RoomFreed.notify_all();
    WorkQueued.notify_all();
    PieceDone.notify_all();
    for (std::thread& Thread : Threads)
        Thread.join();
    Threads.clear();
}

// Finds room for the piece now, or says there is none yet. A piece larger than the pool waits until nothing
// else is in flight and then takes all of it, so that it goes through alone.
bool FParallelRun::TakeRoom(FShrinkWork& Work, FPlace& Place)
{
    const int64_t Bytes = Work.Length;
    const bool bEmpty = NumRead == NumWritten;
    Place = FPlace();
    if (Bytes > PoolBytes)
    {
        if (!bEmpty)
            return false;
        Place.bAlone = true;
        Place.Charge = PoolBytes;
        PoolUsed = PoolBytes;
        return true;
    }
    if (bEmpty)
        PoolHead = PoolTail = PoolUsed = 0; // nothing in flight: start again at the front
    else if (PoolUsed >= PoolBytes)
        return false;
    if (PoolHead >= PoolTail)
    {
        // Free: from the head to the end of the pool, and from its start to the tail.
        if (PoolHead + Bytes <= PoolBytes)
            Place.Offset = PoolHead;
        else if (Bytes <= PoolTail)
            Place.Offset = 0;
        else
            return false;
    }
    else if (PoolHead + Bytes <= PoolTail)
        Place.Offset = PoolHead; // wrapped round: free between the head and the tail
    else
        return false;
    Place.Charge = Place.Offset == PoolHead ? Bytes : PoolBytes - PoolHead + Bytes;
    PoolUsed += Place.Charge;
    Place.End = Place.Offset + Bytes;
    PoolHead = Place.End;
    Work.Bytes = Pool.GetData() + Place.Offset;
    return true;
}

// Pieces give their room back in the order they took it.
void FParallelRun::GiveRoom(const FPlace& Place)
{
    // The next piece's room starts where this one ended (with the end of the pool, when it wrapped round).
    PoolUsed -= Place.Charge;
    if (!Place.bAlone)
        PoolTail = Place.End;
}

void FParallelRun::ReaderLoop()
{
    std::unique_lock<std::mutex> Guard(Lock);
    for (;;)
    {
        RoomFreed.wait(Guard, [this] { return bStopping || NumRead - NumWritten < SHRINKPIPE_MaxPieces; });
        if (bStopping)
            return;
        // The slot is free: the writer has given it back, and only the reader takes slots.
        FShrinkWork& Work = WorkOf(NumRead);
        Guard.unlock();
        const FShrinkStages::ENextPiece Next = Stages.NextPiece(Work);
        Guard.lock();
        if (Next != FShrinkStages::NEXT_Piece)
        {
            bReaderDone = true;
            PieceDone.notify_all();
            return;
        }
        FPlace& Place = PlaceOf(NumRead);
        RoomFreed.wait(Guard, [&] { return bStopping || TakeRoom(Work, Place); });
        if (bStopping)
            return;
        Guard.unlock();
        Work.bOutOfMemory = false;
        try
        {
            if (Place.bAlone)
                Work.Bytes = Alone.SetNum(Work.Length);
            Stages.ReadPiece(Work);
        }
        catch (const std::bad_alloc&)
        {
            Work.bOutOfMemory = true;
        }
        Guard.lock();
        const bool bToWorker = Work.bProcess && !Work.bOutOfMemory;
        Place.State = bToWorker ? PIECE_Queued : PIECE_Finished;
        if (bToWorker)
            Queue[(QueueFirst + QueueNum++) % Queue.size()] = NumRead;
        ++NumRead;
        if (bToWorker)
            WorkQueued.notify_one();
        else
            PieceDone.notify_one();
    }
}

void FParallelRun::WorkerLoop()
{
    FShrinkBuffers Buffers;
    std::unique_lock<std::mutex> Guard(Lock);
    for (;;)
    {
        WorkQueued.wait(Guard, [this] { return bStopping || QueueNum > 0; });
        if (bStopping)
            return;
        const int64_t Piece = Queue[QueueFirst];
        QueueFirst = (QueueFirst + 1) % Queue.size();
        --QueueNum;
        FShrinkWork& Work = WorkOf(Piece);
        Guard.unlock();
        try
        {
            Stages.ProcessPiece(Work, Buffers);
        }
        catch (const std::bad_alloc&)
        {
            Work.bOutOfMemory = true;
        }
        Guard.lock();
        PlaceOf(Piece).State = PIECE_Finished;
        if (Piece == NumWritten)
            PieceDone.notify_one();
    }
}

bool FParallelRun::Write()
{
    std::unique_lock<std::mutex> Guard(Lock);
    for (;;)
    {
        PieceDone.wait(Guard, [this] {
            return (NumWritten < NumRead && PlaceOf(NumWritten).State == PIECE_Finished) ||
                   (bReaderDone && NumWritten == NumRead);
        });
        if (NumWritten == NumRead)
            return true; // the reader is done and everything it read is written
        FShrinkWork& Work = WorkOf(NumWritten);
        const FPlace Place = PlaceOf(NumWritten);
        Guard.unlock();
        const bool bWritten = Stages.WritePiece(Work);
        if (Place.bAlone)
            Alone.Empty();
        Guard.lock();
        GiveRoom(Place);
        ++NumWritten;
        RoomFreed.notify_one();
        if (!bWritten)
            return false;
    }
}
} // namespace

bool RunShrinkPipeline(FShrinkStages& Stages, int32_t Workers, int64_t PoolBytes)
{
    appCheck(PoolBytes > 0);
    if (Workers <= 1)
        return RunSerial(Stages);
    FParallelRun Run(Stages, PoolBytes);
    if (!Run.Start(Workers))
        return RunSerial(Stages);
    return Run.Write(); // the run's destructor stops the threads, also when the writer throws
}
