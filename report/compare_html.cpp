// The page of a service visit: as found and as left in one chart, the beams
// that changed most, those still outside the limits, and the indication of
// what the change over the rod suggests.
#include "report.h"

#include <math.h>

#include <algorithm>

static const char kFound[] = "#b0bec5", kLeft[] = "#1565c0", kLeftOut[] = "#c62828";


static double MedianPercent(const std::vector<REP_CHANGE> &changes)
{
    std::vector<double> pct;
    for (const REP_CHANGE &c : changes)
        if (!isnan(c.flPercent))
            pct.push_back(c.flPercent);
    return Rep_Median(pct);
}

std::string Rep_CompareSummary(const REP_PAGE &pg, const REP_LOG &found, const std::vector<REP_CHANGE> &changes,
                               const std::vector<REP_PATTERN> &patterns)
{
    std::string type = pg.iLang != REP_LANG_EN ? Rep_aszTypeName[found.iValueType]
                       : found.iValueType == 0   ? "Signal"
                                                 : Rep_aszTypeEnglish[found.iValueType];
    type[0] = (char)toupper((unsigned char)type[0]);
    double m = patterns.size() == 1 ? patterns[0].flMedian : MedianPercent(changes);
    std::string s;
    if (isnan(m))
        s = Rep_Tf(pg, TX_CMP_NO_PERCENT, type.c_str());
    else if (fabs(m) < 0.5)
        s = Rep_Tf(pg, TX_CMP_UNCHANGED, type.c_str());
    else
        s = Rep_Tf(pg, m > 0 ? TX_CMP_RAISED : TX_CMP_LOWERED, type.c_str(), Rep_Fixed(pg, fabs(m), 0).c_str());
    // What the customer's machine ran with comes first: the arrival's finding.
    int low = 0, high = 0;
    for (const REP_CHANGE &c : changes) {
        low += (c.uFound & REP_FLAG_LOW) != 0;
        high += (c.uFound & REP_FLAG_HIGH) != 0;
    }
    if (low || high)
        s += "; " + Rep_FoundText(pg, low, high, (int)changes.size());
    static const unsigned kFlag[3] = {REP_FLAG_LOW, REP_FLAG_HIGH, REP_FLAG_NOISY};
    static const int kWhere[3] = {TX_WHERE_LOW, TX_WHERE_HIGH, TX_WHERE_NOISY};
    bool any = false;
    for (int k = 0; k < 3; k++)
        for (int still = 1; still >= 0; still--) {
            std::vector<std::string> names;
            for (const REP_CHANGE &c : changes)
                if ((c.uLeft & kFlag[k]) && ((c.uFound & kFlag[k]) != 0) == (still != 0))
                    names.push_back(Rep_BeamName(pg, found.uRods, c.iRod, c.iBeam));
            if (!names.empty())
                s += "; " + Rep_BeamList(pg, names) + Rep_T(pg, still ? TX_CMP_STILL : TX_CMP_NEWLY) + Rep_T(pg, kWhere[k]);
            any |= !names.empty();
        }
    return any ? s : s + Rep_T(pg, low || high ? TX_CMP_LEFT_WITHIN : TX_CMP_ALL_WITHIN);
}

static void PairChart(const REP_PAGE &pg, std::string *out, const std::vector<REP_CHANGE> &all, int rod, const REP_LIMITS &lim,
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
    Rep_ChartOpen(out, f.iBottom + 38, Rep_T(pg, TX_ARIA_PAIR));
    Rep_ChartGrid(pg, out, f);
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
    Rep_ChartLimit(pg, out, f, lim.iMin, Rep_T(pg, TX_LOWER_LIMIT));
    Rep_ChartLimit(pg, out, f, lim.iMax, Rep_T(pg, TX_UPPER_LIMIT));
    Rep_BeamAxis(pg, out, f, first, last);
    *out += "</svg>\n";
}

static std::string Signed(const REP_PAGE &pg, double v, const char *unit)
{
    if (isnan(v))
        return "–";
    std::string s;
    Rep_Add(&s, "%s%s%s", v > 0 ? "+" : "", Rep_N(pg, v).c_str(), unit);
    return s;
}

static void ChangeTable(const REP_PAGE &pg, std::string *out, const REP_LOG &log, const std::vector<const REP_CHANGE *> &rows, const char *id)
{
    Rep_Add(out, "<table id=\"%s\">\n<thead><tr><th class=\"text\">%s</th><th>%s</th><th>%s</th><th>%s</th><th>%s</th>"
                 "<th class=\"text\">%s</th><th class=\"text\">%s</th></tr></thead>\n<tbody>\n", id, Rep_T(pg, TX_BEAM),
            Rep_T(pg, TX_AS_FOUND), Rep_T(pg, TX_AS_LEFT), Rep_T(pg, TX_CHANGE), Rep_T(pg, TX_CHANGE_PCT), Rep_T(pg, TX_AS_FOUND),
            Rep_T(pg, TX_AS_LEFT));
    for (const REP_CHANGE *c : rows)
        Rep_Add(out, "<tr%s><td class=\"beam text\">%s</td><td>%s</td><td>%s</td><td>%s</td><td>%s</td>"
                     "<td class=\"text\">%s</td><td class=\"text\">%s</td></tr>\n",
                c->uLeft & REP_FLAG_LOW ? " class=\"low\"" : c->uLeft & REP_FLAG_HIGH ? " class=\"high\"" : "",
                Rep_BeamName(pg, log.uRods, c->iRod, c->iBeam).c_str(), Rep_N(pg, c->flFound).c_str(),
                Rep_N(pg, c->flLeft).c_str(), Signed(pg, c->flChange, "").c_str(), Signed(pg, c->flPercent, " %").c_str(),
                c->uFound ? Rep_PageReasons(pg, c->uFound).c_str() : Rep_T(pg, TX_WITHIN_LIMITS),
                c->uLeft ? Rep_PageReasons(pg, c->uLeft).c_str() : Rep_T(pg, TX_WITHIN_LIMITS));
    *out += "</tbody>\n</table>\n";
}

static void Indication(const REP_PAGE &pg, std::string *out, const REP_LOG &log, const REP_PATTERN &p,
                       const std::vector<REP_CHANGE> &changes)
{
    std::string where = log.uRods == 3 ? Rep_Tf(pg, TX_OF_ROD_PAIR, p.iRod + 1) : "";
    *out += "<p class=\"indication\">" + Rep_Tf(pg, TX_CHANGE_OVER_ROD, where.c_str(), p.iRod + 1, Rep_PatternName(pg, p.iKind),
                                                 Rep_T(pg, TX_MEANING_0 + p.iKind));
    if (p.iKind == REP_PATTERN_ISOLATED) {
        std::vector<std::string> names;
        for (int i : p.aiIsolated)
            names.push_back(Rep_BeamName(pg, log.uRods, changes[i].iRod, changes[i].iBeam) + " (" +
                            Signed(pg, changes[i].flPercent, " %") + ")");
        *out += ": " + Rep_BeamList(pg, names);
    }
    *out += Rep_Tf(pg, TX_INDICATION, Signed(pg, p.flMedian, " %").c_str(), p.nBeams, Rep_Fixed(pg, p.flWithin, 0).c_str(),
                   Rep_Fixed(pg, p.flTau, 2).c_str(), Signed(pg, p.flSpan, Rep_T(pg, TX_PP)).c_str()) + "</p>\n";
}

static void Recording(const REP_PAGE &pg, std::string *out, const char *name, const REP_LOG &log)
{
    Rep_Fact(out, name, Rep_Tf(pg, TX_RECORDING, Rep_PageTime(pg, log.tStart, true).substr(0, 16).c_str(),
                               Rep_PageTime(pg, log.tEnd, true).substr(0, 16).c_str(), std::to_string(log.nCycles).c_str(),
                               (int)log.aFiles.size(), Rep_T(pg, log.aFiles.size() == 1 ? TX_LOG_ONE : TX_LOG_MANY)));
}

std::string Rep_CompareHtml(const REP_PAGE &pg, const REP_LOG &found, const REP_LOG &left, const std::vector<REP_CHANGE> &changes,
                            const std::vector<REP_PATTERN> &patterns, const REP_LIMITS &lim)
{
    std::string out, day = Rep_PageTime(pg, left.tStart, true).substr(0, 10);
    Rep_PageStart(pg, &out, Rep_Tf(pg, TX_COMPARE_TITLE, day.c_str()), Rep_T(pg, TX_COMPARE_HEADING));
    Rep_Add(&out, "<p>%s</p>\n", Rep_Tf(pg, TX_COMPARE_LINE, Rep_aszTypeName[found.iValueType],
                                        Rep_T(pg, found.fRelative ? TX_RELATIVE : TX_ABSOLUTE),
                                        Rep_PageTime(pg, found.tStart, true).substr(0, 16).c_str(),
                                        Rep_PageTime(pg, left.tStart, true).substr(0, 16).c_str()).c_str());
    bool outside = std::any_of(changes.begin(), changes.end(),
                               [](const REP_CHANGE &c) { return (c.uLeft | (c.uFound & (REP_FLAG_LOW | REP_FLAG_HIGH))) != 0; });
    Rep_Add(&out, "<p class=\"verdict %s\">%s</p>\n", outside ? "flagged" : "ok",
            Rep_Esc(Rep_CompareSummary(pg, found, changes, patterns)).c_str());
    for (const REP_PATTERN &p : patterns)
        Indication(pg, &out, found, p, changes);
    Rep_Add(&out, "<h2>%s</h2>\n<table class=\"facts\">\n", Rep_T(pg, TX_SUMMARY));
    Rep_Fact(&out, Rep_T(pg, TX_VALUE_TYPE), Rep_TypeText(pg, found.iValueType, found.fRelative));
    Recording(pg, &out, Rep_T(pg, TX_AS_FOUND), found);
    Recording(pg, &out, Rep_T(pg, TX_AS_LEFT), left);
    Rep_Fact(&out, Rep_T(pg, TX_LIMITS), Rep_LimitsHtml(pg, lim, found.fRelative));
    Rep_Fact(&out, Rep_T(pg, TX_BEAMS), std::to_string(changes.size()));
    Rep_Add(&out, "</table>\n<h2>%s</h2>\n", Rep_T(pg, TX_MEDIAN_FOUND_LEFT));
    for (int rod = 0; rod < REP_RODS; rod++)
        if (found.uRods & 1u << rod) {
            if (found.uRods == 3)
                Rep_Add(&out, "<h3>%s</h3>\n", Rep_Tf(pg, TX_ROD_PAIR_N, rod + 1).c_str());
            PairChart(pg, &out, changes, rod, lim, found.fRelative);
        }
    const char *colours[3] = {kFound, kLeft, kLeftOut};
    const char *names[3] = {Rep_T(pg, TX_AS_FOUND_L), Rep_T(pg, TX_AS_LEFT_L), Rep_T(pg, TX_AS_LEFT_OUT)};
    Rep_ChartLegend(&out, colours, names, 3);

    std::vector<const REP_CHANGE *> still, most = Rep_MostChanged(changes, 10);
    for (const REP_CHANGE &c : changes)
        if (c.uLeft)
            still.push_back(&c);
    Rep_Add(&out, "<section>\n<h2>%s</h2>\n", Rep_T(pg, TX_CHANGED_MOST));
    if (most.empty())
        Rep_Add(&out, "<p>%s</p>\n", Rep_T(pg, TX_CHANGED_NONE));
    else
        ChangeTable(pg, &out, found, most, "changed");
    Rep_Add(&out, "<p class=\"legend\">%s</p>\n</section>\n<section>\n<h2>%s</h2>\n", Rep_T(pg, TX_CHANGED_LEGEND),
            Rep_T(pg, TX_OUTSIDE_AFTER));
    if (still.empty())
        Rep_Add(&out, "<p>%s</p>\n", Rep_T(pg, TX_OUTSIDE_NONE));
    else
        ChangeTable(pg, &out, found, still, "outside");
    Rep_Add(&out, "</section>\n<section>\n<h2>%s</h2>\n<p>%s</p>\n<table class=\"thresholds\">\n<thead><tr><th>%s</th>"
                  "<th class=\"text\">%s</th></tr></thead>\n<tbody>\n", Rep_T(pg, TX_CLASSIFIED_HOW),
            Rep_T(pg, TX_CLASSIFIED_TEXT), Rep_T(pg, TX_THRESHOLD), Rep_T(pg, TX_MEANING));
    for (int i = 0; i < REP_THRESHOLDS; i++)
        Rep_Add(&out, "<tr><td>%s %s</td><td class=\"text\">%s</td></tr>\n", Rep_N(pg, Rep_aThreshold[i].flValue).c_str(),
                Rep_Esc(Rep_T(pg, TX_THR_UNIT_0 + i)).c_str(), Rep_Esc(Rep_T(pg, TX_THR_TEXT_0 + i)).c_str());
    out += "</tbody>\n</table>\n</section>\n";
    Rep_LogsTable(pg, &out, found, Rep_T(pg, TX_LOGS_FOUND));
    Rep_LogsTable(pg, &out, left, Rep_T(pg, TX_LOGS_LEFT));
    Rep_SignBlock(pg, &out);
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
