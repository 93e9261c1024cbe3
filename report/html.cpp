// The report page: one self-contained HTML file (inline CSS and SVG, no
// scripts) that prints on A4. Every text that comes from a log or a file name
// is escaped; the markup is also well-formed XML, so it can be checked by any
// parser.
#include "report.h"

#include <algorithm>

static const char kStyle[] =
    "@page { size: A4; margin: 12mm; }\n"
    "body { font: 10pt/1.35 \"Liberation Sans\", Arial, Helvetica, sans-serif; color: #212121; max-width: 186mm; "
    "margin: 8mm auto; }\n"
    "h1 { font-size: 17pt; margin: 0 0 2pt; }\n"
    "h2 { font-size: 12pt; margin: 14pt 0 4pt; border-bottom: 1px solid #9e9e9e; break-after: avoid; }\n"
    "h3 { font-size: 10pt; margin: 8pt 0 2pt; }\n"
    "table { border-collapse: collapse; font-variant-numeric: tabular-nums; }\n"
    "th, td { padding: 1pt 7pt 1pt 0; text-align: right; vertical-align: top; }\n"
    "th { border-bottom: 1px solid #9e9e9e; }\n"
    "table.facts th, table.facts td { text-align: left; border: 0; }\n"
    "table.facts th { font-weight: normal; color: #616161; padding-right: 14pt; }\n"
    "td.text, th.text { text-align: left; }\n"
    "tr.low td.beam { color: #c62828; } tr.high td.beam { color: #ef6c00; } tr.noisy td.beam { color: #6a1b9a; }\n"
    "td.beam { font-weight: bold; }\n"
    ".verdict { font-size: 12pt; font-weight: bold; margin: 4pt 0 8pt; }\n"
    ".verdict.ok { color: #2e7d32; } .verdict.flagged { color: #c62828; } td.found { color: #c62828; }\n"
    "svg.chart { display: block; width: 100%; height: auto; font-size: 13px; }\n"
    ".legend { font-size: 8.5pt; color: #424242; margin: 2pt 0 6pt; }\n"
    ".key { display: inline-block; width: 9pt; height: 9pt; margin: 0 3pt 0 8pt; vertical-align: -1pt; }\n"
    "code { font-size: 8.5pt; }\n"
    "section { break-inside: avoid; }\n"
    "td.light { font-weight: bold; } td.green { color: #2e7d32; } td.yellow { color: #9e7700; } td.red { color: #c62828; }\n"
    ".medians { text-align: left; font-size: 8.5pt; }\n"
    "table.identity { margin: 2pt 0 6pt; } table.identity td { font-weight: bold; }\n"
    "table.sign { width: 100%; margin-top: 18pt; break-inside: avoid; }\n"
    "table.sign th { text-align: left; font-weight: normal; color: #616161; border: 0; width: 33%; }\n"
    "table.sign td { text-align: left; height: 28pt; vertical-align: bottom; border-bottom: 1px solid #212121; }\n"
    "tr.overdue td.status { color: #c62828; font-weight: bold; } tr.action td.status { color: #9e7700; "
    "font-weight: bold; }\n"
    "tr.ok td.status { color: #2e7d32; } tr.unjudged td.status { color: #616161; }\n"
    "table.thresholds td, table.thresholds th { text-align: left; }\n";

// The page up to its heading; the title is plain text.
void Rep_PageStart(const REP_PAGE &pg, std::string *out, const std::string &title, const std::string &heading, const char *style)
{
    Rep_Add(out,
            "<!DOCTYPE html>\n<html lang=\"%s\">\n<head>\n<meta charset=\"utf-8\"/>\n"
            "<title>%s</title>\n<style>\n%s%s</style>\n</head>\n<body>\n<h1>%s</h1>\n",
            Rep_T(pg, TX_LANG_CODE), Rep_Esc(title).c_str(), kStyle, style, Rep_Esc(heading).c_str());
    Rep_IdentityBlock(pg, out);
}

static std::string Duration(const REP_PAGE &pg, int64_t ms)
{
    std::string s;
    if (ms >= 3600000)
        Rep_Add(&s, "%lld h %02d min %02d s", (long long)(ms / 3600000), (int)(ms / 60000 % 60), (int)(ms / 1000 % 60));
    else if (ms >= 60000)
        Rep_Add(&s, "%d min %02d%c%d s", (int)(ms / 60000), (int)(ms / 1000 % 60),
                pg.iLang == REP_LANG_DE ? ',' : '.', (int)(ms / 100 % 10));
    else
        s = Rep_Fixed(pg, ms / 1000.0, 3) + " s";
    return s;
}

std::string Rep_BeamName(const REP_PAGE &pg, unsigned rods, int rod, int beam)
{
    std::string s = std::to_string(beam);
    if (rods == 3)
        return Rep_Tf(pg, TX_BEAM_ON_ROD, beam, rod + 1);
    return s;
}

void Rep_Fact(std::string *out, const char *name, const std::string &html)
{
    Rep_Add(out, "<tr><th>%s</th><td>%s</td></tr>\n", name, html.c_str());
}

std::string Rep_TypeText(const REP_PAGE &pg, int type, bool relative)
{
    return Rep_Tf(pg, relative ? TX_TYPE_REL : TX_TYPE_ABS, Rep_aszTypeName[type], Rep_aszTypeEnglish[type]);
}

std::string Rep_LimitsHtml(const REP_PAGE &pg, const REP_LIMITS &lim, bool relative)
{
    const char *unit = relative ? " %" : "";
    std::string limits = Rep_Tf(pg, TX_LIMIT_LOWER, std::to_string(lim.iMin).c_str(), unit, lim.strMinFrom.c_str()) +
                         "; " + Rep_Tf(pg, TX_LIMIT_UPPER, std::to_string(lim.iMax).c_str(), unit, lim.strMaxFrom.c_str()) +
                         "; ";
    return Rep_Esc(limits + (lim.fNoise ? Rep_Tf(pg, TX_LIMIT_NOISE, std::to_string(lim.iNoise).c_str(), unit,
                                                 lim.strNoiseFrom.c_str())
                                        : std::string(Rep_T(pg, TX_NOISE_NOT_JUDGED))));
}

static void Summary(const REP_PAGE &pg, std::string *out, const REP_LOG &log, const std::vector<REP_BEAM> &beams, const REP_LIMITS &lim)
{
    Rep_Add(out, "<h2>%s</h2>\n<table class=\"facts\">\n", Rep_T(pg, TX_SUMMARY));
    Rep_Fact(out, Rep_T(pg, TX_VALUE_TYPE), Rep_TypeText(pg, log.iValueType, log.fRelative));
    Rep_Fact(out, Rep_T(pg, TX_ROD_PAIR), log.uRods == 3 ? Rep_T(pg, TX_ROD_PAIRS_BOTH) : log.uRods == 2 ? "2" : "1");
    std::string ranges;
    for (const REP_RANGE &r : log.aRanges) {
        Rep_Add(&ranges, "%s%d–%d", ranges.empty() ? "" : "; ", r.iFirst, r.iLast);
        if (log.uRods == 3)
            ranges += Rep_Tf(pg, TX_ON_ROD_PAIR, r.iRod + 1);
        if (log.aRanges.size() > 1)
            ranges += Rep_Tf(pg, TX_N_LINES, (unsigned long long)r.nLines);
    }
    if (log.fMoreRanges)
        ranges += Rep_T(pg, TX_AND_MORE);
    Rep_Fact(out, Rep_T(pg, log.aRanges.size() > 1 ? TX_BEAM_RANGES : TX_BEAM_RANGE), ranges);
    Rep_Fact(out, Rep_T(pg, TX_START), Rep_PageTime(pg, log.tStart, true));
    Rep_Fact(out, Rep_T(pg, TX_END), Rep_PageTime(pg, log.tEnd, true));
    Rep_Fact(out, Rep_T(pg, TX_DURATION), Duration(pg, log.tEnd - log.tStart));
    Rep_Fact(out, Rep_T(pg, TX_CYCLES), std::to_string(log.nCycles));
    Rep_Fact(out, Rep_T(pg, TX_MEDIAN_INTERVAL),
         log.histInterval.nCount ? Rep_N(pg, Rep_HistQuantile(log.histInterval, 0.5)) + " ms" : "–");
    Rep_Fact(out, Rep_T(pg, TX_SKIPPED_LINES_N), std::to_string(log.nSkipped));
    Rep_Fact(out, Rep_T(pg, TX_LIMITS), Rep_LimitsHtml(pg, lim, log.fRelative));
    Rep_Fact(out, Rep_T(pg, TX_BEAMS), std::to_string(beams.size()));
    *out += "</table>\n";
}

static void FlaggedTable(const REP_PAGE &pg, std::string *out, const REP_LOG &log, const std::vector<REP_BEAM> &beams)
{
    Rep_Add(out, "<section>\n<h2>%s</h2>\n", Rep_T(pg, TX_FLAGGED_BEAMS));
    size_t flagged = std::count_if(beams.begin(), beams.end(), [](const REP_BEAM &b) { return b.uFlags != 0; });
    if (!flagged) {
        Rep_Add(out, "<p>%s</p>\n</section>\n", Rep_T(pg, TX_NO_BEAM_FLAGGED));
        return;
    }
    Rep_Add(out, "<table id=\"flagged\">\n<thead><tr><th class=\"text\">%s</th><th>%s</th><th>%s</th>"
            "<th>%s</th><th>%s</th><th>%s</th><th>%s</th><th>%s</th><th class=\"text\">%s</th></tr></thead>\n"
            "<tbody>\n", Rep_T(pg, TX_BEAM), Rep_T(pg, TX_MINIMUM), Rep_T(pg, TX_MEDIAN), Rep_T(pg, TX_MEAN), Rep_T(pg, TX_MAXIMUM),
            Rep_T(pg, TX_NOISE), Rep_T(pg, TX_STDDEV), Rep_T(pg, TX_BELOW_LOWER), Rep_T(pg, TX_REASON));
    for (const REP_BEAM &b : beams) {
        if (!b.uFlags)
            continue;
        const char *cls = b.uFlags & REP_FLAG_LOW ? "low" : b.uFlags & REP_FLAG_HIGH ? "high" : "noisy";
        Rep_Add(out,
                "<tr class=\"%s\"><td class=\"beam text\">%s</td><td>%d</td><td>%s</td><td>%s</td><td>%d</td>"
                "<td>%lld</td><td>%s</td><td>%s %%</td><td class=\"text\">%s</td></tr>\n",
                cls, Rep_BeamName(pg, log.uRods, b.iRod, b.iBeam).c_str(), b.iMin, Rep_N(pg, b.flMedian).c_str(),
                Rep_Fixed(pg, b.flMean, 2).c_str(), b.iMax, (long long)b.iMax - b.iMin, Rep_Fixed(pg, b.flStdDev, 2).c_str(),
                Rep_Fixed(pg, 100.0 * b.nBelow / b.nCount, 1).c_str(), Rep_PageReasons(pg, b.uFlags).c_str());
    }
    *out += "</tbody>\n</table>\n";
    Rep_Add(out, "<p class=\"legend\">%s</p>\n</section>\n", Rep_T(pg, TX_FLAGGED_LEGEND));
}

void Rep_LogsTable(const REP_PAGE &pg, std::string *out, const REP_LOG &log, const char *heading)
{
    Rep_Add(out, "<h2>%s</h2>\n<table>", heading);
    Rep_Add(out, "\n<thead><tr><th class=\"text\">%s</th><th class=\"text\">%s</th><th>%s</th><th>%s</th></tr>"
            "</thead>\n<tbody>\n", Rep_T(pg, TX_FILE), Rep_T(pg, TX_TITLE), Rep_T(pg, TX_LINES_READ), Rep_T(pg, TX_SKIPPED));
    for (const REP_FILE &f : log.aFiles)
        Rep_Add(out, "<tr><td class=\"text\">%s</td><td class=\"text\">%s</td><td>%llu</td><td>%llu</td></tr>\n",
                Rep_Esc(Rep_Utf8(f.strPath.data(), f.strPath.size())).c_str(),
                Rep_Esc(Rep_Utf8(f.strTitle.data(), f.strTitle.size())).c_str(), (unsigned long long)f.nLines,
                (unsigned long long)f.nSkipped);
    *out += "</tbody>\n</table>\n";
    if (log.aSkips.empty())
        return;
    *out += "<p>" + std::string(Rep_T(pg, TX_SKIPPED_LINES));
    if (log.nSkipped > log.aSkips.size())
        *out += Rep_Tf(pg, TX_FIRST_OF, (int)log.aSkips.size(), (unsigned long long)log.nSkipped);
    *out += ":</p>\n<ul>\n";
    for (const REP_SKIP &s : log.aSkips) {
        const std::string &path = log.aFiles[s.iFile].strPath;
        Rep_Add(out, "<li>%s<code>%s</code></li>\n",
                Rep_Tf(pg, TX_LINE_N, Rep_Esc(Rep_Utf8(path.data(), path.size())).c_str(), (unsigned long long)s.nLine,
                       Rep_SkipReason(pg, s.iReason)).c_str(),
                Rep_Esc(Rep_Utf8(s.strStart.data(), s.strStart.size())).c_str());
    }
    *out += "</ul>\n";
}

// On paper the report of one rod pair with nothing flagged is one A4 sheet,
// the grid's identity and the block to sign included: the sheet's margin
// replaces the page's own, text and rows are set tighter, the facts run in
// two columns and the charts print smaller with their labels kept legible.
static const char kOneSheet[] =
    "@media print {\n"
    "@page { margin: 10mm 12mm; }\n"
    "body { margin: 0; max-width: none; font-size: 9pt; line-height: 1.25; }\n"
    "h1 { font-size: 14pt; }\n"
    "h2 { font-size: 10.5pt; margin: 6pt 0 2pt; }\n"
    "p { margin: 3pt 0; } .verdict { font-size: 10.5pt; margin: 3pt 0; }\n"
    "table.facts { display: block; columns: 2; column-gap: 8mm; font-size: 8.5pt; line-height: 1.2; }\n"
    "table.facts tbody { display: block; }\n"
    "table.facts tr { display: flex; break-inside: avoid; }\n"
    "table.facts th { flex: 0 0 34mm; }\n"
    "svg.chart { width: 72%; margin: 0 auto; font-size: 15px; }\n"
    ".legend { font-size: 7.5pt; margin: 0 0 2pt; }\n"
    "table#flagged { font-size: 8pt; line-height: 1.15; }\n"
    "table.sign { margin-top: 6pt; } table.sign td { height: 18pt; }\n"
    "}\n";

std::string Rep_Html(const REP_PAGE &pg, const REP_LOG &log, const std::vector<REP_BEAM> &beams, const REP_LIMITS &lim)
{
    std::string out;
    std::string start = Rep_PageTime(pg, log.tStart, true).substr(0, 16);
    Rep_PageStart(pg, &out, std::string(Rep_T(pg, TX_REPORT)) + " " + start, Rep_T(pg, TX_REPORT), kOneSheet);
    Rep_Add(&out, "<p>%s, %s, %s</p>\n", Rep_aszTypeName[log.iValueType], Rep_T(pg, log.fRelative ? TX_RELATIVE : TX_ABSOLUTE),
            start.c_str());
    std::string list;
    size_t flagged = 0;
    for (const REP_BEAM &b : beams)
        if (b.uFlags)
            list += (flagged++ ? ", " : "") + Rep_BeamName(pg, log.uRods, b.iRod, b.iBeam);
    if (flagged)
        Rep_Add(&out, "<p class=\"verdict flagged\">%s</p>\n",
                Rep_Tf(pg, TX_FLAGGED_OF, (int)flagged, (int)beams.size(), list.c_str()).c_str());
    else
        Rep_Add(&out, "<p class=\"verdict ok\">%s</p>\n", Rep_Tf(pg, TX_NONE_FLAGGED, (int)beams.size()).c_str());
    Summary(pg, &out, log, beams, lim);
    Rep_BeamCharts(pg, &out, log, beams, lim);
    Rep_Add(&out, "<section>\n<h2>%s</h2>\n", Rep_T(pg, TX_TREND));
    Rep_TrendChart(pg, &out, log, lim);
    out += "</section>\n";
    FlaggedTable(pg, &out, log, beams);
    Rep_LogsTable(pg, &out, log, Rep_T(pg, TX_LOGS));
    Rep_SignBlock(pg, &out);
    out += "</body>\n</html>\n";
    return out;
}
