// A grid's history across service visits: the visits' medians per beam, the
// trend of each beam as a Theil-Sen slope of the logarithm of its median
// against time (LED ageing and contamination are close to exponential), and
// the date range in which the trend reaches the lower limit.
#include "report.h"

#include <math.h>

#include <algorithm>
#include <map>
#include <memory>

// The date and the first data line of each log: enough to tell the visits
// and which recording of a day came last, without reading the logs whole.
bool Rep_ScanVisits(REP_HISTORY *h, const std::vector<std::string> &paths, std::string *error)
{
    std::map<int32_t, REP_VISIT> byDay;
    std::string firstPath;
    std::unique_ptr<REP_LINE> ln(new REP_LINE);
    for (const std::string &path : paths) {
        REP_CYCLES c;
        std::unique_ptr<REP_CYCLES, void (*)(REP_CYCLES *)> closer(&c, Rep_CloseCycles);
        if (Rep_OpenCycles(&c, path, UINT64_MAX, error) != REP_OPENED)
            return false;
        if (h->iValueType < 0) {
            h->iValueType = c.iType;
            h->fRelative = c.fRelative;
            firstPath = path;
        } else if (!(*error = Rep_TypesDiffer(c, firstPath, h->iValueType, h->fRelative)).empty()) {
            return false;
        }
        int64_t t = 0;
        const char *s;
        size_t n;
        int r;
        while ((r = Rep_NextCycle(&c, ln.get(), &t, &s, &n)) != REP_OK && r != REP_CYCLES_END)
            ;
        if (r != REP_OK) {
            *error = path + (Rep_LinesFailed(&c.ls) ? ": read error" : ": no readable data line");
            return false;
        }
        REP_VISIT &v = byDay[c.iDay];
        if (v.nLogs++ == 0 || t >= v.tStart) {
            v.iDay = c.iDay;
            v.tStart = t;
            v.strPath = path;
        }
    }
    for (auto &d : byDay)
        h->aVisits.push_back(d.second);
    return true;
}

// Each visit's recording read once and reduced to its medians at once, so
// that memory does not grow with the number of visits.
bool Rep_ReadVisits(REP_HISTORY *h, const REP_LIMITS &lim, std::string *error)
{
    std::vector<int> slot(REP_RODS * 1000, -1);
    std::unique_ptr<REP_LOG> log(new REP_LOG);
    size_t nVisits = h->aVisits.size();
    for (size_t v = 0; v < nVisits; v++) {
        REP_VISIT &visit = h->aVisits[v];
        if (!Rep_ReadLogs(log.get(), {visit.strPath}, error, false))
            return false;
        visit.nCycles = log->nCycles;
        visit.nSkipped = log->nSkipped;
        h->uRods |= log->uRods;
        for (int key = 0; key < REP_RODS * 1000; key++) {
            const REP_HIST &hist = log->aHist[key];
            if (!hist.nCount)
                continue;
            if (slot[key] < 0) {
                slot[key] = (int)h->aBeams.size();
                REP_HBEAM b = {};
                b.iRod = key / 1000;
                b.iBeam = key % 1000;
                b.aflMedian.assign(nVisits, NAN);
                h->aBeams.push_back(b);
            }
            h->aBeams[slot[key]].aflMedian[v] = Rep_HistQuantile(hist, 0.5);
        }
        if (v + 1 == nVisits) {
            Rep_BeamStats(*log, lim, &h->aLast);
            log->aHist.clear();
            h->logLast = *log;
        }
    }
    std::sort(h->aBeams.begin(), h->aBeams.end(), [](const REP_HBEAM &a, const REP_HBEAM &b) {
        return a.iRod != b.iRod ? a.iRod < b.iRod : a.iBeam < b.iBeam;
    });
    return true;
}

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
    int y, m, d;
    Rep_CivilFromDays((int32_t)floor(day), &y, &m, &d);
    std::string s;
    Rep_Add(&s, "%04d-%02d-%02d", y, m, d);
    return s;
}

std::string Rep_BeamList(const std::vector<std::string> &names)
{
    std::string s = names.size() == 1 ? "beam " : "beams ";
    size_t shown = names.size() > 12 ? 10 : names.size();
    for (size_t i = 0; i < shown; i++)
        s += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
    if (shown < names.size())
        s += " and " + std::to_string(names.size() - shown) + " more";
    return s;
}

// The finding, which beams, the dates and the action.
std::string Rep_HistorySummary(const REP_HISTORY &h)
{
    std::vector<std::string> low, high, noisy, predicted, all;
    double from = INFINITY, to = -INFINITY;
    bool toBeyond = false;
    const REP_HBEAM *weakest = nullptr;
    for (const REP_HBEAM &b : h.aBeams) {
        std::string name = Rep_BeamName(h.uRods, b.iRod, b.iBeam);
        if (b.uFlags & REP_FLAG_LOW)
            low.push_back(name);
        else if (b.uFlags & REP_FLAG_HIGH)
            high.push_back(name);
        else if (b.uFlags & REP_FLAG_NOISY)
            noisy.push_back(name);
        if (b.uFlags & REP_FLAG_PREDICTED) {
            predicted.push_back(name);
            from = std::min(from, b.flFrom);
            to = std::max(to, b.flTo);
            toBeyond |= b.fToBeyond;
        }
        if (b.uFlags)
            all.push_back(name);
        if (!weakest || b.flReserve < weakest->flReserve)
            weakest = &b;
    }
    std::string s;
    auto part = [&](const std::vector<std::string> &names, const std::string &what) {
        if (!names.empty())
            s += (s.empty() ? "" : "; ") + Rep_BeamList(names) + " " + what;
    };
    part(low, "below the lower limit now");
    part(high, "above the upper limit now");
    part(noisy, "noisier than the noise limit now");
    // The dates exist only when a beam is predicted.
    if (!predicted.empty())
        part(predicted, "predicted to reach the lower limit between " + Rep_DayText(from) + " and " +
                            (toBeyond ? std::string("beyond the horizon") : Rep_DayText(to)));
    if (s.empty()) {
        Rep_Add(&s, "No beam predicted to reach the lower limit within %g days", h.flHorizonDays);
        if (weakest)
            s += "; lowest reserve " + Rep_Num(weakest->flReserve) + " × the lower limit (" +
                 Rep_BeamList({Rep_BeamName(h.uRods, weakest->iRod, weakest->iBeam)}) + ")";
        return s;
    }
    s[0] = (char)toupper((unsigned char)s[0]);
    s += ": clean or check " + Rep_BeamList(all) + " " +
         (predicted.size() < all.size() ? std::string("now") : "before " + Rep_DayText(from).substr(0, 7));
    return s;
}

std::string Rep_HistoryCsv(const REP_HISTORY &h)
{
    static const char *const kLight[] = {"green", "yellow", "red"};
    std::vector<std::string> header, cells;
    for (const REP_VISIT &v : h.aVisits)
        header.push_back("Median " + Rep_DayText(v.iDay));
    for (const char *c : {"Reserve (× lower limit)", "Reserve light", "Trend (% per month)", "Trend low (% per month)",
                          "Trend high (% per month)", "Limit reached from", "Limit reached by", "Forecast"})
        header.push_back(c);
    auto perMonth = [](double slope) { return Rep_Decimal(Rep_PerMonth(slope), 2); };
    size_t k = 0;
    for (const REP_BEAM &s : h.aLast) {
        while (Key(h.aBeams[k]) < Key(s))   // every beam of the last visit is in the history
            k++;
        const REP_HBEAM *b = &h.aBeams[k];
        std::string row;
        for (double m : b->aflMedian)
            row += "\t" + (isnan(m) ? std::string() : Rep_Decimal(m, m == (int64_t)m ? 0 : 1));
        row += "\t" + Rep_Decimal(b->flReserve, 2) + "\t" + kLight[b->iLight];
        row += "\t" + (b->fit.fSlope ? perMonth(b->fit.flSlope) : "");
        row += "\t" + (b->fit.fInterval ? perMonth(b->fit.flLow) + "\t" + perMonth(b->fit.flHigh) : "\t");
        bool range = b->iForecast == REP_FC_RANGE;
        row += "\t" + (range ? Rep_DayText(b->flFrom) : "") + "\t" +
               (range ? b->fToBeyond ? "beyond the horizon" : Rep_DayText(b->flTo) : "");
        row += "\t" + Rep_ForecastText(*b);
        cells.push_back(row);
    }
    return Rep_Csv(h.aLast, header, cells);
}
