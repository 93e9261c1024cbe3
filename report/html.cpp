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
    ".verdict.ok { color: #2e7d32; } .verdict.flagged { color: #c62828; }\n"
    "svg.chart { display: block; width: 100%; height: auto; font-size: 13px; }\n"
    ".legend { font-size: 8.5pt; color: #424242; margin: 2pt 0 6pt; }\n"
    ".key { display: inline-block; width: 9pt; height: 9pt; margin: 0 3pt 0 8pt; vertical-align: -1pt; }\n"
    "code { font-size: 8.5pt; }\n"
    "section { break-inside: avoid; }\n"
    "td.light { font-weight: bold; } td.green { color: #2e7d32; } td.yellow { color: #9e7700; } td.red { color: #c62828; }\n"
    ".medians { text-align: left; font-size: 8.5pt; }\n"
    "table.thresholds td, table.thresholds th { text-align: left; }\n";

// The page up to its heading; the title is plain text.
void Rep_PageStart(std::string *out, const std::string &title, const std::string &heading)
{
    Rep_Add(out,
            "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\"/>\n"
            "<title>%s</title>\n<style>\n%s</style>\n</head>\n<body>\n<h1>%s</h1>\n",
            Rep_Esc(title).c_str(), kStyle, Rep_Esc(heading).c_str());
}

static std::string Duration(int64_t ms)
{
    std::string s;
    if (ms >= 3600000)
        Rep_Add(&s, "%lld h %02d min %02d s", (long long)(ms / 3600000), (int)(ms / 60000 % 60), (int)(ms / 1000 % 60));
    else if (ms >= 60000)
        Rep_Add(&s, "%d min %02d.%d s", (int)(ms / 60000), (int)(ms / 1000 % 60), (int)(ms / 100 % 10));
    else
        Rep_Add(&s, "%.3f s", ms / 1000.0);
    return s;
}

std::string Rep_BeamName(unsigned rods, int rod, int beam)
{
    std::string s = std::to_string(beam);
    if (rods == 3)
        s += " (rod pair " + std::to_string(rod + 1) + ")";
    return s;
}

void Rep_Fact(std::string *out, const char *name, const std::string &html)
{
    Rep_Add(out, "<tr><th>%s</th><td>%s</td></tr>\n", name, html.c_str());
}

std::string Rep_TypeText(int type, bool relative)
{
    return std::string(Rep_aszTypeName[type]) + " (" + Rep_aszTypeEnglish[type] + "), " +
           (relative ? "relative values, percent of the references" : "absolute values");
}

std::string Rep_LimitsHtml(const REP_LIMITS &lim, bool relative)
{
    const char *unit = relative ? " %" : "";
    std::string limits = "lower " + std::to_string(lim.iMin) + unit + " (" + Rep_Esc(lim.strMinFrom) + "), upper " +
                         std::to_string(lim.iMax) + unit + " (" + Rep_Esc(lim.strMaxFrom) + "), ";
    return limits + (lim.fNoise ? "noise " + std::to_string(lim.iNoise) + unit + " (--noise)" : "noise not judged");
}

static void Summary(std::string *out, const REP_LOG &log, const std::vector<REP_BEAM> &beams, const REP_LIMITS &lim)
{
    *out += "<h2>Summary</h2>\n<table class=\"facts\">\n";
    Rep_Fact(out, "Value type", Rep_TypeText(log.iValueType, log.fRelative));
    Rep_Fact(out, "Rod pair", log.uRods == 3 ? "1 and 2" : log.uRods == 2 ? "2" : "1");
    std::string ranges;
    for (const REP_RANGE &r : log.aRanges) {
        Rep_Add(&ranges, "%s%d–%d", ranges.empty() ? "" : "; ", r.iFirst, r.iLast);
        if (log.uRods == 3)
            Rep_Add(&ranges, " on rod pair %d", r.iRod + 1);
        if (log.aRanges.size() > 1)
            Rep_Add(&ranges, " (%llu lines)", (unsigned long long)r.nLines);
    }
    if (log.fMoreRanges)
        ranges += "; and more";
    Rep_Fact(out, log.aRanges.size() > 1 ? "Beam ranges" : "Beam range", ranges);
    Rep_Fact(out, "Start", Rep_TimeText(log.tStart, true));
    Rep_Fact(out, "End", Rep_TimeText(log.tEnd, true));
    Rep_Fact(out, "Duration", Duration(log.tEnd - log.tStart));
    Rep_Fact(out, "Cycles", std::to_string(log.nCycles));
    Rep_Fact(out, "Median time between cycles",
         log.histInterval.nCount ? Rep_Num(Rep_HistQuantile(log.histInterval, 0.5)) + " ms" : "–");
    Rep_Fact(out, "Lines skipped as malformed", std::to_string(log.nSkipped));
    Rep_Fact(out, "Limits", Rep_LimitsHtml(lim, log.fRelative));
    Rep_Fact(out, "Beams", std::to_string(beams.size()));
    *out += "</table>\n";
}

static void FlaggedTable(std::string *out, const REP_LOG &log, const std::vector<REP_BEAM> &beams)
{
    *out += "<section>\n<h2>Flagged beams</h2>\n";
    size_t flagged = std::count_if(beams.begin(), beams.end(), [](const REP_BEAM &b) { return b.uFlags != 0; });
    if (!flagged) {
        *out += "<p>No beam is flagged.</p>\n</section>\n";
        return;
    }
    *out += "<table id=\"flagged\">\n<thead><tr><th class=\"text\">Beam</th><th>Minimum</th><th>Median</th>"
            "<th>Mean</th><th>Maximum</th><th>Noise</th><th>Std. dev.</th><th>Below lower limit</th>"
            "<th class=\"text\">Reason</th></tr></thead>\n<tbody>\n";
    for (const REP_BEAM &b : beams) {
        if (!b.uFlags)
            continue;
        const char *cls = b.uFlags & REP_FLAG_LOW ? "low" : b.uFlags & REP_FLAG_HIGH ? "high" : "noisy";
        Rep_Add(out,
                "<tr class=\"%s\"><td class=\"beam text\">%s</td><td>%d</td><td>%s</td><td>%.2f</td><td>%d</td>"
                "<td>%lld</td><td>%.2f</td><td>%.1f %%</td><td class=\"text\">%s</td></tr>\n",
                cls, Rep_BeamName(log.uRods, b.iRod, b.iBeam).c_str(), b.iMin, Rep_Num(b.flMedian).c_str(), b.flMean, b.iMax,
                (long long)b.iMax - b.iMin, b.flStdDev, 100.0 * b.nBelow / b.nCount, Rep_Reasons(b.uFlags).c_str());
    }
    *out += "</tbody>\n</table>\n";
    *out += "<p class=\"legend\">Noise is maximum minus minimum. A beam is flagged when its median lies outside the "
            "limits or its noise exceeds the noise limit.</p>\n</section>\n";
}

void Rep_LogsTable(std::string *out, const REP_LOG &log, const char *heading)
{
    Rep_Add(out, "<h2>%s</h2>\n<table>", heading);
    *out += "\n<thead><tr><th class=\"text\">File</th><th class=\"text\">Title</th>"
            "<th>Lines read</th><th>Skipped</th></tr></thead>\n<tbody>\n";
    for (const REP_FILE &f : log.aFiles)
        Rep_Add(out, "<tr><td class=\"text\">%s</td><td class=\"text\">%s</td><td>%llu</td><td>%llu</td></tr>\n",
                Rep_Esc(Rep_Utf8(f.strPath.data(), f.strPath.size())).c_str(),
                Rep_Esc(Rep_Utf8(f.strTitle.data(), f.strTitle.size())).c_str(), (unsigned long long)f.nLines,
                (unsigned long long)f.nSkipped);
    *out += "</tbody>\n</table>\n";
    if (log.aSkips.empty())
        return;
    *out += "<p>Skipped lines";
    if (log.nSkipped > log.aSkips.size())
        Rep_Add(out, " (the first %d of %llu)", (int)log.aSkips.size(), (unsigned long long)log.nSkipped);
    *out += ":</p>\n<ul>\n";
    for (const REP_SKIP &s : log.aSkips) {
        const std::string &path = log.aFiles[s.iFile].strPath;
        Rep_Add(out, "<li>%s, line %llu: %s: <code>%s</code></li>\n", Rep_Esc(Rep_Utf8(path.data(), path.size())).c_str(),
                (unsigned long long)s.nLine, Rep_aszReason[s.iReason],
                Rep_Esc(Rep_Utf8(s.strStart.data(), s.strStart.size())).c_str());
    }
    *out += "</ul>\n";
}

std::string Rep_Html(const REP_LOG &log, const std::vector<REP_BEAM> &beams, const REP_LIMITS &lim)
{
    std::string out;
    std::string start = Rep_TimeText(log.tStart, true).substr(0, 16);
    Rep_PageStart(&out, "Service report " + start, "Service report");
    Rep_Add(&out, "<p>%s, %s, %s</p>\n", Rep_aszTypeName[log.iValueType], log.fRelative ? "relative" : "absolute",
            start.c_str());
    std::string list;
    size_t flagged = 0;
    for (const REP_BEAM &b : beams)
        if (b.uFlags)
            list += (flagged++ ? ", " : "") + Rep_BeamName(log.uRods, b.iRod, b.iBeam);
    if (flagged)
        Rep_Add(&out, "<p class=\"verdict flagged\">%d of %d beams flagged: %s</p>\n", (int)flagged, (int)beams.size(),
                list.c_str());
    else
        Rep_Add(&out, "<p class=\"verdict ok\">No beam flagged (%d beams)</p>\n", (int)beams.size());
    Summary(&out, log, beams, lim);
    Rep_BeamCharts(&out, log, beams, lim);
    out += "<section>\n<h2>Trend</h2>\n";
    Rep_TrendChart(&out, log, lim);
    out += "</section>\n";
    FlaggedTable(&out, log, beams);
    Rep_LogsTable(&out, log, "Logs");
    out += "</body>\n</html>\n";
    return out;
}
