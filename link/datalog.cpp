// Data log lines, written by the communication thread after each cycle.
#include "link.h"

#include <math.h>
#include <stdio.h>

// Decimal digits of v at p; returns the end. Same text as "%d".
static char *PutInt(char *p, int v)
{
    unsigned u = v < 0 ? 0u - (unsigned)v : (unsigned)v;
    char digits[10];
    int n = 0;
    do
        digits[n++] = (char)('0' + u % 10);
    while (u /= 10);
    if (v < 0)
        *p++ = '-';
    while (n)
        *p++ = digits[--n];
    return p;
}

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
    // The line is formatted here and written with one call: a call per value
    // costs as much as a fast line's bytes on the wire.
    static char line[LOG_LINE_BUFFER];   // this thread's alone
    char *p = line;
    if (last >= first) {
        int n = snprintf(line, 64, "%.02d:%.02d:%.02d,%.03d\t%d\t%d\t%d\t", st.wHour, st.wMinute, st.wSecond,
                         st.wMilliseconds, (int)P.iFirst, (int)P.iLast, (int)P.iRodno);
        p = n > 0 && n < 64 ? line + n : NULL;
    }
    for (int b = first; b <= last && b <= LAST_BEAM && p; b++) {
        int v = Link_ValueAsShown(d, d.aiValue, b, P.iMinAbsValue);
        int r = Link_ReferenceAsShown(P.iRodno, b, P.iMinAbsValue);
        int out = v;
        if (mode == LOG_RELATIVE)
            out = r == 0 ? 0 : (int)lround((double)v * 100.0 / (double)r);
        p = PutInt(p, out);
        *p++ = b == last ? '\n' : '\t';
    }
    size_t n = p ? (size_t)(p - line) : 0;
    // Each line goes to the system at once (the stream's buffer holds a
    // whole line): a crash, a kill or a power cut loses at
    // most the line being written, and a stopped run leaves nothing behind.
    bool ok = n > 0 && fwrite(line, 1, n, stream) == n && fflush(stream) == 0 && !ferror(stream);
    if (!ok)
        SendMessageA(hwndLinkNotify, WM_COMM_NOTIFY, MAKEWPARAM(CN_CLOSELOG, CLOSELOG_WRITE_FAILED), 0);
}
