// Opening, configuring, reading back and closing a port.
#include "qira_internal.h"

#include <stdio.h>
#include <string.h>

bool QIRA__SetName(QIRA_PORT *port, const char *name)
{
    if (!port || !name)
        return false;
    while (*name == ' ' || (*name >= '\t' && *name <= '\r'))
        name++;
    char *s = port->szPort;
    memset(s, 0, sizeof(port->szPort));
    strncpy(s, name, QIRA_MAX_NAME);
    char *colon = strchr(s, ':');   // "COM1:" and "COM1:9600" both name COM1
    if (colon)
        *colon = 0;
    if (!*s)
        return true;
    for (size_t n = strlen(s); n > 1 && s[n - 1] == ' '; n--)
        s[n - 1] = 0;
    CharUpperA(s);
    return true;
}

// "COM" and a number: the names the platform gives serial ports.
static bool IsComName(const char *name)
{
    if (_strnicmp(name, "COM", 3) != 0 || !name[3])
        return false;
    for (const char *p = name + 3; *p; p++)
        if (*p < '0' || *p > '9')
            return false;
    return true;
}

bool QIRA_PortExists(const char *name)
{
    if (!name)
        return false;
    char buf[QIRA_MAX_NAME + 1] = {0};
    strncpy(buf, name, QIRA_MAX_NAME);
    char *colon = strchr(buf, ':');
    if (colon)
        *colon = 0;
    COMMCONFIG cc;
    memset(&cc, 0, sizeof(cc));
    cc.dwSize = sizeof(COMMCONFIG);
    DWORD size = sizeof(COMMCONFIG);
    if (QIRA__Sys.GetDefaultCommConfigA(buf, &cc, &size) == TRUE)
        return true;
    // Some serial drivers (and Wine from COM10 on) give no default
    // configuration; a COM name the system has a device for is a port too.
    char target[512];
    return IsComName(buf) && QIRA__Sys.QueryDosDeviceA(buf, target, sizeof(target)) != 0;
}

bool QIRA__SetFlowLimits(DCB *dcb, DWORD queueSize)
{
    DWORD on = queueSize * 50 / 100, off = queueSize * 75 / 100;
    dcb->XonLim = (WORD)(on ? on : 1);
    dcb->XoffLim = (WORD)(off ? off : 1);
    return true;
}

static const char szOwnerPrefix[] = "QIRA__Owner_";

// Some platforms (Wine among them) let a second process open a port that is
// in use; a named object held while the port is open makes it exclusive
// everywhere.
static bool TakeOwnership(QIRA_PORT *port)
{
    char name[QIRA_MAX_NAME + 1];
    int room = QIRA_MAX_NAME - (int)(sizeof(szOwnerPrefix) - 1);
    snprintf(name, sizeof(name), "%s%.*s", szOwnerPrefix, room, port->szPort);
    HANDLE owner = CreateMutexA(NULL, FALSE, name);
    if (!owner)
        return false;
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(owner);
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    port->hOwner = owner;
    return true;
}

// The driver keeps what the port's last user set. Byte-for-byte binary data
// needs none of it: XON/XOFF would swallow 0x11 and 0x13, null stripping
// 0x00, abort on error would block all I/O after a line error, and CTS/DSR
// flow control or DSR sensitivity stall a three-wire cable. Bit rate, frame
// and RTS/DTR stay as they are.
static bool ClearInheritedSettings(DCB *dcb)
{
    dcb->fBinary = 1;
    dcb->fOutX = 0;
    dcb->fInX = 0;
    dcb->fNull = 0;
    dcb->fErrorChar = 0;
    dcb->fAbortOnError = 0;
    dcb->fOutxCtsFlow = 0;
    dcb->fOutxDsrFlow = 0;
    dcb->fDsrSensitivity = 0;
    return true;
}

bool QIRA__OpenDevice(QIRA_PORT *port)
{
    if (!TakeOwnership(port))
        return false;
    // COM10 and above open only in the device namespace; COM1..COM9 open
    // there too. Every other name (lock, owner, settings, texts) stays plain.
    char device[QIRA_MAX_NAME + 5];
    snprintf(device, sizeof(device), "%s%s", strncmp(port->szPort, "\\\\", 2) ? "\\\\.\\" : "", port->szPort);
    port->hCom = QIRA__Sys.CreateFileA(device, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    if (port->hCom == INVALID_HANDLE_VALUE) {
        DWORD code = GetLastError();
        CloseHandle(port->hOwner);
        port->hOwner = NULL;
        SetLastError(code);
        return false;
    }
    DCB dcb;
    memset(&dcb, 0, sizeof(dcb));
    dcb.DCBlength = sizeof(dcb);
    bool ok = QIRA__Sys.SetupComm(port->hCom, QIRA_DEFAULT_QUEUE, QIRA_DEFAULT_QUEUE) &&
              QIRA__Sys.GetCommState(port->hCom, &dcb) && ClearInheritedSettings(&dcb) &&
              QIRA__SetFlowLimits(&dcb, QIRA_DEFAULT_QUEUE) &&
              QIRA__Sys.SetCommState(port->hCom, &dcb) &&
              QIRA__Sys.ClearCommBreak(port->hCom) &&
              QIRA_GetState(port);
    if (!ok) {
        DWORD code = GetLastError();
        QIRA__Reset(port);
        SetLastError(code);
        return false;
    }
    SetLastError(0);
    return true;
}

bool QIRA_Open(QIRA_PORT *port, const char *name)
{
    HANDLE lock = QIRA__Lock(port);   // under the name held now: empty when closed
    DWORD code = 0;
    if (!QIRA__CheckDeclared(port))
        code = GetLastError();
    else if (port->hCom != INVALID_HANDLE_VALUE)
        code = ERROR_ALREADY_ASSIGNED;
    else if (port->fOverlapped)
        code = ERROR_BAD_ARGUMENTS;
    else if (!QIRA__SetName(port, name) || !QIRA_PortExists(port->szPort))
        code = ERROR_BAD_ARGUMENTS;
    else if (!QIRA__OpenDevice(port))
        code = GetLastError();
    return QIRA__Finish(lock, code);
}

bool QIRA_GetState(QIRA_PORT *port)
{
    HANDLE lock = QIRA__Lock(port);
    if (!QIRA__CheckOpen(port))
        return QIRA__Finish(lock, GetLastError());
    DCB dcb;
    memset(&dcb, 0, sizeof(dcb));
    dcb.DCBlength = sizeof(dcb);
    COMMTIMEOUTS to;
    if (!QIRA__Sys.GetCommState(port->hCom, &dcb) || !QIRA__Sys.GetCommTimeouts(port->hCom, &to) ||
        !QIRA__PollErrors(port, NULL))
        return QIRA__Finish(lock, GetLastError());

    port->dwBaudRate = dcb.BaudRate;
    port->bByteSize = dcb.ByteSize;
    port->bStopBits = dcb.StopBits;
    port->bParity = dcb.Parity;
    port->fDsrSensitivity = dcb.fDsrSensitivity ? 1 : 0;
    port->wHandshake = (WORD)((dcb.fOutxCtsFlow ? QIRA_HS_CTS : 0) | (dcb.fOutxDsrFlow ? QIRA_HS_DSR : 0));
    port->Timeouts = to;
    WORD rts = dcb.fRtsControl == RTS_CONTROL_ENABLE      ? QIRA_RTS_ON
               : dcb.fRtsControl == RTS_CONTROL_HANDSHAKE ? QIRA_RTS_HANDSHAKE
                                                          : QIRA_RTS_OFF;
    WORD dtr = dcb.fDtrControl == DTR_CONTROL_ENABLE      ? QIRA_DTR_ON
               : dcb.fDtrControl == DTR_CONTROL_HANDSHAKE ? QIRA_DTR_HANDSHAKE
                                                          : QIRA_DTR_OFF;
    port->wLines = (WORD)((port->wLines & (QIRA_BREAK_ON | QIRA_BREAK_OFF)) | rts | dtr);
    port->fAbortOnError = dcb.fAbortOnError ? 1 : 0;
    return QIRA__Finish(lock, 0);
}

bool QIRA_Configure(QIRA_PORT *port)
{
    HANDLE lock = QIRA__Lock(port);
    if (!QIRA__CheckOpen(port))
        return QIRA__Finish(lock, GetLastError());
    DCB dcb;
    memset(&dcb, 0, sizeof(dcb));
    dcb.DCBlength = sizeof(dcb);
    COMMTIMEOUTS to;
    if (!QIRA__Sys.GetCommState(port->hCom, &dcb) || !QIRA__Sys.GetCommTimeouts(port->hCom, &to))
        return QIRA__Finish(lock, GetLastError());

    DWORD parity = port->bParity != 0, dsr = port->fDsrSensitivity != 0;
    DWORD cts = (port->wHandshake & QIRA_HS_CTS) != 0, dsrFlow = (port->wHandshake & QIRA_HS_DSR) != 0;
    DWORD code = 0;
    if (dcb.BaudRate != port->dwBaudRate || dcb.ByteSize != port->bByteSize ||
        dcb.StopBits != port->bStopBits || dcb.Parity != port->bParity || dcb.fParity != parity ||
        dcb.fDsrSensitivity != dsr || dcb.fOutxCtsFlow != cts || dcb.fOutxDsrFlow != dsrFlow) {
        dcb.BaudRate = port->dwBaudRate;
        dcb.ByteSize = port->bByteSize;
        dcb.StopBits = port->bStopBits;
        dcb.Parity = port->bParity;
        dcb.fParity = parity;
        dcb.fDsrSensitivity = dsr;
        dcb.fOutxCtsFlow = cts;
        dcb.fOutxDsrFlow = dsrFlow;
        if (!QIRA__Sys.SetCommState(port->hCom, &dcb))
            code = GetLastError();
    }
    // Time-outs are always written; the first failure decides the code.
    if (!QIRA__Sys.SetCommTimeouts(port->hCom, &port->Timeouts) && !code)
        code = GetLastError();
    if (!QIRA_GetState(port) && !code)
        code = GetLastError();
    return QIRA__Finish(lock, code);
}

bool QIRA_SetBuffers(QIRA_PORT *port, DWORD rxSize, DWORD txSize)
{
    HANDLE lock = QIRA__Lock(port);
    if (!QIRA__CheckOpen(port))
        return QIRA__Finish(lock, GetLastError());
    if (!rxSize)
        rxSize = QIRA_DEFAULT_QUEUE;
    if (!txSize)
        txSize = QIRA_DEFAULT_QUEUE;
    DCB dcb;
    memset(&dcb, 0, sizeof(dcb));
    dcb.DCBlength = sizeof(dcb);
    bool ok = QIRA__Sys.SetupComm(port->hCom, rxSize, txSize) &&
              QIRA__Sys.GetCommState(port->hCom, &dcb) && QIRA__SetFlowLimits(&dcb, rxSize) &&
              QIRA__Sys.SetCommState(port->hCom, &dcb);
    return QIRA__Finish(lock, ok ? 0 : GetLastError());
}

double QIRA_CharTime(QIRA_PORT *port)
{
    if (!QIRA__CheckDeclared(port))
        return -1.0;
    // No bit rate means no time: answer with a value no time can have.
    if (port->dwBaudRate == 0)
        return -1.0;
    double stop = port->bStopBits == 1 ? 1.5 : port->bStopBits == 2 ? 2.0 : 1.0;
    return (port->bByteSize + stop + 1) * 1000.0 / port->dwBaudRate;
}

bool QIRA_Close(QIRA_PORT *port)
{
    HANDLE lock = QIRA__Lock(port);
    if (!QIRA__CheckOpen(port))
        return QIRA__Finish(lock, GetLastError());
    QIRA__Reset(port);
    return QIRA__Finish(lock, 0);
}
