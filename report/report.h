// zebreport: a one-page service report from the program's data logs, the
// change a service visit made (as found, as left) and a grid's history
// across visits.
#pragma once

#include "archive.h"

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
struct REP_PAGE;
int Rep_LangOf(const std::string &code);   // REP_LANG_..., or -1
const char *Rep_T(const REP_PAGE &pg, int id);
std::string Rep_Tf(const REP_PAGE &pg, int id, ...);
std::string Rep_Fixed(const REP_PAGE &pg, double v, int places);   // the language's decimal mark
std::string Rep_N(const REP_PAGE &pg, double v);                   // Rep_Num with it
std::string Rep_PageDay(const REP_PAGE &pg, double day);           // 09.12.2026 or 2026-12-09
std::string Rep_PageTime(const REP_PAGE &pg, int64_t tMs, bool date);
std::string Rep_PageReasons(const REP_PAGE &pg, unsigned flags);
const char *Rep_SkipReason(const REP_PAGE &pg, int reason);

// identity.cpp: whose grid a page shows.
struct REP_IDENTITY {   // what the page being written shows of whose grid it is
    bool fCard = false;
    REP_CARD card;
    std::string strTechnician;   // UTF-8
    double flVisitDay = NAN;     // days since 1970-01-01 of the visit shown
};
// What a page is written with: its language and whose grid it shows. Each
// page has its own; standard error and the CSV files get an English one.
struct REP_PAGE {
    int iLang = REP_LANG_DE;
    REP_IDENTITY who;
};
std::string Rep_CardBadText(const REP_PAGE &pg, const REP_CARD &card);   // the first bad value, in the page's language
void Rep_IdentityBlock(const REP_PAGE &pg, std::string *out);
void Rep_SignBlock(const REP_PAGE &pg, std::string *out);

#define CHART_W 1000   // drawing units; one is about 0.18 mm on an A4 page
#define CHART_L 56
#define CHART_R 990
#define CHART_T 12

struct REP_FRAME {   // a plot area and the value range it shows
    double lo, hi;
    int iBottom;
};

// html.cpp, charts.cpp, csv.cpp
void Rep_PageStart(const REP_PAGE &pg, std::string *out, const std::string &title, const std::string &heading,
                   const char *style = "");
std::string Rep_BeamName(const REP_PAGE &pg, unsigned rods, int rod, int beam);
void Rep_Fact(std::string *out, const char *name, const std::string &html);
std::string Rep_TypeText(const REP_PAGE &pg, int type, bool relative);
std::string Rep_LimitsHtml(const REP_PAGE &pg, const REP_LIMITS &lim, bool relative);
void Rep_LogsTable(const REP_PAGE &pg, std::string *out, const REP_LOG &log, const char *heading);
std::string Rep_Html(const REP_PAGE &pg, const REP_LOG &log, const std::vector<REP_BEAM> &beams, const REP_LIMITS &lim);
double Rep_ChartY(const REP_FRAME &f, double v);
double Rep_NiceStep(double span, int parts);
void Rep_ChartOpen(std::string *out, int height, const std::string &label);
void Rep_ChartGrid(const REP_PAGE &pg, std::string *out, const REP_FRAME &f);
void Rep_ChartLimit(const REP_PAGE &pg, std::string *out, const REP_FRAME &f, double v, const char *name);
void Rep_ChartLegend(std::string *out, const char *const *colours, const char *const *names, int n);
void Rep_BeamAxis(const REP_PAGE &pg, std::string *out, const REP_FRAME &f, int first, int last);
int64_t Rep_TimeStep(int64_t span);
void Rep_BeamCharts(const REP_PAGE &pg, std::string *out, const REP_LOG &log, const std::vector<REP_BEAM> &beams, const REP_LIMITS &lim);
void Rep_TrendChart(const REP_PAGE &pg, std::string *out, const REP_LOG &log, const REP_LIMITS &lim);
std::string Rep_Decimal(double v, int places);
std::string Rep_Csv(const std::vector<REP_BEAM> &beams, const std::vector<std::string> &extraHeader = {},
                    const std::vector<std::string> &extraCells = {});
std::string Rep_CsvFile(const std::string &rows);   // tab-separated rows as the file Excel opens

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
const char *Rep_PatternName(const REP_PAGE &pg, int kind);
std::string Rep_RecordingsDiffer(const REP_LOG &found, const REP_LOG &left);
void Rep_Changes(const std::vector<REP_BEAM> &found, const std::vector<REP_BEAM> &left, std::vector<REP_CHANGE> *out);
std::vector<const REP_CHANGE *> Rep_MostChanged(const std::vector<REP_CHANGE> &changes, size_t most);
REP_PATTERN Rep_ClassifyChange(const std::vector<REP_CHANGE> &changes, int rod);
std::string Rep_CompareSummary(const REP_PAGE &pg, const REP_LOG &found, const std::vector<REP_CHANGE> &changes,
                               const std::vector<REP_PATTERN> &patterns);
std::string Rep_CompareHtml(const REP_PAGE &pg, const REP_LOG &found, const REP_LOG &left, const std::vector<REP_CHANGE> &changes,
                            const std::vector<REP_PATTERN> &patterns, const REP_LIMITS &lim);
std::string Rep_CompareCsv(const std::vector<REP_CHANGE> &changes);

// history_text.cpp, history_html.cpp, fleet.cpp
std::string Rep_HistorySummary(const REP_PAGE &pg, const REP_HISTORY &h);
std::string Rep_ForecastText(const REP_PAGE &pg, const REP_HBEAM &b);
std::string Rep_HistoryCsv(const REP_PAGE &pg, const REP_HISTORY &h);
std::string Rep_BeamList(const REP_PAGE &pg, const std::vector<std::string> &names);   // "beams 17 and 40"
std::string Rep_ShapeText(const REP_PAGE &pg, const REP_SHAPE &s);
std::string Rep_FoundText(const REP_PAGE &pg, int low, int high, int beams, bool arrival = true);
std::string Rep_SoilingText(const REP_PAGE &pg, double rate, const std::string &beam);   // rate: ln per month, NAN for none
std::string Rep_AdviceText(const REP_PAGE &pg, const REP_HISTORY &h);
void Rep_LeftOutList(const REP_PAGE &pg, std::string *out, const std::vector<REP_LEFTOUT> &left);
std::string Rep_HistoryHtml(const REP_PAGE &pg, const REP_HISTORY &h, const REP_LIMITS &lim, const std::vector<REP_LEFTOUT> &leftOut);
std::string Rep_FleetHtml(const REP_PAGE &pg, const std::vector<REP_FLEETROW> &rows, int32_t today, int horizon);
std::string Rep_FleetCsv(const REP_PAGE &pg, const std::vector<REP_FLEETROW> &rows);

// options.cpp, jobs.cpp: what the command line (or the report window) asks
// for, run the same way whoever asked.
enum { JOB_LOGS, JOB_FOUND, JOB_LEFT, JOB_HISTORY, JOB_LOGSETS };
struct REP_JOB {
    std::vector<std::string> logs[JOB_LOGSETS];   // plain logs, as found, as left, history
    int32_t iHorizon = 180;
    bool fHorizon = false;
    double flGreen = 2, flYellow = 1.2;
    std::string out, csv, ini, grid, fleet, pages, technician;
    int32_t iToday = INT32_MIN;
    int iLang = REP_LANG_DE;
    bool fMin = false, fMax = false, fNoise = false;
    int32_t iMin = 0, iMax = 0, iNoise = 0;
};
struct REP_RESULT {
    int iStatus = 2;                  // the exit status: 0 all well, 1 flagged, 2 unusable input
    std::string strLine;              // what was found, or why nothing was; English
    std::vector<std::string> aNotes;  // logs left out, folders without a card; English
};
bool Rep_ParseJob(int argc, char **argv, REP_JOB *job, bool *help, std::string *error);
std::string Rep_CheckJob(const REP_JOB &job);   // "" when the job's parts go together
int Rep_RunJob(const REP_JOB &job, REP_RESULT *res);
int Rep_Main(int argc, char **argv);
