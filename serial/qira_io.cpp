// Reading and writing, purging and queue counts.
#include "qira_internal.h"

#include <string.h>

#define ECHO_CHUNK 100

bool QIRA__RawWrite(QIRA_PORT *port, const void *data, WORD length)
{
    if (length == QIRA_TEXT_LENGTH)
        length = (WORD)strlen((const char *)data);
    if (length == 0)
        return true;
    DWORD written = 0;
    // A code left by the lock (ERROR_ALREADY_EXISTS from an existing mutex)
    // must not pass for the reason of a short write.
    SetLastError(0);
    if (!QIRA__Sys.WriteFile(port->hCom, data, length, &written, NULL))
        return false;
    if (written < length) {
        if (GetLastError() == 0)
            SetLastError(ERROR_WRITE_FAULT);
        return false;
    }
    return true;
}

bool QIRA__RawRead(QIRA_PORT *port, void *buffer, WORD length, WORD *count)
{
    if (length == 0)
        return true;
    DWORD got = 0;
    if (port->fReadsAborted) {
        if (count)
            *count = 0;
        SetLastError(ERROR_OPERATION_ABORTED);
        return false;
    }
    SetLastError(0);   // see QIRA__RawWrite
    BOOL ok = QIRA__Sys.ReadFile(port->hCom, buffer, length, &got, NULL);
    if (count)
        *count = (WORD)got;
    if (port->fReadsAborted && (!ok || got < length)) {
        SetLastError(ERROR_OPERATION_ABORTED);
        return false;
    }
    if (!ok)
        return false;
    if (got < length) {
        if (GetLastError() == 0)
            SetLastError(ERROR_READ_FAULT);
        return false;
    }
    return true;
}

bool QIRA_Write(QIRA_PORT *port, const void *data, WORD length)
{
    HANDLE lock = QIRA__Lock(port);
    if (!QIRA__CheckOpen(port))
        return QIRA__Finish(lock, GetLastError());
    if (!data)
        return QIRA__Finish(lock, ERROR_BAD_ARGUMENTS);
    // A break left on the line would swallow the data.
    if (!QIRA_SetLines(port, QIRA_BREAK_OFF))
        return QIRA__Finish(lock, GetLastError());
    if (port->fEcho && QIRA_RxCount(port) != 0)
        return QIRA__Finish(lock, QIRA_ERR_RX_NOT_EMPTY);
    if (!QIRA__RawWrite(port, data, length))
        return QIRA__Finish(lock, GetLastError());
    if (!port->fEcho)
        return QIRA__Finish(lock, 0);

    const BYTE *sent = (const BYTE *)data;
    DWORD left = length == QIRA_TEXT_LENGTH ? (DWORD)strlen((const char *)data) : length;
    BYTE echo[ECHO_CHUNK];
    while (left > 0) {
        WORD chunk = (WORD)(left < ECHO_CHUNK ? left : ECHO_CHUNK), got = 0;
        if (!QIRA_Read(port, echo, chunk, &got) || got < chunk)
            return QIRA__Finish(lock, QIRA_ERR_ECHO);
        left -= got;
        if (memcmp(echo, sent, got) != 0)
            return QIRA__Finish(lock, QIRA_ERR_ECHO);
        sent += got;
    }
    return QIRA__Finish(lock, 0);
}

// Bytes the receive queue holds now, at most length; 0 when it cannot say.
static WORD Queued(QIRA_PORT *port, WORD length)
{
    COMSTAT cs;
    if (!QIRA__PollErrors(port, &cs))
        return 0;
    return (WORD)(cs.cbInQue < length ? cs.cbInQue : length);
}

// One byte's wait of at most timeoutMs; the object's time-outs are put back.
static bool RawReadOneWithin(QIRA_PORT *port, BYTE *byte, DWORD timeoutMs, WORD *count)
{
    COMMTIMEOUTS saved, once;
    memset(&saved, 0, sizeof(saved));
    QIRA__Sys.GetCommTimeouts(port->hCom, &saved);
    once = saved;
    once.ReadIntervalTimeout = 0;
    once.ReadTotalTimeoutMultiplier = 0;
    once.ReadTotalTimeoutConstant = timeoutMs;
    QIRA__Sys.SetCommTimeouts(port->hCom, &once);
    bool got = QIRA__RawRead(port, byte, 1, count);
    DWORD code = got ? 0 : GetLastError();
    QIRA__Sys.SetCommTimeouts(port->hCom, &saved);
    SetLastError(code);
    return got;
}

// Whether a one-byte read under the object's time-outs waits exactly waitMs.
static bool WaitsAsConfigured(const QIRA_PORT *port, DWORD waitMs)
{
    const COMMTIMEOUTS &t = port->Timeouts;
    return waitMs == QIRA_WAIT_CONFIGURED ||
           (t.ReadIntervalTimeout == 0 && t.ReadTotalTimeoutMultiplier == 0 && t.ReadTotalTimeoutConstant == waitMs);
}

// What is queued, up to length; else one byte's wait and what came with it.
static bool RawReadQueued(QIRA_PORT *port, BYTE *buffer, WORD length, WORD *count, DWORD waitMs)
{
    WORD queued = Queued(port, length), got = 0, more = 0;
    bool ok = queued || WaitsAsConfigured(port, waitMs) ? QIRA__RawRead(port, buffer, queued ? queued : 1, &got)
                                                        : RawReadOneWithin(port, buffer, waitMs, &got);
    DWORD code = ok ? 0 : GetLastError();
    if (ok && !queued && length > 1 && (queued = Queued(port, length - 1)) > 0) {
        QIRA__RawRead(port, buffer + got, queued, &more);
        got += more;
    }
    *count = got;
    SetLastError(code);
    return ok;
}

static bool ReadWith(QIRA_PORT *port, void *buffer, WORD length, WORD *count, bool queued, DWORD waitMs)
{
    HANDLE lock = QIRA__Lock(port);
    WORD scratch;
    if (!count)
        count = &scratch;
    *count = 0;
    if (!QIRA__CheckOpen(port))
        return QIRA__Finish(lock, GetLastError());
    if (!buffer)
        return QIRA__Finish(lock, ERROR_BAD_ARGUMENTS);
    if (length == 0)
        return QIRA__Finish(lock, 0);
    bool ok = queued ? RawReadQueued(port, (BYTE *)buffer, length, count, waitMs)
                     : QIRA__RawRead(port, buffer, length, count);
    return QIRA__Finish(lock, ok ? 0 : GetLastError());
}

bool QIRA_Read(QIRA_PORT *port, void *buffer, WORD length, WORD *count)
{
    return ReadWith(port, buffer, length, count, false, QIRA_WAIT_CONFIGURED);
}

bool QIRA_ReadQueued(QIRA_PORT *port, void *buffer, WORD length, WORD *count, DWORD waitMs)
{
    return ReadWith(port, buffer, length, count, true, waitMs);
}

bool QIRA_ReadByte(QIRA_PORT *port, BYTE *byte, DWORD timeoutMs)
{
    HANDLE lock = QIRA__Lock(port);
    BYTE scratch;
    if (!QIRA__CheckOpen(port))
        return QIRA__Finish(lock, GetLastError());
    bool got = RawReadOneWithin(port, byte ? byte : &scratch, timeoutMs, NULL);
    return QIRA__Finish(lock, got ? 0 : GetLastError());
}

bool QIRA_WaitQuiet(QIRA_PORT *port, DWORD totalMs, DWORD gapMs)
{
    DWORD start = GetTickCount();
    SetLastError(0);
    while (QIRA_ReadByte(port, NULL, gapMs)) {
        if (GetTickCount() - start > totalMs)   // unsigned: a tick wrap is harmless
            return false;
    }
    return QIRA_RxCount(port) == 0;
}

static bool PurgeWith(QIRA_PORT *port, DWORD flags)
{
    HANDLE lock = QIRA__Lock(port);
    if (!QIRA__CheckOpen(port))
        return QIRA__Finish(lock, GetLastError());
    bool ok = QIRA__Sys.PurgeComm(port->hCom, flags);
    return QIRA__Finish(lock, ok ? 0 : GetLastError());
}

bool QIRA_Purge(QIRA_PORT *port)
{
    return PurgeWith(port, PURGE_RXABORT | PURGE_RXCLEAR);
}

bool QIRA_Abort(QIRA_PORT *port)
{
    if (!port)
        return QIRA__CheckDeclared(port);
    AcquireSRWLockExclusive(&QIRA__HandleGuard);
    DWORD code = 0;
    if (port->pszLib != QIRA__szLib) {
        ReleaseSRWLockExclusive(&QIRA__HandleGuard);
        return QIRA__CheckDeclared(port);   // the message, outside the guard
    }
    if (port->hCom == INVALID_HANDLE_VALUE) {
        code = ERROR_INVALID_HANDLE;
    } else {
        InterlockedExchange(&port->fReadsAborted, 1);
        // Some drivers end a waiting read on a purge, others only on a
        // cancel; a read that neither ends still ends at its time-out.
        if (!QIRA__Sys.PurgeComm(port->hCom, PURGE_RXABORT))
            code = GetLastError();
        CancelIoEx(port->hCom, NULL);
    }
    ReleaseSRWLockExclusive(&QIRA__HandleGuard);
    SetLastError(code);
    return code == 0;
}

bool QIRA_PurgeTx(QIRA_PORT *port)
{
    return PurgeWith(port, PURGE_TXABORT | PURGE_TXCLEAR);
}

// Queue counts leave the last error as the check or the platform set it.
static LONG QueueCount(QIRA_PORT *port, bool receive)
{
    HANDLE lock = QIRA__Lock(port);
    LONG count = -1;
    COMSTAT cs;
    if (QIRA__CheckOpen(port) && QIRA__PollErrors(port, &cs))
        count = (LONG)(receive ? cs.cbInQue : cs.cbOutQue);
    QIRA__Release(lock);
    return count;
}

LONG QIRA_RxCount(QIRA_PORT *port)
{
    return QueueCount(port, true);
}

LONG QIRA_TxCount(QIRA_PORT *port)
{
    return QueueCount(port, false);
}
