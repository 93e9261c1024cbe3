// zebcheck's entry: options, the run, the verdict and the files, and the
// exit status a test stand reads.
#include "check.h"

#include "app.h"

#include <stdio.h>
#include <string.h>

// Writes the files asked for; the first that cannot be written, or empty.
static std::string WriteFiles(const CHK_OPTIONS &opt, const CHK_RESULT &r)
{
    std::string fault;
    if (!opt.strJunit.empty() && !Chk_WriteJunit(opt, r, opt.strJunit))
        fault = "cannot write " + opt.strJunit;
    if (!opt.strJson.empty() && !Chk_WriteJson(opt, r, opt.strJson))
        fault = "cannot write " + opt.strJson;
    return fault;
}

static void MakeError(CHK_RESULT *r, const std::string &cause)
{
    r->iStatus = CHK_NOT_MEASURED;
    r->strError = cause;
    r->aBeams.clear();
    r->nFailed = r->nMarginal = 0;
}

// The result goes to standard output, the files and the history, in that
// order; whatever fails on the way turns the files into the error, so that
// none of them claims a result the exit status denies.
static int Finish(const CHK_OPTIONS &opt, CHK_RESULT *r, bool measured)
{
    if (!measured) {
        MakeError(r, r->strError);
        fprintf(stderr, "zebcheck: %s\n", r->strError.c_str());
    } else {
        Chk_PrintResult(opt, *r, stdout);
    }
    fflush(stdout);
    CHK_HISTORY history;
    std::string fault;
    if (!opt.strHistory.empty())
        Chk_HistoryBegin(opt, &history, r, &fault);
    if (fault.empty())
        fault = WriteFiles(opt, *r);
    if (history.fLocked) {
        CHK_RESULT kept = *r;
        if (!fault.empty())
            MakeError(&kept, fault);
        if (!Chk_HistoryAppend(&history, opt, kept) && fault.empty())
            fault = "cannot write the history " + opt.strHistory;
    }
    int status = r->iStatus;
    if (!fault.empty()) {
        fprintf(stderr, "zebcheck: %s\n", fault.c_str());
        if (r->iStatus != CHK_NOT_MEASURED) {
            MakeError(r, fault);
            WriteFiles(opt, *r);
        }
        status = CHK_NOT_MEASURED;
    }
    Chk_Finished();
    return status;
}

// --log naming a folder (one that exists, or a name ending in a separator):
// the log goes there, named after the station and the id like the
// program's logs, with the date and time.
static bool LogPathIn(const CHK_OPTIONS &opt, std::string *path, std::string *error)
{
    std::string dir = opt.strLog;
    char last = dir.back();
    DWORD attr = GetFileAttributesA(dir.c_str());
    bool folder = attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY);
    if (!folder && last != '\\' && last != '/') {
        *path = dir;
        return true;
    }
    // Stations started together may make the same folder.
    if (!folder && !CreateDirectoryA(dir.c_str(), NULL) && GetLastError() != ERROR_ALREADY_EXISTS) {
        *error = "cannot create the folder " + dir + " for the data log";
        return false;
    }
    std::string name;
    for (const std::string *part : {&opt.strStation, &opt.strId})
        if (!part->empty())
            name += (name.empty() ? "" : "_") + *part;
    for (char &c : name)
        if ((unsigned char)c < 0x20 || strchr("\\/:*?\"<>|", c))
            c = '_';
    if (last != '\\' && last != '/')
        dir += '\\';
    // The extension first, so that a dot in the id is not taken for one.
    std::string chosen = dir + (name.empty() ? "zebcheck" : name) + ".log";
    SYSTEMTIME st;
    GetLocalTime(&st);
    char full[MAX_PATH + 1];
    if (!Log_MakeFileName(full, chosen.c_str(), st)) {
        *error = "the data log's name in " + opt.strLog + " is too long";
        return false;
    }
    // A quick retest in the same second must not overwrite the log of the attempt before.
    *path = full;
    for (int n = 2; GetFileAttributesA(path->c_str()) != INVALID_FILE_ATTRIBUTES; n++)
        *path = std::string(full, strlen(full) - 4) + "-" + std::to_string(n) + ".log";
    return true;
}

int main(int argc, char **argv)
{
    CHK_OPTIONS opt;
    CHK_RESULT result;
    GetLocalTime(&result.stStart);
    result.stEnd = result.stStart;
    if (!Chk_ParseArgs(argc, argv, &opt, &result.strError))
        return Finish(opt, &result, false);
    if (opt.fHelp) {
        fputs(Chk_szUsage, stdout);
        return 0;
    }
    if (opt.fVersion) {
        puts("zebcheck " ZEB_VERSION);
        return 0;
    }
    if (!opt.strSummary.empty())
        return Chk_Summary(opt);
    // An unusable reference file is refused before the grid is measured.
    static INT32 refs[MAX_BEAMS];
    static BYTE seen[MAX_BEAMS];
    if (!opt.strRef.empty() && !Chk_LoadReferences(opt.strRef, refs, seen, &result.strError))
        return Finish(opt, &result, false);

    char temp[MAX_PATH] = "", dir[MAX_PATH];
    std::string logPath;
    if (opt.strLog.empty()) {
        // The verdict is drawn from a log in any case; without --log it is a temporary one.
        DWORD n = GetTempPathA(sizeof(dir), dir);
        if (n == 0 || n >= sizeof(dir) || !GetTempFileNameA(dir, "zck", 0, temp)) {
            result.strError = "cannot create a temporary file for the run's data log";
            return Finish(opt, &result, false);
        }
        logPath = temp;
    } else if (!LogPathIn(opt, &logPath, &result.strError)) {
        return Finish(opt, &result, false);
    } else {
        result.strLogPath = logPath;
    }
    bool measured = Chk_Measure(opt, logPath.c_str(), &result) && Chk_Judge(opt, logPath.c_str(), refs, seen, &result);
    if (temp[0])
        DeleteFileA(temp);
    return Finish(opt, &result, measured);
}
