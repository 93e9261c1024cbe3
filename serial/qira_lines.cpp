// Port enumeration, output line control and status queries.
#include "qira_internal.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define RTS_BITS   0x0003
#define DTR_BITS   0x000C
#define BREAK_BITS (QIRA_BREAK_ON | QIRA_BREAK_OFF)

// The merged list while it is gathered: each port once, as listed.
#define MAX_LISTED 256
struct PortList {
    char aszName[MAX_LISTED][QIRA_MAX_NAME + 2];
    int n;
};

// Name up to the colon, case ignored: "COM5:" and "com5" are one port.
static int PlainCompare(const char *a, const char *b)
{
    size_t la = strcspn(a, ":"), lb = strcspn(b, ":");
    int c = _strnicmp(a, b, la < lb ? la : lb);
    return c ? c : (la > lb) - (la < lb);
}

static void AddPort(PortList *list, const char *name, bool addColon)
{
    if (!name || !*name || list->n >= MAX_LISTED || strlen(name) > QIRA_MAX_NAME || !QIRA_PortExists(name))
        return;
    for (int i = 0; i < list->n; i++)
        if (PlainCompare(list->aszName[i], name) == 0)
            return;
    snprintf(list->aszName[list->n++], QIRA_MAX_NAME + 2, "%s%s", name, addColon ? ":" : "");
}

// Number order: COM2 before COM10; the letters first, then the number.
static int PortOrder(const void *pa, const void *pb)
{
    const char *a = (const char *)pa, *b = (const char *)pb;
    size_t la = strcspn(a, "0123456789:"), lb = strcspn(b, "0123456789:");
    int c = _strnicmp(a, b, la < lb ? la : lb);
    if (c || la != lb)
        return c ? c : (la > lb) - (la < lb);
    unsigned long na = strtoul(a + la, NULL, 10), nb = strtoul(b + lb, NULL, 10);
    return na != nb ? (na > nb) - (na < nb) : PlainCompare(a, b);
}

// The print spooler's ports; false when the spooler cannot count them (it
// may be stopped).
static bool AddSpoolerPorts(PortList *list)
{
    DWORD bytes = 0, entries = 0;
    if (!QIRA__Sys.EnumPortsA(NULL, 1, NULL, 0, &bytes, &entries) && GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        return false;
    if (bytes == 0)
        return true;
    BYTE *block = (BYTE *)GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, bytes);
    if (!block)
        return false;
    entries = 0;
    if (QIRA__Sys.EnumPortsA(NULL, 1, block, bytes, &bytes, &entries)) {
        const PORT_INFO_1A *info = (const PORT_INFO_1A *)block;
        for (DWORD i = 0; i < entries; i++)
            AddPort(list, info[i].pName, false);
    }
    GlobalFree(block);
    return true;
}

// The serial devices present now, as the drivers registered them: also with
// the spooler stopped, and an adapter plugged in after the spooler started.
static bool AddPresentPorts(PortList *list)
{
    HKEY key;
    if (QIRA__Sys.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS)
        return false;
    for (DWORD i = 0;; i++) {
        char value[256], data[QIRA_MAX_NAME + 1];
        DWORD valueLen = sizeof(value), dataLen = sizeof(data) - 1, type = 0;
        LONG r = RegEnumValueA(key, i, value, &valueLen, NULL, &type, (BYTE *)data, &dataLen);
        if (r == ERROR_NO_MORE_ITEMS)
            break;
        if (r != ERROR_SUCCESS || type != REG_SZ)
            continue;
        data[dataLen < sizeof(data) ? dataLen : sizeof(data) - 1] = 0;
        AddPort(list, data, true);
    }
    RegCloseKey(key);
    return true;
}

bool QIRA_EnumPorts(char *buffer, DWORD size, DWORD *needed)
{
    if (!needed)
        return false;
    PortList *list = (PortList *)GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, sizeof(PortList));
    if (!list) {
        *needed = 0;
        return false;
    }
    bool spooler = AddSpoolerPorts(list);
    bool present = AddPresentPorts(list);
    if (!spooler && !present) {
        GlobalFree(list);
        *needed = 0;
        return false;
    }
    qsort(list->aszName, list->n, sizeof(list->aszName[0]), PortOrder);
    *needed = 1;
    for (int i = 0; i < list->n; i++)
        *needed += (DWORD)strlen(list->aszName[i]) + 1;
    bool fits = buffer && size >= *needed;
    if (fits) {
        DWORD used = 0;
        for (int i = 0; i < list->n; i++) {
            DWORD len = (DWORD)strlen(list->aszName[i]) + 1;
            memcpy(buffer + used, list->aszName[i], len);
            used += len;
        }
        buffer[used] = 0;
    }
    GlobalFree(list);
    return fits;
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
