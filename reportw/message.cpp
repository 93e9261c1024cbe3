// A job's answer told in German. The command line's line on standard error
// stays English for scripts; the window knows the common causes by that line
// and says them in German with the file they concern, and shows any other
// line as it is under a German heading.
#include "reportw.h"

#include "reportw_res.h"

#include <errno.h>
#include <string.h>

static bool Split(const std::string &s, const char *marker, std::string *before, std::string *rest)
{
    size_t at = s.find(marker);
    if (at == std::string::npos)
        return false;
    *before = s.substr(0, at);
    *rest = s.substr(at + strlen(marker));
    return true;
}

static bool StartsWith(const std::string &s, const char *prefix)
{
    return s.compare(0, strlen(prefix), prefix) == 0;
}

// The system's reason, as the C library put it into the line.
static std::string Reason(std::string detail)
{
    if (!detail.empty() && detail.back() == ')')
        detail.pop_back();
    if (detail == strerror(ENOENT))
        return Repw_Load(IDS_ERRNO_NOENT);
    if (detail == strerror(EACCES))
        return Repw_Load(IDS_ERRNO_ACCES);
    return Repw_AnsiFromMixed(detail);
}

static bool IsCard(const std::string &path)
{
    return _stricmp(Repw_FileName(path).c_str(), REP_CARD_NAME) == 0;
}

static std::vector<std::string> JobLogs(const REP_JOB &job)
{
    std::vector<std::string> all;
    for (const auto &set : job.logs)
        all.insert(all.end(), set.begin(), set.end());
    return all;
}

static std::string Lines(const std::vector<std::string> &items, size_t most = 10)
{
    std::string s;
    for (size_t i = 0; i < items.size() && i < most; i++)
        s += (i ? "\n" : "") + Repw_AnsiFromMixed(items[i]);
    return items.size() > most ? s + "\n..." : s;
}

static std::string GridOf(const std::string &folder)
{
    return folder == "no grid folder" ? Repw_Load(IDS_NO_GRID_FOLDER) : folder;
}

// "logs of two grids: LOG (FOLDER) and LOG (FOLDER); one page shows one
// grid", the logs being the job's: which two, and their grids' folders.
static bool TwoGrids(const std::string &rest, const REP_JOB &job, std::string *text)
{
    std::vector<std::string> logs = JobLogs(job);
    for (const std::string &a : logs) {
        if (!StartsWith(rest, (a + " (").c_str()))
            continue;
        std::string tail = rest.substr(a.size() + 2), first, second;
        for (const std::string &b : logs) {
            if (!Split(tail, (") and " + b + " (").c_str(), &first, &second))
                continue;
            size_t end = second.rfind("); one page shows one grid");
            if (end == std::string::npos)
                continue;
            *text = Repw_Format(IDS_ERR_TWO_GRIDS, a.c_str(), GridOf(first).c_str(), b.c_str(),
                                GridOf(second.substr(0, end)).c_str());
            return true;
        }
    }
    return false;
}

// "PATH, line N: ..." of a grid card or of the settings file.
static bool BadValue(const std::string &path, const std::string &rest, const REP_JOB &job, std::string *text)
{
    if (path == job.ini) {
        std::string line, what, key, why;
        if (!Split(rest, ": ", &line, &what) || !Split(what, " is not", &key, &why))
            return false;
        *text = Repw_Format(IDS_ERR_INI_VALUE, path.c_str(), line.c_str(), key.c_str());
        return true;
    }
    // The card says it in the page's words; the window speaks German.
    REP_CARD card;
    std::string error;
    if (Rep_ReadCard(path, &card, &error) || card.iBadKey < 0)
        return false;
    std::string bad = Rep_CardBadText(REP_PAGE(), card);   // a German page's words
    *text = Repw_Format(IDS_ERR_CARD_VALUE, Repw_AnsiFromUtf8(bad).c_str());
    return true;
}

static std::string Cause(const REP_RESULT &res, const REP_JOB &job)
{
    const std::string &s = res.strLine;
    std::string path, rest, text;
    if (Split(s, ": cannot open (", &path, &rest)) {
        UINT id = path == job.ini ? IDS_ERR_OPEN_INI : IsCard(path) ? IDS_ERR_OPEN_CARD : IDS_ERR_OPEN_LOG;
        return Repw_Format(id, path.c_str(), Reason(rest).c_str());
    }
    if (Split(s, ": cannot write (", &path, &rest))
        return Repw_Format(IDS_ERR_WRITE, path.c_str(), Reason(rest).c_str());
    if (Split(s, ": empty file, not a data log", &path, &rest))
        return Repw_Format(IDS_ERR_EMPTY_LOG, path.c_str());
    if (Split(s, ": not a data log (line 1", &path, &rest))
        return Repw_Format(IDS_ERR_NO_TITLE, path.c_str());
    if (Split(s, ": no Date line (line 2)", &path, &rest))
        return Repw_Format(IDS_ERR_NO_DATE, path.c_str());
    if (StartsWith(s, "no readable data line (")) {
        std::string skipped = s.substr(strlen("no readable data line ("));
        skipped.resize(strspn(skipped.c_str(), "0123456789"));
        return Repw_Format(IDS_ERR_NO_DATA, skipped.c_str(), Lines(JobLogs(job)).c_str());
    }
    if (StartsWith(s, "logs of two grids: ") && TwoGrids(s.substr(strlen("logs of two grids: ")), job, &text))
        return text;
    if (s.find(" needs a lower limit above 0 (") != std::string::npos)
        return Repw_Format(IDS_ERR_NO_LIMIT, job.grid.empty() ? Lines(JobLogs(job), 1).c_str() : job.grid.c_str());
    if (Split(s, ": saved as Unicode (UTF-16)", &path, &rest) && BadValue(path, "", job, &text))
        return text;
    if (Split(s, ", line ", &path, &rest) && BadValue(path, rest, job, &text))
        return text;
    if (Split(s, ": no log in the grid's folder", &path, &rest))
        return Repw_Format(IDS_ERR_NO_LOG_DIR, path.c_str());
    std::string english = Repw_AnsiFromMixed(s);
    if (!job.fleet.empty() && StartsWith(s, "0 grids: "))
        return Repw_Format(IDS_ERR_NO_GRID, job.fleet.c_str());
    if (!job.fleet.empty() && s.find(" cannot be judged (") != std::string::npos && res.aNotes.empty())
        return Repw_Format(IDS_ERR_NOT_JUDGED, job.fleet.c_str(), english.c_str());
    if (StartsWith(s, "as left: ") && !job.logs[JOB_FOUND].empty() && !job.logs[JOB_LEFT].empty())
        return Repw_Format(IDS_ERR_VISIT_DIFF, job.logs[JOB_FOUND][0].c_str(), job.logs[JOB_LEFT][0].c_str(),
                           english.c_str());
    return Repw_Format(IDS_ERR_OTHER, job.out.c_str(), english.c_str());
}

std::string Repw_ErrorText(const REP_RESULT &res, const REP_JOB &job)
{
    return Cause(res, job) + Repw_NotesText(res);
}

std::string Repw_NotesText(const REP_RESULT &res)
{
    return res.aNotes.empty() ? "" : "\n\n" + Repw_Load(IDS_NOTES) + "\n" + Lines(res.aNotes);
}

std::string Repw_DoneText(int kind, const REP_RESULT &res, const std::string &page)
{
    return Repw_Format((res.iStatus == 1 ? IDS_FLAGGED_REPORT : IDS_MADE_REPORT) + kind, page.c_str());
}
