// The bar display: its record, colours, logical coordinates, fonts, scroll
// range, value scale and painting.
#ifndef DISPLAY_H
#define DISPLAY_H

#include <windows.h>

enum { DM_CURRENT = 0, DM_MINIMUM = 1, DM_MAXIMUM = 2, DM_NOISE = 3, DM_COUNT = 4 };

// The display record, with the program's start values (the settings file
// overrides most of them).
struct DISPLAY_INFO {
    HWND hwndMain = NULL;
    HWND hwndToolbar = NULL;
    HWND hwndDisplay = NULL;
    HWND hwndStatus = NULL;
    HFONT hFont = NULL;
    HFONT hFontVert = NULL;           // the same font turned 90 degrees counter-clockwise
    RECT rcWnd = {0, 0, 0, 0};        // normal rectangle of the main window
    LOGFONTA logFont = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Courier New"};   // lfEscapement 0 when stored
    INT32 iDisplayMode = DM_CURRENT;  // DM_*
    INT32 *pDisplayValues = NULL;     // array chosen for iDisplayMode at each paint
    INT32 fTimeAnalysis = 0;
    INT32 fFlippedView = 1;
    INT32 fRelative = 0;
    INT32 iLineHeight = 0;
    INT32 iCharWidth = 0;
    INT32 iTitleHeight = 0;
    INT32 flTitleSpacing = 15;        // tenths of iLineHeight (an integer despite its name)
    INT32 iSignalBarWidth = 60;       // percent of iLineHeight
    INT32 iSignalBarLength = 300;     // pixels of a bar's inner area
    INT32 minAbsValue = 0;            // lower end of the absolute scale; floor of logged and exported values
    INT32 fNoiseBtnVisible = 0;
    INT32 fLoadBtnVisible = 0;
    INT32 fShowExcessBars = 1;
    INT32 iLimitMaxRel = 250;
    INT32 iLimitMinRel = 0;
    INT32 iLimitMaxAbs = 255;
    INT32 iLimitMinAbs = 0;
};

extern DISPLAY_INFO DI;

// Colour roles
enum {
    COL_ROW_EVEN = 0, COL_ROW_ODD = 1, COL_BAR_EMPTY = 2, COL_BAR = 3, COL_BAR_NEGATIVE = 4,
    COL_INVALID = 5, COL_ZERO_LINE = 6, COL_LIMIT_MAX = 7, COL_LIMIT_MIN = 8, COL_TEXT = 9, COL_COUNT = 10
};
extern const COLORREF crColors[COL_COUNT];
extern HBRUSH hBrushes[COL_COUNT];
void CreateDisplayBrushes();
void DeleteDisplayBrushes();

// Written at the start of each paint, read while rows are painted.
struct PAINT_STATE {
    INT32 iRowBrush;   // hBrushes index of the row being painted; 0 for the header
    float flScaleMin;
    float flScaleMax;
    float flBarGap;
    float flPixelsPerUnit;
    INT32 iBarLength;  // iSignalBarLength as the display can use it
};
extern PAINT_STATE PS;

#define DISPLAY_CLASS "ZEB ZuvaririzadureInterior"

// Geometry and scale (geometry.cpp)
void GetLogicalExtent(int *width, int *height);
void LogicalToDevicePoint(POINT *pt);
void LogicalToDeviceRect(RECT *rc);
void MakeDeviceRect(RECT *rc, int left, int top, int right, int bottom);
bool CreateDisplayFonts(HWND hwnd);
int GetFirstVisibleBeam();
void UpdateDisplayScrollRange();
void ScrollDisplay(HWND hwnd, int bar, int code, int position);
void FitDisplayWindow(HWND hwnd, int height);
void SetUpScale();
int ValueToX(int innerLeft, float value);

// Rows (render.cpp)
void DisplayPrintf(HDC dc, POINT at, const char *format, ...);
void PaintBeamRow(HDC dc, const RECT *row, int beam);

// Window (window.cpp)
LRESULT CALLBACK DisplayWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
bool RegisterDisplayClass(HINSTANCE inst);
DWORD PaintDisplay(HWND hwnd);   // returns the time it took, in ms
// Sent to the display's parent after each paint; wParam: the paint time in ms.
#define WM_DISPLAY_PAINTED (WM_APP + 2)

#endif
