// zebsim --replay: up to three logs played as one recording, with or without
// --realtime and --loop, answering triggers on a clock the input drives.
// replay.cpp is compiled into this file so that each input starts from a
// fresh recording.
#include "../../sim/replay.cpp"

#include "fuzz_files.h"

#include <string.h>

Options opt;
static double clockMs;

double NowMs()
{
    return clockMs;
}

void Trace(const char *, ...) {}

int Signals_Offset()
{
    return kSteadyOffset;
}

int Signals_Value(int, int, int, int)
{
    return 0;
}

// First byte: bit 0 --realtime, bit 1 --loop; second: the time between
// triggers (its square, in ms); then the logs.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    opt = Options();
    opt.realtime = data[0] & 1;
    opt.loop = data[0] & 2;
    double stepMs = (double)data[1] * data[1];
    opt.replay = FuzzFiles(data + 2, size - 2, 3);
    rec.~Recording();
    new (&rec) Recording();
    memset(said, 0, sizeof(said));
    skipsBeforeStart.clear();
    playing = false;
    clockMs = 1e6;
    std::string error;
    if (!Replay_Open(&error))
        return 0;
    for (int trigger = 0; trigger < 40; trigger++) {
        Sample s(rec.type, trigger & 1, trigger % 7 == 3);
        for (int beam = 0; beam <= kMaxBeam; beam += 97)
            s.Value(beam);
        clockMs += stepMs;
    }
    return 0;
}
