// The records shared between the window thread and the communication thread.
#include "link.h"

#include "resource.h"

#include <math.h>
#include <string.h>

SG_PARAMS SG_Params = {0, 1, 100, 0, 0, VT_SIGNAL, CF_PARAMS, 0, NULL, 0, 0, PROTO_B64, 0};
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

// The beam range and the rod pair index arrays: whatever a settings file
// held, bring them into range by the parameter dialog's rules.
void Link_ClampBeams(SG_PARAMS *p)
{
    if (p->iFirst < 1)
        p->iFirst = 1;
    if (p->iFirst > LAST_BEAM)
        p->iFirst = LAST_BEAM;
    if (p->iLast < p->iFirst)
        p->iLast = p->iFirst;
    if (p->iLast > LAST_BEAM)
        p->iLast = LAST_BEAM;
    p->iRodno = p->iRodno != 0;
}

void Link_BringIntoRange(SG_PARAMS *p)
{
    Link_ClampBeams(p);
    if (p->iGain < 0)
        p->iGain = 0;
    p->iDiagonal = p->iDiagonal != 0;
    if (p->iValueType < 0 || p->iValueType >= VT_COUNT)
        p->iValueType = VT_SIGNAL;
    if (p->iCycleDelay < 0)
        p->iCycleDelay = 0;
    if (p->iCycleDelay > 1000)
        p->iCycleDelay = 1000;
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
