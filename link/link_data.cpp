// The records shared between the window thread and the communication thread.
#include "link.h"

#include "resource.h"

#include <math.h>
#include <string.h>

#include <iterator>

SG_PARAMS SG_Params;
SG_DATA SG_Work, SG_Shared, SG_View;
std::atomic<INT32> RefValues[2][MAX_BEAMS];
DTI_RECORD DTI = {"COM1:", 38400};
float flOffsetAvg;
char szCommError[256];
CRITICAL_SECTION csParams, csData;
QIRA_DECLARE(LinkPort);
HWND hwndLinkNotify;
volatile LONG iThreadState = TS_ENDED;
volatile LONG iRequestedState = REQ_NONE;

void Link_CreateLocks()
{
    InitializeCriticalSection(&csParams);
    InitializeCriticalSection(&csData);
}

void Link_DeleteLocks()
{
    DeleteCriticalSection(&csParams);
    DeleteCriticalSection(&csData);
}

const VALUE_TYPE ValueTypes[] = {
    // B64, old mode, offset, B64 offset byte, diagonal, second pass, rod pair 2,
    // invalid from, 0 invalid, minimum 0 invalid, command, title
    {'s', 0x61, true, true, true, true, true, 252, true, true, IDM_SIGNAL, IDS_TYPE_SIGNAL},
    {'r', 0x01, false, false, true, false, true, 255, false, false, IDM_RECEIVER, IDS_TYPE_RECEIVER},
    {'t', 0x02, false, false, true, false, true, 255, false, false, IDM_TRANSMITTER, IDS_TYPE_TRANSMITTER},
    {'R', 0x72, false, true, false, false, false, 252, true, false, IDM_REFERENCE, IDS_TYPE_REFERENCE},
};
static_assert(std::size(ValueTypes) == VT_COUNT, "one row per value type");

const PROTOCOL_VARIANT ProtocolVariants[] = {
    {"old / pre-R605", false, 0, CMD_NONE},
    {"B64 (standard)", true, '1', CMD_SENT},
    {"B64 cont.", true, '2', CMD_STREAMING},
};
static_assert(std::size(ProtocolVariants) == PROTO_COUNT, "one row per protocol variant");

const PROTOCOL_VARIANT *Link_ProtocolVariant(int variant)
{
    return variant >= 0 && variant < PROTO_COUNT ? &ProtocolVariants[variant] : NULL;
}

const VALUE_TYPE &Link_ValueType(int type)
{
    return ValueTypes[type >= 0 && type < VT_COUNT ? type : VT_SIGNAL];
}

void Link_ClampBeamRange(INT32 *first, INT32 *last)
{
    if (*first < FIRST_BEAM)
        *first = FIRST_BEAM;
    if (*first > LAST_BEAM)
        *first = LAST_BEAM;
    if (*last < *first)
        *last = *first;
    if (*last > LAST_BEAM)
        *last = LAST_BEAM;
}

INT32 Link_ClampCycleDelay(INT32 ms)
{
    return ms < 0 ? 0 : ms > MAX_CYCLE_DELAY ? MAX_CYCLE_DELAY : ms;
}

// The beam range and the rod pair index arrays: whatever a settings file
// held, bring them into range by the parameter dialog's rules.
void Link_ClampBeams(SG_PARAMS *p)
{
    Link_ClampBeamRange(&p->iFirst, &p->iLast);
    p->iRodno = p->iRodno != 0;
}

INT32 Link_ValueAsShown(const SG_DATA &d, const INT32 *values, int beam, INT32 floor)
{
    INT32 v = values[beam] - (Link_ValueType(d.Params.iValueType).fOffset ? d.aiValue[0] : 0);
    return v < floor ? floor : v;
}

INT32 Link_ReferenceAsShown(int rodno, int beam, INT32 floor)
{
    INT32 r = RefValues[rodno ? 1 : 0][beam];
    return r < floor ? floor : r;
}

void Link_BringIntoRange(SG_PARAMS *p)
{
    Link_ClampBeams(p);
    if (p->iGain < 0)
        p->iGain = 0;
    p->iDiagonal = p->iDiagonal != 0;
    if (p->iValueType < 0 || p->iValueType >= VT_COUNT)
        p->iValueType = VT_SIGNAL;
    p->iCycleDelay = Link_ClampCycleDelay(p->iCycleDelay);
}

void Link_StoreValue(int beam, int value)
{
    if (beam < 1 || beam > LAST_BEAM)
        return;
    SG_DATA &d = SG_Work;
    d.aiValue[beam] = value;
    if (!d.fMinMaxValid || value > d.aiMax[beam])
        d.aiMax[beam] = value;
    if (!d.fMinMaxValid || value < d.aiMin[beam])
        d.aiMin[beam] = value;
}

void Link_FilterOffset(int offset)
{
    if (!SG_Work.fDataValid)
        flOffsetAvg = (float)offset;
    // 0.9f and 0.1f are single-precision constants; the sum is formed in
    // double and only the stored average is rounded to float.
    double avg = (double)flOffsetAvg * (double)0.9f + (double)offset * (double)0.1f;
    flOffsetAvg = (float)avg;
    SG_Work.aiValue[0] = (INT32)lround(avg);
}

bool Link_Fail(UINT textId)
{
    if (!LoadStringA(GetModuleHandleA(NULL), textId, szCommError, sizeof(szCommError)))
        snprintf(szCommError, sizeof(szCommError), "error %u", textId);
    return false;
}
