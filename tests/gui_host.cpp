#include "gui_host.h"

#include "display.h"
#include "shell.h"

#include <commctrl.h>
#include <stdio.h>

static LRESULT CALLBACK HostProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_SIZE && DI.hwndDisplay) {
        SendMessageA(DI.hwndToolbar, TB_AUTOSIZE, 0, 0);
        SendMessageA(DI.hwndStatus, WM_SIZE, wParam, lParam);
        SendMessageA(DI.hwndDisplay, WM_SIZE, wParam, lParam);
        UpdateDisplayScrollRange();
        return 0;
    }
    if (msg == WM_DISPLAY_PAINTED) {
        ShowPaintTime((DWORD)wParam);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

void PumpMessages(DWORD ms)
{
    DWORD t0 = GetTickCount();
    do {
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        Sleep(1);
    } while (GetTickCount() - t0 < ms);
}

GuiHost::GuiHost(int width, int height)
{
    static bool registered = false;
    HINSTANCE inst = GetModuleHandleA(NULL);
    if (!registered) {
        registered = true;
        INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_BAR_CLASSES};
        InitCommonControlsEx(&icc);
        CreateDisplayBrushes();
        RegisterDisplayClass(inst);
        WNDCLASSA wc = {};
        wc.lpfnWndProc = HostProc;
        wc.hInstance = inst;
        wc.hCursor = LoadCursorA(NULL, (LPCSTR)IDC_ARROW);
        wc.lpszClassName = "GuiHost";
        RegisterClassA(&wc);
    }
    main = CreateWindowExA(0, "GuiHost", "", WS_OVERLAPPEDWINDOW, 0, 0, width, height, NULL, NULL, inst, NULL);
    DI.hwndMain = main;
    DI.hwndToolbar = CreateToolbar(main);
    DI.hwndStatus = CreateStatusBar(main);
    DI.hwndDisplay = CreateWindowExA(WS_EX_CLIENTEDGE, DISPLAY_CLASS, "", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, main,
                                     NULL, inst, NULL);
    ShowWindow(main, SW_SHOW);
    RECT rc;
    GetClientRect(main, &rc);
    SendMessageA(main, WM_SIZE, SIZE_RESTORED, MAKELPARAM(rc.right, rc.bottom));
    SetForegroundWindow(main);
    PumpMessages(100);
}

GuiHost::~GuiHost()
{
    DestroyWindow(main);
    DI.hwndMain = DI.hwndToolbar = DI.hwndStatus = DI.hwndDisplay = NULL;
    PumpMessages(10);
}

void GuiHost::Repaint()
{
    InvalidateRect(DI.hwndDisplay, NULL, FALSE);
    UpdateWindow(DI.hwndDisplay);
    GdiFlush();
}

COLORREF GuiHost::Pixel(int x, int y)
{
    HDC dc = GetDC(DI.hwndDisplay);
    COLORREF c = GetPixel(dc, x, y);
    ReleaseDC(DI.hwndDisplay, dc);
    return c;
}

void GuiHost::SaveScreenshot(const std::string &name)
{
    RECT rc;
    GetWindowRect(main, &rc);
    int w = rc.right - rc.left, h = rc.bottom - rc.top;
    HDC win = GetWindowDC(main), mem = CreateCompatibleDC(win);
    BITMAPINFO bi = {};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), w, h, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void *bits = nullptr;
    HBITMAP bmp = CreateDIBSection(win, &bi, DIB_RGB_COLORS, &bits, NULL, 0);
    HGDIOBJ old = SelectObject(mem, bmp);
    BitBlt(mem, 0, 0, w, h, win, 0, 0, SRCCOPY);
    GdiFlush();
    int stride = (w * 3 + 3) & ~3;
    BITMAPFILEHEADER fh = {0x4D42, (DWORD)(sizeof(fh) + sizeof(BITMAPINFOHEADER) + stride * h), 0, 0,
                           (DWORD)(sizeof(fh) + sizeof(BITMAPINFOHEADER))};
    CreateDirectoryA("screens", NULL);
    FILE *f = fopen(("screens\\" + name + ".bmp").c_str(), "wb");
    if (f) {
        fwrite(&fh, sizeof(fh), 1, f);
        fwrite(&bi.bmiHeader, sizeof(BITMAPINFOHEADER), 1, f);
        fwrite(bits, stride, h, f);
        fclose(f);
    }
    SelectObject(mem, old);
    DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(main, win);
}
