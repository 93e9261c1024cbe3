// One log read line by line: its header checked, each data line parsed and
// given its time, each other line said why it is no line of the recording.
// zebreport reads its logs through this, and so does zebsim's replay.
#include "logread.h"

#include <errno.h>
#include <string.h>

static int Refuse(REP_CYCLES *c, std::string *error, const char *why)
{
    *error = c->strPath + ": " + why;
    return REP_NO_LOG;
}

int Rep_OpenCycles(REP_CYCLES *c, const std::string &path, uint64_t limit, std::string *error)
{
    Rep_CloseCycles(c);
    *c = REP_CYCLES();
    c->strPath = path;
    if (!Rep_OpenLines(&c->ls, path.c_str(), limit)) {
        *error = path + ": cannot open (" + strerror(errno) + ")";
        return REP_OPEN_FAILED;
    }
    const char *s;
    size_t n;
    int r = Rep_NextLine(&c->ls, &s, &n);
    if (r == REP_LINE_END)
        return Refuse(c, error, "empty file, not a data log");
    if (r != REP_LINE_OK || !Rep_ParseTitle(Rep_Utf8(s, n), &c->iType, &c->fRelative))
        return Refuse(c, error, "not a data log (line 1 is no log title)");
    c->strTitle.assign(s, n);
    if (Rep_NextLine(&c->ls, &s, &n) != REP_LINE_OK || !Rep_ParseDate(s, n, &c->iDay))
        return Refuse(c, error, "no Date line (line 2) in the form Date: YYYY-MM-DD");
    // A time smaller than the one before means midnight has passed; the
    // creation time in the file name tells whether the first line is
    // already on the next day.
    c->iDayNow = c->iDay;
    c->iPrevMs = Rep_CreationMsOfDay(path, c->iDay);
    return REP_OPENED;
}

int Rep_NextCycle(REP_CYCLES *c, REP_LINE *ln, int64_t *t, const char **s, size_t *n)
{
    int r;
    while ((r = Rep_NextLine(&c->ls, s, n)) != REP_LINE_END) {
        if (r == REP_LINE_OK && (*n == 0 || (c->ls.nLine == 3 && *n >= 4 && memcmp(*s, "Zeit", 4) == 0)))
            continue;   // blank line, column header
        int reason = r == REP_LINE_LONG ? REP_TOO_LONG : r == REP_LINE_OPEN ? REP_UNFINISHED : Rep_ParseLine(*s, *n, ln);
        if (reason != REP_OK)
            return reason;
        if (ln->iMsOfDay < c->iPrevMs)
            c->iDayNow++;
        c->iPrevMs = ln->iMsOfDay;
        *t = c->iDayNow * 86400000 + ln->iMsOfDay;
        c->nLines++;
        return REP_OK;
    }
    return REP_CYCLES_END;
}

void Rep_CloseCycles(REP_CYCLES *c)
{
    Rep_CloseLines(&c->ls);
}

// Empty when a log is of the first one's value type, else why they are not
// one recording.
std::string Rep_TypesDiffer(const REP_CYCLES &c, const std::string &firstPath, int firstType, bool firstRelative)
{
    if (c.iType == firstType && c.fRelative == firstRelative)
        return "";
    return c.strPath + ": " + (c.fRelative ? "relative " : "") + Rep_aszTypeEnglish[c.iType] + ", but " +
           firstPath + ": " + (firstRelative ? "relative " : "") + Rep_aszTypeEnglish[firstType] +
           "; logs of different value types are not combined";
}
