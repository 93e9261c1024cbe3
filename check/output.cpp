// What a test stand reads: the lines on standard output, the JSON file and
// the JUnit XML. A run that measured nothing still writes both files, with
// the error as the verdict, so that no earlier file at that path is taken
// for this run's result.
#include "check.h"

#include "display.h"
#include "logread.h"

#include <string.h>

static const char *Verdict(const CHK_RESULT &r)
{
    return r.iStatus == CHK_PASS ? "PASS" : r.iStatus == CHK_FAIL ? "FAIL" : "ERROR";
}

static std::string Figures(const CHK_BEAM &b)
{
    std::string s = "median " + Rep_Num(b.flMedian) + ", min " + std::to_string(b.iMin) + ", max " +
                    std::to_string(b.iMax) + ", noise " + std::to_string((long long)b.iMax - b.iMin);
    if (b.fRef)
        s += ", reference " + std::to_string(b.iRef);
    return s;
}

void Chk_PrintResult(const CHK_OPTIONS &opt, const CHK_RESULT &r, FILE *out)
{
    for (const CHK_BEAM &b : r.aBeams)
        if (opt.fVerbose || !b.strReasons.empty())
            fprintf(out, "beam %d: %s: %s\n", b.iBeam, Figures(b).c_str(),
                    b.strReasons.empty() ? "ok" : b.strReasons.c_str());
    fprintf(out, "beams %zu, failed %u, cycles %u, median cycle time %s ms: %s\n", r.aBeams.size(), r.nFailed,
            r.nCycles, Rep_Num(r.flMedianCycleMs).c_str(), Verdict(r));
}

static std::string TimeText(const SYSTEMTIME &t)
{
    char s[32];
    snprintf(s, sizeof(s), "%04d-%02d-%02dT%02d:%02d:%02d.%03d", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
             t.wSecond, t.wMilliseconds);
    return s;
}

static double Seconds(const SYSTEMTIME &a, const SYSTEMTIME &b)
{
    FILETIME fa, fb;
    if (!SystemTimeToFileTime(&a, &fa) || !SystemTimeToFileTime(&b, &fb))
        return 0;
    ULARGE_INTEGER ua = {{fa.dwLowDateTime, fa.dwHighDateTime}}, ub = {{fb.dwLowDateTime, fb.dwHighDateTime}};
    return ub.QuadPart > ua.QuadPart ? (double)(ub.QuadPart - ua.QuadPart) / 1e7 : 0;
}

// Command-line text (the Windows code page) as a JSON string.
static std::string Json(const std::string &text)
{
    std::string u = Rep_Utf8(text.data(), text.size()), s = "\"";
    for (char c : u) {
        if (c == '"' || c == '\\')
            s += '\\';
        s += c;
    }
    return s + "\"";
}

static std::string Xml(const std::string &text)
{
    return Rep_Esc(Rep_Utf8(text.data(), text.size()));
}

static bool WriteWhole(const std::string &path, const std::string &text)
{
    FILE *f = fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = fwrite(text.data(), 1, text.size(), f) == text.size() && fflush(f) == 0;
    ok = fclose(f) == 0 && ok;
    if (!ok)
        remove(path.c_str());   // no half file for a reader to take
    return ok;
}

bool Chk_WriteJson(const CHK_OPTIONS &opt, const CHK_RESULT &r, const std::string &path)
{
    const SG_PARAMS &P = SG_Params;
    std::string j = "{\n  \"tool\": \"zebcheck\",\n  \"id\": " + Json(opt.strId) + ",\n";
    j += "  \"settings\": {\"port\": " + Json(DTI.szComport) + ", \"baud\": " + std::to_string(DTI.iComSpeed) +
         ", \"protocol\": \"" + Chk_ProtocolName(P.ZEBproto) + "\", \"first\": " + std::to_string(P.iFirst) +
         ", \"last\": " + std::to_string(P.iLast) + ", \"rod\": " + std::to_string(P.iRodno + 1) +
         ", \"diagonal\": " + (P.iDiagonal ? "true" : "false") + ", \"gain\": " + std::to_string(P.iGain) +
         ", \"type\": \"" + Chk_TypeName(P.iValueType) + "\", \"cycle_delay_ms\": " + std::to_string(P.iCycleDelay) +
         ", \"min_abs_value\": " + std::to_string(P.iMinAbsValue) +
         ", \"ini\": " + (opt.strIni.empty() ? "null" : Json(opt.strIni)) + "},\n";
    j += "  \"limits\": {\"min\": " + std::to_string(opt.iMin) + ", \"max\": " + std::to_string(opt.iMax) +
         ", \"noise\": " + (opt.fNoise ? std::to_string(opt.iNoise) : "null") +
         ", \"reference\": " + (opt.strRef.empty() ? "null" : Json(opt.strRef)) +
         ", \"tolerance_percent\": " + (opt.fTolerance ? Rep_Num(opt.flTolerance) : "null") + "},\n";
    j += "  \"start\": \"" + TimeText(r.stStart) + "\",\n  \"end\": \"" + TimeText(r.stEnd) + "\",\n";
    j += "  \"cycles\": " + std::to_string(r.nCycles) + ",\n  \"retried\": " + std::to_string(r.nRetried) +
         ",\n  \"median_cycle_ms\": " + Rep_Num(r.flMedianCycleMs) + ",\n";
    j += "  \"beams_tested\": " + std::to_string(r.aBeams.size()) + ",\n  \"beams_failed\": " +
         std::to_string(r.nFailed) + ",\n  \"beams\": [";
    for (size_t i = 0; i < r.aBeams.size(); i++) {
        const CHK_BEAM &b = r.aBeams[i];
        j += std::string(i ? "," : "") + "\n    {\"beam\": " + std::to_string(b.iBeam) + ", \"median\": " +
             Rep_Num(b.flMedian) + ", \"min\": " + std::to_string(b.iMin) + ", \"max\": " + std::to_string(b.iMax) +
             ", \"noise\": " + std::to_string((long long)b.iMax - b.iMin) +
             ", \"reference\": " + (b.fRef ? std::to_string(b.iRef) : "null") +
             ", \"passed\": " + (b.strReasons.empty() ? "true" : "false") + ", \"reasons\": [";
        // Reasons are joined with "; " for the text output.
        size_t at = 0;
        for (bool first = true; at < b.strReasons.size(); first = false) {
            size_t end = b.strReasons.find("; ", at);
            if (end == std::string::npos)
                end = b.strReasons.size();
            j += std::string(first ? "" : ", ") + Json(b.strReasons.substr(at, end - at));
            at = end + 2;
        }
        j += "]}";
    }
    j += std::string(r.aBeams.empty() ? "" : "\n  ") + "],\n";
    j += "  \"verdict\": \"" + std::string(Verdict(r)) + "\",\n  \"error\": " +
         (r.iStatus == CHK_NOT_MEASURED ? Json(r.strError) : "null") + "\n}\n";
    return WriteWhole(path, j);
}

bool Chk_WriteJunit(const CHK_OPTIONS &opt, const CHK_RESULT &r, const std::string &path)
{
    bool error = r.iStatus == CHK_NOT_MEASURED;
    std::string tests = std::to_string(error ? 1 : r.aBeams.size()), failures = std::to_string(r.nFailed);
    std::string suite = "zebcheck" + (opt.strId.empty() ? "" : " " + opt.strId) + " rod pair " +
                        std::to_string(SG_Params.iRodno + 1);
    char time[32];
    snprintf(time, sizeof(time), "%.3f", Seconds(r.stStart, r.stEnd));
    std::string counts = " tests=\"" + tests + "\" failures=\"" + failures + "\" errors=\"" + (error ? "1" : "0") +
                         "\" time=\"" + time + "\"";
    std::string x = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites name=\"zebcheck\"" + counts + ">\n";
    x += "  <testsuite name=\"" + Xml(suite) + "\"" + counts + " timestamp=\"" + TimeText(r.stStart) + "\">\n";
    x += "    <properties>\n";
    const char *names[] = {"id", "port", "type", "cycles", "median_cycle_ms"};
    std::string values[] = {opt.strId, DTI.szComport, Chk_TypeName(SG_Params.iValueType), std::to_string(r.nCycles),
                            Rep_Num(r.flMedianCycleMs)};
    for (int i = 0; i < 5; i++)
        x += "      <property name=\"" + std::string(names[i]) + "\" value=\"" + Xml(values[i]) + "\"/>\n";
    x += "    </properties>\n";
    if (error)
        x += "    <testcase classname=\"zebcheck\" name=\"measurement\">\n      <error message=\"" + Xml(r.strError) +
             "\"/>\n    </testcase>\n";
    for (const CHK_BEAM &b : r.aBeams) {
        x += "    <testcase classname=\"zebcheck.rod" + std::to_string(SG_Params.iRodno + 1) + "\" name=\"beam " +
             std::to_string(b.iBeam) + "\"";
        if (b.strReasons.empty())
            x += "/>\n";
        else
            x += ">\n      <failure message=\"" + Xml(b.strReasons) + "\">" + Xml(Figures(b)) +
                 "</failure>\n    </testcase>\n";
    }
    x += "  </testsuite>\n</testsuites>\n";
    return WriteWhole(path, x);
}
