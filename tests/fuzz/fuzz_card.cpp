// What zebreport reads from an archive besides the logs: a grid's card, a
// log's summary and a grid's kept row. The first byte picks the input; the
// sealed forms carry a valid seal, so the fields behind it are reached.
// A summary that is taken must come back byte for byte; a row that is taken
// must go on to the plan and its CSV.
#include "report.h"

#include <stdint.h>
#include <stdlib.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const char *text = (const char *)data + 1;
    size_t len = size - 1;
    std::string sealed;
    switch (data[0] % 5) {
    case 0: {
        REP_CARD card;
        std::string error;
        if (Rep_ParseCard(text, len, "grid.ini", &card, &error) && card.iBadKey >= 0)
            Rep_CardBadText(REP_PAGE(), card);
        return 0;
    }
    case 1:
    case 2: {
        if (data[0] % 5 == 2) {
            sealed = Rep_Seal("ZEBSUM\r\n", 1, std::string(text, len));
            text = sealed.data();
            len = sealed.size();
        }
        REP_SUMMARY sum;
        if (Rep_ParseSummary(text, len, &sum)) {
            std::string again = Rep_SummaryBytes(sum);
            REP_SUMMARY back;
            if (!Rep_ParseSummary(again.data(), again.size(), &back) || Rep_SummaryBytes(back) != again)
                abort();
        }
        return 0;
    }
    default: {
        if (data[0] % 5 == 4) {
            std::string payload;
            Rep_PutText(&payload, "key");
            sealed = Rep_Seal("ZEBGRID\n", REP_GRID_VERSION, payload + std::string(text, len));
            text = sealed.data();
            len = sealed.size();
        }
        REP_FLEETROW row;
        if (Rep_GridCacheRead(text, len, "key", &row)) {
            row.iStatus = FLEET_OK;
            Rep_GridStatus(&row, row.iLastDay + 200, 30);
            std::vector<REP_FLEETROW> rows{row};
            Rep_FleetHtml(REP_PAGE(), rows, row.iLastDay + 200, 30);
            Rep_CsvFile(Rep_FleetCsv(REP_PAGE(), rows));
        }
        return 0;
    }
    }
}
