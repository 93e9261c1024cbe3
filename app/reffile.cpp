// Reference files: one "beam value" pair a line. Needs nothing of the
// platform, so that it is tested on any.
#include "reffile.h"

#include <ctype.h>
#include <errno.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>

// One decimal integer; no overflow: a number beyond 32 bits is not a number here.
static const char *ReadInt(const char *p, int *out)
{
    while (isspace((unsigned char)*p))
        p++;
    char *end;
    errno = 0;
    long long v = strtoll(p, &end, 10);
    if (end == p || errno == ERANGE || v < INT_MIN || v > INT_MAX)
        return NULL;
    *out = (int)v;
    return end;
}

bool ParseReferenceLine(const char *line, int *beam, int *value)
{
    const char *p = ReadInt(line, beam);
    if (!p || !isspace((unsigned char)*p))
        return false;
    p = ReadInt(p, value);
    if (!p)
        return false;
    while (isspace((unsigned char)*p))
        p++;
    return *p == 0;   // nothing but white space after the two numbers
}

int ReadReferenceFile(const char *path, int first, int last, int32_t *values, unsigned char *seen)
{
    FILE *f = fopen(path, "r");
    if (!f)
        return -1;
    int count = 0;
    char line[512];
    for (;;) {
        // A line longer than the buffer is one line, passed over whole.
        size_t n = 0;
        bool tooLong = false;
        int c;
        while ((c = fgetc(f)) != EOF && c != '\n') {
            if (n + 1 < sizeof(line))
                line[n++] = (char)c;
            else
                tooLong = true;
        }
        if (c == EOF && n == 0)
            break;
        line[n] = 0;
        int b, v;
        if (!tooLong && ParseReferenceLine(line, &b, &v) && b >= first && b <= last && b >= 1 && b < REF_BEAMS) {
            values[b] = v;
            if (seen)
                seen[b] = 1;
            count++;
        }
    }
    fclose(f);
    return count;
}

