// The link's reader: hands the protocol and the decoder a record byte by
// byte, fetching what the driver already holds in one call instead of one
// locked read per byte. It never fetches more than the record can still
// contain at least, so whatever follows a record stays in the driver's queue
// for the checks that look for it (the old protocol's end check, "data
// excess", the drain). With nothing queued it waits for one byte under the
// port's read time-outs, as a byte-wise read does.
//
// Once a record is flowing, the reader sleeps for the time the bytes still
// due need on the line, less a little, instead of waking for every few
// bytes: one fetch then takes most of the record. Whatever it slept counts
// against the byte's time-out, so a line that falls silent fails after the
// same time as before.
#include "link.h"

#define RX_CHUNK 2048        // more than the longest record: 999 beams in Base64
#define PACE_SLACK_MS 1      // wake this much before the bytes due are all in
#define PACE_MAX_MS 50       // an abort waits at most this long for a sleeping reader

static BYTE abRx[RX_CHUNK];
static WORD wRxPos, wRxLen;
static DWORD dwRxAhead;   // bytes the record still holds at least, beyond those fetched
static bool fRxFlowing;   // the last fetch brought bytes of this record

void Link_RxExpect(DWORD bytes)
{
    DWORD held = (DWORD)(wRxLen - wRxPos);
    dwRxAhead = bytes > held ? bytes - held : 0;
    fRxFlowing = false;
}

void Link_RxDrop()
{
    wRxPos = wRxLen = 0;
    dwRxAhead = 0;
    fRxFlowing = false;
}

// Microseconds a character takes on the line: start bit, data, parity, stop.
static DWORD CharMicros(const QIRA_PORT *port)
{
    DWORD bits = 1u + port->bByteSize + (port->bParity ? 1u : 0u) + (port->bStopBits ? 2u : 1u);
    return port->dwBaudRate ? bits * 1000000u / port->dwBaudRate : 0;
}

// Sleeps while bytes due are still on their way; returns the milliseconds slept.
static DWORD Pace(const QIRA_PORT *port, DWORD due, DWORD limitMs)
{
    DWORD ms = (DWORD)((ULONGLONG)due * CharMicros(port) / 1000);
    ms = ms > PACE_SLACK_MS ? ms - PACE_SLACK_MS : 0;
    if (ms > limitMs / 2)   // leave the larger part of the time-out to the wait itself
        ms = limitMs / 2;
    if (ms > PACE_MAX_MS)
        ms = PACE_MAX_MS;
    if (ms > 0)
        Sleep(ms);
    return ms;
}

int Link_RxByte(QIRA_PORT *port, BYTE *byte)
{
    if (wRxPos == wRxLen) {
        DWORD want = dwRxAhead < 1 ? 1 : dwRxAhead > RX_CHUNK ? RX_CHUNK : dwRxAhead;
        DWORD limit = port->Timeouts.ReadTotalTimeoutConstant;
        DWORD slept = fRxFlowing && dwRxAhead > 0 ? Pace(port, want, limit) : 0;
        WORD got = 0;
        bool ok = QIRA_ReadQueued(port, abRx, (WORD)want, &got, slept ? limit - slept : QIRA_WAIT_CONFIGURED);
        fRxFlowing = got > 0;
        wRxPos = 0;
        wRxLen = got;
        dwRxAhead -= got < dwRxAhead ? got : dwRxAhead;
        if (got == 0)
            return ok ? 0 : -1;
    }
    *byte = abRx[wRxPos++];
    return 1;
}

bool Link_Purge(QIRA_PORT *port)
{
    Link_RxDrop();
    return QIRA_Purge(port);
}

bool Link_ClosePort(QIRA_PORT *port)
{
    Link_RxDrop();
    return QIRA_Close(port);
}
