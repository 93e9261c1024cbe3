// Serial port library: one RS232 port per caller-owned object, declared with
// QIRA_DECLARE. The library keeps no table of ports and depends on nothing
// but the platform's communications interface.
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

#define QIRA_DEFAULT_QUEUE 16384   // driver queue sizes set at open, bytes
#define QIRA_TEXT_LENGTH   0xFFFF   // QIRA_Write: length of the zero-terminated text

/* Conventions of every operation below, unless it says otherwise:
 * - The port object is checked first: a null pointer fails with
 *   ERROR_BAD_ARGUMENTS; an object not made by QIRA_DECLARE shows a message
 *   box and fails with ERROR_BAD_ARGUMENTS; a closed object fails with
 *   ERROR_INVALID_HANDLE (QIRA_Open excepted).
 * - The operation holds the port's lock, a named system mutex
 *   "QIRA__Mutex_<port name>", for its whole run: calls on one port are
 *   served one after the other across threads and processes. The lock is
 *   recursive, so an operation may call others. The process keeps one
 *   handle per lock name open once it has used it.
 * - It leaves the calling thread's last-error code set: 0 on success, else
 *   the platform's code or a QIRA_ERR_ code. Boolean results are true
 *   exactly when that code is 0.
 * - Nothing is buffered by the library: every read and count sees the
 *   driver's queue as it is now. */

/* Opening and configuring */

// Opens the named port ("COM3", "com3:", "COM3:9600"; leading blanks and
// anything from the colon on are ignored, the name is kept in capitals) for
// this object alone, across all processes that use the library: a port
// another object holds open fails with ERROR_ACCESS_DENIED, as the
// platform's own exclusive open does. Sets both queues to QIRA_DEFAULT_QUEUE
// and reads the driver's settings into the object. Fails with
// ERROR_ALREADY_ASSIGNED on an open object (which stays open),
// ERROR_BAD_ARGUMENTS for an empty or unknown name, or the platform's code.
// The lock taken is the one of the object's previous (closed) name.
bool QIRA_Open(QIRA_PORT *port, const char *name);
// Closes the device and returns the object to its declared state.
bool QIRA_Close(QIRA_PORT *port);
// Writes the settings fields (bit rate to time-outs) to the driver and reads
// back what it took. The time-outs are written even when the line settings
// are refused; the first failure decides the code.
bool QIRA_Configure(QIRA_PORT *port);
// Reads the driver's line settings, time-outs and line errors into the object.
bool QIRA_GetState(QIRA_PORT *port);
// Sets the driver's queue sizes (0: QIRA_DEFAULT_QUEUE) and the flow limits
// that follow from the receive size.
bool QIRA_SetBuffers(QIRA_PORT *port, DWORD rxSize, DWORD txSize);
// Milliseconds one character takes on the line with the object's settings
// (start bit, data bits and stop bits); -1 without a bit rate or for an
// undeclared object (checked as every operation checks it). Takes no lock.
double QIRA_CharTime(QIRA_PORT *port);
// Whether the platform knows a serial port of that name. Takes no lock.
bool QIRA_PortExists(const char *name);

/* Reading and writing */

// Writes length bytes (QIRA_TEXT_LENGTH: the zero-terminated text) under
// the write time-outs, after ending a break. With fEcho set the receive
// queue must be empty first (else QIRA_ERR_RX_NOT_EMPTY) and the echo must
// come back equal (else QIRA_ERR_ECHO). A short write fails with
// ERROR_WRITE_FAULT.
bool QIRA_Write(QIRA_PORT *port, const void *data, WORD length);
// Reads length bytes under the object's read time-outs; *count (optional)
// gets the number read. Fewer bytes than asked fail with ERROR_READ_FAULT;
// after QIRA_Abort with ERROR_OPERATION_ABORTED.
bool QIRA_Read(QIRA_PORT *port, void *buffer, WORD length, WORD *count);
// Reads what the receive queue holds, up to length bytes, at once; when it
// holds nothing, waits for one byte and then takes what came meanwhile, up
// to length, all under one lock. The wait is the object's read time-outs, or
// at most waitMs when given (for a caller that has already waited part of
// its time elsewhere; the object's time-outs are put back after it). *count
// (optional) gets the number read. Nothing read fails with ERROR_READ_FAULT
// (the wait ran out), after QIRA_Abort with ERROR_OPERATION_ABORTED. Collects
// line errors on the way, as QIRA_RxCount does.
#define QIRA_WAIT_CONFIGURED 0xFFFFFFFFUL
bool QIRA_ReadQueued(QIRA_PORT *port, void *buffer, WORD length, WORD *count,
                     DWORD waitMs = QIRA_WAIT_CONFIGURED);
// Reads one byte (byte may be NULL) waiting at most timeoutMs, then puts the
// object's time-outs back.
bool QIRA_ReadByte(QIRA_PORT *port, BYTE *byte, DWORD timeoutMs);
// Discards input until the line has been quiet for gapMs; true when it fell
// quiet (and nothing waits) within totalMs. Each byte is one locked read.
bool QIRA_WaitQuiet(QIRA_PORT *port, DWORD totalMs, DWORD gapMs);
// Discards the driver's receive queue (with PURGE_RXABORT as well).
bool QIRA_Purge(QIRA_PORT *port);
// Aborts reading on an open port from any thread, without taking the port's
// lock (a reading thread holds it while it waits): a read in progress
// returns at once where the driver allows (at the latest at its time-out),
// and every later read fails with ERROR_OPERATION_ABORTED until the port is
// closed. Writes still work (without the echo check, which reads), so the
// owner can end its dialogue with the device. Safe against a concurrent
// QIRA_Close. Fails with ERROR_INVALID_HANDLE when the port is not open.
bool QIRA_Abort(QIRA_PORT *port);
// Discards the driver's transmit queue.
bool QIRA_PurgeTx(QIRA_PORT *port);
// Bytes waiting in the receive (transmit) queue, or -1 on failure; collects
// line errors on the way. The last error is the platform's or the check's.
LONG QIRA_RxCount(QIRA_PORT *port);
LONG QIRA_TxCount(QIRA_PORT *port);

/* Enumeration, line control and status */

// The serial ports the machine lists, as names one after the other, each
// ending with a zero, the list ended by one more zero ("COM1:\0COM5:\0\0").
// *needed gets the size in bytes the full list may need (0 when the platform
// cannot count); with a buffer too small (or NULL) the call returns false
// and writes nothing, so call it first with NULL to size the buffer. Names
// that do not fit the given size are left out. Takes no lock; does not set
// a code of its own.
bool QIRA_EnumPorts(char *buffer, DWORD size, DWORD *needed);
// Switches RTS, DTR and the break as requested (QIRA_RTS_*, QIRA_DTR_*,
// QIRA_BREAK_*, combined) and records the state in wLines. A line the driver
// runs itself (handshake) is changed through the driver settings, one under
// direct control by an escape, which some platforms refuse
// (ERROR_NOT_SUPPORTED).
bool QIRA_SetLines(QIRA_PORT *port, WORD request);
// Modem lines (QIRA_MS_*), the reasons output is held (QIRA_HOLD_*), and the
// accumulated line errors (QIRA_LE_*, cleared by reset). Each returns
// QIRA_STATUS_FAILED when it cannot ask; the last error is the platform's or
// the check's.
WORD QIRA_GetModemStatus(QIRA_PORT *port);
WORD QIRA_GetHoldStatus(QIRA_PORT *port);
WORD QIRA_GetErrors(QIRA_PORT *port, BYTE reset);
// Whether the port can be asked for its errors (QIRA_GetErrors succeeds).
bool QIRA_IsOk(QIRA_PORT *port);

#endif
