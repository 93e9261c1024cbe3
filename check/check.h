// zebcheck: an end-of-line test of a grid from the command line. It runs the
// program's own communication thread, logs every cycle in the program's data
// log format and judges each beam from that log, so that what it judges is
// exactly what the program would show and log.
#ifndef CHECK_H
#define CHECK_H

#include "link.h"
#include "records.h"

#include <string>
#include <vector>

// Exit status a test stand relies on.
enum { CHK_PASS = 0, CHK_FAIL = 1, CHK_NOT_MEASURED = 2 };

// How near a limit a passing median may lie before the beam is marginal.
enum { GUARD_NONE, GUARD_NOISE, GUARD_PERCENT };

struct CHK_OPTIONS {
    std::string strIni, strRef, strJson, strJunit, strLog, strId;
    std::string strStation, strHistory, strSummary;
    int nCycles = 20;
    double flSeconds = 0;      // > 0: measure for that long instead of nCycles
    int nRetries = 2;
    bool fMin = false, fMax = false, fNoise = false, fTolerance = false;
    INT32 iMin = 0, iMax = 0, iNoise = 0;
    double flTolerance = 0;    // percent
    int iGuard = GUARD_NONE;
    double flGuard = 0;        // percent of the limit
    bool fMarginalFails = false;
    bool fVerbose = false;
    bool fHelp = false;
    bool fVersion = false;
};

// One beam's figures over the run and why it failed (empty: it passed).
struct CHK_BEAM {
    int iBeam;
    double flMedian;
    INT32 iMin, iMax;
    bool fRef;                 // a reference value was given for the beam
    INT32 iRef;
    std::string strReasons;
    bool fMarginal;
    double flMargin;           // of the median to the limit it is marginal at
    std::string strMarginal;   // which limit, the margin and the guard
};

struct CHK_RESULT {
    int iStatus = CHK_NOT_MEASURED;
    std::string strError;      // the cause when not measured
    SYSTEMTIME stStart = {}, stEnd = {};
    unsigned nCycles = 0;      // successful cycles logged
    unsigned nRetried = 0;     // failed cycles that were repeated
    double flMedianCycleMs = 0;
    INT32 iLimitMin = 0, iLimitMax = 0;   // the limits in force
    std::vector<CHK_BEAM> aBeams;
    unsigned nFailed = 0, nMarginal = 0;
    std::string strLogPath;    // the run's data log as kept (empty: none kept)
    int iAttempt = 0;          // of the id in the history (0: no history)
    std::string strEarlier;    // the earlier attempts of the id that did not pass
};

extern const char Chk_szUsage[];

// options.cpp: the program's defaults, then --ini, then the options, into
// the link's records (SG_Params, DTI) and the display's limits (DI). False
// with *error set for a bad option or value.
bool Chk_ParseArgs(int argc, char **argv, CHK_OPTIONS *opt, std::string *error);
const char *Chk_TypeName(int type);
const char *Chk_ProtocolName(int variant);

// run.cpp: measures until the options are satisfied, writing the data log
// to logPath. False with result->strError set when nothing usable was measured.
bool Chk_Measure(const CHK_OPTIONS &opt, const char *logPath, CHK_RESULT *result);
// Lets a closing console go once the results are written.
void Chk_Finished();

// verdict.cpp: the beams' figures from the log and the verdict; refs and
// seen as Chk_LoadReferences filled them (used with --ref only).
bool Chk_Judge(const CHK_OPTIONS &opt, const char *logPath, const INT32 *refs, const BYTE *seen, CHK_RESULT *result);
// The reference file's values for the beam range; false when it cannot be
// read or holds no line for the range.
bool Chk_LoadReferences(const std::string &path, INT32 *values, BYTE *seen, std::string *error);

// output.cpp
const char *Chk_Verdict(const CHK_RESULT &r);   // PASS, FAIL, ERROR
std::string Chk_TimeText(const SYSTEMTIME &t);
std::string Chk_LimitsJson(const CHK_OPTIONS &opt);
bool Chk_WriteWhole(const std::string &path, const std::string &text);   // no half file is left
void Chk_PrintResult(const CHK_OPTIONS &opt, const CHK_RESULT &r, FILE *out);
bool Chk_WriteJson(const CHK_OPTIONS &opt, const CHK_RESULT &r, const std::string &path);
bool Chk_WriteJunit(const CHK_OPTIONS &opt, const CHK_RESULT &r, const std::string &path);

// history.cpp: the history is locked from Begin to Append (or End); Begin
// counts the id's attempts into the result.
struct CHK_HISTORY {
    HANDLE hFile = INVALID_HANDLE_VALUE;
    bool fLocked = false;
    bool fOpenEnd = false;   // the file ends inside a line
};
bool Chk_HistoryBegin(const CHK_OPTIONS &opt, CHK_HISTORY *h, CHK_RESULT *r, std::string *error);
bool Chk_HistoryAppend(CHK_HISTORY *h, const CHK_OPTIONS &opt, const CHK_RESULT &r);
void Chk_HistoryEnd(CHK_HISTORY *h);
// --summary: prints the yields; the exit status.
int Chk_Summary(const CHK_OPTIONS &opt);

#endif
