// Port enumeration, line control and the status queries.
#include "serial_fixture.h"

#include <string.h>

static std::vector<std::string> SplitList(const char *p)
{
    std::vector<std::string> names;
    for (; *p; p += strlen(p) + 1)
        names.push_back(p);
    return names;
}

TEST(SerialEnum, ListsTheRegisteredSerialPortsOnly)
{
    DWORD needed = 0;
    EXPECT_FALSE(QIRA_EnumPorts(nullptr, 0, &needed));
    ASSERT_GE(needed, 1u);
    EXPECT_FALSE(QIRA_EnumPorts(nullptr, 0, nullptr));

    std::vector<char> small(needed - 1, 'x');
    EXPECT_FALSE(QIRA_EnumPorts(small.data(), needed - 1, &needed));

    std::vector<char> buf(needed, 'x');
    ASSERT_TRUE(QIRA_EnumPorts(buf.data(), needed, &needed));
    auto names = SplitList(buf.data());
    auto has = [&](const char *n) { return std::find(names.begin(), names.end(), n) != names.end(); };
    EXPECT_TRUE(has("COM5:"));
    EXPECT_TRUE(has("COM7:"));
    EXPECT_FALSE(has("FILE:"));
    EXPECT_FALSE(has("LPT1:"));
    for (const auto &n : names)
        EXPECT_TRUE(QIRA_PortExists(n.c_str())) << n;
}

static BOOL WINAPI NoPorts(LPSTR, DWORD, LPBYTE, DWORD, LPDWORD needed, LPDWORD returned)
{
    *needed = 0;
    *returned = 0;
    return TRUE;
}

static BOOL WINAPI SpoolerDown(LPSTR, DWORD, LPBYTE, DWORD, LPDWORD needed, LPDWORD)
{
    *needed = 12345;
    SetLastError(RPC_S_SERVER_UNAVAILABLE);
    return FALSE;
}

static LONG WINAPI NoDeviceMap(HKEY, LPCSTR, DWORD, REGSAM, PHKEY)
{
    return ERROR_FILE_NOT_FOUND;
}

TEST(SerialEnum, EmptyListAndFailingCount)
{
    CallLog log;
    QIRA__Sys.RegOpenKeyExA = NoDeviceMap;
    QIRA__Sys.EnumPortsA = NoPorts;
    DWORD needed = 0;
    EXPECT_FALSE(QIRA_EnumPorts(nullptr, 0, &needed));
    EXPECT_EQ(needed, 1u);
    char one = 'x';
    EXPECT_TRUE(QIRA_EnumPorts(&one, 1, &needed));
    EXPECT_EQ(one, 0);

    QIRA__Sys.EnumPortsA = SpoolerDown;
    needed = 99;
    EXPECT_FALSE(QIRA_EnumPorts(nullptr, 0, &needed));
    EXPECT_EQ(needed, 0u);
}

struct SerialLines : testing::Test {
    QIRA_DECLARE(port);
    void SetUp() override { OpenConfigured(&port); }
    void TearDown() override { QIRA_Close(&port); }
};

TEST_F(SerialLines, WritesEndABreakOnlyWhenNotRecordedAsEnded)
{
    Peer peer(kPeer);
    EXPECT_EQ(port.wLines & 0x30, 0);
    CallLog log;
    EXPECT_TRUE(QIRA_Write(&port, "a", 1));
    EXPECT_EQ(log.Count("ClearCommBreak"), 1);
    EXPECT_EQ(port.wLines & 0x30, QIRA_BREAK_OFF);
    EXPECT_TRUE(QIRA_Write(&port, "b", 1));
    EXPECT_EQ(log.Count("ClearCommBreak"), 1);
    EXPECT_EQ(peer.Drain(), "ab");

    EXPECT_TRUE(QIRA_SetLines(&port, QIRA_BREAK_ON));
    EXPECT_EQ(log.Count("SetCommBreak"), 1);
    EXPECT_EQ(port.wLines & 0x30, QIRA_BREAK_ON);
    EXPECT_TRUE(QIRA_SetLines(&port, QIRA_BREAK_ON));
    EXPECT_EQ(log.Count("SetCommBreak"), 1);
    // A request without break bits keeps the line as it is and forgets the record.
    EXPECT_TRUE(QIRA_SetLines(&port, 0));
    EXPECT_EQ(log.Count("SetCommBreak"), 2);
    EXPECT_EQ(port.wLines & 0x30, 0);
    EXPECT_TRUE(QIRA_SetLines(&port, QIRA_BREAK_OFF));
    EXPECT_TRUE(QIRA_SetLines(&port, QIRA_BREAK_OFF));
    EXPECT_EQ(log.Count("ClearCommBreak"), 2);
    EXPECT_TRUE(QIRA_SetLines(&port, 0));
    EXPECT_EQ(log.Count("ClearCommBreak"), 3);
}

// The test lines are ptys: they have no modem lines, so the platform refuses
// the escapes and the modem status with ERROR_NOT_SUPPORTED.
TEST_F(SerialLines, DirectlyControlledLinesUseEscapesAndReportThePlatformsRefusal)
{
    CallLog log;
    WORD before = port.wLines;
    SetLastError(0);
    EXPECT_FALSE(QIRA_SetLines(&port, QIRA_RTS_OFF | QIRA_BREAK_OFF));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NOT_SUPPORTED);
    EXPECT_EQ(log.Joined(), "GetCommState EscapeCommFunction(4)");   // CLRRTS; the break step never ran
    EXPECT_EQ(port.wLines, before);
}

static BOOL WINAPI HandshakeState(HANDLE h, LPDCB d)
{
    gLog->calls.push_back("GetCommState");
    BOOL ok = QIRA__SysReal.GetCommState(h, d);
    d->fRtsControl = RTS_CONTROL_HANDSHAKE;
    d->fDtrControl = DTR_CONTROL_HANDSHAKE;
    return ok;
}

static BOOL WINAPI AcceptState(HANDLE, LPDCB d)
{
    gLog->calls.push_back("SetCommState");
    gLog->setStates.push_back(*d);
    return TRUE;
}

TEST_F(SerialLines, HandshakeLinesAreSwitchedThroughTheSettingsRecord)
{
    CallLog log;
    QIRA__Sys.GetCommState = HandshakeState;
    QIRA__Sys.SetCommState = AcceptState;
    EXPECT_TRUE(QIRA_SetLines(&port, QIRA_RTS_ON | QIRA_DTR_OFF)) << GetLastError();
    EXPECT_EQ(log.Joined(), "GetCommState SetCommState");
    ASSERT_EQ(log.setStates.size(), 1u);
    EXPECT_EQ(log.setStates[0].fRtsControl, (DWORD)RTS_CONTROL_ENABLE);
    EXPECT_EQ(log.setStates[0].fDtrControl, (DWORD)DTR_CONTROL_DISABLE);
    EXPECT_EQ(port.wLines & 0xF, QIRA_RTS_ON | QIRA_DTR_OFF);

    // Asking for handshake where it already runs changes nothing.
    log.calls.clear();
    EXPECT_TRUE(QIRA_SetLines(&port, QIRA_RTS_HANDSHAKE | QIRA_DTR_HANDSHAKE));
    EXPECT_EQ(log.Joined(), "GetCommState");
    EXPECT_EQ(port.wLines & 0xF, QIRA_RTS_HANDSHAKE | QIRA_DTR_HANDSHAKE);
}

static BOOL WINAPI LineErrorsOnce(HANDLE h, LPDWORD errors, LPCOMSTAT cs)
{
    static int calls = 0;
    BOOL ok = QIRA__SysReal.ClearCommError(h, errors, cs);
    if (calls++ == 0)
        *errors = CE_FRAME | CE_TXFULL | CE_MODE | CE_BREAK;
    return ok;
}

TEST_F(SerialLines, LineErrorsAccumulateUntilReadWithReset)
{
    CallLog log;
    QIRA__Sys.ClearCommError = LineErrorsOnce;
    const WORD expected = QIRA_LE_FRAME | QIRA_LE_TXFULL | QIRA_LE_MODE | QIRA_LE_BREAK;
    EXPECT_EQ(QIRA_RxCount(&port), 0);   // the query that sees the errors
    EXPECT_EQ(QIRA_GetErrors(&port, 0), expected);
    EXPECT_TRUE(QIRA_IsOk(&port));       // IsOk tells whether the query worked
    EXPECT_EQ(QIRA_GetErrors(&port, 1), expected);
    EXPECT_EQ(QIRA_GetErrors(&port, 1), 0);
    EXPECT_EQ(QIRA_GetHoldStatus(&port), 0);   // nothing holds a pty back
}

TEST_F(SerialLines, ModemStatusFailureLeavesThePlatformsCode)
{
    SetLastError(0);
    EXPECT_EQ(QIRA_GetModemStatus(&port), QIRA_STATUS_FAILED);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NOT_SUPPORTED);
}
