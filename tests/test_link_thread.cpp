// The communication thread from request to published data, against zebsim
// on a virtual serial line, in every protocol variant.
#include "link_harness.h"

#include "app.h"

#include <gtest/gtest.h>

#include <mmsystem.h>
#include <string.h>

#include <atomic>
#include <thread>

// What zebsim --pattern sends, less the offset.
static int PatternSignal(int beam, int rod)
{
    int v = 20 + 40 + (37 * beam + 11 * rod) % 200;
    return (v > 255 ? 255 : v) - 20;
}
static int PatternFeedback(int beam, int rod)
{
    return 50 + (13 * beam + 5 * rod) % 150;
}

static void ExpectPattern(const SG_DATA &d, int first, int last, int rod)
{
    for (int b = first; b <= last; b++)
        ASSERT_EQ(d.aiValue[b] - d.aiValue[0], PatternSignal(b, rod)) << "beam " << b;
}

struct LinkThread : testing::TestWithParam<int> {
    LinkHarness h;
    void SetUp() override { ResetLinkParams(GetParam()); }
};

TEST_P(LinkThread, SingleMeasurement)
{
    SimProcess sim("COM3", "--pattern --baud 115200");
    ASSERT_TRUE(sim.ok);
    h.Start();
    ASSERT_TRUE(h.WaitData(1, 1000));   // the start-up flags are published at once
    EXPECT_EQ(h.events[0].code, CF_PARAMS);
    EXPECT_EQ(h.events[0].lParam, 0);
    h.Clear();

    Link_RequestState(TS_SINGLE, false);
    ASSERT_TRUE(h.WaitData(1, 3000));
    ASSERT_EQ(h.States(), (std::vector<int>{TS_SINGLE, TS_PORT_OPENED, TS_IDLE}));
    EXPECT_EQ(h.events.back().event, CN_DATA);
    const SG_DATA &d = *h.events.back().view;
    EXPECT_EQ(d.fDataValid, 1);
    EXPECT_EQ(d.aiValue[0], 20);
    ExpectPattern(d, 1, 100, 0);
    EXPECT_EQ(d.aiValue[101], 0);
    EXPECT_LT(h.events.back().lParam, 1000);

    h.Pump([] { return false; }, 100);
    EXPECT_EQ(Link_GetState(), TS_IDLE);
    EXPECT_EQ(LinkPort.hCom, INVALID_HANDLE_VALUE);
    std::string trace = sim.Trace();
    if (GetParam() == PROTO_OLD) {
        EXPECT_NE(trace.find("request 80 00 01 00 64 00 00 61"), std::string::npos) << trace;
        EXPECT_EQ(trace.find("quit q"), std::string::npos);
    } else {
        EXPECT_NE(trace.find("command ~s 0 1 100 0 0\nrecord 1"), std::string::npos) << trace;
        EXPECT_EQ(trace.find("trigger"), std::string::npos) << trace;
        EXPECT_NE(trace.find("quit q"), std::string::npos) << trace;
    }
}

TEST_P(LinkThread, ContinuousCyclesKeepTheirPeriodAndEndWithQuit)
{
    SimProcess sim("COM3", "--baud 115200");
    ASSERT_TRUE(sim.ok);
    SG_Params.iCycleDelay = 150;
    h.Start();
    h.WaitData(1, 1000);
    h.Clear();
    Link_RequestState(TS_CONTINUOUS, false);
    ASSERT_TRUE(h.WaitData(6, 5000));
    EXPECT_EQ(h.States(), (std::vector<int>{TS_CONTINUOUS, TS_PORT_OPENED}));
    size_t cycles = 0;
    for (const auto &e : h.events)
        if (e.event == CN_DATA && ++cycles > 1) {
            EXPECT_GE(e.lParam, 145) << "cycle " << cycles;
            EXPECT_LE(e.lParam, 260) << "cycle " << cycles;   // a sleep may run late on a busy machine
            EXPECT_EQ(e.view->fDataValid, 1);
        }
    Link_RequestState(TS_IDLE, false);
    ASSERT_TRUE(h.WaitState(TS_IDLE, 2000));
    h.Pump([] { return false; }, 100);
    EXPECT_EQ(LinkPort.hCom, INVALID_HANDLE_VALUE);
    std::string trace = sim.Trace();
    if (GetParam() != PROTO_OLD) {
        char trig = GetParam() == PROTO_B64 ? '1' : '2';
        EXPECT_NE(trace.find(std::string("command ~s 0 1 100 0 0\n")), std::string::npos) << trace;
        EXPECT_NE(trace.find(std::string("trigger ") + trig), std::string::npos) << trace;
        EXPECT_EQ(trace.find("command", trace.find("command") + 1), std::string::npos) << "one command only";
        EXPECT_EQ(trace.substr(trace.rfind("quit q")), "quit q\n") << trace;
    }
}

TEST_P(LinkThread, ChangesWhileIdlePublishAtOnceWithClearedFlags)
{
    SimProcess sim("COM3", "--pattern --baud 115200");
    h.Start();
    h.WaitData(1, 1000);
    Link_RequestState(TS_SINGLE, false);
    ASSERT_TRUE(h.WaitData(2, 3000));
    EXPECT_EQ(h.Last(CN_DATA)->view->fDataValid, 1);
    h.Clear();
    EnterCriticalSection(&csParams);
    SG_Params.iValueType = VT_RECEIVER;
    SG_Params.wChangeFlags = CF_PARAMS;
    LeaveCriticalSection(&csParams);
    ASSERT_TRUE(h.WaitData(1, 500));
    const Notification &n = h.events.back();
    EXPECT_EQ(n.code, CF_PARAMS);
    EXPECT_EQ(n.lParam, 0);
    EXPECT_EQ(n.view->fDataValid, 0);
    EXPECT_EQ(n.view->fMinMaxValid, 0);
    EXPECT_EQ(n.view->Params.iValueType, VT_RECEIVER);

    // The next measurement is of the new value type: no offset.
    Link_RequestState(TS_SINGLE, false);
    ASSERT_TRUE(h.WaitData(2, 3000));
    const SG_DATA &d = *h.Last(CN_DATA)->view;
    EXPECT_EQ(d.aiValue[0], 0);
    for (int b = 1; b <= 100; b++)
        ASSERT_EQ(d.aiValue[b], PatternFeedback(b, 0)) << b;
}

TEST_P(LinkThread, ResetDuringARunRestartsTheExtremes)
{
    SimProcess sim("COM3", "--baud 115200");   // living signals: extremes spread out
    h.Start();
    Link_RequestState(TS_CONTINUOUS, false);
    ASSERT_TRUE(h.WaitData(8, 5000));
    const SG_DATA &before = *h.Last(CN_DATA)->view;
    int spread = 0;
    for (int b = 1; b <= 100; b++)
        spread += before.aiMax[b] - before.aiMin[b];
    EXPECT_GT(spread, 0);
    h.Clear();
    EnterCriticalSection(&csParams);
    SG_Params.wChangeFlags |= CF_RESET_MINMAX;
    LeaveCriticalSection(&csParams);
    const Notification *reset = nullptr;
    // The cycle under way took its flags before the request; the next one carries it.
    ASSERT_TRUE(h.Pump([&] {
        for (const auto &e : h.events)
            if (e.event == CN_DATA && e.code == CF_RESET_MINMAX)
                reset = &e;
        return reset != nullptr;
    }, 2000));
    for (int b = 1; b <= 100; b++) {
        ASSERT_EQ(reset->view->aiMin[b], reset->view->aiValue[b]) << b;
        ASSERT_EQ(reset->view->aiMax[b], reset->view->aiValue[b]) << b;
    }
    Link_RequestState(TS_ENDING, false);
    ASSERT_TRUE(h.WaitState(TS_ENDED, 3000));
    std::vector<int> s = h.States();
    EXPECT_EQ(std::vector<int>(s.end() - 2, s.end()), (std::vector<int>{TS_ENDING, TS_ENDED}));
    EXPECT_EQ(LinkPort.hCom, INVALID_HANDLE_VALUE);
    if (GetParam() != PROTO_OLD) {
        EXPECT_NE(sim.Trace().find("quit q"), std::string::npos);
    }
}

TEST_P(LinkThread, RequestForContinuousDuringASingleMeasurementIsKept)
{
    SimProcess sim("COM3", "--baud 38400");
    h.Start();
    h.onEvent = [](const Notification &n) {
        if (n.event == CN_STATE && n.code == TS_PORT_OPENED)
            Link_RequestState(TS_CONTINUOUS, false);
    };
    Link_RequestState(TS_SINGLE, false);
    ASSERT_TRUE(h.WaitData(5, 5000));
    EXPECT_EQ(Link_GetState(), TS_CONTINUOUS);
    std::vector<int> s = h.States();
    EXPECT_EQ(s, (std::vector<int>{TS_SINGLE, TS_PORT_OPENED, TS_IDLE, TS_CONTINUOUS}));
}

TEST_P(LinkThread, SingleMeasurementsInsideARunAskForTheirRecord)
{
    SimProcess sim("COM3", "--pattern --baud 115200");
    ASSERT_TRUE(sim.ok);
    h.Start();
    // From continuous measurement: one more cycle, then idle.
    Link_RequestState(TS_CONTINUOUS, false);
    ASSERT_TRUE(h.WaitData(3, 3000));
    Link_RequestState(TS_SINGLE, false);
    ASSERT_TRUE(h.WaitState(TS_IDLE, 3000)) << sim.Trace();
    // Twice from idle, the second request while the first one runs.
    h.Pump([] { return false; }, 100);
    h.Clear();
    h.onEvent = [](const Notification &n) {
        if (n.event == CN_STATE && n.code == TS_PORT_OPENED)
            Link_RequestState(TS_SINGLE, false);
    };
    Link_RequestState(TS_SINGLE, false);
    ASSERT_TRUE(h.WaitData(2, 3000));
    h.Pump([] { return false; }, 100);
    EXPECT_EQ(h.States(), (std::vector<int>{TS_SINGLE, TS_PORT_OPENED, TS_IDLE, TS_SINGLE, TS_IDLE})) << sim.Trace();
    EXPECT_EQ(h.Count(CN_DATA), 2u);
    for (const auto &e : h.events)
        if (e.event == CN_DATA)
            ExpectPattern(*e.view, 1, 100, 0);
}

TEST_P(LinkThread, RequestDuringAFailingCycleStartsAFreshRun)
{
    SimProcess sim("COM3", "--pattern --baud 115200 --fault silence --fault-at 1 --fault-count 0");
    ASSERT_TRUE(sim.ok);
    h.Start();
    bool asked = false;
    h.onEvent = [this, &asked](const Notification &n) {
        if (n.event == CN_STATE && n.code == TS_PORT_OPENED && !asked) {
            asked = true;
            h.Pump([] { return false; }, 150);   // well into the silent first cycle
            Link_RequestState(TS_SINGLE, false);
        }
    };
    h.Clear();
    Link_RequestState(TS_CONTINUOUS, false);
    ASSERT_TRUE(h.Pump([this] { return h.States().size() >= 6; }, 5000)) << sim.Trace();
    h.Pump([] { return false; }, 100);
    // The error ends the run; the request opens the port afresh.
    EXPECT_EQ(h.States(), (std::vector<int>{TS_CONTINUOUS, TS_PORT_OPENED, TS_ERROR, TS_SINGLE, TS_PORT_OPENED,
                                            TS_ERROR}))
        << sim.Trace();
    std::string trace = sim.Trace();
    if (GetParam() != PROTO_OLD) {
        EXPECT_EQ(trace.find("stop 0"), std::string::npos) << trace;
        EXPECT_NE(trace.find("command", trace.find("quit q")), std::string::npos) << "command resent: " << trace;
    }
}

INSTANTIATE_TEST_SUITE_P(Variants, LinkThread, testing::Values(PROTO_OLD, PROTO_B64, PROTO_B64_CONT),
                         [](const testing::TestParamInfo<int> &i) {
                             return std::string(i.param == 0 ? "Old" : i.param == 1 ? "B64" : "B64Cont");
                         });

struct FaultCase {
    int variant;
    const char *fault;
    const char *text;
};

struct LinkFaults : testing::TestWithParam<FaultCase> {};

// Field by field: the records have padding, which copies need not keep.
static bool SameData(const SG_DATA &a, const SG_DATA &b)
{
    const SG_PARAMS &p = a.Params, &q = b.Params;
    return !Link_ParamsDiffer(p, q) && p.wChangeFlags == q.wChangeFlags && p.pLogFile == q.pLogFile &&
           p.wLogMode == q.wLogMode && p.ZEBproto == q.ZEBproto && p.iCycleDelay == q.iCycleDelay &&
           p.iMinAbsValue == q.iMinAbsValue && a.fDataValid == b.fDataValid && a.fMinMaxValid == b.fMinMaxValid &&
           !memcmp(a.aiValue, b.aiValue, sizeof(a.aiValue)) && !memcmp(a.aiMin, b.aiMin, sizeof(a.aiMin)) &&
           !memcmp(a.aiMax, b.aiMax, sizeof(a.aiMax));
}

TEST_P(LinkFaults, FaultEndsTheRunWithItsTextAndKeepsTheLastGoodData)
{
    const FaultCase &c = GetParam();
    ResetLinkParams(c.variant);
    SimProcess sim("COM3", std::string("--baud 115200 --fault-at 3 --fault ") + c.fault);
    ASSERT_TRUE(sim.ok);
    LinkHarness h;
    h.Start();
    Link_RequestState(TS_CONTINUOUS, false);
    ASSERT_TRUE(h.WaitState(TS_ERROR, 5000)) << sim.Trace();
    h.Pump([] { return false; }, 200);
    const Notification *err = nullptr;
    std::vector<const Notification *> data;
    for (const auto &e : h.events) {
        if (e.event == CN_STATE && e.code == TS_ERROR)
            err = &e;
        if (e.event == CN_DATA && e.view->fDataValid)
            data.push_back(&e);
    }
    ASSERT_NE(err, nullptr);
    EXPECT_EQ(err->text, c.text);
    EXPECT_EQ(h.States(), (std::vector<int>{TS_CONTINUOUS, TS_PORT_OPENED, TS_ERROR}));
    ASSERT_GE(data.size(), 3u);   // start-up is not valid; two good cycles, then the failed one
    const SG_DATA &good = *data[data.size() - 2]->view, &failed = *data.back()->view;
    EXPECT_TRUE(SameData(good, failed)) << "the failed cycle publishes nothing new";
    EXPECT_EQ(Link_GetState(), TS_ERROR);
    EXPECT_EQ(LinkPort.hCom, INVALID_HANDLE_VALUE);

    // A reset now clears the extremes of the last good measurement; the
    // broken cycle's partial values never reach the window.
    std::vector<INT32> goodValues(good.aiValue, good.aiValue + MAX_BEAMS);
    h.Clear();
    EnterCriticalSection(&csParams);
    SG_Params.wChangeFlags |= CF_RESET_MINMAX;
    LeaveCriticalSection(&csParams);
    ASSERT_TRUE(h.WaitData(1, 500));
    const SG_DATA &reset = *h.Last(CN_DATA)->view;
    EXPECT_EQ(reset.fDataValid, 1);
    EXPECT_EQ(reset.fMinMaxValid, 0);
    EXPECT_EQ(0, memcmp(reset.aiValue, goodValues.data(), sizeof(reset.aiValue)));

    // The link recovers: a new request measures again (the fault was one record only),
    // unless the line itself is gone.
    h.Clear();
    Link_RequestState(TS_SINGLE, false);
    if (std::string(c.fault) == "hangup") {
        ASSERT_TRUE(h.WaitState(TS_ERROR, 3000));
        EXPECT_EQ(h.Last(CN_STATE)->text, "Error opening com port");
    } else {
        ASSERT_TRUE(h.WaitState(TS_IDLE, 3000)) << sim.Trace();
        ASSERT_TRUE(h.WaitData(1, 1000));
        EXPECT_EQ(h.Last(CN_DATA)->view->fDataValid, 1);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, LinkFaults,
    testing::Values(FaultCase{PROTO_B64, "silence", "offset timeout"}, FaultCase{PROTO_B64, "truncate", "data timeout"},
                    FaultCase{PROTO_B64, "badchar", "data timeout"}, FaultCase{PROTO_B64, "extra", "data excess"},
                    FaultCase{PROTO_B64, "pad", "data timeout"}, FaultCase{PROTO_B64_CONT, "late", "data timeout"},
                    FaultCase{PROTO_B64, "hangup", "offset timeout"}, FaultCase{PROTO_OLD, "silence", "offset timeout"},
                    FaultCase{PROTO_OLD, "truncate", "data timeout"}, FaultCase{PROTO_OLD, "extra", "data excess"},
                    FaultCase{PROTO_OLD, "late", "data timeout"}),
    [](const testing::TestParamInfo<FaultCase> &i) {
        return std::string(i.param.variant == 0 ? "Old_" : "B64_") + i.param.fault;
    });

TEST(LinkErrors, PortThatCannotBeOpened)
{
    ResetLinkParams(PROTO_B64, 0, 115200, "COM4");   // nothing is linked there
    LinkHarness h;
    h.Start();
    Link_RequestState(TS_SINGLE, false);
    ASSERT_TRUE(h.WaitState(TS_ERROR, 3000));
    EXPECT_EQ(h.Last(CN_STATE)->text, "Error opening com port");
    EXPECT_EQ(h.States(), (std::vector<int>{TS_SINGLE, TS_ERROR}));

    // Still idle in its error state: parameter changes are taken over.
    h.Clear();
    EnterCriticalSection(&csParams);
    SG_Params.iFirst = 7;
    SG_Params.wChangeFlags = CF_PARAMS;
    LeaveCriticalSection(&csParams);
    ASSERT_TRUE(h.WaitData(1, 500));
    EXPECT_EQ(h.Last(CN_DATA)->view->Params.iFirst, 7);
    EXPECT_EQ(Link_GetState(), TS_ERROR);
}

TEST(LinkErrors, UnknownVariantAndOutOfRangeSettings)
{
    ResetLinkParams(7);
    SG_Params.iFirst = -20;
    SG_Params.iLast = 4000;
    SG_Params.iRodno = 5;
    SimProcess sim("COM3", "--baud 115200");
    LinkHarness h;
    h.Start();
    ASSERT_TRUE(h.WaitData(1, 1000));
    const SG_PARAMS &p = h.Last(CN_DATA)->view->Params;
    EXPECT_EQ(p.iFirst, 1);
    EXPECT_EQ(p.iLast, 999);
    EXPECT_EQ(p.iRodno, 1);
    Link_RequestState(TS_SINGLE, false);
    ASSERT_TRUE(h.WaitState(TS_ERROR, 3000));
    EXPECT_EQ(h.Last(CN_STATE)->text, "unknown protocol variant");
}

// The parameter dialog stops the link for new port settings while the thread
// is about to ask the window to close the log: the wait must serve that
// request, and must not sit out a slow cycle.
TEST(LinkWait, StopForNewPortSettingsServesTheLogCloseAndAbortsTheCycle)
{
    ResetLinkParams(PROTO_B64, 0, 4800);
    SG_Params.iLast = 999;   // about 2.8 s per record at 4800 bit/s
    SimProcess sim("COM3", "--pattern --baud 4800 --beams 999");
    ASSERT_TRUE(sim.ok);
    LinkHarness h;
    h.Start();
    FILE *log = fopen("wait_test.log", "w");
    ASSERT_NE(log, nullptr);
    EnterCriticalSection(&csParams);
    SG_Params.pLogFile = log;
    SG_Params.wLogMode = LOG_ABSOLUTE;
    LeaveCriticalSection(&csParams);
    Link_RequestState(TS_CONTINUOUS, false);
    ASSERT_TRUE(h.WaitState(TS_PORT_OPENED, 2000));
    h.Pump([] { return false; }, 300);
    Log_Stop();   // during cycle 1: cycle 2 will ask for the close at its end
    ASSERT_TRUE(h.Pump([&h] { return h.Last(CN_DATA) && h.Last(CN_DATA)->view->fDataValid; }, 5000));
    h.Pump([] { return false; }, 300);

    // A wait that hangs is released after 8 s, so that the test fails instead.
    std::atomic<bool> done{false};
    std::thread watchdog([&done] {
        for (int i = 0; i < 800 && !done; i++)
            Sleep(10);
        if (!done)
            InterlockedExchange(&iRequestedState, REQ_NONE);
    });
    DWORD t0 = timeGetTime();
    Link_RequestState(TS_IDLE, true);
    DWORD waited = timeGetTime() - t0;
    done = true;
    watchdog.join();
    EXPECT_LT(waited, 1500u);
    ASSERT_TRUE(h.WaitState(TS_IDLE, 3000));
    h.Pump([] { return false; }, 200);
    EXPECT_EQ(SG_Params.pLogFile, nullptr) << "the log was closed";
    EXPECT_EQ(h.States(), (std::vector<int>{TS_CONTINUOUS, TS_PORT_OPENED, TS_IDLE})) << "no error for a run the user ended";
    EXPECT_EQ(LinkPort.hCom, INVALID_HANDLE_VALUE);
    DeleteFileA("wait_test.log");
}

// The request to keep the timer resolution reaches the system's call, found
// at run time, with the documented values. Wine refuses the request (1,
// ERROR_INVALID_FUNCTION), so the call is patched here to take and record it.
static struct {
    int calls;
    HANDLE process;
    int infoClass;
    ULONG state[3];
    DWORD size;
} asked;
static BOOL WINAPI RecordRequest(HANDLE process, int infoClass, LPVOID info, DWORD size)
{
    asked.calls++;
    asked.process = process;
    asked.infoClass = infoClass;
    memcpy(asked.state, info, sizeof(asked.state));
    asked.size = size;
    return TRUE;
}

TEST(TimerResolution, KeptWhileMinimisedWhereTheSystemHasTheCall)
{
    BYTE *call = (BYTE *)GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetProcessInformation");
    ASSERT_NE(call, nullptr);
    BYTE jump[12] = {0x48, 0xB8, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xE0}, saved[sizeof(jump)];   // mov rax, to; jmp rax
    void *to = (void *)RecordRequest;
    memcpy(jump + 2, &to, sizeof(to));
    DWORD protection;
    ASSERT_TRUE(VirtualProtect(call, sizeof(jump), PAGE_EXECUTE_READWRITE, &protection));
    memcpy(saved, call, sizeof(jump));
    memcpy(call, jump, sizeof(jump));
    FlushInstructionCache(GetCurrentProcess(), call, sizeof(jump));
    bool kept = Link_BeginTimerResolution();
    memcpy(call, saved, sizeof(jump));
    FlushInstructionCache(GetCurrentProcess(), call, sizeof(jump));
    VirtualProtect(call, sizeof(jump), protection, &protection);
    Link_EndTimerResolution();
    EXPECT_TRUE(kept);
    ASSERT_EQ(asked.calls, 1);
    EXPECT_EQ(asked.process, GetCurrentProcess());
    EXPECT_EQ(asked.infoClass, 4) << "ProcessPowerThrottling";
    EXPECT_EQ(asked.size, 12u);
    EXPECT_EQ(asked.state[0], 1u) << "version";
    EXPECT_EQ(asked.state[1], 4u) << "control: the timer resolution";
    EXPECT_EQ(asked.state[2], 0u) << "state: not throttled";
}
