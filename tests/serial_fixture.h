// Shared helpers of the serial library tests: the virtual lines, the peer end,
// a watcher for the library's message box and a recorder of driver calls.
#ifndef SERIAL_FIXTURE_H
#define SERIAL_FIXTURE_H

#include "qira_internal.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

// The test run links pty pairs into the prefix: COM5<->COM6, COM7<->COM8.
extern const char *const kPort;
extern const char *const kPeer;
extern const char *const kPort2;
extern const char *const kPeer2;
// And COM12<->COM23, whose names open only in the device namespace.
extern const char *const kHighPeer;

DWORD Now();

// The far end of a line, opened with plain platform calls.
struct Peer {
    HANDLE h = INVALID_HANDLE_VALUE;
    explicit Peer(const char *name);
    ~Peer();
    void Send(const void *data, DWORD n);
    void Send(const std::string &s) { Send(s.data(), (DWORD)s.size()); }
    // Everything that arrives within quietMs of the last byte.
    std::string Drain(DWORD quietMs = 150);
};

// Background thread that runs fn until stopped.
struct Runner {
    std::atomic<bool> stop{false};
    std::thread t;
    explicit Runner(std::function<void(std::atomic<bool> &)> fn) : t([this, fn] { fn(stop); }) {}
    ~Runner() { stop = true; t.join(); }
};

// Finds message boxes captioned "QIRA_", proves they appeared and closes them.
struct BoxWatcher {
    std::atomic<int> seen{0};
    std::string lastText;
    Runner runner;
    BoxWatcher();
};

// Records every driver call the library makes; each call still reaches the
// platform unless a test overrides it.
struct CallLog {
    std::vector<std::string> calls;
    std::vector<DCB> setStates;
    std::vector<DWORD> readLengths;
    CallLog();
    ~CallLog();
    int Count(const std::string &name) const;
    std::string Joined() const;
};
extern CallLog *gLog;

// Opens kPort with the link's usual settings: 8N1, read constant 500 ms.
void OpenConfigured(QIRA_PORT *port, const char *name = nullptr);

#endif
