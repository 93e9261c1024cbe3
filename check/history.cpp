// The history: one JSON line per run, appended by every station that shares
// the file, and the yields read back from it. A station holds a lock on the
// file while it counts the id's attempts and appends its line, so lines
// stay whole and attempts are counted right on a network share too, where
// appends alone promise nothing.
#include "check.h"

#include "logread.h"

#include <algorithm>

// Far beyond any history: the lock guards no data, only the read-and-append.
#define LOCK_OFFSET_HIGH 0x40000000u
#define LOCK_WAIT_MS 10000

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
    bool read = Chk_EachRecord(opt.strHistory, &skipped, [&](const CHK_RECORD &rec) {
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

int Chk_Summary(const CHK_OPTIONS &opt)
{
    std::string text, json;
    bool read = Chk_SummaryText(opt.strSummary, &text, &json);
    std::string error = read ? "" : "cannot read the history " + opt.strSummary;
    fputs(text.c_str(), stdout);
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
