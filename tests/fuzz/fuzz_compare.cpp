// zebreport's as found and as left: the first log as found, the others as left.
#include "fuzz_files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::vector<std::string> parts = FuzzFiles(data, size, 4);
    std::vector<std::string> args = FuzzReportArgs(&parts);
    if (parts.size() < 2)
        return 0;
    args.insert(args.end(), {"--as-found", parts[0], "--as-left"});
    args.insert(args.end(), parts.begin() + 1, parts.end());
    FuzzReport(args);
    return 0;
}
