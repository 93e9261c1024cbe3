// The communication thread: idle loop, measurement runs with a timed cycle,
// parameter take-over and notifications to the main window.
#include "link.h"

#include "resource.h"

#include <mmsystem.h>
#include <string.h>

#define IDLE_POLL_MS 50

// The documented values of the power throttling request; older headers lack
// them.
#define PROCESS_INFO_POWER_THROTTLING 4               // ProcessPowerThrottling
#define POWER_THROTTLING_VERSION 1                    // PROCESS_POWER_THROTTLING_CURRENT_VERSION
#define POWER_THROTTLING_IGNORE_TIMER_RESOLUTION 0x4  // PROCESS_POWER_THROTTLING_IGNORE_TIMER_RESOLUTION
struct POWER_THROTTLING_STATE {
    ULONG Version;
    ULONG ControlMask;
    ULONG StateMask;
};
typedef BOOL(WINAPI *SET_PROCESS_INFORMATION)(HANDLE, int, LPVOID, DWORD);

// Set by the window when it ends a run itself and aborts the pending read:
// the failure that follows is the user's doing, not a link error.
static volatile LONG fRunAborted;
// SG_Work holds the partial values of a failed cycle; SG_Shared still holds
// the last good measurement.
static bool fWorkBroken;

static bool Notify(WORD event, WORD code, LPARAM lParam)
{
    return PostMessageA(hwndLinkNotify, WM_COMM_NOTIFY, MAKEWPARAM(event, code), lParam) != FALSE;
}

bool Link_ApplyState(LONG request)
{
    if (request == REQ_NONE)
        return false;
    if ((iThreadState == TS_ENDING || iThreadState == TS_ENDED) && request != TS_ENDED)
        return false;   // stays pending
    // Consume the pending request only if it is the one applied here: a
    // request the window wrote in the meantime, or one still waiting while
    // the thread moves on by itself (error, end of a single measurement),
    // is taken on the next pass instead of being lost.
    InterlockedCompareExchange(&iRequestedState, REQ_NONE, request);
    if (request == iThreadState)
        return false;
    InterlockedExchange(&iThreadState, request);
    LPARAM text = 0;
    if (request == TS_ERROR) {
        size_t n = strlen(szCommError) + 1;
        HGLOBAL block = GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, n);
        if (block)
            memcpy((void *)block, szCommError, n);
        text = (LPARAM)block;
    }
    if (!Notify(CN_STATE, (WORD)request, text) && text)
        GlobalFree((HGLOBAL)text);   // nobody will receive it
    return true;
}

// Waits on the window thread without freezing it: the communication thread
// may send CN_CLOSELOG meanwhile, and the window must still repaint.
bool Link_ServeWindowUntil(HANDLE object, DWORD ms)
{
    DWORD t0 = GetTickCount(), count = object ? 1 : 0;
    for (DWORD spent = 0; spent < ms; spent = GetTickCount() - t0) {
        DWORD r = MsgWaitForMultipleObjectsEx(count, object ? &object : NULL, ms - spent, QS_SENDMESSAGE | QS_PAINT,
                                              MWMO_INPUTAVAILABLE);
        if (r == WAIT_OBJECT_0 && object)
            return true;
        if (r != WAIT_OBJECT_0 + count)
            return false;
        MSG msg;
        while (PeekMessageA(&msg, NULL, WM_PAINT, WM_PAINT, PM_REMOVE))   // also delivers sent messages
            DispatchMessageA(&msg);
    }
    return object && WaitForSingleObject(object, 0) == WAIT_OBJECT_0;
}

void Link_AbortRun()
{
    InterlockedExchange(&fRunAborted, 1);
    QIRA_Abort(&LinkPort);
}

void Link_RequestState(LONG state, bool wait)
{
    InterlockedExchange(&iRequestedState, state);
    if (!wait)
        return;
    // The caller wants the run over: do not let it finish a slow cycle first
    // (again on every pass: a run may be opening its port right now).
    while (Link_IsAlive() && iRequestedState != REQ_NONE) {
        Link_AbortRun();
        Link_ServeWindowUntil(NULL, IDLE_POLL_MS);
    }
}

bool Link_IsAlive()
{
    return iThreadState != TS_ENDED;
}

LONG Link_GetState()
{
    return iThreadState;
}

bool Link_IsMeasuring()
{
    return iThreadState == TS_SINGLE || iThreadState == TS_CONTINUOUS;
}

static WORD PollChangeFlags()
{
    return __atomic_load_n(&SG_Params.wChangeFlags, __ATOMIC_ACQUIRE);
}

// Copies the parameters for the next cycle. Out-of-range values from a
// hand-edited settings file never reach the arrays.
static void TakeParams()
{
    SG_Work.Params = SG_Params;
    Link_BringIntoRange(&SG_Work.Params);
}

// Publishes what the idle loop took over. After a failed cycle the window
// keeps the last good measurement: only the flags (and new parameters) of
// this take-over are applied to it, never the broken cycle's values.
static void Publish(WORD f)
{
    EnterCriticalSection(&csData);
    if (!fWorkBroken) {
        SG_Shared = SG_Work;
    } else {
        if (f & CF_PARAMS) {
            SG_Shared.Params = SG_Work.Params;
            SG_Shared.fDataValid = 0;
        }
        if (!SG_Work.fMinMaxValid)
            SG_Shared.fMinMaxValid = 0;
    }
    LeaveCriticalSection(&csData);
}

static void IdlePass()
{
    EnterCriticalSection(&csParams);
    bool closeLog = SG_Params.pLogFile && SG_Params.wLogMode == LOG_OFF;
    LeaveCriticalSection(&csParams);
    if (closeLog)
        SendMessageA(hwndLinkNotify, WM_COMM_NOTIFY, MAKEWPARAM(CN_CLOSELOG, CLOSELOG_STOP), 0);

    if (PollChangeFlags()) {
        EnterCriticalSection(&csParams);
        WORD f = SG_Params.wChangeFlags;
        SG_Params.wChangeFlags = 0;
        if (f & CF_PARAMS) {
            TakeParams();
            SG_Work.fMinMaxValid = 0;
            SG_Work.fDataValid = 0;
        }
        if (f & CF_RESET_MINMAX)
            SG_Work.fMinMaxValid = 0;
        LeaveCriticalSection(&csParams);
        Publish(f);
        Notify(CN_DATA, f, 0);
    }
    if (!Link_IsMeasuring())
        Sleep(IDLE_POLL_MS);
}

static void MeasurementRun(QIRA_PORT *port, LINK_SESSION *session)
{
    InterlockedExchange(&fRunAborted, 0);
    if (Link_OpenPort(port, DTI.szComport)) {
        Notify(CN_STATE, TS_PORT_OPENED, 0);
    } else {
        Link_Fail(IDS_ERR_OPEN_PORT);
        Link_ApplyState(TS_ERROR);
    }
    EnterCriticalSection(&csParams);
    int variant = SG_Params.ZEBproto;
    DWORD delay = (DWORD)SG_Params.iCycleDelay;
    LeaveCriticalSection(&csParams);
    session->wCmdState = CMD_NONE;
    Link_Purge(port);

    DWORD tStart = timeGetTime();
    DWORD deadline = iThreadState == TS_SINGLE ? tStart : tStart + delay;
    while (Link_IsMeasuring()) {
        EnterCriticalSection(&csParams);
        TakeParams();
        delay = (DWORD)SG_Work.Params.iCycleDelay;
        WORD f = SG_Params.wChangeFlags;
        if (f)
            SG_Work.fMinMaxValid = 0;
        SG_Params.wChangeFlags = 0;
        LeaveCriticalSection(&csParams);

        memset(SG_Work.aiValue, 0, sizeof(SG_Work.aiValue));
        bool ok = Link_MeasureCycle(port, variant, session);
        fWorkBroken = !ok;
        if (ok) {
            if (iThreadState == TS_SINGLE)
                Link_ApplyState(TS_IDLE);
            EnterCriticalSection(&csData);
            SG_Work.fMinMaxValid = 1;
            SG_Work.fDataValid = 1;
            SG_Shared = SG_Work;
            LeaveCriticalSection(&csData);
            if (SG_Work.Params.pLogFile)
                Log_WriteLine(SG_Work.Params.wLogMode, SG_Work.Params.pLogFile);
        } else if (!(fRunAborted && Link_ApplyState(iRequestedState))) {
            Link_ApplyState(TS_ERROR);
        }

        DWORD tEnd, remaining = deadline - timeGetTime();
        if (remaining <= delay && Link_IsMeasuring()) {
            Sleep(remaining);
            tEnd = deadline;
        } else {
            tEnd = timeGetTime();
        }
        Notify(CN_DATA, f, (LPARAM)(tEnd - tStart));
        if (!ok)
            break;   // a request made meanwhile starts a fresh run from idle
        tStart = tEnd;
        deadline = tEnd + delay;
        Link_ApplyState(iRequestedState);
    }
    const PROTOCOL_VARIANT *v = Link_ProtocolVariant(variant);
    if (v && v->fB64) {
        Link_PutByte(port, 'q');
        session->wCmdState = CMD_NONE;
    }
    Link_ClosePort(port);
}

DWORD WINAPI Link_ThreadProc(LPVOID)
{
    LINK_SESSION session;   // kept across runs; each run starts it afresh
    InterlockedExchange(&iThreadState, TS_IDLE);
    while (iThreadState != TS_ENDING) {
        while (!Link_ApplyState(iRequestedState))
            IdlePass();
        if (!Link_IsMeasuring())
            continue;
        MeasurementRun(&LinkPort, &session);
    }
    Link_ApplyState(TS_ENDED);
    return 0;
}

// Windows 11 drops the timer resolution of a minimised or hidden program, so
// cycles stretch to 15.6 ms steps; the call that opts out exists only on
// newer systems and is looked up here.
bool Link_BeginTimerResolution()
{
    timeBeginPeriod(1);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    SET_PROCESS_INFORMATION set =
        kernel ? (SET_PROCESS_INFORMATION)(void (*)())GetProcAddress(kernel, "SetProcessInformation") : NULL;
    // Control the timer resolution throttling, and switch it off.
    POWER_THROTTLING_STATE state = {POWER_THROTTLING_VERSION, POWER_THROTTLING_IGNORE_TIMER_RESOLUTION, 0};
    return set && set(GetCurrentProcess(), PROCESS_INFO_POWER_THROTTLING, &state, sizeof(state));
}

void Link_EndTimerResolution()
{
    timeEndPeriod(1);
}
