// The tables for a spreadsheet. Each writer gives its rows as cells
// separated by tabs, a row ended by CR LF (texts from outside passed
// Rep_Utf8, so they hold neither); Rep_CsvFile makes of them the file that a
// German Excel opens by a double-click. Decimals carry a comma, which it reads
// as numbers rather than as dates or text; dates are YYYY-MM-DD.
#include "report.h"

#include <algorithm>

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

// A cell that holds the separator, a quote or a line break is quoted, its
// quotes doubled.
static void Cell(std::string *out, const char *s, size_t n)
{
    static const char kSpecial[] = ";\"\r\n";
    bool quote = std::find_first_of(s, s + n, kSpecial, kSpecial + 4) != s + n;
    if (quote)
        *out += '"';
    for (size_t i = 0; i < n; i++) {
        if (s[i] == '"')
            *out += '"';
        *out += s[i];
    }
    if (quote)
        *out += '"';
}

// Excel reads a .csv in the ANSI code page unless it starts with a UTF-8
// byte-order mark, and splits its rows on the list separator of the regional
// settings: ";" where the decimal mark is a comma. A "sep=" first line would
// name the separator but makes it ignore the mark, so there is none.
std::string Rep_CsvFile(const std::string &rows)
{
    static const char kEol[] = "\r\n";
    std::string out = "\xEF\xBB\xBF";
    const char *p = rows.data(), *end = p + rows.size();
    while (p < end) {
        const char *eol = std::search(p, end, kEol, kEol + 2);
        for (const char *cell = p;;) {
            const char *tab = std::find(cell, eol, '\t');
            Cell(&out, cell, tab - cell);
            if (tab == eol)
                break;
            out += ';';
            cell = tab + 1;
        }
        out += "\r\n";
        p = eol == end ? end : eol + 2;
    }
    return out;
}
