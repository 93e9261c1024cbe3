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
    Rep_Add(&s, "%s%.1f %%", v > 0 ? "+" : "", v);
    return s;
}

std::string Rep_ForecastText(const REP_HBEAM &b)
{
    switch (b.iForecast) {
    case REP_FC_INSUFFICIENT:
        return "insufficient data";
    case REP_FC_NONE:
        return "no crossing predicted";
    case REP_FC_BEYOND:
        return "beyond the horizon";
    case REP_FC_NOW:
        return "below the lower limit now";
    }
    return Rep_DayText(b.flFrom) + " to " + (b.fToBeyond ? std::string("beyond the horizon") : Rep_DayText(b.flTo));
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
    Rep_Add(out, "<section>\n<h3>Beam %s: %s</h3>\n", Rep_BeamName(h.uRods, b.iRod, b.iBeam).c_str(),
            Rep_ForecastText(b).c_str());
    Rep_ChartOpen(out, f.iBottom + 38, "visits, fitted trend and lower limit of one beam");
    Rep_ChartGrid(out, f);
    Rep_ChartLimit(out, f, lim.iMin, "lower limit");
    int64_t tstep = Rep_TimeStep((int64_t)((t1 - t0) * 86400000));
    for (int64_t t = ((int64_t)(t0 * 86400000) / tstep + 1) * tstep; X(t / 86400000.0) <= CHART_R - 30; t += tstep)
        Rep_Add(out, "<text x=\"%.1f\" y=\"%d\" text-anchor=\"middle\">%s</text>\n", X(t / 86400000.0), f.iBottom + 15,
                Rep_TimeText(t, true).substr(0, 10).c_str());
    Rep_Add(out, "<text x=\"%d\" y=\"%d\" text-anchor=\"middle\">date</text>\n", (CHART_L + CHART_R) / 2, f.iBottom + 31);
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

std::string Rep_HistoryHtml(const REP_HISTORY &h, const REP_LIMITS &lim)
{
    std::string out, first = Rep_DayText(h.aVisits.front().iDay), last = Rep_DayText(h.aVisits.back().iDay);
    Rep_PageStart(&out, "Grid history " + first + " to " + last,
                  "Grid history: " + std::to_string(h.aVisits.size()) + (h.aVisits.size() == 1 ? " visit" : " visits"));
    Rep_Add(&out, "<p>%s, %s, %s to %s</p>\n", Rep_aszTypeName[h.iValueType], h.fRelative ? "relative" : "absolute",
            first.c_str(), last.c_str());
    bool flagged = std::any_of(h.aBeams.begin(), h.aBeams.end(), [](const REP_HBEAM &b) { return b.uFlags != 0; });
    Rep_Add(&out, "<p class=\"verdict %s\">%s</p>\n", flagged ? "flagged" : "ok", Rep_Esc(Rep_HistorySummary(h)).c_str());
    out += "<h2>Summary</h2>\n<table class=\"facts\">\n";
    Rep_Fact(&out, "Value type", Rep_TypeText(h.iValueType, h.fRelative));
    Rep_Fact(&out, "Visits", std::to_string(h.aVisits.size()) + ", " + first + " to " + last);
    Rep_Fact(&out, "Limits", Rep_LimitsHtml(lim, h.fRelative));
    std::string horizon;
    Rep_Add(&horizon, "a beam is flagged when its trend may reach the lower limit within %g days of the last visit "
                      "(--horizon); a crossing later than six times the span the visits cover reads "
                      "“beyond the horizon”", h.flHorizonDays);
    Rep_Fact(&out, "Horizon", horizon);
    std::string reserve;
    Rep_Add(&reserve, "median of the last visit as a multiple of the lower limit: green from %s, yellow from %s, red "
                      "below", Rep_Num(h.flGreen).c_str(), Rep_Num(h.flYellow).c_str());
    Rep_Fact(&out, "Reserve", reserve);
    Rep_Fact(&out, "Trend", "Theil-Sen slope of the logarithm of the median against time, with its 95 % interval "
                            "from Kendall's statistic; at least 5 visits");
    Rep_Fact(&out, "Beams", std::to_string(h.aBeams.size()));
    out += "</table>\n<h2>Visits</h2>\n<table id=\"visits\">\n<thead><tr><th class=\"text\">Date</th><th>Start</th>"
           "<th class=\"text\">Recording that counts</th><th>Logs of the date</th><th>Cycles</th><th>Skipped</th>"
           "</tr></thead>\n<tbody>\n";
    for (const REP_VISIT &v : h.aVisits)
        Rep_Add(&out, "<tr><td class=\"text\">%s</td><td>%s</td><td class=\"text\">%s</td><td>%d</td><td>%llu</td>"
                      "<td>%llu</td></tr>\n",
                Rep_DayText(v.iDay).c_str(), Rep_TimeText(v.tStart, false).substr(0, 8).c_str(),
                Rep_Esc(Rep_Utf8(v.strPath.data(), v.strPath.size())).c_str(), v.nLogs,
                (unsigned long long)v.nCycles, (unsigned long long)v.nSkipped);
    out += "</tbody>\n</table>\n<h2>Flagged beams</h2>\n";
    int charts = 0, more = 0;
    for (const REP_HBEAM &b : h.aBeams)
        if (b.uFlags && charts++ < HISTORY_CHARTS)
            BeamChart(&out, h, b, lim);
        else if (b.uFlags)
            more++;
    if (!charts)
        out += "<p>No beam is flagged.</p>\n";
    if (more)
        Rep_Add(&out, "<p>%d more flagged beams are in the table.</p>\n", more);
    if (charts)
        out += "<p class=\"legend\">Points: the median of each visit; solid line: the fitted trend; dashed lines: "
               "the ends of its 95 % interval.</p>\n";
    out += "<h2>Every beam</h2>\n<table id=\"beams\">\n<thead><tr><th class=\"text\">Beam</th>"
           "<th class=\"text\">Median per visit</th><th>Reserve</th><th>Trend per month</th><th>95 % interval</th>"
           "<th class=\"text\">Lower limit reached</th></tr></thead>\n<tbody>\n";
    for (const REP_HBEAM &b : h.aBeams) {
        std::string medians;
        for (double m : b.aflMedian)
            medians += (medians.empty() ? "" : " · ") + (isnan(m) ? std::string("–") : Rep_Num(m));
        Rep_Add(&out, "<tr%s><td class=\"beam text\">%s</td><td class=\"medians\">%s</td>"
                      "<td class=\"light %s\">%s ×</td><td>%s</td><td>%s</td><td class=\"text forecast\">%s</td></tr>\n",
                b.uFlags & (REP_FLAG_LOW | REP_FLAG_PREDICTED) ? " class=\"low\"" : b.uFlags ? " class=\"high\"" : "",
                Rep_BeamName(h.uRods, b.iRod, b.iBeam).c_str(), medians.c_str(), kLightClass[b.iLight],
                Rep_Num(b.flReserve).c_str(), b.fit.fSlope ? PerMonth(b.fit.flSlope).c_str() : "–",
                b.fit.fInterval ? (PerMonth(b.fit.flLow) + " to " + PerMonth(b.fit.flHigh)).c_str() : "–",
                Rep_ForecastText(b).c_str());
    }
    out += "</tbody>\n</table>\n";
    Rep_LogsTable(&out, h.logLast, "Log of the last visit");
    out += "</body>\n</html>\n";
    return out;
}
