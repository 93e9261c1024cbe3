#include "display.h"

DISPLAY_INFO DI = {
    NULL, NULL, NULL, NULL, NULL, NULL,
    {0, 0, 0, 0},
    {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Courier New"},
    DM_CURRENT, NULL,
    0,      // fTimeAnalysis
    1,      // fFlippedView
    0,      // fRelative
    0, 0, 0,
    15,     // flTitleSpacing
    60,     // iSignalBarWidth
    300,    // iSignalBarLength
    0,      // minAbsValue
    0, 0,   // optional buttons
    1,      // fShowExcessBars
    250, 0, 255, 0,
};

const COLORREF crColors[COL_COUNT] = {
    RGB(255, 255, 255), RGB(245, 245, 245), RGB(255, 255, 255), RGB(0, 0, 0),     RGB(150, 0, 0),
    RGB(255, 0, 0),     RGB(0, 100, 0),     RGB(255, 150, 0),   RGB(255, 150, 0), RGB(0, 0, 0),
};
HBRUSH hBrushes[COL_COUNT];

void CreateDisplayBrushes()
{
    for (int i = 0; i < COL_COUNT; i++)
        hBrushes[i] = CreateSolidBrush(crColors[i]);
}

void DeleteDisplayBrushes()
{
    for (HBRUSH &b : hBrushes) {
        DeleteObject(b);
        b = NULL;
    }
}
