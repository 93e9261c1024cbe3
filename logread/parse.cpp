// The three header lines and the data lines of a log, checked as strictly as
// the program writes them: anything else is not a line of the recording.
#include "logread.h"

#include <ctype.h>
#include <string.h>

const char *const Rep_aszTypeName[4] = {"Signalstärke", "Empfängerrückmeldewerte", "Senderrückmeldewerte",
                                        "Bezugswerte"};
const char *const Rep_aszTypeEnglish[4] = {"signal strength", "receiver feedback", "transmitter feedback",
                                           "reference values"};
static const char *const kModeName[4] = {"aktuell", "Minimum", "Maximum", "Max-Min (Rauschen)"};

const char *const Rep_aszReason[REP_REASONS] = {
    "",
    "no time stamp",
    "no valid beam range",
    "no valid rod pair",
    "a value that is not a 32-bit integer",
    "fewer values than the beam range holds",
    "more values than the beam range holds",
    "longer than any log line",
    "last line without line end (log still being written?)",
};

static bool Eat(const std::string &s, size_t *pos, const char *word)
{
    size_t n = strlen(word);
    if (s.compare(*pos, n, word) != 0)
        return false;
    *pos += n;
    return true;
}

// "<program> - [Relative ]<value type>, <display mode> (Leistenpaar <n>)",
// given as UTF-8.
bool Rep_ParseTitle(const std::string &title, int *type, bool *relative)
{
    size_t pos = title.find(" - ");
    if (pos == std::string::npos)
        return false;
    pos += 3;
    *relative = Eat(title, &pos, "Relative ");
    *type = -1;
    for (int i = 0; i < 4 && *type < 0; i++) {
        size_t p = pos;
        if (Eat(title, &p, Rep_aszTypeName[i]) && Eat(title, &p, ", ")) {
            *type = i;
            pos = p;
        }
    }
    if (*type < 0)
        return false;
    bool mode = false;
    for (int i = 0; i < 4 && !mode; i++)
        mode = Eat(title, &pos, kModeName[i]);
    return mode && (title.compare(pos, std::string::npos, " (Leistenpaar 1)") == 0 ||
                    title.compare(pos, std::string::npos, " (Leistenpaar 2)") == 0);
}

// Days since 1970-01-01 of a proleptic Gregorian date.
int32_t Rep_DaysFromCivil(int y, int m, int d)
{
    y -= m <= 2;
    int era = (y >= 0 ? y : y - 399) / 400;
    int yoe = y - era * 400;
    int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void Rep_CivilFromDays(int32_t z, int *y, int *m, int *d)
{
    z += 719468;
    int era = (z >= 0 ? z : z - 146096) / 146097;
    int doe = z - era * 146097;
    int yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    int mp = (5 * doy + 2) / 153;
    *d = doy - (153 * mp + 2) / 5 + 1;
    *m = mp < 10 ? mp + 3 : mp - 9;
    *y = yoe + era * 400 + (*m <= 2);
}

static bool Digits(const char *s, int n, int *v)
{
    *v = 0;
    for (int i = 0; i < n; i++) {
        if (s[i] < '0' || s[i] > '9')
            return false;
        *v = *v * 10 + (s[i] - '0');
    }
    return true;
}

static bool ValidDate(int y, int m, int d)
{
    static const int kDays[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (y < 1601 || m < 1 || m > 12 || d < 1 || d > kDays[m - 1])
        return false;
    bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return m != 2 || d <= 28 || leap;
}

bool Rep_ParseDate(const char *s, size_t n, int32_t *day)
{
    int y, m, d;
    if (n != 16 || memcmp(s, "Date: ", 6) != 0 || s[10] != '-' || s[13] != '-' || !Digits(s + 6, 4, &y) ||
        !Digits(s + 11, 2, &m) || !Digits(s + 14, 2, &d) || !ValidDate(y, m, d))
        return false;
    *day = Rep_DaysFromCivil(y, m, d);
    return true;
}

// The file name the program gives a log, name_YYYYMMDDThhmmss.log (any case
// of ".log": Windows keeps what a copy was named), tells when it was created.
bool Rep_NameStamp(const std::string &path, REP_STAMP *st)
{
    static const size_t kTail = 20;   // "_YYYYMMDDThhmmss.log"
    if (path.size() < kTail)
        return false;
    const char *t = path.c_str() + path.size() - kTail;
    bool log = t[16] == '.' && tolower((unsigned char)t[17]) == 'l' && tolower((unsigned char)t[18]) == 'o' &&
               tolower((unsigned char)t[19]) == 'g';
    return t[0] == '_' && t[9] == 'T' && log && Digits(t + 1, 4, &st->y) && Digits(t + 5, 2, &st->mo) &&
           Digits(t + 7, 2, &st->d) && Digits(t + 10, 2, &st->h) && Digits(t + 12, 2, &st->mi) &&
           Digits(t + 14, 2, &st->s) && ValidDate(st->y, st->mo, st->d) && st->h <= 23 && st->mi <= 59 && st->s <= 59;
}

// -1 when the name has another form or another date.
int32_t Rep_CreationMsOfDay(const std::string &path, int32_t day)
{
    REP_STAMP st;
    if (!Rep_NameStamp(path, &st) || Rep_DaysFromCivil(st.y, st.mo, st.d) != day)
        return -1;
    return ((st.h * 60 + st.mi) * 60 + st.s) * 1000;
}

// A decimal 32-bit integer as the program prints it with "%d".
static const char *Number(const char *p, const char *e, int32_t *v)
{
    bool neg = p < e && *p == '-';
    p += neg;
    const char *d = p;
    int64_t x = 0;
    while (p < e && *p >= '0' && *p <= '9' && p - d < 11)
        x = x * 10 + (*p++ - '0');
    if (p == d || p - d > 10)
        return nullptr;
    x = neg ? -x : x;
    if (x < INT32_MIN || x > INT32_MAX)
        return nullptr;
    *v = (int32_t)x;
    return p;
}

// "hh:mm:ss,mmm<TAB>first<TAB>last<TAB>rod<TAB>v1<TAB>...<TAB>vn".
int Rep_ParseLine(const char *s, size_t n, REP_LINE *out)
{
    const char *e = s + n;
    int h, m, sec, ms;
    if (n < 13 || s[2] != ':' || s[5] != ':' || s[8] != ',' || s[12] != '\t' || !Digits(s, 2, &h) ||
        !Digits(s + 3, 2, &m) || !Digits(s + 6, 2, &sec) || !Digits(s + 9, 3, &ms) || h > 23 || m > 59 ||
        sec > 59)
        return REP_BAD_TIME;
    out->iMsOfDay = ((h * 60 + m) * 60 + sec) * 1000 + ms;
    const char *p = s + 13;
    int32_t head[3];
    for (int i = 0; i < 3; i++) {
        p = Number(p, e, &head[i]);
        if (!p || p == e || *p != '\t')
            return i < 2 ? REP_BAD_RANGE : REP_BAD_ROD;
        p++;
    }
    if (head[0] < 1 || head[0] > head[1] || head[1] > REP_LAST_BEAM)
        return REP_BAD_RANGE;
    if (head[2] != 0 && head[2] != 1)
        return REP_BAD_ROD;
    out->iFirst = head[0];
    out->iLast = head[1];
    out->iRod = head[2];
    out->nValues = head[1] - head[0] + 1;
    for (int i = 0; i < out->nValues; i++) {
        if (p == e)
            return REP_TOO_FEW;
        p = Number(p, e, &out->aiValue[i]);
        if (!p)
            return REP_BAD_NUMBER;
        if (i < out->nValues - 1) {
            if (p == e)
                return REP_TOO_FEW;
            if (*p++ != '\t')
                return REP_BAD_NUMBER;
        }
    }
    if (p != e)
        return *p == '\t' ? REP_TOO_MANY : REP_BAD_NUMBER;
    return REP_OK;
}
