// Data logs of the program played back as the controller. The logs are one
// recording, read forward as the requests come (never loaded whole), with
// the log reader zebreport uses: the same header checks, the same malformed lines
// skipped, the same time stamps across midnight.
#include "sim.h"

#include <math.h>
#include <stdio.h>

#include <memory>
#include <set>

#include "logread.h"

namespace {

const int kSkipsShown = REP_SKIP_EXAMPLES;

struct Cycle {
    REP_LINE line;
    int64_t t;          // ms since 1970-01-01, as zebreport reads it
    int file;
    uint64_t lineNo;
};

// Notes on standard error: each kind once, or each text once.
enum { NOTE_TYPE, NOTE_BEAMS, NOTE_BYTE, NOTE_END, NOTE_KINDS, NOTE_EACH = NOTE_KINDS };

bool said[NOTE_KINDS];

void Note(int kind, const std::string &text)
{
    static std::set<std::string> saidEach;
    if (kind == NOTE_EACH ? saidEach.insert(text).second : !said[kind]) {
        if (kind != NOTE_EACH)
            said[kind] = true;
        fprintf(stderr, "zebsim: %s\n", text.c_str());
    }
}

std::string Count(uint64_t n, const char *what)
{
    return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
}

// The first malformed lines are named; those met before playing starts wait
// for the start, so that a refusal stays one line.
std::vector<std::string> skipsBeforeStart;
bool playing = false;

void Skipped(const std::string &text)
{
    if (playing)
        fprintf(stderr, "zebsim: %s\n", text.c_str());
    else
        skipsBeforeStart.push_back(text);
}

struct Recording {
    REP_CYCLES reader;
    int file = -1;                   // the log being read
    int type = -1;
    std::unique_ptr<Cycle> cur{new Cycle}, next{new Cycle};
    bool hasNext = false;
    bool firstPass = true;
    uint64_t cycles = 0, skipped = 0;   // of the first pass
    int64_t t0 = 0, prevT = 0;          // time of the first cycle, of the one before the current
    int64_t tLatest = 0;                // the latest time played: logs may come out of date order
    bool started = false;
    double epoch = 0;                   // --realtime: when the first cycle was asked for

    ~Recording() { Rep_CloseCycles(&reader); }

    // The next readable line of the recording; false at its end.
    bool Read(Cycle *c)
    {
        for (;;) {
            if (file < 0 || !reader.ls.pFile) {
                if (++file >= (int)opt.replay.size())
                    return false;
                if (!OpenFile())
                    continue;
            }
            const char *s;
            size_t n;
            int r = Rep_NextCycle(&reader, &c->line, &c->t, &s, &n);
            if (r == REP_OK) {
                c->file = file;
                c->lineNo = reader.ls.nLine;
                cycles += firstPass;
                return true;
            }
            if (r != REP_CYCLES_END) {
                if (firstPass && ++skipped <= (uint64_t)kSkipsShown)
                    Skipped(reader.strPath + " line " + std::to_string(reader.ls.nLine) + " skipped: " +
                            Rep_aszReason[r]);
                continue;
            }
            if (Rep_LinesFailed(&reader.ls))
                Note(NOTE_EACH, reader.strPath + ": read error; the recording goes on with the next log");
            Rep_CloseCycles(&reader);
        }
    }

    // Opens the next log; one that changed since zebsim started is left out.
    bool OpenFile()
    {
        std::string error;
        if (Rep_OpenCycles(&reader, opt.replay[file], UINT64_MAX, &error) != REP_OPENED)
            Note(NOTE_EACH, error + "; left out");
        else if (reader.iType != type || reader.fRelative)
            Note(NOTE_EACH, reader.strPath + ": no longer a log of " + Rep_aszTypeEnglish[type] + "; left out");
        else
            return true;
        Rep_CloseCycles(&reader);
        return false;
    }

    // Back to the first cycle; a line that fails to parse may have spoiled
    // what it was read into, so the cycle being played is replaced only by
    // one read whole.
    bool Rewind()
    {
        Rep_CloseCycles(&reader);
        file = -1;
        if (!Read(next.get()))
            return hasNext = false;
        cur.swap(next);
        prevT = cur->t;
        hasNext = Read(next.get());
        return true;
    }

    void Advance()
    {
        prevT = cur->t;
        cur.swap(next);
        tLatest = std::max(tLatest, cur->t);
        hasNext = Read(next.get());
    }

    std::string Counted() const
    {
        return Count(cycles, "cycle") + ", " + Count(skipped, "line") + " skipped as malformed";
    }

    // Past the last cycle: the recording starts over or its last cycle stays.
    bool End()
    {
        Note(NOTE_END, "the recording ended after " + Counted() +
                           (opt.loop ? "; it starts over" : "; its last cycle repeats"));
        if (!opt.loop)
            return false;
        firstPass = false;
        return Rewind();
    }

    // The cycle that answers a request.
    const Cycle &Take(bool sameCycle)
    {
        if (!started) {
            started = true;
            epoch = NowMs();
            return *cur;
        }
        if (sameCycle)
            return *cur;
        if (!opt.realtime) {
            if (hasNext)
                Advance();
            else
                End();
            return *cur;
        }
        double elapsed = NowMs() - epoch;
        for (;;) {
            while (hasNext && next->t - t0 <= elapsed)
                Advance();
            if (hasNext)
                break;
            // The cycle after the last would have come one interval later;
            // at least 1 ms, so that a pass always takes time.
            double span = (double)(tLatest - t0) + std::max<int64_t>(1, cur->t - prevT);
            if (elapsed < span || !End())
                break;
            double passes = floor(elapsed / span);
            epoch += passes * span;
            elapsed -= passes * span;
        }
        return *cur;
    }
} rec;

// Wide enough for a logged value plus the offset at either end of 32 bits.
bool ClampByte(int64_t v, int *out)
{
    *out = v < 0 ? 0 : v > 255 ? 255 : (int)v;
    return *out != v;
}

}   // namespace

// Every log is checked before the first request, and the first cycle is
// found: a recording that cannot play is refused at once.
bool Replay_Open(std::string *error)
{
    for (size_t i = 0; i < opt.replay.size(); i++) {
        REP_CYCLES c;
        int r = Rep_OpenCycles(&c, opt.replay[i], UINT64_MAX, error);
        Rep_CloseCycles(&c);
        if (r != REP_OPENED)
            return false;
        if (i == 0) {
            rec.type = c.iType;
        } else if (!(*error = Rep_TypesDiffer(c, opt.replay[0], rec.type, false)).empty()) {
            return false;
        }
        if (c.fRelative) {
            *error = c.strPath + ": relative values (percent of references) cannot be played back; "
                                 "a log of absolute values can";
            return false;
        }
    }
    if (!rec.Rewind()) {
        *error = (opt.replay.size() == 1 ? opt.replay[0] + ": no" : "no") + std::string(" readable data line (") +
                 Count(rec.skipped, "line") + " skipped as malformed)";
        return false;
    }
    rec.t0 = rec.tLatest = rec.cur->t;
    std::string names;
    for (const std::string &p : opt.replay)
        names += (names.empty() ? "" : ", ") + p;
    const REP_LINE &first = rec.cur->line;
    fprintf(stderr, "zebsim: playing back %s: %s, beams %d..%d of rod pair %d first%s%s\n", names.c_str(),
            Rep_aszTypeEnglish[rec.type], first.iFirst, first.iLast, first.iRod + 1,
            opt.realtime ? ", at the recording's pace" : "", opt.loop ? ", over and over" : "");
    playing = true;
    for (const std::string &skip : skipsBeforeStart)
        Skipped(skip);
    return true;
}

Sample::Sample(int type, int rod, bool sameCycle) : type_(type), rod_(rod), cycle_(nullptr)
{
    if (opt.replay.empty()) {
        offset_ = Signals_Offset();
        return;
    }
    if (type != rec.type) {
        if (!said[NOTE_TYPE])
            Note(NOTE_TYPE, std::string("the recording holds ") + Rep_aszTypeEnglish[rec.type] +
                                "; other value types (here " + Rep_aszTypeEnglish[type] +
                                ") answer with simulated values");
        offset_ = Signals_Offset();
        return;
    }
    // A steady offset: the program subtracts its running average of the
    // offset, which then is exactly this value from the first cycle on.
    offset_ = kSteadyOffset;
    const Cycle &c = rec.Take(sameCycle);
    cycle_ = &c.line;
    Trace("replay %s line %llu", opt.replay[c.file].c_str(), (unsigned long long)c.lineNo);
}

int Sample::Value(int beam)
{
    const REP_LINE *c = cycle_;
    if (!c || c->iRod != rod_ || beam < c->iFirst || beam > c->iLast) {
        if (cycle_ && beam >= 1 && beam <= kMaxBeam) {
            missingLo_ = missingHi_ < missingLo_ ? beam : std::min(missingLo_, beam);
            missingHi_ = std::max(missingHi_, beam);
        }
        return Signals_Value(type_, rod_, beam, offset_);
    }
    int logged = c->aiValue[beam - c->iFirst], v;
    if (ClampByte((int64_t)logged + (type_ == 0 ? offset_ : 0), &v) && !said[NOTE_BYTE]) {
        int lo = type_ == 0 ? -offset_ : 0;
        Note(NOTE_BYTE, "beam " + std::to_string(beam) + " logged " + std::to_string(logged) + ", outside " +
                            std::to_string(lo) + ".." + std::to_string(lo + 255) + ", what a byte" +
                            (type_ == 0 ? " above the offset" : "") + " carries: such values play as " +
                            std::to_string(lo) + " or " + std::to_string(lo + 255));
    }
    return v;
}

Sample::~Sample()
{
    if (missingHi_ >= missingLo_ && !said[NOTE_BEAMS])
        Note(NOTE_BEAMS, "beams " + std::to_string(missingLo_) + ".." + std::to_string(missingHi_) + " of rod pair " +
             std::to_string(rod_ + 1) + " are not in the recording (it holds beams " +
             std::to_string(cycle_->iFirst) + ".." + std::to_string(cycle_->iLast) + " of rod pair " +
                             std::to_string(cycle_->iRod + 1) + " there); beams it does not hold answer with "
                             "simulated values");
}
