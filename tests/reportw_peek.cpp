// Reads the report window for its end-to-end test, since X shows no control
// texts: a control's text or check state, or the text of the message box the
// window shows. Texts are printed in UTF-8.
//   reportw_peek CAPTION item ID | checked ID | box
// Exit status 2 when the window (or the box) is not there.
#include <windows.h>

#include <shellapi.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static WCHAR caption[256];
static HWND owner;   // NULL: looking for the main window; else its message box
static HWND found;

static BOOL CALLBACK Match(HWND w, LPARAM)
{
    WCHAR title[256], cls[64];
    GetClassNameW(w, cls, 64);
    GetWindowTextW(w, title, 256);
    if (wcscmp(cls, L"#32770") == 0 && wcscmp(title, caption) == 0 && GetWindow(w, GW_OWNER) == owner &&
        IsWindowVisible(w)) {
        found = w;
        return FALSE;
    }
    return TRUE;
}

static HWND Find(HWND ownedBy)
{
    owner = ownedBy;
    found = NULL;
    EnumWindows(Match, 0);
    return found;
}

static void Print(const WCHAR *text)
{
    char utf8[8192];
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof(utf8), NULL, NULL);
    for (int i = 0; i + 1 < n; i++)
        if (utf8[i] != '\r')
            putchar(utf8[i]);
    putchar('\n');
}

int main(int argc, char **argv)
{
    if (argc < 3)
        return 2;
    int wargc;
    wchar_t **wargv = CommandLineToArgvW(GetCommandLineW(), &wargc);   // the caption as typed, not in the code page
    if (!wargv || wargc < 2)
        return 2;
    lstrcpynW(caption, wargv[1], 256);
    HWND main = Find(NULL);
    if (!main)
        return 2;
    WCHAR text[4096] = L"";
    if (strcmp(argv[2], "box") == 0) {
        HWND box = Find(main);
        if (!box || !GetDlgItemTextW(box, 0xFFFF, text, 4096))   // the message's static control
            return 2;
    } else if (argc > 3) {
        HWND item = GetDlgItem(main, atoi(argv[3]));
        if (!item)
            return 2;
        if (strcmp(argv[2], "checked") == 0)
            wsprintfW(text, L"%d", (int)SendMessageW(item, BM_GETCHECK, 0, 0));
        else   // GetWindowText would give another process's edit its caption, not its text
            SendMessageW(item, WM_GETTEXT, 4096, (LPARAM)text);
    }
    Print(text);
    return 0;
}
