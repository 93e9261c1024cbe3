// Just enough of the platform's types and calls for the link's reader, its
// Base64 decoder and its protocol to build natively with the scripted port
// (tests/fake_port.cpp) in place of the serial library, and for zebcheck's
// options with the display's record: the fuzz build only.
// Sizes as on the platform: DWORD and LONG are 32 bits.
#ifndef FUZZ_WINDOWS_H
#define FUZZ_WINDOWS_H

#include <ctype.h>
#include <stdint.h>
#include <stdio.h>

typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef int32_t INT32;
typedef unsigned int UINT;
typedef int BOOL;
typedef unsigned long long ULONGLONG;
typedef void *HANDLE, *HWND, *HINSTANCE, *HMODULE, *LPVOID, *HFONT, *HBRUSH, *HDC;
typedef DWORD COLORREF;
typedef intptr_t LRESULT, LPARAM;
typedef uintptr_t WPARAM;
typedef struct {
    LONG left, top, right, bottom;
} RECT;
typedef struct {
    LONG x, y;
} POINT;
typedef struct {
    LONG lfHeight, lfWidth, lfEscapement, lfOrientation, lfWeight;
    BYTE lfItalic, lfUnderline, lfStrikeOut, lfCharSet, lfOutPrecision, lfClipPrecision, lfQuality, lfPitchAndFamily;
    char lfFaceName[32];
} LOGFONTA;
typedef struct {
    WORD wYear, wMonth, wDayOfWeek, wDay, wHour, wMinute, wSecond, wMilliseconds;
} SYSTEMTIME;
typedef struct {
    int unused;
} CRITICAL_SECTION;
typedef struct {
    DWORD ReadIntervalTimeout, ReadTotalTimeoutMultiplier, ReadTotalTimeoutConstant, WriteTotalTimeoutMultiplier,
        WriteTotalTimeoutConstant;
} COMMTIMEOUTS;

#define WINAPI
#define CALLBACK
#define TRUE 1
#define FALSE 0
#define MAX_PATH 260
#define WM_APP 0x8000
#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)
#define LOBYTE(w) ((BYTE)((w)&0xFF))
#define HIBYTE(w) ((BYTE)(((w) >> 8) & 0xFF))
#define ERROR_FILE_NOT_FOUND 2
#define ERROR_READ_FAULT 30

// Time moves one millisecond a look, so that every wait ends.
inline DWORD timeGetTime()
{
    static DWORD now;
    return ++now;
}
inline void Sleep(DWORD) {}
inline void SetLastError(DWORD) {}
inline HMODULE GetModuleHandleA(const char *) { return nullptr; }
inline int LoadStringA(HINSTANCE, UINT, char *, int) { return 0; }   // the link falls back to "error <id>"
inline void InitializeCriticalSection(CRITICAL_SECTION *) {}
inline void DeleteCriticalSection(CRITICAL_SECTION *) {}
// The code page's letters beyond ASCII are left as they are.
inline char *CharUpperA(char *s)
{
    for (char *p = s; *p; p++)
        *p = (char)toupper((unsigned char)*p);
    return s;
}
// The fuzz target that needs it says where names are resolved.
DWORD GetFullPathNameA(const char *name, DWORD size, char *full, char **filePart);

#endif
