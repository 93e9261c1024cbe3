// A history in words and as a table: the finding, the beams, the dates.
#include "report.h"

#include <math.h>

#include <algorithm>

template <typename B> static int Key(const B &b)
{
    return b.iRod * 1000 + b.iBeam;
}

std::string Rep_BeamList(const REP_PAGE &pg, const std::vector<std::string> &names)
{
    std::string s = Rep_T(pg, names.size() == 1 ? TX_BEAM_ONE : TX_BEAM_MANY);
    size_t shown = names.size() > 12 ? 10 : names.size();
    for (size_t i = 0; i < shown; i++)
        s += (i == 0 ? "" : i + 1 == names.size() ? Rep_T(pg, TX_AND) : ", ") + names[i];
    if (shown < names.size())
        s += Rep_Tf(pg, TX_N_MORE, (int)(names.size() - shown));
    return s;
}

// The finding, which beams, the dates and the action.
std::string Rep_HistorySummary(const REP_PAGE &pg, const REP_HISTORY &h)
{
    std::vector<std::string> low, high, noisy, predicted, all;
    double from = INFINITY, to = -INFINITY;
    bool toBeyond = false;
    const REP_HBEAM *weakest = nullptr;
    for (const REP_HBEAM &b : h.aBeams) {
        std::string name = Rep_BeamName(pg, h.uRods, b.iRod, b.iBeam);
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
            s += (s.empty() ? "" : "; ") + Rep_BeamList(pg, names) + " " + what;
    };
    part(low, Rep_T(pg, TX_HS_LOW));
    part(high, Rep_T(pg, TX_HS_HIGH));
    part(noisy, Rep_T(pg, TX_HS_NOISY));
    // The dates exist only when a beam is predicted.
    if (!predicted.empty())
        part(predicted, Rep_Tf(pg, TX_HS_PREDICTED, Rep_PageDay(pg, from).c_str(),
                               toBeyond ? Rep_T(pg, TX_FC_BEYOND) : Rep_PageDay(pg, to).c_str()));
    if (s.empty()) {
        s = Rep_Tf(pg, TX_HS_NONE, Rep_N(pg, h.flHorizonDays).c_str());
        if (weakest)
            s += Rep_Tf(pg, TX_HS_WEAKEST, Rep_N(pg, weakest->flReserve).c_str(),
                        Rep_BeamList(pg, {Rep_BeamName(pg, h.uRods, weakest->iRod, weakest->iBeam)}).c_str());
        return s;
    }
    s[0] = (char)toupper((unsigned char)s[0]);
    if (predicted.size() < all.size())
        return s + Rep_Tf(pg, TX_HS_ACTION_NOW, Rep_BeamList(pg, all).c_str());
    // The month the earliest range starts in: "2026-05" or "05.2026".
    std::string month = Rep_PageDay(pg, from);
    month = pg.iLang == REP_LANG_DE ? month.substr(3) : month.substr(0, 7);
    return s + Rep_Tf(pg, TX_HS_ACTION_BEFORE, Rep_BeamList(pg, all).c_str(), month.c_str());
}

std::string Rep_HistoryCsv(const REP_PAGE &pg, const REP_HISTORY &h)
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
        row += "\t" + Rep_ForecastText(pg, *b);
        cells.push_back(row);
    }
    return Rep_Csv(h.aLast, header, cells);
}

std::string Rep_ShapeText(const REP_PAGE &pg, const REP_SHAPE &s)
{
    std::string type = std::string(s.fRelative ? "relative " : "") +
                       (pg.iLang == REP_LANG_EN ? Rep_aszTypeEnglish[s.iType] : Rep_aszTypeName[s.iType]);
    return Rep_Tf(pg, TX_SHAPE, s.nBeams, s.uRods == 3 ? Rep_T(pg, TX_ROD_PAIRS_BOTH) : s.uRods == 2 ? "2" : "1", type.c_str());
}

// What the technician found on arrival, for the plan's row and the pages;
// where the arrival is said already, without saying it again.
std::string Rep_FoundText(const REP_PAGE &pg, int low, int high, int beams, bool arrival)
{
    if (low < 0)
        return Rep_T(pg, TX_FOUND_NONE);
    if (!low && !high)
        return Rep_T(pg, arrival ? TX_FOUND_WITHIN : TX_ALL_WITHIN);
    std::string s = low ? Rep_Tf(pg, TX_N_LOW, low, beams) : "";
    if (high)
        s += (s.empty() ? "" : "; ") + Rep_Tf(pg, TX_N_HIGH, high, beams);
    return arrival ? Rep_Tf(pg, TX_FOUND_AT_ARRIVAL, s.c_str()) : s;
}

std::string Rep_SoilingText(const REP_PAGE &pg, double rate, const std::string &beam)
{
    return isnan(rate) ? Rep_T(pg, TX_SOILING_NONE) : Rep_Tf(pg, TX_SOILING_TEXT, Rep_Fixed(pg, Rep_SoilPercent(rate), 0).c_str(), beam.c_str());
}

// How the recommended interval was reached, in one sentence.
std::string Rep_AdviceText(const REP_PAGE &pg, const REP_HISTORY &h)
{
    const REP_ADVICE &a = h.advice;
    if (a.iReason == ADV_CARD)
        return Rep_T(pg, TX_ADV_CARD);
    std::string first = "–", when = "–";
    if (a.iFirst >= 0) {
        const REP_HBEAM &b = h.aBeams[a.iFirst];
        first = Rep_BeamName(pg, h.uRods, b.iRod, b.iBeam);
        when = Rep_PageDay(pg, a.flCrossDay);
    }
    std::string s = Rep_Tf(pg, TX_ADV_SOILING, Rep_PageDay(pg, h.aVisits.back().iDay).c_str(), a.nSpells,
                           Rep_T(pg, a.nSpells == 1 ? TX_SPELL_ONE : TX_SPELL_MANY), first.c_str(), when.c_str());
    // Said also when the card's shortest interval then raised it.
    if (!isnan(a.flTrendDay))
        s += Rep_Tf(pg, TX_ADV_TREND, Rep_PageDay(pg, a.flTrendDay).c_str());
    static const int kMore[] = {0, 0, 0, TX_ADV_FEW, TX_ADV_MIN, TX_ADV_MAX};
    if (kMore[a.iReason])
        s += Rep_T(pg, kMore[a.iReason]);
    return s;
}
