// The link's reader: hands the protocol and the decoder a record byte by
// byte, fetching what the driver already holds in one call instead of one
// locked read per byte. It never fetches more than the record can still
// contain at least, so whatever follows a record stays in the driver's queue
// for the checks that look for it (the old protocol's end check, "data
// excess", the drain). With nothing queued it waits for one byte under the
// port's read time-outs, as a byte-wise read does.
#include "link.h"

#define RX_CHUNK 2048   // more than the longest record: 999 beams in Base64

static BYTE abRx[RX_CHUNK];
static WORD wRxPos, wRxLen;
static DWORD dwRxAhead;   // bytes the record still holds at least, beyond those fetched

void Link_RxExpect(DWORD bytes)
{
    DWORD held = (DWORD)(wRxLen - wRxPos);
    dwRxAhead = bytes > held ? bytes - held : 0;
}

void Link_RxDrop()
{
    wRxPos = wRxLen = 0;
    dwRxAhead = 0;
}

int Link_RxByte(QIRA_PORT *port, BYTE *byte)
{
    if (wRxPos == wRxLen) {
        DWORD want = dwRxAhead < 1 ? 1 : dwRxAhead > RX_CHUNK ? RX_CHUNK : dwRxAhead;
        WORD got = 0;
        bool ok = QIRA_ReadQueued(port, abRx, (WORD)want, &got);
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
