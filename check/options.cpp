// The command line: the program's settings first (its defaults, then a
// settings file through its own table and corrections), then the options,
// which are checked rather than clamped: a test stand must not measure
// something other than what it asked for.
#include "check.h"

#include "display.h"
#include "settings.h"

#include <errno.h>
#include <math.h>
#include <stdlib.h>
#include <string.h>

const char Chk_szUsage[] =
    "usage: zebcheck [options]\n"
    "Measures a rod pair of a beam grid through the controller's RS232 line, as\n"
    "the program does, judges every beam and records the result.\n"
    "\n"
    "Settings (later ones win: the program's defaults, --ini, the options):\n"
    "  --ini FILE         the program's settings file (port, bit rate, protocol,\n"
    "                     beam range, rod pair, diagonal, gain, cycle delay,\n"
    "                     MinAbsValue, the absolute limits)\n"
    "  --port NAME        serial port, for example COM3\n"
    "  --baud N           bit rate\n"
    "  --protocol P       old, b64 or b64cont\n"
    "  --first N, --last N   beam range, 1..999\n"
    "  --rod 1|2          rod pair\n"
    "  --diagonal         with diagonal beams\n"
    "  --gain N           gain, 0..65535\n"
    "  --type T           signal, sender, receiver or reference (signal strengths,\n"
    "                     transmitter feedback, receiver feedback, stored references)\n"
    "Run:\n"
    "  --cycles N         measure until N cycles have arrived (default 20); a\n"
    "                     cycle under way then is finished and judged too\n"
    "  --seconds S        measure for S seconds instead\n"
    "  --retries N        repeat a cycle that fails up to N times in a row\n"
    "                     (default 2)\n"
    "Verdict, per beam over the run (values as the program shows them):\n"
    "  --min V, --max V   the median must lie within (default: the settings\n"
    "                     file's LimitMinAbs and LimitMaxAbs, else 0 and 255)\n"
    "  --noise V          maximum - minimum must not exceed V\n"
    "  --ref FILE --tolerance P\n"
    "                     the median must lie within the reference value +-P %\n"
    "                     (FILE: any file the program imports references from)\n"
    "  --guard noise|P    a passing beam whose median lies within its own noise\n"
    "                     (noise) or P % of a limit is marginal\n"
    "  --marginal-fails   a marginal beam fails\n"
    "Output:\n"
    "  --verbose          list every beam, not only the failing ones\n"
    "  --json FILE        settings, identity, times, beams and verdict as JSON\n"
    "  --junit FILE       JUnit XML, one test case per beam\n"
    "  --log FILE         the program's data log of the run; a folder (existing,\n"
    "                     or named with a trailing \\ or /) gets\n"
    "                     STATION_ID_YYYYMMDDTHHMMSS.log\n"
    "  --id TEXT          the grid's identity (a serial number) for the files\n"
    "  --station NAME     the test station, for the files and the history\n"
    "  --history FILE     append one JSON line per run (several stations may\n"
    "                     share the file); the attempt is counted per --id\n"
    "  --summary FILE     no measurement: yields and retests from a history,\n"
    "                     per station and in all (--json FILE: also as JSON)\n"
    "  --help             this text\n"
    "  --version          zebcheck's version\n"
    "\n"
    "Exit status: 0 every beam passed, 1 some beam failed, 2 nothing was judged\n"
    "(bad option, no such port, port busy, link error after the retries,\n"
    "unusable reference file, interrupted); one line on standard error says why,\n"
    "and the JSON and JUnit files named hold the error.\n";

static const char *const kTypeNames[VT_COUNT] = {"signal", "receiver", "sender", "reference"};
static const char *const kProtocolNames[PROTO_COUNT] = {"old", "b64", "b64cont"};
static_assert(VT_RECEIVER == 1 && VT_TRANSMITTER == 2, "names follow the value type numbers");

const char *Chk_TypeName(int type)
{
    return type >= 0 && type < VT_COUNT ? kTypeNames[type] : "?";
}

const char *Chk_ProtocolName(int variant)
{
    return variant >= 0 && variant < PROTO_COUNT ? kProtocolNames[variant] : "?";
}

static int Lookup(const char *const *names, int count, const std::string &s)
{
    for (int i = 0; i < count; i++)
        if (s == names[i])
            return i;
    return -1;
}

// The whole text a decimal integer within lo..hi.
static bool ParseInt(const std::string &s, long long lo, long long hi, INT32 *out)
{
    if (s.empty() || isspace((unsigned char)s[0]))
        return false;
    char *end;
    errno = 0;
    long long v = strtoll(s.c_str(), &end, 10);
    if (*end || errno == ERANGE || v < lo || v > hi)
        return false;
    *out = (INT32)v;
    return true;
}

static bool ParseNumber(const std::string &s, double lo, double hi, double *out)
{
    if (s.empty() || isspace((unsigned char)s[0]))
        return false;
    char *end;
    double v = strtod(s.c_str(), &end);
    if (*end || !isfinite(v) || v < lo || v > hi)
        return false;
    *out = v;
    return true;
}

// Options that take a value; the others are switches.
static const char *const kValued[] = {"--ini",    "--port", "--baud",   "--protocol", "--first",     "--last",
                                      "--rod",    "--gain", "--type",   "--cycles",   "--seconds",   "--retries",
                                      "--min",    "--max",  "--noise",  "--ref",      "--tolerance", "--json",
                                      "--junit",  "--log",  "--id",     "--station",  "--history",   "--summary",
                                      "--guard"};

static bool Valued(const std::string &name)
{
    for (const char *v : kValued)
        if (name == v)
            return true;
    return false;
}

struct ARG {
    std::string name, value;
};

// Goes on after a fault so that the paths of the result files are known
// whatever the fault; *error keeps the first.
static void SplitArgs(int argc, char **argv, std::vector<ARG> *args, std::string *error)
{
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i], v, fault;
        size_t eq = a.find('=');
        bool inline_ = a.compare(0, 2, "--") == 0 && eq != std::string::npos;
        if (inline_) {
            v = a.substr(eq + 1);
            a = a.substr(0, eq);
        }
        if (Valued(a)) {
            if (!inline_ && i + 1 < argc)
                v = argv[++i];
            else if (!inline_)
                fault = a + " needs a value";
        } else if (a == "--diagonal" || a == "--verbose" || a == "--help" || a == "-h" || a == "--version" ||
                   a == "--marginal-fails") {
            if (inline_)
                fault = a + " takes no value";
        } else {
            fault = "unknown option " + std::string(argv[i]) + " (--help lists them)";
        }
        if (!fault.empty()) {
            if (error->empty())
                *error = fault;
            continue;
        }
        args->push_back({a, v});
    }
}

static bool LoadIni(const std::string &name, std::string *error)
{
    char full[MAX_PATH];
    DWORD n = GetFullPathNameA(name.c_str(), sizeof(full), full, NULL);
    FILE *f = n > 0 && n < sizeof(full) ? fopen(full, "r") : NULL;
    if (!f) {
        *error = "cannot read the settings file " + name;
        return false;
    }
    fclose(f);
    // Relative to the start directory, as the program finds its own.
    LoadSettingsFrom(full);
    return true;
}

static bool Bad(std::string *error, const ARG &a, const char *allowed)
{
    *error = "bad value for " + a.name + ": \"" + a.value + "\" (" + allowed + ")";
    return false;
}

static bool Apply(const ARG &a, CHK_OPTIONS *opt, std::string *error)
{
    SG_PARAMS &P = SG_Params;
    INT32 n;
    const std::string &k = a.name, &v = a.value;
    if (k == "--port") {
        if (v.empty() || v.size() > QIRA_MAX_NAME)
            return Bad(error, a, "a port name such as COM3");
        snprintf(DTI.szComport, sizeof(DTI.szComport), "%s", v.c_str());
        CharUpperA(DTI.szComport);   // as the parameter dialog stores it
    } else if (k == "--baud") {
        if (!ParseInt(v, 1, INT32_MAX, &DTI.iComSpeed))
            return Bad(error, a, "a positive bit rate");
    } else if (k == "--protocol") {
        if ((n = Lookup(kProtocolNames, PROTO_COUNT, v)) < 0)
            return Bad(error, a, "old, b64 or b64cont");
        P.ZEBproto = n;
    } else if (k == "--first" || k == "--last") {
        if (!ParseInt(v, FIRST_BEAM, LAST_BEAM, k == "--first" ? &P.iFirst : &P.iLast))
            return Bad(error, a, "1..999");
    } else if (k == "--rod") {
        if (!ParseInt(v, 1, 2, &n))
            return Bad(error, a, "1 or 2");
        P.iRodno = n - 1;
    } else if (k == "--diagonal") {
        P.iDiagonal = 1;
    } else if (k == "--gain") {
        // The old request carries it in two bytes.
        if (!ParseInt(v, 0, 65535, &P.iGain))
            return Bad(error, a, "0..65535");
    } else if (k == "--type") {
        if ((n = Lookup(kTypeNames, VT_COUNT, v)) < 0)
            return Bad(error, a, "signal, sender, receiver or reference");
        P.iValueType = n;
    } else if (k == "--cycles") {
        if (!ParseInt(v, 1, 100000000, &opt->nCycles))
            return Bad(error, a, "a positive number");
    } else if (k == "--seconds") {
        if (!ParseNumber(v, 0.001, 1e7, &opt->flSeconds))
            return Bad(error, a, "a positive number of seconds");
    } else if (k == "--retries") {
        if (!ParseInt(v, 0, 1000, &opt->nRetries))
            return Bad(error, a, "0..1000");
    } else if (k == "--min" || k == "--max") {
        bool min = k == "--min";
        if (!ParseInt(v, INT32_MIN, INT32_MAX, min ? &opt->iMin : &opt->iMax))
            return Bad(error, a, "an integer");
        (min ? opt->fMin : opt->fMax) = true;
    } else if (k == "--noise") {
        if (!ParseInt(v, 0, INT32_MAX, &opt->iNoise))
            return Bad(error, a, "0 or more");
        opt->fNoise = true;
    } else if (k == "--tolerance") {
        if (!ParseNumber(v, 0, 1e6, &opt->flTolerance))
            return Bad(error, a, "percent, 0 or more");
        opt->fTolerance = true;
    } else if (k == "--guard") {
        if (v == "noise")
            opt->iGuard = GUARD_NOISE;
        else if (ParseNumber(v, 0, 1000, &opt->flGuard))
            opt->iGuard = GUARD_PERCENT;
        else
            return Bad(error, a, "noise, or percent of the limit");
    } else if (k == "--marginal-fails") {
        opt->fMarginalFails = true;
    } else if (k == "--verbose") {
        opt->fVerbose = true;
    } else if (k == "--help" || k == "-h") {
        opt->fHelp = true;
    } else if (k == "--version") {
        opt->fVersion = true;
    } else {
        std::string *text = k == "--ref" ? &opt->strRef : k == "--json" ? &opt->strJson : k == "--junit" ? &opt->strJunit
                          : k == "--log" ? &opt->strLog : k == "--id" ? &opt->strId : k == "--ini" ? &opt->strIni
                          : k == "--station" ? &opt->strStation : k == "--history" ? &opt->strHistory
                          : k == "--summary" ? &opt->strSummary : NULL;
        if (!text || (v.empty() && k != "--id" && k != "--station"))
            return Bad(error, a, "a file name");
        *text = v;
    }
    return true;
}

bool Chk_ParseArgs(int argc, char **argv, CHK_OPTIONS *opt, std::string *error)
{
    std::vector<ARG> args;
    SplitArgs(argc, argv, &args, error);
    std::string fault;
    for (const ARG &a : args)
        if (a.name == "--ini" && !Apply(a, opt, &fault) && error->empty())
            *error = fault;
    if (!opt->strIni.empty() && !LoadIni(opt->strIni, &fault) && error->empty())
        *error = fault;
    for (const ARG &a : args)
        if (a.name != "--ini" && !Apply(a, opt, &fault) && error->empty())
            *error = fault;
    if (!error->empty())
        return false;
    if (opt->fHelp || opt->fVersion || !opt->strSummary.empty())
        return true;
    if (SG_Params.iLast < SG_Params.iFirst) {
        *error = "the last beam (" + std::to_string(SG_Params.iLast) + ") lies before the first (" +
                 std::to_string(SG_Params.iFirst) + ")";
        return false;
    }
    if (opt->strRef.empty() != !opt->fTolerance) {
        *error = "--ref and --tolerance go together";
        return false;
    }
    if (opt->fMarginalFails && opt->iGuard == GUARD_NONE) {
        *error = "--marginal-fails needs --guard";
        return false;
    }
    // Limits the options do not give come from the settings (file).
    if (!opt->fMin)
        opt->iMin = DI.iLimitMinAbs;
    if (!opt->fMax)
        opt->iMax = DI.iLimitMaxAbs;
    SG_Params.iMinAbsValue = DI.minAbsValue;   // the floor of the values, as in the program
    SG_Params.wChangeFlags = CF_PARAMS;
    return true;
}
