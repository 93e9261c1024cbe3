// Private helpers of the serial port library.
#ifndef QIRA_INTERNAL_H
#define QIRA_INTERNAL_H

#include "qira.h"
#include <winspool.h>

// The driver calls go through this table so that tests can watch which calls
// are made, in which order and with which records; it holds the real
// functions unless a test swaps one.
struct QIRA__PLATFORM {
    HANDLE (WINAPI *CreateFileA)(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
    BOOL (WINAPI *SetupComm)(HANDLE, DWORD, DWORD);
    BOOL (WINAPI *GetCommState)(HANDLE, LPDCB);
    BOOL (WINAPI *SetCommState)(HANDLE, LPDCB);
    BOOL (WINAPI *GetCommTimeouts)(HANDLE, LPCOMMTIMEOUTS);
    BOOL (WINAPI *SetCommTimeouts)(HANDLE, LPCOMMTIMEOUTS);
    BOOL (WINAPI *ReadFile)(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);
    BOOL (WINAPI *WriteFile)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
    BOOL (WINAPI *ClearCommError)(HANDLE, LPDWORD, LPCOMSTAT);
    BOOL (WINAPI *PurgeComm)(HANDLE, DWORD);
    BOOL (WINAPI *EscapeCommFunction)(HANDLE, DWORD);
    BOOL (WINAPI *SetCommBreak)(HANDLE);
    BOOL (WINAPI *ClearCommBreak)(HANDLE);
    BOOL (WINAPI *GetCommModemStatus)(HANDLE, LPDWORD);
    BOOL (WINAPI *GetDefaultCommConfigA)(LPCSTR, LPCOMMCONFIG, LPDWORD);
    BOOL (WINAPI *EnumPortsA)(LPSTR, DWORD, LPBYTE, DWORD, LPDWORD, LPDWORD);
    DWORD (WINAPI *QueryDosDeviceA)(LPCSTR, LPSTR, DWORD);
    LONG (WINAPI *RegOpenKeyExA)(HKEY, LPCSTR, DWORD, REGSAM, PHKEY);
};
extern QIRA__PLATFORM QIRA__Sys;
extern const QIRA__PLATFORM QIRA__SysReal;

HANDLE QIRA__Lock(QIRA_PORT *port);
void QIRA__Unlock(HANDLE lock);
bool QIRA__CheckDeclared(QIRA_PORT *port);
bool QIRA__CheckOpen(QIRA_PORT *port);
bool QIRA__PollErrors(QIRA_PORT *port, COMSTAT *status);
void QIRA__Reset(QIRA_PORT *port);
// Guards hCom against QIRA_Abort while a port is being closed.
extern SRWLOCK QIRA__HandleGuard;
// Ends an operation: releases the lock, leaves code as last error.
bool QIRA__Finish(HANDLE lock, DWORD code);
// Ends a query that reports through its value: releases the lock and keeps
// the last error that the check or the platform left.
void QIRA__Release(HANDLE lock);

bool QIRA__SetName(QIRA_PORT *port, const char *name);
bool QIRA__OpenDevice(QIRA_PORT *port);
bool QIRA__SetFlowLimits(DCB *dcb, DWORD queueSize);

bool QIRA__RawWrite(QIRA_PORT *port, const void *data, WORD length);
bool QIRA__RawRead(QIRA_PORT *port, void *buffer, WORD length, WORD *count);

#endif
