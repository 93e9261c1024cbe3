// The tool's end of zebsim's line, for the checks and the benchmark: zebsim
// started on a pty of its own, what it sends read back, its standard error
// kept.
#ifndef ZEBSIM_PEER_H
#define ZEBSIM_PEER_H

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

    std::string dir, err;   // err: what zebsim wrote on standard error

    Sim(const char *exe, const std::vector<std::string> &args, bool line = true)
    {
        char tmp[] = "/tmp/zebsim-check-XXXXXX";
        dir = mkdtemp(tmp);
        link = dir + "/line";
        std::vector<std::string> argv = {exe, "--link", link};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char *> a;
        for (auto &s : argv)
            a.push_back(&s[0]);
        a.push_back(nullptr);
        if ((pid = fork()) == 0) {
            int e = open((dir + "/stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            dup2(e, 2);
            execv(exe, a.data());
            _exit(127);
        }
        if (!line)
            return;
        for (int i = 0; i < 3000 && fd < 0; i++) {
            fd = open(link.c_str(), O_RDWR | O_NOCTTY);
            if (fd < 0)
                usleep(1000);
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
        Stop();
        unlink(link.c_str());
        unlink((dir + "/stderr").c_str());
        rmdir(dir.c_str());
    }
    // Ends zebsim (or waits up to 5 s for it to end); its exit status, -1 if it
    // had to be killed.
    int Stop(bool wait = false)
    {
        if (pid < 0)
            return -1;
        if (fd >= 0)
            close(fd);
        fd = -1;
        int status = 0;
        for (int i = 0; wait && i < 500 && waitpid(pid, &status, WNOHANG) == 0; i++)
            usleep(10000);
        if (!wait || !WIFEXITED(status)) {
            kill(pid, SIGTERM);
            waitpid(pid, &status, 0);
            status = -1;
        } else {
            status = WEXITSTATUS(status);
        }
        pid = -1;
        if (FILE *f = fopen((dir + "/stderr").c_str(), "r")) {
            char buf[4096];
            size_t n = fread(buf, 1, sizeof(buf), f);
            err.assign(buf, n);
            fclose(f);
        }
        return status;
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

    // Reads n bytes, or what came within timeoutMs.
    std::string ReadN(size_t n, double timeoutMs) const
    {
        std::string got;
        double end = NowMs() + timeoutMs;
        while (got.size() < n && NowMs() < end) {
            pollfd p = {fd, POLLIN, 0};
            if (poll(&p, 1, (int)(end - NowMs()) + 1) <= 0)
                break;
            char buf[4096];
            ssize_t k = read(fd, buf, std::min(sizeof(buf), n - got.size()));
            if (k <= 0)
                break;
            got.append(buf, k);
        }
        return got;
    }
};

#endif
