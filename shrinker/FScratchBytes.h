// FScratchBytes: a byte buffer made for reuse. It only grows, and growing neither clears nor keeps what it held:
// every user writes the bytes it then reads. The hot paths of a shrink (pixels, entries in flight) reuse such
// buffers instead of zeroing fresh arrays for every texture and every entry.
//
// One owner; used by one thread at a time. Nothing blocks.
#pragma once

#include <cstdint>
#include <memory>
#include <new>

class FScratchBytes
{
public:
    // Makes Count bytes available at GetData() and returns them; their values are unspecified. Throws
    // std::bad_alloc when the memory cannot be had, leaving the buffer as it was.
    uint8_t* SetNum(int64_t Count)
    {
        if (Count < 0 || uint64_t(Count) > SIZE_MAX)
            throw std::bad_alloc();
        if (Count > Max)
        {
            Data.reset(new uint8_t[size_t(Count)]);
            Max = Count;
        }
        Used = Count;
        return Data.get();
    }

    uint8_t* GetData() { return Data.get(); }
    const uint8_t* GetData() const { return Data.get(); }
    // The bytes in use, as the last SetNum asked.
    int64_t Num() const { return Used; }

    // Gives the memory back.
    void Empty()
    {
        Data.reset();
        Used = 0;
        Max = 0;
    }

private:
    std::unique_ptr<uint8_t[]> Data;
    int64_t Used = 0;
    int64_t Max = 0;
};

// The pixel buffers of one thread that processes texture dictionaries, reused from texture to texture and from
// entry to entry: they only grow and are never cleared. One owner, one thread at a time.
struct FShrinkBuffers
{
    FScratchBytes Decoded;   // rows of a texture level decoded to RGBA pixels
    FScratchBytes Columns;   // where the resampled columns sample (and the box filter's weights)
    FScratchBytes Sums;      // the box filter's row sums
    FScratchBytes CubicTaps; // the Catmull-Rom colour filter's taps
    FScratchBytes CubicSums; // and its sums
    FScratchBytes Resized;   // the resampled pixels
    FScratchBytes Encoded;   // the resampled pixels in the level's format
};
