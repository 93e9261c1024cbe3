// Serial port library: one RS232 port per caller-owned object.
// Every operation takes the port's named system lock, leaves the thread's
// last-error code and returns true exactly when that code is 0.
#ifndef QIRA_H
#define QIRA_H

#include <windows.h>

#define QIRA_MAX_NAME 260

// Declaration marker; an object is declared when pszLib holds this address.
extern const char QIRA__szLib[];

struct QIRA_PORT {
    HANDLE hCom;                  // INVALID_HANDLE_VALUE while closed
    char szPort[QIRA_MAX_NAME + 1];
    const char *pszLib;
    DWORD dwBaudRate;
    BYTE bByteSize;
    BYTE bStopBits;               // 0 one, 1 one and a half, 2 two
    BYTE bParity;                 // 0 none, 1 odd, 2 even, 3 mark, 4 space
    COMMTIMEOUTS Timeouts;
    WORD wLines;                  // QIRA_SetLines encoding
    WORD wHandshake;              // QIRA_HS_*
    WORD wErrors;                 // accumulated QIRA_LE_*
    BYTE fDsrSensitivity;
    BYTE fAbortOnError;
    BYTE fEcho;
    BOOL fOverlapped;             // must stay 0: all I/O is synchronous
    HANDLE hOwner;                // held from open to close: the port is ours alone
    volatile LONG fReadsAborted;  // set by QIRA_Abort until the port is closed
};

#define QIRA_DECLARE(id) \
    QIRA_PORT id = { INVALID_HANDLE_VALUE, "", QIRA__szLib, 0, 0, 0, 0, {0, 0, 0, 0, 0}, 0, 0, 0, 0, 0, 0, 0, NULL, 0 }

// Library error codes (bit 29: application-defined)
#define QIRA_ERR_ECHO         0x20000001UL
#define QIRA_ERR_RX_NOT_EMPTY 0x20000002UL

// Accumulated line errors
#define QIRA_LE_RXOVER  0x0001
#define QIRA_LE_OVERRUN 0x0002
#define QIRA_LE_PARITY  0x0004
#define QIRA_LE_FRAME   0x0008
#define QIRA_LE_BREAK   0x0010
#define QIRA_LE_TXFULL  0x0020
#define QIRA_LE_PTO     0x0040
#define QIRA_LE_IOE     0x0080
#define QIRA_LE_DNS     0x0100
#define QIRA_LE_OOP     0x0200
#define QIRA_LE_MODE    0x0400
#define QIRA_STATUS_FAILED 0x8000

// Output flow control
#define QIRA_HS_CTS 0x0001
#define QIRA_HS_DSR 0x0002

// Line requests
#define QIRA_RTS_ON        0x0001
#define QIRA_RTS_OFF       0x0002
#define QIRA_RTS_HANDSHAKE 0x0003
#define QIRA_DTR_ON        0x0004
#define QIRA_DTR_OFF       0x0008
#define QIRA_DTR_HANDSHAKE 0x000C
#define QIRA_BREAK_ON      0x0010
#define QIRA_BREAK_OFF     0x0020

// Status words
#define QIRA_MS_CTS   0x0001
#define QIRA_MS_DSR   0x0002
#define QIRA_MS_DCD   0x0004
#define QIRA_MS_RING  0x0008
#define QIRA_HOLD_CTS 0x0001
#define QIRA_HOLD_DSR 0x0002
#define QIRA_HOLD_DCD 0x0004

#define QIRA_DEFAULT_QUEUE 16384
#define QIRA_TEXT_LENGTH   0xFFFF   // QIRA_Write: length of the zero-terminated text

// Opening and configuring
// Opens the named port for this object alone, across all processes that use
// the library: a port another object holds open fails with
// ERROR_ACCESS_DENIED, as the platform's own exclusive open does.
bool QIRA_Open(QIRA_PORT *port, const char *name);
bool QIRA_Close(QIRA_PORT *port);
bool QIRA_Configure(QIRA_PORT *port);
bool QIRA_GetState(QIRA_PORT *port);
bool QIRA_SetBuffers(QIRA_PORT *port, DWORD rxSize, DWORD txSize);
double QIRA_CharTime(QIRA_PORT *port);
bool QIRA_PortExists(const char *name);

// Reading and writing
bool QIRA_Write(QIRA_PORT *port, const void *data, WORD length);
bool QIRA_Read(QIRA_PORT *port, void *buffer, WORD length, WORD *count);
bool QIRA_ReadByte(QIRA_PORT *port, BYTE *byte, DWORD timeoutMs);
bool QIRA_WaitQuiet(QIRA_PORT *port, DWORD totalMs, DWORD gapMs);
bool QIRA_Purge(QIRA_PORT *port);
// Aborts reading on an open port from any thread, without taking the port's
// lock (a reading thread holds it while it waits): a read in progress
// returns at once where the driver allows, and every later read fails with
// ERROR_OPERATION_ABORTED until the port is closed. Writes still work, so
// the owner can end its dialogue with the device. Safe against a concurrent
// QIRA_Close. Fails with ERROR_INVALID_HANDLE when the port is not open.
bool QIRA_Abort(QIRA_PORT *port);
bool QIRA_PurgeTx(QIRA_PORT *port);
LONG QIRA_RxCount(QIRA_PORT *port);
LONG QIRA_TxCount(QIRA_PORT *port);

// Enumeration, line control and status
bool QIRA_EnumPorts(char *buffer, DWORD size, DWORD *needed);
bool QIRA_SetLines(QIRA_PORT *port, WORD request);
WORD QIRA_GetModemStatus(QIRA_PORT *port);
WORD QIRA_GetHoldStatus(QIRA_PORT *port);
WORD QIRA_GetErrors(QIRA_PORT *port, BYTE reset);
bool QIRA_IsOk(QIRA_PORT *port);

#endif
