// zebcheck's history as --summary and a run's attempt count read it.
#include "fuzz_files.h"
#include "records.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string path = FuzzWrite("history.jsonl", (const char *)data, size), text, json;
    Chk_SummaryText(path, &text, &json);
    return 0;
}
