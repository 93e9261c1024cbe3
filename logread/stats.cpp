// Per-beam statistics from exact histograms, the median of a line, and time
// series reduced to a bounded number of points.
#include "logread.h"

#include <math.h>

#include <algorithm>

bool Rep_HistAdd(REP_HIST *h, int32_t v)
{
    uint64_t i = (uint64_t)((int64_t)v - REP_HIST_LO);
    h->nCount++;
    if (i < REP_HIST_SIZE) {
        if (h->aDense.empty())
            h->aDense.resize(REP_HIST_SIZE);
        h->aDense[i]++;
        return false;
    }
    return ++h->mapOther[v] == 1;
}

// Quantile q between the closest ranks, interpolated: for q = 0.5 the median,
// the mean of the two middle values when the count is even.
double Rep_HistQuantile(const REP_HIST &h, double q)
{
    if (!h.nCount)
        return 0;
    double pos = q * (h.nCount - 1);
    uint64_t lo = (uint64_t)pos, hi = lo + (pos > lo), seen = 0;
    double vlo = 0, vhi = 0;
    Rep_HistEach(h, [&](int32_t v, uint64_t c) {
        if (seen <= lo && lo < seen + c)
            vlo = v;
        if (seen <= hi && hi < seen + c)
            vhi = v;
        seen += c;
    });
    return vlo + (vhi - vlo) * (pos - lo);
}

// Mean from the exact sum, standard deviation (of all values, not a sample)
// from the distances to it.
static void Moments(const REP_HIST &h, double *mean, double *sd)
{
    __int128 sum = 0;
    Rep_HistEach(h, [&](int32_t v, uint64_t c) { sum += (__int128)v * c; });
    long double m = h.nCount ? (long double)sum / h.nCount : 0;
    long double sq = 0;
    Rep_HistEach(h, [&](int32_t v, uint64_t c) { sq += (v - m) * (v - m) * c; });
    *mean = (double)m;
    *sd = h.nCount ? (double)sqrtl(sq / h.nCount) : 0;
}

// The values of a line are small integers as a rule: counted in the dense
// window, they give the median without sorting. Others are put in order.
double Rep_LineMedian(int32_t *values, int n)
{
    uint16_t count[REP_HIST_SIZE] = {};
    uint32_t lo = REP_HIST_SIZE, hi = 0;
    int i = 0;
    for (; i < n; i++) {
        uint32_t k = (uint32_t)((int64_t)values[i] - REP_HIST_LO);
        if (k >= REP_HIST_SIZE)
            break;
        count[k]++;
        lo = std::min(lo, k);
        hi = std::max(hi, k);
    }
    if (i < n) {
        int32_t *mid = values + n / 2;
        std::nth_element(values, mid, values + n);
        return n % 2 ? *mid : (*std::max_element(values, mid) + (double)*mid) / 2;
    }
    int below = (n - 1) / 2, above = n / 2, seen = 0;
    double a = 0, b = 0;
    for (uint32_t k = lo; k <= hi && seen <= above; k++) {
        if (seen <= below && below < seen + count[k])
            a = (int32_t)k + REP_HIST_LO;
        if (above < seen + count[k])
            b = (int32_t)k + REP_HIST_LO;
        seen += count[k];
    }
    return (a + b) / 2;
}

static int BucketPoints(const REP_BUCKET &b)
{
    return b.n == 0 ? 0 : b.ptLow.tMs == b.ptHigh.tMs && b.ptLow.flValue == b.ptHigh.flValue ? 1 : 2;
}

static void Merge(REP_BUCKET *into, const REP_BUCKET &b)
{
    if (b.ptLow.flValue < into->ptLow.flValue)
        into->ptLow = b.ptLow;
    if (b.ptHigh.flValue > into->ptHigh.flValue)
        into->ptHigh = b.ptHigh;
    into->n += b.n;
}

void Rep_SeriesAdd(REP_SERIES *s, int64_t t, double v)
{
    REP_BUCKET &o = s->open;
    REP_POINT p = {t, v};
    if (o.n == 0) {
        // A new bucket may give up to two points: make room first.
        while (s->nPoints + (s->nPerBucket == 1 ? 1 : 2) > REP_TREND_POINTS) {
            size_t n = 0;
            s->nPoints = 0;
            for (size_t i = 0; i < s->aClosed.size(); i += 2) {
                REP_BUCKET b = s->aClosed[i];
                if (i + 1 < s->aClosed.size())
                    Merge(&b, s->aClosed[i + 1]);
                s->aClosed[n++] = b;
                s->nPoints += BucketPoints(b);
            }
            s->aClosed.resize(n);
            s->nPerBucket *= 2;
        }
        o.ptLow = o.ptHigh = p;
    } else if (v < o.ptLow.flValue) {
        o.ptLow = p;
    } else if (v > o.ptHigh.flValue) {
        o.ptHigh = p;
    }
    if (++o.n < s->nPerBucket)
        return;
    s->aClosed.push_back(o);
    s->nPoints += BucketPoints(o);
    o = REP_BUCKET();
}

std::vector<REP_POINT> Rep_SeriesPoints(const REP_SERIES &s)
{
    std::vector<REP_POINT> pts;
    auto take = [&](const REP_BUCKET &b) {
        int n = BucketPoints(b);
        if (n == 1) {
            pts.push_back(b.ptLow);
        } else if (n == 2) {
            bool lowFirst = b.ptLow.tMs <= b.ptHigh.tMs;
            pts.push_back(lowFirst ? b.ptLow : b.ptHigh);
            pts.push_back(lowFirst ? b.ptHigh : b.ptLow);
        }
    };
    for (const REP_BUCKET &b : s.aClosed)
        take(b);
    take(s.open);
    return pts;
}

unsigned Rep_BeamFlags(const REP_BEAM &b, const REP_LIMITS &lim)
{
    unsigned flags = 0;
    if (b.flMedian < lim.iMin)
        flags |= REP_FLAG_LOW;
    if (b.flMedian > lim.iMax)
        flags |= REP_FLAG_HIGH;
    if (lim.fNoise && (int64_t)b.iMax - b.iMin > lim.iNoise)
        flags |= REP_FLAG_NOISY;
    return flags;
}

void Rep_BeamStats(const REP_LOG &log, const REP_LIMITS &lim, std::vector<REP_BEAM> *beams)
{
    beams->clear();
    for (int rod = 0; rod < REP_RODS; rod++)
        for (int b = 1; b <= REP_LAST_BEAM; b++) {
            const REP_HIST &h = log.aHist[rod * 1000 + b];
            if (!h.nCount)
                continue;
            REP_BEAM r = {};
            r.iRod = rod;
            r.iBeam = b;
            r.nCount = h.nCount;
            bool first = true;
            Rep_HistEach(h, [&](int32_t v, uint64_t c) {
                if (first)
                    r.iMin = v;
                first = false;
                r.iMax = v;
                if (v < lim.iMin)
                    r.nBelow += c;
            });
            r.flMedian = Rep_HistQuantile(h, 0.5);
            r.flQuartile1 = Rep_HistQuantile(h, 0.25);
            r.flQuartile3 = Rep_HistQuantile(h, 0.75);
            Moments(h, &r.flMean, &r.flStdDev);
            r.uFlags = Rep_BeamFlags(r, lim);
            beams->push_back(r);
        }
}

// The beams with the lowest medians (then means), for the trend.
void Rep_PickWeakest(REP_LOG *log)
{
    struct Candidate {
        double median, mean;
        int key;
    };
    std::vector<Candidate> c;
    for (int key = 0; key < REP_RODS * 1000; key++) {
        const REP_HIST &h = log->aHist[key];
        if (!h.nCount)
            continue;
        double mean, sd;
        Moments(h, &mean, &sd);
        c.push_back({Rep_HistQuantile(h, 0.5), mean, key});
    }
    size_t n = std::min<size_t>(c.size(), REP_WEAKEST);
    std::partial_sort(c.begin(), c.begin() + n, c.end(), [](const Candidate &a, const Candidate &b) {
        return a.median != b.median ? a.median < b.median : a.mean != b.mean ? a.mean < b.mean : a.key < b.key;
    });
    log->nWeak = (int)n;
    for (size_t i = 0; i < n; i++) {
        log->aiWeakRod[i] = c[i].key / 1000;
        log->aiWeakBeam[i] = c[i].key % 1000;
        log->aserWeak[i] = REP_SERIES();
    }
}

std::string Rep_Reasons(unsigned flags)
{
    static const char *const kReason[4] = {"median below the lower limit", "median above the upper limit",
                                           "noise above its limit", "predicted to reach the lower limit"};
    std::string s;
    for (int i = 0; i < 4; i++)
        if (flags & 1u << i)
            s += (s.empty() ? "" : "; ") + std::string(kReason[i]);
    return s;
}
