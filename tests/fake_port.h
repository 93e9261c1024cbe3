// A scripted stand-in for the serial port library: linked instead of it, it
// records every byte the link sends and answers from a script, with
// time-outs that cost no time.
#ifndef FAKE_PORT_H
#define FAKE_PORT_H

#include "qira.h"

#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

struct FakePort {
    std::mutex lock;
    std::string written;              // every byte sent, in order
    std::deque<int> input;            // bytes to deliver; -2 delivers nothing but succeeds
    std::vector<std::string> events;  // "open COM1", "configure 500", "timeout 40", "purge", "close"
    // Called after each write with the bytes of that write; may queue answers.
    std::function<void(const std::string &)> onWrite;
    bool failOpen = false;
    int chunkReads = 0;               // QIRA_ReadQueued calls

    void Reset();
    void Queue(const std::string &bytes);
    void QueueBytes(const std::vector<int> &bytes);
    std::string TakeWritten();
    int Count(const std::string &event);
};
extern FakePort gFake;

std::string Hex(const std::string &bytes);
std::string Base64(const std::vector<int> &bytes);

#endif
