// Port object, named lock, declaration check and error collection.
#include "qira_internal.h"

#include <stdio.h>
#include <string.h>

const char QIRA__szLib[] = "QIRA__LIB";

const QIRA__PLATFORM QIRA__SysReal = {
    CreateFileA, SetupComm, GetCommState, SetCommState, GetCommTimeouts, SetCommTimeouts,
    ReadFile, WriteFile, ClearCommError, PurgeComm, EscapeCommFunction, SetCommBreak,
    ClearCommBreak, GetCommModemStatus, GetDefaultCommConfigA, EnumPortsA, QueryDosDeviceA,
    RegOpenKeyExA,
};
QIRA__PLATFORM QIRA__Sys = QIRA__SysReal;

static const char szLockPrefix[] = "QIRA__Mutex_";

static const char szUndeclared[] =
    "Failure: \n\nA port structure given to functions of the QIRA lib\n"
    " have to be initialized via QIRA_DECLARE(<identifier>)!\n";

// Platform CE_ bits and the library flags they become, in reporting order.
static const struct { DWORD ce; WORD le; } LineErrorMap[] = {
    {CE_RXOVER, QIRA_LE_RXOVER}, {CE_OVERRUN, QIRA_LE_OVERRUN}, {CE_RXPARITY, QIRA_LE_PARITY},
    {CE_FRAME, QIRA_LE_FRAME},   {CE_BREAK, QIRA_LE_BREAK},     {CE_TXFULL, QIRA_LE_TXFULL},
    {CE_PTO, QIRA_LE_PTO},       {CE_IOE, QIRA_LE_IOE},         {CE_DNS, QIRA_LE_DNS},
    {CE_OOP, QIRA_LE_OOP},       {CE_MODE, QIRA_LE_MODE},
};

// A lock is opened once per name and kept for the life of the process, and
// a thread that already holds it takes it again without asking the
// platform: every call then costs one wait and one release instead of also
// a create and a close, nested calls nothing. The named mutex, and with it
// who waits for whom across threads and processes, is the same.
#define LOCK_CACHE 16
static struct { char szName[QIRA_MAX_NAME + 1]; HANDLE h; } LockCache[LOCK_CACHE];
static int nLockCache;
static SRWLOCK LockCacheGuard = SRWLOCK_INIT;
// The cached locks this thread holds, with how often it took each.
static thread_local struct { HANDLE h; int depth; } Held[4];

// The kept handle of the named lock; a fresh one, *kept false, once the
// cache is full. NULL when the mutex cannot be made.
static HANDLE OpenLock(const char *name, bool *kept)
{
    AcquireSRWLockExclusive(&LockCacheGuard);
    HANDLE h = NULL;
    for (int i = 0; i < nLockCache && !h; i++)
        if (strcmp(LockCache[i].szName, name) == 0)
            h = LockCache[i].h;
    *kept = h != NULL;
    if (!h && (h = CreateMutexA(NULL, FALSE, name)) != NULL && nLockCache < LOCK_CACHE) {
        strcpy(LockCache[nLockCache].szName, name);
        LockCache[nLockCache++].h = h;
        *kept = true;
    }
    ReleaseSRWLockExclusive(&LockCacheGuard);
    return h;
}

static bool IsKept(HANDLE h)
{
    AcquireSRWLockShared(&LockCacheGuard);
    bool kept = false;
    for (int i = 0; i < nLockCache && !kept; i++)
        kept = LockCache[i].h == h;
    ReleaseSRWLockShared(&LockCacheGuard);
    return kept;
}

HANDLE QIRA__Lock(QIRA_PORT *port)
{
    if (!port)
        return NULL;
    // The name is bounded by the precision, so an undeclared object with an
    // unterminated name is never read past 248 characters.
    char name[QIRA_MAX_NAME + 1];
    int room = QIRA_MAX_NAME - (int)(sizeof(szLockPrefix) - 1);
    snprintf(name, sizeof(name), "%s%.*s", szLockPrefix, room, port->szPort);
    bool kept;
    HANDLE lock = OpenLock(name, &kept);
    if (!lock)
        return NULL;   // without a mutex the operation runs unlocked
    for (auto &held : Held)
        if (kept && held.h == lock && held.depth > 0) {
            held.depth++;
            return lock;
        }
    WaitForSingleObject(lock, INFINITE);
    for (auto &held : Held)
        if (kept && held.depth == 0) {
            held = {lock, 1};
            break;
        }
    return lock;
}

void QIRA__Unlock(HANDLE lock)
{
    if (!lock)
        return;
    for (auto &held : Held)
        if (held.h == lock && held.depth > 0) {
            if (--held.depth == 0)
                ReleaseMutex(lock);
            return;
        }
    ReleaseMutex(lock);
    if (!IsKept(lock))
        CloseHandle(lock);
}

bool QIRA__Finish(HANDLE lock, DWORD code)
{
    // Unlock first: releasing and closing must not disturb the code we leave.
    QIRA__Unlock(lock);
    SetLastError(code);
    return code == 0;
}

void QIRA__Release(HANDLE lock)
{
    DWORD code = GetLastError();
    QIRA__Unlock(lock);
    SetLastError(code);
}

bool QIRA__CheckDeclared(QIRA_PORT *port)
{
    if (!port) {
        SetLastError(ERROR_BAD_ARGUMENTS);
        return false;
    }
    if (port->pszLib != QIRA__szLib) {
        SetLastError(ERROR_BAD_ARGUMENTS);
        MessageBoxA(NULL, szUndeclared, "QIRA_", MB_OK | MB_ICONERROR | MB_TOPMOST);
        SetLastError(ERROR_BAD_ARGUMENTS);   // the box may have changed it
        return false;
    }
    return true;
}

bool QIRA__CheckOpen(QIRA_PORT *port)
{
    if (!QIRA__CheckDeclared(port))
        return false;
    if (port->hCom == INVALID_HANDLE_VALUE) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    return true;
}

bool QIRA__PollErrors(QIRA_PORT *port, COMSTAT *status)
{
    DWORD errors = 0;
    if (!QIRA__Sys.ClearCommError(port->hCom, &errors, status))
        return false;
    for (const auto &m : LineErrorMap)
        if (errors & m.ce)
            port->wErrors |= m.le;
    return true;
}

SRWLOCK QIRA__HandleGuard = SRWLOCK_INIT;

void QIRA__Reset(QIRA_PORT *port)
{
    // The record changes under the guard (QIRA_Abort reads it from another
    // thread); the handles are closed after it, so that the guard is never
    // held across a platform call.
    AcquireSRWLockExclusive(&QIRA__HandleGuard);
    HANDLE com = port->hCom, owner = port->hOwner;
    memset((void *)port, 0, sizeof(*port));
    port->hCom = INVALID_HANDLE_VALUE;
    port->pszLib = QIRA__szLib;
    ReleaseSRWLockExclusive(&QIRA__HandleGuard);
    if (com != NULL && com != INVALID_HANDLE_VALUE)
        CloseHandle(com);
    if (owner)
        CloseHandle(owner);
}
