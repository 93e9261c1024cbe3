// Reading the logs as one recording. The first pass counts values, ranges,
// times and skipped lines; the second follows the weakest beams over time and
// reads exactly the bytes the first one read, so a log that grows meanwhile
// gives the same lines.
#include "logread.h"

#include <algorithm>
#include <memory>

enum { PASS_COUNT, PASS_TREND };

static bool Fail(std::string *error, const std::string &path, const char *why)
{
    *error = path + ": " + why;
    return false;
}

static void CountRange(REP_LOG *log, const REP_LINE &ln)
{
    for (REP_RANGE &r : log->aRanges)
        if (r.iFirst == ln.iFirst && r.iLast == ln.iLast && r.iRod == ln.iRod) {
            r.nLines++;
            return;
        }
    if (log->aRanges.size() < REP_RANGES_KEPT)
        log->aRanges.push_back({ln.iFirst, ln.iLast, ln.iRod, 1});
    else
        log->fMoreRanges = true;
}

static void CountLine(REP_LOG *log, REP_LINE *ln, int64_t t)
{
    REP_HIST *hist = &log->aHist[ln->iRod * 1000 + ln->iFirst];
    for (int i = 0; i < ln->nValues; i++)
        log->nOther += Rep_HistAdd(&hist[i], ln->aiValue[i]);
    CountRange(log, *ln);
    log->uRods |= 1u << ln->iRod;
    if (log->nCycles == 0 || t < log->tStart)
        log->tStart = t;
    if (log->nCycles == 0 || t > log->tEnd)
        log->tEnd = t;
    log->nCycles++;
    Rep_SeriesAdd(&log->serMedian, t, Rep_LineMedian(ln->aiValue, ln->nValues));
}

static void FollowWeakest(REP_LOG *log, const REP_LINE &ln, int64_t t)
{
    for (int k = 0; k < log->nWeak; k++) {
        int b = log->aiWeakBeam[k];
        if (log->aiWeakRod[k] == ln.iRod && b >= ln.iFirst && b <= ln.iLast)
            Rep_SeriesAdd(&log->aserWeak[k], t, ln.aiValue[b - ln.iFirst]);
    }
}

static void NoteSkip(REP_LOG *log, int file, uint64_t lineNo, int reason, const char *s, size_t n)
{
    log->nSkipped++;
    log->aFiles[file].nSkipped++;
    if (log->aSkips.size() < REP_SKIP_EXAMPLES)
        log->aSkips.push_back({file, lineNo, reason, std::string(s, n < 48 ? n : 48)});
}

static bool ReadFile(REP_LOG *log, int file, int pass, REP_LINE *ln, std::string *error)
{
    REP_FILE &f = log->aFiles[file];
    REP_CYCLES c;
    std::unique_ptr<REP_CYCLES, void (*)(REP_CYCLES *)> closer(&c, Rep_CloseCycles);
    int opened = Rep_OpenCycles(&c, f.strPath, pass == PASS_COUNT ? UINT64_MAX : f.nBytes, error);
    if (opened == REP_NO_LOG && pass == PASS_TREND)
        return Fail(error, f.strPath, "changed while being read");
    if (opened != REP_OPENED)
        return false;
    if (pass == PASS_COUNT) {
        f.strTitle = c.strTitle;
        f.iDay = c.iDay;
        if (log->iValueType < 0) {
            log->iValueType = c.iType;
            log->fRelative = c.fRelative;
        } else if (!(*error = Rep_TypesDiffer(c, log->aFiles[0].strPath, log->iValueType, log->fRelative)).empty()) {
            return false;
        }
    }
    int64_t prevT = 0, t;
    const char *s;
    size_t n;
    int reason;
    while ((reason = Rep_NextCycle(&c, ln, &t, &s, &n)) != REP_CYCLES_END) {
        if (reason != REP_OK) {
            if (pass == PASS_COUNT)
                NoteSkip(log, file, c.ls.nLine, reason, s, n);
            continue;
        }
        if (pass == PASS_COUNT) {
            if (c.nLines > 1)
                log->nOther += Rep_HistAdd(&log->histInterval, (int32_t)std::min<int64_t>(t - prevT, INT32_MAX));
            if (log->nCycles >= UINT32_MAX)
                return Fail(error, f.strPath, "more lines than the report can count");
            CountLine(log, ln, t);
            // Exact counts of arbitrary numbers need memory for each one: a
            // log that is not a grid's stops here instead of using it all.
            if (log->nOther > REP_MAX_OTHER)
                return Fail(error, f.strPath, ("too many different values to count exactly (more than " +
                                               std::to_string(REP_MAX_OTHER) + " outside " +
                                               std::to_string(REP_HIST_LO) + ".." +
                                               std::to_string(REP_HIST_LO + REP_HIST_SIZE - 1) + ")").c_str());
        } else {
            FollowWeakest(log, *ln, t);
        }
        prevT = t;
    }
    if (Rep_LinesFailed(&c.ls))
        return Fail(error, f.strPath, "read error");
    if (pass == PASS_COUNT) {
        f.nBytes = c.ls.nRead;
        f.nLines = c.nLines;
    } else if (c.nLines != f.nLines) {
        return Fail(error, f.strPath, "changed while being read");
    }
    return true;
}

bool Rep_ReadLogs(REP_LOG *log, const std::vector<std::string> &paths, std::string *error, bool followWeakest)
{
    *log = REP_LOG();
    log->aHist.resize(REP_RODS * 1000);
    for (const std::string &p : paths)
        log->aFiles.push_back({p, "", 0, 0, 0, 0});
    std::unique_ptr<REP_LINE> ln(new REP_LINE);
    for (int i = 0; i < (int)paths.size(); i++)
        if (!ReadFile(log, i, PASS_COUNT, ln.get(), error))
            return false;
    if (log->nCycles == 0) {
        *error = "no readable data line (" + std::to_string(log->nSkipped) + " lines skipped as malformed)";
        return false;
    }
    if (!followWeakest)
        return true;
    Rep_PickWeakest(log);
    for (int i = 0; i < (int)paths.size(); i++)
        if (!ReadFile(log, i, PASS_TREND, ln.get(), error))
            return false;
    return true;
}
