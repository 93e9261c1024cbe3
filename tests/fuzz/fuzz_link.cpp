// A controller's answers as the link reads them: old binary records and B64
// lines, through the link's reader over the scripted port, for a few cycles
// of one run.
#include "fake_port.h"
#include "link.h"

#include <stdint.h>
#include <string.h>

// First byte: protocol variant, value type, diagonal beams, rod pair, single
// or continuous; second and third: the first beam and how many follow; the
// rest is what the controller answers.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 3)
        return 0;
    gFake.Reset();
    gFake.Queue(std::string((const char *)data + 3, size - 3));
    SG_PARAMS p;
    p.ZEBproto = data[0] % PROTO_COUNT;
    p.iValueType = data[0] / PROTO_COUNT % VT_COUNT;
    p.iDiagonal = data[0] >> 4 & 1;
    p.iRodno = data[0] >> 5 & 1;
    p.iFirst = 1 + data[1] * 4;
    p.iLast = p.iFirst + data[2];
    p.iGain = data[1];
    Link_BringIntoRange(&p);
    iThreadState = data[0] & 0x40 ? TS_SINGLE : TS_CONTINUOUS;
    memset(&SG_Work, 0, sizeof(SG_Work));
    SG_Work.Params = p;
    LINK_SESSION session;
    Link_RxDrop();
    for (int cycle = 0; cycle < 4 && !gFake.input.empty(); cycle++)
        if (Link_MeasureCycle(&LinkPort, p.ZEBproto, &session))
            SG_Work.fDataValid = SG_Work.fMinMaxValid = 1;
    return 0;
}
