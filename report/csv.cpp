// Per-beam statistics for a spreadsheet. Tab-separated like the program's own
// export, so that a German spreadsheet splits the columns on paste and on
// import whatever its list separator; decimals carry a comma, which it then
// reads as numbers rather than as dates or text. CR LF line ends.
#include "report.h"

std::string Rep_Decimal(double v, int places)
{
    std::string s;
    Rep_Add(&s, "%.*f", places, v);
    for (char &c : s)
        if (c == '.')
            c = ',';
    return s;
}

// extraCells: one string of tab-led cells a beam, appended to its row.
std::string Rep_Csv(const std::vector<REP_BEAM> &beams, const std::vector<std::string> &extraHeader,
                    const std::vector<std::string> &extraCells)
{
    std::string out = "Rod pair\tBeam\tCycles\tMinimum\tMedian\tMean\tMaximum\tNoise\tStd. dev.\t"
                      "Below lower limit (%)\tFlag";
    for (const std::string &h : extraHeader)
        out += "\t" + h;
    out += "\r\n";
    for (size_t i = 0; i < beams.size(); i++) {
        const REP_BEAM &b = beams[i];
        Rep_Add(&out, "%d\t%d\t%llu\t%d\t%s\t%s\t%d\t%lld\t%s\t%s\t%s%s\r\n", b.iRod + 1, b.iBeam,
                (unsigned long long)b.nCount, b.iMin, Rep_Decimal(b.flMedian, b.flMedian == (int64_t)b.flMedian ? 0 : 1).c_str(),
                Rep_Decimal(b.flMean, 3).c_str(), b.iMax, (long long)b.iMax - b.iMin, Rep_Decimal(b.flStdDev, 3).c_str(),
                Rep_Decimal(100.0 * b.nBelow / b.nCount, 2).c_str(), Rep_Reasons(b.uFlags).c_str(),
                i < extraCells.size() ? extraCells[i].c_str() : "");
    }
    return out;
}
