// The program: entry, main window, commands, export and import, data log
// and parameter dialog.
#ifndef APP_H
#define APP_H

#include <windows.h>

#include "reffile.h"

#include <stdio.h>

#define MAIN_CLASS "ZEB Zuvaririzadure"

extern HINSTANCE hInst;
extern HWND hwndParamDlg;
extern HANDLE hCommThread;
extern DWORD dwCommThreadId;
extern BYTE fFirstClose;
extern BYTE fLogRelative;

// Entry and main window (mainwnd.cpp)
int Main_Run(HINSTANCE instance, int show);
LRESULT CALLBACK Main_WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
void Main_OnCommNotify(HWND hwnd, WPARAM wParam, LPARAM lParam);
// The stored normal rectangle (DI.rcWnd) to the window and back.
void Main_RestorePlacement(HWND hwnd);
void Main_StorePlacement(HWND hwnd);

// Commands (commands.cpp). The notification code of a command from the
// accelerator table; the menu and the toolbar give 0.
#define CMD_FROM_ACCELERATOR 1
void Main_OnCommand(HWND hwnd, int id, HWND control, int code);
void FlashToolbarButton(int id, int code);
bool ChooseDisplayFont(HWND owner, LOGFONTA *font);
void InvalidateDisplay();

// Export and import (export.cpp)
HGLOBAL BuildValueText();
void CopyValuesToClipboard(HWND owner);
void SaveValuesAsText(HWND owner);
bool WriteTextFile(const char *path, const char *text);   // false: nothing left on disk
void ImportReferenceFile(HWND owner);

// File dialogs (filedlg.cpp). name: MAX_PATH + 1 characters. relative: the
// data log's dialog, with the check box kept in that flag; NULL for others.
bool RunFileDialog(HWND owner, bool save, UINT titleId, UINT filterId, char *name, const char *defExt,
                   BYTE *relative);
UINT_PTR CALLBACK FileDialogHook(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam);

// Loads the text formatId, formats it with the arguments and shows it; the
// caption is a text or a string id (MAKEINTRESOURCEA). Returns the button.
int StringMsgBox(HWND owner, const char *caption, UINT style, UINT formatId, ...);

// Data log, window side (logfile.cpp)
void Log_Start(HWND owner);
// Creates the log file with its header and hands it to the link.
bool Log_Open(const char *path, const SYSTEMTIME &st);
void Log_Stop();
void Log_Close();
bool Log_MakeFileName(char *out, const char *chosen, const SYSTEMTIME &st);

// Parameter dialog (paramdlg.cpp)
INT_PTR CALLBACK ParamDlgProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam);

#endif
