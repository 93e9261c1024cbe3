// A reference file as the import and zebcheck's --ref read it, checked
// against the file taken line by line as a whole: every line is one line,
// and one longer than 511 characters is passed over.
#include "fuzz_files.h"
#include "reffile.h"

#include <string.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static int32_t values[REF_BEAMS], expected[REF_BEAMS];
    static unsigned char seen[REF_BEAMS], expectedSeen[REF_BEAMS];
    memset(values, 0, sizeof(values));
    memset(seen, 0, sizeof(seen));
    memset(expected, 0, sizeof(expected));
    memset(expectedSeen, 0, sizeof(expectedSeen));
    std::string path = FuzzWrite("ref.txt", (const char *)data, size);
    int count = ReadReferenceFile(path.c_str(), 1, REF_BEAMS - 1, values, seen), lines = 0;
    const char *p = (const char *)data, *e = p + size;
    while (p < e) {
        const char *q = (const char *)memchr(p, '\n', (size_t)(e - p));
        q = q ? q + 1 : e;
        std::string line(p, q[-1] == '\n' ? q - 1 : q);
        int b, v;
        // Read as C text: a NUL ends it.
        if (line.size() <= 511 && ParseReferenceLine(line.c_str(), &b, &v) && b >= 1 && b < REF_BEAMS) {
            expected[b] = v;
            expectedSeen[b] = 1;
            lines++;
        }
        p = q;
    }
    if (count != lines || memcmp(values, expected, sizeof(values)) || memcmp(seen, expectedSeen, sizeof(seen)))
        abort();
    return 0;
}
