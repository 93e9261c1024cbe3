#include "mprintf.h"

#include <stdio.h>
#include <string.h>

static const char szFormatError[] = "<mprintf format error>";

// A va_list that is a plain pointer (as here) can be missing.
static bool HasArgs(va_list args)
{
    return (const void *)args != nullptr;
}

char *vmprintf(const char *format, va_list args)
{
    int n = -1;
    va_list count;
    if (format && HasArgs(args)) {
        va_copy(count, args);
        n = vsnprintf(NULL, 0, format, count);
        va_end(count);
    }
    char *text;
    if (n < 0) {
        text = (char *)GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, sizeof(szFormatError));
        if (text)
            memcpy(text, szFormatError, sizeof(szFormatError));
    } else {
        text = (char *)GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, (SIZE_T)n + 1);
        if (text)
            vsnprintf(text, (size_t)n + 1, format, args);
    }
    if (!text)
        return NULL;

    size_t len = strlen(text), feeds = 0;
    for (const char *p = text; *p; p++)
        feeds += *p == '\n';
    char *out = (char *)GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, len + feeds + 1);
    if (!out)
        return text;
    char *q = out;
    for (const char *p = text; *p; p++) {
        if (*p == '\n')
            *q++ = '\r';
        *q++ = *p;
    }
    GlobalFree(text);
    return out;
}

char *mprintf(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    char *text = vmprintf(format, args);
    va_end(args);
    return text;
}

void mprintf_free(char **text)
{
    if (!text || !*text)
        return;
    GlobalFree(*text);
    *text = NULL;
}
