// The grid identity and signing blocks that start and end a grid page.
#include "report.h"


// A card's first value that is no number, in the page's language.
std::string Rep_CardBadText(const REP_PAGE &pg, const REP_CARD &c)
{
    int k = c.iBadKey;
    if (k == CARD_KEYS)
        return Rep_Tf(pg, TX_CARD_UTF16, Rep_Utf8(c.strPath.data(), c.strPath.size()).c_str());
    if (c.fBadOrder)
        return Rep_Tf(pg, k == CARD_MIN_INTERVAL ? TX_CARD_MIN_ABOVE_MAX : TX_CARD_MAX_BELOW_MIN,
                      Rep_Utf8(c.strPath.data(), c.strPath.size()).c_str(), c.iBadLine, Rep_aszCardKey[k],
                      c.strBadValue.c_str(), c.aiValue[k == CARD_MIN_INTERVAL ? CARD_MAX_INTERVAL : CARD_MIN_INTERVAL]);
    bool months = k == CARD_INTERVAL || k == CARD_MIN_INTERVAL || k == CARD_MAX_INTERVAL;
    return Rep_Tf(pg, months ? TX_CARD_NOT_MONTHS : TX_CARD_NOT_NUMBER,
                  Rep_Utf8(c.strPath.data(), c.strPath.size()).c_str(), c.iBadLine, Rep_aszCardSection[k], Rep_aszCardKey[k],
                  c.strBadValue.c_str());
}

// The grid's identity and the technician, at the top of a page.
void Rep_IdentityBlock(const REP_PAGE &pg, std::string *out)
{
    const REP_IDENTITY &w = pg.who;
    if (!w.fCard && w.strTechnician.empty())
        return;
    static const int kName[CARD_TEXTS] = {TX_CUSTOMER, TX_SITE, TX_MACHINE, TX_GRID, TX_SERIAL};
    *out += "<table class=\"facts identity\" id=\"identity\">\n";
    if (w.fCard) {
        for (int k = 0; k < CARD_TEXTS; k++)
            Rep_Fact(out, Rep_T(pg, kName[k]), Rep_Esc(w.card.astrText[k]));
        Rep_Fact(out, Rep_T(pg, TX_INTERVAL), Rep_Tf(pg, w.card.aiValue[CARD_INTERVAL] == 1 ? TX_MONTH_ONE : TX_MONTHS, w.card.aiValue[CARD_INTERVAL]));
        if (!isnan(w.flVisitDay))
            Rep_Fact(out, Rep_T(pg, TX_NEXT_VISIT_DUE),
                     Rep_PageDay(pg, Rep_AddMonths((int32_t)w.flVisitDay, w.card.aiValue[CARD_INTERVAL])));
    }
    if (!w.strTechnician.empty())
        Rep_Fact(out, Rep_T(pg, TX_TECHNICIAN), Rep_Esc(w.strTechnician));
    *out += "</table>\n";
}

// Technician, date and a line to sign: the printed page goes into the
// machine's technical file.
void Rep_SignBlock(const REP_PAGE &pg, std::string *out)
{
    const REP_IDENTITY &w = pg.who;
    Rep_Add(out, "<table class=\"sign\" id=\"sign\">\n<tr><th>%s</th><th>%s</th><th>%s</th></tr>\n"
                 "<tr><td>%s</td><td>%s</td><td></td></tr>\n</table>\n",
            Rep_T(pg, TX_TECHNICIAN), Rep_T(pg, TX_SIGN_DATE), Rep_T(pg, TX_SIGNATURE), Rep_Esc(w.strTechnician).c_str(),
            isnan(w.flVisitDay) ? "" : Rep_PageDay(pg, w.flVisitDay).c_str());
}
