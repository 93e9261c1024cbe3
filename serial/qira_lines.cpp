// Port enumeration, output line control and status queries.
#include "qira_internal.h"

#include <string.h>

#define RTS_BITS   0x0003
#define DTR_BITS   0x000C
#define BREAK_BITS (QIRA_BREAK_ON | QIRA_BREAK_OFF)

bool QIRA_EnumPorts(char *buffer, DWORD size, DWORD *needed)
{
    if (!needed)
        return false;
    DWORD bytes = 0, entries = 0;
    if (!QIRA__Sys.EnumPortsA(NULL, 1, NULL, 0, &bytes, &entries) &&
        GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        *needed = 0;
        return false;
    }
    *needed = bytes + 1;
    if (!buffer || size < *needed)
        return false;
    BYTE *block = (BYTE *)GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, *needed);
    if (!block)
        return false;
    bytes = entries = 0;
    QIRA__Sys.EnumPortsA(NULL, 1, block, *needed, &bytes, &entries);
    *needed = bytes + 1;
    const PORT_INFO_1A *info = (const PORT_INFO_1A *)block;
    DWORD used = 0;
    for (DWORD i = 0; i < entries; i++) {
        const char *name = info[i].pName;
        if (!name || !QIRA_PortExists(name))
            continue;
        DWORD len = (DWORD)strlen(name) + 1;
        if (used + len >= size)   // keep room for the closing zero
            break;
        memcpy(buffer + used, name, len);
        used += len;
    }
    buffer[used] = 0;
    GlobalFree(block);
    return true;
}

// One line (RTS or DTR): a line the driver runs itself (handshake) is changed
// through the settings record, a line under direct control by an escape.
static DWORD LineAction(DWORD *control, DWORD handshake, DWORD enable, DWORD disable, WORD field,
                        WORD on, WORD off, DWORD escOn, DWORD escOff, bool *changed)
{
    if (field == on) {
        if (*control != handshake)
            return escOn;
        *control = enable;
        *changed = true;
    } else if (field == off) {
        if (*control != handshake)
            return escOff;
        *control = disable;
        *changed = true;
    } else if (*control != handshake) {
        *control = handshake;
        *changed = true;
    }
    return 0;
}

static bool SetBreak(QIRA_PORT *port, WORD request)
{
    WORD recorded = port->wLines & BREAK_BITS;
    WORD wanted = request & BREAK_BITS;
    bool ok = true;
    if (wanted & QIRA_BREAK_OFF) {
        if (!(recorded & QIRA_BREAK_OFF))
            ok = QIRA__Sys.ClearCommBreak(port->hCom);
    } else if (wanted == QIRA_BREAK_ON) {
        // Break on is started unless it is already recorded, also when break
        // off was recorded before.
        if (!(recorded & QIRA_BREAK_ON))
            ok = QIRA__Sys.SetCommBreak(port->hCom);
    } else if (recorded == QIRA_BREAK_OFF) {
        ok = QIRA__Sys.ClearCommBreak(port->hCom);
    } else if (recorded == QIRA_BREAK_ON) {
        ok = QIRA__Sys.SetCommBreak(port->hCom);
    }
    if (ok)
        port->wLines = (WORD)((port->wLines & ~BREAK_BITS) | wanted);
    return ok;
}

bool QIRA_SetLines(QIRA_PORT *port, WORD request)
{
    HANDLE lock = QIRA__Lock(port);
    if (!QIRA__CheckOpen(port))
        return QIRA__Finish(lock, GetLastError());
    DCB dcb;
    memset(&dcb, 0, sizeof(dcb));
    dcb.DCBlength = sizeof(dcb);
    if (!QIRA__Sys.GetCommState(port->hCom, &dcb))
        return QIRA__Finish(lock, GetLastError());

    WORD lines = port->wLines;
    bool changed = false, ok = true;
    WORD rts = request & RTS_BITS;
    if (rts) {
        DWORD control = dcb.fRtsControl;
        DWORD esc = LineAction(&control, RTS_CONTROL_HANDSHAKE, RTS_CONTROL_ENABLE, RTS_CONTROL_DISABLE,
                               rts, QIRA_RTS_ON, QIRA_RTS_OFF, SETRTS, CLRRTS, &changed);
        dcb.fRtsControl = control;
        lines = (WORD)((lines & ~RTS_BITS) | rts);
        if (esc) {
            ok = QIRA__Sys.EscapeCommFunction(port->hCom, esc);
            if (ok)
                port->wLines = lines;
        }
    }
    WORD dtr = request & DTR_BITS;
    if (ok && dtr) {
        DWORD control = dcb.fDtrControl;
        DWORD esc = LineAction(&control, DTR_CONTROL_HANDSHAKE, DTR_CONTROL_ENABLE, DTR_CONTROL_DISABLE,
                               dtr, QIRA_DTR_ON, QIRA_DTR_OFF, SETDTR, CLRDTR, &changed);
        dcb.fDtrControl = control;
        lines = (WORD)((lines & ~DTR_BITS) | dtr);
        if (esc) {
            ok = QIRA__Sys.EscapeCommFunction(port->hCom, esc);
            if (ok)
                port->wLines = lines;
        }
    }
    if (ok && changed)
        ok = QIRA__Sys.SetCommState(port->hCom, &dcb);
    if (!ok)
        return QIRA__Finish(lock, GetLastError());
    port->wLines = lines;
    if (!SetBreak(port, request))
        return QIRA__Finish(lock, GetLastError());
    return QIRA__Finish(lock, 0);
}

// The status queries leave the last error as the check or the platform set it.
static WORD EndQuery(HANDLE lock, WORD result)
{
    QIRA__Release(lock);
    return result;
}

WORD QIRA_GetModemStatus(QIRA_PORT *port)
{
    HANDLE lock = QIRA__Lock(port);
    DWORD ms = 0;
    if (!QIRA__CheckOpen(port) || !QIRA__Sys.GetCommModemStatus(port->hCom, &ms))
        return EndQuery(lock, QIRA_STATUS_FAILED);
    WORD w = (WORD)(((ms & MS_CTS_ON) ? QIRA_MS_CTS : 0) | ((ms & MS_DSR_ON) ? QIRA_MS_DSR : 0) |
                    ((ms & MS_RLSD_ON) ? QIRA_MS_DCD : 0) | ((ms & MS_RING_ON) ? QIRA_MS_RING : 0));
    return EndQuery(lock, w);
}

WORD QIRA_GetHoldStatus(QIRA_PORT *port)
{
    HANDLE lock = QIRA__Lock(port);
    COMSTAT cs;
    if (!QIRA__CheckOpen(port) || !QIRA__PollErrors(port, &cs))
        return EndQuery(lock, QIRA_STATUS_FAILED);
    WORD w = (WORD)((cs.fCtsHold ? QIRA_HOLD_CTS : 0) | (cs.fDsrHold ? QIRA_HOLD_DSR : 0) |
                    (cs.fRlsdHold ? QIRA_HOLD_DCD : 0));
    return EndQuery(lock, w);
}

WORD QIRA_GetErrors(QIRA_PORT *port, BYTE reset)
{
    HANDLE lock = QIRA__Lock(port);
    if (!QIRA__CheckOpen(port) || !QIRA__PollErrors(port, NULL))
        return EndQuery(lock, QIRA_STATUS_FAILED);
    WORD w = port->wErrors;
    if (reset)
        port->wErrors = 0;
    return EndQuery(lock, w);
}

bool QIRA_IsOk(QIRA_PORT *port)
{
    return !(QIRA_GetErrors(port, 0) & QIRA_STATUS_FAILED);
}
