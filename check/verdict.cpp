// The verdict, drawn from the run's data log with the reader zebreport uses
// and its statistics: only whole logged cycles count, and zebcheck and zebreport
// agree on every median.
#include "check.h"

#include "app.h"
#include "logread.h"

#include <math.h>
#include <string.h>

bool Chk_LoadReferences(const std::string &path, INT32 *values, BYTE *seen, std::string *error)
{
    int n = ReadReferenceFile(path.c_str(), SG_Params.iFirst, SG_Params.iLast, values, seen);
    if (n < 0)
        *error = "cannot read the reference file " + path;
    else if (n == 0)
        *error = "the reference file " + path + " holds no value for beams " + std::to_string(SG_Params.iFirst) +
                 ".." + std::to_string(SG_Params.iLast);
    return n > 0;
}

// A limit that no value can cross (at or below the values' floor, at or above
// a byte's top) guards nothing: a saturated beam is not marginal.
static void GuardLimit(const CHK_OPTIONS &opt, CHK_BEAM *c, double limit, bool lower, const char *name)
{
    double margin = lower ? c->flMedian - limit : limit - c->flMedian;
    double guard = opt.iGuard == GUARD_NOISE ? (double)((long long)c->iMax - c->iMin) : fabs(limit) * opt.flGuard / 100.0;
    if (margin < 0 || margin > guard || (c->fMarginal && margin >= c->flMargin))
        return;
    c->fMarginal = true;
    c->flMargin = margin;
    c->strMarginal = Rep_Num(margin) + (lower ? " above the " : " below the ") + name + " " + Rep_Num(limit) +
                     ", guard " + Rep_Num(guard);
}

static void JudgeMargins(const CHK_OPTIONS &opt, CHK_BEAM *c)
{
    if (opt.iGuard == GUARD_NONE || !c->strReasons.empty())
        return;
    if (opt.iMin > SG_Params.iMinAbsValue)
        GuardLimit(opt, c, opt.iMin, true, "lower limit");
    if (opt.iMax < 255)
        GuardLimit(opt, c, opt.iMax, false, "upper limit");
    if (c->fRef) {
        double band = fabs((double)c->iRef) * opt.flTolerance / 100.0;
        GuardLimit(opt, c, c->iRef - band, true, "reference band's lower end");
        GuardLimit(opt, c, c->iRef + band, false, "reference band's upper end");
    }
    if (c->fMarginal && opt.fMarginalFails)
        c->strReasons = "marginal: " + c->strMarginal;
}

bool Chk_Judge(const CHK_OPTIONS &opt, const char *logPath, const INT32 *refs, const BYTE *seen, CHK_RESULT *result)
{
    REP_LOG log;
    std::string error;
    if (!Rep_ReadLogs(&log, {logPath}, &error) || log.nSkipped) {
        result->strError = "the run's data log cannot be read back: " +
                           (error.empty() ? std::to_string(log.nSkipped) + " lines malformed" : error);
        return false;
    }
    REP_LIMITS lim = {};
    lim.iMin = opt.iMin;
    lim.iMax = opt.iMax;
    lim.fNoise = opt.fNoise;
    lim.iNoise = opt.iNoise;
    std::vector<REP_BEAM> beams;
    Rep_BeamStats(log, lim, &beams);

    result->nCycles = (unsigned)log.nCycles;
    result->iLimitMin = opt.iMin;
    result->iLimitMax = opt.iMax;
    result->aBeams.clear();
    result->nFailed = 0;
    result->nMarginal = 0;
    for (const REP_BEAM &b : beams) {
        if (b.iRod != SG_Params.iRodno || b.iBeam < SG_Params.iFirst || b.iBeam > SG_Params.iLast)
            continue;
        CHK_BEAM c = {b.iBeam, b.flMedian, b.iMin, b.iMax, false, 0, Rep_Reasons(b.uFlags), false, 0, ""};
        if (!opt.strRef.empty()) {
            c.fRef = seen[b.iBeam] != 0;
            // The reference as the program's relative view takes it.
            c.iRef = refs[b.iBeam] < SG_Params.iMinAbsValue ? SG_Params.iMinAbsValue : refs[b.iBeam];
            std::string why;
            if (!c.fRef)
                why = "no reference value";
            else if (fabs(b.flMedian - c.iRef) > fabs((double)c.iRef) * opt.flTolerance / 100.0)
                why = "median outside the reference +-" + Rep_Num(opt.flTolerance) + " %";
            if (!why.empty())
                c.strReasons += (c.strReasons.empty() ? "" : "; ") + why;
        }
        JudgeMargins(opt, &c);
        result->nFailed += !c.strReasons.empty();
        result->nMarginal += c.fMarginal;
        result->aBeams.push_back(c);
    }
    size_t expected = (size_t)(SG_Params.iLast - SG_Params.iFirst + 1);
    if (result->aBeams.size() != expected) {
        result->strError = "the run's data log holds " + std::to_string(result->aBeams.size()) + " of " +
                           std::to_string(expected) + " beams";
        return false;
    }
    result->iStatus = result->nFailed ? CHK_FAIL : CHK_PASS;
    return true;
}
