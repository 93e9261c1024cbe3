// zebcheck's entry: options, the run, the verdict and the files, and the
// exit status a test stand reads.
#include "check.h"

#include <stdio.h>

// Writes the files asked for; false (with a line on standard error) when one
// cannot be written.
static bool WriteFiles(const CHK_OPTIONS &opt, const CHK_RESULT &r)
{
    bool ok = true;
    if (!opt.strJson.empty() && !Chk_WriteJson(opt, r, opt.strJson)) {
        fprintf(stderr, "zebcheck: cannot write %s\n", opt.strJson.c_str());
        ok = false;
    }
    if (!opt.strJunit.empty() && !Chk_WriteJunit(opt, r, opt.strJunit)) {
        fprintf(stderr, "zebcheck: cannot write %s\n", opt.strJunit.c_str());
        ok = false;
    }
    return ok;
}

static int Finish(const CHK_OPTIONS &opt, CHK_RESULT *r, bool measured)
{
    if (!measured) {
        r->iStatus = CHK_NOT_MEASURED;
        r->aBeams.clear();
        r->nFailed = 0;
        fprintf(stderr, "zebcheck: %s\n", r->strError.c_str());
    } else {
        Chk_PrintResult(opt, *r, stdout);
    }
    fflush(stdout);
    int status = WriteFiles(opt, *r) ? r->iStatus : CHK_NOT_MEASURED;
    Chk_Finished();
    return status;
}

int main(int argc, char **argv)
{
    CHK_OPTIONS opt;
    CHK_RESULT result;
    if (!Chk_ParseArgs(argc, argv, &opt, &result.strError)) {
        fprintf(stderr, "zebcheck: %s\n", result.strError.c_str());
        return CHK_NOT_MEASURED;
    }
    if (opt.fHelp) {
        fputs(Chk_szUsage, stdout);
        return 0;
    }
    if (opt.fVersion) {
        puts("zebcheck " ZEB_VERSION);
        return 0;
    }
    GetLocalTime(&result.stStart);
    result.stEnd = result.stStart;
    // An unusable reference file is refused before the grid is measured.
    static INT32 refs[MAX_BEAMS];
    static BYTE seen[MAX_BEAMS];
    if (!opt.strRef.empty() && !Chk_LoadReferences(opt.strRef, refs, seen, &result.strError))
        return Finish(opt, &result, false);

    char temp[MAX_PATH] = "", dir[MAX_PATH];
    std::string logPath = opt.strLog;
    if (logPath.empty()) {
        // The verdict is drawn from a log in any case; without --log it is a temporary one.
        DWORD n = GetTempPathA(sizeof(dir), dir);
        if (n == 0 || n >= sizeof(dir) || !GetTempFileNameA(dir, "zck", 0, temp)) {
            result.strError = "cannot create a temporary file for the run's data log";
            return Finish(opt, &result, false);
        }
        logPath = temp;
    }
    bool measured = Chk_Measure(opt, logPath.c_str(), &result) && Chk_Judge(opt, logPath.c_str(), refs, seen, &result);
    if (temp[0])
        DeleteFileA(temp);
    return Finish(opt, &result, measured);
}
