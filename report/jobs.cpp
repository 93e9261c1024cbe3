// Running a job: the logs read, the limits from the command line, the grid's
// card or the program's settings file, the page and its CSV written, and the
// status a production test script can rely on.
#include "report.h"

#include <ctype.h>
#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>

#include <algorithm>
#include <memory>

enum { INI_MIN_ABS, INI_MAX_ABS, INI_MIN_REL, INI_MAX_REL, INI_SCALE, INI_KEYS };
static const char *const kIniSection[INI_KEYS] = {"Limits", "Limits", "Limits", "Limits", "View"};
static const char *const kIniKey[INI_KEYS] = {"LimitMinAbs", "LimitMaxAbs", "LimitMinRel", "LimitMaxRel",
                                             "MinAbsValue"};
static const int32_t kIniDefault[INI_KEYS] = {0, 255, 0, 250, 0};

// The keys the report needs, read like the program's profile functions: names
// in any case, the first occurrence counts, a missing key is its default.
static bool ReadIni(const std::string &path, int32_t values[INI_KEYS], std::string *error)
{
    std::string bytes;
    if (!Rep_ReadSmall(path, 1 << 20, &bytes, error))
        return false;
    bool have[INI_KEYS] = {};
    Rep_IniEach(bytes.data(), bytes.size(), [&](const std::string &section, const std::string &key,
                                                const std::string &value, int line) {
        for (int i = 0; i < INI_KEYS; i++) {
            if (have[i] || !Rep_SameText(section, kIniSection[i]) || !Rep_SameText(key, kIniKey[i]))
                continue;
            have[i] = true;
            if (!Rep_WholeNumber(value, &values[i]) && error->empty())
                *error = path + ", line " + std::to_string(line) + ": [" + kIniSection[i] + "] " + kIniKey[i] +
                         " is not a whole number";
        }
    });
    return error->empty();
}

static bool WriteFile(const std::string &path, const std::string &text, std::string *error)
{
    FILE *f = fopen(path.c_str(), "wb");
    bool ok = f && fwrite(text.data(), 1, text.size(), f) == text.size();
    int err = errno;
    if (f && fclose(f) != 0)
        ok = false;
    if (!ok)
        *error = path + ": cannot write (" + strerror(f ? errno : err) + ")";
    return ok;
}

// Each limit from the command line, else the grid's card, else the settings
// file, else the program's default; the page says which.
static REP_LIMITS Limits(const REP_PAGE &pg, const REP_JOB &o, const int32_t ini[INI_KEYS], bool relative, const REP_CARD *card)
{
    REP_LIMITS lim;
    const char *file = Rep_T(pg, o.ini.empty() ? TX_FROM_DEFAULT : TX_FROM_SETTINGS);
    auto pick = [&](int32_t *v, std::string *from, int iniKey, int cardKey, bool given, int32_t option) {
        *v = ini[iniKey];
        *from = file;
        if (card && card->afHave[cardKey]) {
            *v = card->aiValue[cardKey];
            *from = Rep_T(pg, TX_FROM_CARD);
        }
        if (given) {
            *v = option;
            *from = Rep_T(pg, TX_FROM_GIVEN);
        }
    };
    pick(&lim.iMin, &lim.strMinFrom, relative ? INI_MIN_REL : INI_MIN_ABS, relative ? CARD_MIN_REL : CARD_MIN_ABS,
         o.fMin, o.iMin);
    pick(&lim.iMax, &lim.strMaxFrom, relative ? INI_MAX_REL : INI_MAX_ABS, relative ? CARD_MAX_REL : CARD_MAX_ABS,
         o.fMax, o.iMax);
    lim.iScaleMin = ini[INI_SCALE];
    lim.fNoise = o.fNoise || (card && card->afHave[CARD_NOISE]);
    lim.iNoise = o.fNoise ? o.iNoise : card ? card->aiValue[CARD_NOISE] : 0;
    lim.strNoiseFrom = Rep_T(pg, o.fNoise ? TX_FROM_GIVEN : TX_FROM_CARD);
    return lim;
}

static int Finish(REP_RESULT *res, int status, const std::string &text)
{
    res->strLine = text;
    return res->iStatus = status;
}

// Standard error and the CSV files are read by scripts: English, whatever
// the pages' language, and no one grid's.
static const REP_PAGE kEnglish = {REP_LANG_EN, REP_IDENTITY()};

static std::string Names(const std::vector<std::string> &names)
{
    std::string s;
    for (size_t i = 0; i < names.size() && i < 20; i++)
        s += (i ? ", " : "") + names[i];
    return names.size() > 20 ? s + ", ..." : s;
}

static std::string Folder(const std::string &card)
{
    return card.empty() ? "no grid folder" : card.substr(0, card.size() - strlen(REP_CARD_NAME) - 1);
}

// The card of the grid the logs lie in; logs of two grids make no page.
static bool LogsCard(const REP_JOB &o, REP_CARD *card, REP_PAGE *pg, std::string *error)
{
    std::string first, firstLog;
    for (const auto &logs : o.logs)
        for (const std::string &log : logs) {
            std::string c = Rep_FindCard(log);
            if (firstLog.empty()) {
                first = c;
                firstLog = log;
            } else if (c != first) {
                *error = "logs of two grids: " + firstLog + " (" + Folder(first) + ") and " + log + " (" + Folder(c) +
                         "); one page shows one grid";
                return false;
            }
        }
    pg->who.fCard = !first.empty() && Rep_ReadCard(first, card, error);
    pg->who.card = *card;
    return first.empty() || pg->who.fCard;
}

// As found and as left: each side read once, as one recording.
static int Compare(REP_PAGE *pg, const REP_JOB &o, const int32_t ini[INI_KEYS], const REP_CARD *card, REP_RESULT *res)
{
    std::unique_ptr<REP_LOG> found(new REP_LOG), left(new REP_LOG);
    std::string error;
    if (!Rep_ReadLogs(found.get(), o.logs[JOB_FOUND], &error, false) ||
        !Rep_ReadLogs(left.get(), o.logs[JOB_LEFT], &error, false))
        return Finish(res, 2, error);
    if (!(error = Rep_RecordingsDiffer(*found, *left)).empty())
        return Finish(res, 2, error);
    REP_LIMITS lim = Limits(*pg, o, ini, found->fRelative, card);
    std::vector<REP_BEAM> before, after;
    Rep_BeamStats(*found, lim, &before);
    Rep_BeamStats(*left, lim, &after);
    std::vector<REP_CHANGE> changes;
    Rep_Changes(before, after, &changes);
    std::vector<REP_PATTERN> patterns;
    for (int rod = 0; rod < REP_RODS; rod++)
        if (found->uRods & 1u << rod)
            patterns.push_back(Rep_ClassifyChange(changes, rod));
    pg->who.flVisitDay = (double)(left->tStart / 86400000);
    if (!WriteFile(o.out, Rep_CompareHtml(*pg, *found, *left, changes, patterns, lim), &error))
        return Finish(res, 2, error);
    if (!o.csv.empty() && !WriteFile(o.csv, Rep_CsvFile(Rep_CompareCsv(changes)), &error))
        return Finish(res, 2, error);
    std::string kinds;
    for (const REP_PATTERN &p : patterns)
        kinds += (kinds.empty() ? "" : ", ") + std::string(Rep_PatternName(kEnglish, p.iKind));
    bool outside = std::any_of(changes.begin(), changes.end(), [](const REP_CHANGE &c) { return c.uLeft != 0; });
    return Finish(res, outside ? 1 : 0, Rep_CompareSummary(kEnglish, *found, changes, patterns) + "; change over the rod: " + kinds +
                                       " (" + std::to_string(changes.size()) + " beams; report " + o.out + ")");
}

static std::string Counts(const REP_SUMSTATS &st)
{
    return std::to_string(st.nRead) + (st.nRead == 1 ? " log read, " : " logs read, ") +
           std::to_string(st.nSummaries) + " from summaries";
}

static void NoteLeftOut(const std::vector<REP_LEFTOUT> &left, REP_RESULT *res)
{
    for (const REP_LEFTOUT &l : left)
        res->aNotes.push_back(l.strPath + " left out: " +
                              (l.strWhy.empty() ? Rep_ShapeText(kEnglish, l.mine) + ", the grid's other logs: " + Rep_ShapeText(kEnglish, l.theirs)
                                                : l.strWhy));
}

// A grid's visits: a forecast per beam against the lower limit. grid: logs
// that do not fit the grid's others are left out rather than refused.
static int History(REP_PAGE *pg, const REP_JOB &o, const int32_t ini[INI_KEYS], const std::vector<std::string> &logs, bool grid,
                   const REP_CARD *card, REP_RESULT *res)
{
    std::unique_ptr<REP_HISTORY> h(new REP_HISTORY);
    std::vector<REP_LEFTOUT> leftOut;
    REP_SUMSTATS st;
    std::string error;
    if (!Rep_HistoryFromLogs(h.get(), logs, grid, &leftOut, &st, &error))
        return Finish(res, 2, error);
    REP_LIMITS lim = Limits(*pg, o, ini, h->fRelative, card);
    if (lim.iMin <= 0)
        return Finish(res, 2, std::string(grid ? "--grid" : "--history") + " needs a lower limit above 0 (--min, " +
                             (h->fRelative ? "LimitMinRel" : "LimitMinAbs") + " of the grid's card, or of the "
                             "settings file with --ini)");
    h->flHorizonDays = o.iHorizon;
    h->flGreen = o.flGreen;
    h->flYellow = o.flYellow;
    if (!o.csv.empty()) {
        // The share below the lower limit needs the last visit's values.
        std::unique_ptr<REP_LOG> log(new REP_LOG);
        st.nRead++;
        if (!Rep_ReadLogs(log.get(), {h->aVisits.back().strPath}, &error, false))
            return Finish(res, 2, error);
        Rep_BeamStats(*log, lim, &h->aLast);
        log->aHist.clear();
        h->logLast = *log;
    } else {
        Rep_LastVisitFlags(h.get(), lim);
    }
    Rep_Forecast(h.get(), lim);
    Rep_Soiling(h.get(), lim, card);
    pg->who.flVisitDay = h->aVisits.back().iDay;
    if (!WriteFile(o.out, Rep_HistoryHtml(*pg, *h, lim, leftOut), &error))
        return Finish(res, 2, error);
    if (!o.csv.empty() && !WriteFile(o.csv, Rep_CsvFile(Rep_HistoryCsv(kEnglish, *h)), &error))
        return Finish(res, 2, error);
    NoteLeftOut(leftOut, res);
    std::vector<std::string> flagged;
    for (const REP_HBEAM &b : h->aBeams)
        if (b.uFlags)
            flagged.push_back(std::to_string(b.iBeam) + (h->uRods == 3 ? b.iRod ? "/2" : "/1" : ""));
    std::string counts = " (" + std::to_string(h->aVisits.size()) + (h->aVisits.size() == 1 ? " visit, " : " visits, ") +
                         std::to_string(h->aBeams.size()) + " beams; " + Counts(st) + "; report " + o.out + ")";
    if (flagged.empty())
        return Finish(res, 0, Rep_HistorySummary(kEnglish, *h) + counts);
    return Finish(res, 1, std::to_string(flagged.size()) + " of " + std::to_string(h->aBeams.size()) +
                         " beams flagged: " + Names(flagged) + ". " + Rep_HistorySummary(kEnglish, *h) + counts);
}

// --grid FOLDER: the history of the grid whose folder it is.
static int Grid(REP_PAGE *pg, const REP_JOB &o, const int32_t ini[INI_KEYS], REP_RESULT *res)
{
    std::vector<REP_GRIDDIR> dirs;
    Rep_FindGrids(o.grid, true, &dirs);
    const REP_GRIDDIR &root = dirs[0];
    std::string cardPath = root.strCard.empty() ? Rep_FindCard(o.grid + "/" + REP_CARD_NAME) : root.strCard;
    REP_CARD card;
    std::string error;
    if (!cardPath.empty() && !Rep_ReadCard(cardPath, &card, &error))
        return Finish(res, 2, error);
    pg->who.fCard = !cardPath.empty();
    pg->who.card = card;
    if (root.aLogs.empty())
        return Finish(res, 2, o.grid + ": no log in the grid's folder" +
                             (root.nNested ? " (" + std::to_string(root.nNested) + " below other grids' cards)" : ""));
    return History(pg, o, ini, root.aLogs, true, pg->who.fCard ? &card : nullptr, res);
}

static bool MakeFolder(const std::string &dir)
{
#ifdef _WIN32
    return mkdir(dir.c_str()) == 0 || errno == EEXIST;
#else
    return mkdir(dir.c_str(), 0777) == 0 || errno == EEXIST;
#endif
}

// The link from the plan to a grid's page, relative where the plan's folder
// holds the pages' folder.
static std::string PageName(const std::string &archive, const REP_GRIDDIR &d, size_t index)
{
    std::string rel = d.strFolder.size() > archive.size() ? d.strFolder.substr(archive.size()) : "grid";
    std::string name;
    Rep_Add(&name, "%03d", (int)index + 1);
    for (char c : rel)
        if (isalnum((unsigned char)c) || c == '-' || c == '.')
            name += c;
        else if (name.back() != '_')
            name += '_';
    return name + ".html";
}

static std::string Href(const std::string &out, const std::string &pages, const std::string &name)
{
    size_t cut = out.find_last_of("/\\");
    std::string outDir = cut == std::string::npos ? "" : out.substr(0, cut + 1);
    bool absolute = !pages.empty() && (strchr("/\\", pages[0]) || (pages.size() > 1 && pages[1] == ':'));
    if (pages.compare(0, outDir.size(), outDir) == 0 && (!outDir.empty() || !absolute))
        return pages.substr(outDir.size()) + "/" + name;
    // Elsewhere: the pages' folder as a file URL (a path D:\... would read as a scheme).
    std::string path = Rep_Absolute(pages) + "/" + name, url = "file://";
    path = Rep_Utf8(path.data(), path.size());
    if (path[0] != '/')
        url += '/';
    for (char c : path)
        if (c == '\\')
            url += '/';
        else if (isalnum((unsigned char)c) || strchr("/-._~:", c))
            url += c;
        else
            Rep_Add(&url, "%%%02X", (unsigned char)c);
    return url;
}

static int32_t Today()
{
    time_t now = time(nullptr);
    struct tm *t = localtime(&now);
    return Rep_DaysFromCivil(t->tm_year + 1900, t->tm_mon + 1, t->tm_mday);
}

// One grid's row of the plan, and its page; false when the page could not
// be written.
static bool FleetRow(REP_PAGE *pg, const REP_JOB &o, const int32_t ini[INI_KEYS], const REP_GRIDDIR &d, int32_t today, int horizon,
                     REP_SUMSTATS *st, REP_FLEETROW *row, std::string *pageName, REP_RESULT *res)
{
    row->strFolder = d.strFolder;
    row->nLogs = (int)d.aLogs.size();
    row->fCard = !d.strCard.empty();
    std::string error;
    if (!row->fCard) {
        row->iStatus = FLEET_NO_CARD;
        return true;
    }
    if (!Rep_ReadCard(d.strCard, &row->card, &error)) {
        row->iStatus = FLEET_BAD_CARD;
        row->strNote = error;
        return true;
    }
    if (d.aLogs.empty()) {
        row->iStatus = d.nNested ? FLEET_OTHER_ONLY : FLEET_NO_LOGS;
        return true;
    }
    // Without its page a grid whose files are as they were keeps its row.
    const REP_LIMITS both[2] = {Limits(*pg, o, ini, false, &row->card), Limits(*pg, o, ini, true, &row->card)};
    std::string key = pageName->empty() ? Rep_GridKey(d, row->card, both) : "";
    if (Rep_GridCached(d, key, row)) {
        st->nSummaries += (int)d.aLogs.size();
        Rep_GridStatus(row, today, horizon);
        return true;
    }
    std::unique_ptr<REP_HISTORY> h(new REP_HISTORY);
    if (!Rep_HistoryFromLogs(h.get(), d.aLogs, true, &row->aLeftOut, st, &error)) {
        row->iStatus = FLEET_UNREADABLE;
        row->strNote = error;
        return true;
    }
    const REP_LIMITS &lim = both[h->fRelative];
    if (lim.iMin <= 0) {
        row->iStatus = FLEET_NO_LIMIT;
        return true;
    }
    h->flGreen = o.flGreen;
    h->flYellow = o.flYellow;
    // The grid's page flags what the plan acts on: crossings before the
    // horizon's end, counted from the last visit.
    h->flHorizonDays = std::max(0.0, (double)today + horizon - h->aVisits.back().iDay);
    Rep_LastVisitFlags(h.get(), lim);
    Rep_Forecast(h.get(), lim);
    Rep_Soiling(h.get(), lim, &row->card);
    Rep_JudgeGrid(row, *h, today, horizon);
    if (pageName->empty()) {
        if (!key.empty())
            Rep_GridCacheWrite(d, key, *row);
        return true;
    }
    REP_PAGE gridPage = *pg;   // the plan is no one grid's; each grid's page is its own
    gridPage.who.fCard = true;
    gridPage.who.card = row->card;
    gridPage.who.flVisitDay = row->iLastDay;
    if (!WriteFile(o.pages + "/" + *pageName, Rep_HistoryHtml(gridPage, *h, lim, row->aLeftOut), &error)) {
        res->aNotes.push_back(error);
        return false;
    }
    row->strPage = Href(o.out, o.pages, *pageName);
    return true;
}

// --fleet ARCHIVE: every grid's row, most urgent first.
static int Fleet(REP_PAGE *pg, const REP_JOB &o, const int32_t ini[INI_KEYS], REP_RESULT *res)
{
    int32_t today = o.iToday != INT32_MIN ? o.iToday : Today();
    int horizon = o.fHorizon ? o.iHorizon : 30;
    std::string archive = o.fleet;
    while (archive.size() > 1 && (archive.back() == '/' || archive.back() == '\\'))
        archive.pop_back();
    std::vector<REP_GRIDDIR> dirs;
    Rep_FindGrids(archive, false, &dirs);
    if (!o.pages.empty() && !MakeFolder(o.pages))
        return Finish(res, 2, o.pages + ": cannot make the folder (" + strerror(errno) + ")");
    std::vector<REP_FLEETROW> rows(dirs.size());
    REP_SUMSTATS st;
    int unwritten = 0;
    for (size_t i = 0; i < dirs.size(); i++) {
        std::string page = o.pages.empty() ? "" : PageName(archive, dirs[i], i);
        unwritten += !FleetRow(pg, o, ini, dirs[i], today, horizon, &st, &rows[i], &page, res);
    }
    auto rank = [](const REP_FLEETROW &r) { return !r.fCard ? 2 : r.iStatus <= FLEET_OK ? 0 : 1; };
    std::stable_sort(rows.begin(), rows.end(), [&](const REP_FLEETROW &a, const REP_FLEETROW &b) {
        return rank(a) != rank(b) ? rank(a) < rank(b) : rank(a) == 0 && a.flAction < b.flAction;
    });
    std::string error;
    if (!WriteFile(o.out, Rep_FleetHtml(*pg, rows, today, horizon), &error))
        return Finish(res, 2, error);
    if (!o.csv.empty() && !WriteFile(o.csv, Rep_CsvFile(Rep_FleetCsv(kEnglish, rows)), &error))
        return Finish(res, 2, error);
    int count[FLEET_NO_CARD + 1] = {}, grids = 0;
    for (const REP_FLEETROW &r : rows) {
        count[r.iStatus]++;
        grids += r.fCard;
        NoteLeftOut(r.aLeftOut, res);
        if (!r.fCard)
            res->aNotes.push_back(r.strFolder + ": logs (" + std::to_string(r.nLogs) + ") but no grid card, not in the plan");
    }
    int judged = count[FLEET_OVERDUE] + count[FLEET_ACTION] + count[FLEET_OK];
    std::string line = std::to_string(grids) + " grids: " + std::to_string(count[FLEET_OVERDUE]) + " overdue, " +
                       std::to_string(count[FLEET_ACTION]) + " need action by " + Rep_DayText(today + horizon) + ", " +
                       std::to_string(count[FLEET_OK]) + " ok, " + std::to_string(grids - judged) +
                       " cannot be judged (" + Counts(st) + "; plan " + o.out + ")";
    if (unwritten)
        line += "; " + std::to_string(unwritten) + (unwritten == 1 ? " page" : " pages") + " not written";
    // A grid that needs action is told before a page that failed; a failure
    // never passes as all well.
    int action = count[FLEET_OVERDUE] + count[FLEET_ACTION];
    return Finish(res, !judged ? 2 : action ? 1 : unwritten ? 2 : 0, line);
}

// Each job starts from nothing: a window makes many pages in one process.
int Rep_RunJob(const REP_JOB &o, REP_RESULT *res)
{
    *res = REP_RESULT();
    std::string error;
    if (!(error = Rep_CheckJob(o)).empty())
        return Finish(res, 2, error);
    REP_PAGE page, *pg = &page;
    pg->iLang = o.iLang;
    pg->who.strTechnician = Rep_Utf8(o.technician.data(), o.technician.size());
    int32_t ini[INI_KEYS];
    memcpy(ini, kIniDefault, sizeof(ini));
    if (!o.ini.empty() && !ReadIni(o.ini, ini, &error))
        return Finish(res, 2, error);
    if (!o.fleet.empty())
        return Fleet(pg, o, ini, res);
    if (!o.grid.empty())
        return Grid(pg, o, ini, res);
    REP_CARD card;
    if (!LogsCard(o, &card, pg, &error))
        return Finish(res, 2, error);
    const REP_CARD *pc = pg->who.fCard ? &card : nullptr;
    if (!o.logs[JOB_FOUND].empty())
        return Compare(pg, o, ini, pc, res);
    if (!o.logs[JOB_HISTORY].empty()) {
        std::vector<std::string> logs = o.logs[JOB_LOGS];
        logs.insert(logs.end(), o.logs[JOB_HISTORY].begin(), o.logs[JOB_HISTORY].end());
        return History(pg, o, ini, logs, false, pc, res);
    }
    std::unique_ptr<REP_LOG> log(new REP_LOG);
    if (!Rep_ReadLogs(log.get(), o.logs[JOB_LOGS], &error))
        return Finish(res, 2, error);
    REP_LIMITS lim = Limits(*pg, o, ini, log->fRelative, pc);
    std::vector<REP_BEAM> beams;
    Rep_BeamStats(*log, lim, &beams);
    pg->who.flVisitDay = (double)(log->tStart / 86400000);
    if (!WriteFile(o.out, Rep_Html(*pg, *log, beams, lim), &error) ||
        (!o.csv.empty() && !WriteFile(o.csv, Rep_CsvFile(Rep_Csv(beams)), &error)))
        return Finish(res, 2, error);
    std::vector<std::string> names;
    for (const REP_BEAM &b : beams)
        if (b.uFlags)
            names.push_back(std::to_string(b.iBeam) + (log->uRods == 3 ? b.iRod ? "/2" : "/1" : ""));
    int flagged = (int)names.size();
    std::string list = Names(names);
    std::string counts = std::to_string(beams.size()) + " beams, " + std::to_string(log->nCycles) + " cycles, " +
                         std::to_string(log->nSkipped) + " lines skipped; report " + o.out;
    if (!flagged)
        return Finish(res, 0, "no beam flagged (" + counts + ")");
    return Finish(res, 1, std::to_string(flagged) + " of " + std::to_string(beams.size()) + " beams flagged: " + list +
                         " (" + counts + ")");
}
