// zebreport's options, parsed into a job as its main does, without reading
// or writing the files they name. jobs.cpp is compiled into this file for
// its limits.
#include "../../report/jobs.cpp"

#include "fuzz_files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzArgs a("zebreport", data, size);
    REP_JOB o;
    bool help = false;
    std::string error;
    if (Rep_ParseJob(a.argc(), a.argv.data(), &o, &help, &error)) {
        // Without a card, and with one that gives every limit.
        REP_CARD card;
        for (int k = CARD_MIN_ABS; k < CARD_KEYS; k++)
            card.afHave[k] = true, card.aiValue[k] = 40 + k;
        for (bool relative : {false, true})
            for (const REP_CARD *c : {(const REP_CARD *)nullptr, (const REP_CARD *)&card})
                Limits(REP_PAGE(), o, kIniDefault, relative, c);
    }
    return 0;
}
