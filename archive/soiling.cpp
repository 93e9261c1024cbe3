// What the technician finds on arrival: beams found outside the limits, the
// soiling from one visit's cleaning to the next arrival, and from it the
// longest interval after which no beam is expected below the lower limit.
#include "archive.h"

#include <math.h>

#include <algorithm>

// The spread of soiling between intervals (season, production volume) as a
// standard deviation of ln(rate), assumed until a grid's own intervals tell
// it, and worth four of them (its degrees of freedom).
#define SPREAD_PRIOR 0.15
#define SPREAD_PRIOR_DF 4
// A beam that lost nothing (or gained) still soils a little: ln per month.
#define RATE_FLOOR 0.0005
#define FEW_SPELLS 3   // with fewer, the interval may shorten but never lengthen

// Soiling only takes light: a beam found brighter than it was left lost none
// (and reads no "-0 %").
double Rep_SoilPercent(double rate)
{
    return rate > 0 ? 100 * (1 - exp(-rate)) : 0;
}

double Rep_T95(int df)
{
    static const double t[] = {0,     6.314, 2.920, 2.353, 2.132, 2.015, 1.943, 1.895, 1.860, 1.833, 1.812,
                               1.796, 1.782, 1.771, 1.761, 1.753, 1.746, 1.740, 1.734, 1.729, 1.725, 1.721,
                               1.717, 1.714, 1.711, 1.708, 1.706, 1.703, 1.701, 1.699, 1.697};
    if (df < 1)
        return INFINITY;
    if (df <= 30)
        return t[df];
    return 1.645 + 1.55 / df;   // close to the table's tail, 1.645 in the limit
}

static double Days(int64_t tMs)
{
    return tMs / 86400000.0;
}

static void FoundOutside(REP_HISTORY *h, const REP_LIMITS &lim)
{
    for (size_t v = 0; v < h->aVisits.size(); v++) {
        REP_VISIT &visit = h->aVisits[v];
        if (visit.strFound.empty())
            continue;
        visit.nFoundLow = visit.nFoundHigh = 0;
        for (const REP_HBEAM &b : h->aBeams) {
            double m = b.aflFound[v];
            visit.nFoundLow += m < lim.iMin;
            visit.nFoundHigh += m > lim.iMax;
        }
    }
}

// Each pair of visits whose earlier has an as left and whose later an as
// found: the visits are the day's recordings, so every visit has an as left.
static void Spells(REP_HISTORY *h)
{
    for (size_t v = 1; v < h->aVisits.size(); v++) {
        const REP_VISIT &from = h->aVisits[v - 1], &to = h->aVisits[v];
        double months = (Days(to.tFound) - Days(from.tStart)) / REP_DAYS_PER_MONTH;
        if (to.strFound.empty() || !(months > 0))
            continue;
        REP_SPELL s = {(int)v - 1, (int)v, months, -1, NAN};
        for (size_t i = 0; i < h->aBeams.size(); i++) {
            REP_HBEAM &b = h->aBeams[i];
            double left = b.aflMedian[v - 1], found = b.aflFound[v];
            // A beam found dark lost at least all but the smallest value.
            double rate = left > 0 && !isnan(found) ? log(left / std::max(found, 1.0)) / months : NAN;
            b.aflRate.push_back(rate);
            if (!isnan(rate) && (s.iWorst < 0 || rate > s.flWorst)) {
                s.iWorst = (int)i;
                s.flWorst = rate;
            }
        }
        h->aSpells.push_back(s);
    }
}

// The median rate and a one-sided 95 % prediction bound for the next
// interval's: ln(rate) is taken as normal, its spread pooled with the prior.
static void Bound(REP_HBEAM *b)
{
    std::vector<double> rates, logs;
    for (double r : b->aflRate)
        if (!isnan(r)) {
            rates.push_back(r);
            logs.push_back(log(std::max(r, RATE_FLOOR)));
        }
    b->flRate = b->flRateHigh = NAN;
    if (rates.empty())
        return;
    size_t n = logs.size();
    double mean = 0, ss = 0;
    for (double l : logs)
        mean += l / n;
    for (double l : logs)
        ss += (l - mean) * (l - mean);
    double spread = sqrt((SPREAD_PRIOR_DF * SPREAD_PRIOR * SPREAD_PRIOR + ss) / (SPREAD_PRIOR_DF + n - 1));
    b->flRate = Rep_Median(rates);
    b->flRateHigh = exp(mean + Rep_T95(SPREAD_PRIOR_DF + (int)n - 1) * spread * sqrt(1 + 1.0 / n));
}

// The longest whole number of months from day whose end is not after limit.
static int MonthsBefore(int32_t day, double limit, int most)
{
    int m = 0;
    while (m < most && Rep_AddMonths(day, m + 1) <= limit)
        m++;
    return m;
}

void Rep_Soiling(REP_HISTORY *h, const REP_LIMITS &lim, const REP_CARD *card)
{
    int agreed = card ? card->aiValue[CARD_INTERVAL] : 6;
    int lo = card ? card->aiValue[CARD_MIN_INTERVAL] : 1, hi = card ? card->aiValue[CARD_MAX_INTERVAL] : 12;
    FoundOutside(h, lim);
    h->aSpells.clear();
    for (REP_HBEAM &b : h->aBeams)
        b.aflRate.clear();
    Spells(h);
    REP_ADVICE &a = h->advice;
    a = REP_ADVICE();
    // An interval in which no beam was recorded at both ends measured nothing.
    a.nSpells = (int)std::count_if(h->aSpells.begin(), h->aSpells.end(), [](const REP_SPELL &s) { return s.iWorst >= 0; });
    a.iMonths = agreed;
    if (!a.nSpells || lim.iMin <= 0)
        return;
    const REP_VISIT &last = h->aVisits.back();
    double start = Days(last.tStart), cross = INFINITY, trend = INFINITY;
    for (size_t i = 0; i < h->aBeams.size(); i++) {
        REP_HBEAM &b = h->aBeams[i];
        // Every beam's as-left trend bounds the interval, its soiling measured
        // or not (a beam dark at every visit has no rate).
        if (b.iForecast == REP_FC_NOW)
            trend = std::min(trend, start);
        else if (b.iForecast == REP_FC_RANGE)
            trend = std::min(trend, b.flFrom);
        Bound(&b);
        if (!isnan(b.flRate) && (a.iWorst < 0 || b.flRate > a.flRate)) {
            a.iWorst = (int)i;
            a.flRate = b.flRate;
        }
        double left = b.aflMedian.back();
        if (isnan(b.flRateHigh) || isnan(left))
            continue;
        double at = left <= lim.iMin ? start : start + log(left / lim.iMin) / b.flRateHigh * REP_DAYS_PER_MONTH;
        if (at < cross) {
            cross = at;
            a.iFirst = (int)i;
        }
    }
    if (isfinite(cross))
        a.flCrossDay = cross;
    int soil = MonthsBefore(last.iDay, cross, hi), aged = MonthsBefore(last.iDay, trend, hi);
    a.iMonths = std::min(soil, aged);
    a.iReason = aged < soil ? ADV_TREND : ADV_SOILING;
    if (aged < soil)
        a.flTrendDay = trend;
    if (a.nSpells < FEW_SPELLS && a.iMonths > agreed) {
        a.iMonths = agreed;
        a.iReason = ADV_FEW;
    }
    if (a.iMonths < lo) {
        a.iMonths = lo;
        a.iReason = ADV_MIN;
    } else if (a.iMonths > hi || (a.iMonths == hi && a.iReason != ADV_FEW)) {
        a.iMonths = hi;
        a.iReason = ADV_MAX;
    }
}
