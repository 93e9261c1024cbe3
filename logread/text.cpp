// Text from logs made safe for the page, and the number and time formats the
// report uses.
#include "logread.h"

#include <math.h>
#include <stdarg.h>
#include <string.h>

// Windows-1252 0x80..0x9F; 0 where the code page has no character.
static const uint16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

static void PutCode(std::string *out, uint32_t c)
{
    if (c < 0x80) {
        *out += (char)c;
    } else if (c < 0x800) {
        *out += (char)(0xC0 | c >> 6);
        *out += (char)(0x80 | (c & 0x3F));
    } else {
        *out += (char)(0xE0 | c >> 12);
        *out += (char)(0x80 | (c >> 6 & 0x3F));
        *out += (char)(0x80 | (c & 0x3F));
    }
}

// Length of a well-formed UTF-8 sequence at s (no overlongs, no surrogates),
// or 0.
static int Utf8Length(const unsigned char *s, size_t n)
{
    if (s[0] < 0x80)
        return 1;
    int len = s[0] >= 0xF0 ? 4 : s[0] >= 0xE0 ? 3 : s[0] >= 0xC2 ? 2 : 0;
    if (len == 0 || s[0] > 0xF4 || (size_t)len > n)
        return 0;
    for (int i = 1; i < len; i++)
        if ((s[i] & 0xC0) != 0x80)
            return 0;
    if ((s[0] == 0xE0 && s[1] < 0xA0) || (s[0] == 0xED && s[1] >= 0xA0) || (s[0] == 0xF0 && s[1] < 0x90) ||
        (s[0] == 0xF4 && s[1] >= 0x90))
        return 0;
    return len;
}

// The program writes its texts in the Windows code page; a log someone saved
// as UTF-8 is taken as it is. Control characters become U+FFFD, tabs spaces.
std::string Rep_Utf8(const char *s, size_t n)
{
    const unsigned char *u = (const unsigned char *)s;
    bool utf8 = true;
    for (size_t i = 0; i < n && utf8;) {
        int len = Utf8Length(u + i, n - i);
        utf8 = len > 0;
        i += len;
    }
    std::string out;
    for (size_t i = 0; i < n;) {
        uint32_t c = u[i];
        if (utf8 && c >= 0x80) {
            int len = Utf8Length(u + i, n - i);
            if (c == 0xC2 && u[i + 1] < 0xA0)
                PutCode(&out, 0xFFFD);   // C1 control
            else
                out.append(s + i, len);
            i += len;
            continue;
        }
        if (c >= 0x80 && c < 0xA0)
            c = kCp1252High[c - 0x80] ? kCp1252High[c - 0x80] : 0xFFFD;
        else if (c == '\t')
            c = ' ';
        else if (c < 0x20 || c == 0x7F)
            c = 0xFFFD;
        PutCode(&out, c);
        i++;
    }
    return out;
}

std::string Rep_Esc(const std::string &utf8)
{
    std::string out;
    out.reserve(utf8.size());
    for (char c : utf8) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += c;
        }
    }
    return out;
}

void Rep_Add(std::string *out, const char *fmt, ...)
{
    char buf[512];
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(buf, sizeof(buf), fmt, ap);
    va_end(ap);
    if (n < 0)
        return;
    if ((size_t)n < sizeof(buf)) {
        out->append(buf, n);
        return;
    }
    std::vector<char> big(n + 1);
    va_start(ap, fmt);
    vsnprintf(big.data(), big.size(), fmt, ap);
    va_end(ap);
    out->append(big.data(), n);
}

// "YYYY-MM-DD hh:mm:ss,mmm" (the log's own millisecond comma), or the time alone.
std::string Rep_TimeText(int64_t tMs, bool date)
{
    int64_t day = tMs >= 0 ? tMs / 86400000 : -((-tMs + 86399999) / 86400000);
    int64_t ms = tMs - day * 86400000;
    int y, m, d;
    Rep_CivilFromDays((int32_t)day, &y, &m, &d);
    std::string s;
    if (date)
        Rep_Add(&s, "%04d-%02d-%02d ", y, m, d);
    Rep_Add(&s, "%02d:%02d:%02d,%03d", (int)(ms / 3600000), (int)(ms / 60000 % 60), (int)(ms / 1000 % 60),
            (int)(ms % 1000));
    return s;
}

// Whole numbers without decimals, others with up to two.
std::string Rep_Num(double v)
{
    std::string s;
    if (v == floor(v) && fabs(v) < 1e15)
        Rep_Add(&s, "%.0f", v);
    else
        Rep_Add(&s, "%.2f", v);
    return s;
}
