// The grid archive: grids' cards, each log's summary kept beside it, a grid's
// visits (as found, as left), the trends and the soiling between visits, and
// the plan's judgement of each grid. It writes no page: report/ does.
#pragma once

#include "logread.h"

#include <math.h>
#include <string.h>

#include <functional>

// card.cpp: a grid's card (grid.ini in the grid's folder) and the identity
// block it gives a page.
#define REP_CARD_NAME "grid.ini"
enum { CARD_CUSTOMER, CARD_SITE, CARD_MACHINE, CARD_GRID, CARD_SERIAL, CARD_TEXTS = CARD_SERIAL + 1,
       CARD_INTERVAL = CARD_TEXTS, CARD_MIN_ABS, CARD_MAX_ABS, CARD_MIN_REL, CARD_MAX_REL, CARD_NOISE,
       CARD_MIN_INTERVAL, CARD_MAX_INTERVAL, CARD_KEYS };
struct REP_CARD {
    std::string strPath;                // the card
    std::string astrText[CARD_TEXTS];   // UTF-8
    bool afHave[CARD_KEYS] = {};        // numbers given
    int32_t aiValue[CARD_KEYS] = {};    // the intervals have their defaults when not given (6, 1 and 12 months)
    int iBadKey = -1, iBadLine = 0;     // the first value that is no number (CARD_KEYS: UTF-16), for a page
    bool fBadOrder = false;             // iBadKey is a minimum above its maximum
    std::string strBadValue;            // in its language; UTF-8
};
bool Rep_SameText(const std::string &a, const char *b);
bool Rep_WholeNumber(const std::string &s, int32_t *v);
void Rep_IniEach(const char *text, size_t len, const std::function<void(const std::string &section, const std::string &key,
                                                                        const std::string &value, int line)> &f);
extern const char *const Rep_aszCardSection[CARD_KEYS], *const Rep_aszCardKey[CARD_KEYS];
bool Rep_ParseCard(const char *text, size_t len, const std::string &name, REP_CARD *card, std::string *error);
bool Rep_ReadSmall(const std::string &path, size_t most, std::string *bytes, std::string *error);
bool Rep_ReadCard(const std::string &path, REP_CARD *card, std::string *error);
bool Rep_IsFile(const std::string &path);
std::string Rep_Absolute(const std::string &path);
std::string Rep_FindCard(const std::string &logPath);   // the nearest grid.ini above a log, or ""
int32_t Rep_AddMonths(int32_t day, int months);

// trend.cpp: a Theil-Sen line through the points (x, y); the fitted line
// passes through the medians of x and of y.
struct REP_FIT {
    int nPoints;
    bool fSlope;      // at least two different x
    bool fInterval;   // a 95 % interval of the slope exists (at least 5 points)
    double flSlope, flLow, flHigh;
    double flPivotX, flPivotY;
};
double Rep_Median(std::vector<double> v);
REP_FIT Rep_TheilSen(const std::vector<double> &x, const std::vector<double> &y);
double Rep_KendallTau(const std::vector<double> &x, const std::vector<double> &y);

// history.cpp: visits, one recording a date, and a forecast per beam.
enum { REP_FC_INSUFFICIENT, REP_FC_NONE, REP_FC_BEYOND, REP_FC_RANGE, REP_FC_NOW };
enum { REP_LIGHT_GREEN, REP_LIGHT_YELLOW, REP_LIGHT_RED };
struct REP_VISIT {
    int32_t iDay;          // its Date line
    int64_t tStart;        // ms since 1970-01-01, the recording's first line
    std::string strPath;   // the recording that counts: the day's last, as left
    int nLogs;             // logs given of that date
    uint64_t nCycles, nSkipped;
    std::string strFound;      // the day's first recording, as found; "" when the visit has one
    int64_t tFound = 0;
    std::string strUnpaired;   // a first recording of other beams than the last: no as found, named
    int nFoundLow = -1, nFoundHigh = -1;   // as found beams below, above the limits; -1 without as found
};
// Soiling between visits: from one visit's as left to the next one's as
// found, the loss of light as an exponential rate (soiling attenuates in
// proportion), per beam.
struct REP_SPELL {
    int iFrom, iTo;     // visits: as left of iFrom, as found of iTo
    double flMonths;
    int iWorst;         // the beam (index) that lost most in it
    double flWorst;     // its rate, ln per month
};
enum { ADV_CARD, ADV_SOILING, ADV_TREND, ADV_FEW, ADV_MIN, ADV_MAX };
struct REP_ADVICE {      // the recommended interval and how it was reached
    int nSpells = 0;           // intervals in which some beam was recorded at both ends
    int iWorst = -1;           // the beam whose median rate is highest
    double flRate = NAN;       // its median rate, ln per month
    int iMonths = 6;           // recommended
    int iReason = ADV_CARD;
    int iFirst = -1;           // the beam that reaches the limit first at its upper bound
    double flCrossDay = NAN;   // days since 1970-01-01 when it does, from the last as left
    double flTrendDay = NAN;   // the as-left trend's range start (the last visit's with a beam below), when it bounds first
};
struct REP_HBEAM {
    int iRod, iBeam;
    std::vector<double> aflMedian;   // per visit; NAN where the visit has no such beam
    std::vector<double> aflFound;    // per visit, as found; NAN where there is none
    std::vector<double> aflRate;     // per spell, ln per month; NAN where an end is missing
    double flRate, flRateHigh;       // their median and an upper bound for 95 % of intervals
    double flLast;                   // the median of the last visit that has it
    REP_FIT fit;                     // ln(median) against days since 1970-01-01
    double flReserve;                // flLast as a multiple of the lower limit
    int iLight, iForecast;
    double flFrom, flTo;             // days since 1970-01-01 of the crossing range
    bool fToBeyond;                  // the late end lies beyond the horizon
    unsigned uFlags;                 // REP_FLAG_... of the last visit, and REP_FLAG_PREDICTED
};
struct REP_HISTORY {
    int iValueType = -1;
    bool fRelative = false;
    unsigned uRods = 0;
    std::vector<REP_VISIT> aVisits;   // in time order
    std::vector<REP_HBEAM> aBeams;
    std::vector<REP_SPELL> aSpells;
    REP_ADVICE advice;
    std::vector<REP_BEAM> aLast;      // statistics of the last visit
    REP_LOG logLast;                  // the last visit's recording, without its histograms
    double flHorizonDays = 180, flGreen = 2, flYellow = 1.2;
};
void Rep_Forecast(REP_HISTORY *h, const REP_LIMITS &lim);
double Rep_PerMonth(double slope);   // a slope of ln(value) per day as percent per month
std::string Rep_DayText(double day);   // YYYY-MM-DD

// soiling.cpp: what the visits' as found say: beams found outside the
// limits, the soiling between visits, and the interval to recommend. After
// Rep_Forecast (the as-left trend's ranges bound the interval too).
#define REP_DAYS_PER_MONTH 30.4375
void Rep_Soiling(REP_HISTORY *h, const REP_LIMITS &lim, const REP_CARD *card);
double Rep_SoilPercent(double rate);   // ln per month as the percent lost per month
double Rep_T95(int df);                // one-sided 95 % quantile of Student's t

// summary.cpp: a log's reduction kept beside it.
struct REP_SUMMARY {
    uint64_t nSize = 0;     // the log's size and time of writing when it was read
    int64_t tModified = 0;
    int iType = -1;
    bool fRelative = false;
    unsigned uRods = 0;
    int32_t iDay = 0;
    int64_t tStart = 0, tEnd = 0;
    uint64_t nCycles = 0, nSkipped = 0, nBytes = 0;
    std::string strTitle;
    std::vector<REP_SKIP> aSkips;   // iFile 0
    std::vector<REP_BEAM> aBeams;   // in rod and beam order: count, minimum, maximum and median kept
};
struct REP_SUMSTATS {
    int nRead = 0, nSummaries = 0;   // logs read, logs taken from their summaries
};
struct REP_READER {   // little-endian fields of a sealed file, bounds checked
    const unsigned char *p, *e;
    bool ok;
    uint64_t Get(int bytes)
    {
        if (e - p < bytes) {
            ok = false;
            return 0;
        }
        uint64_t v = 0;
        for (int i = 0; i < bytes; i++)
            v |= (uint64_t)*p++ << 8 * i;
        return v;
    }
    double Double()
    {
        uint64_t u = Get(8);
        double v;
        memcpy(&v, &u, 8);
        ok &= v == v && v > -1e300 && v < 1e300;
        return v;
    }
    std::string Text(size_t most)
    {
        uint64_t n = Get(4);
        if (!ok || n > most || (uint64_t)(e - p) < n) {
            ok = false;
            return "";
        }
        p += n;
        return std::string((const char *)p - n, n);
    }
};

void Rep_Put(std::string *s, uint64_t v, int bytes);
void Rep_PutDouble(std::string *s, double v);
void Rep_PutText(std::string *s, const std::string &t);
std::string Rep_Seal(const char *magic, uint32_t version, const std::string &payload);
bool Rep_Unseal(const char *buf, size_t len, const char *magic, uint32_t version, REP_READER *r);
bool Rep_PlausibleDay(double day);   // within the years a Date line can name
bool Rep_Stamp(const std::string &path, uint64_t *size, int64_t *modified);
void Rep_WriteAtomically(const std::string &path, const std::string &bytes);
std::string Rep_SummaryBytes(const REP_SUMMARY &sum);
bool Rep_ParseSummary(const char *buf, size_t len, REP_SUMMARY *sum);
bool Rep_LogSummary(const std::string &path, REP_SUMMARY *sum, REP_SUMSTATS *stats, std::string *error);

// grid.cpp: grids found in folders, a grid's history from its logs'
// summaries, and the fleet's plan.
struct REP_GRIDDIR {
    std::string strCard;              // "" for a folder with logs but no card
    std::string strFolder;
    std::vector<std::string> aLogs;   // its own, not those below a nearer card
    int iParent = -1, nNested = 0;    // logs below nearer cards
};
void Rep_FindGrids(const std::string &root, bool rootIsGrid, std::vector<REP_GRIDDIR> *grids);
struct REP_SHAPE {   // what makes logs one grid's
    int iType, nBeams;
    bool fRelative;
    unsigned uRods;
    uint64_t uHash;
};
struct REP_LEFTOUT {
    std::string strPath;
    REP_SHAPE mine, theirs;
    std::string strWhy;   // or why it could not be read
};
bool Rep_HistoryFromLogs(REP_HISTORY *h, const std::vector<std::string> &logs, bool byShape,
                         std::vector<REP_LEFTOUT> *leftOut, REP_SUMSTATS *stats, std::string *error);
void Rep_LastVisitFlags(REP_HISTORY *h, const REP_LIMITS &lim);

enum { FLEET_OVERDUE, FLEET_ACTION, FLEET_OK, FLEET_NO_LOGS, FLEET_BAD_CARD, FLEET_OTHER_ONLY, FLEET_NO_LIMIT,
       FLEET_UNREADABLE, FLEET_NO_CARD };
enum { LIMIT_DATE, LIMIT_INSUFFICIENT, LIMIT_NONE, LIMIT_BEYOND };
struct REP_FLEETROW {
    REP_CARD card;
    bool fCard = false;
    std::string strFolder, strPage, strNote;   // the note says why a grid cannot be judged
    int iStatus = FLEET_NO_LOGS;
    int nLogs = 0, nVisits = 0, nBeams = 0, nFlagged = 0;
    int32_t iLastDay = 0, iDue = 0;
    double flReserve = NAN;
    int iLimit = LIMIT_INSUFFICIENT;
    double flLimitFrom = NAN, flAction = NAN;
    int nFoundLow = -1, nFoundHigh = -1;   // at the last visit's arrival; -1 without as found
    double flSoiling = NAN;                // the fastest soiling beam's median, ln per month
    int iSoilRod = 0, iSoilBeam = 0;
    unsigned uRods = 0;                    // the grid's rod pairs: a beam's name says its pair when both
    int nSpells = 0, iAdvised = 6, iAdviceReason = ADV_CARD;
    double flSoilCross = NAN;              // days since 1970-01-01: the soiled grid at its lower limit
    std::vector<REP_LEFTOUT> aLeftOut;
};
#define REP_GRID_VERSION 2u   // of a grid's kept row (grid.zebsum)
void Rep_JudgeGrid(REP_FLEETROW *row, const REP_HISTORY &h, int32_t today, int horizon);
void Rep_GridStatus(REP_FLEETROW *row, int32_t today, int horizon);
std::string Rep_GridKey(const REP_GRIDDIR &d, const REP_CARD &card, const REP_LIMITS lim[2]);   // "" when a file cannot be seen
void Rep_GridCacheWrite(const REP_GRIDDIR &d, const std::string &key, const REP_FLEETROW &row);
bool Rep_GridCacheRead(const char *buf, size_t len, const std::string &key, REP_FLEETROW *row);
bool Rep_GridCached(const REP_GRIDDIR &d, const std::string &key, REP_FLEETROW *row);

