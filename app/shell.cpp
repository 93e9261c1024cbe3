#include "shell.h"

#include "display.h"
#include "link.h"
#include "mprintf.h"
#include "resource.h"

#include <commctrl.h>
#include <stdio.h>

#include <iterator>

#define SEPARATOR 0
#define SEPARATOR_WIDTH 10

static constexpr struct {
    int idCommand;
    BYTE style;
    int image;
} ToolbarTable[] = {
    {IDM_SINGLE, BTNS_BUTTON, 2},   {IDM_CONTINUOUS, BTNS_CHECK, 3},  {SEPARATOR, BTNS_SEP, 0},
    {IDM_NORMALISE, BTNS_BUTTON, 1}, {IDM_LOAD_REF, BTNS_BUTTON, 17}, {IDM_RELATIVE, BTNS_CHECK, 12},
    {SEPARATOR, BTNS_SEP, 0},        {IDM_FLIP, BTNS_CHECK, 10},      {SEPARATOR, BTNS_SEP, 0},
    {IDM_COPY, BTNS_BUTTON, 0},      {IDM_SAVE, BTNS_BUTTON, 15},     {SEPARATOR, BTNS_SEP, 0},
    {IDM_CURRENT, BTNS_BUTTON, 9},   {IDM_MINIMUM, BTNS_BUTTON, 7},   {IDM_MAXIMUM, BTNS_BUTTON, 8},
    {IDM_NOISE, BTNS_CHECK, 13},     {IDM_RESET, BTNS_BUTTON, 11},    {SEPARATOR, BTNS_SEP, 0},
    {IDM_SIGNAL, BTNS_BUTTON, 4},    {IDM_TRANSMITTER, BTNS_BUTTON, 5}, {IDM_RECEIVER, BTNS_BUTTON, 6},
    {IDM_REFERENCE, BTNS_BUTTON, 16}, {SEPARATOR, BTNS_SEP, 0},       {IDM_LOGGING, BTNS_BUTTON, 14},
};

static constexpr bool ImagesInStrip()
{
    for (const auto &e : ToolbarTable)
        if (e.image < 0 || e.image >= TOOLBAR_IMAGES)
            return false;
    return true;
}
static_assert(ImagesInStrip(), "every button's image is in the toolbar strip");

HWND CreateToolbar(HWND parent)
{
    HINSTANCE inst = GetModuleHandleA(NULL);
    HWND tb = CreateWindowExA(0, TOOLBARCLASSNAMEA, NULL, WS_CHILD | TBSTYLE_TOOLTIPS | CCS_TOP, 0, 0, 0, 0,
                              parent, (HMENU)(INT_PTR)IDC_TOOLBAR, inst, NULL);
    if (!tb)
        return NULL;
    SendMessageA(tb, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    SendMessageA(tb, TB_SETBITMAPSIZE, 0, MAKELPARAM(32, 16));
    TBADDBITMAP bitmap = {inst, IDB_TOOLBAR};
    SendMessageA(tb, TB_ADDBITMAP, TOOLBAR_IMAGES, (LPARAM)&bitmap);
    SendMessageA(tb, TB_AUTOSIZE, 0, 0);
    for (const auto &e : ToolbarTable) {
        TBBUTTON b = {};
        char caption[65] = "";
        b.fsState = TBSTATE_ENABLED;
        b.fsStyle = e.style;
        if (e.idCommand == SEPARATOR) {
            b.iBitmap = SEPARATOR_WIDTH;
        } else {
            if ((e.idCommand == IDM_NOISE && !DI.fNoiseBtnVisible) ||
                (e.idCommand == IDM_LOAD_REF && !DI.fLoadBtnVisible))
                continue;   // a hidden button is not created at all
            LoadStringA(inst, e.idCommand + IDM_CAPTION_OFFSET, caption, sizeof(caption));
            b.iBitmap = e.image;
            b.idCommand = e.idCommand;
            b.fsStyle |= BTNS_AUTOSIZE;
            b.iString = (INT_PTR)caption;
        }
        SendMessageA(tb, TB_ADDBUTTONSA, 1, (LPARAM)&b);
    }
    // The relative view needs reference values first (normalise or import).
    SendMessageA(tb, TB_ENABLEBUTTON, IDM_RELATIVE, FALSE);
    UpdateToolbarStates(tb);
    UpdateTitle();
    ShowWindow(tb, SW_SHOW);
    return tb;
}

void UpdateToolbarStates(HWND tb)
{
    const struct {
        int id;
        bool checked;
    } states[] = {
        {IDM_CONTINUOUS, Link_GetState() == TS_CONTINUOUS},
        {IDM_RELATIVE, DI.fRelative != 0},
        {IDM_FLIP, DI.fFlippedView != 0},
        {IDM_MINIMUM, DI.iDisplayMode == DM_MINIMUM},
        {IDM_MAXIMUM, DI.iDisplayMode == DM_MAXIMUM},
        {IDM_CURRENT, DI.iDisplayMode == DM_CURRENT},
        {IDM_NOISE, DI.fNoiseBtnVisible && DI.iDisplayMode == DM_NOISE},
        {IDM_LOGGING, SG_Params.pLogFile != NULL},
    };
    for (const auto &s : states)
        SendMessageA(tb, TB_CHECKBUTTON, s.id, MAKELPARAM(s.checked, 0));
    for (int t = 0; t < VT_COUNT; t++)
        SendMessageA(tb, TB_CHECKBUTTON, ValueTypes[t].idCommand, MAKELPARAM(SG_Params.iValueType == t, 0));
}

HWND CreateStatusBar(HWND parent)
{
    return CreateStatusWindowA(WS_CHILD | WS_VISIBLE, "", parent, 0);
}

void SetStatusText(int part, const char *format, ...)
{
    if (!DI.fTimeAnalysis && part >= STATUS_PAINT)
        return;
    va_list args;
    va_start(args, format);
    char *text = vmprintf(format, args);
    va_end(args);
    SendMessageA(DI.hwndStatus, SB_SETTEXTA, (WPARAM)part, (LPARAM)(text ? text : ""));
    mprintf_free(&text);
}

void ShowPaintTime(DWORD ms)
{
    if (ms <= 999)
        SetStatusText(STATUS_PAINT, "\tdisp_t: %d ms", (int)ms);
    else
        SetStatusText(STATUS_PAINT, "\tdisp_t >999 ms!");
}

void SetStatusReady()
{
    char ready[64];
    LoadStringA(GetModuleHandleA(NULL), IDS_READY, ready, sizeof(ready));
    SetStatusText(STATUS_LINK, ready);
}

// A string-table text in code page cp; the buffer keeps its text when there
// is none.
static void LoadStringIn(HINSTANCE inst, UINT id, char *buffer, int size, UINT cp)
{
    WCHAR wide[256];
    int n = LoadStringW(inst, id, wide, 256);
    if (n <= 0)
        return;
    int m = WideCharToMultiByte(cp, 0, wide, n, buffer, size - 1, NULL, NULL);
    buffer[m > 0 ? m : 0] = 0;
}

static void FormatTitleIn(char *buffer, int relative, UINT cp)
{
    static char szValueType[64] = "?", szMode[64] = "?";
    static const UINT modeIds[] = {IDS_MODE_CURRENT, IDS_MODE_MINIMUM, IDS_MODE_MAXIMUM, IDS_MODE_NOISE};
    static_assert(std::size(modeIds) == DM_COUNT, "one name per display mode");
    HINSTANCE inst = GetModuleHandleA(NULL);
    if (DI.iDisplayMode >= 0 && DI.iDisplayMode < DM_COUNT)
        LoadStringIn(inst, modeIds[DI.iDisplayMode], szMode, sizeof(szMode), cp);
    int type = SG_View.Params.iValueType;
    if (type >= 0 && type < VT_COUNT)
        LoadStringIn(inst, ValueTypes[type].idTitle, szValueType, sizeof(szValueType), cp);
    char prefix[64] = "";
    if (relative)
        LoadStringIn(inst, IDS_RELATIVE_PREFIX, prefix, sizeof(prefix), cp);
    snprintf(buffer, 256, "%s - %s%s, %s (Leistenpaar %d)", APP_TITLE, prefix, szValueType, szMode,
             (int)SG_View.Params.iRodno + 1);
}

void FormatTitle(char *buffer, int relative)
{
    FormatTitleIn(buffer, relative, CP_ACP);
}

// Files carry the texts as a German or Western PC writes them, whatever the
// user's code page: the readers of the log compare them byte for byte.
void FormatFileTitle(char *buffer, int relative)
{
    FormatTitleIn(buffer, relative, FILE_CODE_PAGE);
}

void UpdateTitle()
{
    char title[256];
    FormatTitle(title, DI.fRelative);
    SetWindowTextA(DI.hwndMain, title);
}
