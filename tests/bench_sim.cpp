// zebsim's speed seen from the tool's end of its line, records of 999 beams
// in the B64 protocol: how long after its start the first record is in, its
// peak memory, and how many records a second it answers when the line costs
// nothing (--baud 0). Prints one row of scripts/bench-sim.sh's table.
//   bench_sim SECONDS LABEL PATH-TO-ZEBSIM [zebsim options]
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "zebsim_peer.h"

// Peak resident memory of a process in MB, from /proc.
static double PeakMb(pid_t pid)
{
    FILE *f = fopen(("/proc/" + std::to_string(pid) + "/status").c_str(), "r");
    char line[256];
    long kb = -1;
    while (f && fgets(line, sizeof(line), f))
        if (strncmp(line, "VmHWM:", 6) == 0)
            kb = atol(line + 6);
    if (f)
        fclose(f);
    return kb / 1024.0;
}

int main(int argc, char **argv)
{
    if (argc < 4)
        return fprintf(stderr, "usage: bench_sim SECONDS LABEL PATH-TO-ZEBSIM [zebsim options]\n"), 2;
    const size_t kRecord = 4 * ((999 + 1 + 2) / 3) + 1;   // offset and 999 beams in Base64, LF
    double seconds = atof(argv[1]), t0 = NowMs();
    Sim sim(argv[3], std::vector<std::string>(argv + 4, argv + argc));
    sim.Send("~s 0 1 999 0 0\n");
    bool ok = sim.ReadN(kRecord, 5000).size() == kRecord;
    double startMs = NowMs() - t0, t1 = NowMs(), t = t1;
    long n = 0;
    for (; ok && (t = NowMs()) - t1 < seconds * 1000; n++) {
        sim.Send("1");
        ok = sim.ReadN(kRecord, 2000).size() == kRecord;
    }
    printf("| %s | %.0f | %.1f | %.0f |%s\n", argv[2], startMs, PeakMb(sim.pid), n / ((t - t1) / 1000),
           ok ? "" : " a record was missing");
    return ok && !failures ? 0 : 1;
}
