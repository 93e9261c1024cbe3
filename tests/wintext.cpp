// Prints the status bar's first part of the program's main window, or with a
// caption the text of the message box so titled, for the end-to-end tests
// (the texts cannot be read through X).
#include <windows.h>

#include <stdio.h>
#include <string.h>

static HWND found;

static BOOL CALLBACK FindStatus(HWND child, LPARAM)
{
    char cls[64];
    GetClassNameA(child, cls, sizeof(cls));
    if (_stricmp(cls, "msctls_statusbar32") == 0) {
        found = child;
        return FALSE;
    }
    return TRUE;
}

int main(int argc, char **argv)
{
    if (argc > 1) {
        HWND box = FindWindowA("#32770", argv[1]);
        char text[512] = "";
        if (!box || !GetDlgItemTextA(box, 0xFFFF, text, sizeof(text)))   // the message's static control
            return 2;
        printf("%s\n", text);
        return 0;
    }
    HWND main = FindWindowA("ZEB Zuvaririzadure", NULL);
    if (!main)
        return 2;
    EnumChildWindows(main, FindStatus, 0);
    if (!found)
        return 3;
    char text[512] = "";
    DWORD_PTR r;
    SendMessageTimeoutA(found, WM_GETTEXT, sizeof(text), (LPARAM)text, SMTO_ABORTIFHUNG, 2000, &r);
    printf("%s\n", text);
    return 0;
}
