#include "link_harness.h"

#include "app.h"

#include <mmsystem.h>
#include <stdlib.h>
#include <string.h>

static std::string Env(const char *name)
{
    const char *v = getenv(name);
    return v ? v : "";
}

// Unix path as Wine's Z: drive sees it.
static std::string ZPath(const std::string &unixPath)
{
    return "Z:" + unixPath;
}

// Starts a shell command on the Unix side (Wine runs Unix programs too).
static bool RunUnix(const std::string &command)
{
    std::string cmd = "/bin/sh -c \"" + command + "\"";
    STARTUPINFOA si;
    memset(&si, 0, sizeof(si));
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi;
    if (!CreateProcessA(NULL, &cmd[0], NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi))
        return false;
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    return true;
}

SimProcess::SimProcess(const char *com, const std::string &args)
{
    std::string prefix = Env("WINEPREFIX"), build = Env("ZEB_BUILD");
    std::string lower = com;
    for (auto &c : lower)
        c = (char)tolower(c);
    link = prefix + "/dosdevices/" + lower;
    trace = build + "/sim-" + lower + ".trace";
    DeleteFileA(ZPath(trace).c_str());
    // Its output goes to a file: a Unix child would otherwise hold our
    // standard output open, and with it the test runner's pipe.
    if (!RunUnix("exec " + build + "/sim/zebsim --link " + link + " --trace " + trace + " " + args + " >" +
                 build + "/sim-" + lower + ".log 2>&1"))
        return;
    // Ready once its trace says so (the link alone may be a previous one's).
    for (int i = 0; i < 300 && !ok; i++) {
        ok = Trace().find("ready") != std::string::npos;
        if (!ok)
            Sleep(10);
    }
}

SimProcess::~SimProcess()
{
    // zebsim ends when its link goes; Wine will not delete a link to a device.
    RunUnix("rm -f " + link);
    for (int i = 0; i < 100 && Trace().find("exit") == std::string::npos; i++)
        Sleep(10);
}

std::string SimProcess::Trace() const
{
    return ReadTextFile(ZPath(trace));
}

std::string ReadTextFile(const std::string &path)
{
    std::string s;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f)
        return s;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof(buf), f)) > 0)
        s.append(buf, n);
    fclose(f);
    return s;
}

double CounterMs()
{
    LARGE_INTEGER now, freq;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&freq);
    return now.QuadPart * 1000.0 / freq.QuadPart;
}

static LinkHarness *current;

static LRESULT CALLBACK NotifyProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg != WM_COMM_NOTIFY || !current)
        return DefWindowProcA(hwnd, msg, wParam, lParam);
    Notification n = {LOWORD(wParam), HIWORD(wParam), lParam, "", nullptr, CounterMs()};
    switch (n.event) {
    case CN_STATE:
        if (n.code == TS_ERROR && lParam) {
            n.text = (const char *)lParam;
            GlobalFree((HGLOBAL)lParam);
        }
        break;
    case CN_DATA:
        EnterCriticalSection(&csData);
        SG_View = SG_Shared;
        LeaveCriticalSection(&csData);
        n.view = std::make_shared<SG_DATA>(SG_View);
        break;
    case CN_CLOSELOG:
        Log_Close();
        break;
    }
    current->events.push_back(n);
    if (current->onEvent)
        current->onEvent(current->events.back());
    return 0;
}

void ResetLinkParams(int variant, int delay, int speed, const char *com)
{
    SG_Params = SG_PARAMS{};
    SG_Params.ZEBproto = variant;
    SG_Params.iCycleDelay = delay;
    strcpy(DTI.szComport, com);
    DTI.iComSpeed = speed;
    for (auto &row : RefValues)
        for (auto &v : row)
            v = 0;
}

void LinkHarness::Start()
{
    static bool once = false;
    if (!once) {
        once = true;
        Link_CreateLocks();
        timeBeginPeriod(1);
        WNDCLASSA wc;
        memset(&wc, 0, sizeof(wc));
        wc.lpfnWndProc = NotifyProc;
        wc.hInstance = GetModuleHandleA(NULL);
        wc.lpszClassName = "LinkHarness";
        RegisterClassA(&wc);
    }
    current = this;
    hwnd = CreateWindowA("LinkHarness", "", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, GetModuleHandleA(NULL), NULL);
    hwndLinkNotify = hwnd;
    InterlockedExchange(&iRequestedState, REQ_NONE);
    thread = CreateThread(NULL, 0, Link_ThreadProc, NULL, 0, NULL);
    Pump([] { return Link_GetState() == TS_IDLE; }, 2000);
}

void LinkHarness::Stop()
{
    if (!thread)
        return;
    Link_RequestState(TS_ENDING, false);
    Pump([this] { return WaitForSingleObject(thread, 0) == WAIT_OBJECT_0; }, 10000);
    Pump([] { return false; }, 20);   // the final notifications
    CloseHandle(thread);
    thread = NULL;
    DestroyWindow(hwnd);
    hwndLinkNotify = NULL;
    current = nullptr;
}

bool LinkHarness::Pump(const std::function<bool()> &done, DWORD timeoutMs, DWORD pollMs)
{
    DWORD t0 = timeGetTime();
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (done())
            return true;
        if (timeGetTime() - t0 > timeoutMs)
            return false;
        MsgWaitForMultipleObjects(0, NULL, FALSE, pollMs, QS_ALLINPUT);
    }
}

bool LinkHarness::WaitState(int state, DWORD timeoutMs)
{
    return Pump([this, state] {
        for (const auto &e : events)
            if (e.event == CN_STATE && e.code == state)
                return true;
        return false;
    }, timeoutMs);
}

bool LinkHarness::WaitData(size_t count, DWORD timeoutMs)
{
    return Pump([this, count] { return Count(CN_DATA) >= count; }, timeoutMs);
}

size_t LinkHarness::Count(int event) const
{
    size_t n = 0;
    for (const auto &e : events)
        n += e.event == event;
    return n;
}

std::vector<int> LinkHarness::States() const
{
    std::vector<int> s;
    for (const auto &e : events)
        if (e.event == CN_STATE)
            s.push_back(e.code);
    return s;
}

const Notification *LinkHarness::Last(int event) const
{
    for (auto it = events.rbegin(); it != events.rend(); ++it)
        if (it->event == event)
            return &*it;
    return nullptr;
}
