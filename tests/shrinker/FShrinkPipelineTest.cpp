#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <new>
#include <thread>

#include "shrinker/FShrinkPipeline.h"

namespace
{
const int64_t Pool = 64 << 10;

// Pieces of many sizes (empty ones, and some larger than the pool) marked with their index as they are read and
// with the next value as they are processed; the writer checks order and marks, so that pieces that shared pool
// bytes in flight would show.
class FCheckingStages : public FShrinkStages
{
public:
    int32_t Count = 200;
    int32_t StopAt = -1;      // NextPiece says Stop here
    int32_t ThrowAt = -1;     // ProcessPiece runs out of memory here
    int32_t WriteFailAt = -1; // WritePiece fails here
    int32_t Written = 0;
    int32_t OutOfMemory = -1; // the piece the writer found marked
    std::atomic<int64_t> InFlight{0};
    std::atomic<int32_t> Overflows{0};
    std::atomic<int32_t> Mismatches{0};

    static int32_t SizeOf(int32_t Piece)
    {
        return Piece % 11 == 0 ? 0 : Piece % 13 == 0 ? int32_t(Pool + 30000) : Piece * 7919 % 50000;
    }

    ENextPiece NextPiece(FShrinkWork& Work) override
    {
        if (Planned == Count)
            return NEXT_End;
        if (Planned == StopAt)
            return NEXT_Stop;
        Work.Index = Planned;
        Work.Length = SizeOf(Planned);
        Work.bProcess = Planned % 3 == 0;
        ++Planned;
        return NEXT_Piece;
    }
    void ReadPiece(FShrinkWork& Work) override
    {
        const int64_t Now = InFlight += Work.Length;
        if (Now > Pool && Now != Work.Length)
            ++Overflows;
        Mark(Work, uint8_t(Work.Index));
    }
    void ProcessPiece(FShrinkWork& Work, FShrinkBuffers&) override
    {
        if (Work.Index == ThrowAt)
            throw std::bad_alloc();
        Mismatches += !IsMarked(Work, uint8_t(Work.Index));
        if (Work.Index % 7 == 0)
            std::this_thread::sleep_for(std::chrono::microseconds(200)); // finish out of order
        Mark(Work, uint8_t(Work.Index + 1));
    }
    bool WritePiece(FShrinkWork& Work) override
    {
        EXPECT_EQ(Work.Index, Written);
        if (Work.bOutOfMemory && OutOfMemory < 0)
            OutOfMemory = Work.Index;
        else
            Mismatches += !IsMarked(Work, uint8_t(Work.Index + (Work.bProcess ? 1 : 0)));
        InFlight -= Work.Length;
        return ++Written != WriteFailAt;
    }

private:
    static void Mark(FShrinkWork& Work, uint8_t Mark)
    {
        if (Work.Length > 0) // an empty piece may have no bytes at all
            std::memset(Work.Bytes, Mark, size_t(Work.Length));
    }
    static bool IsMarked(const FShrinkWork& Work, uint8_t Mark)
    {
        for (int32_t i = 0; i < Work.Length; ++i)
            if (Work.Bytes[i] != Mark)
                return false;
        return true;
    }
    int32_t Planned = 0;
};
} // namespace

TEST(FShrinkPipelineTest, PiecesAreWrittenInOrderAndNeverShareThePool)
{
    for (int32_t Workers : {1, 2, 3, 8})
    {
        SCOPED_TRACE(Workers);
        FCheckingStages Stages;
        EXPECT_TRUE(RunShrinkPipeline(Stages, Workers, Pool));
        EXPECT_EQ(Stages.Written, Stages.Count);
        EXPECT_EQ(Stages.Mismatches.load(), 0);
        EXPECT_EQ(Stages.Overflows.load(), 0);
        EXPECT_EQ(Stages.OutOfMemory, -1);
    }
}

TEST(FShrinkPipelineTest, EveryWayOfStoppingEndsTheRun)
{
    for (int32_t Workers : {1, 3})
    {
        SCOPED_TRACE(Workers);
        FCheckingStages ReaderStops;
        ReaderStops.StopAt = 50;
        EXPECT_TRUE(RunShrinkPipeline(ReaderStops, Workers, Pool));
        EXPECT_EQ(ReaderStops.Written, 50);

        FCheckingStages WriterFails;
        WriterFails.WriteFailAt = 40;
        EXPECT_FALSE(RunShrinkPipeline(WriterFails, Workers, Pool));
        EXPECT_EQ(WriterFails.Written, 40);

        // A worker out of memory marks its piece; the run goes on, the writer decides.
        FCheckingStages NoMemory;
        NoMemory.ThrowAt = 30;
        EXPECT_TRUE(RunShrinkPipeline(NoMemory, Workers, Pool));
        EXPECT_EQ(NoMemory.OutOfMemory, 30);
        EXPECT_EQ(NoMemory.Mismatches.load(), 0);
    }
}
