// Allocating formatter: the text comes in a fresh global memory block with
// line feeds turned into CR LF; the caller frees it with mprintf_free.
#ifndef MPRINTF_H
#define MPRINTF_H

#include <windows.h>

#include <stdarg.h>

char *vmprintf(const char *format, va_list args);
char *mprintf(const char *format, ...);
void mprintf_free(char **text);

#endif
