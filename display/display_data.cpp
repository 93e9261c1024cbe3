#include "display.h"

DISPLAY_INFO DI;

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
