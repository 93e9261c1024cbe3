// zebsim: plays a beam grid controller on a serial line, in all three
// protocol variants, with believable data, injectable faults, or a data log
// of the program played back. This file: the command line and the main loop.
#include <errno.h>
#include <getopt.h>
#include <poll.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <limits.h>

#include "sim.h"

Options opt;

namespace {

const char kUsage[] =
    "usage: zebsim (--link PATH | --tty DEVICE) [options] [--replay LOG [LOG...]]\n"
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
    "  --version          zebsim's version\n"
    "\n"
    "Without --pattern or --replay the signals live: each beam 150..215 above an\n"
    "offset that drifts around 20, about 4 % of the beams weak (45..75), noise of\n"
    "a few counts; and in the first 40 of every 120 records an object crosses the\n"
    "whole grid, 13 beams wide, darkening each beam it covers. A measurement over\n"
    "those records sees a maximum - minimum of about each beam's level, so a noise\n"
    "limit fails every beam; --pattern gives steady values to judge.\n"
    "\n"
    "Playing back data logs the program wrote (absolute values, one value type;\n"
    "several logs in the order given are one recording):\n"
    "  --replay LOG...    each record asked for answers with the next logged\n"
    "                     cycle: signal strengths as the logged value above a\n"
    "                     steady offset of 20, so the program shows and logs the\n"
    "                     logged values again. Beams and value types the\n"
    "                     recording does not hold answer with simulated values\n"
    "                     (standard error says so once). At the end the last\n"
    "                     cycle repeats\n"
    "  --loop             start over at the end of the recording\n"
    "  --realtime         keep the recording's pace: each answer is the cycle\n"
    "                     logged that long after the first one as the first\n"
    "                     request is ago, whatever the tool's cycle time\n"
    "An unusable log (not a data log, no data line, relative values, value\n"
    "types mixed) ends zebsim at once with one line on standard error and exit\n"
    "status 2; malformed lines are skipped, and standard error counts them.\n";

FILE *trace = nullptr;
volatile sig_atomic_t quit = 0;

void OnSignal(int)
{
    quit = 1;
}

// What was wrong, in one line, and where the options are listed.
[[noreturn]] void Refuse(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
void Refuse(const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    fputs("zebsim: ", stderr);
    vfprintf(stderr, fmt, ap);
    va_end(ap);
    fputs(" (zebsim --help lists the options)\n", stderr);
    exit(2);
}

// A whole number of the option's range, or a refusal naming option, value and range.
long Number(const char *name, const char *value, long lo, long hi)
{
    char *end;
    errno = 0;
    long n = strtol(value, &end, 10);
    if (end == value || *end || errno || n < lo || n > hi)
        Refuse("--%s %s: a whole number %ld..%ld expected", name, value, lo, hi);
    return n;
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
    enum { LINK = 1000, TTY, BAUD, BEAMS, DIAG, SEED, PATTERN, CRLF, FAULT, FAULTAT, FAULTCOUNT, LATE, TRACE, PARENT,
           VERBOSE, HELP, WEAK, REPLAY, LOOP, REALTIME, VERSION };
    static const option longs[] = {
        {"link", 1, 0, LINK}, {"tty", 1, 0, TTY}, {"baud", 1, 0, BAUD}, {"beams", 1, 0, BEAMS},
        {"diagonal", 0, 0, DIAG}, {"seed", 1, 0, SEED}, {"pattern", 0, 0, PATTERN}, {"crlf", 0, 0, CRLF},
        {"fault", 1, 0, FAULT}, {"fault-at", 1, 0, FAULTAT}, {"fault-count", 1, 0, FAULTCOUNT},
        {"late-ms", 1, 0, LATE}, {"trace", 1, 0, TRACE}, {"exit-with-parent", 0, 0, PARENT},
        {"verbose", 0, 0, VERBOSE}, {"help", 0, 0, HELP}, {"weak", 1, 0, WEAK}, {"replay", 1, 0, REPLAY},
        {"loop", 0, 0, LOOP}, {"realtime", 0, 0, REALTIME}, {"version", 0, 0, VERSION}, {0, 0, 0, 0}};
    int c;
    opterr = 0;   // its messages name no range; Refuse does
    while ((c = getopt_long(argc, argv, ":", longs, nullptr)) != -1) {
        switch (c) {
        case LINK: opt.link = optarg; break;
        case TTY: opt.tty = optarg; break;
        case BAUD: opt.baud = (int)Number("baud", optarg, 0, 4000000); break;
        case BEAMS: opt.beams = (int)Number("beams", optarg, 1, kMaxBeam); break;
        case DIAG: opt.diagonal = true; break;
        case SEED: opt.seed = (unsigned)Number("seed", optarg, 0, UINT_MAX); break;
        case PATTERN: opt.pattern = true; break;
        case CRLF: opt.crlf = true; break;
        case FAULT: opt.fault = optarg; break;
        case FAULTAT: opt.faultAt = (int)Number("fault-at", optarg, 1, INT_MAX); break;
        case FAULTCOUNT: opt.faultCount = (int)Number("fault-count", optarg, 0, INT_MAX); break;
        case LATE: opt.lateMs = (int)Number("late-ms", optarg, 0, 3600000); break;
        case TRACE: opt.trace = optarg; break;
        case PARENT: opt.exitWithParent = true; break;
        case VERBOSE: opt.verbose = true; break;
        case HELP: fputs(kUsage, stdout); exit(0);
        case VERSION: puts("zebsim " ZEB_VERSION); exit(0);
        case WEAK:
            if (!ParseWeak(optarg))
                Refuse("--weak %s: beam numbers 1..%d separated by commas expected", optarg, kMaxBeam);
            break;
        case REPLAY: opt.replay.push_back(optarg); break;
        case LOOP: opt.loop = true; break;
        case REALTIME: opt.realtime = true; break;
        case ':': Refuse("%s needs a value", argv[optind - 1]);
        default: Refuse("%s: no such option", argv[optind - 1]);
        }
    }
    // Further logs of the recording follow --replay without an option name.
    bool replaying = !opt.replay.empty();
    for (int i = optind; i < argc; i++)
        opt.replay.push_back(argv[i]);
    static const char *faults[] = {"", "silence", "truncate", "badchar", "extra", "pad", "late", "hangup"};
    bool known = false;
    for (const char *f : faults)
        known |= opt.fault == f;
    if (!known)
        Refuse("--fault %s: one of silence, truncate, badchar, extra, pad, late, hangup expected", opt.fault.c_str());
    if (opt.link.empty() == opt.tty.empty())
        Refuse("give either --link PATH or --tty DEVICE");
    if (!replaying && optind < argc)
        Refuse("%s: logs to play back follow --replay", argv[optind]);
    if (!replaying && (opt.loop || opt.realtime))
        Refuse("--%s plays a recording back: give --replay LOG", opt.loop ? "loop" : "realtime");
}

}   // namespace

double NowMs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

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

int main(int argc, char **argv)
{
    ParseArgs(argc, argv);
    std::string error;
    // An unusable recording is refused before the line exists, so nothing
    // waits on a controller that will never answer.
    if (!opt.replay.empty() && !Replay_Open(&error)) {
        fprintf(stderr, "zebsim: %s\n", error.c_str());
        return 2;
    }
    if (!opt.trace.empty())
        trace = fopen(opt.trace.c_str(), "a");
    signal(SIGTERM, OnSignal);
    signal(SIGINT, OnSignal);
    signal(SIGHUP, OnSignal);
    signal(SIGPIPE, SIG_IGN);
    pid_t parent = getppid();
    Signals_Init();
    int fd = OpenLine();
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
                Wire_Feed(buf[i]);
        } else if (n > 0 && (p.revents & (POLLHUP | POLLERR))) {
            usleep(20000);   // a real device went away for a moment
        }
    }
    if (!opt.link.empty() && LinkIsOurs())
        unlink(opt.link.c_str());
    Trace("exit");
    return 0;
}
