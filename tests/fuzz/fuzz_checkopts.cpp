// zebcheck's options as its main parses them, on the platform's stand-in
// (win32/). The input is the command line, its arguments split at NULs; what
// follows a form feed is the settings file zebcheck.ini in the private
// folder, where every name is resolved. The settings loader is stood in for.
#include "check.h"
#include "display.h"
#include "settings.h"

#include "fuzz_files.h"

#include <map>
#include <set>
#include <string.h>
#include <strings.h>
#include <unistd.h>

SG_PARAMS SG_Params;
DTI_RECORD DTI;
DISPLAY_INFO DI;

static bool gLoaded;   // the settings file was handed to the loader

DWORD GetFullPathNameA(const char *name, DWORD size, char *full, char **filePart)
{
    std::string path = FuzzDir() + "/" + name;
    if (filePart)
        *filePart = nullptr;
    if (path.size() >= size)
        return (DWORD)path.size() + 1;
    memcpy(full, path.c_str(), path.size() + 1);
    return (DWORD)path.size();
}

// A settings file's effect, from its first bytes, in the ranges the loader's
// corrections leave: a first beam not after the last, a rod pair index 0 or 1.
bool LoadSettingsFrom(const char *path)
{
    BYTE b[8] = {};
    if (FILE *f = fopen(path, "rb")) {
        (void)!fread(b, 1, sizeof(b), f);
        fclose(f);
    }
    SG_Params.iFirst = 1 + b[0] * 3;
    SG_Params.iLast = SG_Params.iFirst + b[1] * 3 > LAST_BEAM ? LAST_BEAM : SG_Params.iFirst + b[1] * 3;
    SG_Params.iRodno = b[2] & 1;
    SG_Params.ZEBproto = b[3] % PROTO_COUNT;
    DI.iLimitMinAbs = (int8_t)b[4];
    DI.iLimitMaxAbs = 200 + b[5];
    DI.minAbsValue = (int8_t)b[6];
    DTI.iComSpeed = 1200 * (1 + b[7]);
    gLoaded = true;
    return true;
}

// The value each option was given last, for a command line the parser took
// whole: "--name=value", or a name that is not a switch and the next argument.
static std::map<std::string, std::string> LastGiven(int argc, char **argv)
{
    static const std::set<std::string> kSwitches = {"--diagonal", "--verbose", "--help",
                                                    "-h",         "--version", "--marginal-fails"};
    std::map<std::string, std::string> last;
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        size_t eq = a.find('=');
        if (a.compare(0, 2, "--") == 0 && eq != std::string::npos)
            last[a.substr(0, eq)] = a.substr(eq + 1);
        else if (!kSwitches.count(a) && i + 1 < argc)
            last[a] = argv[++i];
    }
    return last;
}

#define CHECK(c)                                                     \
    do {                                                             \
        if (!(c)) {                                                  \
            fprintf(stderr, "fuzz_checkopts: failed: %s\n", #c);     \
            abort();                                                 \
        }                                                            \
    } while (0)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const uint8_t *ff = (const uint8_t *)memchr(data, '\f', size);
    if (ff)
        FuzzWrite("zebcheck.ini", (const char *)ff + 1, size - (size_t)(ff + 1 - data));
    else
        unlink((FuzzDir() + "/zebcheck.ini").c_str());
    FuzzArgs a("zebcheck", data, ff ? (size_t)(ff - data) : size);
    SG_Params = SG_PARAMS();
    DTI = DTI_RECORD{"COM1:", 38400};
    DI = DISPLAY_INFO();
    gLoaded = false;

    CHK_OPTIONS o;
    std::string error;
    bool ok = Chk_ParseArgs(a.argc(), a.argv.data(), &o, &error);
    CHECK(ok == error.empty());
    if (!ok)
        return 0;

    // Each option's last value wins, over the settings file too.
    const SG_PARAMS &P = SG_Params;
    const std::map<std::string, double> numbers = {
        {"--first", P.iFirst},         {"--last", P.iLast},       {"--rod", P.iRodno + 1},
        {"--gain", P.iGain},           {"--baud", DTI.iComSpeed}, {"--cycles", o.nCycles},
        {"--seconds", o.flSeconds},    {"--retries", o.nRetries}, {"--min", o.iMin},
        {"--max", o.iMax},             {"--noise", o.iNoise},     {"--tolerance", o.flTolerance}};
    const std::map<std::string, std::string> texts = {
        {"--protocol", Chk_ProtocolName(P.ZEBproto)}, {"--type", Chk_TypeName(P.iValueType)},
        {"--ini", o.strIni},         {"--ref", o.strRef},         {"--json", o.strJson},
        {"--junit", o.strJunit},     {"--log", o.strLog},         {"--id", o.strId},
        {"--station", o.strStation}, {"--history", o.strHistory}, {"--summary", o.strSummary}};
    for (const auto &[name, value] : LastGiven(a.argc(), a.argv.data())) {
        if (name == "--port")   // stored in capitals
            CHECK(strcasecmp(value.c_str(), DTI.szComport) == 0);
        auto n = numbers.find(name);
        if (n != numbers.end())
            CHECK(strtod(value.c_str(), nullptr) == n->second);
        auto t = texts.find(name);
        if (t != texts.end())
            CHECK(value == t->second);
    }
    CHECK(gLoaded == !o.strIni.empty());
    if (o.fHelp || o.fVersion || !o.strSummary.empty())
        return 0;

    // What a run relies on.
    CHECK(FIRST_BEAM <= P.iFirst && P.iFirst <= P.iLast && P.iLast <= LAST_BEAM);
    CHECK(P.iRodno == 0 || P.iRodno == 1);
    CHECK(o.nCycles >= 1 && o.nRetries >= 0 && o.flSeconds >= 0);
    CHECK(o.fMin || o.iMin == DI.iLimitMinAbs);
    CHECK(o.fMax || o.iMax == DI.iLimitMaxAbs);
    CHECK(P.iMinAbsValue == DI.minAbsValue);
    CHECK(o.strRef.empty() == !o.fTolerance);
    CHECK(!o.fMarginalFails || o.iGuard != GUARD_NONE);
    CHECK(strlen(DTI.szComport) <= QIRA_MAX_NAME);
    return 0;
}
