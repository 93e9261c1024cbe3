// The program's file dialogs; the data log's carries the check box
// "Relative Werte" in a panel of its own.
#include "app.h"

#include "resource.h"

#include <commdlg.h>

#define NAME_SIZE (MAX_PATH + 1)

bool RunFileDialog(HWND owner, bool save, UINT titleId, UINT filterId, char *name, const char *defExt,
                   BYTE *relative)
{
    char title[64], filter[66] = {0}, dir[MAX_PATH + 1] = "";
    LoadStringA(hInst, titleId, title, sizeof(title));
    LoadStringA(hInst, filterId, filter, 64);   // one entry with no pattern: the text, then zeros
    GetCurrentDirectoryA(sizeof(dir), dir);
    OPENFILENAMEA ofn = {};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = owner;
    ofn.hInstance = hInst;
    ofn.lpstrFilter = filter;
    ofn.lpstrFile = name;
    ofn.nMaxFile = NAME_SIZE;
    ofn.lpstrInitialDir = dir;
    ofn.lpstrTitle = title;
    ofn.lpstrDefExt = defExt;
    ofn.Flags = OFN_PATHMUSTEXIST | OFN_EXPLORER | OFN_ENABLESIZING;
    if (relative) {
        ofn.Flags |= OFN_ENABLEHOOK | OFN_ENABLETEMPLATE;
        ofn.lpfnHook = FileDialogHook;
        ofn.lpTemplateName = "LOG_OFD_EXTENSION";
        ofn.lCustData = (LPARAM)relative;
    }
    return save ? GetSaveFileNameA(&ofn) != 0 : GetOpenFileNameA(&ofn) != 0;
}

UINT_PTR CALLBACK FileDialogHook(HWND dlg, UINT msg, WPARAM, LPARAM lParam)
{
    static BYTE *flag;
    if (msg == WM_INITDIALOG) {
        flag = (BYTE *)((OPENFILENAMEA *)lParam)->lCustData;
        HWND box = GetParent(dlg);
        RECT desk, rc;
        GetClientRect(GetDesktopWindow(), &desk);
        GetWindowRect(box, &rc);
        int w = rc.right - rc.left, h = rc.bottom - rc.top;
        SetWindowPos(box, NULL, (desk.right - w) / 2, (desk.bottom - h) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    } else if (msg == WM_NOTIFY && flag) {
        const OFNOTIFYA *n = (const OFNOTIFYA *)lParam;
        if (n->hdr.code == CDN_INITDONE)
            CheckDlgButton(dlg, IDC_LOG_RELATIVE, *flag ? BST_CHECKED : BST_UNCHECKED);
        else if (n->hdr.code == CDN_FILEOK)
            *flag = IsDlgButtonChecked(dlg, IDC_LOG_RELATIVE) == BST_CHECKED;
    }
    return 0;
}
