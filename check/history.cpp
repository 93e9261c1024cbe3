// The history: one JSON line per run, appended by every station that shares
// the file, and the yields read back from it. A station holds a lock on the
// file while it counts the id's attempts and appends its line, so lines
// stay whole and attempts are counted right on a network share too, where
// appends alone promise nothing.
#include "check.h"

#include "logread.h"

#include <string.h>

#include <algorithm>
#include <map>

// Far beyond any history: the lock guards no data, only the read-and-append.
#define LOCK_OFFSET_HIGH 0x40000000u
#define LOCK_WAIT_MS 10000
#define MOST_FAILED 5

// What the history and the summary need of a line.
struct RECORD {
    std::string strTime, strId, strStation, strVerdict;
    std::vector<std::pair<int, int>> aFailed;   // rod pair, beam
};

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

// One line; false for a line that is not a whole record (torn by a crash).
static bool ParseRecord(const char *s, size_t n, RECORD *r)
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
    int iRod = rod && rod->cKind == 'n' ? (int)rod->num : 1;
    if (failed)
        for (const JVAL &group : failed->items)
            if (const JVAL *beams = Member(group, "beams"))
                for (const JVAL &b : beams->items)
                    r->aFailed.push_back({iRod, (int)b.num});
    return true;
}

// Every whole record of the file in order; false when it cannot be read.
template <typename F> static bool EachRecord(const std::string &path, unsigned *skipped, F f)
{
    REP_LINES ls;
    if (!Rep_OpenLines(&ls, path.c_str(), UINT64_MAX))
        return false;
    const char *s;
    size_t n;
    int kind;
    while ((kind = Rep_NextLine(&ls, &s, &n)) != REP_LINE_END) {
        RECORD r;
        if (kind == REP_LINE_LONG || !ParseRecord(s, n, &r)) {
            *skipped += n > 0 || kind != REP_LINE_OK;
            continue;
        }
        f(r);
    }
    bool ok = !Rep_LinesFailed(&ls);
    Rep_CloseLines(&ls);
    return ok;
}

static std::string FullPath(const std::string &path)
{
    char full[MAX_PATH];
    DWORD n = path.empty() ? 0 : GetFullPathNameA(path.c_str(), sizeof(full), full, NULL);
    return n > 0 && n < sizeof(full) ? Chk_Json(full) : path.empty() ? "null" : Chk_Json(path);
}

bool Chk_HistoryBegin(const CHK_OPTIONS &opt, CHK_HISTORY *h, CHK_RESULT *r, std::string *error)
{
    // Append-only access: a write cannot land anywhere but at the end.
    h->hFile = CreateFileA(opt.strHistory.c_str(), GENERIC_READ | FILE_APPEND_DATA,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, NULL);
    if (h->hFile == INVALID_HANDLE_VALUE) {
        *error = "cannot write the history " + opt.strHistory;
        return false;
    }
    OVERLAPPED ov = {};
    ov.OffsetHigh = LOCK_OFFSET_HIGH;
    // Polled, so that a station that hangs holding the lock cannot stop the others for good.
    for (DWORD t0 = GetTickCount();
         !(h->fLocked = LockFileEx(h->hFile, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &ov));
         Sleep(20))
        if (GetTickCount() - t0 > LOCK_WAIT_MS) {
            *error = "the history " + opt.strHistory + " stays locked by another station";
            Chk_HistoryEnd(h);
            return false;
        }
    unsigned skipped = 0, attempts = 0;
    std::string id = Rep_Utf8(opt.strId.data(), opt.strId.size());   // as the lines hold it
    r->strEarlier.clear();
    bool read = EachRecord(opt.strHistory, &skipped, [&](const RECORD &rec) {
        if (id.empty() || rec.strId != id)
            return;
        attempts++;
        if (rec.strVerdict != "PASS")
            r->strEarlier += (r->strEarlier.empty() ? "" : "; ") + std::string("attempt ") +
                             std::to_string(attempts) + " " + rec.strVerdict + " at " + rec.strTime +
                             (rec.strStation.empty() ? "" : " on " + rec.strStation);
    });
    if (!read) {
        *error = "cannot read the history " + opt.strHistory;
        Chk_HistoryEnd(h);
        return false;
    }
    r->iAttempt = (int)attempts + 1;
    // Does the file end inside a line (a station died while writing)?
    LARGE_INTEGER size;
    char last = '\n';
    DWORD got;
    if (GetFileSizeEx(h->hFile, &size) && size.QuadPart > 0) {
        OVERLAPPED at = {};
        at.Offset = (DWORD)(size.QuadPart - 1);
        at.OffsetHigh = (DWORD)((unsigned long long)(size.QuadPart - 1) >> 32);
        if (!ReadFile(h->hFile, &last, 1, &got, &at) || got != 1)
            last = 0;
    }
    h->fOpenEnd = last != '\n';
    return true;
}

bool Chk_HistoryAppend(CHK_HISTORY *h, const CHK_OPTIONS &opt, const CHK_RESULT &r)
{
    // A line torn by a crash is ended first, so that it spoils no other.
    std::string line = h->fOpenEnd ? "\n" : "";
    line += "{\"time\": \"" + Chk_TimeText(r.stStart) + "\", \"id\": " + Chk_Json(opt.strId) +
            ", \"station\": " + Chk_Json(opt.strStation) + ", \"attempt\": " + std::to_string(r.iAttempt) +
            ", \"verdict\": \"" + Chk_Verdict(r) + "\", \"error\": " +
            (r.iStatus == CHK_NOT_MEASURED ? Chk_Json(r.strError) : "null") +
            ", \"rod\": " + std::to_string(SG_Params.iRodno + 1) +
            ", \"beams_tested\": " + std::to_string(r.aBeams.size()) + ", \"failed\": [";
    // Beams grouped by their reasons keep the line short even when every beam fails.
    std::vector<std::string> reasons;
    std::vector<std::string> beams;
    std::string marginal;
    for (const CHK_BEAM &b : r.aBeams) {
        if (b.fMarginal)
            marginal += (marginal.empty() ? "" : ", ") + std::to_string(b.iBeam);
        if (b.strReasons.empty())
            continue;
        size_t i = std::find(reasons.begin(), reasons.end(), b.strReasons) - reasons.begin();
        if (i == reasons.size()) {
            reasons.push_back(b.strReasons);
            beams.emplace_back();
        }
        beams[i] += (beams[i].empty() ? "" : ", ") + std::to_string(b.iBeam);
    }
    for (size_t i = 0; i < reasons.size(); i++)
        line += std::string(i ? ", " : "") + "{\"reasons\": " + Chk_Json(reasons[i]) + ", \"beams\": [" + beams[i] +
                "]}";
    line += "], \"marginal\": [" + marginal + "], \"limits\": " + Chk_LimitsJson(opt) +
            ", \"json\": " + FullPath(opt.strJson) + ", \"junit\": " + FullPath(opt.strJunit) +
            ", \"log\": " + FullPath(r.strLogPath) + "}\n";
    DWORD written = 0;
    bool ok = WriteFile(h->hFile, line.data(), (DWORD)line.size(), &written, NULL) && written == line.size() &&
              FlushFileBuffers(h->hFile);
    Chk_HistoryEnd(h);
    return ok;
}

void Chk_HistoryEnd(CHK_HISTORY *h)
{
    if (h->hFile == INVALID_HANDLE_VALUE)
        return;
    if (h->fLocked) {
        OVERLAPPED ov = {};
        ov.OffsetHigh = LOCK_OFFSET_HIGH;
        UnlockFileEx(h->hFile, 0, 1, 0, &ov);
    }
    CloseHandle(h->hFile);
    h->hFile = INVALID_HANDLE_VALUE;
    h->fLocked = false;
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

static void AddRun(SCOPE *s, const RECORD &r, unsigned line)
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

int Chk_Summary(const CHK_OPTIONS &opt)
{
    SCOPE all;
    std::map<std::string, SCOPE> stations;
    unsigned skipped = 0, line = 0;
    bool read = EachRecord(opt.strSummary, &skipped, [&](const RECORD &r) {
        AddRun(&all, r, ++line);
        AddRun(&stations[r.strStation], r, line);
    });
    std::string error = read ? "" : "cannot read the history " + opt.strSummary;
    std::string json = "{\n  \"tool\": \"zebcheck\",\n  \"history\": " + Chk_Json(opt.strSummary) + ",\n";
    if (read) {
        Count(&all);
        printf("history %s: %u runs, %u lines skipped\n", opt.strSummary.c_str(), all.nRuns, skipped);
        json += "  \"skipped\": " + std::to_string(skipped) + ",\n  \"stations\": [";
        bool first = true;
        for (auto &s : stations) {
            Count(&s.second);
            fputs(ScopeText("station " + (s.first.empty() ? std::string("(none)") : s.first), s.second).c_str(),
                  stdout);
            json += std::string(first ? "" : ",") + "\n    " + ScopeJson(s.first, s.second, true);
            first = false;
        }
        fputs(ScopeText("all", all).c_str(), stdout);
        json += "\n  ],\n  \"all\": " + ScopeJson("", all, false) + ",\n";
    }
    json += "  \"error\": " + (read ? std::string("null") : Chk_Json(error)) + "\n}\n";
    fflush(stdout);
    if (!opt.strJson.empty() && !Chk_WriteWhole(opt.strJson, json)) {
        if (error.empty())
            error = "cannot write " + opt.strJson;
    }
    if (!error.empty()) {
        fprintf(stderr, "zebcheck: %s\n", error.c_str());
        return CHK_NOT_MEASURED;
    }
    return 0;
}
