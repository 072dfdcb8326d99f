#include "tests/support/ImgBuilder.h"

#include <algorithm>

namespace
{
const uint32_t Block = 2048;
}

FImgBuilder& FImgBuilder::Add(const std::string& Name, const FBytes& Data, uint8_t PadByte)
{
    Entries.push_back({Name, Data, PadByte, PendingGap, false, 0, 0});
    PendingGap = 0;
    return *this;
}

FImgBuilder& FImgBuilder::SetDirEntry(size_t Index, uint32_t BlockOffset, uint32_t BlockCount)
{
    FEntry& Entry = Entries.at(Index);
    Entry.bOverride = true;
    Entry.BlockOffset = BlockOffset;
    Entry.BlockCount = BlockCount;
    return *this;
}

FBytes FImgBuilder::Build() const
{
    const size_t DirEnd = 8 + 32 * Entries.size();
    uint32_t Next = First >= 0 ? uint32_t(First) : uint32_t((DirEnd + Block - 1) / Block);
    FBytes Data(std::max<size_t>(DirEnd, size_t(Next) * Block), Filler);
    FBytes Dir;
    for (const FEntry& Entry : Entries)
    {
        Next += Entry.GapBefore;
        const FBytes Padded = PadToBlocks(Entry.Data, Entry.PadByte);
        const uint32_t Count = uint32_t(Padded.size() / Block);
        if (Data.size() < size_t(Next) * Block)
            Data.resize(size_t(Next) * Block, Filler);
        Data.insert(Data.end(), Padded.begin(), Padded.end());
        PutU32(Dir, Entry.bOverride ? Entry.BlockOffset : Next);
        PutU32(Dir, Entry.bOverride ? Entry.BlockCount : Count);
        for (size_t i = 0; i < 24; ++i)
            Dir.push_back(i < Entry.Name.size() ? uint8_t(Entry.Name[i]) : 0);
        Next += Count;
    }
    for (size_t i = 0; i < 4; ++i)
        Data[i] = i < MagicText.size() ? uint8_t(MagicText[i]) : 0;
    SetU32(Data, 4, uint32_t(Entries.size()));
    std::copy(Dir.begin(), Dir.end(), Data.begin() + 8);
    Data.insert(Data.end(), TrailingBytes.begin(), TrailingBytes.end());
    return Data;
}

FImgView ParseImg(const FBytes& Bytes)
{
    FImgView View;
    if (Bytes.size() < 8)
        return View;
    View.Magic.assign(Bytes.begin(), Bytes.begin() + 4);
    const uint32_t Num = GetU32(Bytes, 4);
    for (uint32_t i = 0; i < Num && 8 + 32 * (size_t(i) + 1) <= Bytes.size(); ++i)
    {
        const size_t At = 8 + 32 * size_t(i);
        FImgEntryView Entry;
        Entry.BlockOffset = GetU32(Bytes, At);
        Entry.BlockCount = GetU32(Bytes, At + 4);
        for (size_t c = 0; c < 24 && Bytes[At + 8 + c]; ++c)
            Entry.Name += char(Bytes[At + 8 + c]);
        const size_t Begin = std::min(Bytes.size(), size_t(Entry.BlockOffset) * Block);
        const size_t End = std::min(Bytes.size(), Begin + size_t(Entry.BlockCount) * Block);
        Entry.Data.assign(Bytes.begin() + Begin, Bytes.begin() + End);
        View.Entries.push_back(Entry);
    }
    return View;
}

std::string PlainArchive(int32_t Count)
{
    FImgBuilder Builder;
    for (int32_t i = 0; i < Count; ++i)
        Builder.Add("e" + std::to_string(i) + ".col", FBytes(2048, uint8_t('A' + i % 26)));
    const FBytes Bytes = Builder.Build();
    return std::string(Bytes.begin(), Bytes.end());
}

FBytes PadToBlocks(const FBytes& Data, uint8_t PadByte)
{
    FBytes Padded(Data);
    Padded.resize((Data.size() + Block - 1) / Block * Block, PadByte);
    return Padded;
}
