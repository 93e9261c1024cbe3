// Grids in folders: a folder with a card is a grid, and the logs in it and
// below it are its visits unless a nearer card claims them. A grid's history
// is built from its logs' summaries, so that a log is read only when it is
// new or has changed.
#include "report.h"

#include <dirent.h>
#include <string.h>
#include <sys/stat.h>

#include <algorithm>
#include <map>

#define MAX_DEPTH 32   // folders below the archive; also ends a loop of links

static bool EndsWith(const std::string &s, const char *tail)
{
    size_t n = strlen(tail);
    return s.size() > n && Rep_SameText(s.substr(s.size() - n), tail);
}

static void Walk(const std::string &dir, int cur, bool rootIsGrid, int depth, std::vector<REP_GRIDDIR> *grids)
{
    std::vector<std::string> names, logs, dirs;
    if (DIR *d = opendir(dir.c_str())) {
        while (struct dirent *e = readdir(d))
            if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0)
                names.push_back(e->d_name);
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    bool card = false;
    for (const std::string &name : names) {
        std::string path = dir + (dir.back() == '/' ? "" : "/") + name;
        struct stat st;
        if (stat(path.c_str(), &st) != 0)
            continue;
        if (S_ISDIR(st.st_mode))
            dirs.push_back(path);
        else if (S_ISREG(st.st_mode) && Rep_SameText(name, REP_CARD_NAME))
            card = true;
        else if (S_ISREG(st.st_mode) && EndsWith(name, ".log"))
            logs.push_back(path);
    }
    if (card || (depth == 0 && rootIsGrid) || (cur < 0 && !logs.empty())) {
        REP_GRIDDIR g;
        g.strCard = card ? dir + (dir.back() == '/' ? "" : "/") + REP_CARD_NAME : "";
        g.strFolder = dir;
        g.iParent = card ? cur : -1;
        grids->push_back(g);
        cur = (int)grids->size() - 1;
    }
    for (const std::string &log : logs)
        (*grids)[cur].aLogs.push_back(log);
    if (depth < MAX_DEPTH)
        for (const std::string &sub : dirs)
            Walk(sub, cur, rootIsGrid, depth + 1, grids);
}

void Rep_FindGrids(const std::string &root, bool rootIsGrid, std::vector<REP_GRIDDIR> *grids)
{
    grids->clear();
    Walk(root.empty() ? "." : root, -1, rootIsGrid, 0, grids);
    for (const REP_GRIDDIR &g : *grids)
        if (g.iParent >= 0)
            (*grids)[g.iParent].nNested += (int)g.aLogs.size() + g.nNested;
}

static REP_SHAPE Shape(const REP_SUMMARY &s)
{
    REP_SHAPE shape = {s.iType, (int)s.aBeams.size(), s.fRelative, s.uRods, 0xcbf29ce484222325ULL};
    for (const REP_BEAM &b : s.aBeams)
        shape.uHash = (shape.uHash ^ (uint64_t)(b.iRod * 1000 + b.iBeam)) * 0x100000001b3ULL;
    return shape;
}

static bool SameShape(const REP_SHAPE &a, const REP_SHAPE &b)
{
    return a.iType == b.iType && a.fRelative == b.fRelative && a.uRods == b.uRods && a.nBeams == b.nBeams &&
           a.uHash == b.uHash;
}

std::string Rep_ShapeText(const REP_SHAPE &s)
{
    std::string type = std::string(s.fRelative ? "relative " : "") +
                       (Rep_iLang == REP_LANG_EN ? Rep_aszTypeEnglish[s.iType] : Rep_aszTypeName[s.iType]);
    return Rep_Tf(TX_SHAPE, s.nBeams, s.uRods == 3 ? Rep_T(TX_ROD_PAIRS_BOTH) : s.uRods == 2 ? "2" : "1", type.c_str());
}

// The logs' visits: a visit is a Date, the day's last recording counts.
// byShape: logs of another value type, rod pair or beams than most of the
// grid's are left out; else they are refused, as a plain history refuses them.
bool Rep_HistoryFromLogs(REP_HISTORY *h, const std::vector<std::string> &logs, bool byShape,
                         std::vector<REP_LEFTOUT> *leftOut, REP_SUMSTATS *stats, std::string *error)
{
    std::vector<REP_SUMMARY> sums(logs.size());
    std::vector<bool> usable(logs.size());
    std::vector<REP_SHAPE> shapes(logs.size());
    for (size_t i = 0; i < logs.size(); i++) {
        std::string why;
        usable[i] = Rep_LogSummary(logs[i], &sums[i], stats, &why);
        if (!usable[i] && !byShape) {
            *error = why;
            return false;
        }
        if (!usable[i])
            leftOut->push_back({logs[i], {}, {}, why});
        else
            shapes[i] = Shape(sums[i]);
    }
    // The grid's shape: the most logs have it; of equals, the latest log's.
    int best = -1, bestCount = 0;
    for (size_t i = 0; i < logs.size(); i++) {
        if (!usable[i])
            continue;
        int count = 0;
        for (size_t j = 0; j < logs.size(); j++)
            count += usable[j] && (byShape ? SameShape(shapes[i], shapes[j])
                                           : shapes[i].iType == shapes[j].iType && shapes[i].fRelative == shapes[j].fRelative);
        if (!byShape && best < 0)
            count = INT32_MAX;   // a plain history goes by its first log
        if (count > bestCount || (count == bestCount && sums[i].tStart > sums[best].tStart)) {
            best = (int)i;
            bestCount = count;
        }
    }
    if (best < 0) {
        *error = logs.empty() ? "no log" : "no readable log";
        return false;
    }
    std::map<int32_t, REP_VISIT> byDay;
    std::map<int32_t, size_t> which;
    for (size_t i = 0; i < logs.size(); i++) {
        if (!usable[i])
            continue;
        const REP_SHAPE &s = shapes[i], &b = shapes[best];
        if (byShape ? !SameShape(s, b) : s.iType != b.iType || s.fRelative != b.fRelative) {
            if (!byShape) {
                *error = logs[i] + ": " + (s.fRelative ? "relative " : "") + Rep_aszTypeEnglish[s.iType] + ", but " +
                         logs[best] + ": " + (b.fRelative ? "relative " : "") + Rep_aszTypeEnglish[b.iType] +
                         "; logs of different value types are not combined";
                return false;
            }
            leftOut->push_back({logs[i], s, b, ""});
            continue;
        }
        REP_VISIT &v = byDay[sums[i].iDay];
        if (v.nLogs++ == 0 || sums[i].tStart >= v.tStart) {
            v.iDay = sums[i].iDay;
            v.tStart = sums[i].tStart;
            v.strPath = logs[i];
            v.nCycles = sums[i].nCycles;
            v.nSkipped = sums[i].nSkipped;
            which[v.iDay] = i;
        }
    }
    h->iValueType = shapes[best].iType;
    h->fRelative = shapes[best].fRelative;
    std::vector<int> slot(REP_RODS * 1000, -1);
    size_t nVisits = byDay.size();
    for (auto &d : byDay) {
        size_t v = h->aVisits.size();
        h->aVisits.push_back(d.second);
        const REP_SUMMARY &s = sums[which[d.first]];
        h->uRods |= s.uRods;
        for (const REP_BEAM &b : s.aBeams) {
            int key = b.iRod * 1000 + b.iBeam;
            if (slot[key] < 0) {
                slot[key] = (int)h->aBeams.size();
                REP_HBEAM hb = {};
                hb.iRod = b.iRod;
                hb.iBeam = b.iBeam;
                hb.aflMedian.assign(nVisits, NAN);
                h->aBeams.push_back(hb);
            }
            h->aBeams[slot[key]].aflMedian[v] = b.flMedian;
        }
    }
    std::sort(h->aBeams.begin(), h->aBeams.end(), [](const REP_HBEAM &a, const REP_HBEAM &b) {
        return a.iRod != b.iRod ? a.iRod < b.iRod : a.iBeam < b.iBeam;
    });
    const REP_SUMMARY &last = sums[which[byDay.rbegin()->first]];
    const std::string &path = h->aVisits.back().strPath;
    h->aLast = last.aBeams;
    REP_LOG &l = h->logLast;
    l = REP_LOG();
    l.aFiles.push_back({path, last.strTitle, last.iDay, last.nBytes, last.nCycles, last.nSkipped});
    l.iValueType = last.iType;
    l.fRelative = last.fRelative;
    l.tStart = last.tStart;
    l.tEnd = last.tEnd;
    l.nCycles = last.nCycles;
    l.nSkipped = last.nSkipped;
    l.uRods = last.uRods;
    l.aSkips = last.aSkips;
    return true;
}

// The last visit's flags from its summary: the count below the lower limit
// needs the values themselves and stays 0.
void Rep_LastVisitFlags(REP_HISTORY *h, const REP_LIMITS &lim)
{
    for (REP_BEAM &b : h->aLast) {
        b.nBelow = 0;
        b.uFlags = Rep_BeamFlags(b, lim);
    }
}

void Rep_LeftOutList(std::string *out, const std::vector<REP_LEFTOUT> &left)
{
    if (left.empty())
        return;
    Rep_Add(out, "<h2>%s</h2>\n<ul id=\"leftout\">\n", Rep_T(TX_LEFT_OUT));
    for (const REP_LEFTOUT &l : left) {
        std::string path = Rep_Esc(Rep_Utf8(l.strPath.data(), l.strPath.size()));
        std::string why = !l.strWhy.empty() ? path + ": " + Rep_Esc(Rep_Utf8(l.strWhy.data(), l.strWhy.size()))
                                            : Rep_Tf(TX_LEFT_OUT_WHY, path.c_str(), Rep_ShapeText(l.mine).c_str(),
                                                     Rep_ShapeText(l.theirs).c_str());
        Rep_Add(out, "<li>%s</li>\n", why.c_str());
    }
    *out += "</ul>\n";
}

void Rep_JudgeGrid(REP_FLEETROW *row, const REP_HISTORY &h, int32_t today, int horizon)
{
    row->nVisits = (int)h.aVisits.size();
    row->iLastDay = h.aVisits.back().iDay;
    row->iDue = Rep_AddMonths(row->iLastDay, row->card.aiValue[CARD_INTERVAL]);
    row->nBeams = (int)h.aBeams.size();
    row->nFlagged = (int)std::count_if(h.aLast.begin(), h.aLast.end(), [](const REP_BEAM &b) { return b.uFlags != 0; });
    bool insufficient = false, beyond = false;
    for (const REP_HBEAM &b : h.aBeams) {
        if (isnan(row->flReserve) || b.flReserve < row->flReserve)
            row->flReserve = b.flReserve;
        double from = b.iForecast == REP_FC_NOW ? h.aVisits.back().tStart / 86400000.0
                      : b.iForecast == REP_FC_RANGE ? b.flFrom
                                                    : NAN;
        if (!isnan(from) && (isnan(row->flLimitFrom) || from < row->flLimitFrom))
            row->flLimitFrom = from;
        insufficient |= b.iForecast == REP_FC_INSUFFICIENT;
        beyond |= b.iForecast == REP_FC_BEYOND;
    }
    row->iLimit = !isnan(row->flLimitFrom) ? LIMIT_DATE : insufficient ? LIMIT_INSUFFICIENT
                  : beyond                 ? LIMIT_BEYOND
                                           : LIMIT_NONE;
    row->flAction = floor(std::min((double)row->iDue, isnan(row->flLimitFrom) ? INFINITY : row->flLimitFrom));
    row->iStatus = row->flAction < today ? FLEET_OVERDUE : row->flAction <= today + horizon ? FLEET_ACTION : FLEET_OK;
}
