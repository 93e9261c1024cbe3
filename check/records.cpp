// The history's lines read back, and the yields drawn from them: the part
// of zebcheck that needs nothing of the platform.
#include "records.h"

#include "logread.h"

#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <map>

#define MOST_FAILED 5
#define MAX_BEAM 999

// Command-line text (the Windows code page) as a JSON string; control
// characters are gone, so a history line stays one line.
std::string Chk_Json(const std::string &text)
{
    std::string u = Rep_Utf8(text.data(), text.size()), s = "\"";
    for (char c : u) {
        if (c == '"' || c == '\\')
            s += '\\';
        s += c;
    }
    return s + "\"";
}

// A JSON value, as much of JSON as the history's own lines use.
struct JVAL {
    char cKind = 0;   // o a s n t f z (null)
    std::string str;
    double num = 0;
    std::vector<std::string> keys;
    std::vector<JVAL> items;
};

static void SkipBlanks(const char *&p, const char *e)
{
    while (p < e && (*p == ' ' || *p == '\t' || *p == '\r'))
        p++;
}

static bool ParseString(const char *&p, const char *e, std::string *out)
{
    if (p >= e || *p != '"')
        return false;
    for (p++; p < e && *p != '"'; p++) {
        if (*p != '\\') {
            *out += *p;
            continue;
        }
        if (++p >= e)
            return false;
        *out += *p;   // the writer escapes only quotes and backslashes
    }
    return p++ < e;
}

static bool ParseValue(const char *&p, const char *e, JVAL *v, int depth)
{
    SkipBlanks(p, e);
    if (p >= e || depth > 8)
        return false;
    if (*p == '"') {
        v->cKind = 's';
        return ParseString(p, e, &v->str);
    }
    if (*p == '{' || *p == '[') {
        bool object = *p == '{';
        char close = object ? '}' : ']';
        v->cKind = object ? 'o' : 'a';
        p++;
        SkipBlanks(p, e);
        if (p < e && *p == close)
            return ++p, true;
        for (;;) {
            if (object) {
                std::string key;
                SkipBlanks(p, e);
                if (!ParseString(p, e, &key))
                    return false;
                SkipBlanks(p, e);
                if (p >= e || *p++ != ':')
                    return false;
                v->keys.push_back(key);
            }
            v->items.emplace_back();
            if (!ParseValue(p, e, &v->items.back(), depth + 1))
                return false;
            SkipBlanks(p, e);
            if (p < e && *p == ',') {
                p++;
                continue;
            }
            return p < e && *p++ == close;
        }
    }
    static const char *const words[] = {"true", "false", "null"};
    for (const char *w : words)
        if ((size_t)(e - p) >= strlen(w) && !strncmp(p, w, strlen(w))) {
            v->cKind = w[0] == 'n' ? 'z' : w[0];
            p += strlen(w);
            return true;
        }
    char *end;
    std::string text(p, std::min<size_t>((size_t)(e - p), 40));
    v->num = strtod(text.c_str(), &end);
    if (end == text.c_str())
        return false;
    v->cKind = 'n';
    p += end - text.c_str();
    return true;
}

static const JVAL *Member(const JVAL &v, const char *key)
{
    for (size_t i = 0; i < v.keys.size(); i++)
        if (v.keys[i] == key)
            return &v.items[i];
    return NULL;
}

static std::string Text(const JVAL &v, const char *key)
{
    const JVAL *m = Member(v, key);
    return m && m->cKind == 's' ? m->str : "";
}

// A rod pair or beam number as a station writes it; a hand-edited or
// foreign line may hold any number, or none.
static bool WholeIn(const JVAL &v, int lo, int hi, int *out)
{
    if (v.cKind != 'n' || !(v.num >= lo && v.num <= hi) || v.num != (int)v.num)
        return false;
    *out = (int)v.num;
    return true;
}

bool Chk_ParseRecord(const char *s, size_t n, CHK_RECORD *r)
{
    JVAL v;
    const char *p = s, *e = s + n;
    if (!ParseValue(p, e, &v, 0) || v.cKind != 'o')
        return false;
    SkipBlanks(p, e);
    r->strVerdict = Text(v, "verdict");
    if (p != e || r->strVerdict.empty())
        return false;
    r->strTime = Text(v, "time");
    r->strId = Text(v, "id");
    r->strStation = Text(v, "station");
    const JVAL *rod = Member(v, "rod"), *failed = Member(v, "failed");
    int iRod = 1;
    if (rod && rod->cKind == 'n' && !WholeIn(*rod, 1, 2, &iRod))
        return false;
    if (failed)
        for (const JVAL &group : failed->items)
            if (const JVAL *beams = Member(group, "beams"))
                for (const JVAL &b : beams->items) {
                    int beam;
                    if (!WholeIn(b, 1, MAX_BEAM, &beam))
                        return false;
                    r->aFailed.push_back({iRod, beam});
                }
    return true;
}

bool Chk_EachRecord(const std::string &path, unsigned *skipped, const std::function<void(const CHK_RECORD &)> &f)
{
    REP_LINES ls;
    if (!Rep_OpenLines(&ls, path.c_str(), UINT64_MAX))
        return false;
    const char *s;
    size_t n;
    int kind;
    while ((kind = Rep_NextLine(&ls, &s, &n)) != REP_LINE_END) {
        CHK_RECORD r;
        if (kind == REP_LINE_LONG || !Chk_ParseRecord(s, n, &r)) {
            *skipped += n > 0 || kind != REP_LINE_OK;
            continue;
        }
        f(r);
    }
    bool ok = !Rep_LinesFailed(&ls);
    Rep_CloseLines(&ls);
    return ok;
}

// The yields of one station, or of all.
struct SCOPE {
    struct GRID {
        unsigned nAttempts;
        bool fFirstPass, fLastPass;
    };
    std::map<std::string, GRID> mapGrids;
    std::map<std::pair<int, int>, unsigned> mapFailed;
    unsigned nRuns = 0, nFirstPass = 0, nFinalPass = 0;
};

static void AddRun(SCOPE *s, const CHK_RECORD &r, unsigned line)
{
    // Without an id every run is a grid of its own.
    std::string key = r.strId.empty() ? "\n" + std::to_string(line) : r.strId;
    bool pass = r.strVerdict == "PASS";
    auto it = s->mapGrids.find(key);
    if (it == s->mapGrids.end())
        s->mapGrids[key] = {1, pass, pass};
    else
        it->second.nAttempts++, it->second.fLastPass = pass;
    s->nRuns++;
    for (const auto &b : r.aFailed)
        s->mapFailed[b]++;
}

static std::vector<std::pair<std::pair<int, int>, unsigned>> MostFailed(const SCOPE &s)
{
    std::vector<std::pair<std::pair<int, int>, unsigned>> v(s.mapFailed.begin(), s.mapFailed.end());
    std::stable_sort(v.begin(), v.end(), [](const auto &a, const auto &b) { return a.second > b.second; });
    if (v.size() > MOST_FAILED)
        v.resize(MOST_FAILED);
    return v;
}

static void Count(SCOPE *s)
{
    for (const auto &g : s->mapGrids) {
        s->nFirstPass += g.second.fFirstPass;
        s->nFinalPass += g.second.fLastPass;
    }
}

static std::string Percent(unsigned n, size_t of)
{
    return Rep_Num(of ? 100.0 * n / (double)of : 0);
}

static std::string ScopeText(const std::string &name, const SCOPE &s)
{
    size_t grids = s.mapGrids.size();
    std::string t = name + ": grids " + std::to_string(grids) + ", first-pass yield " + Percent(s.nFirstPass, grids) +
                    " % (" + std::to_string(s.nFirstPass) + " of " + std::to_string(grids) + "), final yield " +
                    Percent(s.nFinalPass, grids) + " % (" + std::to_string(s.nFinalPass) + " of " +
                    std::to_string(grids) + "), retests " + std::to_string(s.nRuns - grids);
    std::string most;
    for (const auto &b : MostFailed(s))
        most += (most.empty() ? "" : ", ") + std::string("beam ") + std::to_string(b.first.second) +
                (b.first.first == 1 ? "" : " of rod pair " + std::to_string(b.first.first)) + " " +
                std::to_string(b.second) + "x";
    return t + ", failed most often: " + (most.empty() ? "none" : most) + "\n";
}

static std::string ScopeJson(const std::string &name, const SCOPE &s, bool station)
{
    size_t grids = s.mapGrids.size();
    std::string j = std::string("{") + (station ? "\"station\": " + Chk_Json(name) + ", " : "") +
                    "\"runs\": " + std::to_string(s.nRuns) + ", \"grids\": " + std::to_string(grids) +
                    ", \"first_pass\": " + std::to_string(s.nFirstPass) + ", \"first_pass_yield_percent\": " +
                    Percent(s.nFirstPass, grids) + ", \"final_pass\": " + std::to_string(s.nFinalPass) +
                    ", \"final_yield_percent\": " + Percent(s.nFinalPass, grids) +
                    ", \"retests\": " + std::to_string(s.nRuns - grids) + ", \"failed_most_often\": [";
    bool first = true;
    for (const auto &b : MostFailed(s)) {
        j += std::string(first ? "" : ", ") + "{\"rod\": " + std::to_string(b.first.first) + ", \"beam\": " +
             std::to_string(b.first.second) + ", \"failures\": " + std::to_string(b.second) + "}";
        first = false;
    }
    return j + "]}";
}

bool Chk_SummaryText(const std::string &path, std::string *text, std::string *json)
{
    SCOPE all;
    std::map<std::string, SCOPE> stations;
    unsigned skipped = 0, line = 0;
    bool read = Chk_EachRecord(path, &skipped, [&](const CHK_RECORD &r) {
        AddRun(&all, r, ++line);
        AddRun(&stations[r.strStation], r, line);
    });
    *json = "{\n  \"tool\": \"zebcheck\",\n  \"history\": " + Chk_Json(path) + ",\n";
    text->clear();
    if (read) {
        Count(&all);
        *text = "history " + path + ": " + std::to_string(all.nRuns) + " runs, " + std::to_string(skipped) +
                " lines skipped\n";
        *json += "  \"skipped\": " + std::to_string(skipped) + ",\n  \"stations\": [";
        bool first = true;
        for (auto &s : stations) {
            Count(&s.second);
            *text += ScopeText("station " + (s.first.empty() ? std::string("(none)") : s.first), s.second);
            *json += std::string(first ? "" : ",") + "\n    " + ScopeJson(s.first, s.second, true);
            first = false;
        }
        *text += ScopeText("all", all);
        *json += "\n  ],\n  \"all\": " + ScopeJson("", all, false) + ",\n";
    }
    *json += "  \"error\": " + (read ? std::string("null") : Chk_Json("cannot read the history " + path)) + "\n}\n";
    return read;
}
