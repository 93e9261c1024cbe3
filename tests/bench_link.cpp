// Benchmark (not a test): continuous measurement through the real thread and
// port against zebsim; prints the median cycle time beside the time the
// cycle's bytes need on the wire.
#include "link_harness.h"

#include <algorithm>
#include <stdio.h>

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

int main(int argc, char **argv)
{
    int cycles = argc > 1 ? atoi(argv[1]) : 25;
    const Row rows[] = {{38400, 100, 0}, {38400, 100, 1}, {38400, 999, 0}, {38400, 999, 1},
                        {115200, 100, 0}, {115200, 100, 1}, {115200, 999, 0}, {115200, 999, 1}};
    printf("%-8s %-6s %-8s %7s %12s %10s %8s %14s %8s\n", "bit/s", "beams", "variant", "cycles", "median ms",
           "wire ms", "ratio", "floor ms", "ratio");
    for (const Row &r : rows) {
        ResetLinkParams(r.variant, 0, r.baud);
        SG_Params.iLast = r.beams;
        char args[128];
        snprintf(args, sizeof(args), "--baud %d --beams 999", r.baud);
        SimProcess sim("COM3", args);
        LinkHarness h;
        h.Start();
        Link_RequestState(TS_CONTINUOUS, false);
        h.WaitData(cycles + 2, 60000);
        Link_RequestState(TS_IDLE, false);
        h.WaitState(TS_IDLE, 5000);
        std::vector<long> t;
        for (const auto &e : h.events)
            if (e.event == CN_DATA && e.lParam > 0)
                t.push_back((long)e.lParam);
        if (t.size() > 2)
            t.erase(t.begin());   // the first cycle includes the parameter command
        std::sort(t.begin(), t.end());
        double median = t.empty() ? 0 : t[t.size() / 2];
        double wire = WireChars(r.variant, r.beams) * 10000.0 / r.baud;
        // The old protocol ends each record by waiting 40 ms for a byte that does not come.
        double floor = wire + (r.variant == PROTO_OLD ? 40 : 0);
        printf("%-8d %-6d %-8s %7zu %12.1f %10.1f %8.2f %14.1f %8.2f\n", r.baud, r.beams,
               r.variant == 0 ? "old" : "B64", t.size(), median, wire, median / wire, floor, median / floor);
        fflush(stdout);
    }
    return 0;
}
