// Logical coordinates of both orientations, fonts and metrics, scroll range,
// scrolling, placement of the display window and the value scale.
#include "display.h"

#include "link.h"

PAINT_STATE PS;

// The settings file may hold any 32-bit numbers and is written back as it
// was; the display computes with them cut to what a picture can use, so
// that no conversion overflows and every bar stays in its row.
#define SCALE_LIMIT ((1 << 24) - 1)    // whole numbers up to here are exact in a float
#define BAR_LENGTH_LIMIT 32767
#define TITLE_SPACING_LIMIT 1000       // tenths of a line

static int Clamp(int v, int lo, int hi)
{
    return v < lo ? lo : v > hi ? hi : v;
}

static int ClientHeight()
{
    RECT rc;
    GetClientRect(DI.hwndDisplay, &rc);
    return rc.bottom - rc.top;
}

void GetLogicalExtent(int *width, int *height)
{
    RECT rc;
    GetClientRect(DI.hwndDisplay, &rc);
    int w = rc.right - rc.left, h = rc.bottom - rc.top;
    *width = DI.fFlippedView ? h : w;
    *height = DI.fFlippedView ? w : h;
}

void LogicalToDevicePoint(POINT *pt)
{
    if (!DI.fFlippedView)
        return;
    LONG x = pt->x;
    pt->x = pt->y;
    pt->y = ClientHeight() - x;
}

void LogicalToDeviceRect(RECT *rc)
{
    POINT a = {rc->left, rc->top}, b = {rc->right, rc->bottom};
    LogicalToDevicePoint(&a);
    LogicalToDevicePoint(&b);
    rc->left = a.x < b.x ? a.x : b.x;
    rc->right = a.x < b.x ? b.x : a.x;
    rc->top = a.y < b.y ? a.y : b.y;
    rc->bottom = a.y < b.y ? b.y : a.y;
}

void MakeDeviceRect(RECT *rc, int left, int top, int right, int bottom)
{
    SetRect(rc, left, top, right, bottom);
    LogicalToDeviceRect(rc);
}

static void MeasureFont(HDC dc, HFONT font, int *height, int *width)
{
    HGDIOBJ old = SelectObject(dc, font);
    TEXTMETRICA tm;
    GetTextMetricsA(dc, &tm);
    SelectObject(dc, old);
    *height = tm.tmHeight;
    *width = tm.tmAveCharWidth;
}

bool CreateDisplayFonts(HWND hwnd)
{
    HDC dc = GetDC(hwnd);
    int h1, w1, h2, w2;
    DI.logFont.lfEscapement = 0;
    DI.hFont = CreateFontIndirectA(&DI.logFont);
    MeasureFont(dc, DI.hFont, &h1, &w1);
    DI.logFont.lfEscapement = 900;   // texts of the flipped view run bottom to top
    DI.hFontVert = CreateFontIndirectA(&DI.logFont);
    MeasureFont(dc, DI.hFontVert, &h2, &w2);
    DI.iLineHeight = h1 > h2 ? h1 : h2;
    DI.iCharWidth = w1 > w2 ? w1 : w2;
    ReleaseDC(hwnd, dc);
    DI.logFont.lfEscapement = 0;
    return true;
}

static int ActiveBar()
{
    return DI.fFlippedView ? SB_HORZ : SB_VERT;
}

int GetFirstVisibleBeam()
{
    SCROLLINFO si = {sizeof(si), SIF_POS, 0, 0, 0, 0, 0};
    GetScrollInfo(DI.hwndDisplay, ActiveBar(), &si);
    return si.nPos;
}

void UpdateDisplayScrollRange()
{
    HWND w = DI.hwndDisplay;
    int active = ActiveBar(), inactive = active == SB_VERT ? SB_HORZ : SB_VERT;
    SendMessageA(w, WM_SETREDRAW, FALSE, 0);
    SCROLLINFO off = {sizeof(off), SIF_ALL, 0, 0, 0, 0, 0};
    SetScrollInfo(w, inactive, &off, TRUE);

    DI.iTitleHeight = DI.iLineHeight * Clamp(DI.flTitleSpacing, 0, TITLE_SPACING_LIMIT) / 10 + 1;
    int width, height;
    GetLogicalExtent(&width, &height);
    SCROLLINFO si = {sizeof(si), SIF_ALL, 0, 0, 0, 0, 0};
    GetScrollInfo(w, active, &si);
    int pitch = DI.iLineHeight < 1 ? 1 : DI.iLineHeight;
    int page = (height - DI.iTitleHeight) / pitch;
    if (page < 1)
        page = 1;
    int first = SG_Params.iFirst, last = SG_Params.iLast;
    int pos = si.nPos;
    int back = page - 1 > 0 ? page - 1 : 0;
    if (pos > last - back)
        pos = last - back;
    if (pos < first)
        pos = first;
    si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    si.nMin = first;
    si.nMax = last;
    si.nPage = (UINT)page;
    si.nPos = pos;
    SetScrollInfo(w, active, &si, TRUE);

    SendMessageA(w, WM_SETREDRAW, TRUE, 0);
    // The frame too: the scroll bars were set while redrawing was off.
    RedrawWindow(w, NULL, NULL, RDW_INVALIDATE | RDW_FRAME | RDW_UPDATENOW);
}

void ScrollDisplay(HWND hwnd, int bar, int code, int position)
{
    SCROLLINFO si = {sizeof(si), SIF_ALL, 0, 0, 0, 0, 0};
    GetScrollInfo(hwnd, bar, &si);
    int old = si.nPos, pos = old;
    switch (code) {
    case SB_LINEUP: pos = old - 1; break;
    case SB_LINEDOWN: pos = old + 1; break;
    case SB_PAGEUP: pos = old - (int)si.nPage; break;
    case SB_PAGEDOWN: pos = old + (int)si.nPage; break;
    case SB_THUMBTRACK: pos = position; break;
    case SB_TOP: pos = si.nMin; break;
    case SB_BOTTOM: pos = si.nMax; break;
    default: break;
    }
    si.fMask = SIF_PAGE | SIF_POS;
    si.nPos = pos;
    SetScrollInfo(hwnd, bar, &si, TRUE);
    si.fMask = SIF_PAGE | SIF_POS;
    GetScrollInfo(hwnd, bar, &si);   // the platform clamps the position
    if (si.nPos == old)
        return;
    int width, height;
    GetLogicalExtent(&width, &height);
    RECT rows;
    MakeDeviceRect(&rows, 0, DI.iTitleHeight, width, height);
    int shift = (old - si.nPos) * DI.iLineHeight;
    // Only the rows move; the header band stays where it is.
    if (DI.fFlippedView)
        ScrollWindow(hwnd, shift, 0, &rows, &rows);
    else
        ScrollWindow(hwnd, 0, shift, &rows, &rows);
}

void FitDisplayWindow(HWND hwnd, int height)
{
    static bool fInResize = false;
    if (fInResize || !IsWindow(DI.hwndMain) || !IsWindow(DI.hwndToolbar))
        return;
    fInResize = true;
    RECT main, tb, sb = {0, 0, 0, 0};
    GetClientRect(DI.hwndMain, &main);
    GetWindowRect(DI.hwndToolbar, &tb);
    if (DI.hwndStatus)
        GetWindowRect(DI.hwndStatus, &sb);
    int mainHeight = main.bottom - main.top;
    int y = main.top + (tb.bottom - tb.top);
    int h = (main.bottom - (sb.bottom - sb.top)) - y + 1;
    SetWindowPos(hwnd, NULL, main.left, y, main.right - main.left + 1, h, SWP_NOZORDER);
    if (DI.fFlippedView && height != mainHeight) {
        InvalidateRect(hwnd, NULL, FALSE);
        UpdateWindow(hwnd);
    }
    fInResize = false;
}

void SetUpScale()
{
    if (DI.fRelative) {
        PS.flScaleMin = 0;
        PS.flScaleMax = 250;
    } else if (DI.iDisplayMode == DM_NOISE) {
        PS.flScaleMin = 0;
        PS.flScaleMax = 50;
    } else {
        PS.flScaleMin = (float)Clamp(DI.minAbsValue, -SCALE_LIMIT, SCALE_LIMIT - 1);
        PS.flScaleMax = 255;
    }
    // A MinAbsValue of 255 or more would leave no range: keep one unit so the
    // bars stay finite (everything then sits at the scale's end).
    if (PS.flScaleMax - PS.flScaleMin < 1)
        PS.flScaleMax = PS.flScaleMin + 1;
    PS.flBarGap = (float)((100 - Clamp(DI.iSignalBarWidth, 0, 100)) * (double)DI.iLineHeight / 100);
    PS.iBarLength = Clamp(DI.iSignalBarLength, 1, BAR_LENGTH_LIMIT);
    PS.flPixelsPerUnit = (float)((PS.iBarLength - 1) * 1.0000001192092896 / ((double)PS.flScaleMax - PS.flScaleMin));
}

int ValueToX(int innerLeft, float value)
{
    // A limit far off the scale must not overflow the conversion; every
    // position that can matter lies well inside this range.
    float x = (value - PS.flScaleMin) * PS.flPixelsPerUnit;
    if (!(x > -SCALE_LIMIT))
        x = -SCALE_LIMIT;
    if (x > SCALE_LIMIT)
        x = SCALE_LIMIT;
    return innerLeft + (int)x;
}
