// Decoder, records and protocol against the scripted fake port: the exact
// bytes the link sends and how it reads the answers, without real waiting.
#include "fake_port.h"
#include "link.h"
#include "sim_valuetypes.h"

#include <gtest/gtest.h>

#include <mmsystem.h>
#include <string.h>

#include <iterator>

static std::vector<int> Seq(int count, int start, int stride = 1)
{
    std::vector<int> v;
    for (int i = 0; i < count; i++)
        v.push_back((start + i * stride) & 0xFF);
    return v;
}

struct Decode {
    std::vector<std::pair<int, int>> results;   // code, byte
};

static Decode DecodeAll(const std::string &text, int calls)
{
    gFake.Reset();
    Link_RxDrop();
    gFake.Queue(text);
    QIRA_DECLARE(port);
    BYTE acc = 0;
    Decode d;
    for (int i = 0; i < calls; i++) {
        BYTE out = 0xEE;
        int code = B64_GetByte(&port, acc, out);
        d.results.push_back({code, code == B64_BYTE ? out : -1});
    }
    return d;
}

using R = std::vector<std::pair<int, int>>;

TEST(B64, CharValues)
{
    const char *alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (int i = 0; i < 64; i++)
        EXPECT_EQ(B64_CharValue(alphabet[i]), i) << alphabet[i];
    for (char c : std::string(" =-_\r\n\0@[`{", 11))
        EXPECT_EQ(B64_CharValue(c), -1) << (int)c;
    EXPECT_EQ(B64_CharValue((char)0xC4), -1);
}

TEST(B64, WorkedExamples)
{
    EXPECT_EQ(DecodeAll("DMgH\n", 4).results, (R{{B64_BYTE, 12}, {B64_BYTE, 200}, {B64_BYTE, 7}, {B64_END, -1}}));
    EXPECT_EQ(DecodeAll("DMg=\n", 4).results, (R{{B64_BYTE, 12}, {B64_BYTE, 200}, {B64_PAD, -1}, {B64_END, -1}}));
    EXPECT_EQ(DecodeAll("DA==\n", 4).results, (R{{B64_BYTE, 12}, {B64_PAD, -1}, {B64_PAD, -1}, {B64_END, -1}}));
    // CR anywhere is skipped, also before the LF.
    EXPECT_EQ(DecodeAll("D\rM\rg\rH\r\n", 4).results, (R{{B64_BYTE, 12}, {B64_BYTE, 200}, {B64_BYTE, 7}, {B64_END, -1}}));
    EXPECT_EQ(DecodeAll("\r\rDMgH\r\r\r\n", 4).results, (R{{B64_BYTE, 12}, {B64_BYTE, 200}, {B64_BYTE, 7}, {B64_END, -1}}));
}

TEST(B64, LineFeedInsideAGroupIsAFormatError)
{
    EXPECT_EQ(DecodeAll("D\n", 1).results, (R{{B64_FORMAT, -1}}));
    EXPECT_EQ(DecodeAll("DM\nDMgH", 5).results, (R{{B64_BYTE, 12}, {B64_FORMAT, -1}, {B64_BYTE, 12}, {B64_BYTE, 200}, {B64_BYTE, 7}}));
    EXPECT_EQ(DecodeAll("DMg\n", 3).results, (R{{B64_BYTE, 12}, {B64_BYTE, 200}, {B64_FORMAT, -1}}));
}

TEST(B64, PadIsAcceptedOnlyWithoutPendingBits)
{
    // After the second character: "A" leaves no bits over, "B" does.
    EXPECT_EQ(DecodeAll("DA=", 2).results, (R{{B64_BYTE, 12}, {B64_PAD, -1}}));
    EXPECT_EQ(DecodeAll("DB=", 2).results, (R{{B64_BYTE, 12}, {B64_FORMAT, -1}}));
    // After the third character: "g" (32) has its low two bits clear, "h" (33) not.
    EXPECT_EQ(DecodeAll("DMg=", 3).results, (R{{B64_BYTE, 12}, {B64_BYTE, 200}, {B64_PAD, -1}}));
    EXPECT_EQ(DecodeAll("DMh=", 3).results, (R{{B64_BYTE, 12}, {B64_BYTE, 200}, {B64_FORMAT, -1}}));
    // At a group boundary any number of pads is fine.
    EXPECT_EQ(DecodeAll("====\n", 5).results, (R{{B64_PAD, -1}, {B64_PAD, -1}, {B64_PAD, -1}, {B64_PAD, -1}, {B64_END, -1}}));
    // Inside the expected bytes a pad is not a byte.
    EXPECT_EQ(DecodeAll("DMgH=MgH", 4).results, (R{{B64_BYTE, 12}, {B64_BYTE, 200}, {B64_BYTE, 7}, {B64_PAD, -1}}));
}

TEST(B64, InvalidCharactersTimeoutsAndEmptyReads)
{
    auto d = DecodeAll("D M", 2);
    EXPECT_EQ(d.results, (R{{B64_FORMAT, -1}, {B64_READ_FAILED, -1}}));   // the accumulator was reset: "M" starts a group
    EXPECT_EQ(DecodeAll("DM*", 2).results, (R{{B64_BYTE, 12}, {B64_FORMAT, -1}}));
    EXPECT_EQ(DecodeAll("", 1).results, (R{{B64_READ_FAILED, -1}}));
    gFake.Reset();
    gFake.QueueBytes({-2});
    QIRA_DECLARE(port);
    BYTE acc = 0, out;
    EXPECT_EQ(B64_GetByte(&port, acc, out), B64_EMPTY);
}

struct LinkProtocol : testing::Test {
    QIRA_DECLARE(port);
    LINK_SESSION session;
    void SetUp() override
    {
        gFake.Reset();
        Link_RxDrop();   // as the purge at the start of a run does
        memset((void *)&SG_Work, 0, sizeof(SG_Work));
        SG_Work.Params = SG_PARAMS{};
        SG_Work.Params.wChangeFlags = 0;
        SG_Work.Params.ZEBproto = PROTO_OLD;
        port.hCom = (HANDLE)1;
        port.Timeouts.ReadTotalTimeoutConstant = 500;
        szCommError[0] = 0;
        memset((void *)&session.Sent, 0, sizeof(session.Sent));
        session.wCmdState = CMD_NONE;
        InterlockedExchange(&iThreadState, TS_SINGLE);
    }
    SG_PARAMS &P() { return SG_Work.Params; }
};

TEST_F(LinkProtocol, OldRequestAndResponse)
{
    P().iGain = 300;
    std::vector<int> answer = {20};
    auto values = Seq(100, 50);
    answer.insert(answer.end(), values.begin(), values.end());
    gFake.QueueBytes(answer);
    ASSERT_TRUE(Link_MeasureOld(&port, 0)) << szCommError;
    EXPECT_EQ(Hex(gFake.written), "80 00 01 00 64 01 2C 61");
    EXPECT_EQ(SG_Work.aiValue[0], 20);
    for (int b = 1; b <= 100; b++)
        EXPECT_EQ(SG_Work.aiValue[b], values[b - 1]) << b;
    // After the values the read time-out drops to 40 ms for the end-of-data check.
    EXPECT_EQ(gFake.events, (std::vector<std::string>{"configure 40", "timeout 40"}));
    EXPECT_EQ(port.Timeouts.ReadTotalTimeoutConstant, 40u);
}

TEST_F(LinkProtocol, OldExcessByteAfterTheFirstPass)
{
    std::vector<int> answer(102, 7);
    gFake.QueueBytes(answer);
    EXPECT_FALSE(Link_MeasureOld(&port, 0));
    EXPECT_STREQ(szCommError, "data excess");

    // Pass 1 makes no such check: extra bytes stay in the input.
    gFake.Reset();
    P().iDiagonal = 1;
    gFake.QueueBytes(std::vector<int>(1 + 50 + 3, 9));
    EXPECT_TRUE(Link_MeasureOld(&port, 1));
    EXPECT_EQ(gFake.input.size(), 3u);
}

TEST_F(LinkProtocol, OldDiagonalPassesOnRodPairTwo)
{
    P().iGain = 300;
    P().iDiagonal = 1;
    P().iRodno = 1;
    gFake.QueueBytes(Seq(51, 30));
    ASSERT_TRUE(Link_MeasureOld(&port, 0)) << szCommError;
    EXPECT_EQ(Hex(gFake.TakeWritten()), "80 00 01 00 32 01 2C 63");
    gFake.QueueBytes(Seq(51, 130));
    ASSERT_TRUE(Link_MeasureOld(&port, 1)) << szCommError;
    EXPECT_EQ(Hex(gFake.TakeWritten()), "80 00 01 00 32 01 2C 64");
    for (int p = 1; p <= 50; p++) {
        EXPECT_EQ(SG_Work.aiValue[2 * p - 1], 30 + p) << p;
        EXPECT_EQ(SG_Work.aiValue[2 * p], 130 + p) << p;
    }
}

TEST_F(LinkProtocol, OldDiagonalWithoutAnEvenBeamSendsNothingInPassOne)
{
    P().iFirst = P().iLast = 1;
    P().iDiagonal = 1;
    gFake.QueueBytes({20, 99});
    ASSERT_TRUE(Link_MeasureOld(&port, 0));
    EXPECT_EQ(Hex(gFake.TakeWritten()), "80 00 01 00 01 00 00 61");
    EXPECT_EQ(SG_Work.aiValue[1], 99);
    EXPECT_TRUE(Link_MeasureOld(&port, 1));
    EXPECT_EQ(gFake.written, "");

    // Value type 1 with diagonal beams: one pass over the halved range, odd beams only.
    gFake.Reset();
    memset(SG_Work.aiValue, 0, sizeof(SG_Work.aiValue));
    P().iFirst = 1;
    P().iLast = 6;
    P().iValueType = VT_RECEIVER;
    gFake.QueueBytes({11, 33, 55});
    ASSERT_TRUE(Link_MeasureCycle(&port, PROTO_OLD, &session));
    EXPECT_EQ(Hex(gFake.written), "80 00 01 00 03 00 00 01");
    EXPECT_EQ(SG_Work.aiValue[0], 0);
    EXPECT_EQ(SG_Work.aiValue[1], 11);
    EXPECT_EQ(SG_Work.aiValue[3], 33);
    EXPECT_EQ(SG_Work.aiValue[5], 55);
    EXPECT_EQ(SG_Work.aiValue[2], 0);
}

TEST_F(LinkProtocol, OldErrors)
{
    P().iValueType = VT_REFERENCE;
    P().iRodno = 1;
    EXPECT_FALSE(Link_MeasureOld(&port, 0));
    EXPECT_STREQ(szCommError, "Action impossible for selected rod!");
    EXPECT_EQ(gFake.written, "");

    P().iValueType = VT_SIGNAL;
    P().iRodno = 0;
    EXPECT_FALSE(Link_MeasureOld(&port, 0));
    EXPECT_STREQ(szCommError, "offset timeout");
    EXPECT_EQ(gFake.Count("configure 40"), 0);   // the values never started

    gFake.Reset();
    gFake.QueueBytes({20, 1, 2, 3});
    EXPECT_FALSE(Link_MeasureOld(&port, 0));
    EXPECT_STREQ(szCommError, "data timeout");
    EXPECT_EQ(gFake.Count("configure 40"), 1);
    EXPECT_EQ(SG_Work.aiValue[3], 3);   // what came before the failure stays
}

TEST_F(LinkProtocol, B64SingleMeasurementSendsTheCommandAlone)
{
    auto values = Seq(100, 60);
    std::vector<int> rec = {20};
    rec.insert(rec.end(), values.begin(), values.end());
    gFake.onWrite = [&](const std::string &w) {
        if (w.back() == '\n')
            gFake.Queue(Base64(rec) + "\r\n");
    };
    ASSERT_TRUE(Link_MeasureB64(&port, &session)) << szCommError;
    EXPECT_EQ(gFake.TakeWritten(), "~s 0 1 100 0 0\n");
    EXPECT_EQ(SG_Work.aiValue[0], 20);
    EXPECT_EQ(SG_Work.aiValue[100], values[99]);
    EXPECT_EQ(session.wCmdState, CMD_SENT);
    // Same parameters again, as in a single measurement inside a run: no
    // trigger would ask for the record, so the controller is stopped and
    // asked again.
    ASSERT_TRUE(Link_MeasureB64(&port, &session)) << szCommError;
    EXPECT_EQ(gFake.TakeWritten(), "0~s 0 1 100 0 0\n");
    EXPECT_EQ(SG_Work.aiValue[100], values[99]);
}

TEST_F(LinkProtocol, B64ContinuousTriggersAndParameterChange)
{
    InterlockedExchange(&iThreadState, TS_CONTINUOUS);
    P().ZEBproto = PROTO_B64_CONT;
    P().iValueType = VT_RECEIVER;
    P().iFirst = 10;
    P().iLast = 12;
    P().iGain = 7;
    std::string rec = Base64({1, 2, 3}) + "\n";
    gFake.Queue(rec);
    ASSERT_TRUE(Link_MeasureB64(&port, &session)) << szCommError;
    EXPECT_EQ(gFake.TakeWritten(), "~r 0 10 12 0 7\n2");
    EXPECT_EQ(session.wCmdState, CMD_STREAMING);
    gFake.Queue(rec);
    ASSERT_TRUE(Link_MeasureB64(&port, &session));
    EXPECT_EQ(gFake.TakeWritten(), "2");

    // A changed parameter: stop, drain what is in flight, new command, trigger.
    P().ZEBproto = PROTO_B64;
    P().iRodno = 1;
    gFake.Queue("stale record\n");
    gFake.onWrite = [&](const std::string &w) {
        if (w.back() == '\n')
            gFake.Queue(rec);
    };
    ASSERT_TRUE(Link_MeasureB64(&port, &session)) << szCommError;
    EXPECT_EQ(gFake.TakeWritten(), "0~r 1 10 12 0 7\n1");
    EXPECT_EQ(gFake.Count("timeout 100"), 1);   // the drain ended on a 100 ms gap
    EXPECT_EQ(SG_Work.aiValue[11], 2);
}

TEST_F(LinkProtocol, B64DiagonalOrderAndReferenceValues)
{
    P().ZEBproto = PROTO_B64;
    P().iFirst = 2;
    P().iLast = 5;
    P().iDiagonal = 1;
    gFake.Queue(Base64({20, 103, 105, 102, 104}) + "\n");
    ASSERT_TRUE(Link_MeasureB64(&port, &session)) << szCommError;
    EXPECT_EQ(gFake.TakeWritten(), "~s 0 2 5 1 0\n");
    for (int b = 2; b <= 5; b++)
        EXPECT_EQ(SG_Work.aiValue[b], 100 + b) << b;

    // Reference values: never diagonal, ascending, the offset byte dropped.
    memset(SG_Work.aiValue, 0, sizeof(SG_Work.aiValue));
    P().iValueType = VT_REFERENCE;
    gFake.onWrite = [](const std::string &w) {
        if (w.back() == '\n')
            gFake.Queue(Base64({99, 2, 3, 4, 5}) + "\n");
    };
    ASSERT_TRUE(Link_MeasureB64(&port, &session)) << szCommError;
    EXPECT_EQ(gFake.TakeWritten(), "0~R 0 2 5 0 0\n");
    EXPECT_EQ(SG_Work.aiValue[0], 0);
    for (int b = 2; b <= 5; b++)
        EXPECT_EQ(SG_Work.aiValue[b], b);
}

TEST_F(LinkProtocol, B64RecordFaults)
{
    InterlockedExchange(&iThreadState, TS_CONTINUOUS);   // a trigger, not a drain, before each record
    P().ZEBproto = PROTO_B64;
    P().iFirst = 1;
    P().iLast = 5;
    std::string good = Base64({20, 1, 2, 3, 4, 5});   // 6 bytes: no padding
    struct { std::string text; const char *error; } cases[] = {
        {good + "\n", nullptr},
        {good + "====\n", nullptr},
        {good + "QUJD\n", "data excess"},
        {good.substr(0, 4) + "=" + good.substr(5) + "\n", "data timeout"},
        {good.substr(0, 5) + "\n", "data timeout"},
        {good.substr(0, 1) + "\n", "offset timeout"}, {good.substr(0, 2) + "\n", "data timeout"},
        {"", "offset timeout"},
        {good.substr(0, 6) + "#" + good.substr(7) + "\n", "data timeout"},
    };
    for (const auto &c : cases) {
        gFake.Reset();
        Link_RxDrop();
        session.wCmdState = CMD_SENT;
        session.Sent = P();
        szCommError[0] = 0;
        gFake.Queue(c.text);
        bool ok = Link_MeasureB64(&port, &session);
        EXPECT_EQ(ok, c.error == nullptr) << c.text;
        if (c.error) {
            EXPECT_STREQ(szCommError, c.error) << c.text;
        }
    }
}

// The reader takes a queued record in one go, but never a byte past its
// end: what follows stays in the input for the next record, the excess
// check and the drain.
TEST_F(LinkProtocol, ReaderFetchesTheQueuedRecordButNothingAfterIt)
{
    InterlockedExchange(&iThreadState, TS_CONTINUOUS);
    P().ZEBproto = PROTO_B64;
    std::string rec = Base64(Seq(101, 20)) + "\r\n";   // offset and 100 beams, a pad, CR LF
    gFake.Queue(rec + rec);
    ASSERT_TRUE(Link_MeasureB64(&port, &session)) << szCommError;
    EXPECT_EQ(gFake.input.size(), rec.size()) << "the next record is untouched";
    EXPECT_LE(gFake.chunkReads, 2) << "one read for what the record must hold, one for the LF after the CR";
    ASSERT_TRUE(Link_MeasureB64(&port, &session)) << szCommError;
    EXPECT_EQ(SG_Work.aiValue[100], 120);

    gFake.Queue(rec.substr(0, rec.size() - 1) + "QUJD\n");
    EXPECT_FALSE(Link_MeasureB64(&port, &session));
    EXPECT_STREQ(szCommError, "data excess");
    EXPECT_EQ(gFake.input.size(), 3u) << "the decoder took \"QU\" (one byte's worth); the rest stays";
}

// A fault inside a fetched chunk: the error of a byte-wise read, and the rest
// of the chunk is still the input, in order, until a purge or a drain
// discards it.
TEST_F(LinkProtocol, FaultInsideAFetchedChunk)
{
    InterlockedExchange(&iThreadState, TS_CONTINUOUS);
    P().ZEBproto = PROTO_B64;
    std::string bad = Base64(Seq(101, 20)) + "\n";
    bad[40] = '*';
    gFake.Queue(bad + "NEXT");
    EXPECT_FALSE(Link_MeasureB64(&port, &session));
    EXPECT_STREQ(szCommError, "data timeout");
    std::string rest;
    for (int b; (b = Link_GetByte(&port)) >= 0;)
        rest += (char)b;
    EXPECT_EQ(rest, bad.substr(41) + "NEXT");

    for (bool purge : {true, false}) {
        gFake.Queue(bad);
        EXPECT_FALSE(Link_MeasureB64(&port, &session));
        if (purge)
            Link_Purge(&port);
        else
            Link_Drain(&port, 1000, 100);
        EXPECT_EQ(Link_GetByte(&port), -1) << (purge ? "purge" : "drain");
    }
}

// Once a record flows, the reader sleeps while the bytes due are on the
// line; what it slept comes off the next wait, so a line that falls silent
// fails after the byte's time-out and not later.
TEST_F(LinkProtocol, ReaderSleepsWhileBytesAreDueAndShortensTheWaitByIt)
{
    InterlockedExchange(&iThreadState, TS_CONTINUOUS);
    P().ZEBproto = PROTO_B64;
    port.dwBaudRate = 4800;   // 2 ms a character: 136 of them are due
    port.bByteSize = 8;
    gFake.Queue(Base64(Seq(101, 20)).substr(0, 2));   // the offset, then silence
    DWORD t0 = timeGetTime();
    EXPECT_FALSE(Link_MeasureB64(&port, &session));
    DWORD took = timeGetTime() - t0;
    EXPECT_STREQ(szCommError, "data timeout");
    EXPECT_EQ(gFake.events, (std::vector<std::string>{"timeout 450"})) << "a sleep of 50 ms, then the rest of 500";
    EXPECT_GE(took, 45u);
    EXPECT_EQ(gFake.chunkReads, 2);
}

TEST_F(LinkProtocol, UnknownVariantFailsWithItsOwnText)
{
    EXPECT_FALSE(Link_MeasureCycle(&port, 3, &session));
    EXPECT_STREQ(szCommError, "unknown protocol variant");
    EXPECT_EQ(gFake.written, "");
}

TEST(LinkRecords, OffsetFilterArithmetic)
{
    memset((void *)&SG_Work, 0, sizeof(SG_Work));
    // 10 then 15: exactly 10.5 in real numbers, but 0.9f and 0.1f make it
    // 10.4999998 in double, which rounds to 10.
    Link_FilterOffset(10);
    EXPECT_EQ(SG_Work.aiValue[0], 10);
    SG_Work.fDataValid = 1;
    Link_FilterOffset(15);
    EXPECT_EQ(SG_Work.aiValue[0], 10);
    Link_FilterOffset(15);
    EXPECT_EQ(SG_Work.aiValue[0], 11);
    // Halves go away from zero: 0 then 5 gives 0.50000001.
    SG_Work.fDataValid = 0;
    Link_FilterOffset(0);
    SG_Work.fDataValid = 1;
    Link_FilterOffset(5);
    EXPECT_EQ(SG_Work.aiValue[0], 1);
    // Without valid data the filter restarts from the sample.
    SG_Work.fDataValid = 0;
    Link_FilterOffset(200);
    EXPECT_EQ(SG_Work.aiValue[0], 200);
}

TEST(LinkRecords, MinimaAndMaximaRestartAfterAReset)
{
    memset((void *)&SG_Work, 0, sizeof(SG_Work));
    Link_StoreValue(5, 100);
    SG_Work.fMinMaxValid = 1;
    Link_StoreValue(5, 80);
    Link_StoreValue(5, 120);
    EXPECT_EQ(SG_Work.aiMin[5], 80);
    EXPECT_EQ(SG_Work.aiMax[5], 120);
    SG_Work.fMinMaxValid = 0;
    Link_StoreValue(5, 90);
    EXPECT_EQ(SG_Work.aiMin[5], 90);
    EXPECT_EQ(SG_Work.aiMax[5], 90);
    // Beam numbers outside 1..999 never reach the arrays.
    // Copied byte for byte: a struct copy need not copy the padding.
    static SG_DATA before;
    memcpy(&before, &SG_Work, sizeof(before));
    Link_StoreValue(0, 1);
    Link_StoreValue(1000, 1);
    Link_StoreValue(-3, 1);
    EXPECT_EQ(0, memcmp(&before, &SG_Work, sizeof(before)));
}

TEST(LinkRecords, SettingsOutOfRangeAreBroughtIntoRange)
{
    SG_PARAMS p = {-5, 0, 5000, 7, 9, 12, 0, 0, NULL, 0, 0, 1, 99999};
    Link_BringIntoRange(&p);
    EXPECT_EQ(p.iGain, 0);
    EXPECT_EQ(p.iFirst, 1);
    EXPECT_EQ(p.iLast, 999);
    EXPECT_EQ(p.iDiagonal, 1);
    EXPECT_EQ(p.iRodno, 1);
    EXPECT_EQ(p.iValueType, 0);
    EXPECT_EQ(p.iCycleDelay, 1000);
    SG_PARAMS q = {300, 1500, 5, 0, -1, 3, 0, 0, NULL, 0, 0, 1, -4};
    Link_BringIntoRange(&q);
    EXPECT_EQ(q.iGain, 300);
    EXPECT_EQ(q.iFirst, 999);
    EXPECT_EQ(q.iLast, 999);
    EXPECT_EQ(q.iRodno, 1);
    EXPECT_EQ(q.iValueType, 3);
    EXPECT_EQ(q.iCycleDelay, 0);
}

TEST(ValueTypeTable, TheSimulatorSpeaksTheSameWireCodes)
{
    ASSERT_EQ(std::size(kValueType), (size_t)VT_COUNT);
    for (int t = 0; t < VT_COUNT; t++) {
        EXPECT_EQ(kValueType[t].letter, ValueTypes[t].cB64Letter) << "type " << t;
        EXPECT_EQ(kValueType[t].mode, ValueTypes[t].bOldMode) << "type " << t;
        EXPECT_EQ(kValueType[t].evenPass, ValueTypes[t].fOldSecondPass) << "type " << t;
    }
}
