// zebsim: plays the controller of a beam grid on a serial line. Its pieces:
// the command line and the main loop (zebsim.cpp), the wire formats of the
// old and the B64 protocol (wire.cpp), the line and its UART pacing
// (pacing.cpp), the simulated signals and the faults (signals.cpp), and the
// replay of the program's data logs (replay.cpp).
#ifndef SIM_H
#define SIM_H

#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "sim_valuetypes.h"

struct REP_LINE;

const int kMaxBeam = 999;
const int kValueTypes = sizeof(kValueType) / sizeof(kValueType[0]);
const int kSteadyOffset = 20;   // the offset of --pattern and of a replay

struct Options {
    std::string link, tty, trace, fault;
    std::vector<std::string> replay;
    int beams = 200;
    int baud = 38400;
    unsigned seed = 1;
    bool crlf = false, pattern = false, diagonal = false, verbose = false, exitWithParent = false;
    bool loop = false, realtime = false;
    int faultAt = 3, faultCount = 1, lateMs = 800;
    bool weak[kMaxBeam + 1] = {};
};
extern Options opt;

// zebsim.cpp
double NowMs();
void Trace(const char *fmt, ...) __attribute__((format(printf, 1, 2)));

// pacing.cpp: output paced like a UART at --baud, and the line itself.
struct Output {
    std::deque<std::pair<unsigned char, double>> bytes;   // byte, time it is complete
    double lineFree = 0;                                  // when the last byte queued is complete

    bool Busy() const { return !bytes.empty(); }
    void Abort();
    double CharMs() const;
    double BurstMs() const;
    void Add(const std::string &s, double notBefore = 0);
    double Pump();
};
extern Output out;
int OpenLine();
bool LinkIsOurs();
int LineQueued();
void CloseLine();

// signals.cpp: the simulated grid, and records spoiled on purpose.
void Signals_Init();
int Signals_Offset();
int Signals_Value(int type, int rod, int beam, int offset);
void SendRecord(const std::string &data, const std::string &end, bool b64);

// replay.cpp: the values one record reports, from the recording where it
// holds them, simulated elsewhere; the notes on what it could not answer
// go to standard error when the record is complete.
bool Replay_Open(std::string *error);
class Sample {
public:
    Sample(int type, int rod, bool sameCycle);
    ~Sample();
    int Offset() const { return offset_; }
    int Value(int beam);

private:
    int type_, rod_, offset_;
    const REP_LINE *cycle_;
    int missingLo_ = 0, missingHi_ = -1;
};

// wire.cpp
void Wire_Feed(unsigned char c);

#endif
