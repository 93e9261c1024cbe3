// zebreport's options, parsed as its main does, without reading or writing
// the files they name. cli.cpp is compiled into this file for its parser.
#include "../../report/cli.cpp"

#include "fuzz_files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzArgs a("zebreport", data, size);
    OPTIONS o;
    bool help = false;
    std::string error;
    if (ParseArgs(a.argc(), a.argv.data(), &o, &help, &error))
        for (bool relative : {false, true})
            Limits(o, kIniDefault, relative);
    return 0;
}
