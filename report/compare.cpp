// As found and as left: a grid measured before a service visit's cleaning or
// realignment and again after it, beam by beam, and the change over the rod
// classified as an indication of what the visit changed.
#include "report.h"

#include <math.h>

#include <algorithm>

// The classification's thresholds, one table: the page prints it and the
// README documents it.
const REP_THRESHOLD Rep_aThreshold[REP_THRESHOLDS] = {
    {5, "robust standard deviations", "a beam changed far more than the rest when its change differs from the rod's "
                                      "median change by more than this many robust standard deviations "
                                      "(1.4826 × the median absolute deviation)"},
    {10, "percentage points", "… and by at least this much"},
    {3, "beams", "isolated: at least one and at most this many such beams, or"},
    {10, "% of the beams", "… at most this share of the rod, if that is more"},
    {0.6, "Kendall's tau", "gradient: the change follows the beam position at least this closely (rank "
                           "correlation, either sign), the isolated beams left out"},
    {10, "percentage points", "… and the fitted change differs by at least this much from the first beam to "
                              "the last"},
    {80, "% of the beams", "uniform: at least this share of the beams changed by the median change ± the band"},
    {5, "percentage points", "the band: this, or a quarter of the median change if that is more"},
    {5, "%", "a median change smaller than this is no change (uniform then reads \"no significant change\")"},
};

const char *Rep_PatternName(const REP_PAGE &pg, int kind)
{
    return Rep_T(pg, TX_PATTERN_0 + kind);
}

// Ranges of the beams a recording holds on one rod pair, "1–40, 45–50".
static std::string BeamSet(const REP_LOG &log, int rod)
{
    std::string s;
    for (int b = 1; b <= REP_LAST_BEAM; b++) {
        if (!log.aHist[rod * 1000 + b].nCount)
            continue;
        int e = b;
        while (e < REP_LAST_BEAM && log.aHist[rod * 1000 + e + 1].nCount)
            e++;
        Rep_Add(&s, "%s%d–%d", s.empty() ? "" : ", ", b, e);
        b = e;
    }
    return s;
}

static std::string Describe(const REP_LOG &log, int what)
{
    if (what == 0)
        return std::string(log.fRelative ? "relative " : "") + Rep_aszTypeEnglish[log.iValueType];
    if (what == 1)
        return log.uRods == 3 ? "rod pairs 1 and 2" : log.uRods == 2 ? "rod pair 2" : "rod pair 1";
    std::string s;
    for (int rod = 0; rod < REP_RODS; rod++)
        if (log.uRods & 1u << rod)
            s += (s.empty() ? "beams " : "; beams ") + BeamSet(log, rod) + (log.uRods == 3 ? " of rod pair " + std::to_string(rod + 1) : "");
    return s;
}

std::string Rep_RecordingsDiffer(const REP_LOG &found, const REP_LOG &left)
{
    for (int what = 0; what < 3; what++) {
        std::string a = Describe(found, what), b = Describe(left, what);
        if (a != b)
            return "as left: " + b + ", but as found: " + a + "; as found and as left must be the same grid, value "
                   "type and beams";
    }
    return "";
}

void Rep_Changes(const std::vector<REP_BEAM> &found, const std::vector<REP_BEAM> &left, std::vector<REP_CHANGE> *out)
{
    out->clear();
    for (size_t i = 0; i < found.size() && i < left.size(); i++) {
        const REP_BEAM &f = found[i], &l = left[i];
        REP_CHANGE c = {f.iRod, f.iBeam, f.flMedian, l.flMedian, l.flMedian - f.flMedian, NAN, f.uFlags, l.uFlags,
                        std::max((int64_t)f.iMax - f.iMin, (int64_t)l.iMax - l.iMin)};
        if (f.flMedian > 0)
            c.flPercent = 100 * c.flChange / f.flMedian;
        out->push_back(c);
    }
}

static double T(int i)
{
    return Rep_aThreshold[i].flValue;
}

REP_PATTERN Rep_ClassifyChange(const std::vector<REP_CHANGE> &changes, int rod)
{
    REP_PATTERN p = {};
    p.iRod = rod;
    std::vector<int> idx;
    std::vector<double> pct;
    for (int i = 0; i < (int)changes.size(); i++)
        if (changes[i].iRod == rod && !isnan(changes[i].flPercent)) {
            idx.push_back(i);
            pct.push_back(changes[i].flPercent);
        }
    p.nBeams = (int)pct.size();
    if (pct.empty()) {
        p.iKind = REP_PATTERN_MIXED;
        return p;
    }
    p.flMedian = Rep_Median(pct);
    std::vector<double> dev;
    for (double v : pct)
        dev.push_back(fabs(v - p.flMedian));
    double far = std::max(T(THR_OUTLIER_SD) * 1.4826 * Rep_Median(dev), T(THR_OUTLIER_PP));
    std::vector<double> pos, rest;
    for (size_t k = 0; k < pct.size(); k++)
        if (dev[k] > far)
            p.aiIsolated.push_back(idx[k]);
    size_t few = std::max((size_t)T(THR_ISOLATED_MIN), (size_t)(T(THR_ISOLATED_SHARE) / 100 * pct.size()));
    bool isolated = !p.aiIsolated.empty() && p.aiIsolated.size() <= few;
    if (!isolated)
        p.aiIsolated.clear();
    for (size_t k = 0; k < pct.size(); k++)
        if (!isolated || dev[k] <= far) {
            pos.push_back(changes[idx[k]].iBeam);
            rest.push_back(pct[k]);
        }
    p.flTau = Rep_KendallTau(pos, rest);
    REP_FIT fit = Rep_TheilSen(pos, rest);
    p.flSpan = fit.fSlope ? fit.flSlope * (pos.back() - pos.front()) : 0;
    double band = std::max(T(THR_UNIFORM_PP), fabs(p.flMedian) / 4);
    p.flWithin = 100.0 * std::count_if(rest.begin(), rest.end(), [&](double v) { return fabs(v - p.flMedian) <= band; }) /
                 rest.size();
    if (isolated)
        p.iKind = REP_PATTERN_ISOLATED;
    else if (fabs(p.flTau) >= T(THR_GRADIENT_TAU) && fabs(p.flSpan) >= T(THR_GRADIENT_PP))
        p.iKind = REP_PATTERN_GRADIENT;
    else if (p.flWithin >= T(THR_UNIFORM_SHARE))
        p.iKind = fabs(p.flMedian) < T(THR_NO_CHANGE) ? REP_PATTERN_NONE : REP_PATTERN_UNIFORM;
    else
        p.iKind = REP_PATTERN_MIXED;
    return p;
}

// The largest changes, in percent where there is one, of the beams that
// changed by more than their own noise: a steady beam's ±1 is no change.
std::vector<const REP_CHANGE *> Rep_MostChanged(const std::vector<REP_CHANGE> &changes, size_t most)
{
    std::vector<const REP_CHANGE *> beyond;
    for (const REP_CHANGE &c : changes)
        if (fabs(c.flChange) > c.iNoise)
            beyond.push_back(&c);
    auto size = [](const REP_CHANGE *c) { return isnan(c->flPercent) ? fabs(c->flChange) * 1e6 : fabs(c->flPercent); };
    size_t top = std::min(most, beyond.size());
    // Equal changes (a uniform one) keep the beams' order.
    std::partial_sort(beyond.begin(), beyond.begin() + top, beyond.end(), [&](const REP_CHANGE *a, const REP_CHANGE *b) {
        return size(a) != size(b) ? size(a) > size(b) : a < b;
    });
    beyond.resize(top);
    return beyond;
}
