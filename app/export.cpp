// Values as text (clipboard and file) and the reference import.
#include "app.h"

#include "display.h"
#include "link.h"
#include "resource.h"
#include "shell.h"

#include <commctrl.h>
#include <shlwapi.h>
#include <stdlib.h>
#include <string.h>

#define NAME_SIZE (MAX_PATH + 1)
#define CLIPBOARD_WAIT_MS 500
#define CLIPBOARD_RETRY_MS 10

static char szExportName[NAME_SIZE];
static char szImportName[NAME_SIZE];
static_assert(REF_BEAMS == MAX_BEAMS, "a reference file fills the array of references");

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
    const INT32 *values = DI.pDisplayValues ? DI.pDisplayValues : d.aiValue;
    for (int b = d.Params.iFirst; b <= d.Params.iLast && b <= LAST_BEAM; b++) {
        if (b < FIRST_BEAM)
            continue;
        int v = Link_ValueAsShown(d, values, b, DI.minAbsValue);
        int ref = Link_ReferenceAsShown(d.Params.iRodno, b, DI.minAbsValue);
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

// Clipboard history or a remote desktop holds the clipboard for moments: a
// copy waits for it a little before it gives up.
static bool OpenClipboardPatiently(HWND owner)
{
    DWORD t0 = GetTickCount();
    while (!OpenClipboard(owner)) {
        if (GetTickCount() - t0 >= CLIPBOARD_WAIT_MS)
            return false;
        Sleep(CLIPBOARD_RETRY_MS);
    }
    return true;
}

void CopyValuesToClipboard(HWND owner)
{
    bool refused = !SG_View.fDataValid || (DI.iDisplayMode != DM_CURRENT && !SG_View.fMinMaxValid);
    if (!OpenClipboardPatiently(owner)) {
        MessageBeep(MB_ICONHAND);   // the old values would be pasted: say so
        return;
    }
    if (EmptyClipboard() && !refused) {
        HGLOBAL block = BuildValueText();
        if (block && !SetClipboardData(CF_TEXT, block))
            GlobalFree(block);
    }
    CloseClipboard();
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
        if (text && RunFileDialog(owner, true, IDS_DUMP_TITLE, IDS_DUMP_FILTER, szExportName, "txt", NULL)) {
            confirmed = true;
            PathRenameExtensionA(szExportName, ".txt");
            saved = WriteTextFile(szExportName, text);
        }
        GlobalUnlock(block);
        GlobalFree(block);
    }
    // A confirmed name that cannot be written is reported like a failed dialog.
    if (!saved && (confirmed || CommDlgExtendedError()))
        StringMsgBox(owner, MAKEINTRESOURCEA(IDS_DUMP_TITLE), MB_OK | MB_ICONERROR, IDS_DUMP_ERROR);
}

void ImportReferenceFile(HWND owner)
{
    static INT32 values[MAX_BEAMS];
    memset(values, 0, sizeof(values));
    int count = -1;
    if (RunFileDialog(owner, false, IDS_IMPORT_TITLE, IDS_IMPORT_FILTER, szImportName, "txt", NULL)) {
        PathRenameExtensionA(szImportName, ".txt");
        count = ReadReferenceFile(szImportName, SG_Params.iFirst, SG_Params.iLast, values, NULL);
    }
    if (count < 0) {
        if (CommDlgExtendedError())
            StringMsgBox(owner, MAKEINTRESOURCEA(IDS_IMPORT_TITLE), MB_OK | MB_ICONERROR, IDS_IMPORT_ERROR);
        return;
    }
    int rod = SG_View.Params.iRodno ? 1 : 0;
    for (int b = 0; b < MAX_BEAMS; b++)
        RefValues[rod][b] = values[b];
    SendMessageA(DI.hwndToolbar, TB_ENABLEBUTTON, IDM_RELATIVE, TRUE);
    UpdateToolbarStates(DI.hwndToolbar);
    UpdateTitle();
    InvalidateDisplay();
    StringMsgBox(owner, MAKEINTRESOURCEA(IDS_IMPORT_TITLE), MB_OK | MB_ICONINFORMATION, IDS_IMPORT_DONE, count);
}
