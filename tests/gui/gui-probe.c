// gui-probe: what a user sees of another program's windows, for the GUI tests under Wine.
//
//   gui-probe.exe [CAPTION]
//
// Prints every visible top-level window (only those captioned CAPTION when it is given) and its controls,
// one line each, tab-separated, in UTF-8:
//   window  CAPTION  LEFT TOP RIGHT BOTTOM
//   control ID  CLASS  enabled|disabled  visible|hidden  LEFT TOP RIGHT BOTTOM  TEXT  vscroll|-
// Places are screen pixels (the X screen's, under Wine without a virtual desktop); line breaks in texts are
// written as \r and \n. The last field says whether the control has a vertical scroll bar (WS_VSCROLL). Captions and places are read without the program's help, so the windows of a program
// that is busy or stopped are found all the same; the controls' texts are asked for with WM_GETTEXT, which the
// program answers, and one not answered within 5 s reads "(no answer)". Exits with 1 when no window matched.
// A test tool: it reads windows through Win32 directly, as only a Win32 program can.
//
//   gui-probe.exe --wait SECONDS CAPTION TEXT...
//
// Looks every 100 ms, for at most SECONDS, until a window captioned CAPTION shows one of the TEXTs (fixed
// strings, found anywhere in the lines above); prints that look's lines and exits with 0. Once a look has found
// none it writes "looking" to stderr, so that a test can start it before an action whose effect may not last.
// At the deadline it prints the last look's lines, then "shown" and the captions of all visible windows, and
// exits with 1.
//
//   gui-probe.exe --hold FILE SECONDS
//
// Keeps FILE open for SECONDS, the way the running game holds its archive: others may read and write it, but
// not rename or delete it (no FILE_SHARE_DELETE). Prints "holding" once the file is open; exits with 1 when it
// cannot be opened.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

// One look's lines, kept to be searched before they are printed.
static char GLines[1 << 16];
static size_t GLinesLength = 0;

static void Print(const wchar_t* Text)
{
    int Room = (int)(sizeof(GLines) - GLinesLength - 1);
    int Length = WideCharToMultiByte(CP_UTF8, 0, Text, -1, GLines + GLinesLength, Room, NULL, NULL);
    if (Length > 1)
        GLinesLength += (size_t)(Length - 1);
    GLines[GLinesLength] = 0;
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

static void ControlText(HWND Control, wchar_t* Text, int Capacity)
{
    DWORD_PTR Got = 0;
    Text[0] = 0;
    if (!SendMessageTimeoutW(Control, WM_GETTEXT, (WPARAM)Capacity, (LPARAM)Text, SMTO_NORMAL, 5000, &Got))
        wcscpy(Text, L"(no answer)");
    Text[Capacity - 1] = 0;
}

static BOOL CALLBACK PrintControl(HWND Control, LPARAM Unused)
{
    wchar_t Class[256], Text[4096], Line[512];
    RECT Box;
    (void)Unused;
    GetClassNameW(Control, Class, 256);
    ControlText(Control, Text, 4096);
    GetWindowRect(Control, &Box);
    swprintf(Line, 512, L"control\t%d\t%ls\t%ls\t%ls\t%ld %ld %ld %ld\t", GetDlgCtrlID(Control), Class,
             IsWindowEnabled(Control) ? L"enabled" : L"disabled", IsWindowVisible(Control) ? L"visible" : L"hidden",
             Box.left, Box.top, Box.right, Box.bottom);
    Print(Line);
    PrintEscaped(Text);
    Print((GetWindowLongW(Control, GWL_STYLE) & WS_VSCROLL) ? L"\tvscroll\n" : L"\t-\n");
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
    // For another process's window this reads the caption that Wine's server keeps, without a message.
    GetWindowTextW(Window, Text, 1024);
    if (GWanted && wcscmp(Text, GWanted) != 0)
        return TRUE;
    GetWindowRect(Window, &Box);
    swprintf(Line, 1400, L"window\t%ls\t%ld %ld %ld %ld\n", Text, Box.left, Box.top, Box.right, Box.bottom);
    Print(Line);
    EnumChildWindows(Window, PrintControl, 0);
    ++GFound;
    return TRUE;
}

static void Look(void)
{
    GLinesLength = 0;
    GLines[0] = 0;
    GFound = 0;
    EnumWindows(PrintTopWindow, 0);
}

static BOOL CALLBACK PrintCaption(HWND Window, LPARAM Unused)
{
    wchar_t Text[1024];
    (void)Unused;
    if (IsWindowVisible(Window) && GetWindowTextW(Window, Text, 1024) > 0)
    {
        Print(L"\t");
        PrintEscaped(Text);
    }
    return TRUE;
}

static int Wait(int Seconds, wchar_t** Texts, int Count)
{
    char Wanted[8][1024];
    ULONGLONG Deadline = GetTickCount64() + (ULONGLONG)Seconds * 1000;
    int i, Seen = -1, Looks = 0;
    Count = Count < 8 ? Count : 8;
    for (i = 0; i < Count; ++i)
        if (!WideCharToMultiByte(CP_UTF8, 0, Texts[i], -1, Wanted[i], (int)sizeof(Wanted[i]), NULL, NULL))
            Wanted[i][0] = 0;
    for (;;)
    {
        Look();
        for (i = 0; i < Count && Seen < 0; ++i)
            if (GFound && Wanted[i][0] && strstr(GLines, Wanted[i]))
                Seen = i;
        if (Seen >= 0 || GetTickCount64() >= Deadline)
            break;
        if (Looks++ == 0)
        {
            fputs("looking\n", stderr);
            fflush(stderr);
        }
        Sleep(100);
    }
    if (Seen < 0)
    {
        Print(L"shown");
        EnumWindows(PrintCaption, 0);
        Print(L"\n");
    }
    fwrite(GLines, 1, GLinesLength, stdout);
    return Seen >= 0 ? 0 : 1;
}

static int Hold(const wchar_t* Path, int Seconds)
{
    HANDLE File = CreateFileW(Path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (File == INVALID_HANDLE_VALUE)
    {
        printf("cannot open it: error %lu\n", GetLastError());
        return 1;
    }
    printf("holding\n");
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
    if (Args && Count >= 5 && wcscmp(Args[1], L"--wait") == 0)
    {
        GWanted = Args[3];
        return Wait(_wtoi(Args[2]), Args + 4, Count - 4);
    }
    if (Args && Count > 1)
        GWanted = Args[1];
    Look();
    fwrite(GLines, 1, GLinesLength, stdout);
    fflush(stdout);
    return GFound > 0 ? 0 : 1;
}
