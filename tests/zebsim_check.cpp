// zebsim seen from the tool's end of its line (native, no Wine): it meets the
// bit rate it is given, answers each old-protocol value type from the right
// beams and sends one record per request.
//   zebsim_check PATH-TO-ZEBSIM
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

static int failures = 0;

#define CHECK(cond, ...) \
    ((cond) ? (void)0 : (failures++, printf("FAILED line %d: %s: ", __LINE__, #cond), printf(__VA_ARGS__), (void)puts("")))

static double NowMs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

// zebsim on its own pty; fd is the tool's end of the line.
struct Sim {
    pid_t pid = -1;
    std::string link;
    int fd = -1;

    Sim(const char *exe, const std::vector<std::string> &args)
    {
        char dir[] = "/tmp/zebsim-check-XXXXXX";
        link = std::string(mkdtemp(dir)) + "/line";
        std::vector<std::string> argv = {exe, "--link", link};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char *> a;
        for (auto &s : argv)
            a.push_back(&s[0]);
        a.push_back(nullptr);
        if ((pid = fork()) == 0) {
            execv(exe, a.data());
            _exit(127);
        }
        for (int i = 0; i < 300 && fd < 0; i++) {
            fd = open(link.c_str(), O_RDWR | O_NOCTTY);
            if (fd < 0)
                usleep(10000);
        }
        CHECK(fd >= 0, "zebsim made no line at %s", link.c_str());
        termios t;
        if (fd >= 0 && tcgetattr(fd, &t) == 0) {
            cfmakeraw(&t);
            tcsetattr(fd, TCSANOW, &t);
        }
    }
    ~Sim()
    {
        if (fd >= 0)
            close(fd);
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
        unlink(link.c_str());
        rmdir(link.substr(0, link.rfind('/')).c_str());
    }
    void Send(const std::string &s) const
    {
        if (write(fd, s.data(), s.size()) != (ssize_t)s.size())
            perror("write");
    }
    // Reads until `end` arrives or the line is quiet for quietMs; *lastAt is
    // when the last byte came.
    std::string Read(int end, double quietMs, double *lastAt = nullptr) const
    {
        std::string got;
        for (;;) {
            pollfd p = {fd, POLLIN, 0};
            if (poll(&p, 1, (int)quietMs) <= 0)
                return got;
            char buf[4096];
            ssize_t n = read(fd, buf, sizeof(buf));
            if (n <= 0)
                return got;
            if (lastAt)
                *lastAt = NowMs();
            got.append(buf, n);
            if (end >= 0 && got.back() == (char)end)
                return got;
        }
    }
};

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
        CHECK(std::abs(dl - ds - extra) <= 0.01 * extra, "%d bit/s: %.3f ms for %.3f ms", r.baud, dl - ds, extra);
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

int main(int argc, char **argv)
{
    if (argc != 2)
        return fprintf(stderr, "usage: zebsim_check PATH-TO-ZEBSIM\n"), 2;
    Pacing(argv[1]);
    Answers(argv[1]);
    printf("%s\n", failures ? "FAILED" : "passed");
    return failures ? 1 : 0;
}
