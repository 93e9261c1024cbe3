// zebsim seen from the tool's end of its line (native, no Wine): it meets the
// bit rate it is given, answers each old-protocol value type from the right
// beams and sends one record per request; a replay answers with the logged
// cycle that is due, and refuses logs it cannot play.
//   zebsim_check PATH-TO-ZEBSIM
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "zebsim_peer.h"

static size_t RecordChars(int beams)
{
    return 4 * ((beams + 1 + 2) / 3) + 1;   // offset and beams in Base64, LF
}

// Shortest time from a request to the last character of its record, over
// three records of `beams` beams: waking late only ever adds time.
static double RecordMs(const Sim &sim, int beams)
{
    size_t chars = RecordChars(beams);
    double best = 1e9;
    for (int i = 0; i < 3; i++) {
        double t0 = NowMs(), t1 = t0;
        sim.Send(i == 0 ? "~s 0 1 " + std::to_string(beams) + " 0 0\n" : "1");
        std::string record = sim.Read('\n', 1000, &t1);
        CHECK(record.size() == chars, "%d beams: %zu characters, expected %zu", beams, record.size(), chars);
        best = std::min(best, t1 - t0);
    }
    return best;
}

// Ten bits per character: the characters a longer record has over a shorter
// one take their wire time within 1 % (fixed delays of both ends cancel),
// and no record arrives before its wire time.
static bool timing = true;   // off under the sanitizers, whose cost is no zebsim's
static void Pacing(const char *exe)
{
    struct { int baud, small, large; } rates[] = {
        {1200, 1, 10}, {38400, 10, 300}, {115200, 100, 999}, {460800, 100, 999}, {921600, 100, 999}};
    for (const auto &r : rates) {
        Sim sim(exe, {"--pattern", "--beams", "999", "--baud", std::to_string(r.baud)});
        size_t ns = RecordChars(r.small), nl = RecordChars(r.large);
        double c = 10000.0 / r.baud, ds = RecordMs(sim, r.small), dl = RecordMs(sim, r.large);
        double extra = (nl - ns) * c;
        printf("%7d bit/s: %4zu more characters in %8.3f ms, wire time %8.3f ms (%+.2f %%); "
               "%4zu characters in %8.3f ms for %8.3f ms\n",
               r.baud, nl - ns, dl - ds, extra, 100 * (dl - ds - extra) / extra, nl, dl, nl * c);
        CHECK(!timing || std::abs(dl - ds - extra) <= 0.01 * extra, "%d bit/s: %.3f ms for %.3f ms", r.baud, dl - ds,
              extra);
        CHECK(ds >= ns * c && dl >= nl * c, "%d bit/s: records faster than the line", r.baud);
    }
}

// Old protocol, feedback values: position p is beam p on either rod pair
// (the transmitter's mode byte 0x02 is no diagonal pass); B64: a trigger that
// finds the parameter command's record still unread on the line asks for
// nothing more.
static void Answers(const char *exe)
{
    Sim sim(exe, {"--pattern", "--baud", "0"});
    for (int rod = 0; rod < 2; rod++) {
        for (int type = 1; type <= 2; type++) {
            sim.Send({'\x80', 0, 1, 0, 5, 0, 0, (char)(type + 2 * rod)});
            std::string got = sim.Read(-1, 200), expected;
            for (int b = 1; b <= 5; b++)
                expected += (char)(50 + (13 * b + 5 * rod) % 150);
            CHECK(got == expected, "value type %d, rod pair %d: %zu bytes, first %d", type, rod + 1, got.size(),
                  got.empty() ? -1 : (unsigned char)got[0]);
        }
    }

    sim.Send("~s 0 1 3 0 0\n");
    usleep(100000);   // the short record is on the line, unread
    sim.Send("1");
    usleep(100000);   // as the tool reads: after zebsim has seen the trigger
    std::string got = sim.Read(-1, 300);
    CHECK(std::count(got.begin(), got.end(), '\n') == 1, "command and trigger: \"%s\"", got.c_str());
    sim.Send("1");
    got = sim.Read(-1, 300);
    CHECK(std::count(got.begin(), got.end(), '\n') == 1, "next trigger: \"%s\"", got.c_str());
}

// A data log as the program writes it: title, date, column header, then one
// line per cycle (beams 1..n of rod pair 1) at the given times of day.
struct Cycle {
    int ms;
    std::vector<int> values;
};

static std::string Log(const std::string &dir, const char *name, const char *type,
                       const std::vector<Cycle> &cycles, const char *extra = "")
{
    std::string path = dir + "/" + name, text = std::string("ZEB Zuvaririzadure - ") + type +
                                                ", aktuell (Leistenpaar 1)\r\nDate: 2024-05-01\r\n"
                                                "Zeit        \tErster\tLetzter\tLeiste\tWerte\r\n";
    for (const Cycle &c : cycles) {
        char head[64];
        snprintf(head, sizeof(head), "%02d:%02d:%02d,%03d\t1\t%zu\t0", c.ms / 3600000 % 24, c.ms / 60000 % 60,
                 c.ms / 1000 % 60, c.ms % 1000, c.values.size());
        text += head;
        for (int v : c.values)
            text += "\t" + std::to_string(v);
        text += "\r\n";
        if (&c == &cycles[cycles.size() / 2])
            text += extra;
    }
    FILE *f = fopen(path.c_str(), "wb");
    fwrite(text.data(), 1, text.size(), f);
    fclose(f);
    return path;
}

static const char kSignal[] = "Signalst\xe4rke", kReceiver[] = "Empf\xe4ngerr\xfc" "ckmeldewerte";

// Old-protocol request for positions first..last.
static std::string Request(int first, int last, int mode)
{
    return {'\x80', 0, (char)first, 0, (char)last, 0, 0, (char)mode};
}

// The record a cycle of beams 10i + b gives for these beams: the steady
// offset, then each logged value above it.
static std::string Answer(int cycle, std::vector<int> beams)
{
    std::string s(1, (char)20);
    for (int b : beams)
        s += (char)(20 + 10 * cycle + b);
    return s;
}

// --realtime: each answer is the cycle logged as long after the first as the
// request after the first request, across midnight (a recording of 200 ms
// cycles from 23:59:58,100); at the end the last cycle stays and standard
// error says so, counting the malformed line. Without it, with --loop and
// --diagonal: the two old-protocol passes of a cycle answer from one logged
// cycle, the next pair from the next, and after the last comes the first;
// a beam the log does not hold answers as zebsim does without a recording.
static void Replay(const char *exe)
{
    char tmp[] = "/tmp/zebsim-replay-XXXXXX";
    std::string dir = mkdtemp(tmp);
    std::vector<Cycle> cycles;
    for (int i = 0; i < 20; i++)
        cycles.push_back({(23 * 3600 + 59 * 60 + 58) * 1000 + 100 + 200 * i, {10 * i + 1, 10 * i + 2, 10 * i + 3}});
    std::string rec = Log(dir, "rec_20240501T235958.log", kSignal, cycles, "garbage\r\n");
    {
        Sim sim(exe, {"--replay", rec, "--realtime", "--baud", "0"});
        double t0 = NowMs();
        for (double at : {0, 300, 1100, 2100, 2900, 4300}) {
            double wait = t0 + at - NowMs();
            if (wait > 0)
                usleep((useconds_t)(wait * 1000));
            double elapsed = NowMs() - t0, phase = fmod(elapsed, 200);
            sim.Send(Request(1, 3, 0x61));
            std::string got = sim.ReadN(4, 1000);
            int due = std::min(19, (int)(elapsed / 200));
            if (phase > 20 && phase < 180)   // a late wake-up near a cycle's edge proves nothing
                CHECK(got == Answer(due, {1, 2, 3}), "%.0f ms after the first request: beam 1 reads %d, cycle %d due",
                      elapsed, got.size() > 1 ? (unsigned char)got[1] - 20 : -1, due);
        }
        sim.Stop();
        CHECK(sim.err.find("line 15 skipped: no time stamp") != std::string::npos, "%s", sim.err.c_str());
        CHECK(sim.err.find("ended after 20 cycles, 1 line skipped as malformed; its last cycle repeats") !=
                  std::string::npos, "%s", sim.err.c_str());
    }
    rec = Log(dir, "three_20240501T080000.log", kSignal, {{0, {1, 2, 3, 4}}, {40, {11, 12, 13, 14}}, {80, {21, 22, 23, 24}}});
    Sim sim(exe, {"--replay", rec, "--loop", "--diagonal", "--pattern", "--baud", "0"});
    std::string got, expected;
    for (int cycle : {0, 1, 2, 0}) {
        sim.Send(Request(1, 2, 0x61));
        got += sim.ReadN(3, 1000);
        sim.Send(Request(1, 2, 0x62));
        got += sim.ReadN(3, 1000);
        expected += Answer(cycle, {1, 3}) + Answer(cycle, {2, 4});
    }
    sim.Send(Request(1, 3, 0x61));
    got += sim.ReadN(4, 1000);
    expected += Answer(1, {1, 3}) + (char)(20 + 40 + 37 * 5 % 200);   // beam 5: --pattern's
    size_t i = std::mismatch(got.begin(), got.end(), expected.begin(), expected.end()).first - got.begin();
    CHECK(got == expected, "%zu bytes, %zu expected; byte %zu reads %d, expected %d", got.size(), expected.size(), i,
          i < got.size() ? (unsigned char)got[i] : -1, i < expected.size() ? (unsigned char)expected[i] : -1);
    sim.Stop();
    CHECK(sim.err.find("beams 5..5 of rod pair 1 are not in the recording") != std::string::npos, "%s", sim.err.c_str());
    unlink(rec.c_str());
    // Values near both ends of 32 bits play as the nearest byte above the
    // offset, 235 or -20, with no overflow on the way.
    rec = Log(dir, "ends_20240501T080000.log", kSignal, {{0, {2147483628, 2147483647, -2147483647 - 1, -21, 235}}});
    {
        Sim ends(exe, {"--replay", rec, "--baud", "0"});
        ends.Send(Request(1, 5, 0x61));
        got = ends.ReadN(6, 1000);
        CHECK(got == std::string("\x14\xff\xff\0\0\xff", 6), "%zu bytes, beam 1 reads %d", got.size(),
              got.size() > 1 ? (unsigned char)got[1] : -1);
        ends.Stop();
    }
    unlink(rec.c_str());
    unlink((dir + "/rec_20240501T235958.log").c_str());
    rmdir(dir.c_str());
}

// Logs zebsim cannot play, and options out of range: it ends at once with
// exit status 2 and one line on standard error, before making a line.
static void Refusals(const char *exe)
{
    char tmp[] = "/tmp/zebsim-refuse-XXXXXX";
    std::string dir = mkdtemp(tmp);
    std::vector<Cycle> one = {{0, {50, 60}}};
    std::string signal = Log(dir, "a.log", kSignal, one), text = dir + "/notes.txt";
    FILE *f = fopen(text.c_str(), "w");
    fputs("beam 3 looked weak\n", f);
    fclose(f);
    struct { std::vector<std::string> logs; const char *says; } cases[] = {
        {{"--replay", Log(dir, "rel.log", (std::string("Relative ") + kSignal).c_str(), one)}, "rel.log: relative values"},
        {{"--replay", signal, Log(dir, "rx.log", kReceiver, one)}, "rx.log: receiver feedback, but "},
        {{"--replay", text}, "notes.txt: not a data log"},
        {{"--replay", Log(dir, "empty.log", kSignal, {})}, "empty.log: no readable data line (0 lines"},
        {{"--beams", "2000"}, "--beams 2000: a whole number 1..999 expected (zebsim --help"},
        {{"--baud", "fast"}, "--baud fast: a whole number 0..4000000 expected"},
    };
    for (const auto &c : cases) {
        Sim sim(exe, c.logs, false);
        int status = sim.Stop(true);
        CHECK(status == 2 && std::count(sim.err.begin(), sim.err.end(), '\n') == 1 &&
                  sim.err.find(c.says) != std::string::npos,
              "exit status %d, standard error \"%s\", expected \"%s\"", status, sim.err.c_str(), c.says);
        CHECK(access(sim.link.c_str(), F_OK) != 0, "a line for %s", c.says);
        for (const std::string &l : c.logs)
            if (l.find(dir) == 0)
                unlink(l.c_str());
    }
    unlink(signal.c_str());
    rmdir(dir.c_str());
}

int main(int argc, char **argv)
{
    timing = !(argc == 3 && strcmp(argv[1], "--no-timing") == 0);
    if (argc != 2 + !timing)
        return fprintf(stderr, "usage: zebsim_check [--no-timing] PATH-TO-ZEBSIM\n"), 2;
    const char *exe = argv[argc - 1];
    Pacing(exe);
    Answers(exe);
    Replay(exe);
    Refusals(exe);
    printf("%s\n", failures ? "FAILED" : "passed");
    return failures ? 1 : 0;
}
