// The command line: options, the program's settings file for the limits, and
// the exit status a production test script can rely on.
#include "report.h"

#include <ctype.h>
#include <errno.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <memory>

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
    "  --csv FILE   also write the statistics of every beam, tab-separated with\n"
    "               a header row and decimal commas\n"
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
    "               limit within DAYS of the last visit (default 180)\n"
    "  --reserve-green X, --reserve-yellow X\n"
    "               history: the last median as a multiple of the lower limit\n"
    "               is green from X (default 2), yellow from X (default 1.2)\n"
    "  --help       this text\n"
    "  --version    the program's version\n"
    "\n"
    "Without limits the program's defaults apply: 0 to 255 absolute, 0 to 250 %\n"
    "relative; noise is judged only with --noise. A beam is flagged when its\n"
    "median lies below the lower or above the upper limit, or its noise exceeds\n"
    "the noise limit.\n"
    "Exit status: 0 no beam flagged, 1 beams flagged (as left: outside the\n"
    "limits; history: outside them at the last visit or predicted to reach the\n"
    "lower limit within --horizon), 2 unusable input or bad\n"
    "option; one line on standard error says which.\n";

enum { INI_MIN_ABS, INI_MAX_ABS, INI_MIN_REL, INI_MAX_REL, INI_SCALE, INI_KEYS };
static const char *const kIniSection[INI_KEYS] = {"Limits", "Limits", "Limits", "Limits", "View"};
static const char *const kIniKey[INI_KEYS] = {"LimitMinAbs", "LimitMaxAbs", "LimitMinRel", "LimitMaxRel",
                                             "MinAbsValue"};
static const int32_t kIniDefault[INI_KEYS] = {0, 255, 0, 250, 0};

enum { MODE_REPORT, MODE_FOUND, MODE_LEFT, MODE_HISTORY, MODES };
static const char *const kModeOption[MODES] = {"", "--as-found", "--as-left", "--history"};

struct OPTIONS {
    std::vector<std::string> logs[MODES];   // plain logs, as found, as left, history
    int32_t iHorizon = 180;
    double flGreen = 2, flYellow = 1.2;
    std::string out, csv, ini;
    bool fMin = false, fMax = false, fNoise = false;
    int32_t iMin = 0, iMax = 0, iNoise = 0;
};

static bool SameText(const std::string &a, const char *b)
{
    if (a.size() != strlen(b))
        return false;
    for (size_t i = 0; i < a.size(); i++)
        if (tolower((unsigned char)a[i]) != tolower((unsigned char)b[i]))
            return false;
    return true;
}

static std::string Trim(const char *s, size_t n)
{
    while (n && (*s == ' ' || *s == '\t'))
        s++, n--;
    while (n && (s[n - 1] == ' ' || s[n - 1] == '\t'))
        n--;
    return std::string(s, n);
}

// A plain signed decimal in 32 bits.
static bool WholeNumber(const std::string &s, int32_t *v)
{
    char *end;
    errno = 0;
    long long x = strtoll(s.c_str(), &end, 10);
    if (s.empty() || *end || errno || x < INT32_MIN || x > INT32_MAX || !(isdigit((unsigned char)s[0]) || s[0] == '-'))
        return false;
    *v = (int32_t)x;
    return true;
}

// The keys the report needs, read like the program's profile functions: names
// in any case, the first occurrence counts, a missing key is its default.
static bool ReadIni(const std::string &path, int32_t values[INI_KEYS], std::string *error)
{
    bool have[INI_KEYS] = {};
    REP_LINES ls;
    if (!Rep_OpenLines(&ls, path.c_str(), UINT64_MAX)) {
        *error = path + ": cannot open (" + strerror(errno) + ")";
        return false;
    }
    std::unique_ptr<REP_LINES, void (*)(REP_LINES *)> closer(&ls, Rep_CloseLines);
    std::string section;
    const char *s;
    size_t n;
    int r;
    while ((r = Rep_NextLine(&ls, &s, &n)) != REP_LINE_END) {
        if (r == REP_LINE_LONG)
            continue;
        std::string line = Trim(s, n);
        if (line.size() >= 2 && line[0] == '[' && line.back() == ']') {
            section = Trim(line.data() + 1, line.size() - 2);
            continue;
        }
        size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        std::string key = Trim(line.data(), eq), value = Trim(line.data() + eq + 1, line.size() - eq - 1);
        for (int i = 0; i < INI_KEYS; i++) {
            if (have[i] || !SameText(section, kIniSection[i]) || !SameText(key, kIniKey[i]))
                continue;
            have[i] = true;
            if (!WholeNumber(value, &values[i])) {
                *error = path + ": [" + kIniSection[i] + "] " + kIniKey[i] + " is not a whole number";
                return false;
            }
        }
    }
    if (Rep_LinesFailed(&ls)) {
        *error = path + ": read error";
        return false;
    }
    return true;
}

static bool Decimal(const std::string &s, double *v)
{
    char *end;
    errno = 0;
    *v = strtod(s.c_str(), &end);
    return !s.empty() && !*end && !errno && isdigit((unsigned char)s[0]) && *v > 0 && *v < 1e6;
}

// Whether the logs the options name fit together, else why not.
static std::string CheckModes(const OPTIONS &o)
{
    const auto &l = o.logs;
    if (!l[MODE_HISTORY].empty() && (!l[MODE_FOUND].empty() || !l[MODE_LEFT].empty()))
        return "--history and --as-found/--as-left do not go together";
    if (l[MODE_FOUND].empty() != l[MODE_LEFT].empty())
        return l[MODE_FOUND].empty() ? "--as-left needs --as-found LOG..." : "--as-found needs --as-left LOG...";
    if (!l[MODE_FOUND].empty() && !l[MODE_REPORT].empty())
        return "log " + l[MODE_REPORT][0] + " is neither --as-found nor --as-left";
    if (o.flYellow > o.flGreen)
        return "--reserve-yellow must not be above --reserve-green";
    for (const auto &logs : l)
        if (!logs.empty())
            return "";
    return "no log given";
}

static bool ParseArgs(int argc, char **argv, OPTIONS *o, bool *help, std::string *error)
{
    bool files = false;
    int mode = MODE_REPORT;
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        if (files || a.size() < 2 || a[0] != '-') {
            o->logs[mode].push_back(a);
            continue;
        }
        int m = 1;
        while (m < MODES && a != kModeOption[m])
            m++;
        if (m < MODES) {
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
        static const char *const kWithValue[] = {"-o",    "--min",     "--max",           "--noise",         "--ini",
                                                 "--csv", "--horizon", "--reserve-green", "--reserve-yellow"};
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
        if (a == "-o" || a == "--csv" || a == "--ini") {
            (a == "-o" ? o->out : a == "--csv" ? o->csv : o->ini) = value;
            continue;
        }
        bool bad = false;
        if (a == "--reserve-green" || a == "--reserve-yellow") {
            bad = !Decimal(value, a == "--reserve-green" ? &o->flGreen : &o->flYellow);
        } else if (a == "--horizon") {
            bad = !WholeNumber(value, &o->iHorizon) || o->iHorizon < 0;
        } else {
            int32_t *v = a == "--min" ? &o->iMin : a == "--max" ? &o->iMax : &o->iNoise;
            (a == "--min" ? o->fMin : a == "--max" ? o->fMax : o->fNoise) = true;
            bad = !WholeNumber(value, v) || (a == "--noise" && *v < 0);
        }
        if (bad) {
            *error = "bad value for " + a + ": " + value;
            return false;
        }
    }
    if (!(*error = CheckModes(*o)).empty())
        return false;
    if (o->out.empty())
        *error = "no report file given (-o REPORT.html)";
    return error->empty();
}

static bool WriteFile(const std::string &path, const std::string &text, std::string *error)
{
    FILE *f = fopen(path.c_str(), "wb");
    bool ok = f && fwrite(text.data(), 1, text.size(), f) == text.size();
    int err = errno;
    if (f && fclose(f) != 0)
        ok = false;
    if (!ok)
        *error = path + ": cannot write (" + strerror(f ? errno : err) + ")";
    return ok;
}

static REP_LIMITS Limits(const OPTIONS &o, const int32_t ini[INI_KEYS], bool relative)
{
    REP_LIMITS lim;
    lim.iMin = ini[relative ? INI_MIN_REL : INI_MIN_ABS];
    lim.iMax = ini[relative ? INI_MAX_REL : INI_MAX_ABS];
    lim.iScaleMin = ini[INI_SCALE];
    lim.fNoise = o.fNoise;
    lim.iNoise = o.iNoise;
    if (o.fMin)
        lim.iMin = o.iMin;
    if (o.fMax)
        lim.iMax = o.iMax;
    std::string file = o.ini.empty() ? "program default" : o.ini;
    lim.strMinFrom = o.fMin ? "--min" : file;
    lim.strMaxFrom = o.fMax ? "--max" : file;
    return lim;
}

static int Finish(int status, const std::string &text)
{
    fprintf(stderr, "zebreport: %s\n", text.c_str());
    return status;
}

static std::string Names(const std::vector<std::string> &names)
{
    std::string s;
    for (size_t i = 0; i < names.size() && i < 20; i++)
        s += (i ? ", " : "") + names[i];
    return names.size() > 20 ? s + ", ..." : s;
}

// As found and as left: each side read once, as one recording.
static int Compare(const OPTIONS &o, const int32_t ini[INI_KEYS])
{
    std::unique_ptr<REP_LOG> found(new REP_LOG), left(new REP_LOG);
    std::string error;
    if (!Rep_ReadLogs(found.get(), o.logs[MODE_FOUND], &error, false) ||
        !Rep_ReadLogs(left.get(), o.logs[MODE_LEFT], &error, false))
        return Finish(2, error);
    if (!(error = Rep_RecordingsDiffer(*found, *left)).empty())
        return Finish(2, error);
    REP_LIMITS lim = Limits(o, ini, found->fRelative);
    std::vector<REP_BEAM> before, after;
    Rep_BeamStats(*found, lim, &before);
    Rep_BeamStats(*left, lim, &after);
    std::vector<REP_CHANGE> changes;
    Rep_Changes(before, after, &changes);
    std::vector<REP_PATTERN> patterns;
    std::string kinds;
    for (int rod = 0; rod < REP_RODS; rod++)
        if (found->uRods & 1u << rod) {
            patterns.push_back(Rep_ClassifyChange(changes, rod));
            kinds += (kinds.empty() ? "" : ", ") + std::string(Rep_PatternName(patterns.back().iKind));
        }
    if (!WriteFile(o.out, Rep_CompareHtml(*found, *left, changes, patterns, lim), &error) ||
        (!o.csv.empty() && !WriteFile(o.csv, Rep_CompareCsv(changes), &error)))
        return Finish(2, error);
    bool outside = std::any_of(changes.begin(), changes.end(), [](const REP_CHANGE &c) { return c.uLeft != 0; });
    return Finish(outside ? 1 : 0, Rep_CompareSummary(*found, changes, patterns) + "; change over the rod: " + kinds +
                                       " (" + std::to_string(changes.size()) + " beams; report " + o.out + ")");
}

// A grid's visits: a forecast per beam against the lower limit.
static int History(const OPTIONS &o, const int32_t ini[INI_KEYS])
{
    std::unique_ptr<REP_HISTORY> h(new REP_HISTORY);
    std::vector<std::string> logs = o.logs[MODE_REPORT];
    logs.insert(logs.end(), o.logs[MODE_HISTORY].begin(), o.logs[MODE_HISTORY].end());
    std::string error;
    if (!Rep_ScanVisits(h.get(), logs, &error))
        return Finish(2, error);
    REP_LIMITS lim = Limits(o, ini, h->fRelative);
    if (lim.iMin <= 0)
        return Finish(2, "--history needs a lower limit above 0 (--min, or " +
                             std::string(h->fRelative ? "LimitMinRel" : "LimitMinAbs") + " of the settings file with --ini)");
    h->flHorizonDays = o.iHorizon;
    h->flGreen = o.flGreen;
    h->flYellow = o.flYellow;
    if (!Rep_ReadVisits(h.get(), lim, &error))
        return Finish(2, error);
    Rep_Forecast(h.get(), lim);
    if (!WriteFile(o.out, Rep_HistoryHtml(*h, lim), &error) ||
        (!o.csv.empty() && !WriteFile(o.csv, Rep_HistoryCsv(*h), &error)))
        return Finish(2, error);
    std::vector<std::string> flagged;
    for (const REP_HBEAM &b : h->aBeams)
        if (b.uFlags)
            flagged.push_back(std::to_string(b.iBeam) + (h->uRods == 3 ? b.iRod ? "/2" : "/1" : ""));
    std::string counts = " (" + std::to_string(h->aVisits.size()) + (h->aVisits.size() == 1 ? " visit, " : " visits, ") + std::to_string(h->aBeams.size()) +
                         " beams; report " + o.out + ")";
    if (flagged.empty())
        return Finish(0, Rep_HistorySummary(*h) + counts);
    return Finish(1, std::to_string(flagged.size()) + " of " + std::to_string(h->aBeams.size()) +
                         " beams flagged: " + Names(flagged) + ". " + Rep_HistorySummary(*h) + counts);
}

int Rep_Main(int argc, char **argv)
{
    OPTIONS o;
    bool help = false;
    std::string error;
    if (!ParseArgs(argc, argv, &o, &help, &error))
        return Finish(2, error + " (see --help)");
    if (help) {
        fputs(kUsage, stdout);
        return 0;
    }
    int32_t ini[INI_KEYS];
    memcpy(ini, kIniDefault, sizeof(ini));
    if (!o.ini.empty() && !ReadIni(o.ini, ini, &error))
        return Finish(2, error);
    if (!o.logs[MODE_FOUND].empty())
        return Compare(o, ini);
    if (!o.logs[MODE_HISTORY].empty())
        return History(o, ini);
    std::unique_ptr<REP_LOG> log(new REP_LOG);
    if (!Rep_ReadLogs(log.get(), o.logs[MODE_REPORT], &error))
        return Finish(2, error);
    REP_LIMITS lim = Limits(o, ini, log->fRelative);
    std::vector<REP_BEAM> beams;
    Rep_BeamStats(*log, lim, &beams);
    if (!WriteFile(o.out, Rep_Html(*log, beams, lim), &error) ||
        (!o.csv.empty() && !WriteFile(o.csv, Rep_Csv(beams), &error)))
        return Finish(2, error);
    std::vector<std::string> names;
    for (const REP_BEAM &b : beams)
        if (b.uFlags)
            names.push_back(std::to_string(b.iBeam) + (log->uRods == 3 ? b.iRod ? "/2" : "/1" : ""));
    int flagged = (int)names.size();
    std::string list = Names(names);
    std::string counts = std::to_string(beams.size()) + " beams, " + std::to_string(log->nCycles) + " cycles, " +
                         std::to_string(log->nSkipped) + " lines skipped; report " + o.out;
    if (!flagged)
        return Finish(0, "no beam flagged (" + counts + ")");
    return Finish(1, std::to_string(flagged) + " of " + std::to_string(beams.size()) + " beams flagged: " + list +
                         " (" + counts + ")");
}
