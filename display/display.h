// The bar display's record: one global instance used on the window thread.
#ifndef DISPLAY_H
#define DISPLAY_H

#include <windows.h>

struct DISPLAY_INFO {
    HWND hwndMain;
    INT32 minAbsValue;   // lower end of the absolute scale; floor of logged and exported values
};

extern DISPLAY_INFO DI;

#endif
