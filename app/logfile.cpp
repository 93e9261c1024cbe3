// The data log, window side: the file dialog, the file with its header, the
// hand-over to the communication thread and the close.
#include "app.h"

#include "display.h"
#include "link.h"
#include "resource.h"
#include "settings.h"
#include "shell.h"

#include <shlwapi.h>
#include <string.h>

BYTE fLogRelative;
static char szLogPath[MAX_PATH + 1];   // of the open log

bool Log_MakeFileName(char *out, const char *chosen, const SYSTEMTIME &st)
{
    char base[MAX_PATH + 1];
    snprintf(base, sizeof(base), "%s", chosen);
    PathRemoveExtensionA(base);
    int n = snprintf(out, MAX_PATH + 1, "%s_%.04d%.02d%.02dT%.02d%.02d%.02d.%s", base, st.wYear, st.wMonth, st.wDay,
                     st.wHour, st.wMinute, st.wSecond, "log");
    return n > 0 && n <= MAX_PATH;
}

void Log_Start(HWND owner)
{
    static char name[MAX_PATH + 1];
    snprintf(name, sizeof(name), "%s", Log_FileName);
    if (!RunFileDialog(owner, true, IDS_LOG_TITLE, IDS_LOG_FILTER, name, "log", &fLogRelative))
        return;
    SYSTEMTIME st;
    GetLocalTime(&st);
    char path[MAX_PATH + 1];
    if (!Log_MakeFileName(path, name, st) || !Log_Open(path, st))
        StringMsgBox(owner, MAKEINTRESOURCEA(IDS_LOG_TITLE), MB_OK | MB_ICONERROR, IDS_LOG_ERROR);
    UpdateToolbarStates(DI.hwndToolbar);
}

bool Log_Open(const char *path, const SYSTEMTIME &st)
{
    FILE *f = fopen(path, "w");
    if (!f)
        return false;
    // Room for a whole line of the widest range, so that each line is handed
    // to the system as a whole when it is flushed.
    setvbuf(f, NULL, _IOFBF, LOG_LINE_BUFFER);
    char title[256];
    FormatFileTitle(title, fLogRelative);
    bool ok = fprintf(f, "%s\n", title) > 0 && fprintf(f, "Date: %.04d-%.02d-%.02d\n", st.wYear, st.wMonth, st.wDay) > 0 &&
              fprintf(f, "Zeit        \tErster\tLetzter\tLeiste\tWerte\n") > 0 && fflush(f) == 0;
    if (!ok) {
        fclose(f);
        return false;
    }
    snprintf(szLogPath, sizeof(szLogPath), "%s", path);
    EnterCriticalSection(&csParams);
    SG_Params.wLogMode = fLogRelative ? LOG_RELATIVE : LOG_ABSOLUTE;
    SG_Params.pLogFile = f;
    LeaveCriticalSection(&csParams);
    return true;
}

// After a failed write the file may end inside a line (the buffer went out
// in part): cut it back to the last whole line, so that it holds whole lines
// up to the failure.
static void CutToWholeLines(const char *path)
{
    HANDLE h = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return;
    LARGE_INTEGER size;
    char chunk[4096];
    if (GetFileSizeEx(h, &size)) {
        LONGLONG end = size.QuadPart;
        while (end > 0) {
            LONGLONG start = end > (LONGLONG)sizeof(chunk) ? end - (LONGLONG)sizeof(chunk) : 0;
            LARGE_INTEGER at;
            at.QuadPart = start;
            DWORD got = 0;
            if (!SetFilePointerEx(h, at, NULL, FILE_BEGIN) || !ReadFile(h, chunk, (DWORD)(end - start), &got, NULL) ||
                got != (DWORD)(end - start))
                break;
            DWORD i = got;
            while (i > 0 && chunk[i - 1] != '\n')
                i--;
            if (i > 0 || start == 0) {
                at.QuadPart = start + i;
                if (at.QuadPart != size.QuadPart && SetFilePointerEx(h, at, NULL, FILE_BEGIN))
                    SetEndOfFile(h);
                break;
            }
            end = start;
        }
    }
    CloseHandle(h);
}

void Log_Stop()
{
    EnterCriticalSection(&csParams);
    SG_Params.wLogMode = LOG_OFF;
    LeaveCriticalSection(&csParams);
}

void Log_Close()
{
    EnterCriticalSection(&csParams);
    if (SG_Params.pLogFile) {
        bool failed = ferror(SG_Params.pLogFile) != 0;
        failed = fclose(SG_Params.pLogFile) != 0 || failed;
        if (failed)
            CutToWholeLines(szLogPath);
    }
    SG_Params.pLogFile = NULL;
    SG_Params.wLogMode = LOG_OFF;
    LeaveCriticalSection(&csParams);
    UpdateToolbarStates(DI.hwndToolbar);
    UpdateTitle();
}
