// Prints the status bar's first part of the program's main window, for the
// end-to-end tests (the text cannot be read through X).
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

int main()
{
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
