// The report's charts, drawn as inline SVG: values and noise per beam, and
// the trend over time. One drawing unit is about 0.18 mm on an A4 page.
#include "report.h"

#include <math.h>

#include <algorithm>

static const char *const kOk = "#78909c";
static const char *const kLow = "#c62828";
static const char *const kHigh = "#ef6c00";
static const char *const kNoisy = "#6a1b9a";
static const char *const kLimit = "#ff9600";   // the program's limit line colour
static const char *const kTrend[REP_WEAKEST] = {"#c62828", "#1565c0", "#2e7d32", "#6a1b9a", "#ef6c00"};

double Rep_ChartY(const REP_FRAME &f, double v)
{
    return f.iBottom - (v - f.lo) / (f.hi - f.lo) * (f.iBottom - CHART_T);
}

// 1, 2 or 5 times a power of ten, at least span / parts.
double Rep_NiceStep(double span, int parts)
{
    double raw = span / parts, mag = pow(10, floor(log10(raw)));
    for (double f : {1.0, 2.0, 5.0})
        if (f * mag >= raw)
            return f * mag;
    return 10 * mag;
}

void Rep_ChartOpen(std::string *out, int height, const std::string &label)
{
    Rep_Add(out, "<svg class=\"chart\" viewBox=\"0 0 %d %d\" role=\"img\" aria-label=\"%s\" xmlns=\"http://www.w3.org/2000/svg\">\n",
            CHART_W, height, Rep_Esc(label).c_str());
}

// Frame, horizontal grid and value labels.
void Rep_ChartGrid(const REP_PAGE &pg, std::string *out, const REP_FRAME &f)
{
    Rep_Add(out, "<rect x=\"%d\" y=\"%d\" width=\"%d\" height=\"%d\" fill=\"#fafafa\" stroke=\"#9e9e9e\"/>\n", CHART_L,
            CHART_T, CHART_R - CHART_L, f.iBottom - CHART_T);
    double step = Rep_NiceStep(f.hi - f.lo, 6);
    std::string grid, labels;
    for (double v = ceil(f.lo / step) * step; v <= f.hi + step * 1e-9; v += step) {
        Rep_Add(&grid, "M%d %.1fH%d", CHART_L, Rep_ChartY(f, v), CHART_R);
        Rep_Add(&labels, "<text x=\"%d\" y=\"%.1f\" text-anchor=\"end\">%s</text>\n", CHART_L - 5, Rep_ChartY(f, v) + 4,
                Rep_N(pg, v).c_str());
    }
    Rep_Add(out, "<path d=\"%s\" stroke=\"#e0e0e0\" fill=\"none\"/>\n%s", grid.c_str(), labels.c_str());
}

void Rep_ChartLimit(const REP_PAGE &pg, std::string *out, const REP_FRAME &f, double v, const char *name)
{
    if (v < f.lo || v > f.hi)
        return;
    Rep_Add(out, "<path d=\"M%d %.1fH%d\" stroke=\"%s\" stroke-width=\"1.5\" stroke-dasharray=\"6 3\"/>\n", CHART_L,
            Rep_ChartY(f, v), CHART_R, kLimit);
    Rep_Add(out, "<text x=\"%d\" y=\"%.1f\" text-anchor=\"end\" fill=\"#b36b00\">%s %s</text>\n", CHART_R - 3,
            Rep_ChartY(f, v) - 3, name, Rep_N(pg, v).c_str());
}

// Beam numbers under a chart of beams first..last, about twenty of them.
void Rep_BeamAxis(const REP_PAGE &pg, std::string *out, const REP_FRAME &f, int first, int last)
{
    double w = (double)(CHART_R - CHART_L) / (last - first + 1);
    static const int kSteps[] = {1, 2, 5, 10, 20, 50, 100, 200};
    int step = 200;
    for (int s : kSteps)
        if ((last - first + 1) / s <= 20) {
            step = s;
            break;
        }
    for (int b = first; b <= last; b++)
        if (b % step == 0 || (b == first && step == 1))
            Rep_Add(out, "<text x=\"%.1f\" y=\"%d\" text-anchor=\"middle\">%d</text>\n", CHART_L + (b - first + 0.5) * w,
                    f.iBottom + 15, b);
    Rep_Add(out, "<text x=\"%d\" y=\"%d\" text-anchor=\"middle\">%s</text>\n", (CHART_L + CHART_R) / 2, f.iBottom + 31,
            Rep_T(pg, TX_AXIS_BEAM));
}

static const char *BeamColour(unsigned flags)
{
    return flags & REP_FLAG_LOW ? kLow : flags & REP_FLAG_HIGH ? kHigh : flags & REP_FLAG_NOISY ? kNoisy : kOk;
}

enum { CHART_VALUES, CHART_NOISE };

// Per beam a box with a mark across it: in the values chart a thin line from
// minimum to maximum, the box over the middle half of the values and the mark
// at the median; in the noise chart the box from zero to the noise and the
// mark at the standard deviation.
static void BeamChart(const REP_PAGE &pg, std::string *out, const std::vector<REP_BEAM> &beams, int kind, const REP_FRAME &f, int first,
                      int last)
{
    double w = (double)(CHART_R - CHART_L) / (last - first + 1);
    double box = std::min(std::max(w * 0.6, 0.8), 10.0), tick = std::min(std::max(w * 0.45, 1.2), 7.0);
    std::string whiskers[4], boxes[4], ticks[4], marks;
    const char *colours[4] = {kOk, kLow, kHigh, kNoisy};
    for (const REP_BEAM &b : beams) {
        double x = CHART_L + (b.iBeam - first + 0.5) * w;
        int c = 0;
        while (colours[c] != BeamColour(b.uFlags))
            c++;
        double lo = 0, hi = (double)b.iMax - b.iMin, m = b.flStdDev;
        if (kind == CHART_VALUES) {
            Rep_Add(&whiskers[c], "M%.1f %.1fV%.1f", x, Rep_ChartY(f, b.iMin), Rep_ChartY(f, b.iMax));
            lo = b.flQuartile1;
            hi = b.flQuartile3;
            m = b.flMedian;
        }
        Rep_Add(&boxes[c], "M%.1f %.1fV%.1f", x, Rep_ChartY(f, lo), std::min(Rep_ChartY(f, hi), Rep_ChartY(f, lo) - 0.8));
        Rep_Add(&marks, "M%.1f %.1fh%.1f", x - tick, Rep_ChartY(f, m), 2 * tick);
        if (b.uFlags)   // below the axis, so that a flagged beam stands out among hundreds
            Rep_Add(&ticks[c], "M%.1f %dv6", x, f.iBottom + 1);
    }
    const std::string *layers[3] = {whiskers, boxes, ticks};
    const double widths[3] = {std::max(box / 5, 0.5), box, std::max(box, 2.5)};
    for (int l = 0; l < 3; l++)
        for (int c = 0; c < 4; c++)
            if (!layers[l][c].empty())
                Rep_Add(out, "<path d=\"%s\" stroke=\"%s\" stroke-width=\"%.2f\" fill=\"none\"/>\n",
                        layers[l][c].c_str(), colours[c], widths[l]);
    Rep_Add(out, "<path d=\"%s\" stroke=\"#212121\" stroke-width=\"1.2\" fill=\"none\"/>\n", marks.c_str());
    Rep_BeamAxis(pg, out, f, first, last);
}

void Rep_ChartLegend(std::string *out, const char *const *colours, const char *const *names, int n)
{
    *out += "<p class=\"legend\">";
    for (int i = 0; i < n; i++)
        Rep_Add(out, "<span class=\"key\" style=\"background:%s\"></span>%s ", colours[i], names[i]);
    *out += "</p>\n";
}

void Rep_BeamCharts(const REP_PAGE &pg, std::string *out, const REP_LOG &log, const std::vector<REP_BEAM> &all, const REP_LIMITS &lim)
{
    for (int kind = CHART_VALUES; kind <= CHART_NOISE; kind++) {
        Rep_Add(out, "<h2>%s</h2>\n", Rep_T(pg, kind == CHART_VALUES ? TX_VALUES_PER_BEAM : TX_NOISE_PER_BEAM));
        for (int rod = 0; rod < REP_RODS; rod++) {
            std::vector<REP_BEAM> beams;
            for (const REP_BEAM &b : all)
                if (b.iRod == rod)
                    beams.push_back(b);
            if (beams.empty())
                continue;
            REP_FRAME f;
            if (kind == CHART_VALUES) {
                f.lo = log.fRelative ? 0 : lim.iScaleMin;
                f.hi = log.fRelative ? 250 : 255;
                for (const REP_BEAM &b : beams) {
                    f.lo = std::min(f.lo, (double)b.iMin);
                    f.hi = std::max(f.hi, (double)b.iMax);
                }
                f.iBottom = 262;
            } else {
                f.lo = 0;
                f.hi = lim.fNoise ? (double)lim.iNoise : 1;
                for (const REP_BEAM &b : beams)
                    f.hi = std::max(f.hi, (double)b.iMax - b.iMin);
                f.hi = ceil(f.hi * 1.05 / Rep_NiceStep(f.hi, 6)) * Rep_NiceStep(f.hi, 6);
                f.iBottom = 182;
            }
            if (f.hi <= f.lo)
                f.hi = f.lo + 1;
            if (log.uRods == 3)
                Rep_Add(out, "<h3>%s</h3>\n", Rep_Tf(pg, TX_ROD_PAIR_N, rod + 1).c_str());
            Rep_ChartOpen(out, f.iBottom + 38, Rep_T(pg, kind == CHART_VALUES ? TX_ARIA_VALUES : TX_ARIA_NOISE));
            Rep_ChartGrid(pg, out, f);
            if (kind == CHART_VALUES) {
                Rep_ChartLimit(pg, out, f, lim.iMin, Rep_T(pg, TX_LOWER_LIMIT));
                Rep_ChartLimit(pg, out, f, lim.iMax, Rep_T(pg, TX_UPPER_LIMIT));
            } else if (lim.fNoise) {
                Rep_ChartLimit(pg, out, f, (double)lim.iNoise, Rep_T(pg, TX_NOISE_LIMIT));
            }
            BeamChart(pg, out, beams, kind, f, beams.front().iBeam, beams.back().iBeam);
            *out += "</svg>\n";
        }
        static const char *const kColours[4] = {kOk, kLow, kHigh, kNoisy};
        const char *const names[4] = {Rep_T(pg, kind == CHART_VALUES ? TX_KEY_VALUES : TX_KEY_NOISE), Rep_T(pg, TX_WHY_LOW),
                                      Rep_T(pg, TX_WHY_HIGH), Rep_T(pg, TX_WHY_NOISY)};
        Rep_ChartLegend(out, kColours, names, 4);
    }
}

// A time step that gives about eight labels.
int64_t Rep_TimeStep(int64_t span)
{
    static const int64_t kSteps[] = {1000,    2000,    5000,     10000,    15000,    30000,    60000,
                                     120000,  300000,  600000,   900000,   1800000,  3600000,  7200000,
                                     10800000, 21600000, 43200000, 86400000, 172800000, 604800000};
    for (int64_t s : kSteps)
        if (s * 8 >= span)
            return s;
    return (span / 8 / 86400000 + 1) * 86400000;
}

void Rep_TrendChart(const REP_PAGE &pg, std::string *out, const REP_LOG &log, const REP_LIMITS &lim)
{
    std::vector<REP_POINT> series[1 + REP_WEAKEST];
    series[0] = Rep_SeriesPoints(log.serMedian);
    for (int k = 0; k < log.nWeak; k++)
        series[1 + k] = Rep_SeriesPoints(log.aserWeak[k]);
    REP_FRAME f = {log.fRelative ? 0.0 : (double)lim.iScaleMin, log.fRelative ? 250.0 : 255.0, 232};
    for (const auto &s : series)
        for (const REP_POINT &p : s) {
            f.lo = std::min(f.lo, p.flValue);
            f.hi = std::max(f.hi, p.flValue);
        }
    if (f.hi <= f.lo)
        f.hi = f.lo + 1;
    int64_t t0 = log.tStart, span = std::max<int64_t>(log.tEnd - log.tStart, 1000);
    auto X = [&](int64_t t) { return CHART_L + (double)(t - t0) / span * (CHART_R - CHART_L); };
    Rep_ChartOpen(out, f.iBottom + 38, Rep_T(pg, TX_ARIA_TREND));
    Rep_ChartGrid(pg, out, f);
    Rep_ChartLimit(pg, out, f, lim.iMin, Rep_T(pg, TX_LOWER_LIMIT));
    int64_t step = Rep_TimeStep(span);
    int64_t first = (t0 / step + (t0 % step != 0)) * step;
    for (int64_t t = first; t <= t0 + span; t += step) {
        std::string label = Rep_PageTime(pg, t, step >= 86400000);
        label.resize(step >= 86400000 ? 10 : step >= 60000 ? 5 : 8);
        Rep_Add(out, "<text x=\"%.1f\" y=\"%d\" text-anchor=\"middle\">%s</text>\n", X(t), f.iBottom + 15,
                label.c_str());
    }
    Rep_Add(out, "<text x=\"%d\" y=\"%d\" text-anchor=\"middle\">%s</text>\n", (CHART_L + CHART_R) / 2, f.iBottom + 31,
            Rep_T(pg, TX_AXIS_TIME));
    for (int k = log.nWeak; k >= 0; k--) {
        const char *colour = k == 0 ? "#212121" : kTrend[k - 1];
        std::string pts;
        for (const REP_POINT &p : series[k])
            Rep_Add(&pts, "%.1f,%.1f ", X(p.tMs), Rep_ChartY(f, p.flValue));
        if (series[k].size() == 1)
            Rep_Add(out, "<circle cx=\"%.1f\" cy=\"%.1f\" r=\"2.5\" fill=\"%s\"/>\n", X(series[k][0].tMs),
                    Rep_ChartY(f, series[k][0].flValue), colour);
        else
            Rep_Add(out, "<polyline points=\"%s\" stroke=\"%s\" stroke-width=\"%s\" fill=\"none\"/>\n", pts.c_str(),
                    colour, k == 0 ? "1.6" : "1.1");
    }
    *out += "</svg>\n";
    const char *colours[1 + REP_WEAKEST] = {"#212121"};
    std::string names[1 + REP_WEAKEST] = {Rep_T(pg, TX_MEDIAN_PER_CYCLE)};
    const char *pnames[1 + REP_WEAKEST] = {names[0].c_str()};
    for (int k = 0; k < log.nWeak; k++) {
        colours[1 + k] = kTrend[k];
        names[1 + k] = Rep_T(pg, TX_BEAM_ONE) + Rep_BeamName(pg, log.uRods, log.aiWeakRod[k], log.aiWeakBeam[k]);
        pnames[1 + k] = names[1 + k].c_str();
    }
    Rep_ChartLegend(out, colours, pnames, 1 + log.nWeak);
}
