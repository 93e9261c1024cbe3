// Port object, declaration check, lock, open, configure and close, against
// the virtual serial lines of the test run.
#include "serial_fixture.h"

#include <string.h>

TEST(SerialObject, NullObjectFailsWithBadArgumentsAndNoBox)
{
    BoxWatcher boxes;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(QIRA_Open(nullptr, kPort));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_BAD_ARGUMENTS);
    EXPECT_FALSE(QIRA_Close(nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_BAD_ARGUMENTS);
    BYTE b;
    EXPECT_FALSE(QIRA_Read(nullptr, &b, 1, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_BAD_ARGUMENTS);
    EXPECT_FALSE(QIRA_Write(nullptr, "x", 1));
    EXPECT_EQ(QIRA_RxCount(nullptr), -1);
    EXPECT_EQ(QIRA_GetErrors(nullptr, 1), QIRA_STATUS_FAILED);
    EXPECT_EQ(QIRA_CharTime(nullptr), -1.0);
    Sleep(200);
    EXPECT_EQ(boxes.seen, 0);
}

TEST(SerialObject, UndeclaredObjectShowsTheBoxOnEveryCall)
{
    BoxWatcher boxes;
    QIRA_PORT bad;
    memset(&bad, 0x5A, sizeof(bad));   // no marker, no terminated name
    SetLastError(0);
    EXPECT_FALSE(QIRA_Open(&bad, kPort));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_BAD_ARGUMENTS);
    EXPECT_FALSE(QIRA_Configure(&bad));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_BAD_ARGUMENTS);
    EXPECT_EQ(QIRA_CharTime(&bad), -1.0);
    EXPECT_EQ(QIRA_GetModemStatus(&bad), QIRA_STATUS_FAILED);
    EXPECT_EQ(boxes.seen, 4);
    EXPECT_NE(boxes.lastText.find("have to be initialized via QIRA_DECLARE(<identifier>)!"), std::string::npos)
        << boxes.lastText;

    // A marker with the right text at another address is not a declaration.
    static const char copy[] = "QIRA__LIB";
    QIRA_DECLARE(fake);
    fake.pszLib = copy;
    EXPECT_FALSE(QIRA_Close(&fake));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_BAD_ARGUMENTS);
    EXPECT_EQ(boxes.seen, 5);
}

TEST(SerialObject, DeclaredButClosedObjectFailsWithInvalidHandle)
{
    QIRA_DECLARE(p);
    BYTE buf[4];
    WORD count = 7;
    EXPECT_FALSE(QIRA_Read(&p, buf, 4, &count));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    EXPECT_EQ(count, 0);
    EXPECT_FALSE(QIRA_Write(&p, "x", 1));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    EXPECT_FALSE(QIRA_Configure(&p));
    EXPECT_FALSE(QIRA_Purge(&p));
    EXPECT_FALSE(QIRA_SetLines(&p, QIRA_BREAK_OFF));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    EXPECT_EQ(QIRA_RxCount(&p), -1);
    EXPECT_EQ(QIRA_TxCount(&p), -1);
    for (WORD w : {QIRA_GetModemStatus(&p), QIRA_GetHoldStatus(&p), QIRA_GetErrors(&p, 1)}) {
        EXPECT_EQ(w, QIRA_STATUS_FAILED);
        EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    }
    EXPECT_FALSE(QIRA_IsOk(&p));
    EXPECT_FALSE(QIRA_Close(&p));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
}

TEST(SerialOpen, NameIsNormalisedAndSecondOpenLeavesThePortUsable)
{
    QIRA_DECLARE(p);
    ASSERT_TRUE(QIRA_Open(&p, " \t com5: ")) << GetLastError();
    EXPECT_EQ(GetLastError(), 0u);
    EXPECT_STREQ(p.szPort, "COM5");
    HANDLE h = p.hCom;

    EXPECT_FALSE(QIRA_Open(&p, kPort2));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ALREADY_ASSIGNED);
    EXPECT_EQ(p.hCom, h);
    EXPECT_STREQ(p.szPort, "COM5");

    Peer peer(kPeer);
    EXPECT_TRUE(QIRA_Write(&p, "ok", 2)) << GetLastError();
    EXPECT_EQ(peer.Drain(), "ok");

    EXPECT_TRUE(QIRA_Close(&p));
    EXPECT_FALSE(QIRA_Close(&p));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);

    ASSERT_TRUE(QIRA_Open(&p, "com5:9600"));
    EXPECT_STREQ(p.szPort, "COM5");
    EXPECT_TRUE(QIRA_Close(&p));
}

TEST(SerialOpen, UnusableNamesFailWithBadArguments)
{
    std::string longName = "COM5" + std::string(300, 'x');
    struct { const char *name; const char *stored; } cases[] = {
        {"", ""}, {":", ""}, {"   :", ""}, {"FILE:", "FILE"}, {"lpt1", "LPT1"}, {"nonsense", "NONSENSE"},
        {longName.c_str(), nullptr}, {nullptr, nullptr},
    };
    for (const auto &c : cases) {
        QIRA_DECLARE(p);
        SetLastError(0);
        EXPECT_FALSE(QIRA_Open(&p, c.name)) << (c.name ? c.name : "(null)");
        EXPECT_EQ(GetLastError(), (DWORD)ERROR_BAD_ARGUMENTS) << (c.name ? c.name : "(null)");
        EXPECT_EQ(p.hCom, INVALID_HANDLE_VALUE);
        if (c.stored) {
            EXPECT_STREQ(p.szPort, c.stored);
        }
    }
    QIRA_DECLARE(p);
    EXPECT_FALSE(QIRA_Open(&p, longName.c_str()));
    EXPECT_EQ(strlen(p.szPort), 260u);

    QIRA_DECLARE(q);
    q.fOverlapped = 1;
    EXPECT_FALSE(QIRA_Open(&q, kPort));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_BAD_ARGUMENTS);
}

TEST(SerialOpen, MissingDeviceGivesThePlatformCodeAndKeepsTheName)
{
    QIRA_DECLARE(p);
    EXPECT_FALSE(QIRA_Open(&p, "com9"));   // no line is linked to COM9
    DWORD code = GetLastError();
    EXPECT_NE(code, 0u);
    EXPECT_NE(code, (DWORD)ERROR_BAD_ARGUMENTS);
    EXPECT_EQ(p.hCom, INVALID_HANDLE_VALUE);
    EXPECT_STREQ(p.szPort, "COM9");
}

TEST(SerialOpen, DeviceSetUpRunsInOrderWithTheFlowLimits)
{
    CallLog log;
    QIRA_DECLARE(p);
    ASSERT_TRUE(QIRA_Open(&p, kPort));
    EXPECT_EQ(log.Joined(), "CreateFileA(\\\\.\\COM5) SetupComm(16384,16384) GetCommState SetCommState "
                            "ClearCommBreak GetCommState GetCommTimeouts ClearCommError");
    ASSERT_EQ(log.setStates.size(), 1u);
    const DCB &d = log.setStates[0];
    EXPECT_EQ(d.XonLim, 8192);
    EXPECT_EQ(d.XoffLim, 12288);
    EXPECT_EQ(d.fBinary, 1u);
    EXPECT_EQ(d.fOutX | d.fInX | d.fNull | d.fErrorChar | d.fAbortOnError, 0u);
    EXPECT_EQ(d.fOutxCtsFlow | d.fOutxDsrFlow | d.fDsrSensitivity, 0u);
    QIRA_Close(&p);
}

// Ports from COM10 on open only as \\.\COMn; that name goes to the device
// open alone.
TEST(SerialOpen, HighPortsOpenInTheDeviceNamespaceUnderTheirPlainName)
{
    CallLog log;
    QIRA_DECLARE(p);
    ASSERT_TRUE(QIRA_Open(&p, "com12:")) << GetLastError();
    EXPECT_STREQ(p.szPort, "COM12");
    ASSERT_GE(log.calls.size(), 1u);
    EXPECT_EQ(log.calls[0], "CreateFileA(\\\\.\\COM12)");
    HANDLE owner = OpenMutexA(SYNCHRONIZE, FALSE, "QIRA__Owner_COM12");
    EXPECT_NE(owner, nullptr) << "the owner is named after the plain name";
    if (owner)
        CloseHandle(owner);
    Peer peer(kHighPeer);
    EXPECT_TRUE(QIRA_Write(&p, "hi", 2)) << GetLastError();
    EXPECT_EQ(peer.Drain(), "hi");
    QIRA_Close(&p);

    EXPECT_TRUE(QIRA_PortExists("COM23:"));
    EXPECT_FALSE(QIRA_PortExists("COM13:")) << "no device behind it";
    EXPECT_FALSE(QIRA_Open(&p, "COM13"));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_BAD_ARGUMENTS);
}

static BOOL WINAPI FailSetupComm(HANDLE, DWORD, DWORD)
{
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

TEST(SerialOpen, FailureAfterTheDeviceOpenedResetsTheObject)
{
    CallLog log;
    QIRA__Sys.SetupComm = FailSetupComm;
    QIRA_DECLARE(p);
    EXPECT_FALSE(QIRA_Open(&p, kPort));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    EXPECT_EQ(p.hCom, INVALID_HANDLE_VALUE);
    EXPECT_STREQ(p.szPort, "");
    EXPECT_EQ(p.pszLib, QIRA__szLib);
}

static void ExpectMatchesDriver(const QIRA_PORT &p)
{
    DCB d;
    memset(&d, 0, sizeof(d));
    d.DCBlength = sizeof(d);
    ASSERT_TRUE(GetCommState(p.hCom, &d));
    EXPECT_EQ(p.dwBaudRate, d.BaudRate);
    EXPECT_EQ(p.bByteSize, d.ByteSize);
    EXPECT_EQ(p.bStopBits, d.StopBits);
    EXPECT_EQ(p.bParity, d.Parity);
    EXPECT_EQ(p.wHandshake, (d.fOutxCtsFlow ? 1 : 0) | (d.fOutxDsrFlow ? 2 : 0));
    EXPECT_EQ(p.fDsrSensitivity, d.fDsrSensitivity);
    EXPECT_EQ(p.fAbortOnError, d.fAbortOnError);
    COMMTIMEOUTS t;
    ASSERT_TRUE(GetCommTimeouts(p.hCom, &t));
    EXPECT_EQ(0, memcmp(&t, &p.Timeouts, sizeof(t)));
}

TEST(SerialConfigure, SettingsAreWrittenAndReadBackAsTheDriverTookThem)
{
    QIRA_DECLARE(p);
    ASSERT_TRUE(QIRA_Open(&p, kPort));
    CallLog log;
    p.dwBaudRate = 9600;
    p.bByteSize = 7;
    p.bStopBits = 2;
    p.bParity = 2;
    p.wHandshake = QIRA_HS_CTS;
    p.Timeouts = {0, 3, 250, 0, 0};
    EXPECT_TRUE(QIRA_Configure(&p)) << GetLastError();
    ASSERT_EQ(log.setStates.size(), 1u) << log.Joined();
    const DCB &sent = log.setStates[0];
    EXPECT_EQ(sent.BaudRate, 9600u);
    EXPECT_EQ(sent.ByteSize, 7);
    EXPECT_EQ(sent.StopBits, 2);
    EXPECT_EQ(sent.Parity, 2);
    EXPECT_EQ(sent.fParity, 1u);
    EXPECT_EQ(sent.fOutxCtsFlow, 1u);
    EXPECT_EQ(sent.fOutxDsrFlow, 0u);
    ExpectMatchesDriver(p);
    EXPECT_EQ(p.Timeouts.ReadTotalTimeoutConstant, 250u);

    // Parity off again switches the parity check off.
    log.setStates.clear();
    p.bParity = 0;
    p.bByteSize = 8;
    p.bStopBits = 0;
    EXPECT_TRUE(QIRA_Configure(&p));
    ASSERT_EQ(log.setStates.size(), 1u);
    EXPECT_EQ(log.setStates[0].Parity, 0);
    EXPECT_EQ(log.setStates[0].fParity, 0u);
    ExpectMatchesDriver(p);
    QIRA_Close(&p);
}

TEST(SerialConfigure, EqualSettingsStillWriteTheTimeouts)
{
    QIRA_DECLARE(p);
    OpenConfigured(&p);
    CallLog log;
    p.Timeouts.ReadTotalTimeoutConstant = 40;
    EXPECT_TRUE(QIRA_Configure(&p));
    EXPECT_EQ(log.Count("SetCommState"), 0) << log.Joined();
    EXPECT_EQ(log.Count("SetCommTimeouts"), 1);
    ExpectMatchesDriver(p);
    EXPECT_EQ(p.Timeouts.ReadTotalTimeoutConstant, 40u);
    // Line control bits mirror the driver, the break bits stay as recorded.
    DCB d;
    d.DCBlength = sizeof(d);
    GetCommState(p.hCom, &d);
    WORD rts = d.fRtsControl == RTS_CONTROL_ENABLE ? 1 : d.fRtsControl == RTS_CONTROL_HANDSHAKE ? 3 : 2;
    WORD dtr = d.fDtrControl == DTR_CONTROL_ENABLE ? 4 : d.fDtrControl == DTR_CONTROL_HANDSHAKE ? 12 : 8;
    p.wLines |= QIRA_BREAK_OFF;
    EXPECT_TRUE(QIRA_Configure(&p));
    EXPECT_EQ(p.wLines, rts | dtr | QIRA_BREAK_OFF);
    QIRA_Close(&p);
}

static BOOL WINAPI RefuseState(HANDLE, LPDCB)
{
    gLog->calls.push_back("SetCommState");
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}

TEST(SerialConfigure, RejectedSettingGivesItsCodeButTheTimeoutsAreStillWritten)
{
    QIRA_DECLARE(p);
    OpenConfigured(&p);
    CallLog log;
    QIRA__Sys.SetCommState = RefuseState;   // Wine on a pty takes any rate
    p.dwBaudRate = 12345;
    p.Timeouts.ReadTotalTimeoutConstant = 77;
    SetLastError(0);
    bool ok = QIRA_Configure(&p);
    DWORD code = GetLastError();
    EXPECT_FALSE(ok);
    EXPECT_EQ(code, (DWORD)ERROR_INVALID_PARAMETER);
    EXPECT_EQ(log.Joined(), "GetCommState GetCommTimeouts SetCommState SetCommTimeouts "
                            "GetCommState GetCommTimeouts ClearCommError");
    EXPECT_EQ(p.dwBaudRate, 38400u);   // what the driver kept
    ExpectMatchesDriver(p);
    EXPECT_EQ(p.Timeouts.ReadTotalTimeoutConstant, 77u);
    EXPECT_NE(p.hCom, INVALID_HANDLE_VALUE);
    QIRA_Close(&p);
}

TEST(SerialConfigure, CloseClearsEverythingAndReopenStartsFromTheDriver)
{
    QIRA_DECLARE(p);
    OpenConfigured(&p);
    p.fEcho = 1;
    ASSERT_TRUE(QIRA_Close(&p));
    QIRA_DECLARE(fresh);
    // Field by field: the object has padding, which a copy need not keep.
    EXPECT_TRUE(p.hCom == fresh.hCom && !memcmp(p.szPort, fresh.szPort, sizeof(p.szPort)) &&
                p.pszLib == fresh.pszLib && p.dwBaudRate == fresh.dwBaudRate && p.bByteSize == fresh.bByteSize &&
                p.bStopBits == fresh.bStopBits && p.bParity == fresh.bParity &&
                !memcmp(&p.Timeouts, &fresh.Timeouts, sizeof(p.Timeouts)) && p.wLines == fresh.wLines &&
                p.wHandshake == fresh.wHandshake && p.wErrors == fresh.wErrors &&
                p.fDsrSensitivity == fresh.fDsrSensitivity && p.fAbortOnError == fresh.fAbortOnError &&
                p.fEcho == fresh.fEcho && p.fOverlapped == fresh.fOverlapped && p.hOwner == fresh.hOwner &&
                p.fReadsAborted == fresh.fReadsAborted);
    ASSERT_TRUE(QIRA_Open(&p, kPort));
    ExpectMatchesDriver(p);
    EXPECT_EQ(p.fEcho, 0);
    QIRA_Close(&p);
}

TEST(SerialConfigure, SetBuffersDefaultsToFullQueues)
{
    QIRA_DECLARE(p);
    OpenConfigured(&p);
    CallLog log;
    EXPECT_TRUE(QIRA_SetBuffers(&p, 0, 0));
    EXPECT_EQ(log.Joined(), "SetupComm(16384,16384) GetCommState SetCommState");
    ASSERT_EQ(log.setStates.size(), 1u);
    EXPECT_EQ(log.setStates[0].XonLim, 8192);
    EXPECT_EQ(log.setStates[0].XoffLim, 12288);
    log.calls.clear();
    log.setStates.clear();
    EXPECT_TRUE(QIRA_SetBuffers(&p, 1, 4096));
    EXPECT_EQ(log.calls[0], "SetupComm(1,4096)");
    EXPECT_EQ(log.setStates[0].XonLim, 1);   // never below 1
    EXPECT_EQ(log.setStates[0].XoffLim, 1);
    QIRA_Close(&p);
}

TEST(SerialConfigure, CharTime)
{
    QIRA_DECLARE(p);
    p.bByteSize = 8;
    p.dwBaudRate = 9600;
    EXPECT_NEAR(QIRA_CharTime(&p), 1.0417, 1e-4);
    p.bStopBits = 1;
    EXPECT_NEAR(QIRA_CharTime(&p), 1.09375, 1e-9);
    p.bStopBits = 2;
    EXPECT_NEAR(QIRA_CharTime(&p), 11000.0 / 9600, 1e-9);
    p.dwBaudRate = 0;
    EXPECT_EQ(QIRA_CharTime(&p), -1.0);
}

// Holds the lock of a port name from another thread for holdMs.
static std::thread HoldLock(QIRA_PORT *p, DWORD holdMs, std::atomic<bool> &held)
{
    return std::thread([p, holdMs, &held] {
        HANDLE lock = QIRA__Lock(p);
        held = true;
        Sleep(holdMs);
        QIRA__Unlock(lock);
    });
}

TEST(SerialLock, CallsOnOnePortAreServedOneAfterTheOther)
{
    QIRA_DECLARE(p);
    OpenConfigured(&p);
    std::atomic<bool> held{false};
    std::thread holder = HoldLock(&p, 400, held);
    while (!held)
        Sleep(1);
    DWORD t0 = Now();
    EXPECT_GE(QIRA_RxCount(&p), 0);
    DWORD waited = Now() - t0;
    holder.join();
    EXPECT_GE(waited, 300u);

    // Another port name has its own lock.
    QIRA_DECLARE(q);
    QIRA__SetName(&q, kPort2);
    held = false;
    holder = HoldLock(&p, 400, held);
    while (!held)
        Sleep(1);
    t0 = Now();
    QIRA_Close(&q);
    EXPECT_LT(Now() - t0, 200u);
    holder.join();
    QIRA_Close(&p);
}

TEST(SerialLock, NestedCallsDoNotBlock)
{
    QIRA_DECLARE(p);
    OpenConfigured(&p);
    HANDLE outer = QIRA__Lock(&p);
    DWORD t0 = Now();
    EXPECT_TRUE(QIRA_Configure(&p));   // reads back through QIRA_GetState under the same lock
    EXPECT_TRUE(QIRA_Write(&p, "z", 1));   // QIRA_SetLines inside
    EXPECT_LT(Now() - t0, 1000u);
    QIRA__Unlock(outer);
    Peer peer(kPeer);
    QIRA_Close(&p);
}

// Runs this test program as a child with one mode and a port name; returns
// its exit code.
static DWORD RunChild(const char *mode, const char *name)
{
    char exe[MAX_PATH];
    GetModuleFileNameA(NULL, exe, sizeof(exe));
    std::string cmd = std::string("\"") + exe + "\" " + mode + " " + name;
    STARTUPINFOA si;
    memset(&si, 0, sizeof(si));
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi;
    if (!CreateProcessA(NULL, &cmd[0], NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi))
        return (DWORD)-1;
    WaitForSingleObject(pi.hProcess, 20000);
    DWORD rc = (DWORD)-1;
    GetExitCodeProcess(pi.hProcess, &rc);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    return rc;
}

static DWORD RunLockChild(const char *name, DWORD holdMs, QIRA_PORT *holder)
{
    char exe[MAX_PATH];
    GetModuleFileNameA(NULL, exe, sizeof(exe));
    std::string cmd = std::string("\"") + exe + "\" --lock-child " + name;
    STARTUPINFOA si;
    memset(&si, 0, sizeof(si));
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi;
    HANDLE lock = holder ? QIRA__Lock(holder) : NULL;
    EXPECT_TRUE(CreateProcessA(NULL, &cmd[0], NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi));
    Sleep(holdMs);
    QIRA__Unlock(lock);
    WaitForSingleObject(pi.hProcess, 20000);
    DWORD rc = 0;
    GetExitCodeProcess(pi.hProcess, &rc);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    return rc * 10;
}

TEST(SerialLock, ASecondProcessOnTheSamePortNameWaitsToo)
{
    QIRA_DECLARE(p);
    OpenConfigured(&p);
    // The child can only have waited for as long as it ran while we held the
    // lock; a process start under Wine takes well under the hold time.
    DWORD waited = RunLockChild(kPort, 1500, &p);
    EXPECT_GE(waited, 500u);
    DWORD free = RunLockChild(kPort, 0, nullptr);
    EXPECT_LT(free, 200u);
    QIRA_Close(&p);
}

TEST(SerialOpen, APortInUseIsRefusedToOtherObjectsAndProcesses)
{
    QIRA_DECLARE(p);
    OpenConfigured(&p);
    Peer peer(kPeer);
    QIRA_DECLARE(q);
    EXPECT_FALSE(QIRA_Open(&q, "com5:"));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    EXPECT_EQ(q.hCom, INVALID_HANDLE_VALUE);
    EXPECT_EQ(RunChild("--open-child", kPort), (DWORD)ERROR_ACCESS_DENIED);
    EXPECT_TRUE(QIRA_Write(&p, "z", 1)) << "the owner is not disturbed";
    EXPECT_EQ(peer.Drain(), "z");
    QIRA_Close(&p);
    EXPECT_EQ(RunChild("--open-child", kPort), 0u) << "free again once closed";
    EXPECT_TRUE(QIRA_Open(&q, kPort));
    QIRA_Close(&q);
}
