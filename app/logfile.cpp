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
    if (!RunFileDialog(owner, true, IDS_LOG_TITLE, IDS_LOG_FILTER, name, "log", true))
        return;
    SYSTEMTIME st;
    GetLocalTime(&st);
    char path[MAX_PATH + 1];
    FILE *f = Log_MakeFileName(path, name, st) ? fopen(path, "w") : NULL;
    if (f) {
        char title[256];
        FormatTitle(title, fLogRelative);
        bool ok = fprintf(f, "%s\n", title) > 0 && fprintf(f, "Date: %.04d-%.02d-%.02d\n", st.wYear, st.wMonth, st.wDay) > 0 &&
                  fprintf(f, "Zeit        \tErster\tLetzter\tLeiste\tWerte\n") > 0;
        if (ok) {
            EnterCriticalSection(&csParams);
            SG_Params.wLogMode = fLogRelative ? 2 : 1;
            SG_Params.pLogFile = f;
            LeaveCriticalSection(&csParams);
        } else {
            fclose(f);
        }
    }
    if (!SG_Params.pLogFile) {
        char text[256], caption[64];
        LoadStringA(hInst, IDS_LOG_ERROR, text, sizeof(text));
        LoadStringA(hInst, IDS_LOG_TITLE, caption, sizeof(caption));
        MessageBoxA(owner, text, caption, MB_OK | MB_ICONERROR);
    }
    UpdateToolbarStates(DI.hwndToolbar);
}

void Log_Stop()
{
    EnterCriticalSection(&csParams);
    SG_Params.wLogMode = 0;
    LeaveCriticalSection(&csParams);
}

void Log_Close()
{
    EnterCriticalSection(&csParams);
    if (SG_Params.pLogFile)
        fclose(SG_Params.pLogFile);
    SG_Params.pLogFile = NULL;
    SG_Params.wLogMode = 0;
    LeaveCriticalSection(&csParams);
    UpdateToolbarStates(DI.hwndToolbar);
    UpdateTitle();
}
