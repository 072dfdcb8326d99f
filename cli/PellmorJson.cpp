// The JSON writer of the pellmor command.
#include "cli/PellmorJson.h"

void FJsonWriter::BeforeValue()
{
    if (bAfterKey)
    {
        bAfterKey = false;
        return;
    }
    if (Levels.Num() == 0)
        return;
    FLevel& Level = Levels[Levels.Num() - 1];
    if (!Level.bEmpty)
        Out += u",";
    if (Level.bInline)
        Out += Level.bEmpty ? u"" : u" ";
    else
        Out += u"\n" + FString::Printf(u"%*s", 2 * Levels.Num(), u"");
    Level.bEmpty = false;
}

FJsonWriter& FJsonWriter::Begin(char16_t Open, ELayout Layout)
{
    BeforeValue();
    Out += Open;
    FLevel Level;
    Level.bInline = Layout == Inline || (Levels.Num() > 0 && Levels[Levels.Num() - 1].bInline);
    Levels.AddItem(Level);
    return *this;
}

FJsonWriter& FJsonWriter::End(char16_t Close)
{
    const FLevel Level = Levels.Pop();
    if (!Level.bInline && !Level.bEmpty)
        Out += u"\n" + FString::Printf(u"%*s", 2 * Levels.Num(), u"");
    Out += Close;
    return *this;
}

FJsonWriter& FJsonWriter::BeginObject(ELayout Layout)
{
    return Begin(u'{', Layout);
}

FJsonWriter& FJsonWriter::EndObject()
{
    return End(u'}');
}

FJsonWriter& FJsonWriter::BeginArray(ELayout Layout)
{
    return Begin(u'[', Layout);
}

FJsonWriter& FJsonWriter::EndArray()
{
    return End(u']');
}

FJsonWriter& FJsonWriter::Key(const char16_t* Name)
{
    BeforeValue();
    Out += Quote(Name) + u": ";
    bAfterKey = true;
    return *this;
}

FJsonWriter& FJsonWriter::String(const FString& Text)
{
    BeforeValue();
    Out += Quote(Text);
    return *this;
}

FJsonWriter& FJsonWriter::StringOrNull(const FString& Text)
{
    return Text.IsEmpty() ? Null() : String(Text);
}

FJsonWriter& FJsonWriter::Number(int64_t Value)
{
    BeforeValue();
    Out += FString::Printf(u"%lld", (long long)Value);
    return *this;
}

FJsonWriter& FJsonWriter::Number(double Value, int32_t Decimals)
{
    BeforeValue();
    Out += FString::Printf(u"%.*f", Decimals, Value);
    return *this;
}

FJsonWriter& FJsonWriter::Size(int64_t Bytes)
{
    return Bytes < 0 ? Null() : Number(Bytes);
}

FJsonWriter& FJsonWriter::Bool(bool bValue)
{
    BeforeValue();
    Out += bValue ? u"true" : u"false";
    return *this;
}

FJsonWriter& FJsonWriter::Null()
{
    BeforeValue();
    Out += u"null";
    return *this;
}

FString FJsonWriter::Text() const
{
    return Levels.Num() == 0 && !Out.IsEmpty() ? Out + u"\n" : Out;
}

FString FJsonWriter::Quote(const FString& Text)
{
    FString Result(u"\"");
    for (int32_t i = 0; i < Text.Len(); ++i)
    {
        const char16_t C = Text[i];
        if (C == u'"' || C == u'\\')
        {
            Result += u'\\';
            Result += C;
        }
        else if (C == u'\n')
            Result += u"\\n";
        else if (C == u'\r')
            Result += u"\\r";
        else if (C == u'\t')
            Result += u"\\t";
        else if (C < 0x20)
            Result += FString::Printf(u"\\u%04x", int32_t(C));
        else
            Result += C;
    }
    Result += u'"';
    return Result;
}
