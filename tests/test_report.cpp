// zebreport's reading and statistics: hostile logs, values worked out by
// hand, range changes and midnight, the bounded trend. Built natively and for
// Windows; the command line and the page are checked by report_cli.py.
#include "report.h"

#include <gtest/gtest.h>

#include <math.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <algorithm>
#include <memory>
#include <string>

using namespace std::string_literals;

static const char kTitle[] = "ZEB Zuvaririzadure - Signalst\xE4rke, aktuell (Leistenpaar 1)";

static std::string Header(const char *title = kTitle, const char *date = "2024-02-28")
{
    return std::string(title) + "\r\nDate: " + date + "\r\nZeit        \tErster\tLetzter\tLeiste\tWerte\r\n";
}

static std::string Write(const std::string &name, const std::string &bytes)
{
    FILE *f = fopen(name.c_str(), "wb");
    EXPECT_TRUE(f != nullptr) << name;
    if (f) {
        fwrite(bytes.data(), 1, bytes.size(), f);
        fclose(f);
    }
    return name;
}

struct Read {
    std::unique_ptr<REP_LOG> log{new REP_LOG};
    std::string error;
    bool ok;
    explicit Read(const std::vector<std::string> &paths) { ok = Rep_ReadLogs(log.get(), paths, &error); }
    const REP_HIST &Hist(int beam, int rod = 0) const { return log->aHist[rod * 1000 + beam]; }
    std::vector<int> Reasons() const
    {
        std::vector<int> r;
        for (const REP_SKIP &s : log->aSkips)
            r.push_back(s.iReason);
        return r;
    }
};

static std::vector<std::pair<int32_t, uint64_t>> Bins(const REP_HIST &h)
{
    std::vector<std::pair<int32_t, uint64_t>> bins;
    Rep_HistEach(h, [&](int32_t v, uint64_t c) { bins.push_back({v, c}); });
    return bins;
}

TEST(ReportParse, HostileLinesAreSkippedAndCountedWhateverTheLineEnds)
{
    std::string body = "10:00:00,000\t1\t3\t0\t5\t-7\t2147483647\r\n"                 // read
                       "10:00:00,040\t1\t3\t0\t5\t6\r\n"                              // too few
                       "10:00:00,080\t1\t3\t0\t5\t6\t7\t8\r\n"                        // too many
                       "10:00:00,120\t1\t3\t0\t5\t4294967296\t7\r\n"                  // beyond 32 bits
                       "10:00:00,160\t1\t3\t0\t5\t6\t7\t\r\n"                         // trailing tab
                       "\x7f" "ELF\x01\x00\xff\xfe binary\r\n"s                       // binary data
                       "10:00:00,200\t0\t3\t0\t1\t2\t3\t4\r\n"                        // beam 0
                       "10:00:00,240\t1\t3\t2\t5\t6\t7\r\n"                           // rod index 2
                       "24:00:00,280\t1\t3\t0\t5\t6\t7\r\n"                           // bad time
                       "10:00:00,320\t1\t3\t0\t+5\t6\t7\r\n"                          // not as %d prints
                       + std::string("10:00:00,360\t1\t3\t0\t") + std::string(10 << 20, '9') + "\r\n"  // 10 MB
                       + "10:00:00,400\t1\t3\t0\t-5\t6\t-2147483648\r\n"                              // read
                       + "10:00:00,440\t1\t3\t0\t5\t6";                               // still being written
    std::vector<int> expected = {REP_TOO_FEW, REP_TOO_MANY, REP_BAD_NUMBER, REP_TOO_MANY, REP_BAD_TIME};
    for (const char *ending : {"\r\n", "\n", "\r"}) {
        std::string text = Header() + body, eol = ending;
        for (size_t p = 0; (p = text.find("\r\n", p)) != std::string::npos; p += eol.size())
            text.replace(p, 2, eol);
        Read r({Write("hostile.log", text)});
        ASSERT_TRUE(r.ok) << r.error;
        EXPECT_EQ(r.log->nCycles, 2u) << "line ends " << (int)eol.size() << (int)eol[0];
        EXPECT_EQ(r.log->nSkipped, 11u);
        EXPECT_EQ(r.Reasons(), expected);
        EXPECT_EQ(r.log->aSkips[0].nLine, 5u) << "lines counted from the title";
        EXPECT_EQ(Bins(r.Hist(1)), (std::vector<std::pair<int32_t, uint64_t>>{{-5, 1}, {5, 1}}));
        EXPECT_EQ(Bins(r.Hist(3)), (std::vector<std::pair<int32_t, uint64_t>>{{INT32_MIN, 1}, {INT32_MAX, 1}}));
        EXPECT_EQ(r.log->tEnd - r.log->tStart, 400);
    }
}

TEST(ReportParse, FilesThatAreNoLogOrDoNotBelongTogetherAreRefused)
{
    Read empty({Write("empty.log", "")});
    EXPECT_FALSE(empty.ok);
    EXPECT_EQ(empty.error, "empty.log: empty file, not a data log");
    std::string junk;
    for (int i = 0; i < 4096; i++)
        junk += (char)(i * 7919 % 251);
    Read binary({Write("binary.log", junk)});
    EXPECT_EQ(binary.error, "binary.log: not a data log (line 1 is no log title)");
    Read noDate({Write("nodate.log", std::string(kTitle) + "\r\nDate: 2024-02-30\r\n")});
    EXPECT_EQ(noDate.error, "nodate.log: no Date line (line 2) in the form Date: YYYY-MM-DD");
    Read headerOnly({Write("header.log", Header() + "garbage\r\n")});
    EXPECT_EQ(headerOnly.error, "no readable data line (1 lines skipped as malformed)");

    std::string line = "10:00:00,000\t1\t1\t0\t50\r\n";
    Write("signal.log", Header() + line);
    Write("feedback.log", Header("ZEB Zuvaririzadure - Empf\xE4ngerr\xFC" "ckmeldewerte, Minimum (Leistenpaar 2)") + line);
    Write("relative.log", Header("ZEB Zuvaririzadure - Relative Signalst\xE4rke, aktuell (Leistenpaar 1)") + line);
    Read types({"signal.log", "feedback.log"});
    EXPECT_EQ(types.error, "feedback.log: receiver feedback, but signal.log: signal strength; logs of different "
                           "value types are not combined");
    Read kinds({"signal.log", "relative.log"});
    EXPECT_FALSE(kinds.ok) << "absolute and relative values are not combined either";
    Read missing({"signal.log", "no-such-file.log"});
    EXPECT_EQ(missing.error.rfind("no-such-file.log: cannot open (", 0), 0u) << missing.error;
}

TEST(ReportParse, ArbitraryNumbersStopBeforeTheyUseUpMemory)
{
    std::string text = Header();
    for (int i = 0; i * 999 <= REP_MAX_OTHER; i++) {
        text += "10:00:00,000\t1\t999\t0";
        for (int b = 0; b < 999; b++)
            text += "\t" + std::to_string(1000 + i * 999 + b);
        text += "\r\n";
    }
    Read r({Write("numbers.log", text)});
    EXPECT_EQ(r.error, "numbers.log: too many different values to count exactly (more than 524288 outside -128..383)");
}

TEST(ReportParse, TitleInTheProgramsCodePageOrUtf8)
{
    int type;
    bool rel;
    std::string cp1252 = "ZEB Zuvaririzadure - Relative Bezugswerte, Max-Min (Rauschen) (Leistenpaar 2)";
    EXPECT_TRUE(Rep_ParseTitle(Rep_Utf8(cp1252.data(), cp1252.size()), &type, &rel));
    EXPECT_EQ(type, 3);
    EXPECT_TRUE(rel);
    std::string utf8 = "ZEB Zuvaririzadure - Senderr\xC3\xBC" "ckmeldewerte, aktuell (Leistenpaar 1)";
    EXPECT_TRUE(Rep_ParseTitle(Rep_Utf8(utf8.data(), utf8.size()), &type, &rel));
    EXPECT_EQ(type, 2);
    EXPECT_FALSE(rel);
    EXPECT_FALSE(Rep_ParseTitle("ZEB Zuvaririzadure - Signalstärke, aktuell (Leistenpaar 3)", &type, &rel));
    EXPECT_FALSE(Rep_ParseTitle("ZEB Zuvaririzadure - Signalstärke, aktuell (Leistenpaar 1) ", &type, &rel));
    EXPECT_EQ(Rep_Utf8("Signalst\xE4rke \x80\x81\x01\tx", 18), "Signalstärke €\xEF\xBF\xBD\xEF\xBF\xBD x");
}

// Beam 1: 3, 7, 7, 10. Beam 2: relative values far beyond the dense window.
TEST(ReportStats, AgreeWithValuesWorkedOutByHand)
{
    Read r({Write("stats.log", Header() + "08:00:00,000\t1\t2\t0\t7\t25500\r\n"
                                          "08:00:00,040\t1\t2\t0\t3\t383\r\n"
                                          "08:00:00,080\t1\t2\t0\t10\t-129\r\n"
                                          "08:00:00,200\t1\t2\t0\t7\t25500\r\n")});
    ASSERT_TRUE(r.ok) << r.error;
    REP_LIMITS lim = {5, 9, true, 7, 0, "", "", ""};
    std::vector<REP_BEAM> beams;
    Rep_BeamStats(*r.log, lim, &beams);
    ASSERT_EQ(beams.size(), 2u);
    const REP_BEAM &a = beams[0], &b = beams[1];
    EXPECT_EQ(a.iMin, 3);
    EXPECT_EQ(a.iMax, 10);
    EXPECT_EQ(a.flMedian, 7);
    EXPECT_EQ(a.flQuartile1, 6);      // a quarter of the way from 3 to 7
    EXPECT_EQ(a.flQuartile3, 7.75);   // a quarter of the way from 7 to 10
    EXPECT_DOUBLE_EQ(a.flMean, 6.75);
    EXPECT_NEAR(a.flStdDev, sqrt(6.1875), 1e-12);   // (3.75² + 0.25² + 0.25² + 3.25²) / 4
    EXPECT_EQ(a.nBelow, 1u);                         // 3 < 5
    EXPECT_EQ(a.uFlags, 0u) << "median 7 inside 5..9, noise 7 not above 7";
    EXPECT_EQ(b.iMin, -129);
    EXPECT_EQ(b.iMax, 25500);
    EXPECT_EQ(b.flMedian, (383 + 25500) / 2.0);
    EXPECT_DOUBLE_EQ(b.flMean, (25500 * 2 + 383 - 129) / 4.0);
    EXPECT_EQ(b.uFlags, unsigned(REP_FLAG_HIGH | REP_FLAG_NOISY));
    EXPECT_EQ(Rep_HistQuantile(r.log->histInterval, 0.5), 40) << "intervals 40, 40, 120 ms";
    EXPECT_EQ(r.log->nWeak, 2);
    EXPECT_EQ(r.log->aiWeakBeam[0], 1) << "lowest median first";

    lim.iMin = 8;
    lim.iNoise = 6;
    Rep_BeamStats(*r.log, lim, &beams);
    EXPECT_EQ(beams[0].uFlags, unsigned(REP_FLAG_LOW | REP_FLAG_NOISY)) << "median 7 below 8, noise 7 above 6";
    EXPECT_EQ(beams[0].nBelow, 3u);
}

TEST(ReportRecording, RangeChangesMidnightAndSeveralLogs)
{
    // Created 23:59:58 on 28 February 2024; the first line is already on the 29th.
    std::string first = Write("grid_20240228T235958.log",
                              Header() + "00:00:00,500\t1\t3\t0\t10\t20\t30\r\n"
                                         "23:59:59,000\t2\t5\t1\t21\t31\t41\t51\r\n"   // a whole day later
                                         "00:00:01,000\t2\t3\t0\t22\t32\r\n");
    std::string second = Write("grid_20240302T080000.log", Header(kTitle, "2024-03-02") + "08:00:00,000\t3\t3\t0\t33\r\n");
    Read r({first, second});
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(Rep_TimeText(r.log->tStart, true), "2024-02-29 00:00:00,500");
    EXPECT_EQ(Rep_TimeText(r.log->tEnd, true), "2024-03-02 08:00:00,000");
    EXPECT_EQ(r.log->nCycles, 4u);
    EXPECT_EQ(r.log->uRods, 3u);
    EXPECT_EQ(r.Hist(1).nCount, 1u);
    EXPECT_EQ(r.Hist(2).nCount, 2u);
    EXPECT_EQ(r.Hist(3).nCount, 3u);
    EXPECT_EQ(r.Hist(2, 1).nCount, 1u) << "rod pair 2 has beams of its own";
    EXPECT_EQ(Bins(r.Hist(3)), (std::vector<std::pair<int32_t, uint64_t>>{{30, 1}, {32, 1}, {33, 1}}));
    ASSERT_EQ(r.log->aRanges.size(), 4u);
    EXPECT_EQ(r.log->histInterval.nCount, 2u) << "no interval between two files";
    EXPECT_EQ(Rep_HistQuantile(r.log->histInterval, 0.5), (86398500 + 2000) / 2.0);
    // The weakest beam (rod pair 1, beam 1) is followed through its one line.
    ASSERT_GE(r.log->nWeak, 1);
    std::vector<REP_POINT> pts = Rep_SeriesPoints(r.log->aserWeak[0]);
    ASSERT_EQ(pts.size(), 1u);
    EXPECT_EQ(pts[0].flValue, 10);
}

TEST(ReportTrend, AtMostAThousandPointsKeepingTheExtremesInTimeOrder)
{
    for (int n : {1000, 1001, 123457}) {
        REP_SERIES s;
        for (int i = 0; i < n; i++)
            Rep_SeriesAdd(&s, i, i == n / 3 ? -50 : i == n - 2 ? 900 : 100 + i % 7);
        std::vector<REP_POINT> pts = Rep_SeriesPoints(s);
        EXPECT_LE(pts.size(), 1000u) << n;
        EXPECT_GE(pts.size(), n == 1000 ? 1000u : 400u) << n;
        bool low = false, high = false, ordered = true;
        for (size_t i = 0; i < pts.size(); i++) {
            low |= pts[i].tMs == n / 3 && pts[i].flValue == -50;
            high |= pts[i].tMs == n - 2 && pts[i].flValue == 900;
            ordered &= i == 0 || pts[i].tMs > pts[i - 1].tMs;
        }
        EXPECT_TRUE(low && high && ordered) << n;
    }
    int32_t odd[] = {9, 1, 5}, even[] = {4, 1, 3, 100}, wide[] = {25500, -128, 383, -2147483647 - 1},
            wide3[] = {25500, -128, 383};
    EXPECT_EQ(Rep_LineMedian(odd, 3), 5);
    EXPECT_EQ(Rep_LineMedian(even, 4), 3.5);
    EXPECT_EQ(Rep_LineMedian(wide, 4), 127.5);
    EXPECT_EQ(Rep_LineMedian(wide3, 3), 383);
}

// Five points by hand: the ten pairwise slopes of (0,0) (1,1) (2,3) (3,3)
// (4,4) are 0, 0.5, six times 1, 1.5 and 2, so the median is 1. With five
// points Kendall's S reaches 10 with probability 1/120 and 8 or more with
// 5/120 > 2.5 %: the 95 % interval runs from the smallest slope to the
// largest, 0 to 2. The line passes through the medians (2, 3).
TEST(ReportTrend, TheilSenSlopeIntervalOutlierAndTooFewPoints)
{
    REP_FIT fit = Rep_TheilSen({0, 1, 2, 3, 4}, {0, 1, 3, 3, 4});
    ASSERT_TRUE(fit.fSlope && fit.fInterval);
    EXPECT_DOUBLE_EQ(1, fit.flSlope);
    EXPECT_DOUBLE_EQ(0, fit.flLow);
    EXPECT_DOUBLE_EQ(2, fit.flHigh);
    EXPECT_DOUBLE_EQ(2, fit.flPivotX);
    EXPECT_DOUBLE_EQ(3, fit.flPivotY);
    // One visit far off: 10 of the 15 slopes stay 2, so the median does too.
    fit = Rep_TheilSen({0, 1, 2, 3, 4, 5}, {0, 2, 4, 100, 8, 10});
    EXPECT_DOUBLE_EQ(2, fit.flSlope);
    fit = Rep_TheilSen({0, 1, 2, 3}, {0, 1, 2, 3});
    EXPECT_TRUE(fit.fSlope);
    EXPECT_FALSE(fit.fInterval);
    // The ranks picked without sorting are those of the sorted slopes.
    srand(5);
    for (int n = 5; n < 40; n++) {
        std::vector<double> x, y, slopes;
        for (int i = 0; i < n; i++) {
            x.push_back(i % 7 == 3 ? i - 1 : i);   // some equal times
            y.push_back(rand() % 9);
        }
        for (int i = 0; i < n; i++)
            for (int j = i + 1; j < n; j++)
                if (x[j] != x[i])
                    slopes.push_back((y[j] - y[i]) / (x[j] - x[i]));
        std::sort(slopes.begin(), slopes.end());
        fit = Rep_TheilSen(x, y);
        size_t m = slopes.size();
        bool ends = false;   // at ranks k and m + 1 - k, ties allowed for
        for (size_t i = 0; i < m; i++)
            ends |= slopes[i] == fit.flLow && slopes[m - 1 - i] == fit.flHigh;
        EXPECT_EQ(fit.flSlope, m % 2 ? slopes[m / 2] : (slopes[m / 2 - 1] + slopes[m / 2]) / 2) << n;
        EXPECT_TRUE(ends && fit.fInterval) << n;
    }
}

static std::vector<REP_CHANGE> Changes(const std::vector<double> &percent)
{
    std::vector<REP_CHANGE> c;
    for (size_t i = 0; i < percent.size(); i++)
        c.push_back({0, (int)i + 1, 100, 100 + percent[i], percent[i], percent[i], 0, 0, 0});
    return c;
}

TEST(ReportCompare, UniformGradientAndIsolatedChangesAreTold)
{
    std::vector<double> uniform, gradient, isolated;
    for (int i = 0; i < 40; i++) {
        uniform.push_back(-30 + (i * 7 % 5) - 2);   // -32..-28
        gradient.push_back(-5 - i);                 // tilted: -5 at one end, -44 at the other
        isolated.push_back(i % 3 - 1);
    }
    isolated[16] = 80;
    isolated[39] = 95;
    EXPECT_EQ(REP_PATTERN_UNIFORM, Rep_ClassifyChange(Changes(uniform), 0).iKind);
    EXPECT_EQ(REP_PATTERN_GRADIENT, Rep_ClassifyChange(Changes(gradient), 0).iKind);
    REP_PATTERN p = Rep_ClassifyChange(Changes(isolated), 0);
    EXPECT_EQ(REP_PATTERN_ISOLATED, p.iKind);
    EXPECT_EQ((std::vector<int>{16, 39}), p.aiIsolated);
}

// The card as Notepad saves it on a German PC: Windows-1252, CR LF, keys in
// any case; a value that is no number names the file, the line and the key.
TEST(ReportCard, ReadInTheProgramsCodePageAndBadNumbersNamed)
{
    std::string text = "[Grid]\r\nCustomer = M\xFCller & S\xF6hne\r\nserial=ZG-1\r\n[Limits]\r\nLimitMinAbs=60\r\n"
                       "LimitMinAbs=70\r\nNoise=40\r\n";
    REP_CARD card;
    std::string error;
    ASSERT_TRUE(Rep_ParseCard(text.data(), text.size(), "grid.ini", &card, &error)) << error;
    EXPECT_EQ(card.astrText[CARD_CUSTOMER], "Müller & Söhne");
    EXPECT_EQ(card.astrText[CARD_SERIAL], "ZG-1");
    EXPECT_EQ(card.aiValue[CARD_MIN_ABS], 60) << "the first occurrence counts";
    EXPECT_TRUE(card.afHave[CARD_NOISE] && !card.afHave[CARD_MAX_ABS]);
    EXPECT_EQ(card.aiValue[CARD_INTERVAL], 6) << "the default interval";
    text = "[Grid]\nIntervalMonths=6\n[Limits]\nLimitMaxRel=25O\n";
    EXPECT_FALSE(Rep_ParseCard(text.data(), text.size(), "a/grid.ini", &card, &error));
    EXPECT_EQ(error, "a/grid.ini, line 4: [Limits] LimitMaxRel is not a whole number: 25O");
    text = "\xFF\xFE[\0G\0r\0i\0d\0]\0"s;   // Unicode, as PowerShell writes it: not silently empty
    EXPECT_FALSE(Rep_ParseCard(text.data(), text.size(), "u/grid.ini", &card, &error));
    EXPECT_EQ(error, "u/grid.ini: saved as Unicode (UTF-16); save it as ANSI or UTF-8");
    EXPECT_EQ(Rep_AddMonths(Rep_DaysFromCivil(2025, 8, 31), 6), Rep_DaysFromCivil(2026, 2, 28));
}

// A summary read back is the one written; any one byte changed is noticed.
TEST(ReportSummary, RoundTripAndEveryDamagedByteRefused)
{
    REP_SUMMARY s, back;
    s.nSize = 12345;
    s.tModified = 1700000000123456789;
    s.iType = 1;
    s.uRods = 3;
    s.iDay = 20000;
    s.tStart = 1728000000000;
    s.tEnd = s.tStart + 5000;
    s.nCycles = 10;
    s.strTitle = "ZEB - Signalst\xE4rke";
    s.aSkips.push_back({0, 7, REP_TOO_FEW, "10:00"});
    for (int key : {5, 1999}) {
        REP_BEAM b = {};
        b.iRod = key / 1000;
        b.iBeam = key % 1000;
        b.nCount = 10;
        b.iMin = 3;
        b.iMax = 9;
        b.flMedian = 7.5;
        s.aBeams.push_back(b);
    }
    std::string bytes = Rep_SummaryBytes(s);
    ASSERT_TRUE(Rep_ParseSummary(bytes.data(), bytes.size(), &back));
    EXPECT_EQ(Rep_SummaryBytes(back), bytes);
    EXPECT_EQ(back.strTitle, s.strTitle);
    ASSERT_EQ(back.aBeams.size(), 2u);
    EXPECT_EQ(back.aBeams[1].iBeam, 999);
    int accepted = 0;
    for (size_t i = 0; i < bytes.size(); i++) {
        std::string bad = bytes;
        bad[i] ^= 0x10;
        accepted += Rep_ParseSummary(bad.data(), bad.size(), &back);
    }
    EXPECT_EQ(accepted, 0);
    EXPECT_FALSE(Rep_ParseSummary(bytes.data(), bytes.size() - 1, &back)) << "cut short";
    // Whole and sealed, yet impossible (made by hand): refused, not trusted.
    back = s;
    back.iDay = INT32_MAX;
    bytes = Rep_SummaryBytes(back);
    EXPECT_FALSE(Rep_ParseSummary(bytes.data(), bytes.size(), &back)) << "a day of no calendar";
    REP_GRIDDIR d;
    d.strFolder = ".";
    REP_FLEETROW row, read;
    row.nVisits = row.nBeams = 1;
    row.uRods = 1;
    row.flReserve = 2;
    for (int32_t last : {20000, INT32_MAX - 9}) {
        row.iLastDay = last;
        row.iDue = last + 9;
        Rep_GridCacheWrite(d, "key", row);
        std::string error;
        ASSERT_TRUE(Rep_ReadSmall("./grid.zebsum", 1000, &bytes, &error)) << error;
        EXPECT_EQ(Rep_GridCacheRead(bytes.data(), bytes.size(), "key", &read), last == 20000) << last;
    }
    // A grid's row with its soiling read back whole; one no judgement makes is refused.
    row.iLastDay = 20000;
    row.iDue = 20181;
    row.nVisits = 4;
    row.nBeams = 48;
    row.nFlagged = 2;
    row.uRods = 3;
    row.nFoundLow = 5;
    row.nSpells = 3;
    row.flSoiling = 0.2;
    row.iSoilBeam = 7;
    row.iAdvised = 4;
    row.iAdviceReason = ADV_SOILING;
    row.flSoilCross = 20130.5;
    auto taken = [&](const REP_FLEETROW &r) {
        Rep_GridCacheWrite(d, "key", r);
        std::string error;
        read = REP_FLEETROW();
        return Rep_ReadSmall("./grid.zebsum", 1000, &bytes, &error) &&
               Rep_GridCacheRead(bytes.data(), bytes.size(), "key", &read);
    };
    ASSERT_TRUE(taken(row));
    EXPECT_EQ(std::make_tuple(read.nBeams, read.nFlagged, read.uRods, read.nFoundLow, read.nSpells, read.flSoiling,
                              read.iSoilBeam, read.iAdvised, read.iAdviceReason, read.flSoilCross),
              std::make_tuple(48, 2, 3u, 5, 3, 0.2, 7, 4, (int)ADV_SOILING, 20130.5));
    REP_FLEETROW bad[4] = {row, row, row, row};
    bad[0].nFlagged = -1;
    bad[1].nBeams = bad[1].nFlagged = bad[1].nFoundLow = 0;
    bad[2].nSpells = 0;   // a soiling figure from no interval
    bad[3].iAdviceReason = ADV_CARD;
    for (const REP_FLEETROW &b : bad)
        EXPECT_FALSE(taken(b)) << &b - bad;
    remove("./grid.zebsum");
}

// A summary is written to a file of its own: a link planted under the name it
// is first written to (a shared archive's folder) is not written through.
TEST(ReportSummary, WrittenOnlyToAFileOfItsOwn)
{
#ifdef _WIN32
    GTEST_SKIP() << "links need rights on Windows";
#else
    std::string victim = Write("victim.txt", "keep"), sum = "planted.log.zebsum";
    for (int k = 1; k <= 200; k++) {
        std::string tmp = sum + "." + std::to_string(getpid()) + "." + std::to_string(k) + ".tmp";
        remove(tmp.c_str());
        ASSERT_EQ(symlink(victim.c_str(), tmp.c_str()), 0);
    }
    Rep_WriteAtomically(sum, "summary");
    std::string bytes, error;
    ASSERT_TRUE(Rep_ReadSmall(victim, 100, &bytes, &error)) << error;
    EXPECT_EQ(bytes, "keep");
    for (int k = 1; k <= 200; k++)
        remove((sum + "." + std::to_string(getpid()) + "." + std::to_string(k) + ".tmp").c_str());
#endif
}

// As found and as left: a steady beam's ±1 is no change; one beyond its noise is.
TEST(ReportCompare, MostChangedListsOnlyChangesBeyondTheBeamsNoise)
{
    std::vector<REP_CHANGE> c = Changes({1, -1, 30, 1});
    for (REP_CHANGE &x : c)
        x.iNoise = 2;
    std::vector<const REP_CHANGE *> most = Rep_MostChanged(c, 10);
    ASSERT_EQ(most.size(), 1u);
    EXPECT_EQ(most[0]->iBeam, 3);
    // Equal changes (a uniform one) in the beams' order.
    c = Changes(std::vector<double>(40, 30));
    std::vector<int> beams;
    for (const REP_CHANGE *x : Rep_MostChanged(c, 10))
        beams.push_back(x->iBeam);
    EXPECT_EQ(beams, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
}

// The file a German Excel opens by a double-click: a byte-order mark, ";"
// between cells, a card's text with ";" and quotes quoted, decimal commas,
// dates as YYYY-MM-DD, CR LF.
TEST(ReportCsv, TheFileExcelOpensByADoubleClick)
{
    REP_FLEETROW row;
    row.fCard = true;
    row.card.astrText[CARD_CUSTOMER] = "Müller; \"Söhne\" KG";
    row.card.astrText[CARD_SERIAL] = "ZG-1";
    row.strFolder = "Archiv/M1";
    row.iStatus = FLEET_OK;
    row.nBeams = 40;
    row.iLastDay = Rep_DaysFromCivil(2026, 3, 1);
    row.flReserve = 1.254;
    row.iLimit = LIMIT_NONE;
    row.iDue = Rep_DaysFromCivil(2027, 3, 1);
    row.flAction = row.iDue;
    REP_PAGE english;
    english.iLang = REP_LANG_EN;
    std::string csv = Rep_CsvFile(Rep_FleetCsv(english, {row}));
    EXPECT_EQ(csv, "\xEF\xBB\xBF" "Customer;Site;Machine;Grid;Serial;Folder;Last visit;Verdict;Weakest reserve;"
                   "Limit reached from;Next visit due;Action by;Status;Found below limit;Soiling per month;"
                   "Recommended interval\r\n"
                   "\"Müller; \"\"Söhne\"\" KG\";;;;ZG-1;Archiv/M1;2026-03-01;No beam flagged (40 beams);1,25;"
                   "no crossing predicted;2027-03-01;2027-03-01;ok;;;6\r\n");
    // A lone CR or LF stays in its cell, quoted; empty cells stay; the last
    // row is ended even when its writer did not.
    EXPECT_EQ(Rep_CsvFile("a\tline\none\t\tcr\rx\r\n\"q\"\t-12,5"),
              "\xEF\xBB\xBF" "a;\"line\none\";;\"cr\rx\"\r\n\"\"\"q\"\"\";-12,5\r\n");
    EXPECT_EQ(Rep_CsvFile(""), "\xEF\xBB\xBF");
}

// Two visits half a year apart: cleaned to 180, found at `found` on arrival.
static REP_HISTORY Soiled(double found)
{
    REP_HISTORY h;
    int32_t d0 = Rep_DaysFromCivil(2025, 1, 10), d1 = Rep_AddMonths(d0, 6);
    for (int32_t d : {d0, d1}) {
        REP_VISIT v = {};
        v.iDay = d;
        v.tStart = (int64_t)d * 86400000 + 36000000;
        v.tFound = d == d1 ? v.tStart - 7200000 : 0;
        v.strFound = d == d1 ? "found.log" : "";
        h.aVisits.push_back(v);
    }
    REP_HBEAM b = {};
    b.iBeam = 1;
    b.aflMedian = {180, 180};
    b.aflFound = {NAN, found};
    b.iForecast = REP_FC_NONE;
    h.aBeams.push_back(b);
    h.uRods = 1;
    return h;
}

TEST(ReportSoiling, OneIntervalShortensButNeverLengthensTheTrendCapsADarkBeamCounts)
{
    REP_LIMITS lim;
    lim.iMin = 60;
    lim.iMax = 255;
    REP_CARD card;
    card.aiValue[CARD_INTERVAL] = 12, card.aiValue[CARD_MIN_INTERVAL] = 1, card.aiValue[CARD_MAX_INTERVAL] = 12;
    REP_HISTORY h = Soiled(100);   // 11 % a month: at its bound the limit comes after 7 months
    Rep_Soiling(&h, lim, &card);
    EXPECT_EQ(1, h.advice.nSpells);
    EXPECT_EQ(0, h.aVisits[1].nFoundLow);
    EXPECT_NEAR(log(1.8) / 6, h.advice.flRate, 0.002);
    EXPECT_EQ(7, h.advice.iMonths);
    card.aiValue[CARD_INTERVAL] = 6;   // one interval may not lengthen the agreed 6
    Rep_Soiling(&h, lim, &card);
    EXPECT_EQ(6, h.advice.iMonths);
    EXPECT_EQ(ADV_FEW, h.advice.iReason);
    h.aBeams[0].iForecast = REP_FC_RANGE;   // the as-left trend reaches the limit in 40 days
    h.aBeams[0].flFrom = h.aVisits[1].iDay + 40.0;
    Rep_Soiling(&h, lim, &card);
    EXPECT_EQ(1, h.advice.iMonths);
    EXPECT_EQ(ADV_TREND, h.advice.iReason);
    h = Soiled(0);   // found dark: the fastest soiling, not no figure at all
    card.aiValue[CARD_MIN_INTERVAL] = 2;
    Rep_Soiling(&h, lim, &card);
    EXPECT_EQ(1, h.aVisits[1].nFoundLow);
    EXPECT_TRUE(isfinite(h.advice.flRate));
    EXPECT_EQ(2, h.advice.iMonths);
    EXPECT_LT(h.advice.flCrossDay, h.aVisits[1].iDay + 31.0);
}
