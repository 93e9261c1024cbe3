// Per-beam statistics for a spreadsheet. Tab-separated like the program's own
// export, so that a German spreadsheet splits the columns on paste and on
// import whatever its list separator; decimals carry a comma, which it then
// reads as numbers rather than as dates or text. CR LF line ends.
#include "report.h"

static std::string Decimal(double v, int places)
{
    std::string s;
    Rep_Add(&s, "%.*f", places, v);
    for (char &c : s)
        if (c == '.')
            c = ',';
    return s;
}

std::string Rep_Csv(const std::vector<REP_BEAM> &beams)
{
    std::string out = "Rod pair\tBeam\tCycles\tMinimum\tMedian\tMean\tMaximum\tNoise\tStd. dev.\t"
                      "Below lower limit (%)\tFlag\r\n";
    for (const REP_BEAM &b : beams)
        Rep_Add(&out, "%d\t%d\t%llu\t%d\t%s\t%s\t%d\t%lld\t%s\t%s\t%s\r\n", b.iRod + 1, b.iBeam,
                (unsigned long long)b.nCount, b.iMin, Decimal(b.flMedian, b.flMedian == (int64_t)b.flMedian ? 0 : 1).c_str(),
                Decimal(b.flMean, 3).c_str(), b.iMax, (long long)b.iMax - b.iMin, Decimal(b.flStdDev, 3).c_str(),
                Decimal(100.0 * b.nBelow / b.nCount, 2).c_str(), Rep_Reasons(b.uFlags).c_str());
    return out;
}
