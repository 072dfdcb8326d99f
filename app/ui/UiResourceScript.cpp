// Reading the dialogs, strings and icons of a resource script for the headless back end.
#include "app/ui/UiResourceScript.h"

#include <cctype>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace
{
std::string Trim(const std::string& Text)
{
    size_t Begin = Text.find_first_not_of(" \t\r");
    if (Begin == std::string::npos)
        return std::string();
    size_t End = Text.find_last_not_of(" \t\r");
    return Text.substr(Begin, End - Begin + 1);
}

std::vector<std::string> Lines(const char* Text)
{
    std::vector<std::string> Result;
    std::string Line;
    for (const char* P = Text; *P; ++P)
    {
        if (*P == '\n')
        {
            Result.push_back(Line);
            Line.clear();
        }
        else
            Line += *P;
    }
    if (!Line.empty())
        Result.push_back(Line);
    return Result;
}

// Splits at commas outside quotes; quoted fields keep their quotes.
std::vector<std::string> SplitFields(const std::string& Text)
{
    std::vector<std::string> Fields;
    std::string Field;
    bool bQuoted = false;
    for (char C : Text)
    {
        if (C == '"')
            bQuoted = !bQuoted;
        if (C == ',' && !bQuoted)
        {
            Fields.push_back(Trim(Field));
            Field.clear();
        }
        else
            Field += C;
    }
    Fields.push_back(Trim(Field));
    return Fields;
}

bool IsQuoted(const std::string& Field)
{
    return Field.size() >= 2 && Field.front() == '"' && Field.back() == '"';
}

// A quoted script text without its quotes; "" stands for one quote.
std::string Unquote(const std::string& Field)
{
    std::string Text;
    for (size_t i = 1; i + 1 < Field.size(); ++i)
    {
        Text += Field[i];
        if (Field[i] == '"' && Field[i + 1] == '"')
            ++i;
    }
    return Text;
}

bool HasStyle(const std::string& Style, const char* Name)
{
    const std::string Needle = Name;
    for (size_t At = Style.find(Needle); At != std::string::npos; At = Style.find(Needle, At + 1))
    {
        const bool bStart = At == 0 || !(isalnum((unsigned char)Style[At - 1]) || Style[At - 1] == '_');
        const size_t After = At + Needle.size();
        const bool bEnd = After == Style.size() || !(isalnum((unsigned char)Style[After]) || Style[After] == '_');
        if (bStart && bEnd)
            return true;
    }
    return false;
}

bool HasNegatedStyle(const std::string& Style, const char* Name)
{
    const std::string Needle = std::string("NOT ") + Name;
    return Style.find(Needle) != std::string::npos;
}

FString ToFString(const std::string& Text)
{
    return FString::FromUtf8(Text.c_str());
}
} // namespace

bool FUiResourceScript::Resolve(const FString& Token, int32_t& Value) const
{
    const std::string Text = Token.ToUtf8();
    if (Text.empty())
        return false;
    if (isdigit((unsigned char)Text[0]) || Text[0] == '-')
    {
        char* End = nullptr;
        const long Number = std::strtol(Text.c_str(), &End, 0);
        if (*End && std::string(End) != "L")
            return false;
        Value = int32_t(Number);
        return true;
    }
    for (const FSymbol& Symbol : Symbols)
        if (Symbol.Name == Token)
        {
            Value = Symbol.Value;
            return true;
        }
    static const struct
    {
        const char16_t* Name;
        int32_t Value;
    } Builtin[] = {{u"IDOK", 1}, {u"IDCANCEL", 2}, {u"IDC_STATIC", -1}};
    for (const auto& Symbol : Builtin)
        if (Token == Symbol.Name)
        {
            Value = Symbol.Value;
            return true;
        }
    return false;
}

// One line of the script, lines that go on joined to it, split into its first word, the rest, and the rest's
// first word.
struct FUiResourceScript::FLine
{
    int32_t Number = 0; // of its first line in the script
    std::string Text;
    std::string First;
    std::string Rest;
    std::string Second;
    std::string AfterSecond; // what follows Second, untrimmed

    FLine(int32_t InNumber, const std::string& InText) : Number(InNumber), Text(InText)
    {
        const size_t Space = Text.find_first_of(" \t");
        First = Text.substr(0, Space);
        Rest = Space == std::string::npos ? std::string() : Trim(Text.substr(Space));
        const size_t Space2 = Rest.find_first_of(" \t");
        Second = Rest.substr(0, Space2);
        AfterSecond = Space2 == std::string::npos ? std::string() : Rest.substr(Space2);
    }
    bool IsBegin() const { return First == "BEGIN" || First == "{"; }
    bool IsEnd() const { return First == "END" || First == "}"; }
};

namespace
{
bool Fail(FString* Error, int32_t LineNumber, const std::string& Why)
{
    if (Error)
        *Error = FString::Printf(u"resource script line %d: %s", LineNumber, *ToFString(Why));
    return false;
}

// Joins lines that go on (ending with ',' or '|'); keeps the number of each joined line's first line. Blank
// lines, preprocessor lines and comment lines are left out.
std::vector<std::pair<int32_t, std::string>> JoinLines(const char* Script)
{
    std::vector<std::pair<int32_t, std::string>> Joined;
    const std::vector<std::string> Raw = Lines(Script);
    for (size_t i = 0; i < Raw.size(); ++i)
    {
        std::string Line = Trim(Raw[i]);
        const int32_t Number = int32_t(i + 1);
        while (!Line.empty() && (Line.back() == ',' || Line.back() == '|') && i + 1 < Raw.size())
            Line += " " + Trim(Raw[++i]);
        if (Line.empty() || Line[0] == '#' || Line.compare(0, 2, "//") == 0)
            continue;
        Joined.push_back({Number, Line});
    }
    return Joined;
}
} // namespace

bool FUiResourceScript::Parse(const char* Script, const char* Header, FString* Error)
{
    Symbols.Empty();
    Dialogs.Empty();
    Strings.Empty();
    Icons.Empty();
    ReadDefines(Header);
    const std::vector<std::pair<int32_t, std::string>> Joined = JoinLines(Script);
    FBlockState State;
    for (const auto& Item : Joined)
        if (!ReadLine(FLine(Item.first, Item.second), State, Error))
            return false;
    if (State.Block != EBlock::None)
        return Fail(Error, Joined.empty() ? 0 : Joined.back().first, "block without END");
    return true;
}

// The symbols of the resource header: "#define NAME number" lines.
void FUiResourceScript::ReadDefines(const char* Header)
{
    for (const std::string& Raw : Lines(Header))
    {
        const std::string Line = Trim(Raw);
        if (Line.compare(0, 8, "#define ") != 0)
            continue;
        const std::string Rest = Trim(Line.substr(8));
        const size_t Space = Rest.find_first_of(" \t");
        if (Space == std::string::npos)
            continue;
        char* End = nullptr;
        const std::string ValueText = Trim(Rest.substr(Space));
        const long Value = std::strtol(ValueText.c_str(), &End, 0);
        if (*End == 0)
            Symbols.AddItem(FSymbol{ToFString(Rest.substr(0, Space)), int32_t(Value)});
    }
}

bool FUiResourceScript::ReadLine(const FLine& Line, FBlockState& State, FString* Error)
{
    switch (State.Block)
    {
        case EBlock::None:
            return ReadTopLevel(Line, State, Error);
        case EBlock::DialogHead:
            ReadDialogHead(Line, State);
            return true;
        case EBlock::DialogBody:
            if (Line.IsEnd())
            {
                State.Block = EBlock::None;
                return true;
            }
            return ReadControl(Line, Error);
        case EBlock::StringHead:
            if (Line.IsBegin())
                State.Block = EBlock::StringBody;
            return true;
        case EBlock::StringBody:
            if (Line.IsEnd())
            {
                State.Block = EBlock::None;
                return true;
            }
            return ReadString(Line, Error);
        case EBlock::Skipped:
            if (Line.IsBegin())
                ++State.SkipDepth;
            else if (Line.IsEnd() && --State.SkipDepth == 0)
                State.Block = EBlock::None;
            return true;
    }
    return true;
}

// A line outside every block: a string table, a dialog or an icon begins, or another resource is passed over.
bool FUiResourceScript::ReadTopLevel(const FLine& Line, FBlockState& State, FString* Error)
{
    if (Line.First == "STRINGTABLE")
    {
        State.Block = EBlock::StringHead;
        return true;
    }
    if (Line.Second == "DIALOGEX" || Line.Second == "DIALOG")
    {
        FUiDialogTemplate Dialog;
        if (!Resolve(ToFString(Line.First), Dialog.Id))
            return Fail(Error, Line.Number, "unknown dialog id " + Line.First);
        const std::vector<std::string> Box = SplitFields(Line.AfterSecond);
        if (Box.size() < 4)
            return Fail(Error, Line.Number, "dialog without its size");
        Dialog.Width = std::atoi(Box[2].c_str());
        Dialog.Height = std::atoi(Box[3].c_str());
        Dialogs.AddItem(Dialog);
        State.Block = EBlock::DialogHead;
        return true;
    }
    if (Line.Second == "ICON")
    {
        int32_t Id = 0;
        if (Resolve(ToFString(Line.First), Id))
            Icons.AddItem(Id);
        return true;
    }
    // Other resources: a one-line one, or a block to be skipped whole.
    if (Line.IsBegin())
    {
        State.Block = EBlock::Skipped;
        State.SkipDepth = 1;
    }
    return true;
}

void FUiResourceScript::ReadDialogHead(const FLine& Line, FBlockState& State)
{
    FUiDialogTemplate& Dialog = Dialogs.Last();
    if (Line.First == "STYLE")
    {
        Dialog.bVisible = HasStyle(Line.Rest, "WS_VISIBLE") && !HasNegatedStyle(Line.Rest, "WS_VISIBLE");
        Dialog.bSysMenu = HasStyle(Line.Rest, "WS_SYSMENU");
    }
    else if (Line.First == "CAPTION")
        Dialog.Caption = ToFString(Unquote(Line.Rest));
    else if (Line.IsBegin())
        State.Block = EBlock::DialogBody;
}

// One control of a dialog's body, added to the dialog last begun.
bool FUiResourceScript::ReadControl(const FLine& Line, FString* Error)
{
    FUiControlTemplate Control;
    std::string Style;
    const bool bRead = Line.First == "CONTROL" ? ReadGenericControl(Line, Control, Style, Error)
                                               : ReadNamedControl(Line, Control, Style, Error);
    if (!bRead)
        return false;
    Control.bDisabled = HasStyle(Style, "WS_DISABLED");
    Control.bHidden = HasNegatedStyle(Style, "WS_VISIBLE");
    Control.bReadOnly = HasStyle(Style, "ES_READONLY");
    Control.bAutoCheck = Line.First == "AUTOCHECKBOX" || HasStyle(Style, "BS_AUTOCHECKBOX");
    Dialogs.Last().Controls.AddItem(Control);
    return true;
}

// CONTROL text, id, class, style, x, y, width, height
bool FUiResourceScript::ReadGenericControl(const FLine& Line, FUiControlTemplate& Control, std::string& Style,
                                           FString* Error) const
{
    const std::vector<std::string> Fields = SplitFields(Line.Rest);
    if (Fields.size() < 8)
        return Fail(Error, Line.Number, "CONTROL needs text, id, class, style, x, y, width, height");
    Control.Text = ToFString(Unquote(Fields[0]));
    Control.ClassName = ToFString(Unquote(Fields[2]));
    Style = Fields[3];
    if (!Resolve(ToFString(Fields[1]), Control.Id))
        return Fail(Error, Line.Number, "unknown control id " + Fields[1]);
    Control.X = std::atoi(Fields[4].c_str());
    Control.Y = std::atoi(Fields[5].c_str());
    Control.Width = std::atoi(Fields[6].c_str());
    Control.Height = std::atoi(Fields[7].c_str());
    return true;
}

// EDITTEXT and COMBOBOX id, x, y, width, height[, style]; the other named controls have their text first (an ICON need
// not have a size).
bool FUiResourceScript::ReadNamedControl(const FLine& Line, FUiControlTemplate& Control, std::string& Style,
                                         FString* Error) const
{
    const std::string& First = Line.First;
    if (First == "EDITTEXT")
        Control.ClassName = u"Edit";
    else if (First == "COMBOBOX")
        Control.ClassName = u"ComboBox";
    else if (First == "PUSHBUTTON" || First == "DEFPUSHBUTTON" || First == "GROUPBOX" || First == "CHECKBOX" ||
             First == "AUTOCHECKBOX" || First == "RADIOBUTTON")
        Control.ClassName = u"Button";
    else if (First == "LTEXT" || First == "RTEXT" || First == "CTEXT" || First == "ICON")
        Control.ClassName = u"Static";
    else
        return Fail(Error, Line.Number, "unknown control " + First);
    const std::vector<std::string> Fields = SplitFields(Line.Rest);
    // The fields after the text: id, x, y, width, height, style.
    size_t At = 0;
    if (First != "EDITTEXT" && First != "COMBOBOX")
    {
        if (Fields.empty())
            return Fail(Error, Line.Number, "control without text");
        Control.Text = ToFString(IsQuoted(Fields[0]) ? Unquote(Fields[0]) : Fields[0]);
        At = 1;
    }
    const size_t Needed = First == "ICON" ? 3 : 5;
    if (Fields.size() < At + Needed)
        return Fail(Error, Line.Number, "control without id and position");
    if (!Resolve(ToFString(Fields[At]), Control.Id))
        return Fail(Error, Line.Number, "unknown control id " + Fields[At]);
    Control.X = std::atoi(Fields[At + 1].c_str());
    Control.Y = std::atoi(Fields[At + 2].c_str());
    if (Fields.size() > At + 4)
    {
        Control.Width = std::atoi(Fields[At + 3].c_str());
        Control.Height = std::atoi(Fields[At + 4].c_str());
    }
    if (Fields.size() > At + 5)
        Style = Fields[At + 5];
    return true;
}

// ID "text" in a string table.
bool FUiResourceScript::ReadString(const FLine& Line, FString* Error)
{
    FString16 Entry;
    if (!Resolve(ToFString(Line.First), Entry.Id) || !IsQuoted(Line.Rest))
        return Fail(Error, Line.Number, "unreadable string " + Line.Text);
    Entry.Text = ToFString(Unquote(Line.Rest));
    Strings.AddItem(Entry);
    return true;
}

const FUiDialogTemplate* FUiResourceScript::FindDialog(int32_t Id) const
{
    for (const FUiDialogTemplate& Dialog : Dialogs)
        if (Dialog.Id == Id)
            return &Dialog;
    return nullptr;
}

bool FUiResourceScript::FindString(int32_t Id, FString& Out) const
{
    for (const FString16& Entry : Strings)
        if (Entry.Id == Id)
        {
            Out = Entry.Text;
            return true;
        }
    return false;
}

bool FUiResourceScript::HasIcon(int32_t Id) const
{
    for (int32_t Icon : Icons)
        if (Icon == Id)
            return true;
    return false;
}
