// The modeless parameter dialog: loads from and stores into the shared
// records; a change of port, bit rate or protocol stops the link first.
#include "app.h"

#include "display.h"
#include "link.h"
#include "resource.h"

#include <stdlib.h>
#include <string.h>

static const int BitRates[] = {1200, 2400, 4800, 9600, 14400, 19200, 38400, 57600, 115200};
static const int LimitEdits[] = {IDC_LIMIT_MIN_REL, IDC_LIMIT_MAX_REL, IDC_LIMIT_MIN_ABS, IDC_LIMIT_MAX_ABS};

static void EnableLimits(HWND dlg, bool on)
{
    for (int id : LimitEdits)
        EnableWindow(GetDlgItem(dlg, id), on);
}

static void FillPorts(HWND dlg)
{
    HWND list = GetDlgItem(dlg, IDC_PORT);
    SendMessageA(list, CB_RESETCONTENT, 0, 0);
    DWORD needed = 0;
    QIRA_EnumPorts(NULL, 0, &needed);
    if (needed == 0) {
        StringMsgBox(dlg, "QIRA", MB_OK | MB_ICONERROR | MB_SETFOREGROUND, IDS_ERR_COUNT_PORTS);
    } else {
        char *names = (char *)calloc(needed, 1);
        if (names && QIRA_EnumPorts(names, needed, &needed))
            for (const char *p = names; *p; p += strlen(p) + 1)
                SendMessageA(list, CB_ADDSTRING, 0, (LPARAM)p);
        free(names);
    }
    // The stored port itself, not the first entry it is a prefix of ("COM1"
    // would pick "COM10:"). A stored port the machine does not list (an
    // adapter unplugged, a name typed into the settings file) stays
    // selectable, so Apply keeps it.
    char withColon[sizeof(DTI.szComport) + 1];
    snprintf(withColon, sizeof(withColon), "%s:", DTI.szComport);
    LRESULT at = SendMessageA(list, CB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM)DTI.szComport);
    if (at == CB_ERR && !strchr(DTI.szComport, ':'))
        at = SendMessageA(list, CB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM)withColon);
    if (at == CB_ERR && DTI.szComport[0])
        at = SendMessageA(list, CB_ADDSTRING, 0, (LPARAM)DTI.szComport);
    if (at != CB_ERR)
        SendMessageA(list, CB_SETCURSEL, at, 0);
}

static void OnInit(HWND dlg)
{
    FillPorts(dlg);
    HWND rates = GetDlgItem(dlg, IDC_BITRATE);
    SendMessageA(rates, CB_RESETCONTENT, 0, 0);
    char text[32];
    for (int r : BitRates) {
        snprintf(text, sizeof(text), "%d", r);
        SendMessageA(rates, CB_ADDSTRING, 0, (LPARAM)text);
    }
    snprintf(text, sizeof(text), "%d", DTI.iComSpeed > 0 ? (int)DTI.iComSpeed : 38400);
    SetWindowTextA(rates, text);

    SetDlgItemInt(dlg, IDC_GAIN, (UINT)SG_Params.iGain, FALSE);
    SetDlgItemInt(dlg, IDC_FIRST, (UINT)SG_Params.iFirst, FALSE);
    SetDlgItemInt(dlg, IDC_LAST, (UINT)SG_Params.iLast, FALSE);
    SetDlgItemInt(dlg, IDC_CYCLE, (UINT)SG_Params.iCycleDelay, FALSE);
    CheckDlgButton(dlg, IDC_DIAGONAL, SG_Params.iDiagonal ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dlg, IDC_ROD1, SG_Params.iRodno == 0 ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dlg, IDC_ROD2, SG_Params.iRodno == 1 ? BST_CHECKED : BST_UNCHECKED);

    HWND proto = GetDlgItem(dlg, IDC_PROTOCOL);
    SendMessageA(proto, CB_RESETCONTENT, 0, 0);
    for (int i = 0; i < PROTO_COUNT; i++) {
        LRESULT at = SendMessageA(proto, CB_ADDSTRING, 0, (LPARAM)ProtocolVariants[i].pszName);
        SendMessageA(proto, CB_SETITEMDATA, at, i);
        if (i == SG_Params.ZEBproto)
            SendMessageA(proto, CB_SETCURSEL, at, 0);
    }

    CheckDlgButton(dlg, IDC_SHOW_LIMITS, DI.fShowExcessBars ? BST_CHECKED : BST_UNCHECKED);
    EnableLimits(dlg, DI.fShowExcessBars != 0);
    SetDlgItemInt(dlg, IDC_LIMIT_MIN_REL, DI.iLimitMinRel, TRUE);
    SetDlgItemInt(dlg, IDC_LIMIT_MAX_REL, DI.iLimitMaxRel, TRUE);
    SetDlgItemInt(dlg, IDC_LIMIT_MIN_ABS, DI.iLimitMinAbs, TRUE);
    SetDlgItemInt(dlg, IDC_LIMIT_MAX_ABS, DI.iLimitMaxAbs, TRUE);
    SendMessageA(dlg, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS | UISF_HIDEACCEL), 0);
}

static int Number(HWND dlg, int id)
{
    return (int)GetDlgItemInt(dlg, id, NULL, TRUE);
}

static void OnApply(HWND dlg)
{
    char rate[64] = "", port[MAX_PATH + 1] = "";
    GetDlgItemTextA(dlg, IDC_BITRATE, rate, sizeof(rate));
    GetDlgItemTextA(dlg, IDC_PORT, port, sizeof(port));
    HWND proto = GetDlgItem(dlg, IDC_PROTOCOL);
    LRESULT sel = SendMessageA(proto, CB_GETCURSEL, 0, 0);
    int variant = (int)SendMessageA(proto, CB_GETITEMDATA, sel, 0);
    CharUpperA(port);
    int speed = atoi(rate);
    if (strcmp(port, DTI.szComport) != 0 || speed != DTI.iComSpeed || variant != SG_Params.ZEBproto) {
        Link_RequestState(TS_IDLE, true);
        Link_ServeWindowUntil(NULL, 100);
        snprintf(DTI.szComport, sizeof(DTI.szComport), "%s", port);
        DTI.iComSpeed = speed;
    }
    INT32 first = Number(dlg, IDC_FIRST), last = Number(dlg, IDC_LAST), gain = Number(dlg, IDC_GAIN);
    Link_ClampBeamRange(&first, &last);
    INT32 delay = Link_ClampCycleDelay(Number(dlg, IDC_CYCLE));
    EnterCriticalSection(&csParams);
    SG_Params.iGain = gain < 0 ? 0 : gain;
    SG_Params.iFirst = first;
    SG_Params.iLast = last;
    SG_Params.iCycleDelay = delay;
    SG_Params.iDiagonal = IsDlgButtonChecked(dlg, IDC_DIAGONAL) == BST_CHECKED;
    SG_Params.iRodno = IsDlgButtonChecked(dlg, IDC_ROD1) == BST_CHECKED ? 0 : 1;
    SG_Params.ZEBproto = variant;
    SG_Params.wChangeFlags = CF_PARAMS;
    LeaveCriticalSection(&csParams);
    DI.fShowExcessBars = IsDlgButtonChecked(dlg, IDC_SHOW_LIMITS) == BST_CHECKED;
    DI.iLimitMinRel = Number(dlg, IDC_LIMIT_MIN_REL);
    DI.iLimitMaxRel = Number(dlg, IDC_LIMIT_MAX_REL);
    DI.iLimitMinAbs = Number(dlg, IDC_LIMIT_MIN_ABS);
    DI.iLimitMaxAbs = Number(dlg, IDC_LIMIT_MAX_ABS);
    UpdateDisplayScrollRange();
}

INT_PTR CALLBACK ParamDlgProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM)
{
    if (msg == WM_INITDIALOG) {
        OnInit(dlg);
        return TRUE;
    }
    if (msg != WM_COMMAND)
        return FALSE;
    switch (LOWORD(wParam)) {
    case IDC_SHOW_LIMITS:
        EnableLimits(dlg, IsDlgButtonChecked(dlg, IDC_SHOW_LIMITS) == BST_CHECKED);
        return FALSE;
    case IDCANCEL:
        ShowWindow(dlg, SW_HIDE);
        return TRUE;
    case IDOK:
    case IDC_APPLY:
        OnApply(dlg);
        if (LOWORD(wParam) == IDOK)
            ShowWindow(dlg, SW_HIDE);
        return TRUE;
    }
    return FALSE;
}
