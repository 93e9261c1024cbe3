// The bar display: its record, colours, logical coordinates, fonts, scroll
// range, value scale and painting.
#ifndef DISPLAY_H
#define DISPLAY_H

#include <windows.h>

struct DISPLAY_INFO {
    HWND hwndMain;
    HWND hwndToolbar;
    HWND hwndDisplay;
    HWND hwndStatus;
    HFONT hFont;
    HFONT hFontVert;            // the same font turned 90 degrees counter-clockwise
    RECT rcWnd;                 // normal rectangle of the main window
    LOGFONTA logFont;           // lfEscapement is 0 whenever it is stored here
    INT32 iDisplayMode;         // DM_*
    INT32 *pDisplayValues;      // array chosen for iDisplayMode at each paint
    INT32 fTimeAnalysis;
    INT32 fFlippedView;
    INT32 fRelative;
    INT32 iLineHeight;
    INT32 iCharWidth;
    INT32 iTitleHeight;
    INT32 flTitleSpacing;       // tenths of iLineHeight (an integer despite its name)
    INT32 iSignalBarWidth;      // percent of iLineHeight
    INT32 iSignalBarLength;     // pixels of a bar's inner area
    INT32 minAbsValue;          // lower end of the absolute scale; floor of logged and exported values
    INT32 fNoiseBtnVisible;
    INT32 fLoadBtnVisible;
    INT32 fShowExcessBars;
    INT32 iLimitMaxRel;
    INT32 iLimitMinRel;
    INT32 iLimitMaxAbs;
    INT32 iLimitMinAbs;
};

extern DISPLAY_INFO DI;

enum { DM_CURRENT = 0, DM_MINIMUM = 1, DM_MAXIMUM = 2, DM_NOISE = 3 };

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
void PaintDisplay(HWND hwnd);

#endif
