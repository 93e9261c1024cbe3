// One beam row: number, value, percentage and bar. Every item is excluded
// from the clip region once drawn; backgrounds are filled last into what is
// left, so no fill ever covers an item.
#include "display.h"

#include "link.h"

#include <math.h>
#include <stdarg.h>
#include <stdio.h>

static void Exclude(HDC dc, const RECT &rc)
{
    ExcludeClipRect(dc, rc.left, rc.top, rc.right, rc.bottom);
}

void DisplayPrintf(HDC dc, POINT at, const char *format, ...)
{
    char text[256];
    va_list args;
    va_start(args, format);
    int n = vsnprintf(text, sizeof(text), format, args);
    va_end(args);
    if (n < 0)
        return;
    if (n >= (int)sizeof(text))
        n = (int)sizeof(text) - 1;   // cut rather than overrun
    SIZE size;
    GetTextExtentPoint32A(dc, text, n, &size);
    RECT cell;
    MakeDeviceRect(&cell, at.x, at.y, at.x + size.cx, at.y + size.cy);
    FillRect(dc, &cell, hBrushes[PS.iRowBrush]);
    POINT p = at;
    LogicalToDevicePoint(&p);
    TextOutA(dc, p.x, p.y, text, n);
    Exclude(dc, cell);
}

// A logical strip across the inner area, cut to it and mapped.
static bool InnerStrip(RECT *out, const RECT &inner, int left, int right)
{
    RECT strip = {left, inner.top, right, inner.bottom};
    if (!IntersectRect(out, &strip, &inner))
        return false;
    LogicalToDeviceRect(out);
    return true;
}

void PaintBeamRow(HDC dc, const RECT *row, int b)
{
    const SG_DATA &d = SG_View;
    const VALUE_TYPE &type = Link_ValueType(d.Params.iValueType);
    POINT at = {0, row->top};
    PS.iRowBrush = (b & 1) ? COL_ROW_ODD : COL_ROW_EVEN;

    int raw = DI.pDisplayValues[b];
    bool invalid = raw >= type.iInvalidFrom || (type.fZeroInvalid && raw == 0);
    int v = Link_ValueAsShown(d, DI.pDisplayValues, b);
    if (DI.iDisplayMode == DM_NOISE) {
        int m = d.aiMin[b];
        if (m >= 255 || (type.fZeroMinInvalid && m == 0))
            invalid = true;
        v -= Link_ValueAsShown(d, d.aiMin, b);
    }
    int ref = 0;
    if (DI.fRelative) {
        ref = Link_ReferenceAsShown(d.Params.iRodno, b);
        if (ref < 1 || ref > 252)   // a negative reference is no reference either
            invalid = true;
    }
    float f = (float)v;
    if (f >= 255)
        f = 255;
    if (f <= PS.flScaleMin)
        f = PS.flScaleMin;
    bool hidden = !d.fDataValid || (DI.iDisplayMode != DM_CURRENT && !d.fMinMaxValid);

    DisplayPrintf(dc, at, "%*d", 4, b);
    at.x += 5 * DI.iCharWidth;
    SetTextColor(dc, crColors[invalid ? COL_INVALID : COL_TEXT]);
    if (!hidden)
        DisplayPrintf(dc, at, "%*d", 4, (int)lroundf(f));
    at.x += 5 * DI.iCharWidth;
    if (DI.fRelative) {
        if (ref < 1 || ref > 252) {
            f = 0;
        } else {
            f = (float)(v * 100.0 / ref);
            if (f >= PS.flScaleMax)
                f = PS.flScaleMax;
            if (f <= PS.flScaleMin)
                f = PS.flScaleMin;
        }
        if (!hidden)
            DisplayPrintf(dc, at, "%*d%%", 4, (int)lroundf(f));
    }
    SetTextColor(dc, crColors[COL_TEXT]);
    at.x += 7 * DI.iCharWidth;

    int h = (int)(PS.flBarGap / 2);
    RECT frame = {at.x, row->top + h, at.x + PS.iBarLength + 2, row->bottom - h};
    RECT frameDev = frame;
    LogicalToDeviceRect(&frameDev);
    DrawEdge(dc, &frameDev, BDR_SUNKENINNER, BF_RECT);
    RECT inner = frame;
    InflateRect(&inner, -1, -1);

    int xf = ValueToX(inner.left, f), x0 = ValueToX(inner.left, 0);
    RECT barDev;
    bool bar = InnerStrip(&barDev, inner, x0 < xf ? x0 : xf, (x0 > xf ? x0 : xf) + 1);
    int colour = v < 0 ? COL_BAR_NEGATIVE : COL_BAR;

    int upper = DI.fRelative ? DI.iLimitMaxRel : DI.iLimitMaxAbs;
    int lower = DI.fRelative ? DI.iLimitMinRel : DI.iLimitMinAbs;
    if (DI.fShowExcessBars) {
        RECT line;
        int xu = ValueToX(inner.left, (float)upper), xl = ValueToX(inner.left, (float)lower);
        if (InnerStrip(&line, inner, xu, xu + 1)) {
            FillRect(dc, &line, hBrushes[COL_LIMIT_MAX]);
            Exclude(dc, line);
        }
        if (InnerStrip(&line, inner, xl - 1, xl)) {
            FillRect(dc, &line, hBrushes[COL_LIMIT_MIN]);
            Exclude(dc, line);
        }
        if (lower > f)
            colour = COL_LIMIT_MIN;
        if (upper < f)
            colour = COL_LIMIT_MAX;
    }
    if (!hidden) {
        if (bar)
            FillRect(dc, &barDev, hBrushes[invalid ? COL_INVALID : colour]);
        RECT zero;
        MakeDeviceRect(&zero, x0, inner.top, x0 + 1, inner.bottom);
        FillRect(dc, &zero, hBrushes[COL_ZERO_LINE]);
        if (bar)
            Exclude(dc, barDev);
    }
    RECT innerDev = inner;
    LogicalToDeviceRect(&innerDev);
    FillRect(dc, &innerDev, hBrushes[COL_BAR_EMPTY]);
    Exclude(dc, frameDev);
    RECT rowDev = *row;
    LogicalToDeviceRect(&rowDev);
    FillRect(dc, &rowDev, hBrushes[PS.iRowBrush]);
}
