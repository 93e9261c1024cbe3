// Streaming Base64 decoder: one call per expected byte, reading characters
// from the port until a byte is complete or something else turns up.
#include "link.h"

int B64_CharValue(char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

// The accumulator carries the phase in bits 0-1 and the pending high bits of
// the next byte in bits 2-7; the caller sets it to 0 at the start of a record.
int B64_GetByte(QIRA_PORT *port, BYTE &acc, BYTE &out)
{
    for (;;) {
        BYTE c;
        int got = Link_RxByte(port, &c);
        if (got < 0)
            return B64_READ_FAILED;
        if (got == 0)
            return B64_EMPTY;
        if (c == '\r')
            continue;
        if (c == '\n') {
            if (acc != 0) {
                acc = 0;
                return B64_FORMAT;
            }
            return B64_END;
        }
        if (c == '=') {
            bool pending = (acc & 0xFC) != 0;
            acc = 0;
            return pending ? B64_FORMAT : B64_PAD;
        }
        int d = B64_CharValue(c);
        if (d < 0) {
            acc = 0;
            return B64_FORMAT;
        }
        switch (acc & 3) {
        case 0:
            acc = (BYTE)(d * 4 + 1);
            continue;
        case 1:
            out = (BYTE)((acc & 0xFC) | (d >> 4));
            acc = (BYTE)(((d << 4) & 0xFF) | 2);
            return B64_BYTE;
        case 2:
            out = (BYTE)((acc & 0xFC) | (d >> 2));
            acc = (BYTE)(((d << 6) & 0xFF) | 3);
            return B64_BYTE;
        default:
            out = (BYTE)((acc & 0xFC) | d);
            acc = 0;
            return B64_BYTE;
        }
    }
}

// Four characters per three bytes; a short last group has one or two data
// characters more and at least one pad; then the LF. CRs only add to it.
DWORD B64_MinRecordChars(DWORD bytes)
{
    return 4 * (bytes / 3) + (bytes % 3 ? bytes % 3 + 2 : 0) + 1;
}
