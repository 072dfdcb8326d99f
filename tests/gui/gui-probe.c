/* gui-probe: what a user sees of another program's windows, for the GUI tests under Wine.
 *
 *   gui-probe.exe [CAPTION]
 *
 * Prints every visible top-level window (only those captioned CAPTION when it is given) and its controls,
 * one line each, tab-separated, in UTF-8:
 *   window  CAPTION  LEFT TOP RIGHT BOTTOM
 *   control ID  CLASS  enabled|disabled  visible|hidden  LEFT TOP RIGHT BOTTOM  TEXT
 * Places are screen pixels (the X screen's, under Wine without a virtual desktop); line breaks in texts are
 * written as \r and \n. Texts are asked for with WM_GETTEXT, which works across processes. Exits with 1 when
 * no window matched. A test tool: it reads windows through Win32 directly, as only a Win32 program can.
 *
 *   gui-probe.exe --hold FILE SECONDS
 *
 * Keeps FILE open for SECONDS, the way the running game holds its archive: others may read and write it, but
 * not rename or delete it (no FILE_SHARE_DELETE). Prints "holding" once the file is open; exits with 1 when it
 * cannot be opened. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

static void Print(const wchar_t* Text)
{
    char Buffer[8192];
    int Length = WideCharToMultiByte(CP_UTF8, 0, Text, -1, Buffer, (int)sizeof(Buffer), NULL, NULL);
    if (Length > 1)
        fwrite(Buffer, 1, (size_t)(Length - 1), stdout);
}

static void PrintEscaped(const wchar_t* Text)
{
    wchar_t Out[4096];
    size_t At = 0;
    for (; *Text && At + 3 < sizeof(Out) / sizeof(Out[0]); ++Text)
    {
        if (*Text == L'\r' || *Text == L'\n' || *Text == L'\t')
        {
            Out[At++] = L'\\';
            Out[At++] = *Text == L'\r' ? L'r' : (*Text == L'\n' ? L'n' : L't');
        }
        else
            Out[At++] = *Text;
    }
    Out[At] = 0;
    Print(Out);
}

static void WindowText(HWND Window, wchar_t* Text, int Capacity)
{
    DWORD_PTR Got = 0;
    Text[0] = 0;
    if (!SendMessageTimeoutW(Window, WM_GETTEXT, (WPARAM)Capacity, (LPARAM)Text, SMTO_ABORTIFHUNG, 2000, &Got))
        Text[0] = 0;
    Text[Capacity - 1] = 0;
}

static BOOL CALLBACK PrintControl(HWND Control, LPARAM Unused)
{
    wchar_t Class[256], Text[4096], Line[512];
    RECT Box;
    (void)Unused;
    GetClassNameW(Control, Class, 256);
    WindowText(Control, Text, 4096);
    GetWindowRect(Control, &Box);
    swprintf(Line, 512, L"control\t%d\t%ls\t%ls\t%ls\t%ld %ld %ld %ld\t", GetDlgCtrlID(Control), Class,
             IsWindowEnabled(Control) ? L"enabled" : L"disabled", IsWindowVisible(Control) ? L"visible" : L"hidden",
             Box.left, Box.top, Box.right, Box.bottom);
    Print(Line);
    PrintEscaped(Text);
    Print(L"\n");
    return TRUE;
}

static const wchar_t* GWanted = NULL;
static int GFound = 0;

static BOOL CALLBACK PrintTopWindow(HWND Window, LPARAM Unused)
{
    wchar_t Text[1024], Line[1400];
    RECT Box;
    (void)Unused;
    if (!IsWindowVisible(Window))
        return TRUE;
    WindowText(Window, Text, 1024);
    if (GWanted && wcscmp(Text, GWanted) != 0)
        return TRUE;
    GetWindowRect(Window, &Box);
    swprintf(Line, 1400, L"window\t%ls\t%ld %ld %ld %ld\n", Text, Box.left, Box.top, Box.right, Box.bottom);
    Print(Line);
    EnumChildWindows(Window, PrintControl, 0);
    ++GFound;
    return TRUE;
}

static int Hold(const wchar_t* Path, int Seconds)
{
    HANDLE File = CreateFileW(Path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (File == INVALID_HANDLE_VALUE)
    {
        wchar_t Line[64];
        swprintf(Line, 64, L"cannot open it: error %lu\n", GetLastError());
        Print(Line);
        return 1;
    }
    Print(L"holding\n");
    fflush(stdout);
    Sleep((DWORD)Seconds * 1000);
    CloseHandle(File);
    return 0;
}

int main(void)
{
    int Count = 0;
    wchar_t** Args = CommandLineToArgvW(GetCommandLineW(), &Count);
    if (Args && Count == 4 && wcscmp(Args[1], L"--hold") == 0)
        return Hold(Args[2], _wtoi(Args[3]));
    if (Args && Count > 1)
        GWanted = Args[1];
    EnumWindows(PrintTopWindow, 0);
    fflush(stdout);
    return GFound > 0 ? 0 : 1;
}
