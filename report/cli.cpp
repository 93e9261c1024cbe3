// The command line: options, the program's settings file for the limits, and
// the exit status a production test script can rely on.
#include "report.h"

#include <ctype.h>
#include <errno.h>
#include <stdlib.h>
#include <string.h>

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
    "  --help       this text\n"
    "  --version    the program's version\n"
    "\n"
    "Without limits the program's defaults apply: 0 to 255 absolute, 0 to 250 %\n"
    "relative; noise is judged only with --noise. A beam is flagged when its\n"
    "median lies below the lower or above the upper limit, or its noise exceeds\n"
    "the noise limit.\n"
    "Exit status: 0 no beam flagged, 1 beams flagged, 2 unusable input or bad\n"
    "option; one line on standard error says which.\n";

enum { INI_MIN_ABS, INI_MAX_ABS, INI_MIN_REL, INI_MAX_REL, INI_SCALE, INI_KEYS };
static const char *const kIniSection[INI_KEYS] = {"Limits", "Limits", "Limits", "Limits", "View"};
static const char *const kIniKey[INI_KEYS] = {"LimitMinAbs", "LimitMaxAbs", "LimitMinRel", "LimitMaxRel",
                                             "MinAbsValue"};
static const int32_t kIniDefault[INI_KEYS] = {0, 255, 0, 250, 0};

struct OPTIONS {
    std::vector<std::string> logs;
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

static bool ParseArgs(int argc, char **argv, OPTIONS *o, bool *help, std::string *error)
{
    bool files = false;
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        if (files || a.size() < 2 || a[0] != '-') {
            o->logs.push_back(a);
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
        static const char *const kWithValue[] = {"-o", "--min", "--max", "--noise", "--ini", "--csv"};
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
        int32_t *v = a == "--min" ? &o->iMin : a == "--max" ? &o->iMax : &o->iNoise;
        (a == "--min" ? o->fMin : a == "--max" ? o->fMax : o->fNoise) = true;
        if (!WholeNumber(value, v) || (a == "--noise" && *v < 0)) {
            *error = "bad value for " + a + ": " + value;
            return false;
        }
    }
    if (o->logs.empty())
        *error = "no log given";
    else if (o->out.empty())
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
    std::unique_ptr<REP_LOG> log(new REP_LOG);
    if (!Rep_ReadLogs(log.get(), o.logs, &error))
        return Finish(2, error);
    REP_LIMITS lim = Limits(o, ini, log->fRelative);
    std::vector<REP_BEAM> beams;
    Rep_BeamStats(*log, lim, &beams);
    if (!WriteFile(o.out, Rep_Html(*log, beams, lim), &error) ||
        (!o.csv.empty() && !WriteFile(o.csv, Rep_Csv(beams), &error)))
        return Finish(2, error);
    std::string list;
    int flagged = 0;
    for (const REP_BEAM &b : beams)
        if (b.uFlags && flagged++ < 20)
            list += (list.empty() ? "" : ", ") + std::to_string(b.iBeam) + (log->uRods == 3 ? b.iRod ? "/2" : "/1" : "");
    if (flagged > 20)
        list += ", ...";
    std::string counts = std::to_string(beams.size()) + " beams, " + std::to_string(log->nCycles) + " cycles, " +
                         std::to_string(log->nSkipped) + " lines skipped; report " + o.out;
    if (!flagged)
        return Finish(0, "no beam flagged (" + counts + ")");
    return Finish(1, std::to_string(flagged) + " of " + std::to_string(beams.size()) + " beams flagged: " + list +
                         " (" + counts + ")");
}
