// Support of the pellmor command's tests.
#include "PellmorTestSupport.h"

#include <cctype>
#include <cstring>
#include <gtest/gtest.h>

#include "SampleGame.h"

int32_t RunPellmor(std::initializer_list<FString> Args, FTestConsole& Console)
{
    TDynArray<FString> List;
    for (const FString& Arg : Args)
        List.AddItem(Arg);
    return RunPellmorCommand(List, Console);
}

bool MakeSampleGame(const FString& Dir, int32_t Entries)
{
    SampleGame::FSampleGameOptions Options;
    Options.EntryCount = Entries;
    Options.Seed = 7;
    std::string Error;
    const bool bMade = SampleGame::WriteSampleGame(Dir.ToUtf8(), Options, &Error);
    EXPECT_TRUE(bMade) << Error;
    return bMade;
}

// ---- JSON -----------------------------------------------------------------------------------------------------

namespace
{
// A strict recursive-descent reader. Each routine takes the position of a value and returns the position after
// it, or npos when the text is not JSON.
const size_t Bad = std::string::npos;

size_t SkipBlanks(const std::string& S, size_t P)
{
    while (P < S.size() && (S[P] == ' ' || S[P] == '\t' || S[P] == '\n' || S[P] == '\r'))
        ++P;
    return P;
}

size_t ReadValue(const std::string& S, size_t P);

size_t ReadString(const std::string& S, size_t P)
{
    if (P >= S.size() || S[P] != '"')
        return Bad;
    for (++P; P < S.size(); ++P)
    {
        const unsigned char C = S[P];
        if (C == '"')
            return P + 1;
        if (C < 0x20)
            return Bad;
        if (C != '\\')
            continue;
        if (++P >= S.size())
            return Bad;
        if (S[P] == 'u')
        {
            for (int i = 0; i < 4; ++i)
                if (++P >= S.size() || !std::isxdigit(static_cast<unsigned char>(S[P])))
                    return Bad;
        }
        else if (std::string("\"\\/bfnrt").find(S[P]) == std::string::npos)
            return Bad;
    }
    return Bad;
}

size_t ReadNumber(const std::string& S, size_t P)
{
    const size_t Start = P;
    if (P < S.size() && S[P] == '-')
        ++P;
    if (P >= S.size() || !std::isdigit(static_cast<unsigned char>(S[P])))
        return Bad;
    if (S[P] == '0')
        ++P;
    else
        while (P < S.size() && std::isdigit(static_cast<unsigned char>(S[P])))
            ++P;
    if (P < S.size() && S[P] == '.')
    {
        if (++P >= S.size() || !std::isdigit(static_cast<unsigned char>(S[P])))
            return Bad;
        while (P < S.size() && std::isdigit(static_cast<unsigned char>(S[P])))
            ++P;
    }
    return P > Start ? P : Bad;
}

size_t ReadList(const std::string& S, size_t P, char Close, bool bObject)
{
    P = SkipBlanks(S, P + 1);
    if (P < S.size() && S[P] == Close)
        return P + 1;
    for (;;)
    {
        if (bObject)
        {
            P = ReadString(S, P);
            if (P == Bad)
                return Bad;
            P = SkipBlanks(S, P);
            if (P >= S.size() || S[P] != ':')
                return Bad;
            P = SkipBlanks(S, P + 1);
        }
        P = ReadValue(S, P);
        if (P == Bad)
            return Bad;
        P = SkipBlanks(S, P);
        if (P < S.size() && S[P] == Close)
            return P + 1;
        if (P >= S.size() || S[P] != ',')
            return Bad;
        P = SkipBlanks(S, P + 1);
    }
}

size_t ReadValue(const std::string& S, size_t P)
{
    if (P >= S.size())
        return Bad;
    switch (S[P])
    {
        case '{':
            return ReadList(S, P, '}', true);
        case '[':
            return ReadList(S, P, ']', false);
        case '"':
            return ReadString(S, P);
    }
    for (const char* Word : {"true", "false", "null"})
        if (S.compare(P, std::strlen(Word), Word) == 0)
            return P + std::strlen(Word);
    return ReadNumber(S, P);
}
} // namespace

bool FJson::Parse(const std::string& Text)
{
    Source = Text;
    const size_t End = ReadValue(Text, SkipBlanks(Text, 0));
    return End != Bad && SkipBlanks(Text, End) == Text.size();
}

std::string FJson::Get(std::initializer_list<std::string> Path) const
{
    size_t P = SkipBlanks(Source, 0);
    for (const std::string& Key : Path)
    {
        if (P >= Source.size() || Source[P] != '{')
            return "";
        // Walk the members of this object only.
        P = SkipBlanks(Source, P + 1);
        bool bFound = false;
        while (P < Source.size() && Source[P] == '"' && !bFound)
        {
            const size_t KeyEnd = ReadString(Source, P);
            const std::string Name = Source.substr(P + 1, KeyEnd - P - 2);
            P = SkipBlanks(Source, SkipBlanks(Source, KeyEnd) + 1);
            if (Name == Key)
                bFound = true;
            else
                P = SkipBlanks(Source, SkipBlanks(Source, ReadValue(Source, P)) + 1);
        }
        if (!bFound)
            return "";
    }
    const size_t End = ReadValue(Source, P);
    if (End == Bad)
        return "";
    std::string Value = Source.substr(P, End - P);
    if (Value.size() < 2 || Value[0] != '"')
        return Value;
    // A string: the two escapes our texts need undone (\\ and \"); others are kept as written.
    std::string Text;
    for (size_t i = 1; i + 1 < Value.size(); ++i)
    {
        if (Value[i] == '\\' && (Value[i + 1] == '\\' || Value[i + 1] == '"') && i + 2 < Value.size())
            ++i;
        Text += Value[i];
    }
    return Text;
}
