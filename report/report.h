// zebreport: a one-page service report from the program's data logs, the
// change a service visit made (as found, as left) and a grid's history
// across visits.
#pragma once

#include "logread.h"

#include <math.h>
#include <string.h>

#include <functional>

// texts.cpp: the pages' texts in every language (texts.def), numbers and
// dates as the page's language writes them.
enum {
#define TX(id, de, en) id,
#include "texts.def"
#undef TX
    TX_COUNT
};
enum { REP_LANG_DE, REP_LANG_EN, REP_LANGS };
extern int Rep_iLang;
bool Rep_SetLang(const std::string &code);
const char *Rep_T(int id);
std::string Rep_Tf(int id, ...);
std::string Rep_Fixed(double v, int places);   // the language's decimal mark
std::string Rep_N(double v);                   // Rep_Num with it
std::string Rep_PageDay(double day);           // 09.12.2026 or 2026-12-09
std::string Rep_PageTime(int64_t tMs, bool date);
std::string Rep_PageReasons(unsigned flags);
const char *Rep_SkipReason(int reason);

// card.cpp: a grid's card (grid.ini in the grid's folder) and the identity
// block it gives a page.
#define REP_CARD_NAME "grid.ini"
enum { CARD_CUSTOMER, CARD_SITE, CARD_MACHINE, CARD_GRID, CARD_SERIAL, CARD_TEXTS = CARD_SERIAL + 1,
       CARD_INTERVAL = CARD_TEXTS, CARD_MIN_ABS, CARD_MAX_ABS, CARD_MIN_REL, CARD_MAX_REL, CARD_NOISE, CARD_KEYS };
struct REP_CARD {
    std::string strPath;                // the card
    std::string astrText[CARD_TEXTS];   // UTF-8
    bool afHave[CARD_KEYS] = {};        // numbers given
    int32_t aiValue[CARD_KEYS] = {};    // CARD_INTERVAL is 6 when not given
    int iBadKey = -1, iBadLine = 0;     // the first value that is no number (CARD_KEYS: UTF-16), for a page
    std::string strBadValue;            // in its language; UTF-8
};
struct REP_IDENTITY {   // what the page being written shows of whose grid it is
    bool fCard = false;
    REP_CARD card;
    std::string strTechnician;   // UTF-8
    double flVisitDay = NAN;     // days since 1970-01-01 of the visit shown
};
extern REP_IDENTITY Rep_Who;
bool Rep_SameText(const std::string &a, const char *b);
bool Rep_WholeNumber(const std::string &s, int32_t *v);
void Rep_IniEach(const char *text, size_t len, const std::function<void(const std::string &section, const std::string &key,
                                                                        const std::string &value, int line)> &f);
bool Rep_ParseCard(const char *text, size_t len, const std::string &name, REP_CARD *card, std::string *error);
bool Rep_ReadSmall(const std::string &path, size_t most, std::string *bytes, std::string *error);
bool Rep_ReadCard(const std::string &path, REP_CARD *card, std::string *error);
std::string Rep_CardBadText(const REP_CARD &card);   // the first bad value, in the page's language
bool Rep_IsFile(const std::string &path);
std::string Rep_Absolute(const std::string &path);
std::string Rep_FindCard(const std::string &logPath);   // the nearest grid.ini above a log, or ""
int32_t Rep_AddMonths(int32_t day, int months);
void Rep_IdentityBlock(std::string *out);
void Rep_SignBlock(std::string *out);

#define CHART_W 1000   // drawing units; one is about 0.18 mm on an A4 page
#define CHART_L 56
#define CHART_R 990
#define CHART_T 12

struct REP_FRAME {   // a plot area and the value range it shows
    double lo, hi;
    int iBottom;
};

// html.cpp, charts.cpp, csv.cpp
void Rep_PageStart(std::string *out, const std::string &title, const std::string &heading,
                   const char *style = "");
std::string Rep_BeamName(unsigned rods, int rod, int beam);
void Rep_Fact(std::string *out, const char *name, const std::string &html);
std::string Rep_TypeText(int type, bool relative);
std::string Rep_LimitsHtml(const REP_LIMITS &lim, bool relative);
void Rep_LogsTable(std::string *out, const REP_LOG &log, const char *heading);
std::string Rep_Html(const REP_LOG &log, const std::vector<REP_BEAM> &beams, const REP_LIMITS &lim);
double Rep_ChartY(const REP_FRAME &f, double v);
double Rep_NiceStep(double span, int parts);
void Rep_ChartOpen(std::string *out, int height, const std::string &label);
void Rep_ChartGrid(std::string *out, const REP_FRAME &f);
void Rep_ChartLimit(std::string *out, const REP_FRAME &f, double v, const char *name);
void Rep_ChartLegend(std::string *out, const char *const *colours, const char *const *names, int n);
void Rep_BeamAxis(std::string *out, const REP_FRAME &f, int first, int last);
int64_t Rep_TimeStep(int64_t span);
void Rep_BeamCharts(std::string *out, const REP_LOG &log, const std::vector<REP_BEAM> &beams, const REP_LIMITS &lim);
void Rep_TrendChart(std::string *out, const REP_LOG &log, const REP_LIMITS &lim);
std::string Rep_Decimal(double v, int places);
std::string Rep_Csv(const std::vector<REP_BEAM> &beams, const std::vector<std::string> &extraHeader = {},
                    const std::vector<std::string> &extraCells = {});
std::string Rep_CsvFile(const std::string &rows);   // tab-separated rows as the file Excel opens

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

// compare.cpp: as found and as left.
struct REP_CHANGE {
    int iRod, iBeam;
    double flFound, flLeft;   // medians
    double flChange;          // as left minus as found
    double flPercent;         // of the value as found; NAN when that is not above 0
    unsigned uFound, uLeft;   // REP_FLAG_... against the limits
    int64_t iNoise;           // the beam's noise, as found or as left, whichever is larger
};
enum { REP_PATTERN_NONE, REP_PATTERN_UNIFORM, REP_PATTERN_GRADIENT, REP_PATTERN_ISOLATED, REP_PATTERN_MIXED, REP_PATTERNS };
struct REP_PATTERN {
    int iKind, iRod;
    int nBeams;                  // beams with a change in percent
    double flMedian;             // median change, percent
    double flWithin;             // share of the beams within the uniform band, percent
    double flTau, flSpan;        // change against position: Kendall's tau, fitted change first to last beam
    std::vector<int> aiIsolated; // indexes of the changes that stand out
};
enum {
    THR_OUTLIER_SD,
    THR_OUTLIER_PP,
    THR_ISOLATED_MIN,
    THR_ISOLATED_SHARE,
    THR_GRADIENT_TAU,
    THR_GRADIENT_PP,
    THR_UNIFORM_SHARE,
    THR_UNIFORM_PP,
    THR_NO_CHANGE,
    REP_THRESHOLDS
};
struct REP_THRESHOLD {
    double flValue;
    const char *pszUnit, *pszMeaning;
};
extern const REP_THRESHOLD Rep_aThreshold[REP_THRESHOLDS];
const char *Rep_PatternName(int kind);
std::string Rep_RecordingsDiffer(const REP_LOG &found, const REP_LOG &left);
void Rep_Changes(const std::vector<REP_BEAM> &found, const std::vector<REP_BEAM> &left, std::vector<REP_CHANGE> *out);
std::vector<const REP_CHANGE *> Rep_MostChanged(const std::vector<REP_CHANGE> &changes, size_t most);
REP_PATTERN Rep_ClassifyChange(const std::vector<REP_CHANGE> &changes, int rod);
std::string Rep_CompareSummary(const REP_LOG &found, const std::vector<REP_CHANGE> &changes,
                               const std::vector<REP_PATTERN> &patterns);
std::string Rep_CompareHtml(const REP_LOG &found, const REP_LOG &left, const std::vector<REP_CHANGE> &changes,
                            const std::vector<REP_PATTERN> &patterns, const REP_LIMITS &lim);
std::string Rep_CompareCsv(const std::vector<REP_CHANGE> &changes);

// history.cpp: visits, one recording a date, and a forecast per beam.
enum { REP_FC_INSUFFICIENT, REP_FC_NONE, REP_FC_BEYOND, REP_FC_RANGE, REP_FC_NOW };
enum { REP_LIGHT_GREEN, REP_LIGHT_YELLOW, REP_LIGHT_RED };
struct REP_VISIT {
    int32_t iDay;          // its Date line
    int64_t tStart;        // ms since 1970-01-01, the recording's first line
    std::string strPath;   // the recording that counts: the day's last
    int nLogs;             // logs given of that date
    uint64_t nCycles, nSkipped;
};
struct REP_HBEAM {
    int iRod, iBeam;
    std::vector<double> aflMedian;   // per visit; NAN where the visit has no such beam
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
    std::vector<REP_BEAM> aLast;      // statistics of the last visit
    REP_LOG logLast;                  // the last visit's recording, without its histograms
    double flHorizonDays = 180, flGreen = 2, flYellow = 1.2;
};
void Rep_Forecast(REP_HISTORY *h, const REP_LIMITS &lim);
double Rep_PerMonth(double slope);   // a slope of ln(value) per day as percent per month
std::string Rep_DayText(double day);   // YYYY-MM-DD
std::string Rep_HistorySummary(const REP_HISTORY &h);
std::string Rep_ForecastText(const REP_HBEAM &b);

std::string Rep_HistoryCsv(const REP_HISTORY &h);
std::string Rep_BeamList(const std::vector<std::string> &names);   // "beams 17 and 40"

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
std::string Rep_ShapeText(const REP_SHAPE &s);
bool Rep_HistoryFromLogs(REP_HISTORY *h, const std::vector<std::string> &logs, bool byShape,
                         std::vector<REP_LEFTOUT> *leftOut, REP_SUMSTATS *stats, std::string *error);
void Rep_LastVisitFlags(REP_HISTORY *h, const REP_LIMITS &lim);
void Rep_LeftOutList(std::string *out, const std::vector<REP_LEFTOUT> &left);
std::string Rep_HistoryHtml(const REP_HISTORY &h, const REP_LIMITS &lim, const std::vector<REP_LEFTOUT> &leftOut);

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
    std::vector<REP_LEFTOUT> aLeftOut;
};
void Rep_JudgeGrid(REP_FLEETROW *row, const REP_HISTORY &h, int32_t today, int horizon);
void Rep_GridStatus(REP_FLEETROW *row, int32_t today, int horizon);
std::string Rep_GridKey(const REP_GRIDDIR &d, const REP_LIMITS lim[2]);   // "" when a file cannot be seen
void Rep_GridCacheWrite(const REP_GRIDDIR &d, const std::string &key, const REP_FLEETROW &row);
bool Rep_GridCacheRead(const char *buf, size_t len, const std::string &key, REP_FLEETROW *row);
bool Rep_GridCached(const REP_GRIDDIR &d, const std::string &key, REP_FLEETROW *row);
std::string Rep_FleetHtml(const std::vector<REP_FLEETROW> &rows, int32_t today, int horizon);
std::string Rep_FleetCsv(const std::vector<REP_FLEETROW> &rows);

// cli.cpp
int Rep_Main(int argc, char **argv);
