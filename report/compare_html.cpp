// The page of a service visit: as found and as left in one chart, the beams
// that changed most, those still outside the limits, and the indication of
// what the change over the rod suggests.
#include "report.h"

#include <math.h>

#include <algorithm>

static const char kFound[] = "#b0bec5", kLeft[] = "#1565c0", kLeftOut[] = "#c62828";

static const char *const kMeaning[REP_PATTERNS] = {
    "the beams changed by less than the threshold for a change",
    "most beams changed by a similar percentage: contamination cleaned off, or a changed gain",
    "the change follows the beam position: the rods were tilted against each other (alignment)",
    "a few beams changed far more than the rest: a lens spot, or an element",
    "the change fits none of the patterns"};

static double MedianPercent(const std::vector<REP_CHANGE> &changes)
{
    std::vector<double> pct;
    for (const REP_CHANGE &c : changes)
        if (!isnan(c.flPercent))
            pct.push_back(c.flPercent);
    return Rep_Median(pct);
}

std::string Rep_CompareSummary(const REP_LOG &found, const std::vector<REP_CHANGE> &changes,
                               const std::vector<REP_PATTERN> &patterns)
{
    std::string type = found.iValueType == 0 ? "Signal" : Rep_aszTypeEnglish[found.iValueType];
    type[0] = (char)toupper((unsigned char)type[0]);
    double m = patterns.size() == 1 ? patterns[0].flMedian : MedianPercent(changes);
    std::string s;
    if (isnan(m))
        s = type + ": no change in percent (every beam was 0 as found)";
    else if (fabs(m) < 0.5)
        s = type + " unchanged (median over the rod)";
    else
        Rep_Add(&s, "%s %s by %.0f %% (median over the rod)", type.c_str(), m > 0 ? "raised" : "lowered", fabs(m));
    static const unsigned kFlag[3] = {REP_FLAG_LOW, REP_FLAG_HIGH, REP_FLAG_NOISY};
    static const char *const kWhere[3] = {"below the lower limit", "above the upper limit", "noisier than the noise limit"};
    bool any = false;
    for (int k = 0; k < 3; k++)
        for (int still = 1; still >= 0; still--) {
            std::vector<std::string> names;
            for (const REP_CHANGE &c : changes)
                if ((c.uLeft & kFlag[k]) && ((c.uFound & kFlag[k]) != 0) == (still != 0))
                    names.push_back(Rep_BeamName(found.uRods, c.iRod, c.iBeam));
            if (!names.empty())
                s += "; " + Rep_BeamList(names) + (still ? " still " : " newly ") + kWhere[k];
            any |= !names.empty();
        }
    return any ? s : s + "; all beams within the limits";
}

static void PairChart(std::string *out, const std::vector<REP_CHANGE> &all, int rod, const REP_LIMITS &lim,
                      bool relative)
{
    std::vector<const REP_CHANGE *> beams;
    REP_FRAME f = {relative ? 0.0 : (double)lim.iScaleMin, relative ? 250.0 : 255.0, 262};
    for (const REP_CHANGE &c : all)
        if (c.iRod == rod) {
            beams.push_back(&c);
            f.lo = std::min({f.lo, c.flFound, c.flLeft});
            f.hi = std::max({f.hi, c.flFound, c.flLeft});
        }
    if (beams.empty())
        return;
    int first = beams.front()->iBeam, last = beams.back()->iBeam;
    double w = (double)(CHART_R - CHART_L) / (last - first + 1), bar = std::max(w * 0.4, 0.4);
    Rep_ChartOpen(out, f.iBottom + 38, "median of each beam as found and as left");
    Rep_ChartGrid(out, f);
    std::string found, left, leftOut;
    for (const REP_CHANGE *c : beams) {
        double x = CHART_L + (c->iBeam - first + 0.5) * w;
        Rep_Add(&found, "M%.2f %dV%.1f", x - bar / 2, f.iBottom, Rep_ChartY(f, c->flFound));
        Rep_Add(c->uLeft & (REP_FLAG_LOW | REP_FLAG_HIGH) ? &leftOut : &left, "M%.2f %dV%.1f", x + bar / 2, f.iBottom,
                Rep_ChartY(f, c->flLeft));
    }
    const std::string *paths[3] = {&found, &left, &leftOut};
    const char *colours[3] = {kFound, kLeft, kLeftOut};
    for (int i = 0; i < 3; i++)
        if (!paths[i]->empty())
            Rep_Add(out, "<path d=\"%s\" stroke=\"%s\" stroke-width=\"%.2f\" fill=\"none\"/>\n", paths[i]->c_str(),
                    colours[i], bar);
    Rep_ChartLimit(out, f, lim.iMin, "lower limit");
    Rep_ChartLimit(out, f, lim.iMax, "upper limit");
    Rep_BeamAxis(out, f, first, last);
    *out += "</svg>\n";
}

static std::string Signed(double v, const char *unit)
{
    if (isnan(v))
        return "–";
    std::string s;
    Rep_Add(&s, "%s%s%s", v > 0 ? "+" : "", Rep_Num(v).c_str(), unit);
    return s;
}

static void ChangeTable(std::string *out, const REP_LOG &log, const std::vector<const REP_CHANGE *> &rows, const char *id)
{
    Rep_Add(out, "<table id=\"%s\">\n<thead><tr><th class=\"text\">Beam</th><th>As found</th><th>As left</th>"
                 "<th>Change</th><th>Change (%%)</th><th class=\"text\">As found</th><th class=\"text\">As left</th>"
                 "</tr></thead>\n<tbody>\n", id);
    for (const REP_CHANGE *c : rows)
        Rep_Add(out, "<tr%s><td class=\"beam text\">%s</td><td>%s</td><td>%s</td><td>%s</td><td>%s</td>"
                     "<td class=\"text\">%s</td><td class=\"text\">%s</td></tr>\n",
                c->uLeft & REP_FLAG_LOW ? " class=\"low\"" : c->uLeft & REP_FLAG_HIGH ? " class=\"high\"" : "",
                Rep_BeamName(log.uRods, c->iRod, c->iBeam).c_str(), Rep_Num(c->flFound).c_str(),
                Rep_Num(c->flLeft).c_str(), Signed(c->flChange, "").c_str(), Signed(c->flPercent, " %").c_str(),
                c->uFound ? Rep_Reasons(c->uFound).c_str() : "within the limits",
                c->uLeft ? Rep_Reasons(c->uLeft).c_str() : "within the limits");
    *out += "</tbody>\n</table>\n";
}

static void Indication(std::string *out, const REP_LOG &log, const REP_PATTERN &p,
                       const std::vector<REP_CHANGE> &changes)
{
    std::string where = log.uRods == 3 ? " of rod pair " + std::to_string(p.iRod + 1) : "";
    Rep_Add(out, "<p class=\"indication\">Change over the rod%s: <b id=\"pattern%d\">%s</b> – %s", where.c_str(),
            p.iRod + 1, Rep_PatternName(p.iKind), kMeaning[p.iKind]);
    if (p.iKind == REP_PATTERN_ISOLATED) {
        std::vector<std::string> names;
        for (int i : p.aiIsolated)
            names.push_back(Rep_BeamName(log.uRods, changes[i].iRod, changes[i].iBeam) + " (" +
                            Signed(changes[i].flPercent, " %") + ")");
        *out += ": " + Rep_BeamList(names);
    }
    Rep_Add(out, ". Median change %s over %d beams, %.0f %% of them within the band; against the beam position "
                 "Kendall's tau %.2f, fitted change %s from the first beam to the last. An indication, not a "
                 "diagnosis.</p>\n",
            Signed(p.flMedian, " %").c_str(), p.nBeams, p.flWithin, p.flTau, Signed(p.flSpan, " percentage points").c_str());
}

static void Recording(std::string *out, const char *name, const REP_LOG &log)
{
    Rep_Fact(out, name,
             Rep_TimeText(log.tStart, true).substr(0, 16) + " to " + Rep_TimeText(log.tEnd, true).substr(0, 16) + ", " +
                 std::to_string(log.nCycles) + " cycles, " + std::to_string(log.aFiles.size()) +
                 (log.aFiles.size() == 1 ? " log" : " logs"));
}

std::string Rep_CompareHtml(const REP_LOG &found, const REP_LOG &left, const std::vector<REP_CHANGE> &changes,
                            const std::vector<REP_PATTERN> &patterns, const REP_LIMITS &lim)
{
    std::string out, day = Rep_TimeText(left.tStart, true).substr(0, 10);
    Rep_PageStart(&out, "As found and as left " + day, "Service visit: as found and as left");
    Rep_Add(&out, "<p>%s, %s, as found %s, as left %s</p>\n", Rep_aszTypeName[found.iValueType],
            found.fRelative ? "relative" : "absolute", Rep_TimeText(found.tStart, true).substr(0, 16).c_str(),
            Rep_TimeText(left.tStart, true).substr(0, 16).c_str());
    bool outside = std::any_of(changes.begin(), changes.end(), [](const REP_CHANGE &c) { return c.uLeft != 0; });
    Rep_Add(&out, "<p class=\"verdict %s\">%s</p>\n", outside ? "flagged" : "ok",
            Rep_Esc(Rep_CompareSummary(found, changes, patterns)).c_str());
    for (const REP_PATTERN &p : patterns)
        Indication(&out, found, p, changes);
    out += "<h2>Summary</h2>\n<table class=\"facts\">\n";
    Rep_Fact(&out, "Value type", Rep_TypeText(found.iValueType, found.fRelative));
    Recording(&out, "As found", found);
    Recording(&out, "As left", left);
    Rep_Fact(&out, "Limits", Rep_LimitsHtml(lim, found.fRelative));
    Rep_Fact(&out, "Beams", std::to_string(changes.size()));
    out += "</table>\n<h2>Median per beam, as found and as left</h2>\n";
    for (int rod = 0; rod < REP_RODS; rod++)
        if (found.uRods & 1u << rod) {
            if (found.uRods == 3)
                Rep_Add(&out, "<h3>Rod pair %d</h3>\n", rod + 1);
            PairChart(&out, changes, rod, lim, found.fRelative);
        }
    const char *colours[3] = {kFound, kLeft, kLeftOut};
    const char *names[3] = {"as found", "as left", "as left, outside the limits"};
    Rep_ChartLegend(&out, colours, names, 3);

    std::vector<const REP_CHANGE *> most, still;
    for (const REP_CHANGE &c : changes) {
        most.push_back(&c);
        if (c.uLeft)
            still.push_back(&c);
    }
    auto size = [](const REP_CHANGE *c) { return isnan(c->flPercent) ? fabs(c->flChange) * 1e6 : fabs(c->flPercent); };
    size_t top = std::min<size_t>(10, most.size());
    std::partial_sort(most.begin(), most.begin() + top, most.end(),
                      [&](const REP_CHANGE *a, const REP_CHANGE *b) { return size(a) > size(b); });
    most.resize(top);
    out += "<section>\n<h2>Beams that changed most</h2>\n";
    ChangeTable(&out, found, most, "changed");
    out += "</section>\n<section>\n<h2>Outside the limits after the visit</h2>\n";
    if (still.empty())
        out += "<p>No beam is outside the limits after the visit.</p>\n";
    else
        ChangeTable(&out, found, still, "outside");
    out += "</section>\n<section>\n<h2>How the change over the rod is classified</h2>\n"
           "<p>The change of each beam in percent of its median as found; the first pattern that fits counts, in "
           "the order isolated, gradient, uniform.</p>\n<table class=\"thresholds\">\n<thead><tr><th>Threshold</th>"
           "<th class=\"text\">Meaning</th></tr></thead>\n<tbody>\n";
    for (const REP_THRESHOLD &t : Rep_aThreshold)
        Rep_Add(&out, "<tr><td>%s %s</td><td class=\"text\">%s</td></tr>\n", Rep_Num(t.flValue).c_str(),
                Rep_Esc(t.pszUnit).c_str(), Rep_Esc(t.pszMeaning).c_str());
    out += "</tbody>\n</table>\n</section>\n";
    Rep_LogsTable(&out, found, "Logs as found");
    Rep_LogsTable(&out, left, "Logs as left");
    out += "</body>\n</html>\n";
    return out;
}

std::string Rep_CompareCsv(const std::vector<REP_CHANGE> &changes)
{
    std::string out = "Rod pair\tBeam\tMedian as found\tMedian as left\tChange\tChange (%)\tAs found\tAs left\r\n";
    for (const REP_CHANGE &c : changes)
        Rep_Add(&out, "%d\t%d\t%s\t%s\t%s\t%s\t%s\t%s\r\n", c.iRod + 1, c.iBeam, Rep_Decimal(c.flFound, 1).c_str(),
                Rep_Decimal(c.flLeft, 1).c_str(), Rep_Decimal(c.flChange, 1).c_str(),
                isnan(c.flPercent) ? "" : Rep_Decimal(c.flPercent, 2).c_str(), Rep_Reasons(c.uFound).c_str(),
                Rep_Reasons(c.uLeft).c_str());
    return out;
}
