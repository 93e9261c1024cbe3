// What a test stand reads: the lines on standard output, the JSON file and
// the JUnit XML. A run that measured nothing still writes both files, with
// the error as the verdict, so that no earlier file at that path is taken
// for this run's result.
#include "check.h"

#include "display.h"
#include "logread.h"

#include <string.h>

const char *Chk_Verdict(const CHK_RESULT &r)
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
    for (const CHK_BEAM &b : r.aBeams) {
        std::string why = !b.strReasons.empty() ? b.strReasons : b.fMarginal ? "marginal: " + b.strMarginal : "ok";
        if (opt.fVerbose || why != "ok")
            fprintf(out, "beam %d: %s: %s\n", b.iBeam, Figures(b).c_str(), why.c_str());
    }
    std::string marginal = opt.iGuard == GUARD_NONE ? "" : ", marginal " + std::to_string(r.nMarginal);
    fprintf(out, "beams %zu, failed %u%s, cycles %u, median cycle time %s ms: %s\n", r.aBeams.size(), r.nFailed,
            marginal.c_str(), r.nCycles, Rep_Num(r.flMedianCycleMs).c_str(), Chk_Verdict(r));
}

std::string Chk_TimeText(const SYSTEMTIME &t)
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

static std::string Xml(const std::string &text)
{
    return Rep_Esc(Rep_Utf8(text.data(), text.size()));
}

std::string Chk_LimitsJson(const CHK_OPTIONS &opt)
{
    return "{\"min\": " + std::to_string(opt.iMin) + ", \"max\": " + std::to_string(opt.iMax) +
           ", \"noise\": " + (opt.fNoise ? std::to_string(opt.iNoise) : "null") +
           ", \"reference\": " + (opt.strRef.empty() ? "null" : Chk_Json(opt.strRef)) +
           ", \"tolerance_percent\": " + (opt.fTolerance ? Rep_Num(opt.flTolerance) : "null") +
           ", \"guard_noise\": " + (opt.iGuard == GUARD_NOISE ? "true" : "false") +
           ", \"guard_percent\": " + (opt.iGuard == GUARD_PERCENT ? Rep_Num(opt.flGuard) : "null") +
           ", \"marginal_fails\": " + (opt.fMarginalFails ? "true" : "false") + "}";
}

bool Chk_WriteWhole(const std::string &path, const std::string &text)
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
    std::string j = "{\n  \"tool\": \"zebcheck\",\n  \"id\": " + Chk_Json(opt.strId) + ",\n  \"station\": " +
                    Chk_Json(opt.strStation) + ",\n  \"attempt\": " + (r.iAttempt ? std::to_string(r.iAttempt) : "null") +
                    ",\n";
    j += "  \"settings\": {\"port\": " + Chk_Json(DTI.szComport) + ", \"baud\": " + std::to_string(DTI.iComSpeed) +
         ", \"protocol\": \"" + Chk_ProtocolName(P.ZEBproto) + "\", \"first\": " + std::to_string(P.iFirst) +
         ", \"last\": " + std::to_string(P.iLast) + ", \"rod\": " + std::to_string(P.iRodno + 1) +
         ", \"diagonal\": " + (P.iDiagonal ? "true" : "false") + ", \"gain\": " + std::to_string(P.iGain) +
         ", \"type\": \"" + Chk_TypeName(P.iValueType) + "\", \"cycle_delay_ms\": " + std::to_string(P.iCycleDelay) +
         ", \"min_abs_value\": " + std::to_string(P.iMinAbsValue) +
         ", \"ini\": " + (opt.strIni.empty() ? "null" : Chk_Json(opt.strIni)) + "},\n";
    j += "  \"limits\": " + Chk_LimitsJson(opt) + ",\n";
    j += "  \"start\": \"" + Chk_TimeText(r.stStart) + "\",\n  \"end\": \"" + Chk_TimeText(r.stEnd) + "\",\n";
    j += "  \"cycles\": " + std::to_string(r.nCycles) + ",\n  \"retried\": " + std::to_string(r.nRetried) +
         ",\n  \"median_cycle_ms\": " + Rep_Num(r.flMedianCycleMs) + ",\n";
    j += "  \"beams_tested\": " + std::to_string(r.aBeams.size()) + ",\n  \"beams_failed\": " +
         std::to_string(r.nFailed) + ",\n  \"beams_marginal\": " + std::to_string(r.nMarginal) + ",\n  \"beams\": [";
    for (size_t i = 0; i < r.aBeams.size(); i++) {
        const CHK_BEAM &b = r.aBeams[i];
        j += std::string(i ? "," : "") + "\n    {\"beam\": " + std::to_string(b.iBeam) + ", \"median\": " +
             Rep_Num(b.flMedian) + ", \"min\": " + std::to_string(b.iMin) + ", \"max\": " + std::to_string(b.iMax) +
             ", \"noise\": " + std::to_string((long long)b.iMax - b.iMin) +
             ", \"reference\": " + (b.fRef ? std::to_string(b.iRef) : "null") +
             ", \"passed\": " + (b.strReasons.empty() ? "true" : "false") +
             ", \"marginal\": " + (b.fMarginal ? "true" : "false") +
             ", \"margin\": " + (b.fMarginal ? Rep_Num(b.flMargin) : "null") + ", \"reasons\": [";
        // Reasons are joined with "; " for the text output.
        size_t at = 0;
        for (bool first = true; at < b.strReasons.size(); first = false) {
            size_t end = b.strReasons.find("; ", at);
            if (end == std::string::npos)
                end = b.strReasons.size();
            j += std::string(first ? "" : ", ") + Chk_Json(b.strReasons.substr(at, end - at));
            at = end + 2;
        }
        j += "]}";
    }
    j += std::string(r.aBeams.empty() ? "" : "\n  ") + "],\n";
    j += "  \"verdict\": \"" + std::string(Chk_Verdict(r)) + "\",\n  \"error\": " +
         (r.iStatus == CHK_NOT_MEASURED ? Chk_Json(r.strError) : "null") + "\n}\n";
    return Chk_WriteWhole(path, j);
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
    x += "  <testsuite name=\"" + Xml(suite) + "\"" + counts + " timestamp=\"" + Chk_TimeText(r.stStart) + "\">\n";
    x += "    <properties>\n";
    const char *names[] = {"id", "station", "port", "type", "cycles", "median_cycle_ms", "attempt", "earlier_failures"};
    std::string values[] = {opt.strId, opt.strStation, DTI.szComport, Chk_TypeName(SG_Params.iValueType),
                            std::to_string(r.nCycles), Rep_Num(r.flMedianCycleMs), std::to_string(r.iAttempt),
                            r.strEarlier};
    // The attempt and what went before only with a history; a first attempt has no earlier failures.
    int shown = r.iAttempt ? (r.strEarlier.empty() ? 7 : 8) : 6;
    for (int i = 0; i < shown; i++)
        x += "      <property name=\"" + std::string(names[i]) + "\" value=\"" + Xml(values[i]) + "\"/>\n";
    x += "    </properties>\n";
    if (error)
        x += "    <testcase classname=\"zebcheck\" name=\"measurement\">\n      <error message=\"" + Xml(r.strError) +
             "\"/>\n    </testcase>\n";
    for (const CHK_BEAM &b : r.aBeams) {
        x += "    <testcase classname=\"zebcheck.rod" + std::to_string(SG_Params.iRodno + 1) + "\" name=\"beam " +
             std::to_string(b.iBeam) + "\"";
        if (b.strReasons.empty() && !b.fMarginal) {
            x += "/>\n";
            continue;
        }
        x += ">\n";
        if (b.fMarginal)
            x += "      <properties>\n        <property name=\"marginal\" value=\"" + Xml(b.strMarginal) +
                 "\"/>\n      </properties>\n";
        if (!b.strReasons.empty())
            x += "      <failure message=\"" + Xml(b.strReasons) + "\">" + Xml(Figures(b)) + "</failure>\n";
        x += "    </testcase>\n";
    }
    x += "  </testsuite>\n</testsuites>\n";
    return Chk_WriteWhole(path, x);
}
