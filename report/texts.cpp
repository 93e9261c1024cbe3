// The pages' texts by language, and numbers and dates as each language
// writes them. Standard error and the CSV files stay English: scripts read
// them.
#include "report.h"

#include <math.h>
#include <stdarg.h>

static const char *const kText[TX_COUNT][REP_LANGS] = {
#define TX(id, de, en) {de, en},
#include "texts.def"
#undef TX
};

int Rep_LangOf(const std::string &code)
{
    for (int l = 0; l < REP_LANGS; l++)
        if (code == kText[TX_LANG_CODE][l])
            return l;
    return -1;
}

const char *Rep_T(const REP_PAGE &pg, int id)
{
    return kText[id][pg.iLang];
}

std::string Rep_Tf(const REP_PAGE &pg, int id, ...)
{
    va_list ap, again;
    va_start(ap, id);
    va_copy(again, ap);
    char buf[512];
    int n = vsnprintf(buf, sizeof(buf), Rep_T(pg, id), ap);
    va_end(ap);
    std::string s;
    if (n >= 0 && (size_t)n < sizeof(buf)) {
        s.assign(buf, n);
    } else if (n >= 0) {
        std::vector<char> big(n + 1);
        vsnprintf(big.data(), big.size(), Rep_T(pg, id), again);
        s.assign(big.data(), n);
    }
    va_end(again);
    return s;
}

static std::string Mark(const REP_PAGE &pg, std::string s)
{
    if (pg.iLang == REP_LANG_DE)
        for (char &c : s)
            if (c == '.')
                c = ',';
    return s;
}

std::string Rep_Fixed(const REP_PAGE &pg, double v, int places)
{
    std::string s;
    Rep_Add(&s, "%.*f", places, v);
    return Mark(pg, s);
}

std::string Rep_N(const REP_PAGE &pg, double v)
{
    return Mark(pg, Rep_Num(v));
}

std::string Rep_PageDay(const REP_PAGE &pg, double day)
{
    std::string iso = Rep_DayText(day);   // YYYY-MM-DD
    if (iso.size() != 10 || pg.iLang != REP_LANG_DE)
        return iso;
    return iso.substr(8, 2) + "." + iso.substr(5, 2) + "." + iso.substr(0, 4);
}

// "09.12.2026 14:03:05,250": as long as the log's own form, so that cutting
// it after the minutes or the date works in either language.
std::string Rep_PageTime(const REP_PAGE &pg, int64_t tMs, bool date)
{
    std::string time = Rep_TimeText(tMs, false);
    if (!date)
        return time;
    int64_t day = tMs >= 0 ? tMs / 86400000 : -((-tMs + 86399999) / 86400000);
    return Rep_PageDay(pg, (double)day) + " " + time;
}

std::string Rep_PageReasons(const REP_PAGE &pg, unsigned flags)
{
    static const int kWhy[4] = {TX_WHY_LOW, TX_WHY_HIGH, TX_WHY_NOISY, TX_WHY_PREDICTED};
    std::string s;
    for (int i = 0; i < 4; i++)
        if (flags & 1u << i)
            s += (s.empty() ? "" : "; ") + std::string(Rep_T(pg, kWhy[i]));
    return s;
}

const char *Rep_SkipReason(const REP_PAGE &pg, int reason)
{
    return reason > 0 && reason < REP_REASONS ? Rep_T(pg, TX_SKIP_1 + reason - 1) : "";
}
