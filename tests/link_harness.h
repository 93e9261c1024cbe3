// Runs the real communication thread against zebsim on a virtual serial
// line: a message-only window stands in for the main window.
#ifndef LINK_HARNESS_H
#define LINK_HARNESS_H

#include "link.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

// zebsim on a pty linked into the prefix as the given COM port; it ends when
// this object removes the link.
struct SimProcess {
    std::string link, trace;
    bool ok = false;
    SimProcess(const char *com, const std::string &args);
    ~SimProcess();
    std::string Trace() const;   // what zebsim received and sent, one line each
};

struct Notification {
    int event, code;
    LPARAM lParam;
    std::string text;                 // CN_STATE 2: the error text
    std::shared_ptr<SG_DATA> view;    // CN_DATA: SG_View after the copy
    double at;                        // when handled: ms on the performance counter
};

struct LinkHarness {
    HWND hwnd = NULL;
    HANDLE thread = NULL;
    std::vector<Notification> events;
    // Called for every notification after it is recorded.
    std::function<void(const Notification &)> onEvent;

    void Start();   // thread running and idle
    void Stop();    // request 1 and wait for the thread to end
    ~LinkHarness() { Stop(); }
    // Serves the window's messages until done() or the time is up.
    // done() is also asked every pollMs when no message comes.
    bool Pump(const std::function<bool()> &done, DWORD timeoutMs, DWORD pollMs = 5);
    bool WaitState(int state, DWORD timeoutMs);   // a CN_STATE with that code
    bool WaitData(size_t count, DWORD timeoutMs); // count CN_DATA since Clear()
    size_t Count(int event) const;
    std::vector<int> States() const;              // codes of CN_STATE in order
    const Notification *Last(int event) const;
    void Clear() { events.clear(); }
};

double CounterMs();   // the performance counter in ms
std::string ReadTextFile(const std::string &path);   // whole file, or "" if it cannot be read

// Parameters and port of a fresh run: beams 1..100, value type 0, variant v.
void ResetLinkParams(int variant, int delay = 0, int speed = 115200, const char *com = "COM3");

#endif
