// Program entry and the main window: creation, layout, keys, tool tips, the
// link's notifications and the two-stage shutdown.
#include "app.h"

#include "display.h"
#include "link.h"
#include "resource.h"
#include "settings.h"
#include "shell.h"

#include <commctrl.h>
#include <limits.h>

HINSTANCE hInst;
HWND hwndParamDlg;
HANDLE hCommThread;
DWORD dwCommThreadId;
BYTE fFirstClose = 1;
// Set when an Alt+key accelerator was taken: the release of Alt must then not
// open the menu bar (Wine does so, and the next key would only close it).
static bool fAltKeyUsed;

#define STATUS_PART_WIDTH 140
#define FORCED_END_WAIT_MS 500
#define LAST_RESORT_WAIT_MS 3000
#define SESSION_END_GRACE_MS 500
// Set once the session ends: nothing may wait for the user any more.
static bool fSessionEnded;

static bool RegisterClasses()
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = Main_WndProc;
    wc.hInstance = hInst;
    wc.hIcon = LoadIconA(hInst, MAKEINTRESOURCEA(IDI_APP));
    wc.hCursor = LoadCursorA(NULL, (LPCSTR)IDC_ARROW);
    wc.lpszMenuName = MAKEINTRESOURCEA(IDR_MENU);
    wc.lpszClassName = MAIN_CLASS;
    return RegisterClassA(&wc) && RegisterDisplayClass(hInst);
}

#define USABLE_WIDTH 100
#define USABLE_HEIGHT 50

// Whether the user can reach a window there: its caption and a fair part of
// it lie on one monitor.
static bool IsReachable(const RECT &w)
{
    HMONITOR monitor = MonitorFromRect(&w, MONITOR_DEFAULTTONULL);
    MONITORINFO mi;
    mi.cbSize = sizeof(mi);
    RECT meet;
    if (!monitor || !GetMonitorInfoA(monitor, &mi) || !IntersectRect(&meet, &w, &mi.rcMonitor))
        return false;
    int frame = GetSystemMetrics(SM_CYSIZEFRAME) + GetSystemMetrics(SM_CXPADDEDBORDER);
    return meet.right - meet.left >= USABLE_WIDTH && meet.bottom - meet.top >= USABLE_HEIGHT &&
           w.top >= mi.rcMonitor.top - frame && w.top + GetSystemMetrics(SM_CYCAPTION) <= mi.rcMonitor.bottom;
}

// Keeps the window as visible as it is: hidden until the start's show state.
static void SetPlacement(HWND hwnd, WINDOWPLACEMENT *wp)
{
    wp->flags = 0;
    wp->showCmd = IsWindowVisible(hwnd) ? SW_SHOWNA : SW_HIDE;
    SetWindowPlacement(hwnd, wp);
}

// The stored rectangle, if the window really gets a reachable place from it
// (the platform clamps the size and moves a place off every screen onto one,
// so the outcome is checked, not the wish); otherwise the default placement
// stays. It is the normal position in work-area coordinates, so it goes back
// through the placement, which knows where a taskbar on the left or at the
// top moved the work area.
void Main_RestorePlacement(HWND hwnd)
{
    const RECT &r = DI.rcWnd;
    WINDOWPLACEMENT before, wp, now;
    RECT after;
    LONGLONG w = (LONGLONG)r.right - r.left, h = (LONGLONG)r.bottom - r.top;   // the file may hold any numbers
    before.length = sizeof(before);
    if (w <= 0 || h <= 0 || !GetWindowPlacement(hwnd, &before))
        return;
    wp = before;
    wp.rcNormalPosition = r;
    if (w > INT_MAX)   // then left < 0: the sum fits
        wp.rcNormalPosition.right = r.left + INT_MAX;
    if (h > INT_MAX)
        wp.rcNormalPosition.bottom = r.top + INT_MAX;
    SetPlacement(hwnd, &wp);
    now.length = sizeof(now);
    bool asStored = GetWindowPlacement(hwnd, &now) && now.rcNormalPosition.left == r.left &&
                    now.rcNormalPosition.top == r.top;
    if (!asStored || (GetWindowRect(hwnd, &after) && !IsReachable(after)))
        SetPlacement(hwnd, &before);
}

void Main_StorePlacement(HWND hwnd)
{
    WINDOWPLACEMENT wp;
    wp.length = sizeof(wp);
    if (GetWindowPlacement(hwnd, &wp))
        DI.rcWnd = wp.rcNormalPosition;   // a maximised or minimised window keeps its restored place
}

int Main_Run(HINSTANCE instance, int show)
{
    hInst = instance;
    if (!RegisterClasses()) {
        MessageBoxA(NULL, "Program requires Unicode (Windows NT/2K/XP...)!", APP_TITLE, MB_OK | MB_ICONERROR);
        return 0;
    }
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_BAR_CLASSES};
    InitCommonControlsEx(&icc);
    CreateDisplayBrushes();
    SG_Params.iGain = 0;
    SG_Params.iValueType = VT_SIGNAL;
    SG_Params.wChangeFlags = CF_PARAMS;
    SG_Params.pLogFile = NULL;
    SG_Params.wLogMode = LOG_OFF;
    LoadSettings();
    SG_Params.iMinAbsValue = DI.minAbsValue;   // the log's floor travels with the parameters
    Link_CreateLocks();
    Link_BeginTimerResolution();

    HWND hwnd = CreateWindowExA(0, MAIN_CLASS, APP_TITLE, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, NULL, NULL, hInst, NULL);
    if (hwnd)
        Main_RestorePlacement(hwnd);
    hwndParamDlg = hwnd ? CreateDialogA(hInst, MAKEINTRESOURCEA(IDD_PARAMETER), hwnd, ParamDlgProc) : NULL;
    if (hwnd && hwndParamDlg) {
        HACCEL accel = LoadAcceleratorsA(hInst, MAKEINTRESOURCEA(IDR_ACCEL));
        ShowWindow(hwnd, show);
        UpdateWindow(hwnd);
        MSG msg;
        BOOL got;
        while ((got = GetMessageA(&msg, NULL, 0, 0)) != 0) {
            if (got == -1)
                continue;
            if (IsDialogMessageA(hwndParamDlg, &msg))   // also while hidden
                continue;
            if (msg.message == WM_SYSKEYDOWN && msg.wParam == VK_MENU)
                fAltKeyUsed = false;
            if (TranslateAcceleratorA(hwnd, accel, &msg)) {
                if (msg.message == WM_SYSKEYDOWN)
                    fAltKeyUsed = true;
                continue;
            }
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (!SaveSettings() && !fSessionEnded) {
            char path[MAX_PATH];
            GetIniFileName(path);
            StringMsgBox(NULL, APP_TITLE, MB_OK | MB_ICONERROR, IDS_SETTINGS_UNSAVED, path);
        }
    }
    if (hwndParamDlg && IsWindow(hwndParamDlg))   // gone with its owner when that was destroyed
        DestroyWindow(hwndParamDlg);
    Link_DeleteLocks();
    DeleteDisplayBrushes();
    Link_EndTimerResolution();
    return 0;
}

static void Main_OnCreate(HWND hwnd)
{
    DI.hwndMain = hwnd;
    hwndLinkNotify = hwnd;
    DI.hwndToolbar = CreateToolbar(hwnd);
    DI.hwndStatus = CreateStatusBar(hwnd);
    DI.hwndDisplay = CreateWindowExA(WS_EX_CLIENTEDGE, DISPLAY_CLASS, "", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, hwnd,
                                     NULL, hInst, NULL);
    UpdateDisplayScrollRange();
    hCommThread = CreateThread(NULL, 0, Link_ThreadProc, NULL, 0, &dwCommThreadId);
    if (hCommThread) {
        UpdateToolbarStates(DI.hwndToolbar);
        UpdateTitle();
        SetStatusReady();
    } else {
        StringMsgBox(NULL, APP_TITLE, MB_OK | MB_ICONERROR | MB_SETFOREGROUND, IDS_ERR_THREAD_START);
    }
}

static void Main_OnSize(HWND hwnd, WPARAM wParam, LPARAM lParam)
{
    int w = LOWORD(lParam);
    int parts[3] = {w - 2 * STATUS_PART_WIDTH, w - STATUS_PART_WIDTH, -1};
    if (DI.fTimeAnalysis)
        SendMessageA(DI.hwndStatus, SB_SETPARTS, 3, (LPARAM)parts);
    else
        SendMessageA(DI.hwndStatus, SB_SETPARTS, 2, (LPARAM)(parts + 1));
    SendMessageA(DI.hwndToolbar, WM_SIZE, 0, 0);
    SendMessageA(DI.hwndStatus, WM_SIZE, 0, 0);
    SendMessageA(DI.hwndDisplay, WM_SIZE, wParam, lParam);
    (void)hwnd;
    UpdateDisplayScrollRange();
}

static void Main_OnGetMinMaxInfo(HWND hwnd, MINMAXINFO *mmi)
{
    if (!DI.hwndDisplay)
        return;
    RECT outer, inner;
    GetWindowRect(hwnd, &outer);
    GetClientRect(DI.hwndDisplay, &inner);
    int overX = (outer.right - outer.left) - inner.right, overY = (outer.bottom - outer.top) - inner.bottom;
    int minWidth = DI.fTimeAnalysis ? 3 * STATUS_PART_WIDTH : STATUS_PART_WIDTH;
    mmi->ptMinTrackSize.x = overX > minWidth ? overX : minWidth;
    mmi->ptMinTrackSize.y = overY + DI.iTitleHeight;
}

static void Main_OnSizing(HWND hwnd, WPARAM edge)
{
    if (!DI.fFlippedView || edge < WMSZ_TOP || edge > WMSZ_BOTTOMRIGHT)
        return;
    RECT rc;
    GetWindowRect(DI.hwndDisplay, &rc);
    MapWindowPoints(NULL, hwnd, (POINT *)&rc, 2);
    InvalidateRect(hwnd, &rc, FALSE);
}

static bool Main_OnKeyDown(WPARAM key)
{
    int code;
    switch (key) {
    case VK_PRIOR: code = SB_PAGEUP; break;
    case VK_NEXT: code = SB_PAGEDOWN; break;
    case VK_HOME: code = SB_TOP; break;
    case VK_END: code = SB_BOTTOM; break;
    case VK_LEFT:
    case VK_UP: code = SB_LINEUP; break;
    case VK_RIGHT:
    case VK_DOWN: code = SB_LINEDOWN; break;
    default: return false;
    }
    SendMessageA(DI.hwndDisplay, DI.fFlippedView ? WM_HSCROLL : WM_VSCROLL, MAKEWPARAM(code, 0), 0);
    return true;
}

static void Main_OnToolTip(LPARAM lParam)
{
    static char tip[64];
    NMTTDISPINFOA *info = (NMTTDISPINFOA *)lParam;
    if (info->hdr.code != TTN_NEEDTEXTA)
        return;
    LoadStringA(hInst, (UINT)info->hdr.idFrom, tip, sizeof(tip));
    info->lpszText = tip;
}

void Main_OnCommNotify(HWND hwnd, WPARAM wParam, LPARAM lParam)
{
    int event = LOWORD(wParam), code = HIWORD(wParam);
    char text[256];
    bool ended = false;
    switch (event) {
    case CN_DATA:
        EnterCriticalSection(&csData);
        SG_View = SG_Shared;
        LeaveCriticalSection(&csData);
        if (lParam <= 1000)
            SetStatusText(STATUS_CYCLE, "\tZykluszeit: %d ms", (int)lParam);
        else
            SetStatusText(STATUS_CYCLE, "\tZykluszeit");
        if (code & CF_PARAMS) {
            UpdateToolbarStates(DI.hwndToolbar);
            UpdateTitle();
        }
        InvalidateDisplay();
        return;
    case CN_CLOSELOG:
        Log_Close();
        break;
    case CN_STATE:
        switch (code) {
        case TS_ENDED:
            LoadStringA(hInst, IDS_TERMINATED, text, sizeof(text));
            SetStatusText(STATUS_LINK, text);
            ended = true;
            break;
        case TS_ERROR:
            if (lParam) {
                SetStatusText(STATUS_LINK, "RS232-Error: %s", (const char *)lParam);
                GlobalFree((HGLOBAL)lParam);
                MessageBeep(MB_ICONHAND);
            }
            break;
        case TS_IDLE:
            SetStatusReady();
            SetStatusText(STATUS_CYCLE, "");
            break;
        case TS_SINGLE:
        case TS_CONTINUOUS:
            LoadStringA(hInst, IDS_CONNECTED, text, sizeof(text));
            SetStatusText(STATUS_LINK, text, DTI.szComport);
            break;
        default:
            break;
        }
        break;
    default:
        return;
    }
    UpdateToolbarStates(DI.hwndToolbar);
    UpdateTitle();
    // WM_DESTROY is the system's to send: the window is destroyed for real.
    if (ended)
        DestroyWindow(hwnd);
}

// The second close request. The thread is asked to end once more and its
// pending read is aborted so that it can finish its cycle (and its log
// line) at once; only if it still hangs is it terminated, and then while
// this thread holds both locks, so that it cannot die inside one of them.
// It may have died inside a write to the log, holding the stream's own lock:
// the stream is then left to the process exit.
static void ForceEndThread()
{
    bool terminated = false;
    if (hCommThread) {
        Link_RequestState(TS_ENDING, false);
        Link_AbortRun();
        if (!Link_ServeWindowUntil(hCommThread, FORCED_END_WAIT_MS) &&
            !Link_ServeWindowUntil(hCommThread, LAST_RESORT_WAIT_MS)) {
            EnterCriticalSection(&csParams);
            EnterCriticalSection(&csData);
            TerminateThread(hCommThread, 0);
            LeaveCriticalSection(&csData);
            LeaveCriticalSection(&csParams);
            WaitForSingleObject(hCommThread, FORCED_END_WAIT_MS);
            terminated = true;
        }
    }
    QIRA_Close(&LinkPort);
    if (!terminated)
        Log_Close();
}

static bool Main_OnClose(HWND hwnd)
{
    if (fFirstClose) {
        char text[256];
        LoadStringA(hInst, IDS_ABORTING, text, sizeof(text));
        SetStatusText(STATUS_LINK, text);
        Link_RequestState(TS_ENDING, false);
        fFirstClose = 0;
        return false;
    }
    ForceEndThread();
    (void)hwnd;
    return true;   // default processing destroys the window
}

// Shutdown, logoff, a restart for updates: the process ends once this
// returns. So the run ends here, the cycle under way given a moment to
// finish with its log line, and the log and the settings are written, with
// nothing that waits for the user.
static void Main_OnEndSession(HWND hwnd, WPARAM ending)
{
    if (!ending)
        return;
    fSessionEnded = true;
    Link_RequestState(TS_ENDING, false);
    if (hCommThread)
        Link_ServeWindowUntil(hCommThread, SESSION_END_GRACE_MS);
    ForceEndThread();
    Main_StorePlacement(hwnd);
    SaveSettings();   // no message: it would hold up the session end
}

static void Main_OnDestroy(HWND hwnd)
{
    Main_StorePlacement(hwnd);
    PostQuitMessage(0);
}

LRESULT CALLBACK Main_WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_CREATE:
        Main_OnCreate(hwnd);
        return 0;
    case WM_DESTROY:
        Main_OnDestroy(hwnd);
        return 0;
    case WM_QUERYENDSESSION:
        return TRUE;   // never holds up the session end
    case WM_ENDSESSION:
        Main_OnEndSession(hwnd, wParam);
        return 0;
    case WM_SIZE:
        Main_OnSize(hwnd, wParam, lParam);
        return 0;
    case WM_CLOSE:
        if (Main_OnClose(hwnd))
            break;
        return 0;
    case WM_GETMINMAXINFO:
        Main_OnGetMinMaxInfo(hwnd, (MINMAXINFO *)lParam);
        return 0;
    case WM_NOTIFY:
        Main_OnToolTip(lParam);
        return 0;
    case WM_KEYDOWN:
        if (Main_OnKeyDown(wParam))
            return 0;
        break;
    case WM_COMMAND:
        Main_OnCommand(hwnd, LOWORD(wParam), (HWND)lParam, HIWORD(wParam));
        return 0;
    case WM_SIZING:
        Main_OnSizing(hwnd, wParam);
        return 1;
    case WM_COMM_NOTIFY:
        Main_OnCommNotify(hwnd, wParam, lParam);
        return 0;
    case WM_DISPLAY_PAINTED:
        ShowPaintTime((DWORD)wParam);
        return 0;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_KEYMENU && lParam == 0 && fAltKeyUsed) {
            fAltKeyUsed = false;
            return 0;
        }
        break;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}
