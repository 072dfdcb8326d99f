// Support of the pellmor command's tests.
#include "PellmorTestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <map>
#include <sstream>

int32_t RunPellmor(const std::vector<FString>& Args, FTestConsole& Console, const FString& WorkingDir)
{
    TDynArray<FString> List;
    for (const FString& Arg : Args)
        List.AddItem(Arg);
    return RunPellmorCommand(List, Console, WorkingDir);
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
// Every scalar under the keys that lead to it: a string as its text, any other value as JSON writes it.
void Flatten(const nlohmann::json& Value, const std::string& Path, std::map<std::string, std::string>& Values)
{
    if (Value.is_structured())
    {
        size_t Index = 0;
        for (auto Item = Value.begin(); Item != Value.end(); ++Item, ++Index)
            Flatten(*Item, Path + "/" + (Value.is_object() ? Item.key() : std::to_string(Index)), Values);
        return;
    }
    Values[Path] = Value.is_string() ? Value.get<std::string>() : Value.dump();
}
} // namespace

bool FJson::Parse(const std::string& Text)
{
    Values.clear();
    const nlohmann::json Document = nlohmann::json::parse(Text, nullptr, false);
    if (Document.is_discarded())
        return false;
    Flatten(Document, "", Values);
    return true;
}

std::string FJson::Get(std::initializer_list<std::string> Path) const
{
    std::string Key;
    for (const std::string& Name : Path)
        Key += "/" + Name;
    const auto Found = Values.find(Key);
    return Found == Values.end() ? "" : Found->second;
}
