#include "serial_fixture.h"

#include <mmsystem.h>
#include <stdio.h>
#include <string.h>

const char *const kPort = "COM5";
const char *const kPeer = "COM6";
const char *const kPort2 = "COM7";
const char *const kPeer2 = "COM8";
const char *const kHighPeer = "\\\\.\\COM23";

DWORD Now()
{
    return GetTickCount();
}

Peer::Peer(const char *name)
{
    h = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    EXPECT_NE(h, INVALID_HANDLE_VALUE) << "peer " << name << " error " << GetLastError();
    COMMTIMEOUTS to = {0, 0, 50, 0, 0};
    SetCommTimeouts(h, &to);
    PurgeComm(h, PURGE_RXABORT | PURGE_RXCLEAR);
}

Peer::~Peer()
{
    if (h != INVALID_HANDLE_VALUE)
        CloseHandle(h);
}

void Peer::Send(const void *data, DWORD n)
{
    DWORD w = 0;
    EXPECT_TRUE(WriteFile(h, data, n, &w, NULL));
    EXPECT_EQ(w, n);
}

std::string Peer::Drain(DWORD quietMs)
{
    std::string out;
    DWORD last = Now();
    while (Now() - last < quietMs) {
        char buf[256];
        DWORD got = 0;
        ReadFile(h, buf, sizeof(buf), &got, NULL);
        if (got) {
            out.append(buf, got);
            last = Now();
        }
    }
    return out;
}

BoxWatcher::BoxWatcher()
    : runner([this](std::atomic<bool> &stop) {
          while (!stop) {
              HWND box = FindWindowA(NULL, "QIRA_");
              if (box && IsWindowVisible(box)) {
                  char text[512] = "";
                  GetDlgItemTextA(box, 0xFFFF, text, sizeof(text));
                  lastText = text;
                  seen++;
                  SendMessageA(box, WM_COMMAND, IDOK, 0);
                  while (IsWindow(box) && !stop)
                      Sleep(5);
              }
              Sleep(10);
          }
      })
{
}

CallLog *gLog = nullptr;

#define REAL QIRA__SysReal
static void Note(const char *name)
{
    if (gLog)
        gLog->calls.push_back(name);
}
static HANDLE WINAPI LogCreateFileA(LPCSTR a, DWORD b, DWORD c, LPSECURITY_ATTRIBUTES d, DWORD e, DWORD f, HANDLE g)
{
    Note(("CreateFileA(" + std::string(a) + ")").c_str());
    return REAL.CreateFileA(a, b, c, d, e, f, g);
}
static BOOL WINAPI LogSetupComm(HANDLE h, DWORD rx, DWORD tx)
{
    Note(("SetupComm(" + std::to_string(rx) + "," + std::to_string(tx) + ")").c_str());
    return REAL.SetupComm(h, rx, tx);
}
static BOOL WINAPI LogGetCommState(HANDLE h, LPDCB d)
{
    Note("GetCommState");
    return REAL.GetCommState(h, d);
}
static BOOL WINAPI LogSetCommState(HANDLE h, LPDCB d)
{
    Note("SetCommState");
    if (gLog)
        gLog->setStates.push_back(*d);
    return REAL.SetCommState(h, d);
}
static BOOL WINAPI LogGetCommTimeouts(HANDLE h, LPCOMMTIMEOUTS t)
{
    Note("GetCommTimeouts");
    return REAL.GetCommTimeouts(h, t);
}
static BOOL WINAPI LogSetCommTimeouts(HANDLE h, LPCOMMTIMEOUTS t)
{
    Note("SetCommTimeouts");
    return REAL.SetCommTimeouts(h, t);
}
static BOOL WINAPI LogReadFile(HANDLE h, LPVOID b, DWORD n, LPDWORD r, LPOVERLAPPED o)
{
    Note("ReadFile");
    if (gLog)
        gLog->readLengths.push_back(n);
    return REAL.ReadFile(h, b, n, r, o);
}
static BOOL WINAPI LogWriteFile(HANDLE h, LPCVOID b, DWORD n, LPDWORD w, LPOVERLAPPED o)
{
    Note("WriteFile");
    return REAL.WriteFile(h, b, n, w, o);
}
static BOOL WINAPI LogClearCommError(HANDLE h, LPDWORD e, LPCOMSTAT s)
{
    Note("ClearCommError");
    return REAL.ClearCommError(h, e, s);
}
static BOOL WINAPI LogPurgeComm(HANDLE h, DWORD f)
{
    Note(("PurgeComm(" + std::to_string(f) + ")").c_str());
    return REAL.PurgeComm(h, f);
}
static BOOL WINAPI LogEscapeCommFunction(HANDLE h, DWORD f)
{
    Note(("EscapeCommFunction(" + std::to_string(f) + ")").c_str());
    return REAL.EscapeCommFunction(h, f);
}
static BOOL WINAPI LogSetCommBreak(HANDLE h)
{
    Note("SetCommBreak");
    return REAL.SetCommBreak(h);
}
static BOOL WINAPI LogClearCommBreak(HANDLE h)
{
    Note("ClearCommBreak");
    return REAL.ClearCommBreak(h);
}
static BOOL WINAPI LogGetCommModemStatus(HANDLE h, LPDWORD s)
{
    Note("GetCommModemStatus");
    return REAL.GetCommModemStatus(h, s);
}

CallLog::CallLog()
{
    gLog = this;
    QIRA__Sys = REAL;
    QIRA__Sys.CreateFileA = LogCreateFileA;
    QIRA__Sys.SetupComm = LogSetupComm;
    QIRA__Sys.GetCommState = LogGetCommState;
    QIRA__Sys.SetCommState = LogSetCommState;
    QIRA__Sys.GetCommTimeouts = LogGetCommTimeouts;
    QIRA__Sys.SetCommTimeouts = LogSetCommTimeouts;
    QIRA__Sys.ReadFile = LogReadFile;
    QIRA__Sys.WriteFile = LogWriteFile;
    QIRA__Sys.ClearCommError = LogClearCommError;
    QIRA__Sys.PurgeComm = LogPurgeComm;
    QIRA__Sys.EscapeCommFunction = LogEscapeCommFunction;
    QIRA__Sys.SetCommBreak = LogSetCommBreak;
    QIRA__Sys.ClearCommBreak = LogClearCommBreak;
    QIRA__Sys.GetCommModemStatus = LogGetCommModemStatus;
}

CallLog::~CallLog()
{
    QIRA__Sys = REAL;
    gLog = nullptr;
}

int CallLog::Count(const std::string &name) const
{
    int n = 0;
    for (const auto &c : calls)
        n += c == name;
    return n;
}

std::string CallLog::Joined() const
{
    std::string s;
    for (const auto &c : calls)
        s += (s.empty() ? "" : " ") + c;
    return s;
}

void OpenConfigured(QIRA_PORT *port, const char *name)
{
    ASSERT_TRUE(QIRA_Open(port, name ? name : kPort)) << "error " << GetLastError();
    port->dwBaudRate = 38400;
    port->bByteSize = 8;
    port->bStopBits = 0;
    port->bParity = 0;
    port->wHandshake = 0;
    port->fDsrSensitivity = 0;
    port->fAbortOnError = 1;
    port->fEcho = 0;
    port->Timeouts = {0, 0, 500, 0, 0};
    ASSERT_TRUE(QIRA_Configure(port)) << "error " << GetLastError();
}

// A second process that takes the lock of a port name and reports how long
// it waited; see the cross-process lock test.
static int LockChild(const char *name)
{
    QIRA_DECLARE(p);
    QIRA__SetName(&p, name);
    DWORD t0 = Now();
    QIRA_Close(&p);   // takes the port's lock, then fails its open check
    DWORD waited = Now() - t0;
    printf("waited %lu\n", (unsigned long)waited);
    return (int)(waited / 10);
}

// A second process that opens a port; its exit code is the open's error code.
static int OpenChild(const char *name)
{
    QIRA_DECLARE(p);
    bool ok = QIRA_Open(&p, name);
    DWORD code = GetLastError();
    if (ok)
        QIRA_Close(&p);
    return (int)code;
}

int main(int argc, char **argv)
{
    if (argc == 3 && strcmp(argv[1], "--lock-child") == 0)
        return LockChild(argv[2]);
    if (argc == 3 && strcmp(argv[1], "--open-child") == 0)
        return OpenChild(argv[2]);
    timeBeginPeriod(1);
    testing::InitGoogleTest(&argc, argv);
    int rc = RUN_ALL_TESTS();
    timeEndPeriod(1);
    return rc;
}
