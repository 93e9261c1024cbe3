// The page of a grid's history: what to do and by when on top, a chart per
// flagged beam with its visits, the fitted trend and the limit, and every
// beam's visits, reserve and forecast in one table.
#include "report.h"

#include <math.h>

#include <algorithm>

#define HISTORY_CHARTS 20   // charts drawn; the table holds every beam

static const char *const kLightClass[] = {"green", "yellow", "red"};

static std::string PerMonth(const REP_PAGE &pg, double slope)
{
    std::string s;
    double v = Rep_PerMonth(slope);
    Rep_Add(&s, "%s%s %%", v > 0 ? "+" : "", Rep_Fixed(pg, v, 1).c_str());
    return s;
}

std::string Rep_ForecastText(const REP_PAGE &pg, const REP_HBEAM &b)
{
    switch (b.iForecast) {
    case REP_FC_INSUFFICIENT:
        return Rep_T(pg, TX_FC_INSUFFICIENT);
    case REP_FC_NONE:
        return Rep_T(pg, TX_FC_NONE);
    case REP_FC_BEYOND:
        return Rep_T(pg, TX_FC_BEYOND);
    case REP_FC_NOW:
        return Rep_T(pg, TX_FC_NOW);
    }
    return Rep_Tf(pg, TX_RANGE_TO, Rep_PageDay(pg, b.flFrom).c_str(),
                  b.fToBeyond ? Rep_T(pg, TX_FC_BEYOND) : Rep_PageDay(pg, b.flTo).c_str());
}

static void BeamChart(const REP_PAGE &pg, std::string *out, const REP_HISTORY &h, const REP_HBEAM &b, const REP_LIMITS &lim)
{
    double t0 = h.aVisits.front().tStart / 86400000.0, last = h.aVisits.back().tStart / 86400000.0;
    double t1 = last + std::max((last - t0) * 0.1, 1.0);
    if (b.iForecast == REP_FC_RANGE)
        t1 = std::max(t1, std::min(b.flTo, last + 6 * (last - t0)) + (last - t0) * 0.05);
    REP_FRAME f = {lim.iMin * 0.8, lim.iMin * 1.25, 152};
    for (double m : b.aflMedian)
        if (!isnan(m)) {
            f.lo = std::min(f.lo, m);
            f.hi = std::max(f.hi, m * 1.05);
        }
    f.lo = std::max(0.0, f.lo);
    double step = Rep_NiceStep(f.hi - f.lo, 5);
    f.lo = floor(f.lo / step) * step;
    f.hi = ceil(f.hi / step) * step;
    auto X = [&](double t) { return CHART_L + (t - t0) / (t1 - t0) * (CHART_R - CHART_L); };
    auto Yc = [&](double v) { return Rep_ChartY(f, std::min(std::max(v, f.lo), f.hi)); };
    Rep_Add(out, "<section>\n<h3>%s</h3>\n",
            Rep_Tf(pg, TX_BEAM_HEADING, Rep_BeamName(pg, h.uRods, b.iRod, b.iBeam).c_str(), Rep_ForecastText(pg, b).c_str()).c_str());
    Rep_ChartOpen(out, f.iBottom + 38, Rep_T(pg, TX_ARIA_HISTORY));
    Rep_ChartGrid(pg, out, f);
    Rep_ChartLimit(pg, out, f, lim.iMin, Rep_T(pg, TX_LOWER_LIMIT));
    int64_t tstep = Rep_TimeStep((int64_t)((t1 - t0) * 86400000));
    for (int64_t t = ((int64_t)(t0 * 86400000) / tstep + 1) * tstep; X(t / 86400000.0) <= CHART_R - 30; t += tstep)
        Rep_Add(out, "<text x=\"%.1f\" y=\"%d\" text-anchor=\"middle\">%s</text>\n", X(t / 86400000.0), f.iBottom + 15,
                Rep_PageTime(pg, t, true).substr(0, 10).c_str());
    Rep_Add(out, "<text x=\"%d\" y=\"%d\" text-anchor=\"middle\">%s</text>\n", (CHART_L + CHART_R) / 2, f.iBottom + 31,
            Rep_T(pg, TX_AXIS_DATE));
    if (b.fit.fSlope) {
        const double slopes[3] = {b.fit.flSlope, b.fit.flLow, b.fit.flHigh};
        for (int k = 0; k < (b.fit.fInterval ? 3 : 1); k++) {
            std::string pts;
            for (int i = 0; i <= 60; i++) {
                double t = t0 + (t1 - t0) * i / 60;
                Rep_Add(&pts, "%.1f,%.1f ", X(t), Yc(exp(b.fit.flPivotY + slopes[k] * (t - b.fit.flPivotX))));
            }
            Rep_Add(out, "<polyline points=\"%s\" stroke=\"#1565c0\" stroke-width=\"%s\"%s fill=\"none\"/>\n",
                    pts.c_str(), k ? "1" : "1.6", k ? " stroke-dasharray=\"4 3\"" : "");
        }
    }
    for (size_t v = 0; v < h.aVisits.size(); v++)
        if (!isnan(b.aflMedian[v]))
            Rep_Add(out, "<circle cx=\"%.1f\" cy=\"%.1f\" r=\"3.5\" fill=\"#212121\"/>\n",
                    X(h.aVisits[v].tStart / 86400000.0), Yc(b.aflMedian[v]));
    *out += "</svg>\n</section>\n";
}

// The beam that soils fastest, as found and as left at each visit: the fall
// between visits is the soiling, the rise at a visit the cleaning.
static void SawTooth(const REP_PAGE &pg, std::string *out, const REP_HISTORY &h, const REP_HBEAM &b, const REP_LIMITS &lim)
{
    std::vector<std::pair<double, double>> pts;   // day, median, in time order
    std::vector<bool> found;
    for (size_t v = 0; v < h.aVisits.size(); v++) {
        if (!isnan(b.aflFound[v])) {
            pts.push_back({h.aVisits[v].tFound / 86400000.0, b.aflFound[v]});
            found.push_back(true);
        }
        if (!isnan(b.aflMedian[v])) {
            pts.push_back({h.aVisits[v].tStart / 86400000.0, b.aflMedian[v]});
            found.push_back(false);
        }
    }
    double t0 = pts.front().first, t1 = pts.back().first + std::max((pts.back().first - t0) * 0.05, 1.0);
    REP_FRAME f = {0, lim.iMin * 1.25, 152};
    for (const auto &p : pts)
        f.hi = std::max(f.hi, p.second * 1.05);
    double step = Rep_NiceStep(f.hi, 5);
    f.hi = ceil(f.hi / step) * step;
    auto X = [&](double t) { return CHART_L + (t - t0) / (t1 - t0) * (CHART_R - CHART_L); };
    Rep_Add(out, "<section id=\"sawtooth\">\n<h3>%s</h3>\n",
            Rep_Tf(pg, TX_SAWTOOTH, Rep_BeamName(pg, h.uRods, b.iRod, b.iBeam).c_str()).c_str());
    Rep_ChartOpen(out, f.iBottom + 38, Rep_T(pg, TX_ARIA_SAWTOOTH));
    Rep_ChartGrid(pg, out, f);
    Rep_ChartLimit(pg, out, f, lim.iMin, Rep_T(pg, TX_LOWER_LIMIT));
    for (size_t v = 0; v < h.aVisits.size(); v++)
        Rep_Add(out, "<text x=\"%.1f\" y=\"%d\" text-anchor=\"middle\">%s</text>\n", X(h.aVisits[v].tStart / 86400000.0),
                f.iBottom + 15, Rep_PageDay(pg, h.aVisits[v].iDay).c_str());
    std::string line;
    for (const auto &p : pts)
        Rep_Add(&line, "%.1f,%.1f ", X(p.first), Rep_ChartY(f, p.second));
    Rep_Add(out, "<polyline points=\"%s\" stroke=\"#1565c0\" stroke-width=\"1.4\" fill=\"none\"/>\n", line.c_str());
    for (size_t i = 0; i < pts.size(); i++)
        Rep_Add(out, "<circle class=\"%s\" cx=\"%.1f\" cy=\"%.1f\" r=\"3.5\" %s/>\n", found[i] ? "found" : "left",
                X(pts[i].first), Rep_ChartY(f, pts[i].second),
                found[i] ? "fill=\"#fff\" stroke=\"#c62828\" stroke-width=\"1.5\"" : "fill=\"#212121\"");
    Rep_Add(out, "</svg>\n<p class=\"legend\">%s</p>\n</section>\n", Rep_T(pg, TX_SAWTOOTH_LEGEND));
}

static void SpellsTable(const REP_PAGE &pg, std::string *out, const REP_HISTORY &h)
{
    if (h.aSpells.empty())
        return;
    Rep_Add(out, "<table id=\"spells\">\n<thead><tr><th class=\"text\">%s</th><th class=\"text\">%s</th><th>%s</th>"
                 "<th>%s</th><th class=\"text\">%s</th></tr></thead>\n<tbody>\n",
            Rep_T(pg, TX_AFTER_SERVICE), Rep_T(pg, TX_ON_ARRIVAL), Rep_T(pg, TX_MONTHS_HEAD), Rep_T(pg, TX_SOILING), Rep_T(pg, TX_FASTEST_BEAM));
    for (const REP_SPELL &s : h.aSpells) {
        const REP_HBEAM *b = s.iWorst >= 0 ? &h.aBeams[s.iWorst] : nullptr;
        Rep_Add(out, "<tr><td class=\"text\">%s</td><td class=\"text\">%s</td><td>%s</td><td>%s</td>"
                     "<td class=\"text\">%s</td></tr>\n",
                Rep_PageDay(pg, h.aVisits[s.iFrom].iDay).c_str(), Rep_PageDay(pg, h.aVisits[s.iTo].iDay).c_str(),
                Rep_Fixed(pg, s.flMonths, 1).c_str(),
                b ? Rep_Tf(pg, TX_PER_MONTH, Rep_Fixed(pg, Rep_SoilPercent(s.flWorst), 1).c_str()).c_str() : "–",
                b ? Rep_BeamName(pg, h.uRods, b->iRod, b->iBeam).c_str() : "–");
    }
    *out += "</tbody>\n</table>\n";
}

std::string Rep_HistoryHtml(const REP_PAGE &pg, const REP_HISTORY &h, const REP_LIMITS &lim, const std::vector<REP_LEFTOUT> &leftOut)
{
    std::string out, first = Rep_PageDay(pg, h.aVisits.front().iDay), last = Rep_PageDay(pg, h.aVisits.back().iDay);
    int nVisits = (int)h.aVisits.size();
    Rep_PageStart(pg, &out, Rep_Tf(pg, TX_HISTORY_TITLE, first.c_str(), last.c_str()),
                  Rep_Tf(pg, TX_HISTORY_HEADING, nVisits, Rep_T(pg, nVisits == 1 ? TX_VISIT_ONE : TX_VISIT_MANY)));
    Rep_Add(&out, "<p>%s</p>\n", Rep_Tf(pg, TX_HISTORY_LINE, Rep_aszTypeName[h.iValueType],
                                        Rep_T(pg, h.fRelative ? TX_RELATIVE : TX_ABSOLUTE), first.c_str(), last.c_str()).c_str());
    bool flagged = std::any_of(h.aBeams.begin(), h.aBeams.end(), [](const REP_HBEAM &b) { return b.uFlags != 0; });
    Rep_Add(&out, "<p class=\"verdict %s\">%s</p>\n", flagged ? "flagged" : "ok", Rep_Esc(Rep_HistorySummary(pg, h)).c_str());
    std::string foundVisits;
    for (const REP_VISIT &v : h.aVisits)
        if (v.nFoundLow > 0 || v.nFoundHigh > 0)
            foundVisits += (foundVisits.empty() ? "" : ", ") + Rep_PageDay(pg, v.iDay) + " (" +
                           Rep_FoundText(pg, v.nFoundLow, v.nFoundHigh, (int)h.aBeams.size(), false) + ")";
    if (!foundVisits.empty())
        Rep_Add(&out, "<p class=\"verdict flagged\" id=\"found\">%s</p>\n",
                Rep_Esc(Rep_Tf(pg, TX_FOUND_VISITS, foundVisits.c_str())).c_str());
    Rep_Add(&out, "<h2>%s</h2>\n<table class=\"facts\">\n", Rep_T(pg, TX_SUMMARY));
    Rep_Fact(&out, Rep_T(pg, TX_VALUE_TYPE), Rep_TypeText(pg, h.iValueType, h.fRelative));
    Rep_Fact(&out, Rep_T(pg, TX_VISITS), Rep_Tf(pg, TX_VISITS_SPAN, nVisits, first.c_str(), last.c_str()));
    Rep_Fact(&out, Rep_T(pg, TX_LIMITS), Rep_LimitsHtml(pg, lim, h.fRelative));
    Rep_Fact(&out, Rep_T(pg, TX_HORIZON), Rep_Tf(pg, TX_HORIZON_TEXT, Rep_N(pg, h.flHorizonDays).c_str()));
    Rep_Fact(&out, Rep_T(pg, TX_RESERVE), Rep_Tf(pg, TX_RESERVE_TEXT, Rep_N(pg, h.flGreen).c_str(), Rep_N(pg, h.flYellow).c_str()));
    Rep_Fact(&out, Rep_T(pg, TX_TREND), Rep_T(pg, TX_TREND_TEXT));
    Rep_Fact(&out, Rep_T(pg, TX_BEAMS), std::to_string(h.aBeams.size()));
    const REP_VISIT &lastVisit = h.aVisits.back();
    const REP_ADVICE &a = h.advice;
    const REP_HBEAM *worst = a.iWorst >= 0 ? &h.aBeams[a.iWorst] : nullptr;
    Rep_Fact(&out, Rep_T(pg, TX_ON_ARRIVAL), Rep_Esc(Rep_FoundText(pg, lastVisit.nFoundLow, lastVisit.nFoundHigh, (int)h.aBeams.size(), false)));
    Rep_Fact(&out, Rep_T(pg, TX_SOILING),
             Rep_Esc(Rep_SoilingText(pg, a.flRate, worst ? Rep_BeamName(pg, h.uRods, worst->iRod, worst->iBeam) : "")));
    Rep_Fact(&out, Rep_T(pg, TX_ADVISED_INTERVAL),
             "<span id=\"advice\">" + (pg.who.fCard ? Rep_Tf(pg, a.iMonths == 1 ? TX_ADVISED_ONE : TX_ADVISED_TEXT, a.iMonths, pg.who.card.aiValue[CARD_INTERVAL])
                              : Rep_Tf(pg, a.iMonths == 1 ? TX_ADVISED_ONE_NO_CARD : TX_ADVISED_NO_CARD, a.iMonths)) +
                 "</span><br>" + Rep_Esc(Rep_AdviceText(pg, h)));
    Rep_Add(&out, "</table>\n<h2>%s</h2>\n<table id=\"visits\">\n<thead><tr><th class=\"text\">%s</th><th>%s</th>"
                  "<th class=\"text\">%s</th><th class=\"text\">%s</th><th>%s</th><th>%s</th><th>%s</th></tr></thead>\n"
                  "<tbody>\n",
            Rep_T(pg, TX_VISITS), Rep_T(pg, TX_DATE), Rep_T(pg, TX_START), Rep_T(pg, TX_ON_ARRIVAL), Rep_T(pg, TX_AFTER_SERVICE),
            Rep_T(pg, TX_LOGS_OF_DATE), Rep_T(pg, TX_CYCLES), Rep_T(pg, TX_SKIPPED));
    for (const REP_VISIT &v : h.aVisits) {
        std::string found = !v.strUnpaired.empty()
                                ? Rep_Esc(Rep_Tf(pg, TX_FOUND_UNPAIRED, Rep_Utf8(v.strUnpaired.data(), v.strUnpaired.size()).c_str()))
                            : v.strFound.empty() ? Rep_Esc(Rep_T(pg, TX_FOUND_NONE))
                                                 : Rep_Esc(Rep_Utf8(v.strFound.data(), v.strFound.size())) + "<br>" +
                                                       Rep_Esc(Rep_FoundText(pg, v.nFoundLow, v.nFoundHigh, (int)h.aBeams.size(), false));
        Rep_Add(&out, "<tr><td class=\"text\">%s</td><td>%s</td><td class=\"text%s\">%s</td><td class=\"text\">%s</td>"
                      "<td>%d</td><td>%llu</td><td>%llu</td></tr>\n",
                Rep_PageDay(pg, v.iDay).c_str(), Rep_TimeText(v.tStart, false).substr(0, 8).c_str(),
                v.nFoundLow > 0 || v.nFoundHigh > 0 ? " found" : "", found.c_str(),
                Rep_Esc(Rep_Utf8(v.strPath.data(), v.strPath.size())).c_str(), v.nLogs,
                (unsigned long long)v.nCycles, (unsigned long long)v.nSkipped);
    }
    out += "</tbody>\n</table>\n";
    if (!h.aSpells.empty()) {
        Rep_Add(&out, "<h2>%s</h2>\n", Rep_T(pg, TX_SOILING_SPELLS));
        SpellsTable(pg, &out, h);
        if (worst)
            SawTooth(pg, &out, h, *worst, lim);
    }
    Rep_Add(&out, "<h2>%s</h2>\n", Rep_T(pg, TX_FLAGGED_BEAMS));
    int charts = 0, more = 0;
    for (const REP_HBEAM &b : h.aBeams)
        if (b.uFlags && charts++ < HISTORY_CHARTS)
            BeamChart(pg, &out, h, b, lim);
        else if (b.uFlags)
            more++;
    if (!charts)
        Rep_Add(&out, "<p>%s</p>\n", Rep_T(pg, TX_NO_BEAM_FLAGGED));
    if (more)
        Rep_Add(&out, "<p>%s</p>\n", Rep_Tf(pg, TX_N_MORE_FLAGGED, more).c_str());
    if (charts)
        Rep_Add(&out, "<p class=\"legend\">%s</p>\n", Rep_T(pg, TX_HISTORY_LEGEND));
    Rep_Add(&out, "<h2>%s</h2>\n<table id=\"beams\">\n<thead><tr><th class=\"text\">%s</th><th class=\"text\">%s</th>"
                  "<th class=\"text\">%s</th><th>%s</th><th>%s</th><th>%s</th><th class=\"text\">%s</th></tr></thead>\n<tbody>\n",
            Rep_T(pg, TX_EVERY_BEAM), Rep_T(pg, TX_BEAM), Rep_T(pg, TX_MEDIAN_PER_VISIT), Rep_T(pg, TX_FOUND_PER_VISIT), Rep_T(pg, TX_RESERVE),
            Rep_T(pg, TX_TREND_PER_MONTH), Rep_T(pg, TX_INTERVAL_95), Rep_T(pg, TX_LIMIT_REACHED));
    for (const REP_HBEAM &b : h.aBeams) {
        std::string medians;
        for (double m : b.aflMedian)
            medians += (medians.empty() ? "" : " · ") + (isnan(m) ? std::string("–") : Rep_N(pg, m));
        std::string found;
        for (double m : b.aflFound)
            found += (found.empty() ? "" : " · ") + (isnan(m) ? std::string("–") : Rep_N(pg, m));
        Rep_Add(&out, "<tr%s><td class=\"beam text\">%s</td><td class=\"medians\">%s</td><td class=\"found-medians\">%s</td>"
                      "<td class=\"light %s\">%s ×</td><td>%s</td><td>%s</td><td class=\"text forecast\">%s</td></tr>\n",
                b.uFlags & (REP_FLAG_LOW | REP_FLAG_PREDICTED) ? " class=\"low\"" : b.uFlags ? " class=\"high\"" : "",
                Rep_BeamName(pg, h.uRods, b.iRod, b.iBeam).c_str(), medians.c_str(), found.c_str(), kLightClass[b.iLight],
                Rep_N(pg, b.flReserve).c_str(), b.fit.fSlope ? PerMonth(pg, b.fit.flSlope).c_str() : "–",
                b.fit.fInterval ? Rep_Tf(pg, TX_RANGE_TO, PerMonth(pg, b.fit.flLow).c_str(), PerMonth(pg, b.fit.flHigh).c_str()).c_str()
                                : "–",
                Rep_ForecastText(pg, b).c_str());
    }
    out += "</tbody>\n</table>\n";
    Rep_LeftOutList(pg, &out, leftOut);
    Rep_LogsTable(pg, &out, h.logLast, Rep_T(pg, TX_LOG_OF_LAST));
    out += "</body>\n</html>\n";
    return out;
}

void Rep_LeftOutList(const REP_PAGE &pg, std::string *out, const std::vector<REP_LEFTOUT> &left)
{
    if (left.empty())
        return;
    Rep_Add(out, "<h2>%s</h2>\n<ul id=\"leftout\">\n", Rep_T(pg, TX_LEFT_OUT));
    for (const REP_LEFTOUT &l : left) {
        std::string path = Rep_Esc(Rep_Utf8(l.strPath.data(), l.strPath.size()));
        std::string why = !l.strWhy.empty() ? path + ": " + Rep_Esc(Rep_Utf8(l.strWhy.data(), l.strWhy.size()))
                                            : Rep_Tf(pg, TX_LEFT_OUT_WHY, path.c_str(), Rep_ShapeText(pg, l.mine).c_str(),
                                                     Rep_ShapeText(pg, l.theirs).c_str());
        Rep_Add(out, "<li>%s</li>\n", why.c_str());
    }
    *out += "</ul>\n";
}
