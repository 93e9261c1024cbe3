#include "fake_port.h"

#include "b64encode.h"

#include <string.h>

FakePort gFake;
const char QIRA__szLib[] = "QIRA__LIB";

void FakePort::Reset()
{
    std::lock_guard<std::mutex> g(lock);
    written.clear();
    input.clear();
    events.clear();
    onWrite = nullptr;
    failOpen = false;
    chunkReads = 0;
}

void FakePort::Queue(const std::string &bytes)
{
    std::lock_guard<std::mutex> g(lock);
    for (unsigned char c : bytes)
        input.push_back(c);
}

void FakePort::QueueBytes(const std::vector<int> &bytes)
{
    std::lock_guard<std::mutex> g(lock);
    input.insert(input.end(), bytes.begin(), bytes.end());
}

std::string FakePort::TakeWritten()
{
    std::lock_guard<std::mutex> g(lock);
    std::string w;
    w.swap(written);
    return w;
}

int FakePort::Count(const std::string &event)
{
    std::lock_guard<std::mutex> g(lock);
    int n = 0;
    for (const auto &e : events)
        n += e == event;
    return n;
}

std::string Hex(const std::string &bytes)
{
    std::string s;
    char b[4];
    for (unsigned char c : bytes) {
        snprintf(b, sizeof(b), s.empty() ? "%02X" : " %02X", c);
        s += b;
    }
    return s;
}

std::string Base64(const std::vector<int> &bytes)
{
    return Base64Encode(bytes);
}

static void Event(const std::string &e)
{
    gFake.events.push_back(e);
}

bool QIRA_Open(QIRA_PORT *port, const char *name)
{
    std::lock_guard<std::mutex> g(gFake.lock);
    Event(std::string("open ") + name);
    if (gFake.failOpen) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return false;
    }
    port->hCom = (HANDLE)1;
    SetLastError(0);
    return true;
}

bool QIRA_Configure(QIRA_PORT *port)
{
    std::lock_guard<std::mutex> g(gFake.lock);
    Event("configure " + std::to_string(port->Timeouts.ReadTotalTimeoutConstant));
    SetLastError(0);
    return true;
}

bool QIRA_Close(QIRA_PORT *port)
{
    std::lock_guard<std::mutex> g(gFake.lock);
    Event("close");
    port->hCom = INVALID_HANDLE_VALUE;
    SetLastError(0);
    return true;
}

bool QIRA_Purge(QIRA_PORT *)
{
    std::lock_guard<std::mutex> g(gFake.lock);
    Event("purge");
    gFake.input.clear();
    SetLastError(0);
    return true;
}

bool QIRA_Write(QIRA_PORT *, const void *data, WORD length)
{
    if (length == QIRA_TEXT_LENGTH)
        length = (WORD)strlen((const char *)data);
    std::string bytes((const char *)data, length);
    std::function<void(const std::string &)> answer;
    {
        std::lock_guard<std::mutex> g(gFake.lock);
        gFake.written += bytes;
        answer = gFake.onWrite;
    }
    if (answer)
        answer(bytes);
    SetLastError(0);
    return true;
}

// One byte from the script, or a time-out that is only noted.
static bool NextByte(BYTE *b, DWORD timeoutMs, bool *empty)
{
    std::lock_guard<std::mutex> g(gFake.lock);
    *empty = false;
    if (gFake.input.empty()) {
        Event("timeout " + std::to_string(timeoutMs));
        return false;
    }
    int v = gFake.input.front();
    gFake.input.pop_front();
    if (v == -2) {
        *empty = true;
        return true;
    }
    *b = (BYTE)v;
    return true;
}

bool QIRA_Read(QIRA_PORT *port, void *buffer, WORD length, WORD *count)
{
    if (count)
        *count = 0;
    BYTE *out = (BYTE *)buffer;
    for (WORD i = 0; i < length; i++) {
        bool empty;
        if (!NextByte(out + i, port->Timeouts.ReadTotalTimeoutConstant, &empty)) {
            SetLastError(ERROR_READ_FAULT);
            return false;
        }
        if (empty)   // a read that succeeds with nothing in it
            return SetLastError(0), true;
        if (count)
            (*count)++;
    }
    SetLastError(0);
    return true;
}

// Everything scripted counts as queued, up to a -2 (a read that brings
// nothing); with nothing scripted the wait is a time-out that is only noted.
bool QIRA_ReadQueued(QIRA_PORT *port, void *buffer, WORD length, WORD *count, DWORD waitMs)
{
    std::lock_guard<std::mutex> g(gFake.lock);
    gFake.chunkReads++;
    WORD n = 0;
    for (; n < length && !gFake.input.empty() && gFake.input.front() != -2; n++) {
        ((BYTE *)buffer)[n] = (BYTE)gFake.input.front();
        gFake.input.pop_front();
    }
    if (count)
        *count = n;
    if (n == 0 && gFake.input.empty()) {
        DWORD wait = waitMs == QIRA_WAIT_CONFIGURED ? port->Timeouts.ReadTotalTimeoutConstant : waitMs;
        Event("timeout " + std::to_string(wait));
        SetLastError(ERROR_READ_FAULT);
        return false;
    }
    if (n == 0)
        gFake.input.pop_front();
    SetLastError(0);
    return true;
}

bool QIRA_ReadByte(QIRA_PORT *, BYTE *byte, DWORD timeoutMs)
{
    BYTE scratch;
    bool empty;
    if (!NextByte(byte ? byte : &scratch, timeoutMs, &empty) || empty) {
        SetLastError(ERROR_READ_FAULT);
        return false;
    }
    SetLastError(0);
    return true;
}
