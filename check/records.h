// zebcheck's history read back: its JSON lines as records and the yields
// of --summary. Needs nothing of the platform.
#ifndef CHECK_RECORDS_H
#define CHECK_RECORDS_H

#include <stddef.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

// What the history and the summary need of a line.
struct CHK_RECORD {
    std::string strTime, strId, strStation, strVerdict;
    std::vector<std::pair<int, int>> aFailed;   // rod pair, beam
};

// Command-line text (the Windows code page) as a JSON string.
std::string Chk_Json(const std::string &text);
// One line; false for a line that is not a whole record (torn by a crash).
bool Chk_ParseRecord(const char *s, size_t n, CHK_RECORD *r);
// Every whole record of the file in order; false when it cannot be read.
bool Chk_EachRecord(const std::string &path, unsigned *skipped, const std::function<void(const CHK_RECORD &)> &f);
// --summary: the yields per station and of all, as the lines printed and as
// the JSON file; false when the history cannot be read.
bool Chk_SummaryText(const std::string &path, std::string *text, std::string *json);

#endif
