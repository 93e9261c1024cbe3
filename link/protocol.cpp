// The PC side of the controller protocol: the binary request of the old
// variant and the Base64 record of the B64 variants.
#include "link.h"

#include "resource.h"

#include <mmsystem.h>
#include <string.h>

#define READ_TIMEOUT_MS 500         // every read while a record is expected
#define END_OF_DATA_TIMEOUT_MS 40   // old protocol, after the first values

bool Link_OpenPort(QIRA_PORT *port, const char *name)
{
    if (!QIRA_Open(port, name))
        return false;
    port->dwBaudRate = (DWORD)DTI.iComSpeed;
    port->bByteSize = 8;
    port->bStopBits = 0;
    port->bParity = 0;
    port->wHandshake = 0;
    port->fDsrSensitivity = 0;
    port->fAbortOnError = 1;
    port->fEcho = 0;
    port->Timeouts.ReadIntervalTimeout = 0;
    port->Timeouts.ReadTotalTimeoutMultiplier = 0;
    port->Timeouts.ReadTotalTimeoutConstant = READ_TIMEOUT_MS;
    port->Timeouts.WriteTotalTimeoutMultiplier = 0;
    port->Timeouts.WriteTotalTimeoutConstant = 0;
    return QIRA_Configure(port);
}

bool Link_PutByte(QIRA_PORT *port, BYTE byte)
{
    return QIRA_Write(port, &byte, 1);
}

int Link_GetByte(QIRA_PORT *port)
{
    BYTE b;
    return Link_RxByte(port, &b) > 0 ? b : -1;
}

bool Link_MeasureOld(QIRA_PORT *port, int pass)
{
    const SG_PARAMS &P = SG_Work.Params;
    const VALUE_TYPE &type = Link_ValueType(P.iValueType);
    WORD first = (WORD)P.iFirst, last = (WORD)P.iLast, reqFirst = first, reqLast = last;
    BYTE mode = type.bOldMode;
    int step = 1;
    if (P.iDiagonal && type.fDiagonal) {
        // Position p carries straight beam 2p - 1 and diagonal beam 2p; pass 0
        // asks for the odd beams, pass 1 for the even ones.
        if ((first & 1) == (pass & 1))
            first++;
        if (!(first & 1)) {
            mode++;
            last &= ~1;
        }
        reqFirst = (WORD)((first + 1) / 2);
        reqLast = (WORD)((last + 1) / 2);
        step = 2;
    }
    if (!type.fOldRodPair2 && P.iRodno > 0)
        return Link_Fail(IDS_ERR_ROD_IMPOSSIBLE);
    mode = (BYTE)(mode + 2 * P.iRodno);
    if (reqFirst > reqLast)
        return true;   // the even pass of a range without an even beam

    const BYTE request[8] = {0x80, HIBYTE(reqFirst), LOBYTE(reqFirst), HIBYTE(reqLast), LOBYTE(reqLast),
                             (BYTE)(P.iGain / 256), (BYTE)P.iGain, mode};
    // One write: the same bytes on the line for an eighth of the calls. A
    // lost request shows up as a read time-out.
    QIRA_Write(port, request, sizeof(request));
    Link_RxExpect((type.fOffset ? 1 : 0) + reqLast - reqFirst + 1);

    SG_Work.aiValue[0] = 0;
    if (type.fOffset) {
        int offset = Link_GetByte(port);
        if (offset < 0)
            return Link_Fail(IDS_ERR_OFFSET_TIMEOUT);
        Link_FilterOffset(offset);
    }
    bool ok = true;
    for (int beam = first; beam <= last; beam += step) {
        int v = Link_GetByte(port);
        if (v < 0) {
            ok = Link_Fail(IDS_ERR_DATA_TIMEOUT);
            break;
        }
        Link_StoreValue(beam, v);
    }
    // The controller sends its values back to back: from here on a gap of
    // 40 ms means the record is over. Stays in force until the next open,
    // so only the first record of a run has to tell the driver.
    if (port->Timeouts.ReadTotalTimeoutConstant != END_OF_DATA_TIMEOUT_MS) {
        port->Timeouts.ReadTotalTimeoutConstant = END_OF_DATA_TIMEOUT_MS;
        QIRA_Configure(port);
    }
    if (ok && pass == 0 && Link_GetByte(port) >= 0)
        return Link_Fail(IDS_ERR_DATA_EXCESS);
    return ok;
}

bool Link_ParamsDiffer(const SG_PARAMS &a, const SG_PARAMS &b)
{
    return a.iValueType != b.iValueType || a.iRodno != b.iRodno || a.iFirst != b.iFirst ||
           a.iLast != b.iLast || a.iDiagonal != b.iDiagonal || a.iGain != b.iGain;
}

bool Link_Drain(QIRA_PORT *port, DWORD maxMs, DWORD quietMs)
{
    DWORD t0 = timeGetTime();
    Link_RxDrop();
    for (;;) {
        if (!QIRA_ReadByte(port, NULL, quietMs))
            return false;
        if (timeGetTime() - t0 > maxMs)
            return true;
    }
}

void Link_SendParams(QIRA_PORT *port, LINK_SESSION *session)
{
    const SG_PARAMS &P = SG_Work.Params;
    const VALUE_TYPE &type = Link_ValueType(P.iValueType);
    WORD &cmdState = session->wCmdState;
    // Outside continuous measurement no trigger follows, so the command is
    // what asks for the record: a single measurement inside a run (or a
    // second one right after the first) resends it.
    bool single = iThreadState != TS_CONTINUOUS;
    if (Link_ParamsDiffer(P, session->Sent) || cmdState == CMD_NONE || single) {
        int diag = P.iDiagonal && type.fDiagonal;
        if (cmdState != CMD_NONE) {
            // Stop the controller and drop what it still had in flight.
            Link_PutByte(port, '0');
            Link_Drain(port, 1000, 100);
        }
        char cmd[64];
        snprintf(cmd, sizeof(cmd), "~%c %d %d %d %d %d\n", type.cB64Letter, (int)P.iRodno,
                 (int)P.iFirst, (int)P.iLast, diag, (int)P.iGain);
        QIRA_Write(port, cmd, QIRA_TEXT_LENGTH);
        session->Sent = P;
        cmdState = CMD_SENT;
    }
    const PROTOCOL_VARIANT *variant = Link_ProtocolVariant(P.ZEBproto);
    if (!single && variant && variant->cTrigger) {
        Link_PutByte(port, (BYTE)variant->cTrigger);
        cmdState = variant->wCmdStateAfterTrigger;
    }
}

bool Link_MeasureB64(QIRA_PORT *port, LINK_SESSION *session)
{
    const SG_PARAMS &P = SG_Work.Params;
    const VALUE_TYPE &type = Link_ValueType(P.iValueType);
    BYTE acc = 0, b;
    Link_SendParams(port, session);
    WORD first = (WORD)P.iFirst, last = (WORD)P.iLast;
    Link_RxExpect(B64_MinRecordChars((type.fB64OffsetByte ? 1 : 0) + last - first + 1));
    SG_Work.aiValue[0] = 0;
    if (type.fB64OffsetByte) {
        if (B64_GetByte(port, acc, b) != B64_BYTE)
            return Link_Fail(IDS_ERR_OFFSET_TIMEOUT);
        if (type.fOffset)
            Link_FilterOffset(b);
    }
    // With diagonal beams the record holds the odd beams first, then the even.
    int step = P.iDiagonal ? 2 : 1;
    int beam = P.iDiagonal ? (first | 1) : first;
    for (int n = first; n <= last; n++) {
        if (B64_GetByte(port, acc, b) != B64_BYTE)
            return Link_Fail(IDS_ERR_DATA_TIMEOUT);
        if (!type.fDiagonal)
            beam = n;
        else if (beam > last)
            beam = (first + 1) & ~1;
        Link_StoreValue(beam, b);
        beam += step;
    }
    int code;
    do
        code = B64_GetByte(port, acc, b);
    while (code == B64_PAD);
    if (code != B64_END)
        return Link_Fail(IDS_ERR_DATA_EXCESS);
    return true;
}

bool Link_MeasureCycle(QIRA_PORT *port, int variant, LINK_SESSION *session)
{
    const SG_PARAMS &P = SG_Work.Params;
    const PROTOCOL_VARIANT *v = Link_ProtocolVariant(variant);
    if (!v)   // only a hand-edited settings file gets here; say so rather than fail silently
        return Link_Fail(IDS_ERR_BAD_PROTOCOL);
    if (v->fB64)
        return Link_MeasureB64(port, session);
    if (!Link_MeasureOld(port, 0))
        return false;
    if (P.iDiagonal && Link_ValueType(P.iValueType).fOldSecondPass)
        return Link_MeasureOld(port, 1);
    return true;
}
