// Lines of a log in a fixed buffer, whatever their ending (LF, CR LF or CR
// alone). A line longer than any real log line is passed over without being
// kept; a last line without an ending is reported as such, since a log that
// is still being written ends in the middle of a line.
#include "logread.h"

#include <string.h>

#define CHUNK (1 << 20)

bool Rep_OpenLines(REP_LINES *ls, const char *path, uint64_t limit)
{
    std::unique_ptr<char[]> buf = std::move(ls->pBuf);   // a reader opened again keeps its buffer
    *ls = REP_LINES();
    ls->pFile = fopen(path, "rb");   // binary: no CR LF translation, no stop at Ctrl+Z
    if (!ls->pFile)
        return false;
    ls->nBuf = CHUNK + REP_MAX_LINE;
    ls->pBuf = buf ? std::move(buf) : std::unique_ptr<char[]>(new char[ls->nBuf]);
    ls->nLimit = limit;
    return true;
}

static void Refill(REP_LINES *ls)
{
    char *buf = ls->pBuf.get();
    memmove(buf, buf + ls->iPos, ls->iEnd - ls->iPos);
    ls->iEnd -= ls->iPos;
    ls->iPos = 0;
    uint64_t want = ls->nBuf - ls->iEnd;
    if (want > ls->nLimit - ls->nRead)
        want = ls->nLimit - ls->nRead;
    size_t got = want ? fread(buf + ls->iEnd, 1, (size_t)want, ls->pFile) : 0;
    ls->iEnd += got;
    ls->nRead += got;
    if (got == 0)
        ls->fEof = true;
}

// The first CR or LF, eight bytes at a time: a byte equal to c gives a zero
// byte in x ^ c, which the borrow of the subtraction marks.
static char *LineEnd(char *p, char *e)
{
    const uint64_t ones = 0x0101010101010101ULL, highs = 0x8080808080808080ULL;
    for (; e - p >= 8; p += 8) {
        uint64_t x, lf, cr;
        memcpy(&x, p, 8);
        lf = x ^ (ones * '\n');
        cr = x ^ (ones * '\r');
        if (((lf - ones) & ~lf & highs) | ((cr - ones) & ~cr & highs))
            break;
    }
    while (p < e && *p != '\n' && *p != '\r')
        p++;
    return p;
}

int Rep_NextLine(REP_LINES *ls, const char **line, size_t *len)
{
    for (;;) {
        char *buf = ls->pBuf.get();
        char *p = buf + ls->iPos, *e = buf + ls->iEnd, *t = LineEnd(p, e);
        // A CR at the end of the buffer may be the first half of CR LF.
        if (t < e && !(*t == '\r' && t + 1 == e && !ls->fEof)) {
            size_t next = (size_t)(t - buf) + 1;
            if (*t == '\r' && t + 1 < e && t[1] == '\n')
                next++;
            ls->iPos = next;
            ls->nLine++;
            *line = p;
            *len = (size_t)(t - p);
            bool skipped = ls->fSkipping;
            ls->fSkipping = false;
            return skipped || *len > REP_MAX_LINE ? REP_LINE_LONG : REP_LINE_OK;
        }
        if (t == e && (ls->fSkipping || (size_t)(e - p) > REP_MAX_LINE)) {
            ls->fSkipping = true;   // drop what we have of an overlong line
            ls->iPos = ls->iEnd;
        }
        if (ls->fEof) {
            if (ls->iPos == ls->iEnd && !ls->fSkipping)
                return REP_LINE_END;
            ls->nLine++;
            *line = buf + ls->iPos;
            *len = ls->iEnd - ls->iPos;
            ls->iPos = ls->iEnd;
            bool skipped = ls->fSkipping;
            ls->fSkipping = false;
            return skipped ? REP_LINE_LONG : REP_LINE_OPEN;
        }
        Refill(ls);
    }
}

bool Rep_LinesFailed(const REP_LINES *ls)
{
    return !ls->pFile || ferror(ls->pFile);
}

void Rep_CloseLines(REP_LINES *ls)
{
    if (ls->pFile)
        fclose(ls->pFile);
    ls->pFile = nullptr;
}
