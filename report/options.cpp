// The command line: options parsed into a job, the job run, its lines on
// standard error and its status as the exit status a production test script
// can rely on.
#include "report.h"

#include <ctype.h>
#include <errno.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>

static const char kUsage[] =
    "usage: zebreport [options] LOG... -o REPORT.html\n"
    "Turns the program's data logs (name_YYYYMMDDThhmmss.log) into a one-page\n"
    "service report: summary, values and noise per beam, the trend over time and\n"
    "the beams that need attention. Several logs of one grid are read in the\n"
    "order given as one recording.\n"
    "\n"
    "  -o FILE      the report to write (HTML, self-contained, prints on A4)\n"
    "  --min V      lower limit: an absolute value, or percent for relative logs\n"
    "  --max V      upper limit\n"
    "  --noise V    noise limit: maximum minus minimum of a beam\n"
    "  --ini FILE   take the limits from the program's settings file: the\n"
    "               absolute or relative pair of [Limits] according to the logs,\n"
    "               and [View] MinAbsValue as the foot of the scale; --min and\n"
    "               --max still win\n"
    "  --csv FILE   also write the statistics of every beam for a spreadsheet:\n"
    "               UTF-8 with a byte-order mark, ';' between cells, a header\n"
    "               row and decimal commas\n"
    "\n"
    "  --as-found LOG... --as-left LOG...\n"
    "               a service visit: the grid before and after cleaning or\n"
    "               realigning (same value type, rod pairs and beams); per beam\n"
    "               both medians, the change and both verdicts, and the change\n"
    "               over the rod classified as uniform, gradient or isolated\n"
    "  --history LOG...\n"
    "               a grid's visits in any order, a visit being the logs of one\n"
    "               Date line (the day's last recording counts); per beam the\n"
    "               visits' medians, the trend and the date range in which it\n"
    "               reaches the lower limit, which must be above 0\n"
    "  --horizon DAYS  history: flag beams whose trend may reach the lower\n"
    "               limit within DAYS of the last visit (default 180); fleet:\n"
    "               action within DAYS of --today (default 30)\n"
    "  --reserve-green X, --reserve-yellow X\n"
    "               history: the last median as a multiple of the lower limit\n"
    "               is green from X (default 2), yellow from X (default 1.2)\n"
    "  --grid FOLDER\n"
    "               --history of every log below FOLDER (a grid's folder with\n"
    "               its card grid.ini), with the card's limits and identity; a\n"
    "               log of other beams, rod pairs or value type is left out\n"
    "  --fleet ARCHIVE\n"
    "               the visit plan of every grid below ARCHIVE (each folder with\n"
    "               a grid.ini), most urgent first\n"
    "  --pages DIR  fleet: also each grid's history page, linked from its row\n"
    "  --today YYYY-MM-DD  fleet: the day the plan is made for (default today)\n"
    "  --lang de|en the pages' language (default de); standard error and the\n"
    "               CSV files stay English\n"
    "  --technician NAME  shown on the page, with a block to sign\n"
    "  --help       this text\n"
    "  --version    the program's version\n"
    "\n"
    "Without limits the program's defaults apply: 0 to 255 absolute, 0 to 250 %\n"
    "relative; noise is judged only with --noise or a card's Noise. A beam is\n"
    "flagged when its median lies below the lower or above the upper limit, or\n"
    "its noise exceeds the noise limit.\n"
    "A grid's card (grid.ini in the grid's folder, the nearest one above a log)\n"
    "gives the identity on every page, [Limits] like the settings file plus\n"
    "Noise, and [Grid] IntervalMonths (default 6); options still win over it.\n"
    "Each log's reduction is kept beside it (LOG.zebsum), and a grid's row of\n"
    "the plan in its folder (grid.zebsum); each is used while its files keep\n"
    "their size and time.\n"
    "Exit status: 0 no beam flagged, 1 beams flagged (as left: outside the\n"
    "limits; history: outside them at the last visit or predicted to reach the\n"
    "lower limit within --horizon; fleet: a grid overdue or with action within\n"
    "the horizon), 2 unusable input or bad option (fleet: no grid could be\n"
    "judged, or a page was not written); the last line on standard error\n"
    "says which.\n";

static bool Decimal(const std::string &s, double *v)
{
    char *end;
    errno = 0;
    *v = strtod(s.c_str(), &end);
    return !s.empty() && !*end && !errno && isdigit((unsigned char)s[0]) && *v > 0 && *v < 1e6;
}

static bool Day(const std::string &s, int32_t *day)
{
    std::string line = "Date: " + s;
    return Rep_ParseDate(line.data(), line.size(), day);
}

// Whether the logs the options name fit together, else why not.
static std::string CheckModes(const REP_JOB &o)
{
    const auto &l = o.logs;
    bool logs = std::any_of(std::begin(l), std::end(l), [](const std::vector<std::string> &v) { return !v.empty(); });
    if (!o.grid.empty() + !o.fleet.empty() + logs > 1)
        return "--grid, --fleet and logs do not go together";
    if (!o.pages.empty() && o.fleet.empty())
        return "--pages goes with --fleet";
    if (!o.grid.empty() || !o.fleet.empty())
        return "";
    if (!l[JOB_HISTORY].empty() && (!l[JOB_FOUND].empty() || !l[JOB_LEFT].empty()))
        return "--history and --as-found/--as-left do not go together";
    if (l[JOB_FOUND].empty() != l[JOB_LEFT].empty())
        return l[JOB_FOUND].empty() ? "--as-left needs --as-found LOG..." : "--as-found needs --as-left LOG...";
    if (!l[JOB_FOUND].empty() && !l[JOB_LOGS].empty())
        return "log " + l[JOB_LOGS][0] + " is neither --as-found nor --as-left";
    if (o.flYellow > o.flGreen)
        return "--reserve-yellow must not be above --reserve-green";
    return logs ? "" : "no log given";
}

std::string Rep_CheckJob(const REP_JOB &o)
{
    std::string error = CheckModes(o);
    return !error.empty() || !o.out.empty() ? error : "no report file given (-o REPORT.html)";
}

bool Rep_ParseJob(int argc, char **argv, REP_JOB *o, bool *help, std::string *error)
{
    static const char *const kModeOption[JOB_LOGSETS] = {"", "--as-found", "--as-left", "--history"};
    bool files = false;
    int mode = JOB_LOGS;
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        if (files || a.size() < 2 || a[0] != '-') {
            o->logs[mode].push_back(a);
            continue;
        }
        int m = 1;
        while (m < JOB_LOGSETS && a != kModeOption[m])
            m++;
        if (m < JOB_LOGSETS) {
            mode = m;
            continue;
        }
        if (a == "--") {
            files = true;
            continue;
        }
        if (a == "--help" || a == "-h") {
            *help = true;
            return true;
        }
        std::string value;
        bool inline_ = false;
        size_t eq = a.find('=');
        if (a.compare(0, 2, "--") == 0 && eq != std::string::npos) {
            value = a.substr(eq + 1);
            a.resize(eq);
            inline_ = true;
        }
        static const char *const kWithValue[] = {"-o",      "--min",   "--max",        "--noise",         "--ini",
                                                 "--csv",   "--horizon", "--reserve-green", "--reserve-yellow",
                                                 "--grid",  "--fleet", "--pages",      "--today",         "--lang",
                                                 "--technician"};
        bool known = false;
        for (const char *k : kWithValue)
            known |= a == k;
        if (!known) {
            *error = "unknown option " + a;
            return false;
        }
        if (!inline_) {
            if (i + 1 >= argc) {
                *error = "option " + a + " needs a value";
                return false;
            }
            value = argv[++i];
        }
        std::string *text = a == "-o" ? &o->out : a == "--csv" ? &o->csv : a == "--ini" ? &o->ini
                          : a == "--grid" ? &o->grid : a == "--fleet" ? &o->fleet : a == "--pages" ? &o->pages
                          : a == "--technician" ? &o->technician : nullptr;
        if (text) {
            *text = value;
            continue;
        }
        bool bad = false;
        if (a == "--reserve-green" || a == "--reserve-yellow") {
            bad = !Decimal(value, a == "--reserve-green" ? &o->flGreen : &o->flYellow);
        } else if (a == "--horizon") {
            bad = !Rep_WholeNumber(value, &o->iHorizon) || o->iHorizon < 0 || o->iHorizon > 100000;
            o->fHorizon = true;
        } else if (a == "--today") {
            bad = !Day(value, &o->iToday);
        } else if (a == "--lang") {
            bad = (o->iLang = Rep_LangOf(value)) < 0;
        } else {
            int32_t *v = a == "--min" ? &o->iMin : a == "--max" ? &o->iMax : &o->iNoise;
            (a == "--min" ? o->fMin : a == "--max" ? o->fMax : o->fNoise) = true;
            bad = !Rep_WholeNumber(value, v) || (a == "--noise" && *v < 0);
        }
        if (bad) {
            *error = "bad value for " + a + ": " + value;
            return false;
        }
    }
    return (*error = Rep_CheckJob(*o)).empty();
}


int Rep_Main(int argc, char **argv)
{
    REP_JOB job;
    bool help = false;
    std::string error;
    if (!Rep_ParseJob(argc, argv, &job, &help, &error)) {
        fprintf(stderr, "zebreport: %s (see --help)\n", error.c_str());
        return 2;
    }
    if (help) {
        fputs(kUsage, stdout);
        return 0;
    }
    REP_RESULT res;
    Rep_RunJob(job, &res);
    for (const std::string &note : res.aNotes)
        fprintf(stderr, "zebreport: %s\n", note.c_str());
    fprintf(stderr, "zebreport: %s\n", res.strLine.c_str());
    return res.iStatus;
}
