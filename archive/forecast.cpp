// A grid's history across service visits: the visits' medians per beam, the
// trend of each beam as a Theil-Sen slope of the logarithm of its median
// against time (LED ageing and contamination are close to exponential), and
// the date range in which the trend reaches the lower limit.
#include "archive.h"

#include <math.h>

#include <algorithm>

template <typename B> static int Key(const B &b)
{
    return b.iRod * 1000 + b.iBeam;
}

double Rep_PerMonth(double slope)
{
    return 100 * (exp(slope * 30.4375) - 1);
}

static double Days(int64_t tMs)
{
    return tMs / 86400000.0;
}

void Rep_Forecast(REP_HISTORY *h, const REP_LIMITS &lim)
{
    double lastVisit = Days(h->aVisits.back().tStart), lnLimit = log((double)lim.iMin);
    size_t last = 0;
    for (REP_HBEAM &b : h->aBeams) {
        std::vector<double> x, y;
        b.flLast = NAN;
        for (size_t v = 0; v < h->aVisits.size(); v++) {
            double m = b.aflMedian[v];
            if (isnan(m))
                continue;
            b.flLast = m;
            if (m > 0) {   // a blocked beam has no logarithm: it is judged by its value alone
                x.push_back(Days(h->aVisits[v].tStart));
                y.push_back(log(m));
            }
        }
        // Both lists are in rod and beam order: one walk pairs them.
        while (last < h->aLast.size() && Key(h->aLast[last]) < Key(b))
            last++;
        if (last < h->aLast.size() && Key(h->aLast[last]) == Key(b))
            b.uFlags = h->aLast[last].uFlags;
        if (b.flLast < lim.iMin)
            b.uFlags |= REP_FLAG_LOW;
        if (b.flLast > lim.iMax)
            b.uFlags |= REP_FLAG_HIGH;
        b.flReserve = b.flLast / lim.iMin;
        b.iLight = b.flReserve >= h->flGreen ? REP_LIGHT_GREEN : b.flReserve >= h->flYellow ? REP_LIGHT_YELLOW : REP_LIGHT_RED;
        b.fit = Rep_TheilSen(x, y);
        if (b.uFlags & REP_FLAG_LOW) {
            b.iForecast = REP_FC_NOW;
            continue;
        }
        if (!b.fit.fInterval) {
            b.iForecast = REP_FC_INSUFFICIENT;
            continue;
        }
        if (b.fit.flHigh >= 0) {
            b.iForecast = REP_FC_NONE;
            continue;
        }
        // Lines through the medians of time and value, one for each end of
        // the slope's interval: the steeper one crosses first.
        auto cross = [&](double slope) { return b.fit.flPivotX + (lnLimit - b.fit.flPivotY) / slope; };
        double horizon = x.back() + 6 * (x.back() - x.front());
        b.flFrom = cross(b.fit.flLow);
        b.flTo = cross(b.fit.flHigh);
        b.fToBeyond = b.flTo > horizon;
        if (b.flFrom > horizon) {
            b.iForecast = REP_FC_BEYOND;
            continue;
        }
        b.iForecast = REP_FC_RANGE;
        if (b.flFrom <= lastVisit + h->flHorizonDays)
            b.uFlags |= REP_FLAG_PREDICTED;
    }
}

std::string Rep_DayText(double day)
{
    // No date for a day beyond 32 bits, an infinity or a NaN.
    if (!(fabs(day) < 2e9))
        return "";
    int y, m, d;
    Rep_CivilFromDays((int32_t)floor(day), &y, &m, &d);
    std::string s;
    Rep_Add(&s, "%04d-%02d-%02d", y, m, d);
    return s;
}
