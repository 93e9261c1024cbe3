// Benchmark (not a test): the bar display's paint cycle in the window the
// program would have, both orientations. Per row of the table: processor
// time of one paint of the window thread (median of the runs) and the rows
// painted, from repaints of the same data.
//   bench_paint.exe [paints]    (run by scripts/bench-paint.sh)
#include "display.h"
#include "gui_host.h"
#include "link.h"

#include <algorithm>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <vector>

static double ThreadCpuMs()
{
    FILETIME created, ended, kernel, user;
    GetThreadTimes(GetCurrentThread(), &created, &ended, &kernel, &user);
    ULARGE_INTEGER k = {{kernel.dwLowDateTime, kernel.dwHighDateTime}}, u = {{user.dwLowDateTime, user.dwHighDateTime}};
    return (k.QuadPart + u.QuadPart) / 1e4;
}

int main(int argc, char **argv)
{
    int paints = argc > 1 ? atoi(argv[1]) : 400;
    SG_Params = SG_PARAMS{};
    SG_View.Params = SG_Params;
    SG_View.fDataValid = SG_View.fMinMaxValid = 1;
    SG_View.aiValue[0] = 20;
    for (int b = 1; b <= 100; b++)
        SG_View.aiValue[b] = SG_View.aiMin[b] = SG_View.aiMax[b] = 20 + 150 + (37 * b) % 60;
    DI.fShowExcessBars = 1;
    printf("%-8s %5s %7s %12s\n", "view", "rows", "paints", "cpu ms/paint");
    for (int flipped = 0; flipped < 2; flipped++) {
        DI.fFlippedView = flipped;
        GuiHost host(952, 741);   // the program's first window on a 1280 x 1024 screen
        std::vector<double> batches;
        for (int batch = 0; batch < 9; batch++) {
            double t0 = ThreadCpuMs();
            for (int i = 0; i < paints / 9; i++)
                host.Repaint();
            batches.push_back((ThreadCpuMs() - t0) / (paints / 9));
        }
        std::sort(batches.begin(), batches.end());
        int W, H;
        GetLogicalExtent(&W, &H);
        printf("%-8s %5d %7d %12.3f\n", flipped ? "flipped" : "normal", (H - DI.iTitleHeight) / DI.iLineHeight + 1,
               paints / 9 * 9, batches[batches.size() / 2]);
    }
    printf("cpu ms/paint: median over 9 batches of the window thread's processor time per repaint\n");
    return 0;
}
