// The page of a grid's history: what to do and by when on top, a chart per
// flagged beam with its visits, the fitted trend and the limit, and every
// beam's visits, reserve and forecast in one table.
#include "report.h"

#include <math.h>

#include <algorithm>

#define HISTORY_CHARTS 20   // charts drawn; the table holds every beam

static const char *const kLightClass[] = {"green", "yellow", "red"};

static std::string PerMonth(double slope)
{
    std::string s;
    double v = Rep_PerMonth(slope);
    Rep_Add(&s, "%s%s %%", v > 0 ? "+" : "", Rep_Fixed(v, 1).c_str());
    return s;
}

std::string Rep_ForecastText(const REP_HBEAM &b)
{
    switch (b.iForecast) {
    case REP_FC_INSUFFICIENT:
        return Rep_T(TX_FC_INSUFFICIENT);
    case REP_FC_NONE:
        return Rep_T(TX_FC_NONE);
    case REP_FC_BEYOND:
        return Rep_T(TX_FC_BEYOND);
    case REP_FC_NOW:
        return Rep_T(TX_FC_NOW);
    }
    return Rep_Tf(TX_RANGE_TO, Rep_PageDay(b.flFrom).c_str(),
                  b.fToBeyond ? Rep_T(TX_FC_BEYOND) : Rep_PageDay(b.flTo).c_str());
}

static void BeamChart(std::string *out, const REP_HISTORY &h, const REP_HBEAM &b, const REP_LIMITS &lim)
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
            Rep_Tf(TX_BEAM_HEADING, Rep_BeamName(h.uRods, b.iRod, b.iBeam).c_str(), Rep_ForecastText(b).c_str()).c_str());
    Rep_ChartOpen(out, f.iBottom + 38, Rep_T(TX_ARIA_HISTORY));
    Rep_ChartGrid(out, f);
    Rep_ChartLimit(out, f, lim.iMin, Rep_T(TX_LOWER_LIMIT));
    int64_t tstep = Rep_TimeStep((int64_t)((t1 - t0) * 86400000));
    for (int64_t t = ((int64_t)(t0 * 86400000) / tstep + 1) * tstep; X(t / 86400000.0) <= CHART_R - 30; t += tstep)
        Rep_Add(out, "<text x=\"%.1f\" y=\"%d\" text-anchor=\"middle\">%s</text>\n", X(t / 86400000.0), f.iBottom + 15,
                Rep_PageTime(t, true).substr(0, 10).c_str());
    Rep_Add(out, "<text x=\"%d\" y=\"%d\" text-anchor=\"middle\">%s</text>\n", (CHART_L + CHART_R) / 2, f.iBottom + 31,
            Rep_T(TX_AXIS_DATE));
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

std::string Rep_HistoryHtml(const REP_HISTORY &h, const REP_LIMITS &lim, const std::vector<REP_LEFTOUT> &leftOut)
{
    std::string out, first = Rep_PageDay(h.aVisits.front().iDay), last = Rep_PageDay(h.aVisits.back().iDay);
    int nVisits = (int)h.aVisits.size();
    Rep_PageStart(&out, Rep_Tf(TX_HISTORY_TITLE, first.c_str(), last.c_str()),
                  Rep_Tf(TX_HISTORY_HEADING, nVisits, Rep_T(nVisits == 1 ? TX_VISIT_ONE : TX_VISIT_MANY)));
    Rep_Add(&out, "<p>%s</p>\n", Rep_Tf(TX_HISTORY_LINE, Rep_aszTypeName[h.iValueType],
                                        Rep_T(h.fRelative ? TX_RELATIVE : TX_ABSOLUTE), first.c_str(), last.c_str()).c_str());
    bool flagged = std::any_of(h.aBeams.begin(), h.aBeams.end(), [](const REP_HBEAM &b) { return b.uFlags != 0; });
    Rep_Add(&out, "<p class=\"verdict %s\">%s</p>\n", flagged ? "flagged" : "ok", Rep_Esc(Rep_HistorySummary(h)).c_str());
    Rep_Add(&out, "<h2>%s</h2>\n<table class=\"facts\">\n", Rep_T(TX_SUMMARY));
    Rep_Fact(&out, Rep_T(TX_VALUE_TYPE), Rep_TypeText(h.iValueType, h.fRelative));
    Rep_Fact(&out, Rep_T(TX_VISITS), Rep_Tf(TX_VISITS_SPAN, nVisits, first.c_str(), last.c_str()));
    Rep_Fact(&out, Rep_T(TX_LIMITS), Rep_LimitsHtml(lim, h.fRelative));
    Rep_Fact(&out, Rep_T(TX_HORIZON), Rep_Tf(TX_HORIZON_TEXT, Rep_N(h.flHorizonDays).c_str()));
    Rep_Fact(&out, Rep_T(TX_RESERVE), Rep_Tf(TX_RESERVE_TEXT, Rep_N(h.flGreen).c_str(), Rep_N(h.flYellow).c_str()));
    Rep_Fact(&out, Rep_T(TX_TREND), Rep_T(TX_TREND_TEXT));
    Rep_Fact(&out, Rep_T(TX_BEAMS), std::to_string(h.aBeams.size()));
    Rep_Add(&out, "</table>\n<h2>%s</h2>\n<table id=\"visits\">\n<thead><tr><th class=\"text\">%s</th><th>%s</th>"
                  "<th class=\"text\">%s</th><th>%s</th><th>%s</th><th>%s</th></tr></thead>\n<tbody>\n",
            Rep_T(TX_VISITS), Rep_T(TX_DATE), Rep_T(TX_START), Rep_T(TX_RECORDING_COUNTS), Rep_T(TX_LOGS_OF_DATE),
            Rep_T(TX_CYCLES), Rep_T(TX_SKIPPED));
    for (const REP_VISIT &v : h.aVisits)
        Rep_Add(&out, "<tr><td class=\"text\">%s</td><td>%s</td><td class=\"text\">%s</td><td>%d</td><td>%llu</td>"
                      "<td>%llu</td></tr>\n",
                Rep_PageDay(v.iDay).c_str(), Rep_TimeText(v.tStart, false).substr(0, 8).c_str(),
                Rep_Esc(Rep_Utf8(v.strPath.data(), v.strPath.size())).c_str(), v.nLogs,
                (unsigned long long)v.nCycles, (unsigned long long)v.nSkipped);
    Rep_Add(&out, "</tbody>\n</table>\n<h2>%s</h2>\n", Rep_T(TX_FLAGGED_BEAMS));
    int charts = 0, more = 0;
    for (const REP_HBEAM &b : h.aBeams)
        if (b.uFlags && charts++ < HISTORY_CHARTS)
            BeamChart(&out, h, b, lim);
        else if (b.uFlags)
            more++;
    if (!charts)
        Rep_Add(&out, "<p>%s</p>\n", Rep_T(TX_NO_BEAM_FLAGGED));
    if (more)
        Rep_Add(&out, "<p>%s</p>\n", Rep_Tf(TX_N_MORE_FLAGGED, more).c_str());
    if (charts)
        Rep_Add(&out, "<p class=\"legend\">%s</p>\n", Rep_T(TX_HISTORY_LEGEND));
    Rep_Add(&out, "<h2>%s</h2>\n<table id=\"beams\">\n<thead><tr><th class=\"text\">%s</th><th class=\"text\">%s</th>"
                  "<th>%s</th><th>%s</th><th>%s</th><th class=\"text\">%s</th></tr></thead>\n<tbody>\n",
            Rep_T(TX_EVERY_BEAM), Rep_T(TX_BEAM), Rep_T(TX_MEDIAN_PER_VISIT), Rep_T(TX_RESERVE),
            Rep_T(TX_TREND_PER_MONTH), Rep_T(TX_INTERVAL_95), Rep_T(TX_LIMIT_REACHED));
    for (const REP_HBEAM &b : h.aBeams) {
        std::string medians;
        for (double m : b.aflMedian)
            medians += (medians.empty() ? "" : " · ") + (isnan(m) ? std::string("–") : Rep_N(m));
        Rep_Add(&out, "<tr%s><td class=\"beam text\">%s</td><td class=\"medians\">%s</td>"
                      "<td class=\"light %s\">%s ×</td><td>%s</td><td>%s</td><td class=\"text forecast\">%s</td></tr>\n",
                b.uFlags & (REP_FLAG_LOW | REP_FLAG_PREDICTED) ? " class=\"low\"" : b.uFlags ? " class=\"high\"" : "",
                Rep_BeamName(h.uRods, b.iRod, b.iBeam).c_str(), medians.c_str(), kLightClass[b.iLight],
                Rep_N(b.flReserve).c_str(), b.fit.fSlope ? PerMonth(b.fit.flSlope).c_str() : "–",
                b.fit.fInterval ? Rep_Tf(TX_RANGE_TO, PerMonth(b.fit.flLow).c_str(), PerMonth(b.fit.flHigh).c_str()).c_str()
                                : "–",
                Rep_ForecastText(b).c_str());
    }
    out += "</tbody>\n</table>\n";
    Rep_LeftOutList(&out, leftOut);
    Rep_LogsTable(&out, h.logLast, Rep_T(TX_LOG_OF_LAST));
    out += "</body>\n</html>\n";
    return out;
}

void Rep_LeftOutList(std::string *out, const std::vector<REP_LEFTOUT> &left)
{
    if (left.empty())
        return;
    Rep_Add(out, "<h2>%s</h2>\n<ul id=\"leftout\">\n", Rep_T(TX_LEFT_OUT));
    for (const REP_LEFTOUT &l : left) {
        std::string path = Rep_Esc(Rep_Utf8(l.strPath.data(), l.strPath.size()));
        std::string why = !l.strWhy.empty() ? path + ": " + Rep_Esc(Rep_Utf8(l.strWhy.data(), l.strWhy.size()))
                                            : Rep_Tf(TX_LEFT_OUT_WHY, path.c_str(), Rep_ShapeText(l.mine).c_str(),
                                                     Rep_ShapeText(l.theirs).c_str());
        Rep_Add(out, "<li>%s</li>\n", why.c_str());
    }
    *out += "</ul>\n";
}
