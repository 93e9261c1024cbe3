// Commands of the menu, the toolbar and the accelerators.
#include "app.h"

#include "display.h"
#include "link.h"
#include "resource.h"
#include "shell.h"

#include <commctrl.h>

#define FLASH_MS 100

void InvalidateDisplay()
{
    InvalidateRect(DI.hwndDisplay, NULL, FALSE);
}

static void Refresh()
{
    UpdateToolbarStates(DI.hwndToolbar);
    UpdateTitle();
}

void FlashToolbarButton(int id, int code)
{
    // Command 0 (the swallowed edit keys) has no button; looking it up
    // would find the first separator.
    if (code != CMD_FROM_ACCELERATOR || id == 0)
        return;
    HWND tb = DI.hwndToolbar;
    int index = (int)SendMessageA(tb, TB_COMMANDTOINDEX, id, 0);
    if (index < 0 || !SendMessageA(tb, TB_ISBUTTONENABLED, id, 0))
        return;
    TBBUTTON b;
    SendMessageA(tb, TB_GETBUTTON, index, (LPARAM)&b);
    if (b.fsStyle & BTNS_CHECK) {
        // Toggled here so that the command reads the same state as after a click.
        BOOL checked = (BOOL)SendMessageA(tb, TB_ISBUTTONCHECKED, id, 0);
        SendMessageA(tb, TB_CHECKBUTTON, id, MAKELPARAM(!checked, 0));
        return;
    }
    SendMessageA(tb, TB_PRESSBUTTON, id, MAKELPARAM(TRUE, 0));
    UpdateWindow(tb);
    Sleep(FLASH_MS);
    SendMessageA(tb, TB_PRESSBUTTON, id, MAKELPARAM(FALSE, 0));
    UpdateWindow(tb);
}

static void SetDisplayMode(int mode)
{
    DI.iDisplayMode = mode;
    Refresh();
    InvalidateDisplay();
}

// The value type whose command this is, or -1.
static int ValueTypeOfCommand(int id)
{
    for (int t = 0; t < VT_COUNT; t++)
        if (ValueTypes[t].idCommand == (UINT)id)
            return t;
    return -1;
}

static void SetValueType(int type)
{
    EnterCriticalSection(&csParams);
    SG_Params.iValueType = type;
    SG_Params.wChangeFlags = CF_PARAMS;
    SG_Params.wLogMode = LOG_OFF;   // another value type ends a running log
    LeaveCriticalSection(&csParams);
}

static void Normalise()
{
    int r = SG_View.Params.iRodno ? 1 : 0;
    for (auto &v : RefValues[r])
        v = 0;
    for (int b = SG_View.Params.iFirst; b <= SG_View.Params.iLast && b <= LAST_BEAM; b++)
        if (b >= FIRST_BEAM)
            RefValues[r][b] = Link_ValueAsShown(SG_View, SG_View.aiValue, b);
    SendMessageA(DI.hwndToolbar, TB_ENABLEBUTTON, IDM_RELATIVE, TRUE);
    Refresh();
    InvalidateDisplay();
}

static void Flip()
{
    DI.fFlippedView = !DI.fFlippedView;
    Refresh();
    UpdateDisplayScrollRange();
}

static void AskExit(HWND hwnd, int code)
{
    if (code == CMD_FROM_ACCELERATOR &&
        StringMsgBox(hwnd, APP_TITLE, MB_YESNO | MB_ICONQUESTION | MB_SETFOREGROUND, IDS_EXIT_QUESTION) != IDYES)
        return;
    PostMessageA(hwnd, WM_CLOSE, 0, 0);
}

bool ChooseDisplayFont(HWND owner, LOGFONTA *font)
{
    CHOOSEFONTA cf = {};
    cf.lStructSize = sizeof(cf);
    cf.hwndOwner = owner;
    cf.lpLogFont = font;
    cf.Flags = CF_INITTOLOGFONTSTRUCT | CF_SCREENFONTS | CF_FIXEDPITCHONLY | CF_TTONLY | CF_NOSCRIPTSEL;
    return ChooseFontA(&cf) != 0;
}

static void ChangeFont(HWND hwnd)
{
    LOGFONTA lf;
    GetObjectA(DI.hFont, sizeof(lf), &lf);
    if (!ChooseDisplayFont(hwnd, &lf))
        return;
    DeleteObject(DI.hFont);
    DeleteObject(DI.hFontVert);
    lf.lfEscapement = 0;
    DI.logFont = lf;   // reaches the settings file at exit
    CreateDisplayFonts(DI.hwndDisplay);
    UpdateDisplayScrollRange();
}

static void ShowVersion()
{
    MessageBoxA(NULL,
                "Version: V2.9\n\nBuild: 2009-07-24 11:08:50\nLast modified: 2009-07-24\t\n"
                "Programming: the zebdiag developers\t",
                APP_TITLE, MB_OK | MB_ICONINFORMATION);
}

static void OpenParameters()
{
    SendMessageA(hwndParamDlg, WM_INITDIALOG, 0, 0);
    ShowWindow(hwndParamDlg, SW_SHOWNORMAL);
    SetFocus(hwndParamDlg);
    SetActiveWindow(hwndParamDlg);
}

static bool Checked(int id)
{
    return SendMessageA(DI.hwndToolbar, TB_ISBUTTONCHECKED, id, 0) != 0;
}

void Main_OnCommand(HWND hwnd, int id, HWND control, int code)
{
    FlashToolbarButton(id, code);
    int type = ValueTypeOfCommand(id);
    if (type >= 0) {
        SetValueType(type);
        return;
    }
    switch (id) {
    case IDM_SINGLE: Link_RequestState(TS_SINGLE, false); break;
    case IDM_CONTINUOUS: Link_RequestState(Checked(IDM_CONTINUOUS) ? TS_CONTINUOUS : TS_IDLE, false); break;
    case IDM_NORMALISE: Normalise(); break;
    case IDM_LOAD_REF: ImportReferenceFile(hwnd); break;
    case IDM_RELATIVE:
        DI.fRelative = Checked(IDM_RELATIVE);
        Refresh();
        InvalidateDisplay();
        break;
    case IDM_FLIP: Flip(); break;
    case IDM_COPY: CopyValuesToClipboard(hwnd); break;
    case IDM_SAVE: SaveValuesAsText(hwnd); break;
    case IDM_MINIMUM: SetDisplayMode(DM_MINIMUM); break;
    case IDM_MAXIMUM: SetDisplayMode(DM_MAXIMUM); break;
    case IDM_CURRENT: SetDisplayMode(DM_CURRENT); break;
    case IDM_NOISE:
        if (DI.fNoiseBtnVisible)
            SetDisplayMode(DM_NOISE);
        break;
    case IDM_RESET:
        EnterCriticalSection(&csParams);
        SG_Params.wChangeFlags |= CF_RESET_MINMAX;
        LeaveCriticalSection(&csParams);
        break;
    case IDM_LOGGING:
        if (SG_Params.pLogFile)
            Log_Stop();
        else
            Log_Start(hwnd);
        UpdateToolbarStates(DI.hwndToolbar);
        break;
    case IDM_EXIT: AskExit(hwnd, code); break;
    case IDM_FONT: ChangeFont(hwnd); break;
    case IDM_PARAMETER: OpenParameters(); break;
    case IDM_VERSION: ShowVersion(); break;
    default: DefWindowProcA(hwnd, WM_COMMAND, MAKEWPARAM(id, code), (LPARAM)control); break;
    }
}
