// zebreport: a one-page service report from the program's data logs, the
// change a service visit made (as found, as left) and a grid's history
// across visits.
#pragma once

#include "logread.h"

#define CHART_W 1000   // drawing units; one is about 0.18 mm on an A4 page
#define CHART_L 56
#define CHART_R 990
#define CHART_T 12

struct REP_FRAME {   // a plot area and the value range it shows
    double lo, hi;
    int iBottom;
};

// html.cpp, charts.cpp, csv.cpp
void Rep_PageStart(std::string *out, const std::string &title, const std::string &heading);
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
bool Rep_ScanVisits(REP_HISTORY *h, const std::vector<std::string> &paths, std::string *error);
bool Rep_ReadVisits(REP_HISTORY *h, const REP_LIMITS &lim, std::string *error);
void Rep_Forecast(REP_HISTORY *h, const REP_LIMITS &lim);
double Rep_PerMonth(double slope);   // a slope of ln(value) per day as percent per month
std::string Rep_DayText(double day);   // YYYY-MM-DD
std::string Rep_HistorySummary(const REP_HISTORY &h);
std::string Rep_ForecastText(const REP_HBEAM &b);
std::string Rep_HistoryHtml(const REP_HISTORY &h, const REP_LIMITS &lim);
std::string Rep_HistoryCsv(const REP_HISTORY &h);
std::string Rep_BeamList(const std::vector<std::string> &names);   // "beams 17 and 40"

// cli.cpp
int Rep_Main(int argc, char **argv);
