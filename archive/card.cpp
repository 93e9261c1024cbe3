// A grid's card: grid.ini in the grid's folder, in the program's INI style and
// code page, saying whose grid it is, where, its limits and its inspection
// interval. Every log below the folder is that grid's unless a nearer card
// says otherwise. The identity it gives starts every page of the grid.
#include "archive.h"

#include <errno.h>
#include <math.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include <memory>

#ifdef _WIN32
#define SLASHES "/\\"
#else
#define SLASHES "/"
#endif

const char *const Rep_aszCardSection[CARD_KEYS] = {"Grid",   "Grid",   "Grid",   "Grid",   "Grid", "Grid", "Limits",
                                                   "Limits", "Limits", "Limits", "Limits", "Grid", "Grid"};
const char *const Rep_aszCardKey[CARD_KEYS] = {"Customer",    "Site",        "Machine", "Grid",
                                               "Serial",      "IntervalMonths", "LimitMinAbs", "LimitMaxAbs",
                                               "LimitMinRel", "LimitMaxRel", "Noise",   "MinIntervalMonths",
                                               "MaxIntervalMonths"};

bool Rep_SameText(const std::string &a, const char *b)
{
    if (a.size() != strlen(b))
        return false;
    for (size_t i = 0; i < a.size(); i++)
        if (tolower((unsigned char)a[i]) != tolower((unsigned char)b[i]))
            return false;
    return true;
}

bool Rep_WholeNumber(const std::string &s, int32_t *v)
{
    char *end;
    errno = 0;
    long long x = strtoll(s.c_str(), &end, 10);
    if (s.empty() || *end || errno || x < INT32_MIN || x > INT32_MAX || !(isdigit((unsigned char)s[0]) || s[0] == '-'))
        return false;
    *v = (int32_t)x;
    return true;
}

static std::string Trim(const char *s, size_t n)
{
    while (n && (*s == ' ' || *s == '\t'))
        s++, n--;
    while (n && (s[n - 1] == ' ' || s[n - 1] == '\t'))
        n--;
    return std::string(s, n);
}

// Sections and keys like the program's profile functions: lines of any
// ending, names in any case, "key=value" with blanks around either. f gets
// the section, key, value and line number of every key line.
void Rep_IniEach(const char *text, size_t len, const std::function<void(const std::string &, const std::string &,
                                                                        const std::string &, int)> &f)
{
    if (len >= 3 && memcmp(text, "\xEF\xBB\xBF", 3) == 0)   // Notepad's UTF-8 mark
        text += 3, len -= 3;
    std::string section;
    int lineNo = 0;
    for (size_t pos = 0; pos < len;) {
        size_t end = pos;
        while (end < len && text[end] != '\n' && text[end] != '\r')
            end++;
        std::string line = Trim(text + pos, end - pos);
        lineNo++;
        pos = end + (end < len && text[end] == '\r' && end + 1 < len && text[end + 1] == '\n' ? 2 : 1);
        if (line.size() >= 2 && line[0] == '[' && line.back() == ']') {
            section = Trim(line.data() + 1, line.size() - 2);
            continue;
        }
        size_t eq = line.find('=');
        if (eq != std::string::npos)
            f(section, Trim(line.data(), eq), Trim(line.data() + eq + 1, line.size() - eq - 1), lineNo);
    }
}

bool Rep_ParseCard(const char *text, size_t len, const std::string &name, REP_CARD *card, std::string *error)
{
    REP_CARD fresh;
    fresh.strPath = card->strPath;
    *card = fresh;
    bool seen[CARD_KEYS] = {};
    int lines[CARD_KEYS] = {};
    error->clear();
    if (memchr(text, 0, len)) {   // UTF-16 would read as no key at all, the limits silently the defaults
        card->iBadKey = CARD_KEYS;
        *error = name + ": saved as Unicode (UTF-16); save it as ANSI or UTF-8";
        return false;
    }
    Rep_IniEach(text, len, [&](const std::string &section, const std::string &key, const std::string &value, int line) {
        for (int k = 0; k < CARD_KEYS; k++) {
            if (seen[k] || !Rep_SameText(section, Rep_aszCardSection[k]) || !Rep_SameText(key, Rep_aszCardKey[k]))
                continue;
            seen[k] = true;
            if (k < CARD_TEXTS) {
                card->astrText[k] = Rep_Utf8(value.data(), value.size());
                continue;
            }
            int32_t v;
            bool ok = Rep_WholeNumber(value, &v);
            bool months = k == CARD_INTERVAL || k == CARD_MIN_INTERVAL || k == CARD_MAX_INTERVAL;
            if (months)
                ok &= v >= 1 && v <= 120;
            else if (k == CARD_NOISE)
                ok &= v >= 0;
            if (!ok && error->empty()) {
                card->iBadKey = k;
                card->iBadLine = line;
                card->strBadValue = Rep_Utf8(value.data(), std::min<size_t>(value.size(), 40));
                *error = name + ", line " + std::to_string(line) + ": [" + Rep_aszCardSection[k] + "] " + Rep_aszCardKey[k] +
                         " is not " + (months ? "a number of months from 1 to 120" : "a whole number") +
                         ": " + card->strBadValue;
            }
            card->afHave[k] = ok;
            card->aiValue[k] = ok ? v : 0;
            if (months)
                lines[k] = line;
        }
    });
    static const int kDefault[][2] = {{CARD_INTERVAL, 6}, {CARD_MIN_INTERVAL, 1}, {CARD_MAX_INTERVAL, 12}};
    for (const auto &d : kDefault)
        if (!card->afHave[d[0]])
            card->aiValue[d[0]] = d[1];
    // The recommended interval lies between the two; the other way round no
    // interval could be recommended at all.
    int32_t lo = card->aiValue[CARD_MIN_INTERVAL], hi = card->aiValue[CARD_MAX_INTERVAL];
    if (error->empty() && lo > hi) {
        int k = card->afHave[CARD_MIN_INTERVAL] ? CARD_MIN_INTERVAL : CARD_MAX_INTERVAL;
        card->iBadKey = k;
        card->iBadLine = lines[k];
        card->fBadOrder = true;
        card->strBadValue = std::to_string(card->aiValue[k]);
        *error = name + ", line " + std::to_string(lines[k]) + ": [Grid] " + Rep_aszCardKey[k] + " " +
                 card->strBadValue + " is " + (k == CARD_MIN_INTERVAL ? "above MaxIntervalMonths " + std::to_string(hi)
                                                                      : "below MinIntervalMonths " + std::to_string(lo));
    }
    return error->empty();
}

bool Rep_ReadSmall(const std::string &path, size_t most, std::string *bytes, std::string *error)
{
    FILE *f = fopen(path.c_str(), "rb");
    if (!f) {
        *error = path + ": cannot open (" + strerror(errno) + ")";
        return false;
    }
    bytes->clear();
    char buf[65536];
    size_t n = 0, got;
    while (n <= most && (got = fread(buf, 1, sizeof(buf), f)) > 0) {
        bytes->append(buf, got);
        n += got;
    }
    bool failed = ferror(f);
    fclose(f);
    if (failed)
        *error = path + ": read error";
    else if (n > most)
        *error = path + ": larger than " + std::to_string(most / 1024) + " KB, not a settings file";
    return !failed && n <= most;
}

bool Rep_ReadCard(const std::string &path, REP_CARD *card, std::string *error)
{
    std::string bytes;
    card->strPath = path;
    if (!Rep_ReadSmall(path, 64 * 1024, &bytes, error))
        return false;
    return Rep_ParseCard(bytes.data(), bytes.size(), path, card, error);
}

bool Rep_IsFile(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string Rep_Absolute(const std::string &path)
{
#ifdef _WIN32
    char buf[4096];
    return _fullpath(buf, path.c_str(), sizeof(buf)) ? std::string(buf) : path;
#else
    std::unique_ptr<char, void (*)(void *)> p(realpath(path.c_str(), nullptr), free);
    return p ? std::string(p.get()) : path;
#endif
}

// The nearest grid.ini in the log's folder or any folder above it.
std::string Rep_FindCard(const std::string &logPath)
{
    size_t cut = logPath.find_last_of(SLASHES);
    std::string dir = Rep_Absolute(cut == std::string::npos ? "." : cut == 0 ? "/" : logPath.substr(0, cut));
    for (;;) {
        std::string card = dir + (dir.empty() || strchr(SLASHES, dir.back()) ? "" : "/") + REP_CARD_NAME;
        if (Rep_IsFile(card))
            return card;
        size_t up = dir.find_last_of(SLASHES);
        if (up == std::string::npos || dir.size() <= 1 || up + 1 == dir.size())
            return "";
        dir.resize(up ? up : 1);
        if (dir.size() == 2 && dir[1] == ':')   // a drive's root
            dir += '\\';
    }
}

int32_t Rep_AddMonths(int32_t day, int months)
{
    int y, m, d;
    Rep_CivilFromDays(day, &y, &m, &d);
    int k = y * 12 + (m - 1) + months;
    y = k / 12;
    m = k % 12 + 1;
    int last = Rep_DaysFromCivil(m == 12 ? y + 1 : y, m == 12 ? 1 : m + 1, 1) - Rep_DaysFromCivil(y, m, 1);
    return Rep_DaysFromCivil(y, m, std::min(d, last));
}
