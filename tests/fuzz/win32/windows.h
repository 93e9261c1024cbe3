// Just enough of the platform's types and calls for the link's reader, its
// Base64 decoder and its protocol to build natively with the scripted port
// (tests/fake_port.cpp) in place of the serial library: the fuzz build only.
// Sizes as on the platform: DWORD and LONG are 32 bits.
#ifndef FUZZ_WINDOWS_H
#define FUZZ_WINDOWS_H

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
typedef void *HANDLE, *HWND, *HINSTANCE, *HMODULE, *LPVOID;
typedef struct {
    int unused;
} CRITICAL_SECTION;
typedef struct {
    DWORD ReadIntervalTimeout, ReadTotalTimeoutMultiplier, ReadTotalTimeoutConstant, WriteTotalTimeoutMultiplier,
        WriteTotalTimeoutConstant;
} COMMTIMEOUTS;

#define WINAPI
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

#endif
