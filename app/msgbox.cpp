// Message boxes with texts from the string table.
#include "app.h"

#include "shell.h"

#include <stdarg.h>
#include <stdio.h>

int StringMsgBox(HWND owner, const char *caption, UINT style, UINT formatId, ...)
{
    char format[256], text[512], title[128];
    if (!LoadStringA(hInst, formatId, format, sizeof(format)))
        format[0] = 0;
    va_list args;
    va_start(args, formatId);
    vsnprintf(text, sizeof(text), format, args);
    va_end(args);
    if (IS_INTRESOURCE(caption)) {
        if (!LoadStringA(hInst, (UINT)(UINT_PTR)caption, title, sizeof(title)))
            title[0] = 0;
        caption = title;
    }
    return MessageBoxA(owner, text, caption, style);
}
