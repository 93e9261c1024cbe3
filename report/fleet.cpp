// The fleet's plan: one row a grid, most urgent first, as a page and as a
// table for a spreadsheet.
#include "report.h"

static const char *const kStatusClass[] = {"overdue", "action", "ok"};

static std::string LimitText(const REP_PAGE &pg, const REP_FLEETROW &r)
{
    static const int kText[] = {0, TX_FC_INSUFFICIENT, TX_FC_NONE, TX_FC_BEYOND};
    return r.iLimit == LIMIT_DATE ? Rep_PageDay(pg, r.flLimitFrom) : Rep_T(pg, kText[r.iLimit]);
}

static bool Judged(const REP_FLEETROW &r)
{
    return r.iStatus <= FLEET_OK;
}

static std::string Verdict(const REP_PAGE &pg, const REP_FLEETROW &r)
{
    return r.nFlagged ? Rep_Tf(pg, TX_FLEET_FLAGGED, r.nFlagged, r.nBeams) : Rep_Tf(pg, TX_NONE_FLAGGED, r.nBeams);
}

static std::string StatusText(const REP_PAGE &pg, const REP_FLEETROW &r)
{
    std::string s = Rep_T(pg, TX_ST_OVERDUE + r.iStatus);
    if (r.iStatus == FLEET_BAD_CARD && r.card.iBadKey >= 0)
        return s + ": " + Rep_CardBadText(pg, r.card);
    return r.strNote.empty() ? s : s + ": " + Rep_Utf8(r.strNote.data(), r.strNote.size());
}

std::string Rep_FleetHtml(const REP_PAGE &pg, const std::vector<REP_FLEETROW> &rows, int32_t today, int horizon)
{
    std::string out, day = Rep_PageDay(pg, today);
    int count[3] = {}, grids = 0, unjudged = 0;
    for (const REP_FLEETROW &r : rows) {
        grids += r.fCard;
        if (Judged(r))
            count[r.iStatus]++;
        else if (r.fCard)
            unjudged++;
    }
    // A dozen columns: the plan prints across the page.
    static const char kWide[] = "@page { size: A4 landscape; }\nbody { max-width: 273mm; }\n"
                                "table#fleet { font-size: 8.5pt; } table#fleet th, table#fleet td { padding-right: 5pt; }\n";
    Rep_PageStart(pg, &out, Rep_Tf(pg, TX_FLEET_TITLE, day.c_str()), Rep_Tf(pg, TX_FLEET_HEADING, grids, day.c_str()), kWide);
    Rep_Add(&out, "<p class=\"verdict %s\">%s</p>\n", count[FLEET_OVERDUE] + count[FLEET_ACTION] ? "flagged" : "ok",
            Rep_Tf(pg, TX_FLEET_VERDICT, count[FLEET_OVERDUE], count[FLEET_ACTION], Rep_PageDay(pg, today + horizon).c_str(),
                   count[FLEET_OK], unjudged).c_str());
    static const int kHead[] = {TX_STATUS,    TX_ACTION_BY, TX_CUSTOMER,   TX_SITE,           TX_MACHINE,
                                TX_GRID,      TX_SERIAL,    TX_LAST_VISIT, TX_VERDICT,        TX_WEAKEST_RESERVE,
                                TX_LIMIT_FROM, TX_NEXT_VISIT_DUE, TX_ON_ARRIVAL, TX_SOILING, TX_ADVISED_INTERVAL};
    out += "<table id=\"fleet\">\n<thead><tr>";
    for (int h : kHead)
        Rep_Add(&out, "<th class=\"text\">%s</th>", Rep_T(pg, h));
    out += "</tr></thead>\n<tbody>\n";
    for (const REP_FLEETROW &r : rows) {
        if (!r.fCard)
            continue;
        const std::string *t = r.card.astrText;
        std::string grid = Rep_Esc(t[CARD_GRID].empty() ? Rep_Utf8(r.strFolder.data(), r.strFolder.size()) : t[CARD_GRID]);
        if (!r.strPage.empty())
            grid = "<a href=\"" + Rep_Esc(r.strPage) + "\">" + grid + "</a>";
        bool judged = Judged(r);
        Rep_Add(&out, "<tr class=\"%s\"><td class=\"text status\">%s</td><td class=\"text\">%s</td>",
                judged ? kStatusClass[r.iStatus] : "unjudged", Rep_Esc(StatusText(pg, r)).c_str(),
                judged ? Rep_PageDay(pg, r.flAction).c_str() : "");
        for (int k = CARD_CUSTOMER; k <= CARD_SERIAL; k++)
            Rep_Add(&out, "<td class=\"text\">%s</td>", k == CARD_GRID ? grid.c_str() : Rep_Esc(t[k]).c_str());
        if (judged)
            Rep_Add(&out, "<td class=\"text\">%s</td><td class=\"text\">%s</td><td>%s ×</td><td class=\"text\">%s</td>"
                          "<td class=\"text\">%s</td><td class=\"text%s\">%s</td><td class=\"text\">%s</td>"
                          "<td class=\"text\">%s</td></tr>\n",
                    Rep_PageDay(pg, r.iLastDay).c_str(), Verdict(pg, r).c_str(), Rep_Fixed(pg, r.flReserve, 2).c_str(),
                    LimitText(pg, r).c_str(), Rep_PageDay(pg, r.iDue).c_str(), r.nFoundLow > 0 || r.nFoundHigh > 0 ? " found" : "",
                    Rep_FoundText(pg, r.nFoundLow, r.nFoundHigh, r.nBeams).c_str(),
                    Rep_SoilingText(pg, r.flSoiling, Rep_BeamName(pg, r.uRods, r.iSoilRod, r.iSoilBeam)).c_str(),
                    Rep_Tf(pg, r.iAdvised == 1 ? TX_ADVISED_ONE : TX_ADVISED_TEXT, r.iAdvised, r.card.aiValue[CARD_INTERVAL]).c_str());
        else
            out += "<td></td><td></td><td></td><td></td><td></td><td></td><td></td><td></td></tr>\n";
    }
    Rep_Add(&out, "</tbody>\n</table>\n<p class=\"legend\">%s</p>\n",
            Rep_Tf(pg, TX_FLEET_KEY, std::to_string(horizon).c_str()).c_str());
    std::vector<REP_LEFTOUT> left;
    for (const REP_FLEETROW &r : rows)
        left.insert(left.end(), r.aLeftOut.begin(), r.aLeftOut.end());
    Rep_LeftOutList(pg, &out, left);
    bool loose = false;
    for (const REP_FLEETROW &r : rows)
        if (!r.fCard) {
            if (!loose)
                Rep_Add(&out, "<h2>%s</h2>\n<ul id=\"nocard\">\n", Rep_T(pg, TX_NO_CARD_FOLDERS));
            loose = true;
            Rep_Add(&out, "<li>%s</li>\n",
                    Rep_Tf(pg, TX_N_LOGS, Rep_Esc(Rep_Utf8(r.strFolder.data(), r.strFolder.size())).c_str(), r.nLogs).c_str());
        }
    if (loose)
        out += "</ul>\n";
    out += "</body>\n</html>\n";
    return out;
}

// Dates as YYYY-MM-DD, the reserve with a decimal comma like the other
// tables; written with the English texts.
std::string Rep_FleetCsv(const REP_PAGE &pg, const std::vector<REP_FLEETROW> &rows)
{
    std::string out = "Customer\tSite\tMachine\tGrid\tSerial\tFolder\tLast visit\tVerdict\tWeakest reserve\t"
                      "Limit reached from\tNext visit due\tAction by\tStatus\tFound below limit\tSoiling per month\t"
                      "Recommended interval\r\n";
    for (const REP_FLEETROW &r : rows) {
        for (int k = CARD_CUSTOMER; k <= CARD_SERIAL; k++)
            out += r.card.astrText[k] + "\t";   // no tabs: the card's texts passed Rep_Utf8
        out += Rep_Utf8(r.strFolder.data(), r.strFolder.size()) + "\t";
        if (Judged(r))
            out += Rep_DayText(r.iLastDay) + "\t" + Verdict(pg, r) + "\t" + Rep_Decimal(r.flReserve, 2) + "\t" +
                   (r.iLimit == LIMIT_DATE ? Rep_DayText(r.flLimitFrom) : LimitText(pg, r)) + "\t" + Rep_DayText(r.iDue) +
                   "\t" + Rep_DayText(r.flAction) + "\t";
        else
            out += "\t\t\t\t\t\t";
        out += StatusText(pg, r);
        // Counts and months as plain numbers; empty where there is nothing to count.
        if (Judged(r))
            out += "\t" + (r.nFoundLow < 0 ? std::string() : std::to_string(r.nFoundLow)) + "\t" +
                   (isnan(r.flSoiling) ? std::string() : Rep_Decimal(Rep_SoilPercent(r.flSoiling), 1)) + "\t" +
                   std::to_string(r.iAdvised);
        else
            out += "\t\t\t";
        out += "\r\n";
    }
    return out;
}
