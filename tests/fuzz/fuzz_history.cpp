// zebreport's history: up to six logs, each a visit or part of one.
#include "fuzz_files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::vector<std::string> parts = FuzzFiles(data, size, 7);
    std::vector<std::string> args = FuzzReportArgs(&parts);
    args.insert(args.end(), {"--min", "20", "--horizon", "365", "--history"});
    args.insert(args.end(), parts.begin(), parts.end());
    FuzzReport(args);
    return 0;
}
