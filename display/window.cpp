// The display window: its procedure and the paint cycle.
#include "display.h"

#include "link.h"
#include "resource.h"

#include <mmsystem.h>

bool RegisterDisplayClass(HINSTANCE inst)
{
    WNDCLASSA wc = {};
    wc.style = 0;   // no redraw on resizing: the paint cycle decides what to repaint
    wc.lpfnWndProc = DisplayWndProc;
    wc.hInstance = inst;
    wc.hIcon = LoadIconA(inst, MAKEINTRESOURCEA(IDI_APP));
    wc.hCursor = LoadCursorA(NULL, (LPCSTR)IDC_ARROW);
    wc.hbrBackground = NULL;   // every pixel is painted by the paint cycle
    wc.lpszClassName = DISPLAY_CLASS;
    return RegisterClassA(&wc) != 0;
}

static INT32 *ValuesOfMode()
{
    switch (DI.iDisplayMode) {
    case DM_MINIMUM: return SG_View.aiMin;
    case DM_MAXIMUM:
    case DM_NOISE: return SG_View.aiMax;
    default: return SG_View.aiValue;
    }
}

DWORD PaintDisplay(HWND hwnd)
{
    DWORD t0 = timeGetTime();
    DI.pDisplayValues = ValuesOfMode();
    PS.iRowBrush = COL_ROW_EVEN;
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    HGDIOBJ oldFont = SelectObject(dc, DI.fFlippedView ? DI.hFontVert : DI.hFont);
    int p = GetFirstVisibleBeam();
    int W, H;
    GetLogicalExtent(&W, &H);
    UINT oldAlign = SetTextAlign(dc, TA_LEFT | TA_TOP);
    int oldMode = SetBkMode(dc, TRANSPARENT);

    POINT at = {0, DI.iTitleHeight - DI.iLineHeight - 1};
    DisplayPrintf(dc, at, "%*s", 4, "Nr.");
    at.x += 5 * DI.iCharWidth;
    DisplayPrintf(dc, at, "%*s", 4, "Abs.");
    at.x += 5 * DI.iCharWidth;
    if (DI.fRelative)
        DisplayPrintf(dc, at, "%*s", 5, "Rel.");
    SetUpScale();
    at.x += 7 * DI.iCharWidth;
    DisplayPrintf(dc, at, DI.fRelative ? "(%.0f%% .. %.0f%%)" : "(%.0f .. %.0f)", (double)PS.flScaleMin,
                  (double)PS.flScaleMax);

    RECT band, bandInner;
    MakeDeviceRect(&band, -1, -1, W + 1, DI.iTitleHeight);
    FillRect(dc, &band, hBrushes[COL_ROW_EVEN]);
    FrameRect(dc, &band, hBrushes[COL_TEXT]);
    MakeDeviceRect(&bandInner, 0, 0, W, DI.iTitleHeight);
    ExcludeClipRect(dc, bandInner.left, bandInner.top, bandInner.right, bandInner.bottom);

    for (int i = p; p > 0 && i <= SG_Params.iLast && i <= LAST_BEAM; i++) {
        int top = DI.iTitleHeight + (i - p) * DI.iLineHeight;
        if (top > H)
            break;
        RECT row = {0, top, W, top + DI.iLineHeight}, rowDev = row, meet;
        LogicalToDeviceRect(&rowDev);
        if (!IntersectRect(&meet, &rowDev, &ps.rcPaint))
            continue;
        PaintBeamRow(dc, &row, i);
        ExcludeClipRect(dc, rowDev.left, rowDev.top, rowDev.right, rowDev.bottom);
    }
    RECT rest;
    MakeDeviceRect(&rest, 0, DI.iTitleHeight, W, H);
    FillRect(dc, &rest, hBrushes[COL_ROW_EVEN]);

    SelectClipRgn(dc, NULL);
    SelectObject(dc, oldFont);
    SetTextAlign(dc, oldAlign);
    SetBkMode(dc, oldMode);
    EndPaint(hwnd, &ps);

    return timeGetTime() - t0;
}

static void DeleteFonts(HWND hwnd)
{
    HDC dc = GetDC(hwnd);
    SelectObject(dc, GetStockObject(SYSTEM_FONT));
    ReleaseDC(hwnd, dc);
    DeleteObject(DI.hFont);
    DeleteObject(DI.hFontVert);
    DI.hFont = DI.hFontVert = NULL;
}

LRESULT CALLBACK DisplayWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_CREATE:
        return CreateDisplayFonts(hwnd) ? 0 : -1;
    case WM_SIZE:
        FitDisplayWindow(hwnd, (short)HIWORD(lParam));
        return 0;
    case WM_PAINT:
        SendMessageA(GetParent(hwnd), WM_DISPLAY_PAINTED, PaintDisplay(hwnd), 0);
        return 0;
    case WM_HSCROLL:
        ScrollDisplay(hwnd, SB_HORZ, LOWORD(wParam), (short)HIWORD(wParam));
        return 0;
    case WM_VSCROLL:
        ScrollDisplay(hwnd, SB_VERT, LOWORD(wParam), (short)HIWORD(wParam));
        return 0;
    case WM_NCDESTROY:
        DeleteFonts(hwnd);
        break;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}
