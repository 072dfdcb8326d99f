// Support of the pellmor command's tests.
#include "PellmorTestSupport.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <sstream>
#include <gtest/gtest.h>

int32_t RunPellmor(const std::vector<FString>& Args, FTestConsole& Console)
{
    TDynArray<FString> List;
    for (const FString& Arg : Args)
        List.AddItem(Arg);
    return RunPellmorCommand(List, Console);
}

bool Has(const std::string& Text, const std::string& Words)
{
    return Text.find(Words) != std::string::npos;
}

int32_t RunPellmorJson(std::vector<FString> Args, FJson& Json)
{
    Args.push_back(u"--json");
    FTestConsole Console;
    const int32_t Exit = RunPellmor(Args, Console);
    EXPECT_TRUE(Json.Parse(Console.OutText)) << Console.OutText;
    std::istringstream Lines(Console.ErrText);
    for (std::string Line; std::getline(Lines, Line);)
        EXPECT_EQ(Line.rfind("pellmor: warning: ", 0), 0u) << Line;
    return Exit;
}

void FTerminalModel::Write(const std::string& Text)
{
    for (size_t i = 0; i < Text.size(); ++i)
    {
        std::string& Row = Screen.back();
        if (Text[i] == '\r')
            Column = 0;
        else if (Text[i] == '\n')
        {
            Screen.emplace_back();
            Column = 0;
        }
        else if (Text.compare(i, 3, "\x1b[K") == 0)
        {
            Row.resize(std::min(Row.size(), Column));
            i += 2;
        }
        else
        {
            if (Column >= size_t(Width))
            {
                ++Wraps;
                Screen.emplace_back();
                Column = 0;
            }
            std::string& Line = Screen.back();
            if (Line.size() <= Column)
                Line.resize(Column + 1, ' ');
            Line[Column++] = Text[i];
        }
    }
}

std::vector<std::string> FTerminalModel::Rows() const
{
    std::vector<std::string> Result;
    for (std::string Row : Screen)
    {
        while (!Row.empty() && Row.back() == ' ')
            Row.pop_back();
        Result.push_back(Row);
    }
    return Result;
}

// ---- JSON -----------------------------------------------------------------------------------------------------

namespace
{
// A strict recursive-descent reader that keeps every scalar under the object keys that lead to it.
struct FJsonReader
{
    const std::string& S;
    std::map<std::string, std::string>& Values;
    size_t P = 0;

    bool At(const char* Set) const { return P < S.size() && S[P] && std::strchr(Set, S[P]); }
    // Passes over the characters of Set; whether there was one.
    bool Skip(const char* Set)
    {
        const size_t Start = P;
        while (At(Set))
            ++P;
        return P > Start;
    }
    bool Eat(char C)
    {
        Skip(" \t\n\r");
        return P < S.size() && S[P] == C && ++P;
    }
    // A string into Text, with \\ and \" undone and other escapes kept as written.
    bool String(std::string& Text)
    {
        if (!Eat('"'))
            return false;
        for (; P < S.size(); Text += S[P++])
        {
            if (S[P] == '"')
                return ++P;
            if (static_cast<unsigned char>(S[P]) < 0x20)
                return false;
            if (S[P] != '\\')
                continue;
            if (++P >= S.size() || !At("\"\\/bfnrtu"))
                return false;
            for (size_t i = 1; S[P] == 'u' && i <= 4; ++i)
                if (P + i >= S.size() || !std::isxdigit(static_cast<unsigned char>(S[P + i])))
                    return false;
            if (S[P] != '"' && S[P] != '\\')
                Text += '\\';
        }
        return false;
    }
    // -?(0|[1-9][0-9]*)(.[0-9]+)?([eE][+-]?[0-9]+)?
    bool Number()
    {
        P += At("-");
        if (At("0"))
            ++P;
        else if (!Skip("0123456789"))
            return false;
        if (At(".") && (++P, !Skip("0123456789")))
            return false;
        return !At("eE") || (++P, P += At("+-"), Skip("0123456789"));
    }
    bool Value(const std::string& Path)
    {
        Skip(" \t\n\r");
        const size_t Start = P;
        std::string Key, Text;
        if (Eat('{') || Eat('['))
        {
            const bool bObject = S[Start] == '{';
            const char Close = bObject ? '}' : ']';
            if (Eat(Close))
                return true;
            int Index = 0;
            do
            {
                Key = bObject ? std::string() : std::to_string(Index++);
                if ((bObject && (!String(Key) || !Eat(':'))) || !Value(Path + "/" + Key))
                    return false;
            } while (Eat(','));
            return Eat(Close);
        }
        if (P < S.size() && S[P] == '"')
        {
            if (!String(Text))
                return false;
        }
        else
        {
            for (const char* Word : {"true", "false", "null"})
                if (P == Start && S.compare(P, std::strlen(Word), Word) == 0)
                    P += std::strlen(Word);
            if (P == Start && !Number())
                return false;
            Text = S.substr(Start, P - Start);
        }
        Values[Path] = Text;
        return true;
    }
};
} // namespace

bool FJson::Parse(const std::string& Text)
{
    Values.clear();
    FJsonReader Reader{Text, Values};
    const bool bValid = Reader.Value("");
    Reader.Skip(" \t\n\r");
    return bValid && Reader.P == Text.size();
}

std::string FJson::Get(std::initializer_list<std::string> Path) const
{
    std::string Key;
    for (const std::string& Name : Path)
        Key += "/" + Name;
    const auto Found = Values.find(Key);
    return Found == Values.end() ? "" : Found->second;
}
