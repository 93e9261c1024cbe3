// zebsim: plays a beam grid controller on a serial line, in all three
// protocol variants, with believable data and injectable faults.
#include <fcntl.h>
#include <getopt.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <stdarg.h>
#include <errno.h>

#include <algorithm>
#include <cmath>
#include <deque>
#include <random>
#include <string>
#include <vector>

#include "b64encode.h"
#include "sim_valuetypes.h"

namespace {

const int kMaxBeam = 999;

const int kValueTypes = sizeof(kValueType) / sizeof(kValueType[0]);

struct Options {
    std::string link, tty, trace, fault;
    int beams = 200;
    int baud = 38400;
    unsigned seed = 1;
    bool crlf = false, pattern = false, diagonal = false, verbose = false, exitWithParent = false;
    int faultAt = 3, faultCount = 1, lateMs = 800;
    bool weak[kMaxBeam + 1] = {};
};

const char kUsage[] =
    "usage: zebsim (--link PATH | --tty DEVICE) [options]\n"
    "Plays the controller of a beam grid on a serial line. It answers the old\n"
    "binary request (0x80 ...) and the B64 commands (\"~s 0 1 100 0 0\", \"0\",\n"
    "\"1\", \"2\", \"q\"); the variant follows from what it receives.\n"
    "\n"
    "  --link PATH        create a pty and link PATH to its far end (for example\n"
    "                     $WINEPREFIX/dosdevices/com1); the link is removed at exit,\n"
    "                     and zebsim ends when someone else removes or replaces it\n"
    "  --tty DEVICE       serve a real serial device instead (8N1 at --baud)\n"
    "  --baud N           bit rate used to pace the output, one character time\n"
    "                     (10 bits) per byte, handed over in bursts of 16\n"
    "                     characters (1 ms at least) as a UART's receive FIFO\n"
    "                     does; 0 sends at once (default 38400)\n"
    "  --beams N          beams the rods carry, 1..999; beams past them read 0\n"
    "                     (default 200)\n"
    "  --diagonal         the rods carry diagonal beams: old-protocol position p\n"
    "                     is straight beam 2p-1 and diagonal beam 2p\n"
    "  --seed N           seed of the simulated signals (default 1)\n"
    "  --pattern          fixed values instead of living signals: offset 20,\n"
    "                     beam b of rod r reads 40 + (37b + 11r) mod 200 above the\n"
    "                     offset (signal), 50 + (13b + 5r) mod 150 (feedback),\n"
    "                     40 + (7b + r) mod 200 (reference)\n"
    "  --weak LIST        beams whose signal is weak, as behind a dirty lens: they\n"
    "                     read about 12 above the offset (LIST: 5,17,40)\n"
    "  --crlf             end B64 records with CR LF instead of LF\n"
    "  --fault KIND       spoil records: silence (no answer), truncate (half a\n"
    "                     record), badchar (a character outside the Base64\n"
    "                     alphabet), extra (bytes after the record), pad (a \"=\"\n"
    "                     inside the data), late (a pause of --late-ms in the\n"
    "                     middle), hangup (close the line and exit)\n"
    "                     badchar and pad apply to B64 records only\n"
    "  --fault-at N       first record to spoil, counting from 1 (default 3)\n"
    "  --fault-count N    records to spoil from there, 0 = all (default 1)\n"
    "  --late-ms N        pause of the late fault (default 800)\n"
    "  --trace FILE       append one line per command received and record sent\n"
    "  --exit-with-parent end when the process that started zebsim ends\n"
    "  --verbose          the trace also goes to standard error\n"
    "  --help             this text\n"
    "  --version          zebsim's version\n";

Options opt;
int fd = -1;
std::string slavePath;
FILE *trace = nullptr;
volatile sig_atomic_t quit = 0;

double NowMs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

void Trace(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
void Trace(const char *fmt, ...)
{
    char line[512];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(line, sizeof(line), fmt, ap);
    va_end(ap);
    if (trace) {
        fprintf(trace, "%s\n", line);
        fflush(trace);
    }
    if (opt.verbose)
        fprintf(stderr, "zebsim: %s\n", line);
}

// The grid: per rod pair and beam a signal level, feedback values and the
// stored reference; an offset that drifts, noise, and now and then an object
// passing through the beams.
struct Grid {
    std::mt19937 rng;
    double level[2][kMaxBeam + 1], fbRx[2][kMaxBeam + 1], fbTx[2][kMaxBeam + 1], ref[2][kMaxBeam + 1];
    long cycle = 0;
    double t0 = NowMs();

    void Init()
    {
        rng.seed(opt.seed);
        std::uniform_real_distribution<double> lv(150, 215), fb(95, 150), drift(-8, 8), u(0, 1);
        for (int r = 0; r < 2; r++)
            for (int b = 1; b <= kMaxBeam; b++) {
                level[r][b] = lv(rng);
                if (u(rng) < 0.04)
                    level[r][b] = 45 + 30 * u(rng);   // a weak beam: dirty lens or misaligned
                fbRx[r][b] = fb(rng);
                fbTx[r][b] = fb(rng) + 10;
                ref[r][b] = level[r][b] + drift(rng);
            }
    }

    int Offset()
    {
        if (opt.pattern)
            return 20;
        double t = (NowMs() - t0) / 1000.0;
        std::normal_distribution<double> n(0, 0.6);
        return Clamp(20 + 6 * std::sin(t / 20.0) + n(rng));
    }

    // Beams an object covers in this cycle: it crosses the grid now and then.
    bool Covered(int beam)
    {
        long phase = cycle % 120;
        if (phase >= 40)
            return false;
        int centre = (int)(phase * opt.beams / 40);
        return std::abs(beam - centre) <= 6;
    }

    static int Clamp(double v) { return v < 0 ? 0 : v > 255 ? 255 : (int)std::lround(v); }

    int Value(int type, int rod, int beam, int offset)
    {
        if (beam < 1 || beam > opt.beams)
            return 0;
        if (type == 0 && opt.weak[beam])
            return Clamp(offset + 12 + (opt.pattern ? 0 : std::normal_distribution<double>(0, 1.6)(rng)));
        if (opt.pattern) {
            switch (type) {
            case 0: return Clamp(offset + 40 + (37 * beam + 11 * rod) % 200);
            case 3: return Clamp(40 + (7 * beam + rod) % 200);
            default: return Clamp(50 + (13 * beam + 5 * rod) % 150);
            }
        }
        std::normal_distribution<double> noise(0, 1.6);
        switch (type) {
        case 0:
            if (Covered(beam))
                return Clamp(offset + 4 + noise(rng));
            return Clamp(offset + level[rod][beam] + noise(rng));
        case 1: return Clamp(fbRx[rod][beam] + noise(rng) / 2);
        case 2: return Clamp(fbTx[rod][beam] + noise(rng) / 2);
        default: return Clamp(ref[rod][beam]);
        }
    }
} grid;

// Output paced like a UART at --baud: a byte is complete on the line one
// character time (10 bits) after the one before it, counted from when the
// line fell idle, against an absolute schedule. Bytes leave in small bursts,
// as a UART's receive FIFO hands them over: one every 16 character times
// (at least a millisecond apart), never more than a burst behind their time,
// and the last byte queued leaves on time, so a record takes its wire time
// however late the process wakes. A segment may be held back until a given
// time (the late fault).
struct Output {
    std::deque<std::pair<unsigned char, double>> bytes;   // byte, time it is complete
    double lineFree = 0;   // when the last byte queued is complete

    bool Busy() const { return !bytes.empty(); }
    void Abort()
    {
        bytes.clear();
        lineFree = std::min(lineFree, NowMs());
    }
    double CharMs() const { return opt.baud > 0 ? 10000.0 / opt.baud : 0; }
    double BurstMs() const { return std::max(1.0, 16 * CharMs()); }
    void Add(const std::string &s, double notBefore = 0)
    {
        double t = std::max({lineFree, notBefore, NowMs()});
        for (unsigned char c : s)
            bytes.push_back({c, t += CharMs()});
        lineFree = t;
    }

    // Writes what is due; returns the time of the next burst, or -1.
    double Pump()
    {
        std::string burst;
        double now = NowMs();
        while (!bytes.empty() && bytes.front().second <= now) {
            burst += (char)bytes.front().first;
            bytes.pop_front();
        }
        if (!burst.empty() && write(fd, burst.data(), burst.size()) < 0)
            Trace("write failed: %s", strerror(errno));
        if (bytes.empty())
            return -1;
        return std::max(bytes.front().second, std::min(now + BurstMs(), bytes.back().second));
    }
} out;

int records = 0;
int heldSlave = -1;   // our own descriptor of the pty's far end

// Bytes written that the far end has not read yet.
int LineQueued()
{
    int n = 0;
    if (heldSlave >= 0)
        ioctl(heldSlave, FIONREAD, &n);
    else
        ioctl(fd, TIOCOUTQ, &n);
    return n;
}

bool Spoiled()
{
    if (opt.fault.empty() || records < opt.faultAt)
        return false;
    return opt.faultCount == 0 || records < opt.faultAt + opt.faultCount;
}

void HangUp()
{
    Trace("hangup");
    if (!opt.link.empty())
        unlink(opt.link.c_str());
    close(fd);
    Trace("exit");
    exit(0);
}

// Queues one record, spoiled if its number is due for the fault.
void Send(const std::string &data, const std::string &end, bool b64)
{
    records++;
    grid.cycle++;
    std::string text = data, fault = Spoiled() ? opt.fault : "";
    double pauseAt = -1;
    if (fault == "silence") {
        text.clear();
    } else if (fault == "truncate") {
        text = data.substr(0, data.size() / 2) + (b64 ? end : "");
    } else if (fault == "badchar" && b64 && !data.empty()) {
        text[data.size() / 2] = '*';
        text += end;
    } else if (fault == "extra") {
        text += b64 ? "QUJD" + end : std::string(1, '\x55');
    } else if (fault == "pad" && b64 && data.size() > 4) {
        text[4] = '=';
        text += end;
    } else if (fault == "late") {
        pauseAt = (double)data.size() / 2;
        text += b64 ? end : "";
    } else if (fault == "hangup") {
        HangUp();
    } else {
        text += b64 ? end : "";
    }
    Trace("record %d bytes %zu%s%s", records, text.size(), fault.empty() ? "" : " fault ", fault.c_str());
    if (pauseAt < 0) {
        out.Add(text);
    } else {
        size_t cut = (size_t)pauseAt;
        out.Add(text.substr(0, cut));
        out.Add(text.substr(cut), out.lineFree + opt.lateMs);
    }
}

std::string Base64(const std::vector<int> &bytes)
{
    return Base64Encode(bytes);
}

// The B64 variants: the parameter command and the trigger bytes.
struct B64State {
    bool valid = false;
    int type = 0, rod = 0, first = 1, last = 100, diag = 0;
} cmd;

void SendB64Record()
{
    std::vector<int> bytes;
    int offset = grid.Offset();
    if (cmd.type == 0 || cmd.type == 3)
        bytes.push_back(cmd.type == 0 ? offset : 0);
    if (cmd.diag && cmd.type != 3) {
        for (int b = cmd.first | 1; b <= cmd.last; b += 2)
            bytes.push_back(grid.Value(cmd.type, cmd.rod, b, offset));
        for (int b = (cmd.first + 1) & ~1; b <= cmd.last; b += 2)
            bytes.push_back(grid.Value(cmd.type, cmd.rod, b, offset));
    } else {
        for (int b = cmd.first; b <= cmd.last; b++)
            bytes.push_back(grid.Value(cmd.type, cmd.rod, b, offset));
    }
    Send(Base64(bytes), opt.crlf ? "\r\n" : "\n", true);
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
    int offset = grid.Offset();
    if (type == 0)
        data += (char)offset;
    for (int p = first; p <= last && p <= kMaxBeam; p++) {
        int beam = even ? 2 * p : opt.diagonal ? 2 * p - 1 : p;
        data += (char)grid.Value(type, rod, beam, offset);
    }
    out.Abort();
    Send(data, "", false);
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

bool LinkIsOurs()
{
    char target[512];
    ssize_t n = readlink(opt.link.c_str(), target, sizeof(target) - 1);
    if (n < 0)
        return false;
    target[n] = 0;
    return slavePath == target;
}

void OnSignal(int)
{
    quit = 1;
}

void MakeRaw(int f, int baud)
{
    termios t;
    if (tcgetattr(f, &t) != 0)
        return;
    cfmakeraw(&t);
    speed_t sp = baud == 9600 ? B9600 : baud == 19200 ? B19200 : baud == 57600 ? B57600
               : baud == 115200 ? B115200 : B38400;
    cfsetspeed(&t, sp);
    tcsetattr(f, TCSANOW, &t);
}

int OpenLine()
{
    if (!opt.tty.empty()) {
        int f = open(opt.tty.c_str(), O_RDWR | O_NOCTTY);
        if (f < 0) {
            fprintf(stderr, "zebsim: cannot open %s: %s\n", opt.tty.c_str(), strerror(errno));
            exit(1);
        }
        MakeRaw(f, opt.baud);
        fprintf(stderr, "zebsim: serving %s\n", opt.tty.c_str());
        return f;
    }
    int m = posix_openpt(O_RDWR | O_NOCTTY);
    if (m < 0 || grantpt(m) != 0 || unlockpt(m) != 0) {
        perror("zebsim: pty");
        exit(1);
    }
    const char *slave = ptsname(m);
    // Holding the far end open ourselves keeps the line from hanging up each
    // time the tool closes its port between measurement runs.
    int s = open(slave, O_RDWR | O_NOCTTY);
    if (s < 0) {
        perror("zebsim: pty slave");
        exit(1);
    }
    MakeRaw(s, 38400);
    heldSlave = s;
    unlink(opt.link.c_str());
    if (symlink(slave, opt.link.c_str()) != 0) {
        fprintf(stderr, "zebsim: cannot link %s: %s\n", opt.link.c_str(), strerror(errno));
        exit(1);
    }
    slavePath = slave;
    fprintf(stderr, "zebsim: serving %s -> %s at %d bit/s\n", opt.link.c_str(), slave, opt.baud);
    return m;
}

bool ParseWeak(const char *list)
{
    for (const char *p = list; *p;) {
        char *end;
        long b = strtol(p, &end, 10);
        if (end == p || b < 1 || b > kMaxBeam || (*end && *end != ','))
            return false;
        opt.weak[b] = true;
        p = *end ? end + 1 : end;
    }
    return true;
}

void ParseArgs(int argc, char **argv)
{
    enum { LINK = 1000, TTY, BAUD, BEAMS, DIAG, SEED, PATTERN, CRLF, FAULT, FAULTAT, FAULTCOUNT, LATE, TRACE, PARENT, VERBOSE, HELP, WEAK, VERSION };
    static const option longs[] = {
        {"link", 1, 0, LINK}, {"tty", 1, 0, TTY}, {"baud", 1, 0, BAUD}, {"beams", 1, 0, BEAMS},
        {"diagonal", 0, 0, DIAG}, {"seed", 1, 0, SEED}, {"pattern", 0, 0, PATTERN}, {"crlf", 0, 0, CRLF},
        {"fault", 1, 0, FAULT}, {"fault-at", 1, 0, FAULTAT}, {"fault-count", 1, 0, FAULTCOUNT},
        {"late-ms", 1, 0, LATE}, {"trace", 1, 0, TRACE}, {"exit-with-parent", 0, 0, PARENT},
        {"verbose", 0, 0, VERBOSE}, {"help", 0, 0, HELP}, {"weak", 1, 0, WEAK},
        {"version", 0, 0, VERSION}, {0, 0, 0, 0}};
    int c;
    while ((c = getopt_long(argc, argv, "", longs, nullptr)) != -1) {
        switch (c) {
        case LINK: opt.link = optarg; break;
        case TTY: opt.tty = optarg; break;
        case BAUD: opt.baud = atoi(optarg); break;
        case BEAMS: opt.beams = atoi(optarg); break;
        case DIAG: opt.diagonal = true; break;
        case SEED: opt.seed = (unsigned)strtoul(optarg, nullptr, 10); break;
        case PATTERN: opt.pattern = true; break;
        case CRLF: opt.crlf = true; break;
        case FAULT: opt.fault = optarg; break;
        case FAULTAT: opt.faultAt = atoi(optarg); break;
        case FAULTCOUNT: opt.faultCount = atoi(optarg); break;
        case LATE: opt.lateMs = atoi(optarg); break;
        case TRACE: opt.trace = optarg; break;
        case PARENT: opt.exitWithParent = true; break;
        case VERBOSE: opt.verbose = true; break;
        case HELP: fputs(kUsage, stdout); exit(0);
        case VERSION: puts("zebsim " ZEB_VERSION); exit(0);
        case WEAK:
            if (!ParseWeak(optarg)) {
                fputs(kUsage, stderr);
                exit(2);
            }
            break;
        default: fputs(kUsage, stderr); exit(2);
        }
    }
    static const char *faults[] = {"", "silence", "truncate", "badchar", "extra", "pad", "late", "hangup"};
    bool known = false;
    for (const char *f : faults)
        known |= opt.fault == f;
    if (opt.link.empty() == opt.tty.empty() || !known || opt.beams < 1 || opt.beams > kMaxBeam || opt.baud < 0) {
        fputs(kUsage, stderr);
        exit(2);
    }
}

}   // namespace

int main(int argc, char **argv)
{
    ParseArgs(argc, argv);
    if (!opt.trace.empty())
        trace = fopen(opt.trace.c_str(), "a");
    signal(SIGTERM, OnSignal);
    signal(SIGINT, OnSignal);
    signal(SIGHUP, OnSignal);
    signal(SIGPIPE, SIG_IGN);
    pid_t parent = getppid();
    grid.Init();
    fd = OpenLine();
    Trace("ready");
    while (!quit) {
        if (opt.exitWithParent && getppid() != parent)
            break;
        if (!opt.link.empty() && !LinkIsOurs())
            break;   // removed or taken over by another simulator: our line is gone
        double next = out.Pump();
        double waitMs = next < 0 ? 100 : std::min(100.0, std::max(0.0, next - NowMs()));
        timespec wait = {0, (long)(waitMs * 1e6)};
        pollfd p = {fd, POLLIN, 0};
        int n = ppoll(&p, 1, &wait, nullptr);
        if (n > 0 && (p.revents & POLLIN)) {
            unsigned char buf[256];
            ssize_t got = read(fd, buf, sizeof(buf));
            for (ssize_t i = 0; i < got; i++)
                parser.Feed(buf[i]);
        } else if (n > 0 && (p.revents & (POLLHUP | POLLERR))) {
            usleep(20000);   // a real device went away for a moment
        }
    }
    if (!opt.link.empty() && LinkIsOurs())
        unlink(opt.link.c_str());
    Trace("exit");
    return 0;
}
