// IMG version-2 archives for tests, built in memory, and a reader of what a rewrite produced.
//
//   FBytes Img = FImgBuilder().Add("a.dff", Model).Gap(3).Add("b.txd", Txd).Trailing({1, 2, 3}).Build();
//
// Entries are laid out back to back in whole 2048-byte blocks after the directory, unless Gap, FirstBlock or
// SetDirEntry say otherwise; filler and padding are filled with recognisable bytes so that a copy shows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Core/Inc/CoreTemplateString.h"
#include "tests/support/ChunkBuilder.h"
#include "tests/support/TempDir.h"

class FImgBuilder
{
public:
    // An entry: Data padded with PadByte to whole blocks (an empty Data makes an entry of 0 blocks).
    FImgBuilder& Add(const std::string& Name, const FBytes& Data, uint8_t PadByte = 0);
    // Unused blocks (filled with the filler byte) before the next entry added.
    FImgBuilder& Gap(uint32_t Blocks)
    {
        PendingGap += Blocks;
        return *this;
    }
    // The block where the first entry starts; by default the first after the directory.
    FImgBuilder& FirstBlock(uint32_t Block)
    {
        First = Block;
        return *this;
    }
    FImgBuilder& FillerByte(uint8_t Byte)
    {
        Filler = Byte;
        return *this;
    }
    // Bytes after the last entry.
    FImgBuilder& Trailing(const FBytes& Bytes)
    {
        TrailingBytes = Bytes;
        return *this;
    }
    // The first four bytes (default "VER2").
    FImgBuilder& Magic(const std::string& FourBytes)
    {
        MagicText = FourBytes;
        return *this;
    }
    // Directory values that lie: entry Index claims BlockOffset and BlockCount, whatever was laid out.
    FImgBuilder& SetDirEntry(size_t Index, uint32_t BlockOffset, uint32_t BlockCount);

    FBytes Build() const;

private:
    struct FEntry
    {
        std::string Name;
        FBytes Data;
        uint8_t PadByte;
        uint32_t GapBefore;
        bool bOverride;
        uint32_t BlockOffset;
        uint32_t BlockCount;
    };
    std::vector<FEntry> Entries;
    uint32_t PendingGap = 0;
    int64_t First = -1;
    uint8_t Filler = 0xF1;
    FBytes TrailingBytes;
    std::string MagicText = "VER2";
};

struct FImgEntryView
{
    std::string Name;
    uint32_t BlockOffset;
    uint32_t BlockCount;
    FBytes Data; // BlockCount whole blocks (cut short where the file ends)
};

struct FImgView
{
    std::string Magic;
    std::vector<FImgEntryView> Entries;
};

// Reads an archive's header, directory and entry data. Entries past the end of Bytes come out short.
FImgView ParseImg(const FBytes& Bytes);

// An archive of Count one-block entries ("e0.col", ...) that a shrink copies as they are.
std::string PlainArchive(int32_t Count);

// Data padded with PadByte to whole 2048-byte blocks.
FBytes PadToBlocks(const FBytes& Data, uint8_t PadByte = 0);
