// Data log lines, written by the communication thread after each cycle.
#include "link.h"

#include <math.h>

void Log_WriteLine(WORD mode, FILE *stream)
{
    if (mode == LOG_OFF) {
        // Logging is to end: the window thread owns the stream and closes it.
        SendMessageA(hwndLinkNotify, WM_COMM_NOTIFY, MAKEWPARAM(CN_CLOSELOG, CLOSELOG_STOP), 0);
        return;
    }
    const SG_DATA &d = SG_Work;
    const SG_PARAMS &P = d.Params;
    SYSTEMTIME st;
    GetLocalTime(&st);
    WORD first = (WORD)P.iFirst, last = (WORD)P.iLast;
    bool ok = false;
    if (last >= first)
        ok = fprintf(stream, "%.02d:%.02d:%.02d,%.03d%s%d%s%d%s%d%s", st.wHour, st.wMinute, st.wSecond,
                     st.wMilliseconds, "\t", (int)P.iFirst, "\t", (int)P.iLast, "\t", (int)P.iRodno, "\t") > 0;
    for (int b = first; b <= last && b <= LAST_BEAM && ok; b++) {
        int v = Link_ValueAsShown(d, d.aiValue, b, P.iMinAbsValue);
        int r = Link_ReferenceAsShown(P.iRodno, b, P.iMinAbsValue);
        int out = v;
        if (mode == LOG_RELATIVE)
            out = r == 0 ? 0 : (int)lround((double)v * 100.0 / (double)r);
        ok = fprintf(stream, "%d%s", out, b == last ? "\n" : "\t") > 0;
    }
    // The line went into the stream's buffer; a failed write of that buffer
    // (a full disk) shows only in the stream's error state.
    if (ok && ferror(stream))
        ok = false;
    if (!ok)
        SendMessageA(hwndLinkNotify, WM_COMM_NOTIFY, MAKEWPARAM(CN_CLOSELOG, CLOSELOG_WRITE_FAILED), 0);
}
