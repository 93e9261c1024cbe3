// Toolbar, status bar and title of the main window.
#ifndef SHELL_H
#define SHELL_H

#include <windows.h>

#define APP_TITLE "ZEB Zuvaririzadure"
#define STATUS_LINK 0
#define STATUS_CYCLE 1
#define STATUS_PAINT 2

HWND CreateToolbar(HWND parent);
void UpdateToolbarStates(HWND toolbar);
HWND CreateStatusBar(HWND parent);
void SetStatusText(int part, const char *format, ...);
void SetStatusReady();
void ShowPaintTime(DWORD ms);
void FormatTitle(char *buffer, int relative);   // buffer of 256 characters
#define FILE_CODE_PAGE 1252
void FormatFileTitle(char *buffer, int relative);   // the same in FILE_CODE_PAGE
void UpdateTitle();

#endif
