// The shrink pipeline: one reader, N workers and one writer that keeps the order. The pieces of an archive are
// read in order into a bounded pool, processed by any worker when they need it, and written strictly in order.
// The pool bounds the bytes in flight, so memory does not grow with the archive.
#pragma once

#include <cstdint>

#include "shrinker/FEntryTrace.h"
#include "shrinker/FScratchBytes.h"

// Pieces in flight at most, whatever their size (an archive of empty entries takes no pool bytes).
enum : int32_t
{
    SHRINKPIPE_MaxPieces = 256,
};

// One piece of an archive on its way through the pipeline: a whole entry, or a piece of one that is copied
// unchanged. The stages fill it in turn; the pipeline hands it from thread to thread, so that only one thread
// works on it at a time and each sees what the one before did.
struct FShrinkWork
{
    // Given by the pipeline, for the piece's whole way: below SHRINKPIPE_MaxPieces, and no other piece in flight
    // has it. The stages keep what they know of a piece beyond what is here in state of their own indexed by it;
    // that state passes from thread to thread with the piece.
    int32_t Slot = 0;

    // Planned by the reader stage (NextPiece).
    int32_t Index = 0;     // the directory record
    int64_t Offset = 0;    // where the piece starts within the entry's data
    int32_t Length = 0;    // bytes to read; processing may lower it
    bool bProcess = false; // for a worker
    bool bFirstPiece = true;
    bool bLastPiece = true;

    // Given by the pipeline before the piece is read: Length bytes of the pool, or of a buffer of their own for a
    // piece larger than the pool.
    uint8_t* Bytes = nullptr;
    // The piece's buffer could not be had, or reading or processing it ran out of memory.
    bool bOutOfMemory = false;
    // The source could not be read where it holds the piece's bytes (a failing device): the writer stops there.
    bool bReadFailed = false;

    // Filled on the way: the piece's trace lines, held for the writer.
    FEntryTrace Trace{true};
};

// What a shrink does at each stage. The pipeline calls each stage from one thread at a time (ProcessPiece from
// several workers at once, each on a piece of its own).
class FShrinkStages
{
public:
    enum ENextPiece
    {
        NEXT_Piece, // Work is planned
        NEXT_End,   // every piece has been planned
        NEXT_Stop,  // reading stops early (a cancel, or no memory); the stages know why
    };

    virtual ~FShrinkStages() {}
    // The reader, in order: plans the next piece into Work, setting everything the stage owns (Slot is the
    // pipeline's). Must not throw.
    virtual ENextPiece NextPiece(FShrinkWork& Work) = 0;
    // The reader, in order: fills Work.Bytes with Work.Length bytes.
    virtual void ReadPiece(FShrinkWork& Work) = 0;
    // A worker, in any order: processes a piece marked bProcess with the worker's own buffers.
    virtual void ProcessPiece(FShrinkWork& Work, FShrinkBuffers& Buffers) = 0;
    // The calling thread, strictly in order: writes the piece. False stops the pipeline.
    virtual bool WritePiece(FShrinkWork& Work) = 0;
};

// Runs pieces through the stages until NextPiece says End or Stop and every piece read has been written (true),
// or until WritePiece returns false (false). With Workers 1 every stage runs on the calling thread, piece after
// piece. With more, a reader thread and that many worker threads are started, and the calling thread writes; at
// most PoolBytes of pieces are in flight (a piece larger than that goes through alone), and neither the reader
// nor the writer waits while the pool has room and a piece is ready. If threads cannot be started, the run is
// serial.
//
// std::bad_alloc from ReadPiece or ProcessPiece marks the piece bOutOfMemory for the writer; from WritePiece it
// is thrown on once the threads have ended. Blocks; returns only when every thread it started has ended.
bool RunShrinkPipeline(FShrinkStages& Stages, int32_t Workers, int64_t PoolBytes);
