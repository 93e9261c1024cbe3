// Values as text (clipboard and file), the reference import and the file
// dialogs of the program.
#include "app.h"

#include "display.h"
#include "link.h"
#include "resource.h"
#include "shell.h"

#include <commctrl.h>
#include <ctype.h>
#include <errno.h>
#include <limits.h>
#include <shlwapi.h>
#include <stdlib.h>
#include <string.h>

#define NAME_SIZE (MAX_PATH + 1)

static char szExportName[NAME_SIZE];
static char szImportName[NAME_SIZE];

HGLOBAL BuildValueText()
{
    const bool rel = DI.fRelative != 0;
    const char *header = rel ? "Nr.\tAbs\tRef.\r\n" : "Nr.\tAbs\r\n";
    const char *format = rel ? "%d\t%d\t%d\r\n" : "%d\t%d\r\n";
    // Room for the widest line: references and a hand-set floor may be any
    // 32-bit number.
    int w = snprintf(NULL, 0, format, INT_MIN, INT_MIN, INT_MIN);
    if (w < 0)
        w = 0;
    SIZE_T size = strlen(header) + (SIZE_T)LAST_BEAM * w + 1;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT | GMEM_DDESHARE, size);
    if (!block)
        return NULL;
    char *text = (char *)GlobalLock(block);
    if (!text)
        return block;
    strcpy(text, header);
    SIZE_T used = strlen(header);
    const SG_DATA &d = SG_View;
    int rod = d.Params.iRodno ? 1 : 0;
    const INT32 *values = DI.pDisplayValues ? DI.pDisplayValues : d.aiValue;
    for (int b = d.Params.iFirst; b <= d.Params.iLast && b <= LAST_BEAM; b++) {
        if (b < 1)
            continue;
        int v = values[b];
        if (d.Params.iValueType == VT_SIGNAL)
            v -= d.aiValue[0];
        int ref = RefValues[rod][b];
        if (v < DI.minAbsValue)
            v = DI.minAbsValue;
        if (ref < DI.minAbsValue)
            ref = DI.minAbsValue;
        int n = snprintf(text + used, size - used, format, b, v, ref);
        if (n < 0 || (SIZE_T)n >= size - used) {
            text[used] = 0;
            break;
        }
        used += n;
    }
    GlobalUnlock(block);
    // The block ends with the text's terminating zero: nothing after it
    // reaches the clipboard.
    HGLOBAL fitted = GlobalReAlloc(block, used + 1, GMEM_MOVEABLE);
    return fitted ? fitted : block;
}

void CopyValuesToClipboard(HWND owner)
{
    bool refused = !SG_View.fDataValid || (DI.iDisplayMode != DM_CURRENT && !SG_View.fMinMaxValid);
    if (!OpenClipboard(owner))
        return;
    if (EmptyClipboard() && !refused) {
        HGLOBAL block = BuildValueText();
        if (block && !SetClipboardData(CF_TEXT, block))
            GlobalFree(block);
    }
    CloseClipboard();
}

bool RunFileDialog(HWND owner, bool save, UINT titleId, UINT filterId, char *name, const char *defExt,
                   bool logExtension)
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
    if (logExtension) {
        ofn.Flags |= OFN_ENABLEHOOK | OFN_ENABLETEMPLATE;
        ofn.lpfnHook = FileDialogHook;
        ofn.lpTemplateName = "LOG_OFD_EXTENSION";
        ofn.lCustData = (LPARAM)&fLogRelative;
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

static void ErrorBox(HWND owner, UINT textId, UINT captionId)
{
    char text[256], caption[64];
    LoadStringA(hInst, textId, text, sizeof(text));
    LoadStringA(hInst, captionId, caption, sizeof(caption));
    MessageBoxA(owner, text, caption, MB_OK | MB_ICONERROR);
}

bool WriteTextFile(const char *path, const char *text)
{
    FILE *f = fopen(path, "wb");   // binary: the CR LF line ends go out as they are
    if (!f)
        return false;
    size_t n = strlen(text);
    // Written into the buffer is not written: a full disk shows at the flush.
    bool ok = fwrite(text, 1, n, f) == n && fflush(f) == 0 && !ferror(f);
    ok = fclose(f) == 0 && ok;
    if (!ok)
        remove(path);   // no half file that looks like an export
    return ok;
}

void SaveValuesAsText(HWND owner)
{
    bool confirmed = false, saved = false;
    HGLOBAL block = BuildValueText();
    if (block) {
        const char *text = (const char *)GlobalLock(block);
        szExportName[0] = 0;
        if (text && RunFileDialog(owner, true, IDS_DUMP_TITLE, IDS_DUMP_FILTER, szExportName, "txt", false)) {
            confirmed = true;
            PathRenameExtensionA(szExportName, ".txt");
            saved = WriteTextFile(szExportName, text);
        }
        GlobalUnlock(block);
        GlobalFree(block);
    }
    // A confirmed name that cannot be written is reported like a failed dialog.
    if (!saved && (confirmed || CommDlgExtendedError()))
        ErrorBox(owner, IDS_DUMP_ERROR, IDS_DUMP_TITLE);
}

// One decimal integer; no overflow: a number beyond 32 bits is not a number here.
static const char *ReadInt(const char *p, int *out)
{
    while (isspace((unsigned char)*p))
        p++;
    char *end;
    errno = 0;
    long long v = strtoll(p, &end, 10);
    if (end == p || errno == ERANGE || v < INT_MIN || v > INT_MAX)
        return NULL;
    *out = (int)v;
    return end;
}

bool ParseReferenceLine(const char *line, int *beam, int *value)
{
    const char *p = ReadInt(line, beam);
    if (!p || !isspace((unsigned char)*p))
        return false;
    p = ReadInt(p, value);
    if (!p)
        return false;
    while (isspace((unsigned char)*p))
        p++;
    return *p == 0;   // nothing but white space after the two numbers
}

void ImportReferenceFile(HWND owner)
{
    static INT32 values[MAX_BEAMS];
    memset(values, 0, sizeof(values));
    int count = 0;
    bool ok = false;
    if (RunFileDialog(owner, false, IDS_IMPORT_TITLE, IDS_IMPORT_FILTER, szImportName, "txt", false)) {
        PathRenameExtensionA(szImportName, ".txt");
        FILE *f = fopen(szImportName, "r");
        if (f) {
            char line[512];
            while (fgets(line, sizeof(line), f)) {
                int b, v;
                if (ParseReferenceLine(line, &b, &v) && b >= SG_Params.iFirst && b <= SG_Params.iLast && b >= 1 &&
                    b <= LAST_BEAM) {
                    values[b] = v;
                    count++;
                }
            }
            fclose(f);
            ok = true;
        }
    }
    if (!ok) {
        if (CommDlgExtendedError())
            ErrorBox(owner, IDS_IMPORT_ERROR, IDS_IMPORT_TITLE);
        return;
    }
    int rod = SG_View.Params.iRodno ? 1 : 0;
    for (int b = 0; b < MAX_BEAMS; b++)
        RefValues[rod][b] = values[b];
    SendMessageA(DI.hwndToolbar, TB_ENABLEBUTTON, IDM_RELATIVE, TRUE);
    UpdateToolbarStates(DI.hwndToolbar);
    UpdateTitle();
    InvalidateDisplay();
    char format[64], text[64], caption[64];
    LoadStringA(hInst, IDS_IMPORT_DONE, format, sizeof(format));
    LoadStringA(hInst, IDS_IMPORT_TITLE, caption, sizeof(caption));
    snprintf(text, sizeof(text), format, count);
    MessageBoxA(owner, text, caption, MB_OK | MB_ICONINFORMATION);
}
