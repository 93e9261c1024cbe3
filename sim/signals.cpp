// The simulated grid: per rod pair and beam a signal level, feedback values
// and the stored reference; an offset that drifts, noise, and now and then an
// object passing through the beams. And the faults: records spoiled on
// purpose, counted from the first record sent.
#include "sim.h"

#include <stdlib.h>

#include <cmath>
#include <random>

namespace {

struct Grid {
    std::mt19937 rng;
    double level[2][kMaxBeam + 1], fbRx[2][kMaxBeam + 1], fbTx[2][kMaxBeam + 1], ref[2][kMaxBeam + 1];
    long cycle = 0;
    double t0 = NowMs();

    void Init()
    {
        rng.seed(opt.seed);
        std::uniform_real_distribution<double> lv(150, 215), fb(95, 150), drift(-8, 8), u(0, 1);
        for (int r = 0; r < 2; r++)
            for (int b = 1; b <= kMaxBeam; b++) {
                level[r][b] = lv(rng);
                if (u(rng) < 0.04)
                    level[r][b] = 45 + 30 * u(rng);   // a weak beam: dirty lens or misaligned
                fbRx[r][b] = fb(rng);
                fbTx[r][b] = fb(rng) + 10;
                ref[r][b] = level[r][b] + drift(rng);
            }
    }

    int Offset()
    {
        if (opt.pattern)
            return kSteadyOffset;
        double t = (NowMs() - t0) / 1000.0;
        std::normal_distribution<double> n(0, 0.6);
        return Clamp(kSteadyOffset + 6 * std::sin(t / 20.0) + n(rng));
    }

    // Beams an object covers in this cycle: it crosses the grid now and then.
    bool Covered(int beam)
    {
        long phase = cycle % 120;
        if (phase >= 40)
            return false;
        int centre = (int)(phase * opt.beams / 40);
        return std::abs(beam - centre) <= 6;
    }

    static int Clamp(double v) { return v < 0 ? 0 : v > 255 ? 255 : (int)std::lround(v); }

    int Value(int type, int rod, int beam, int offset)
    {
        if (beam < 1 || beam > opt.beams)
            return 0;
        if (type == 0 && opt.weak[beam])
            return Clamp(offset + 12 + (opt.pattern ? 0 : std::normal_distribution<double>(0, 1.6)(rng)));
        if (opt.pattern) {
            switch (type) {
            case 0: return Clamp(offset + 40 + (37 * beam + 11 * rod) % 200);
            case 3: return Clamp(40 + (7 * beam + rod) % 200);
            default: return Clamp(50 + (13 * beam + 5 * rod) % 150);
            }
        }
        std::normal_distribution<double> noise(0, 1.6);
        switch (type) {
        case 0:
            if (Covered(beam))
                return Clamp(offset + 4 + noise(rng));
            return Clamp(offset + level[rod][beam] + noise(rng));
        case 1: return Clamp(fbRx[rod][beam] + noise(rng) / 2);
        case 2: return Clamp(fbTx[rod][beam] + noise(rng) / 2);
        default: return Clamp(ref[rod][beam]);
        }
    }
} grid;

int records = 0;

bool Spoiled()
{
    if (opt.fault.empty() || records < opt.faultAt)
        return false;
    return opt.faultCount == 0 || records < opt.faultAt + opt.faultCount;
}

void HangUp()
{
    Trace("hangup");
    CloseLine();
    Trace("exit");
    exit(0);
}

}   // namespace

void Signals_Init()
{
    grid.Init();
}

int Signals_Offset()
{
    return grid.Offset();
}

int Signals_Value(int type, int rod, int beam, int offset)
{
    return grid.Value(type, rod, beam, offset);
}

// Queues one record, spoiled if its number is due for the fault.
void SendRecord(const std::string &data, const std::string &end, bool b64)
{
    records++;
    grid.cycle++;
    std::string text = data, fault = Spoiled() ? opt.fault : "";
    double pauseAt = -1;
    if (fault == "silence") {
        text.clear();
    } else if (fault == "truncate") {
        text = data.substr(0, data.size() / 2) + (b64 ? end : "");
    } else if (fault == "badchar" && b64 && !data.empty()) {
        text[data.size() / 2] = '*';
        text += end;
    } else if (fault == "extra") {
        text += b64 ? "QUJD" + end : std::string(1, '\x55');
    } else if (fault == "pad" && b64 && data.size() > 4) {
        text[4] = '=';
        text += end;
    } else if (fault == "late") {
        pauseAt = (double)data.size() / 2;
        text += b64 ? end : "";
    } else if (fault == "hangup") {
        HangUp();
    } else {
        text += b64 ? end : "";
    }
    Trace("record %d bytes %zu%s%s", records, text.size(), fault.empty() ? "" : " fault ", fault.c_str());
    if (pauseAt < 0) {
        out.Add(text);
    } else {
        size_t cut = (size_t)pauseAt;
        out.Add(text.substr(0, cut));
        out.Add(text.substr(cut), out.lineFree + opt.lateMs);
    }
}
