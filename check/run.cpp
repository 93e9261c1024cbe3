// The run: the program's communication thread measures continuously and
// reports to a message-only window that this console program serves, as the
// main window would. A failed cycle ends the thread's run with its error; a
// fresh run repeats it, up to the retries in a row.
#include "check.h"

#include "app.h"
#include "display.h"
#include "resource.h"

#include <io.h>
#include <math.h>
#include <mmsystem.h>
#include <string.h>

#include <map>

#define END_WAIT_MS 3000    // the cycle under way, the "q" and the close
#define ABORT_WAIT_MS 1000  // after the pending read was aborted

// Counts of cycle times in steps of 10 us: the median of a run of hours in
// memory bounded by the spread of the times, not by their number.
struct TIMES {
    std::map<long long, unsigned long long> mapCount;
    unsigned long long n = 0;
};

static void AddTime(TIMES *t, double ms)
{
    t->mapCount[llround(ms * 100)]++;
    t->n++;
}

static double MedianTime(const TIMES &t)
{
    long long lower = 0;
    unsigned long long seen = 0;
    for (const auto &c : t.mapCount) {
        // The median of an even count lies between the two middle values.
        if (seen < (t.n + 1) / 2 && seen + c.second >= (t.n + 1) / 2)
            lower = c.first;
        seen += c.second;
        if (seen >= t.n / 2 + 1)
            return (double)(lower + c.first) / 200.0;
    }
    return 0;
}

static struct {
    LONG iState = TS_IDLE;          // as the thread last reported it
    bool fPortOpened = false;       // in the current run
    bool fEverOpened = false;       // in any run
    bool fError = false;            // a failure is waiting to be handled
    std::string strError;
    unsigned nCycles = 0, nFailsInRow = 0;
    TIMES cycleMs;                  // link's own cycle times
    TIMES periodMs;                 // between consecutive cycles of one run, on the performance counter
    double flLastAt = -1;           // of the run's last cycle
    bool fLogFailed = false;
    bool fProgress = false;         // standard error is a console
    unsigned nTarget = 0;
} Run;

static volatile LONG fInterrupted;
static HANDLE hFinished;   // set once the results are out: a closing console waits for it
static HWND hwndCheck;

static double CounterMs()
{
    LARGE_INTEGER now, freq;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&freq);
    return (double)now.QuadPart * 1000.0 / (double)freq.QuadPart;
}

static void ShowProgress(DWORD ms)
{
    if (!Run.fProgress)
        return;
    if (Run.nTarget)
        fprintf(stderr, "\rcycle %u of %u, cycle time %lu ms   ", Run.nCycles, Run.nTarget, (unsigned long)ms);
    else
        fprintf(stderr, "\rcycle %u, cycle time %lu ms   ", Run.nCycles, (unsigned long)ms);
    fflush(stderr);
}

static void OnState(WORD code, LPARAM lParam)
{
    if (code == TS_PORT_OPENED) {
        Run.fPortOpened = Run.fEverOpened = true;
        return;
    }
    Run.iState = code;
    Run.flLastAt = -1;
    if (code == TS_CONTINUOUS) {
        Run.fPortOpened = false;
    } else if (code == TS_ERROR) {
        Run.fError = true;
        Run.strError = lParam ? (const char *)lParam : "link error";
    }
    if (lParam)
        GlobalFree((HGLOBAL)lParam);
}

static LRESULT CALLBACK CheckWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg != WM_COMM_NOTIFY)
        return DefWindowProcA(hwnd, msg, wParam, lParam);
    switch (LOWORD(wParam)) {
    case CN_STATE:
        OnState(HIWORD(wParam), lParam);
        break;
    case CN_DATA:
        // Only a cycle of a running measurement counts: not the idle
        // take-over, not the cycle that failed (its error came first).
        if (Run.iState == TS_CONTINUOUS && Run.fPortOpened && !Run.fError) {
            Run.nCycles++;
            Run.nFailsInRow = 0;
            AddTime(&Run.cycleMs, (double)lParam);
            double now = CounterMs();
            if (Run.flLastAt >= 0)
                AddTime(&Run.periodMs, now - Run.flLastAt);
            Run.flLastAt = now;
            ShowProgress((DWORD)lParam);
        }
        break;
    case CN_CLOSELOG:
        if (HIWORD(wParam) == CLOSELOG_WRITE_FAILED)
            Run.fLogFailed = true;
        Log_Close();
        break;
    }
    return 0;
}

static BOOL WINAPI OnConsoleEvent(DWORD event)
{
    InterlockedExchange(&fInterrupted, 1);
    PostMessageA(hwndCheck, WM_NULL, 0, 0);
    // The process ends when this returns from a closing console: finish first.
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && hFinished)
        WaitForSingleObject(hFinished, 4500);
    return TRUE;
}

void Chk_Finished()
{
    if (hFinished)
        SetEvent(hFinished);
}

static void Pump(DWORD ms)
{
    MsgWaitForMultipleObjects(0, NULL, FALSE, ms, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
        DispatchMessageA(&msg);
}

static bool PumpUntilEnded(HANDLE thread, DWORD ms)
{
    DWORD t0 = timeGetTime();
    while (WaitForSingleObject(thread, 0) != WAIT_OBJECT_0) {
        if (timeGetTime() - t0 > ms)
            return false;
        Pump(10);
    }
    Pump(0);   // the last notifications
    return true;
}

// Ends the thread as the program's close does: the run ends after its cycle
// (the B64 variants send "q") and the port is closed. A thread that hangs is
// aborted, at last terminated while this thread holds both locks. False
// when it had to be terminated: it may have died inside a log write.
static bool EndThread(HANDLE thread)
{
    bool ended = true;
    Link_RequestState(TS_ENDING, false);
    if (!PumpUntilEnded(thread, END_WAIT_MS)) {
        Link_AbortRun();
        if (!PumpUntilEnded(thread, ABORT_WAIT_MS)) {
            EnterCriticalSection(&csParams);
            EnterCriticalSection(&csData);
            TerminateThread(thread, 0);
            LeaveCriticalSection(&csData);
            LeaveCriticalSection(&csParams);
            WaitForSingleObject(thread, ABORT_WAIT_MS);
            ended = false;
        }
    }
    QIRA_Close(&LinkPort);
    return ended;
}

// Why the thread could not open the port, asked of the library directly.
static std::string OpenFailure()
{
    QIRA_DECLARE(probe);
    std::string port = DTI.szComport;
    if (QIRA_Open(&probe, DTI.szComport)) {
        QIRA_Close(&probe);
        return "cannot open port " + port + " (" + Run.strError + ")";
    }
    DWORD code = GetLastError();
    if (code == ERROR_ACCESS_DENIED || code == ERROR_SHARING_VIOLATION)
        return "port " + port + " is busy (another program has it open)";
    // The platform's code for a device that has gone is not the same everywhere.
    if (Run.fEverOpened)
        return "port " + port + " went away during the run (adapter unplugged?)";
    if (code == ERROR_BAD_ARGUMENTS || code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND)
        return "no such port: " + port;
    return "cannot open port " + port + " (error " + std::to_string(code) + ")";
}

// Errors of the settings, not of the line: a fresh run would only repeat them.
static bool SettingsError(const std::string &text)
{
    static const UINT ids[] = {IDS_ERR_BAD_PROTOCOL, IDS_ERR_ROD_IMPOSSIBLE};
    char s[256];
    for (UINT id : ids)
        if (LoadStringA(GetModuleHandleA(NULL), id, s, sizeof(s)) && text == s)
            return true;
    return false;
}

static bool StartLog(const char *path, std::string *error)
{
    SG_View.Params = SG_Params;   // the log's title names the value type and rod pair
    DI.iDisplayMode = DM_CURRENT;
    fLogRelative = 0;
    SYSTEMTIME st;
    GetLocalTime(&st);
    if (Log_Open(path, st))
        return true;
    *error = std::string("cannot create the data log ") + path;
    return false;
}

bool Chk_Measure(const CHK_OPTIONS &opt, const char *logPath, CHK_RESULT *result)
{
    hFinished = CreateEventA(NULL, TRUE, FALSE, NULL);
    DWORD mode;
    Run.fProgress = GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
    Run.nTarget = opt.flSeconds > 0 ? 0 : (unsigned)opt.nCycles;

    WNDCLASSA wc;
    memset(&wc, 0, sizeof(wc));
    wc.lpfnWndProc = CheckWndProc;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.lpszClassName = "ZebCheckNotify";
    RegisterClassA(&wc);
    hwndCheck = CreateWindowA(wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, wc.hInstance, NULL);
    hwndLinkNotify = hwndCheck;
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);

    Link_CreateLocks();
    Link_BeginTimerResolution();
    GetLocalTime(&result->stStart);
    bool ok = StartLog(logPath, &result->strError);
    HANDLE thread = ok ? CreateThread(NULL, 0, Link_ThreadProc, NULL, 0, NULL) : NULL;
    if (ok && !thread) {
        result->strError = "cannot start the communication thread";
        ok = false;
    }
    if (ok) {
        Link_RequestState(TS_CONTINUOUS, false);
        // In double milliseconds: --seconds goes far beyond what 32 bits of ms hold.
        double t0 = CounterMs(), limitMs = opt.flSeconds * 1000;
        for (;;) {
            Pump(50);
            if (fInterrupted) {
                result->strError = "interrupted";
                ok = false;
                break;
            }
            if (Run.fLogFailed) {
                result->strError = std::string("cannot write the data log ") + logPath;
                ok = false;
                break;
            }
            if (Run.fError) {
                Run.fError = false;
                if (!Run.fPortOpened) {
                    result->strError = OpenFailure();
                    ok = false;
                    break;
                }
                if (SettingsError(Run.strError)) {
                    result->strError = Run.strError;
                    ok = false;
                    break;
                }
                if (++Run.nFailsInRow > (unsigned)opt.nRetries) {
                    result->strError = Run.strError;
                    if (opt.nRetries)
                        result->strError += " (after " + std::to_string(opt.nRetries) + " retries)";
                    ok = false;
                    break;
                }
                result->nRetried++;
                Link_RequestState(TS_CONTINUOUS, false);   // a fresh run, as a user would start it
            }
            if (opt.flSeconds > 0 ? CounterMs() - t0 >= limitMs && Run.nCycles > 0
                                  : Run.nCycles >= (unsigned)opt.nCycles)
                break;
        }
        bool ended = EndThread(thread);
        CloseHandle(thread);
        if (!ended) {
            // The stream may be locked by the dead thread: left to the process exit.
            if (ok)
                result->strError = "the communication thread did not end";
            ok = false;
            logPath = NULL;
        }
    }
    if (Run.fProgress && Run.nCycles)
        fprintf(stderr, "\n");
    if (logPath)
        Log_Close();
    if (ok && Run.fLogFailed) {
        result->strError = "cannot write the data log";
        ok = false;
    }
    GetLocalTime(&result->stEnd);
    Link_EndTimerResolution();
    // The period is finer than the link's millisecond count; a run of one
    // cycle has only the latter.
    result->flMedianCycleMs = MedianTime(Run.periodMs.n ? Run.periodMs : Run.cycleMs);
    result->nCycles = Run.nCycles;
    return ok;
}
