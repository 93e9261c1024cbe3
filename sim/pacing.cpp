// The line: a pty whose far end is linked where the tool looks for its port,
// or a real serial device; and what goes out on it, paced like a UART.
#include "sim.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>

Output out;

static int fd = -1;
static int heldSlave = -1;   // our own descriptor of the pty's far end
static std::string slavePath;

// Output paced like a UART at --baud: a byte is complete on the line one
// character time (10 bits) after the one before it, counted from when the
// line fell idle, against an absolute schedule. Bytes leave in small bursts,
// as a UART's receive FIFO hands them over: one every 16 character times
// (at least a millisecond apart), never more than a burst behind their time,
// and the last byte queued leaves on time, so a record takes its wire time
// however late the process wakes. A segment may be held back until a given
// time (the late fault).
void Output::Abort()
{
    bytes.clear();
    lineFree = std::min(lineFree, NowMs());
}

double Output::CharMs() const
{
    return opt.baud > 0 ? 10000.0 / opt.baud : 0;
}

double Output::BurstMs() const
{
    return std::max(1.0, 16 * CharMs());
}

void Output::Add(const std::string &s, double notBefore)
{
    double t = std::max({lineFree, notBefore, NowMs()});
    for (unsigned char c : s)
        bytes.push_back({c, t += CharMs()});
    lineFree = t;
}

// Writes what is due; returns the time of the next burst, or -1.
double Output::Pump()
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

bool LinkIsOurs()
{
    char target[512];
    ssize_t n = readlink(opt.link.c_str(), target, sizeof(target) - 1);
    if (n < 0)
        return false;
    target[n] = 0;
    return slavePath == target;
}

static void MakeRaw(int f, int baud)
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
        fd = open(opt.tty.c_str(), O_RDWR | O_NOCTTY);
        if (fd < 0) {
            fprintf(stderr, "zebsim: cannot open %s: %s\n", opt.tty.c_str(), strerror(errno));
            exit(1);
        }
        MakeRaw(fd, opt.baud);
        fprintf(stderr, "zebsim: serving %s\n", opt.tty.c_str());
        return fd;
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
    return fd = m;
}

// Ends the line as a hang-up does: the link goes, the tool's reads fail.
void CloseLine()
{
    if (!opt.link.empty())
        unlink(opt.link.c_str());
    close(fd);
}
