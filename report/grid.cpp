// Grids in folders: a folder with a card is a grid, and the logs in it and
// below it are its visits unless a nearer card claims them. A grid's history
// is built from its logs' summaries, so that a log is read only when it is
// new or has changed.
#include "report.h"

#include <dirent.h>
#include <string.h>
#include <sys/stat.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <algorithm>
#include <map>
#include <set>

#define MAX_DEPTH 32   // folders below the archive; also ends a loop of links

static bool EndsWith(const std::string &s, const char *tail)
{
    size_t n = strlen(tail);
    return s.size() > n && Rep_SameText(s.substr(s.size() - n), tail);
}

typedef std::set<std::pair<uint64_t, uint64_t>> SEEN;   // folders walked, by device and inode

// A folder's entries, sorted by name: folders to walk, plain files.
static void List(const std::string &dir, std::vector<std::string> *dirs, std::vector<std::string> *files)
{
    std::vector<std::pair<std::string, bool>> names;   // name, whether a folder
#ifdef _WIN32
    // A junction or a symbolic link to a folder may lead back up the tree:
    // FindFirstFile reports the link itself, with FILE_ATTRIBUTE_REPARSE_POINT
    // and its tag in dwReserved0, and the walk leaves it alone. Folders whose
    // tag is one of Microsoft's and no name surrogate (files kept in the
    // cloud, deduplicated, a DFS link) are walked; a tag of no one's (as Wine
    // reports for a link) may be anything and is not.
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((dir + (strchr("/\\", dir.back()) ? "*" : "\\*")).c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            bool folder = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            bool link = (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
                        (IsReparseTagNameSurrogate(fd.dwReserved0) || !IsReparseTagMicrosoft(fd.dwReserved0));
            if (strcmp(fd.cFileName, ".") == 0 || strcmp(fd.cFileName, "..") == 0 || (folder && link))
                continue;
            names.push_back({fd.cFileName, folder});
        } while (FindNextFileA(h, &fd));
        FindClose(h);
    }
#else
    if (DIR *d = opendir(dir.c_str())) {
        while (struct dirent *e = readdir(d)) {
            struct stat st;
            std::string path = dir + (dir.back() == '/' ? "" : "/") + e->d_name;
            if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0 && stat(path.c_str(), &st) == 0 &&
                (S_ISDIR(st.st_mode) || S_ISREG(st.st_mode)))
                names.push_back({e->d_name, S_ISDIR(st.st_mode)});
        }
        closedir(d);
    }
#endif
    std::sort(names.begin(), names.end());
    for (const auto &n : names)
        (n.second ? dirs : files)->push_back(n.first);
}

static void Walk(const std::string &dir, int cur, bool rootIsGrid, int depth, std::vector<REP_GRIDDIR> *grids,
                 SEEN *seen)
{
#ifndef _WIN32
    // Links may lead back to a folder already walked: once is enough.
    struct stat self;
    if (stat(dir.c_str(), &self) == 0 && !seen->insert({(uint64_t)self.st_dev, (uint64_t)self.st_ino}).second)
        return;
#else
    (void)seen;   // links to folders are not followed (List)
#endif
    std::vector<std::string> names, logs, dirs;
    List(dir, &dirs, &names);
    std::string slash = dir.back() == '/' ? "" : "/";
    std::string cardName;   // as spelt on disk: Linux matches names exactly
    for (std::string &sub : dirs)
        sub = dir + slash + sub;
    for (const std::string &name : names) {
        if (Rep_SameText(name, REP_CARD_NAME))
            cardName = name;
        else if (EndsWith(name, ".log"))
            logs.push_back(dir + slash + name);
    }
    bool card = !cardName.empty();
    if (card || (depth == 0 && rootIsGrid) || (cur < 0 && !logs.empty())) {
        REP_GRIDDIR g;
        g.strCard = card ? dir + slash + cardName : "";
        g.strFolder = dir;
        g.iParent = card ? cur : -1;
        grids->push_back(g);
        cur = (int)grids->size() - 1;
    }
    for (const std::string &log : logs)
        (*grids)[cur].aLogs.push_back(log);
    if (depth < MAX_DEPTH)
        for (const std::string &sub : dirs)
            Walk(sub, cur, rootIsGrid, depth + 1, grids, seen);
}

void Rep_FindGrids(const std::string &root, bool rootIsGrid, std::vector<REP_GRIDDIR> *grids)
{
    grids->clear();
    SEEN seen;
    Walk(root.empty() ? "." : root, -1, rootIsGrid, 0, grids, &seen);
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
    Rep_GridStatus(row, today, horizon);
}

void Rep_GridStatus(REP_FLEETROW *row, int32_t today, int horizon)
{
    row->flAction = floor(std::min((double)row->iDue, isnan(row->flLimitFrom) ? INFINITY : row->flLimitFrom));
    row->iStatus = row->flAction < today ? FLEET_OVERDUE : row->flAction <= today + horizon ? FLEET_ACTION : FLEET_OK;
}

// A grid's row kept in its folder (grid.zebsum), so that a run with nothing
// new fits no trend again. The key holds everything the row comes from: the
// card's and every log's size and time, and the limits either kind of log
// would get; the row is used only when the key is the same, byte for byte.
static const char kGridMagic[8] = {'Z', 'E', 'B', 'G', 'R', 'I', 'D', '\n'};
#define GRID_VERSION 1u

std::string Rep_GridKey(const REP_GRIDDIR &d, const REP_LIMITS lim[2])
{
    std::string key;
    uint64_t size;
    int64_t modified;
    for (size_t i = 0; i <= d.aLogs.size(); i++) {
        const std::string &path = i ? d.aLogs[i - 1] : d.strCard;
        if (!Rep_Stamp(path, &size, &modified))
            return "";
        Rep_PutText(&key, path);
        Rep_Put(&key, size, 8);
        Rep_Put(&key, (uint64_t)modified, 8);
    }
    for (int k = 0; k < 2; k++) {
        Rep_Put(&key, (uint32_t)lim[k].iMin, 4);
        Rep_Put(&key, (uint32_t)lim[k].iMax, 4);
        Rep_Put(&key, (uint64_t)(lim[k].fNoise ? lim[k].iNoise : -1), 8);
    }
    return key;
}

static std::string GridCachePath(const REP_GRIDDIR &d)
{
    return d.strFolder + "/grid.zebsum";
}

static void PutShape(std::string *s, const REP_SHAPE &h)
{
    Rep_Put(s, (uint64_t)h.iType, 1);
    Rep_Put(s, (uint64_t)h.nBeams, 2);
    Rep_Put(s, h.fRelative, 1);
    Rep_Put(s, h.uRods, 1);
    Rep_Put(s, h.uHash, 8);
}

static REP_SHAPE GetShape(REP_READER *r)
{
    REP_SHAPE h;
    h.iType = (int)r->Get(1);
    h.nBeams = (int)r->Get(2);
    h.fRelative = r->Get(1) != 0;
    h.uRods = (unsigned)r->Get(1);
    h.uHash = r->Get(8);
    r->ok &= h.iType < 4 && h.uRods <= 3;
    return h;
}

void Rep_GridCacheWrite(const REP_GRIDDIR &d, const std::string &key, const REP_FLEETROW &row)
{
    std::string p;
    Rep_PutText(&p, key);
    Rep_Put(&p, (uint64_t)row.nVisits, 4);
    Rep_Put(&p, (uint32_t)row.iLastDay, 4);
    Rep_Put(&p, (uint32_t)row.iDue, 4);
    Rep_Put(&p, (uint64_t)row.nBeams, 4);
    Rep_Put(&p, (uint64_t)row.nFlagged, 4);
    Rep_PutDouble(&p, row.flReserve);
    Rep_Put(&p, (uint64_t)row.iLimit, 1);
    Rep_PutDouble(&p, isnan(row.flLimitFrom) ? 0 : row.flLimitFrom);
    Rep_Put(&p, row.aLeftOut.size(), 4);
    for (const REP_LEFTOUT &l : row.aLeftOut) {
        Rep_PutText(&p, l.strPath);
        Rep_PutText(&p, l.strWhy);
        PutShape(&p, l.mine);
        PutShape(&p, l.theirs);
    }
    Rep_WriteAtomically(GridCachePath(d), Rep_Seal(kGridMagic, GRID_VERSION, p));
}

bool Rep_GridCacheRead(const char *buf, size_t len, const std::string &key, REP_FLEETROW *row)
{
    REP_READER r;
    if (!Rep_Unseal(buf, len, kGridMagic, GRID_VERSION, &r) || r.Text(len) != key || !r.ok)
        return false;
    row->nVisits = (int)r.Get(4);
    row->iLastDay = (int32_t)(uint32_t)r.Get(4);
    row->iDue = (int32_t)(uint32_t)r.Get(4);
    row->nBeams = (int)r.Get(4);
    row->nFlagged = (int)r.Get(4);
    row->flReserve = r.Double();
    row->iLimit = (int)r.Get(1);
    row->flLimitFrom = r.Double();
    if (row->iLimit != LIMIT_DATE)
        row->flLimitFrom = NAN;
    uint64_t n = r.Get(4);
    for (uint64_t i = 0; i < n && r.ok && i < (uint64_t)len; i++) {
        REP_LEFTOUT l;
        l.strPath = r.Text(len);
        l.strWhy = r.Text(len);
        l.mine = GetShape(&r);
        l.theirs = GetShape(&r);
        row->aLeftOut.push_back(l);
    }
    return r.ok && r.p == r.e && row->nVisits > 0 && row->iLimit <= LIMIT_BEYOND && row->nFlagged <= row->nBeams &&
           Rep_PlausibleDay(row->iLastDay) && row->iDue >= row->iLastDay && row->iDue <= row->iLastDay + 3700 &&
           (isnan(row->flLimitFrom) || fabs(row->flLimitFrom) < 1e7);
}

bool Rep_GridCached(const REP_GRIDDIR &d, const std::string &key, REP_FLEETROW *row)
{
    std::string bytes, ignored;
    if (key.empty() || !Rep_ReadSmall(GridCachePath(d), 16u << 20, &bytes, &ignored))
        return false;
    REP_FLEETROW cached = *row;
    if (!Rep_GridCacheRead(bytes.data(), bytes.size(), key, &cached))
        return false;
    *row = cached;
    return true;
}
