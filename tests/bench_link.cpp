// Benchmark (not a test): continuous measurement through the real thread and
// port against zebsim. Per row: the median cycle time on the performance
// counter beside the time the cycle's bytes need on the wire, and the
// processor time of this process and of the wineserver.
//   bench_link.exe [seconds per row [bit/s]]    (run by scripts/bench-link.sh, which
//   passes the Unix process ids in ZEB_SELF_PID and ZEB_SERVER_PID)
#include "link_harness.h"

#include <algorithm>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

struct Row {
    int baud, beams, variant;
};

// Characters on the line per cycle (both directions; they do not overlap in time).
static int WireChars(int variant, int beams)
{
    if (variant == PROTO_OLD)
        return 8 + 1 + beams;                         // request, offset, one byte per beam
    int record = 4 * ((beams + 1 + 2) / 3) + 1;       // Base64 of offset and beams, LF
    return 1 + record;                                // trigger byte, record
}

static std::string ReadProc(const std::string &path)
{
    return ReadTextFile("Z:" + path);   // Wine's view of the Unix root
}

// User plus system time of a Unix process in clock ticks (1/100 s), or -1.
static long long CpuTicks(const char *pidVar)
{
    const char *pid = getenv(pidVar);
    if (!pid)
        return -1;
    std::string stat = ReadProc(std::string("/proc/") + pid + "/stat");
    size_t close = stat.rfind(')');   // the command name may hold spaces
    if (close == std::string::npos)
        return -1;
    long long utime = 0, stime = 0;
    // After the name: state, then fields 4..13, then utime (14) and stime (15).
    if (sscanf(stat.c_str() + close + 1, " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lld %lld", &utime,
               &stime) != 2)
        return -1;
    return utime + stime;
}

static void PrintCpu(long long ticks0, long long ticks1, double seconds)
{
    if (ticks0 < 0 || ticks1 < 0)
        printf(" %9s", "?");
    else
        printf(" %9.1f", (ticks1 - ticks0) / seconds);   // 100 ticks a second: percent of one core
}

static void RunRow(const Row &r, double seconds)
{
    ResetLinkParams(r.variant, 0, r.baud ? r.baud : 115200);
    SG_Params.iLast = r.beams;
    char args[128];
    snprintf(args, sizeof(args), "--baud %d --beams 999", r.baud);
    SimProcess sim("COM3", args);
    LinkHarness h;
    h.Start();
    Link_RequestState(TS_CONTINUOUS, false);
    h.WaitData(2, 5000);   // the first cycle carries the parameter command
    size_t first = h.events.size();
    double t0 = CounterMs();
    long long self0 = CpuTicks("ZEB_SELF_PID"), server0 = CpuTicks("ZEB_SERVER_PID");
    // Woken by the notifications, as a window is: a poll of its own would cost time here.
    h.Pump([&] { return h.Count(CN_DATA) >= 12 && CounterMs() - t0 >= seconds * 1000; }, 120000, 100);
    double t1 = CounterMs();
    long long self1 = CpuTicks("ZEB_SELF_PID"), server1 = CpuTicks("ZEB_SERVER_PID");
    Link_RequestState(TS_IDLE, false);
    h.WaitState(TS_IDLE, 5000);

    std::vector<double> cycles;
    double last = t0;
    for (size_t i = first; i < h.events.size() && h.events[i].at <= t1; i++) {
        if (h.events[i].event != CN_DATA)
            continue;
        cycles.push_back(h.events[i].at - last);
        last = h.events[i].at;
    }
    if (!cycles.empty())
        cycles.erase(cycles.begin());   // from the mark to the first cycle's end is no cycle
    std::sort(cycles.begin(), cycles.end());
    double median = cycles.empty() ? 0 : cycles[cycles.size() / 2];
    double wire = r.baud ? WireChars(r.variant, r.beams) * 10000.0 / r.baud : 0;
    // The old protocol ends each record by waiting 40 ms for a byte that does not come.
    double floor = wire + (r.variant == PROTO_OLD ? 40 : 0);
    char bits[16];
    snprintf(bits, sizeof(bits), "%d", r.baud);
    printf("%-8s %5d %-7s %6zu %9.2f %8.2f %8.2f", r.baud ? bits : "at once", r.beams,
           r.variant == PROTO_OLD ? "old" : "B64", cycles.size(), median, wire, floor);
    if (floor > 0)
        printf(" %6.3f", median / floor);
    else
        printf(" %6s", "-");
    PrintCpu(self0, self1, (t1 - t0) / 1000);
    PrintCpu(server0, server1, (t1 - t0) / 1000);
    printf("\n");
    fflush(stdout);
}

int main(int argc, char **argv)
{
    double seconds = argc > 1 ? atof(argv[1]) : 5;
    int only = argc > 2 ? atoi(argv[2]) : -1;   // one bit rate's rows (0: the tool-bound ones)
    std::vector<Row> rows;
    for (int baud : {38400, 115200, 460800, 921600})
        for (int beams : {100, 999})
            for (int variant : {PROTO_OLD, PROTO_B64})
                rows.push_back({baud, beams, variant});
    // Tool-bound: zebsim sends at once; one beam shows the round trip.
    for (int beams : {1, 100, 999})
        for (int variant : {PROTO_OLD, PROTO_B64})
            rows.push_back({0, beams, variant});
    if (only >= 0)
        rows.erase(std::remove_if(rows.begin(), rows.end(), [only](const Row &r) { return r.baud != only; }),
                   rows.end());

    printf("load average at start: %s", ReadProc("/proc/loadavg").c_str());
    printf("%-8s %5s %-7s %6s %9s %8s %8s %6s %9s %9s\n", "bit/s", "beams", "variant", "cycles", "median ms",
           "wire ms", "floor ms", "ratio", "bench %", "server %");
    for (const Row &r : rows)
        RunRow(r, seconds);
    printf("load average at end:   %s", ReadProc("/proc/loadavg").c_str());
    printf("ratio: median cycle / floor (wire time, plus 40 ms for the old protocol's end check); "
           "bench %% and server %%: processor time of this process and of the wineserver, "
           "in percent of one core\n");
    return 0;
}
