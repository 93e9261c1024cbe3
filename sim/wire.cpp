// What the tool sends and what it gets back: the old binary request with its
// binary answer, and the B64 commands with their Base64 records. The variant
// follows from the bytes received.
#include "sim.h"

#include <stdio.h>

#include "b64encode.h"

namespace {

// The B64 variants: the parameter command and the trigger bytes.
struct B64State {
    bool valid = false;
    int type = 0, rod = 0, first = 1, last = 100, diag = 0;
} cmd;

// The old request's mode byte last answered: the pass over the diagonal
// beams belongs to the cycle of the pass over the straight ones before it.
int lastMode = -1;

void SendB64Record()
{
    lastMode = -1;
    std::vector<int> bytes;
    Sample sample(cmd.type, cmd.rod, false);
    if (cmd.type == 0 || cmd.type == 3)
        bytes.push_back(cmd.type == 0 ? sample.Offset() : 0);
    if (cmd.diag && cmd.type != 3) {
        for (int b = cmd.first | 1; b <= cmd.last; b += 2)
            bytes.push_back(sample.Value(b));
        for (int b = (cmd.first + 1) & ~1; b <= cmd.last; b += 2)
            bytes.push_back(sample.Value(b));
    } else {
        for (int b = cmd.first; b <= cmd.last; b++)
            bytes.push_back(sample.Value(b));
    }
    SendRecord(Base64Encode(bytes), opt.crlf ? "\r\n" : "\n", true);
}

void Command(const std::string &line)
{
    Trace("command %s", line.c_str());
    char letter;
    int rod, first, last, diag, gain, type = 0;
    bool parsed = sscanf(line.c_str(), "~%c %d %d %d %d %d", &letter, &rod, &first, &last, &diag, &gain) == 6;
    while (parsed && type < kValueTypes && kValueType[type].letter != letter)
        type++;
    if (!parsed || type == kValueTypes || first < 1 || last > kMaxBeam || first > last || rod < 0 || rod > 1) {
        Trace("command ignored");
        return;
    }
    cmd = {true, type, rod, first, last, diag};
    out.Abort();
    SendB64Record();
}

// Mode byte of the old request: the value type's own, plus 1 for the pass
// over the diagonal (even) beams, plus 2 for rod pair 2.
bool DecodeMode(int mode, int *type, int *rod, int *even)
{
    for (int t = 0; t < kValueTypes; t++)
        for (int r = 0; r < 2; r++)
            for (int e = 0; e <= (int)kValueType[t].evenPass; e++)
                if (mode == kValueType[t].mode + e + 2 * r) {
                    *type = t, *rod = r, *even = e;
                    return true;
                }
    return false;
}

// The old protocol: 0x80, first and last position, gain, mode.
void OldRequest(const unsigned char *r)
{
    Trace("request %02X %02X %02X %02X %02X %02X %02X %02X", r[0], r[1], r[2], r[3], r[4], r[5], r[6], r[7]);
    int first = r[1] << 8 | r[2], last = r[3] << 8 | r[4], type, rod, even;
    if (!DecodeMode(r[7], &type, &rod, &even)) {
        Trace("request ignored");
        return;
    }
    std::string data;
    Sample sample(type, rod, even && lastMode == r[7] - 1);
    lastMode = r[7];
    if (type == 0)
        data += (char)sample.Offset();
    for (int p = first; p <= last && p <= kMaxBeam; p++) {
        int beam = even ? 2 * p : opt.diagonal ? 2 * p - 1 : p;
        data += (char)sample.Value(beam);
    }
    out.Abort();
    SendRecord(data, "", false);
}

struct Parser {
    std::string line;
    bool inLine = false;
    unsigned char req[8];
    int reqLen = 0;

    void Feed(unsigned char c)
    {
        if (reqLen > 0) {
            req[reqLen++] = c;
            if (reqLen == 8) {
                reqLen = 0;
                OldRequest(req);
            }
            return;
        }
        if (inLine) {
            if (c == '\n') {
                inLine = false;
                Command(line);
            } else if (c != '\r' && line.size() < 200) {
                line += (char)c;
            }
            return;
        }
        switch (c) {
        case 0x80:
            req[0] = c;
            reqLen = 1;
            break;
        case '~':
            inLine = true;
            line = "~";
            break;
        case '1':
        case '2':
            Trace("trigger %c", c);
            // A trigger while a record is still on its way, or still unread on
            // the line (a short one sent at once), is not a new request: the
            // tool sends a parameter command and its first trigger back to back.
            if (cmd.valid && !out.Busy() && LineQueued() == 0)
                SendB64Record();
            break;
        case '0':
            Trace("stop 0");
            out.Abort();
            break;
        case 'q':
            Trace("quit q");
            out.Abort();
            cmd.valid = false;
            break;
        default:
            break;
        }
    }
} parser;

}   // namespace

void Wire_Feed(unsigned char c)
{
    parser.Feed(c);
}
