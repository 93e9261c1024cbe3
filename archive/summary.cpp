// A log's reduction kept beside it (name.log.zebsum), so that a log on a file
// share is read once and later runs read its few kilobytes instead. The file
// is binary, versioned and checksummed; a summary that does not fit its log's
// size and time, or fails any check, is ignored and written anew. It is
// written to a file of its own in the same folder and renamed over the old
// one, so runs at the same time never see half a summary; a folder that
// cannot be written only costs the next run a read.
#include "archive.h"

#include <errno.h>
#include <string.h>
#include <sys/stat.h>

#include <memory>

#include <fcntl.h>

#ifdef _WIN32
#include <io.h>
#include <process.h>
#include <windows.h>
#define getpid _getpid
#else
#include <unistd.h>
#define O_BINARY 0
#endif

#define SUM_EXT ".zebsum"
#define SUM_VERSION 1u
#define SUM_HEAD 24   // magic 8, version 4, payload length 4, checksum 8
#define SUM_MOST (4u << 20)
static const char kMagic[8] = {'Z', 'E', 'B', 'S', 'U', 'M', '\r', '\n'};

// FNV-1a over 64-bit words, then the bytes left: enough to tell a damaged
// file from a whole one, and fast, since a run checks thousands.
static uint64_t Checksum(const unsigned char *p, size_t n)
{
    uint64_t h = 0xcbf29ce484222325ULL, w;
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        memcpy(&w, p + i, 8);
        h = (h ^ w) * 0x100000001b3ULL;
        h ^= h >> 29;
    }
    for (; i < n; i++)
        h = (h ^ p[i]) * 0x100000001b3ULL;
    return h;
}

void Rep_Put(std::string *s, uint64_t v, int bytes)
{
    for (int i = 0; i < bytes; i++)
        *s += (char)(v >> 8 * i & 0xFF);
}

void Rep_PutDouble(std::string *s, double v)
{
    uint64_t u;
    memcpy(&u, &v, 8);
    Rep_Put(s, u, 8);
}

void Rep_PutText(std::string *s, const std::string &t)
{
    Rep_Put(s, t.size(), 4);
    *s += t;
}

std::string Rep_SummaryBytes(const REP_SUMMARY &sum)
{
    std::string p;
    Rep_Put(&p, sum.nSize, 8);
    Rep_Put(&p, (uint64_t)sum.tModified, 8);
    Rep_Put(&p, (uint64_t)sum.iType, 1);
    Rep_Put(&p, sum.fRelative, 1);
    Rep_Put(&p, sum.uRods, 1);
    Rep_Put(&p, (uint32_t)sum.iDay, 4);
    Rep_Put(&p, (uint64_t)sum.tStart, 8);
    Rep_Put(&p, (uint64_t)sum.tEnd, 8);
    Rep_Put(&p, sum.nCycles, 8);
    Rep_Put(&p, sum.nSkipped, 8);
    Rep_Put(&p, sum.nBytes, 8);
    Rep_PutText(&p, sum.strTitle);
    Rep_Put(&p, sum.aSkips.size(), 4);
    for (const REP_SKIP &k : sum.aSkips) {
        Rep_Put(&p, k.nLine, 8);
        Rep_Put(&p, (uint64_t)k.iReason, 1);
        Rep_PutText(&p, k.strStart);
    }
    Rep_Put(&p, sum.aBeams.size(), 4);
    for (const REP_BEAM &b : sum.aBeams) {
        Rep_Put(&p, (uint64_t)b.iRod, 1);
        Rep_Put(&p, (uint64_t)b.iBeam, 2);
        Rep_Put(&p, b.nCount, 8);
        Rep_Put(&p, (uint32_t)b.iMin, 4);
        Rep_Put(&p, (uint32_t)b.iMax, 4);
        Rep_PutDouble(&p, b.flMedian);
    }
    return Rep_Seal(kMagic, SUM_VERSION, p);
}

std::string Rep_Seal(const char *magic, uint32_t version, const std::string &payload)
{
    std::string out(magic, 8);
    Rep_Put(&out, version, 4);
    Rep_Put(&out, payload.size(), 4);
    Rep_Put(&out, Checksum((const unsigned char *)payload.data(), payload.size()), 8);
    return out + payload;
}

// The payload of a sealed file, when magic, version, length and checksum hold.
bool Rep_Unseal(const char *buf, size_t len, const char *magic, uint32_t version, REP_READER *r)
{
    const unsigned char *u = (const unsigned char *)buf;
    if (len < SUM_HEAD || memcmp(buf, magic, 8) != 0)
        return false;
    *r = {u + 8, u + SUM_HEAD, true};
    uint64_t v = r->Get(4), size = r->Get(4), check = r->Get(8);
    if (v != version || size != len - SUM_HEAD || check != Checksum(u + SUM_HEAD, size))
        return false;
    *r = {u + SUM_HEAD, u + len, true};
    return true;
}

// A day a log's Date line can name: dates made by hand become no page's
// arithmetic beyond the calendar.
bool Rep_PlausibleDay(double day)
{
    return day >= Rep_DaysFromCivil(1601, 1, 1) && day <= Rep_DaysFromCivil(9999, 12, 31);
}

// The whole check of a summary, from a buffer: nothing in it is trusted.
bool Rep_ParseSummary(const char *buf, size_t len, REP_SUMMARY *sum)
{
    *sum = REP_SUMMARY();
    REP_READER r;
    if (!Rep_Unseal(buf, len, kMagic, SUM_VERSION, &r))
        return false;
    sum->nSize = r.Get(8);
    sum->tModified = (int64_t)r.Get(8);
    sum->iType = (int)r.Get(1);
    sum->fRelative = r.Get(1) != 0;
    sum->uRods = (unsigned)r.Get(1);
    sum->iDay = (int32_t)(uint32_t)r.Get(4);
    sum->tStart = (int64_t)r.Get(8);
    sum->tEnd = (int64_t)r.Get(8);
    sum->nCycles = r.Get(8);
    sum->nSkipped = r.Get(8);
    sum->nBytes = r.Get(8);
    sum->strTitle = r.Text(REP_MAX_LINE);
    uint64_t nSkips = r.Get(4);
    if (!r.ok || sum->iType < 0 || sum->iType > 3 || sum->uRods < 1 || sum->uRods > 3 || nSkips > REP_SKIP_EXAMPLES ||
        sum->tEnd < sum->tStart || sum->nCycles == 0 || sum->nCycles > UINT32_MAX || !Rep_PlausibleDay(sum->iDay) ||
        sum->tStart < (int64_t)sum->iDay * 86400000 || sum->tEnd / 86400000 > sum->iDay + 100000)
        return false;
    for (uint64_t i = 0; i < nSkips && r.ok; i++) {
        REP_SKIP k = {0, r.Get(8), (int)r.Get(1), ""};
        k.strStart = r.Text(48);
        if (k.iReason <= REP_OK || k.iReason >= REP_REASONS)
            return false;
        sum->aSkips.push_back(k);
    }
    uint64_t nBeams = r.Get(4);
    if (!r.ok || nBeams == 0 || nBeams > REP_RODS * REP_LAST_BEAM)
        return false;
    int prev = -1;
    for (uint64_t i = 0; i < nBeams && r.ok; i++) {
        REP_BEAM b = {};
        b.iRod = (int)r.Get(1);
        b.iBeam = (int)r.Get(2);
        b.nCount = r.Get(8);
        b.iMin = (int32_t)(uint32_t)r.Get(4);
        b.iMax = (int32_t)(uint32_t)r.Get(4);
        b.flMedian = r.Double();
        int key = b.iRod * 1000 + b.iBeam;
        if (b.iRod >= REP_RODS || !(sum->uRods & 1u << b.iRod) || b.iBeam < 1 || b.iBeam > REP_LAST_BEAM ||
            key <= prev || b.nCount == 0 || b.nCount > sum->nCycles || b.iMin > b.iMax || b.flMedian < b.iMin ||
            b.flMedian > b.iMax)
            return false;
        prev = key;
        sum->aBeams.push_back(b);
    }
    return r.ok && r.p == r.e;
}

// Size and time of last writing, in the file system's own resolution.
bool Rep_Stamp(const std::string &path, uint64_t *size, int64_t *modified)
{
#ifdef _WIN32
    WIN32_FILE_ATTRIBUTE_DATA a;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &a) || (a.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    *size = (uint64_t)a.nFileSizeHigh << 32 | a.nFileSizeLow;
    *modified = (int64_t)((uint64_t)a.ftLastWriteTime.dwHighDateTime << 32 | a.ftLastWriteTime.dwLowDateTime);
#else
    struct stat st;
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    *size = (uint64_t)st.st_size;
    *modified = (int64_t)st.st_mtim.tv_sec * 1000000000 + st.st_mtim.tv_nsec;
#endif
    return true;
}

void Rep_WriteAtomically(const std::string &path, const std::string &bytes)
{
    static unsigned serial;
    std::string tmp = path + "." + std::to_string(getpid()) + "." + std::to_string(++serial) + ".tmp";
    // A new file or none: a name already there (a link someone planted in a
    // shared folder, a file left by a run that was killed) is not written through.
    int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_BINARY, 0666);
    if (fd < 0)
        return;   // a folder we may only read
    FILE *f = fdopen(fd, "wb");
    if (!f) {
        close(fd);
        remove(tmp.c_str());
        return;
    }
    bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok &= fclose(f) == 0;
#ifdef _WIN32
    ok = ok && MoveFileExA(tmp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
#else
    ok = ok && rename(tmp.c_str(), path.c_str()) == 0;
#endif
    if (!ok)
        remove(tmp.c_str());
}

// What a history needs of each beam, in one walk over its counts: the full
// statistics cost several, and a first run over an archive does this for
// every log.
static void Reduce(const REP_LOG &log, std::vector<REP_BEAM> *beams)
{
    for (int key = 0; key < REP_RODS * 1000; key++) {
        const REP_HIST &h = log.aHist[key];
        if (!h.nCount)
            continue;
        REP_BEAM b = {};
        b.iRod = key / 1000;
        b.iBeam = key % 1000;
        b.nCount = h.nCount;
        uint64_t lo = (h.nCount - 1) / 2, hi = h.nCount / 2, seen = 0;   // the middle ranks
        double vlo = 0, vhi = 0;
        Rep_HistEach(h, [&](int32_t v, uint64_t c) {
            if (seen == 0)
                b.iMin = v;
            b.iMax = v;
            if (seen <= lo && lo < seen + c)
                vlo = v;
            if (seen <= hi && hi < seen + c)
                vhi = v;
            seen += c;
        });
        b.flMedian = (vlo + vhi) / 2;
        beams->push_back(b);
    }
}

bool Rep_LogSummary(const std::string &path, REP_SUMMARY *sum, REP_SUMSTATS *stats, std::string *error)
{
    uint64_t size;
    int64_t modified;
    if (!Rep_Stamp(path, &size, &modified)) {
        *error = path + ": cannot open (" + strerror(errno) + ")";
        return false;
    }
    std::string bytes, ignored, sumPath = path + SUM_EXT;
    if (Rep_ReadSmall(sumPath, SUM_MOST, &bytes, &ignored) && Rep_ParseSummary(bytes.data(), bytes.size(), sum) &&
        sum->nSize == size && sum->tModified == modified) {
        stats->nSummaries++;
        return true;
    }
    std::unique_ptr<REP_LOG> log(new REP_LOG);
    stats->nRead++;
    if (!Rep_ReadLogs(log.get(), {path}, error, false)) {
        if (error->rfind("no readable data line", 0) == 0)
            *error = path + ": " + *error;
        return false;
    }
    *sum = REP_SUMMARY();
    sum->nSize = size;
    sum->tModified = modified;
    sum->iType = log->iValueType;
    sum->fRelative = log->fRelative;
    sum->uRods = log->uRods;
    sum->iDay = log->aFiles[0].iDay;
    sum->tStart = log->tStart;
    sum->tEnd = log->tEnd;
    sum->nCycles = log->nCycles;
    sum->nSkipped = log->nSkipped;
    sum->nBytes = log->aFiles[0].nBytes;
    sum->strTitle = log->aFiles[0].strTitle;
    sum->aSkips = log->aSkips;
    Reduce(*log, &sum->aBeams);
    uint64_t size2;
    int64_t modified2;
    // A log still being written is summarised at the next run, when it has ended.
    if (Rep_Stamp(path, &size2, &modified2) && size2 == size && modified2 == modified)
        Rep_WriteAtomically(sumPath, Rep_SummaryBytes(*sum));
    return true;
}
