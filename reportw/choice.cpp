// What the window's choices mean: the logs in time order, the visit's two
// recordings, the grid whose card the window shows, the page's default
// place, and the job the choices make.
#include "reportw.h"

#include "reportw_res.h"

#include <stdio.h>

#include <algorithm>

std::string Repw_FileName(const std::string &path)
{
    size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string Repw_Folder(const std::string &path)
{
    size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? "" : path.substr(0, cut);
}

static std::string Join(const std::string &dir, const std::string &name)
{
    if (dir.empty())
        return name;
    return dir.back() == '\\' || dir.back() == '/' ? dir + name : dir + "\\" + name;
}

static std::string WithoutSlash(std::string dir)
{
    // "C:\" stays a drive's root; "C:" alone would be that drive's current folder.
    while (dir.size() > 1 && (dir.back() == '\\' || dir.back() == '/') && dir[dir.size() - 2] != ':')
        dir.pop_back();
    return dir;
}

// The program names its logs NAME_YYYYMMDDThhmmss.log when it opens them.
std::string Repw_Stamp(const std::string &path)
{
    REP_STAMP st;
    if (!Rep_NameStamp(path, &st))
        return "";
    char s[16];
    snprintf(s, sizeof(s), "%04d%02d%02d%02d%02d%02d", st.y, st.mo, st.d, st.h, st.mi, st.s);
    return s;
}

// Time order for the logs whose names tell it; the others follow as given.
void Repw_SortLogs(std::vector<std::string> *logs)
{
    std::stable_sort(logs->begin(), logs->end(), [](const std::string &a, const std::string &b) {
        std::string sa = Repw_Stamp(a), sb = Repw_Stamp(b);
        return !sa.empty() && (sb.empty() || sa < sb);
    });
}

// As found and as left: the first and the last recording of the latest day
// that has two; without such a day the first and the last log.
void Repw_PickVisit(const std::vector<std::string> &logs, int *found, int *left)
{
    *found = *left = -1;
    if (logs.size() < 2)
        return;
    *found = 0;
    *left = (int)logs.size() - 1;
    for (int last = (int)logs.size() - 1; last > 0; last--) {
        std::string day = Repw_Stamp(logs[last]).substr(0, 8);
        if (day.empty())
            continue;
        int first = last;
        while (first > 0 && Repw_Stamp(logs[first - 1]).substr(0, 8) == day)
            first--;
        if (first < last) {
            *found = first;
            *left = last;
            return;
        }
    }
}

// The grid a log belongs to is the folder of the nearest card above it.
std::string Repw_GridFolder(const std::vector<std::string> &logs)
{
    if (logs.empty())
        return "";
    std::string card = Rep_FindCard(logs[0]);
    return Repw_Folder(card.empty() ? logs[0] : card);
}

// The default file name in the ANSI code page; one whose letters it lacks
// (Prüfplan on a Cyrillic system) is spelt in ASCII.
std::string Repw_PageName(int kind)
{
    WCHAR wide[128];
    int n = LoadStringW(GetModuleHandleA(NULL), IDS_NAME_REPORT + kind, wide, 128);
    wide[n > 0 ? n : 0] = 0;
    std::string name;
    if (!Repw_AnsiFromWide(wide, &name))
        name = Repw_Load(IDS_NAME_PLAN_ASCII);
    return name;
}

std::string Repw_DefaultTarget(const REPW_INPUT &in)
{
    std::string dir;
    if (in.iKind == REPW_REPORT || in.iKind == REPW_VISIT) {
        int i = in.iKind == REPW_VISIT && in.iFound >= 0 ? in.iFound : 0;
        if (in.aLogs.empty())
            return "";
        dir = Repw_Folder(in.aLogs[i]);
    } else {
        if (in.strFolder.empty())
            return "";
        dir = WithoutSlash(in.strFolder);
    }
    return Join(dir, Repw_PageName(in.iKind));
}

// A name typed without a folder goes where the default would, beside the
// inputs, not into the folder the program happened to start in.
std::string Repw_TargetPath(const REPW_INPUT &in, const std::string &typed)
{
    bool relative = !typed.empty() && typed[0] != '\\' && typed[0] != '/' && (typed.size() < 2 || typed[1] != ':');
    std::string dir = Repw_Folder(Repw_DefaultTarget(in));
    return relative && !dir.empty() ? Join(dir, typed) : typed;
}

std::string Repw_CsvBeside(const std::string &page)
{
    size_t dot = page.find_last_of('.'), slash = page.find_last_of("\\/");
    bool ext = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    return (ext ? page.substr(0, dot) : page) + ".csv";
}

UINT Repw_MakeJob(const REPW_INPUT &in, REP_JOB *job)
{
    *job = REP_JOB();
    switch (in.iKind) {
    case REPW_REPORT:
        if (in.aLogs.empty())
            return IDS_NEED_LOGS;
        job->logs[JOB_LOGS] = in.aLogs;
        break;
    case REPW_VISIT:
        if (in.iFound < 0 || in.iLeft < 0 || in.iFound >= (int)in.aLogs.size() || in.iLeft >= (int)in.aLogs.size())
            return IDS_NEED_TWO_LOGS;
        if (in.iFound == in.iLeft)
            return IDS_SAME_LOG;
        job->logs[JOB_FOUND] = {in.aLogs[in.iFound]};
        job->logs[JOB_LEFT] = {in.aLogs[in.iLeft]};
        break;
    default:
        if (in.strFolder.empty())
            return IDS_NEED_FOLDER;
        (in.iKind == REPW_HISTORY ? job->grid : job->fleet) = WithoutSlash(in.strFolder);
        break;
    }
    if (in.strTarget.empty())
        return IDS_NEED_TARGET;
    job->out = in.strTarget;
    if (in.fCsv)
        job->csv = Repw_CsvBeside(in.strTarget);
    if (in.iKind == REPW_PLAN && in.fPages)
        job->pages = Join(Repw_Folder(in.strTarget),
                          in.strPagesName.empty() ? Repw_Load(IDS_PAGES_DEFAULT) : in.strPagesName);
    job->ini = in.strIni;
    job->technician = in.strTechnician;
    job->iLang = in.iLang;
    return 0;
}

static bool IsFolder(const std::string &path)
{
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

// Files are logs, a folder is a grid's or an archive; the kind that suits
// what came is the answer. A path that is not there counts as a log: making
// the page then says it cannot be opened.
int Repw_AddPaths(REPW_INPUT *in, const std::vector<std::string> &paths)
{
    bool logs = false;
    for (const std::string &p : paths) {
        if (IsFolder(p)) {
            in->strFolder = WithoutSlash(p);
            continue;
        }
        logs = true;
        if (std::none_of(in->aLogs.begin(), in->aLogs.end(),
                         [&](const std::string &l) { return _stricmp(l.c_str(), p.c_str()) == 0; }))
            in->aLogs.push_back(p);
    }
    Repw_SortLogs(&in->aLogs);
    Repw_PickVisit(in->aLogs, &in->iFound, &in->iLeft);
    if (logs || in->strFolder.empty()) {
        if (in->strFolder.empty())
            in->strFolder = Repw_GridFolder(in->aLogs);
        return in->iKind == REPW_VISIT ? REPW_VISIT : REPW_REPORT;
    }
    return Rep_FindCard(Join(in->strFolder, "x.log")).empty() ? REPW_PLAN : REPW_HISTORY;
}

static std::string CardText(const std::string &path)
{
    REP_CARD card;
    std::string error;
    if (!Rep_ReadCard(path, &card, &error)) {
        if (card.iBadKey < 0)
            return Repw_AnsiFromMixed(error);
        std::string bad = Rep_CardBadText(REP_PAGE(), card);   // a German page's words
        return Repw_AnsiFromUtf8(bad);
    }
    std::string lines[3];
    static const int kLine[CARD_TEXTS] = {0, 0, 1, 1, 2};
    for (int k = 0; k < CARD_TEXTS; k++) {
        if (card.astrText[k].empty())
            continue;
        std::string &l = lines[kLine[k]];
        l += (l.empty() ? "" : "    ") + Repw_Format(IDS_ID_CUSTOMER + k, Repw_AnsiFromUtf8(card.astrText[k]).c_str());
    }
    return lines[0] + "\r\n" + lines[1] + "\r\n" + lines[2];
}

// What the window shows of whose grid the page will be, before it is made.
std::string Repw_IdentityText(const REPW_INPUT &in)
{
    std::vector<std::string> logs;
    if (in.iKind == REPW_VISIT && in.iFound >= 0 && in.iLeft >= 0)
        logs = {in.aLogs[in.iFound], in.aLogs[in.iLeft]};
    else if (in.iKind == REPW_REPORT || in.iKind == REPW_VISIT)
        logs = in.aLogs;
    else if (in.iKind == REPW_HISTORY && !in.strFolder.empty())
        logs = {Join(WithoutSlash(in.strFolder), "x.log")};
    else if (in.iKind == REPW_PLAN)
        return in.strFolder.empty() ? Repw_Load(IDS_ID_NONE) : Repw_Load(IDS_ID_ARCHIVE);
    if (logs.empty())
        return Repw_Load(IDS_ID_NONE);
    std::string card = Rep_FindCard(logs[0]);
    for (const std::string &l : logs) {
        std::string other = Rep_FindCard(l);
        if (other != card)
            return Repw_Format(IDS_ID_TWO_GRIDS, Repw_Folder(card.empty() ? logs[0] : card).c_str(),
                               Repw_Folder(other.empty() ? l : other).c_str());
    }
    return card.empty() ? Repw_Load(IDS_ID_NO_CARD) : CardText(card);
}
