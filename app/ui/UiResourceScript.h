// The dialogs, strings and icons of a resource script (.rc) as the headless back end needs them: which
// controls a dialog has, with their ids, texts and initial states. Reads the subset of the script syntax that
// PellmorWin.rc uses: one control to a line, symbols from #define lines of the resource header.
#pragma once

#include <cstdint>
#include <string>

#include "Core/Inc/Core.h"

struct FUiControlTemplate
{
    int32_t Id = 0;
    FString ClassName; // "Edit", "ComboBox", "Button", "Static" or the class a CONTROL line names
    FString Text;
    int32_t X = 0, Y = 0, Width = 0, Height = 0; // dialog units
    bool bDisabled = false;                      // WS_DISABLED
    bool bHidden = false;                        // NOT WS_VISIBLE
    bool bReadOnly = false;                      // ES_READONLY
    bool bAutoCheck = false;                     // AUTOCHECKBOX: a click turns its check on or off
};

struct FUiDialogTemplate
{
    int32_t Id = 0;
    FString Caption;
    int32_t Width = 0, Height = 0;
    bool bVisible = false; // WS_VISIBLE: shown as soon as it is made
    bool bSysMenu = false; // WS_SYSMENU
    TDynArray<FUiControlTemplate> Controls;
};

class FUiResourceScript
{
public:
    // Reads Script with the symbols of Header. False with *Error set when a line cannot be read.
    bool Parse(const char* Script, const char* Header, FString* Error);

    const FUiDialogTemplate* FindDialog(int32_t Id) const;
    bool FindString(int32_t Id, FString& Out) const;
    bool HasIcon(int32_t Id) const;

private:
    struct FSymbol
    {
        FString Name;
        int32_t Value;
    };
    struct FString16
    {
        int32_t Id;
        FString Text;
    };
    TDynArray<FSymbol> Symbols;
    TDynArray<FUiDialogTemplate> Dialogs;
    TDynArray<FString16> Strings;
    TDynArray<int32_t> Icons;

    // One line of the script with the lines it goes on into joined to it (defined where the script is read).
    struct FLine;
    enum class EBlock
    {
        None,
        DialogHead,
        DialogBody,
        StringHead,
        StringBody,
        Skipped,
    };
    // Where the reading stands: in which block, and how deep inside a skipped one.
    struct FBlockState
    {
        EBlock Block = EBlock::None;
        int32_t SkipDepth = 0;
    };

    bool Resolve(const FString& Token, int32_t& Value) const;
    void ReadDefines(const char* Header);
    // Each reads one line in its place of the script; false with *Error set when the line cannot be read.
    bool ReadLine(const FLine& Line, FBlockState& State, FString* Error);
    bool ReadTopLevel(const FLine& Line, FBlockState& State, FString* Error);
    void ReadDialogHead(const FLine& Line, FBlockState& State);
    bool ReadControl(const FLine& Line, FString* Error);
    bool ReadGenericControl(const FLine& Line, FUiControlTemplate& Control, std::string& Style, FString* Error) const;
    bool ReadNamedControl(const FLine& Line, FUiControlTemplate& Control, std::string& Style, FString* Error) const;
    bool ReadString(const FLine& Line, FString* Error);
};

// PellmorWin.rc and resource.h as they were when the program was built (made by the build from the files).
const char* UiEmbeddedResourceScript();
const char* UiEmbeddedResourceHeader();
