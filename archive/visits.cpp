// A grid's visits from its logs' summaries: a visit is the recordings of one
// Date line, the first as found and the last as left.
#include "archive.h"

#include <math.h>
#include <string.h>

#include <algorithm>
#include <map>

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
    std::map<int32_t, size_t> which, first;
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
        if (v.nLogs == 0 || sums[i].tStart < sums[first[sums[i].iDay]].tStart)
            first[sums[i].iDay] = i;
        if (v.nLogs++ == 0 || sums[i].tStart >= v.tStart) {
            v.iDay = sums[i].iDay;
            v.tStart = sums[i].tStart;
            v.strPath = logs[i];
            v.nCycles = sums[i].nCycles;
            v.nSkipped = sums[i].nSkipped;
            which[v.iDay] = i;
        }
    }
    // The day's first recording is its as found when it shows the same beams
    // as the last; of other beams it is named, never paired. One that started
    // with the last (a copy, the other rod pair's log of the same recording)
    // was no arrival.
    for (auto &d : byDay) {
        size_t f = first[d.first], l = which[d.first];
        if (f == l || sums[f].tStart >= sums[l].tStart)
            continue;
        if (SameShape(shapes[f], shapes[l])) {
            d.second.strFound = logs[f];
            d.second.tFound = sums[f].tStart;
        } else {
            d.second.strUnpaired = logs[f];
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
                hb.aflFound.assign(nVisits, NAN);
                h->aBeams.push_back(hb);
            }
            h->aBeams[slot[key]].aflMedian[v] = b.flMedian;
        }
        if (!d.second.strFound.empty())
            for (const REP_BEAM &b : sums[first[d.first]].aBeams)
                if (slot[b.iRod * 1000 + b.iBeam] >= 0)
                    h->aBeams[slot[b.iRod * 1000 + b.iBeam]].aflFound[v] = b.flMedian;
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

