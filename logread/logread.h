// The program's data logs read cycle by cycle, and the per-beam statistics
// drawn from them; shared by zebreport, zebsim --replay and zebcheck.
// Logs are read twice, each time in bounded memory: the first pass counts
// every beam's values exactly, the second follows the weakest beams in time.
#pragma once

#include <stdint.h>
#include <stdio.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#define REP_RODS 2
#define REP_LAST_BEAM 999
#define REP_MAX_LINE 65536      // a real line is at most about 12,000 characters
#define REP_HIST_LO (-128)      // dense window of a histogram: absolute values and
#define REP_HIST_SIZE 512       // ordinary percentages; the rest go to a map
#define REP_TREND_POINTS 1000
#define REP_WEAKEST 5
#define REP_SKIP_EXAMPLES 5
#define REP_RANGES_KEPT 32
#define REP_MAX_OTHER (1 << 19)   // values kept in maps: real logs have far fewer

// Value types as the program names them in the log title (index = type).
extern const char *const Rep_aszTypeName[4];      // UTF-8, as in the log
extern const char *const Rep_aszTypeEnglish[4];

// Exact counts of one series of integers.
struct REP_HIST {
    std::vector<uint32_t> aDense;              // empty until first used
    std::map<int32_t, uint64_t> mapOther;      // values outside the window
    uint64_t nCount = 0;
};

struct REP_POINT {
    int64_t tMs;
    double flValue;
};

// A time series reduced on the fly: buckets of equal size that keep their
// lowest and highest point, merged in pairs whenever the points would exceed
// REP_TREND_POINTS; the extremes always survive.
struct REP_BUCKET {
    REP_POINT ptLow, ptHigh;
    uint64_t n;
};
struct REP_SERIES {
    std::vector<REP_BUCKET> aClosed;
    REP_BUCKET open = {};
    uint64_t nPerBucket = 1;
    size_t nPoints = 0;   // points the closed buckets give
};

// One data line: time of day, range, rod pair index and the values.
struct REP_LINE {
    int32_t iMsOfDay;
    int iFirst, iLast, iRod;
    int nValues;
    int32_t aiValue[REP_LAST_BEAM];
};

// Why a line was skipped; 0 = it was read.
enum {
    REP_OK,
    REP_BAD_TIME,
    REP_BAD_RANGE,
    REP_BAD_ROD,
    REP_BAD_NUMBER,
    REP_TOO_FEW,
    REP_TOO_MANY,
    REP_TOO_LONG,
    REP_UNFINISHED,
    REP_REASONS
};
extern const char *const Rep_aszReason[REP_REASONS];

// Reading lines of any ending (LF, CR LF, CR) in a fixed buffer.
enum { REP_LINE_END, REP_LINE_OK, REP_LINE_LONG, REP_LINE_OPEN };
struct REP_LINES {
    FILE *pFile = nullptr;
    std::unique_ptr<char[]> pBuf;   // not zero-filled: a fleet opens thousands of logs
    size_t nBuf = 0;
    size_t iPos = 0, iEnd = 0;
    bool fEof = false, fSkipping = false;
    uint64_t nRead = 0, nLimit = UINT64_MAX;   // bytes read; a second pass stops where the first did
    uint64_t nLine = 0;                       // number of the line returned last
};

// One log read cycle by cycle.
enum { REP_OPENED, REP_OPEN_FAILED, REP_NO_LOG };
#define REP_CYCLES_END (-1)
struct REP_CYCLES {
    REP_LINES ls;
    std::string strPath;
    std::string strTitle;   // line 1 as read
    int iType = -1;
    bool fRelative = false;
    int32_t iDay = 0;       // Date line, days since 1970-01-01
    int64_t iDayNow = 0;    // the day of the line read last
    int32_t iPrevMs = -1;
    uint64_t nLines = 0;    // data lines read
};

struct REP_SKIP {
    int iFile;
    uint64_t nLine;
    int iReason;
    std::string strStart;   // the first bytes of the line, as read
};

struct REP_RANGE {
    int iFirst, iLast, iRod;
    uint64_t nLines;
};

struct REP_FILE {
    std::string strPath;
    std::string strTitle;   // line 1 as read
    int32_t iDay;           // Date line, days since 1970-01-01
    uint64_t nBytes, nLines, nSkipped;
};

// All logs read as one recording.
struct REP_LOG {
    std::vector<REP_FILE> aFiles;
    int iValueType = -1;
    bool fRelative = false;
    int64_t tStart = 0, tEnd = 0;      // ms since 1970-01-01, local time
    uint64_t nCycles = 0, nSkipped = 0;
    uint64_t nOther = 0;               // values held in the histograms' maps
    REP_HIST histInterval;             // ms between consecutive lines of a file
    std::vector<REP_RANGE> aRanges;    // the first REP_RANGES_KEPT ranges seen
    bool fMoreRanges = false;
    unsigned uRods = 0;                // bit per rod pair index seen
    std::vector<REP_HIST> aHist;       // [rod * 1000 + beam]
    std::vector<REP_SKIP> aSkips;      // the first few skipped lines
    REP_SERIES serMedian;              // median over the beams of each line
    int nWeak = 0;
    int aiWeakRod[REP_WEAKEST], aiWeakBeam[REP_WEAKEST];
    REP_SERIES aserWeak[REP_WEAKEST];
};

struct REP_LIMITS {
    int32_t iMin, iMax;
    bool fNoise;
    int64_t iNoise;
    int32_t iScaleMin;   // lower end of the program's absolute scale
    std::string strMinFrom, strMaxFrom;   // where each limit came from
    std::string strNoiseFrom;
};

#define REP_FLAG_LOW 1
#define REP_FLAG_HIGH 2
#define REP_FLAG_NOISY 4
#define REP_FLAG_PREDICTED 8   // a grid's history: its trend may reach the lower limit soon

struct REP_BEAM {
    int iRod, iBeam;
    uint64_t nCount, nBelow;
    int32_t iMin, iMax;
    double flMedian, flQuartile1, flQuartile3, flMean, flStdDev;
    unsigned uFlags;
};

// lines.cpp
bool Rep_OpenLines(REP_LINES *ls, const char *path, uint64_t limit);
int Rep_NextLine(REP_LINES *ls, const char **line, size_t *len);
bool Rep_LinesFailed(const REP_LINES *ls);
void Rep_CloseLines(REP_LINES *ls);

// parse.cpp
bool Rep_ParseTitle(const std::string &title, int *type, bool *relative);
bool Rep_ParseDate(const char *s, size_t n, int32_t *day);
int Rep_ParseLine(const char *s, size_t n, REP_LINE *out);
int32_t Rep_DaysFromCivil(int y, int m, int d);
void Rep_CivilFromDays(int32_t day, int *y, int *m, int *d);
struct REP_STAMP {
    int y, mo, d, h, mi, s;
};
bool Rep_NameStamp(const std::string &path, REP_STAMP *st);
int32_t Rep_CreationMsOfDay(const std::string &path, int32_t day);

// cycles.cpp
int Rep_OpenCycles(REP_CYCLES *c, const std::string &path, uint64_t limit, std::string *error);
int Rep_NextCycle(REP_CYCLES *c, REP_LINE *ln, int64_t *t, const char **s, size_t *n);   // REP_OK, a reason, REP_CYCLES_END
void Rep_CloseCycles(REP_CYCLES *c);
std::string Rep_TypesDiffer(const REP_CYCLES &c, const std::string &firstPath, int firstType, bool firstRelative);

// read.cpp
// followWeakest false: one pass, values counted but no trend of the weakest.
bool Rep_ReadLogs(REP_LOG *log, const std::vector<std::string> &paths, std::string *error, bool followWeakest = true);

// stats.cpp
bool Rep_HistAdd(REP_HIST *h, int32_t v);   // true when the value is new to the map
template <typename F> void Rep_HistEach(const REP_HIST &h, F f);   // ascending: f(value, count)
double Rep_HistQuantile(const REP_HIST &h, double q);
double Rep_LineMedian(int32_t *values, int n);
void Rep_SeriesAdd(REP_SERIES *s, int64_t t, double v);
std::vector<REP_POINT> Rep_SeriesPoints(const REP_SERIES &s);
unsigned Rep_BeamFlags(const REP_BEAM &b, const REP_LIMITS &lim);
void Rep_BeamStats(const REP_LOG &log, const REP_LIMITS &lim, std::vector<REP_BEAM> *beams);
void Rep_PickWeakest(REP_LOG *log);
std::string Rep_Reasons(unsigned flags);

// text.cpp
std::string Rep_Utf8(const char *s, size_t n);
std::string Rep_Esc(const std::string &utf8);
void Rep_Add(std::string *out, const char *fmt, ...) __attribute__((format(printf, 2, 3)));
std::string Rep_TimeText(int64_t tMs, bool date);
std::string Rep_Num(double v);

template <typename F> void Rep_HistEach(const REP_HIST &h, F f)
{
    auto it = h.mapOther.begin();
    for (; it != h.mapOther.end() && it->first < REP_HIST_LO; ++it)
        f(it->first, it->second);
    for (size_t i = 0; i < h.aDense.size(); i++)
        if (h.aDense[i])
            f((int32_t)(REP_HIST_LO + (int32_t)i), (uint64_t)h.aDense[i]);
    for (; it != h.mapOther.end(); ++it)
        f(it->first, it->second);
}
