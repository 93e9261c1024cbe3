// The plan's judgement of one grid: when it is due, when it needs action,
// and its row kept in its folder so that a run with nothing new fits nothing.
#include "archive.h"

#include <math.h>

#include <algorithm>

void Rep_JudgeGrid(REP_FLEETROW *row, const REP_HISTORY &h, int32_t today, int horizon)
{
    row->nVisits = (int)h.aVisits.size();
    row->iLastDay = h.aVisits.back().iDay;
    row->iDue = Rep_AddMonths(row->iLastDay, row->card.aiValue[CARD_INTERVAL]);
    row->nBeams = (int)h.aBeams.size();
    row->uRods = h.uRods;
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
    const REP_VISIT &last = h.aVisits.back();
    const REP_ADVICE &a = h.advice;
    row->nFoundLow = last.nFoundLow;
    row->nFoundHigh = last.nFoundHigh;
    row->nSpells = a.nSpells;
    row->iAdvised = a.iMonths;
    row->iAdviceReason = a.iReason;
    row->flSoilCross = a.flCrossDay;
    if (a.iWorst >= 0) {
        row->flSoiling = a.flRate;
        row->iSoilRod = h.aBeams[a.iWorst].iRod;
        row->iSoilBeam = h.aBeams[a.iWorst].iBeam;
    }
    Rep_GridStatus(row, today, horizon);
}

// Action by: the earliest of the visit due, the as-left trend reaching the
// limit and the soiled grid reaching it.
void Rep_GridStatus(REP_FLEETROW *row, int32_t today, int horizon)
{
    auto date = [](double d) { return isnan(d) ? INFINITY : d; };
    row->flAction = floor(std::min({(double)row->iDue, date(row->flLimitFrom), date(row->flSoilCross)}));
    row->iStatus = row->flAction < today ? FLEET_OVERDUE : row->flAction <= today + horizon ? FLEET_ACTION : FLEET_OK;
}

// A grid's row kept in its folder (grid.zebsum), so that a run with nothing
// new fits no trend again. The key holds everything the row comes from: the
// card's and every log's size and time, the card's intervals (read anyway, and
// a card may change without its size and time), and the limits either kind
// of log would get; the row is used only when the key is the same, byte for byte.
static const char kGridMagic[8] = {'Z', 'E', 'B', 'G', 'R', 'I', 'D', '\n'};

std::string Rep_GridKey(const REP_GRIDDIR &d, const REP_CARD &card, const REP_LIMITS lim[2])
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
    for (int k : {CARD_INTERVAL, CARD_MIN_INTERVAL, CARD_MAX_INTERVAL})
        Rep_Put(&key, (uint32_t)card.aiValue[k], 4);
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
    Rep_Put(&p, (uint32_t)row.nFoundLow, 4);
    Rep_Put(&p, (uint32_t)row.nFoundHigh, 4);
    Rep_PutDouble(&p, isnan(row.flSoiling) ? -1 : row.flSoiling);
    Rep_Put(&p, (uint64_t)row.iSoilRod, 1);
    Rep_Put(&p, (uint64_t)row.iSoilBeam, 2);
    Rep_Put(&p, row.uRods, 1);
    Rep_Put(&p, (uint64_t)row.nSpells, 4);
    Rep_Put(&p, (uint64_t)row.iAdvised, 1);
    Rep_Put(&p, (uint64_t)row.iAdviceReason, 1);
    Rep_PutDouble(&p, isnan(row.flSoilCross) ? -1e9 : row.flSoilCross);
    Rep_Put(&p, row.aLeftOut.size(), 4);
    for (const REP_LEFTOUT &l : row.aLeftOut) {
        Rep_PutText(&p, l.strPath);
        Rep_PutText(&p, l.strWhy);
        PutShape(&p, l.mine);
        PutShape(&p, l.theirs);
    }
    Rep_WriteAtomically(GridCachePath(d), Rep_Seal(kGridMagic, REP_GRID_VERSION, p));
}

bool Rep_GridCacheRead(const char *buf, size_t len, const std::string &key, REP_FLEETROW *row)
{
    REP_READER r;
    if (!Rep_Unseal(buf, len, kGridMagic, REP_GRID_VERSION, &r) || r.Text(len) != key || !r.ok)
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
    row->nFoundLow = (int32_t)(uint32_t)r.Get(4);
    row->nFoundHigh = (int32_t)(uint32_t)r.Get(4);
    row->flSoiling = r.Double();
    if (row->flSoiling == -1)
        row->flSoiling = NAN;
    row->iSoilRod = (int)r.Get(1);
    row->iSoilBeam = (int)r.Get(2);
    row->uRods = (unsigned)r.Get(1);
    row->nSpells = (int)r.Get(4);
    row->iAdvised = (int)r.Get(1);
    row->iAdviceReason = (int)r.Get(1);
    row->flSoilCross = r.Double();
    if (row->flSoilCross == -1e9)
        row->flSoilCross = NAN;
    uint64_t n = r.Get(4);
    for (uint64_t i = 0; i < n && r.ok && i < (uint64_t)len; i++) {
        REP_LEFTOUT l;
        l.strPath = r.Text(len);
        l.strWhy = r.Text(len);
        l.mine = GetShape(&r);
        l.theirs = GetShape(&r);
        row->aLeftOut.push_back(l);
    }
    // Only what a judgement makes: a soiling figure and a reason only with a
    // measured interval, counts within the beams.
    bool soiled = row->nSpells > 0;
    return r.ok && r.p == r.e && row->nVisits > 0 && row->iLimit <= LIMIT_BEYOND && row->nBeams >= 1 &&
           row->nBeams <= REP_RODS * REP_LAST_BEAM && row->nFlagged >= 0 && row->nFlagged <= row->nBeams &&
           soiled == !isnan(row->flSoiling) && soiled == (row->iAdviceReason != ADV_CARD) &&
           (!soiled || row->iSoilBeam >= 1) &&
           Rep_PlausibleDay(row->iLastDay) && row->iDue >= row->iLastDay && row->iDue <= row->iLastDay + 3700 &&
           (isnan(row->flLimitFrom) || fabs(row->flLimitFrom) < 1e7) && row->nFoundLow >= -1 &&
           row->nFoundLow <= row->nBeams && row->nFoundHigh >= -1 && row->nFoundHigh <= row->nBeams &&
           (isnan(row->flSoiling) || fabs(row->flSoiling) < 1e3) && row->iSoilRod < REP_RODS && row->iSoilBeam <= 999 &&
           row->uRods >= 1 && row->uRods <= 3 && (isnan(row->flSoiling) || (row->uRods >> row->iSoilRod & 1)) &&
           row->nSpells >= 0 && row->nSpells < row->nVisits + (row->nVisits == 0) && row->iAdvised >= 1 &&
           row->iAdvised <= 120 && row->iAdviceReason <= ADV_MAX &&
           (isnan(row->flSoilCross) || fabs(row->flSoilCross) < 1e7);
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
