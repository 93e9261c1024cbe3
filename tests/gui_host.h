// A stand-in main window for the window tests: toolbar, status bar and the
// bar display, laid out as the program lays them out.
#ifndef GUI_HOST_H
#define GUI_HOST_H

#include <windows.h>

#include <string>

struct GuiHost {
    HWND main = NULL;
    GuiHost(int width = 900, int height = 600);
    ~GuiHost();
    void Repaint();               // invalidate the display and paint it now
    COLORREF Pixel(int x, int y); // display client coordinates
    void SaveScreenshot(const std::string &name);   // the whole window, as BMP under the build folder
};

void PumpMessages(DWORD ms);

#endif
