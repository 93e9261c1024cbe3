// zebreport's one-page report from up to three logs of one recording.
#include "fuzz_files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::vector<std::string> parts = FuzzFiles(data, size, 4);
    std::vector<std::string> args = FuzzReportArgs(&parts);
    args.insert(args.end(), {"--noise", "10", "--"});
    args.insert(args.end(), parts.begin(), parts.end());
    FuzzReport(args);
    return 0;
}
