// Whole-file text: loading a file into a string and saving a string as a file.
#include "Core/Inc/CoreFileText.h"

#include <cstdint>
#include <memory>

#include "Core/Inc/FGlobalVars.h"

bool appLoadFileToString(FString& Result, FFileManager* FileManager, const char16_t* Path)
{
    std::unique_ptr<FArchive> Reader(FileManager->CreateFileReader(Path, 0, nullptr));
    if (!Reader)
        return false;
    const int64_t Size = Reader->TotalSize();
    if (Size > INT32_MAX - 2)
        return false;
    const int32_t Count = int32_t(Size);
    // Two zero bytes after the data end the text in either width.
    TDynArray<uint8_t> Bytes(Count + 2);
    Reader->Serialize(Bytes.GetData(), Count);
    const bool bOk = Reader->Close();
    Reader.reset();

    const uint8_t* Data = Bytes.GetData();
    Result.Empty();
    // Editors save UTF-8 with the mark EF BB BF; read as bytes, the mark would glue itself to the first line.
    if (Count >= 3 && Data[0] == 0xEF && Data[1] == 0xBB && Data[2] == 0xBF)
    {
        Result = FString::FromUtf8(reinterpret_cast<const char*>(Data + 3));
        return bOk;
    }
    const bool bWide = Count >= 2 && Count % 2 == 0 &&
                       ((Data[0] == 0xFF && Data[1] == 0xFE) || (Data[0] == 0xFE && Data[1] == 0xFF));
    const bool bBigEndian = bWide && Data[0] == 0xFE;
    const int32_t Units = bWide ? Count / 2 - 1 : Count;

    if (Units > 0)
    {
        TDynArray<char16_t>& Text = Result.GetCharArray();
        Text.Add(Units + 1);
        char16_t* Out = Text.GetData();
        for (int32_t i = 0; i < Units; ++i)
        {
            if (!bWide)
                Out[i] = char16_t(Data[i]);
            else if (bBigEndian)
                Out[i] = char16_t((Data[2 + 2 * i] << 8) | Data[3 + 2 * i]);
            else
                Out[i] = char16_t(Data[2 + 2 * i] | (Data[3 + 2 * i] << 8));
        }
        Out[Units] = 0;
    }
    return bOk;
}

bool appSaveStringToFile(const FString& Text, FFileManager* FileManager, const char16_t* Path)
{
    if (Text.IsEmpty())
        return false;
    std::unique_ptr<FArchive> Writer(FileManager->CreateFileWriter(Path, 0, GGlobalVars()->GetLogDevice()));
    if (!Writer)
        return false;

    const int32_t Len = Text.Len();
    const char16_t* Units = *Text;
    bool bWide = false;
    for (int32_t i = 0; i < Len && !bWide; ++i)
        bWide = Units[i] >= 256;

    if (bWide && Len > (INT32_MAX - 2) / 2)
        return false;
    TDynArray<uint8_t> Bytes;
    if (!bWide)
    {
        Bytes.Add(Len);
        for (int32_t i = 0; i < Len; ++i)
            Bytes[i] = uint8_t(Units[i]);
    }
    else
    {
        Bytes.Add(2 + 2 * Len);
        Bytes[0] = 0xFF;
        Bytes[1] = 0xFE;
        for (int32_t i = 0; i < Len; ++i)
        {
            Bytes[2 + 2 * i] = uint8_t(Units[i] & 0xFF);
            Bytes[3 + 2 * i] = uint8_t(Units[i] >> 8);
        }
    }
    Writer->Serialize(Bytes.GetData(), Bytes.Num());
    // The last bytes reach the disk on Close: only then is it known whether the file was written whole.
    return Writer->Close();
}
