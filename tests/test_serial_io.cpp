// Reading, writing, the echo check, quiet-line waiting and purging, with the
// far end of the line driven by the test.
#include "serial_fixture.h"

#include <string.h>

struct SerialIo : testing::Test {
    QIRA_DECLARE(port);
    Peer *peer = nullptr;
    void SetUp() override
    {
        OpenConfigured(&port);
        peer = new Peer(kPeer);
        QIRA_Purge(&port);
    }
    void TearDown() override
    {
        QIRA_Close(&port);
        delete peer;
    }
};

TEST_F(SerialIo, ShortReadEndsAfterTheTimeoutWithReadFault)
{
    peer->Send("abcd");
    BYTE buf[10];
    WORD count = 99;
    DWORD t0 = Now();
    EXPECT_FALSE(QIRA_Read(&port, buf, 10, &count));
    DWORD took = Now() - t0;
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_READ_FAULT);
    EXPECT_EQ(count, 4);
    EXPECT_EQ(0, memcmp(buf, "abcd", 4));
    EXPECT_GE(took, 400u);
    EXPECT_LT(took, 1500u);

    peer->Send("0123456789");
    EXPECT_TRUE(QIRA_Read(&port, buf, 10, &count));
    EXPECT_EQ(GetLastError(), 0u);
    EXPECT_EQ(count, 10);
}

// A previous user of the port left software flow control and null
// stripping on: binary records still arrive whole.
TEST(SerialInherited, FlowControlBytesAndZerosArrive)
{
    HANDLE h = CreateFileA(kPort, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DCB dcb = {};
    dcb.DCBlength = sizeof(dcb);
    ASSERT_TRUE(GetCommState(h, &dcb));
    dcb.fOutX = dcb.fInX = dcb.fNull = 1;
    ASSERT_TRUE(SetCommState(h, &dcb));
    CloseHandle(h);

    QIRA_DECLARE(port);
    OpenConfigured(&port);
    Peer peer(kPeer);
    peer.Send(std::string("\x11\x13\x00\x41\x11", 5));
    BYTE buf[5] = {};
    WORD count = 0;
    EXPECT_TRUE(QIRA_Read(&port, buf, 5, &count)) << GetLastError();
    EXPECT_EQ(std::string((char *)buf, count), std::string("\x11\x13\x00\x41\x11", 5));
    QIRA_Close(&port);
}

TEST_F(SerialIo, ReadOfNothingNeverCallsTheDriver)
{
    CallLog log;
    BYTE buf[1];
    WORD count = 5;
    EXPECT_TRUE(QIRA_Read(&port, buf, 0, &count));
    EXPECT_EQ(count, 0);
    EXPECT_EQ(log.Count("ReadFile"), 0);
    EXPECT_FALSE(QIRA_Read(&port, nullptr, 1, &count));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_BAD_ARGUMENTS);
    EXPECT_EQ(log.Count("ReadFile"), 0);
}

TEST_F(SerialIo, ReadByteUsesItsOwnTimeoutAndRestoresThePorts)
{
    BYTE b = 0;
    DWORD t0 = Now();
    EXPECT_FALSE(QIRA_ReadByte(&port, &b, 40));
    DWORD took = Now() - t0;
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_READ_FAULT);
    EXPECT_GE(took, 30u);
    EXPECT_LT(took, 300u);
    COMMTIMEOUTS t;
    ASSERT_TRUE(GetCommTimeouts(port.hCom, &t));
    EXPECT_EQ(t.ReadTotalTimeoutConstant, 500u);
    EXPECT_EQ(port.Timeouts.ReadTotalTimeoutConstant, 500u);

    peer->Send("Q");
    EXPECT_TRUE(QIRA_ReadByte(&port, &b, 200));
    EXPECT_EQ(b, 'Q');
    peer->Send("R");
    EXPECT_TRUE(QIRA_ReadByte(&port, nullptr, 200));   // byte dropped
    EXPECT_EQ(QIRA_RxCount(&port), 0);
}

// What waits is read in one driver read, up to the length, and the rest
// stays queued; with nothing waiting, one byte's wait under the port's
// time-outs, and what came with that byte is taken too.
TEST_F(SerialIo, ReadQueuedTakesWhatWaitsElseWaitsForOneByte)
{
    peer->Send("abcdef");
    Sleep(100);
    BYTE buf[16];
    WORD count = 99;
    CallLog log;
    EXPECT_TRUE(QIRA_ReadQueued(&port, buf, 4, &count));
    EXPECT_EQ(std::string((char *)buf, count), "abcd");
    EXPECT_EQ(log.readLengths, (std::vector<DWORD>{4}));
    EXPECT_EQ(QIRA_RxCount(&port), 2);

    DWORD t0 = Now();
    EXPECT_TRUE(QIRA_ReadQueued(&port, buf, 16, &count));
    EXPECT_EQ(std::string((char *)buf, count), "ef");
    EXPECT_FALSE(QIRA_ReadQueued(&port, buf, 16, &count));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_READ_FAULT);
    EXPECT_EQ(count, 0);
    EXPECT_GE(Now() - t0, 400u);

    Runner late([this](std::atomic<bool> &) {
        Sleep(100);
        peer->Send("xyz");
    });
    EXPECT_TRUE(QIRA_ReadQueued(&port, buf, 16, &count));
    ASSERT_GE(count, 1);
    EXPECT_EQ(std::string((char *)buf, count), std::string("xyz").substr(0, count));

    // A shorter wait for a caller that has waited elsewhere; the port's own
    // time-outs are back after it.
    QIRA_Purge(&port);
    t0 = Now();
    EXPECT_FALSE(QIRA_ReadQueued(&port, buf, 16, &count, 100));
    EXPECT_LT(Now() - t0, 400u);
    COMMTIMEOUTS t;
    ASSERT_TRUE(GetCommTimeouts(port.hCom, &t));
    EXPECT_EQ(t.ReadTotalTimeoutConstant, 500u);
}

TEST_F(SerialIo, WriteOfTextLengthSendsUpToTheTerminator)
{
    EXPECT_TRUE(QIRA_Write(&port, "~s 0 1 100 0 0\n", QIRA_TEXT_LENGTH)) << GetLastError();
    EXPECT_EQ(peer->Drain(), "~s 0 1 100 0 0\n");
    CallLog log;
    EXPECT_TRUE(QIRA_Write(&port, "", 0));
    EXPECT_EQ(log.Count("WriteFile"), 0);
    EXPECT_FALSE(QIRA_Write(&port, nullptr, 3));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_BAD_ARGUMENTS);
    EXPECT_EQ(peer->Drain(), "");
}

// Sends back what arrives at the peer, optionally with one byte changed.
static Runner *EchoBack(Peer *peer, int corruptAt)
{
    return new Runner([peer, corruptAt](std::atomic<bool> &stop) {
        int seen = 0;
        while (!stop) {
            char buf[64];
            DWORD got = 0;
            ReadFile(peer->h, buf, sizeof(buf), &got, NULL);
            for (DWORD i = 0; i < got; i++, seen++)
                if (seen == corruptAt)
                    buf[i] ^= 0x40;
            if (got)
                peer->Send(buf, got);
        }
    });
}

TEST_F(SerialIo, EchoCheckComparesInChunksOfAHundred)
{
    port.fEcho = 1;
    std::string data(250, 0);
    for (int i = 0; i < 250; i++)
        data[i] = (char)(i * 7);
    CallLog log;
    Runner *echo = EchoBack(peer, -1);
    EXPECT_TRUE(QIRA_Write(&port, data.data(), 250)) << std::hex << GetLastError();
    delete echo;
    EXPECT_EQ(log.readLengths, (std::vector<DWORD>{100, 100, 50}));
}

TEST_F(SerialIo, EchoThatDiffersFailsWithEchoError)
{
    port.fEcho = 1;
    Runner *echo = EchoBack(peer, 120);
    std::string data(150, 'e');
    EXPECT_FALSE(QIRA_Write(&port, data.data(), 150));
    EXPECT_EQ(GetLastError(), QIRA_ERR_ECHO);
    delete echo;

    // A peer that does not echo at all.
    EXPECT_FALSE(QIRA_Write(&port, "x", 1));
    EXPECT_EQ(GetLastError(), QIRA_ERR_ECHO);
}

TEST_F(SerialIo, EchoModeRefusesToWriteWhileInputWaits)
{
    port.fEcho = 1;
    peer->Send("!!");
    Sleep(100);
    CallLog log;
    EXPECT_FALSE(QIRA_Write(&port, "data", 4));
    EXPECT_EQ(GetLastError(), QIRA_ERR_RX_NOT_EMPTY);
    EXPECT_EQ(log.Count("WriteFile"), 0);
    EXPECT_EQ(peer->Drain(), "");
    EXPECT_EQ(QIRA_RxCount(&port), 2);
}

TEST_F(SerialIo, WaitQuietOnChatteringAndOnSilentLines)
{
    DWORD t0 = Now();
    EXPECT_TRUE(QIRA_WaitQuiet(&port, 1000, 60));
    DWORD took = Now() - t0;
    EXPECT_GE(took, 50u);
    EXPECT_LT(took, 400u);

    Runner *chatter = new Runner([this](std::atomic<bool> &stop) {
        while (!stop) {
            peer->Send("c");
            Sleep(10);
        }
    });
    t0 = Now();
    EXPECT_FALSE(QIRA_WaitQuiet(&port, 300, 60));
    took = Now() - t0;
    delete chatter;
    EXPECT_GE(took, 300u);
    EXPECT_LT(took, 800u);
}

TEST_F(SerialIo, PurgeDropsWaitingInputAndQueueCountsAreReported)
{
    peer->Send("1234567");
    Sleep(100);
    EXPECT_EQ(QIRA_RxCount(&port), 7);
    EXPECT_EQ(QIRA_TxCount(&port), 0);
    CallLog log;
    EXPECT_TRUE(QIRA_Purge(&port));
    EXPECT_TRUE(QIRA_PurgeTx(&port));
    EXPECT_EQ(log.Joined(), "PurgeComm(10) PurgeComm(5)");
    EXPECT_EQ(QIRA_RxCount(&port), 0);
    BYTE b;
    EXPECT_FALSE(QIRA_ReadByte(&port, &b, 50));
}

TEST_F(SerialIo, AbortFromAnotherThreadEndsReadingUntilTheClose)
{
    BYTE b = 0;
    std::thread aborter([this] {
        Sleep(100);
        EXPECT_TRUE(QIRA_Abort(&port));   // the reader holds the port's lock meanwhile
    });
    DWORD t0 = Now();
    EXPECT_FALSE(QIRA_Read(&port, &b, 1, NULL));
    DWORD took = Now() - t0, code = GetLastError();
    aborter.join();
    EXPECT_EQ(code, (DWORD)ERROR_OPERATION_ABORTED);
    EXPECT_LT(took, 1000u) << "at the latest at its time-out";

    peer->Send("x");
    Sleep(50);
    t0 = Now();
    EXPECT_FALSE(QIRA_ReadByte(&port, &b, 500)) << "a waiting byte is not read either";
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_OPERATION_ABORTED);
    EXPECT_LT(Now() - t0, 100u);
    EXPECT_TRUE(QIRA_Write(&port, "q", 1)) << "the owner can still end its dialogue";
    EXPECT_EQ(peer->Drain(), "q");

    QIRA_Close(&port);
    EXPECT_FALSE(QIRA_Abort(&port));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    OpenConfigured(&port);
    QIRA_Purge(&port);
    peer->Send("y");
    EXPECT_TRUE(QIRA_Read(&port, &b, 1, NULL)) << "a new open reads again";
    EXPECT_EQ(b, 'y');
}
