// The report window: a dialog as the main window, so its font, Tab, Alt+letter,
// Return for "Erstellen" and Escape for closing are the platform's own.
#include "reportw.h"

#include "reportw_res.h"

#include <commdlg.h>
#include <shellapi.h>
#include <shlobj.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>

REPW_STATE Repw;

#define TEXT_SIZE 1024

static std::string ItemText(HWND hwnd, int id)
{
    char text[TEXT_SIZE] = "";
    GetDlgItemTextA(hwnd, id, text, sizeof(text));
    std::string s = text;
    size_t a = s.find_first_not_of(" \t"), b = s.find_last_not_of(" \t");
    return a == std::string::npos ? "" : s.substr(a, b - a + 1);
}

// An edit changed by the program, not by the user.
static void FillItem(HWND hwnd, int id, const std::string &text)
{
    Repw.fFilling = true;
    SetDlgItemTextA(hwnd, id, text.c_str());
    Repw.fFilling = false;
}

static int Box(HWND hwnd, const std::string &text, UINT style)
{
    return MessageBoxA(hwnd, text.c_str(), Repw_Load(IDS_APP_TITLE).c_str(), style);
}

static void Repw_ShowTarget(HWND hwnd)
{
    if (!Repw.fTargetByHand)
        FillItem(hwnd, IDC_TARGET, Repw_DefaultTarget(Repw.in));
}

// Whose grid, and where the page goes, follow every change of the choices.
static void Repw_Changed(HWND hwnd)
{
    SetDlgItemTextA(hwnd, IDC_IDENTITY, Repw_IdentityText(Repw.in).c_str());
    Repw_ShowTarget(hwnd);
}

static void Repw_ShowLogs(HWND hwnd)
{
    HWND list = GetDlgItem(hwnd, IDC_LOGS);
    SendMessageA(list, LB_RESETCONTENT, 0, 0);
    HWND combos[2] = {GetDlgItem(hwnd, IDC_FOUND), GetDlgItem(hwnd, IDC_LEFT)};
    for (HWND c : combos)
        SendMessageA(c, CB_RESETCONTENT, 0, 0);
    HDC dc = GetDC(list);
    HGDIOBJ old = SelectObject(dc, (HGDIOBJ)SendMessageA(list, WM_GETFONT, 0, 0));
    int widest = 0;
    for (const std::string &log : Repw.in.aLogs) {
        SendMessageA(list, LB_ADDSTRING, 0, (LPARAM)log.c_str());
        std::string name = Repw_FileName(log);
        for (HWND c : combos)
            SendMessageA(c, CB_ADDSTRING, 0, (LPARAM)name.c_str());
        SIZE size;
        if (GetTextExtentPoint32A(dc, log.c_str(), (int)log.size(), &size))
            widest = std::max(widest, (int)size.cx);
    }
    SelectObject(dc, old);
    ReleaseDC(list, dc);
    SendMessageA(list, LB_SETHORIZONTALEXTENT, widest + 8, 0);
    SendMessageA(combos[0], CB_SETCURSEL, Repw.in.iFound, 0);
    SendMessageA(combos[1], CB_SETCURSEL, Repw.in.iLeft, 0);
}

// Only the fields the chosen page uses can be reached.
static void Repw_ShowKind(HWND hwnd)
{
    int kind = Repw.in.iKind;
    CheckRadioButton(hwnd, IDC_KIND_REPORT, IDC_KIND_PLAN, IDC_KIND_REPORT + kind);
    SetDlgItemTextA(hwnd, IDC_KIND_HINT, Repw_Load(IDS_HINT_REPORT + kind).c_str());
    bool logs = kind == REPW_REPORT || kind == REPW_VISIT, visit = kind == REPW_VISIT, plan = kind == REPW_PLAN;
    const struct {
        int id;
        bool on;
    } fields[] = {
        {IDC_LABEL_LOGS, logs},    {IDC_LOGS, logs},       {IDC_ADD, logs},
        {IDC_REMOVE, logs},        {IDC_LABEL_FOUND, visit}, {IDC_FOUND, visit},
        {IDC_LABEL_LEFT, visit},   {IDC_LEFT, visit},      {IDC_SWAP, visit},
        {IDC_LABEL_FOLDER, !logs}, {IDC_FOLDER, !logs},    {IDC_FOLDER_BROWSE, !logs},
        {IDC_PAGES, plan},         {IDC_PAGES_NAME, plan && IsDlgButtonChecked(hwnd, IDC_PAGES) == BST_CHECKED},
    };
    for (const auto &f : fields)
        EnableWindow(GetDlgItem(hwnd, f.id), f.on);
}

// Logs or folders from the command line, a drop or the file dialog.
static void Repw_Take(HWND hwnd, const std::vector<std::string> &paths, const std::vector<std::string> &bad)
{
    if (!paths.empty()) {
        std::string folder = Repw.in.strFolder;
        Repw.in.iKind = Repw_AddPaths(&Repw.in, paths);
        if (Repw.in.strFolder != folder)   // one that came replaces one typed
            Repw.fFolderByHand = false;
    }
    FillItem(hwnd, IDC_FOLDER, Repw.in.strFolder);
    Repw_ShowLogs(hwnd);
    Repw_ShowKind(hwnd);
    Repw_Changed(hwnd);
    if (!bad.empty()) {
        std::string names;
        for (const std::string &b : bad)
            names += "\n" + b;
        Box(hwnd, Repw_Format(IDS_BAD_PATHS, names.c_str() + 1), MB_OK | MB_ICONWARNING);
    }
}

static BOOL Repw_OnInitDialog(HWND hwnd, const std::vector<std::string> *paths)
{
    HINSTANCE inst = GetModuleHandleA(NULL);
    Repw.hwnd = hwnd;
    Repw.in = REPW_INPUT();
    Repw.fTargetByHand = Repw.fFolderByHand = false;
    SendMessageA(hwnd, WM_SETICON, ICON_BIG, (LPARAM)LoadIconA(inst, MAKEINTRESOURCEA(IDI_REPW)));
    SendMessageA(hwnd, WM_SETICON, ICON_SMALL,
                 (LPARAM)LoadImageA(inst, MAKEINTRESOURCEA(IDI_REPW), IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                    GetSystemMetrics(SM_CYSMICON), 0));
    Repw_LoadRemembered(&Repw.in);
    HWND lang = GetDlgItem(hwnd, IDC_LANGUAGE);
    SendMessageA(lang, CB_ADDSTRING, 0, (LPARAM)Repw_Load(IDS_LANG_DE).c_str());
    SendMessageA(lang, CB_ADDSTRING, 0, (LPARAM)Repw_Load(IDS_LANG_EN).c_str());
    SendMessageA(lang, CB_SETCURSEL, Repw.in.iLang == REP_LANG_EN ? 1 : 0, 0);
    SetDlgItemTextA(hwnd, IDC_TECHNICIAN, Repw.in.strTechnician.c_str());
    SetDlgItemTextA(hwnd, IDC_INI, Repw.in.strIni.c_str());
    SetDlgItemTextA(hwnd, IDC_PAGES_NAME,
                    (Repw.in.strPagesName.empty() ? Repw_Load(IDS_PAGES_DEFAULT) : Repw.in.strPagesName).c_str());
    CheckDlgButton(hwnd, IDC_CSV, Repw.in.fCsv ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(hwnd, IDC_PAGES, Repw.in.fPages ? BST_CHECKED : BST_UNCHECKED);
    Repw_Take(hwnd, paths ? *paths : std::vector<std::string>(), {});
    DragAcceptFiles(hwnd, TRUE);
    SetFocus(GetDlgItem(hwnd, IDC_KIND_REPORT + Repw.in.iKind));
    return FALSE;   // the focus is set
}

void Repw_ReadControls(HWND hwnd, REPW_INPUT *in)
{
    in->strTechnician = ItemText(hwnd, IDC_TECHNICIAN);
    in->strIni = ItemText(hwnd, IDC_INI);
    in->strTarget = Repw_TargetPath(*in, ItemText(hwnd, IDC_TARGET));
    in->strPagesName = ItemText(hwnd, IDC_PAGES_NAME);
    in->fCsv = IsDlgButtonChecked(hwnd, IDC_CSV) == BST_CHECKED;
    in->fPages = IsDlgButtonChecked(hwnd, IDC_PAGES) == BST_CHECKED;
    in->iLang = SendDlgItemMessageA(hwnd, IDC_LANGUAGE, CB_GETCURSEL, 0, 0) == 1 ? REP_LANG_EN : REP_LANG_DE;
}

// An existing page (or the CSV beside it) is replaced only when the user says so.
static bool Repw_MayReplace(HWND hwnd, const REP_JOB &job)
{
    for (const std::string *file : {&job.out, &job.csv})
        if (!file->empty() && Rep_IsFile(*file))
            return Box(hwnd, Repw_Format(IDS_REPLACE, file->c_str()), MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) ==
                   IDYES;
    return true;
}

static bool Repw_OpenPage(HWND hwnd, const std::string &page)
{
    const char *off = getenv(REPW_NO_BROWSER);
    if (off && strcmp(off, "1") == 0)
        return true;
    return (INT_PTR)ShellExecuteA(hwnd, "open", page.c_str(), NULL, NULL, SW_SHOWNORMAL) > 32;
}

static void Repw_OnMake(HWND hwnd)
{
    Repw_ReadControls(hwnd, &Repw.in);
    REP_JOB job;
    UINT missing = Repw_MakeJob(Repw.in, &job);
    if (missing) {
        Box(hwnd, Repw_Load(missing), MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    if (!Repw_MayReplace(hwnd, job))
        return;
    Repw_SaveRemembered(Repw.in);
    SetDlgItemTextA(hwnd, IDC_STATUS, Repw_Load(IDS_WORKING).c_str());
    UpdateWindow(GetDlgItem(hwnd, IDC_STATUS));
    HCURSOR cursor = SetCursor(LoadCursorA(NULL, (LPCSTR)IDC_WAIT));
    REP_RESULT res;
    Rep_RunJob(job, &res);
    SetCursor(cursor);
    if (res.iStatus == 2) {
        SetDlgItemTextA(hwnd, IDC_STATUS, "");
        Box(hwnd, Repw_ErrorText(res, job), MB_OK | MB_ICONERROR);
        return;
    }
    std::string done = Repw_DoneText(Repw.in.iKind, res, job.out);
    if (!Repw_OpenPage(hwnd, job.out))
        done += " " + Repw_Load(IDS_NO_BROWSER);
    SetDlgItemTextA(hwnd, IDC_STATUS, done.c_str());
    if (!res.aNotes.empty())   // logs left out, folders without a card
        Box(hwnd, done + Repw_NotesText(res), MB_OK | MB_ICONINFORMATION);
}

// The filter's parts are separated by '|' in the string table.
static std::string Filter(UINT id)
{
    std::string f = Repw_Load(id);
    std::replace(f.begin(), f.end(), '|', '\0');
    return f + '\0';
}

static void Repw_OnAddLogs(HWND hwnd)
{
    std::vector<char> names(64 * 1024, '\0');
    std::string filter = Filter(IDS_FILTER_LOGS), title = Repw_Load(IDS_TITLE_LOGS);
    std::string dir = Repw.in.aLogs.empty() ? Repw.in.strFolder : Repw_Folder(Repw.in.aLogs.back());
    OPENFILENAMEA ofn = {};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = hwnd;
    ofn.lpstrFilter = filter.c_str();
    ofn.lpstrFile = names.data();
    ofn.nMaxFile = (DWORD)names.size();
    ofn.lpstrInitialDir = dir.empty() ? NULL : dir.c_str();
    ofn.lpstrTitle = title.c_str();
    ofn.Flags = OFN_EXPLORER | OFN_ALLOWMULTISELECT | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY | OFN_ENABLESIZING;
    if (!GetOpenFileNameA(&ofn))
        return;
    // One file: its path. Several: the folder, then each name, each ended by a zero.
    std::vector<std::string> paths;
    const char *p = names.data();
    std::string first = p;
    for (p += first.size() + 1; *p; p += strlen(p) + 1)
        paths.push_back(first + (first.back() == '\\' ? "" : "\\") + p);
    if (paths.empty())
        paths.push_back(first);
    Repw_Take(hwnd, paths, {});
}

static void Repw_OnRemoveLogs(HWND hwnd)
{
    HWND list = GetDlgItem(hwnd, IDC_LOGS);
    for (int i = (int)Repw.in.aLogs.size() - 1; i >= 0; i--)
        if (SendMessageA(list, LB_GETSEL, i, 0) > 0)
            Repw.in.aLogs.erase(Repw.in.aLogs.begin() + i);
    Repw_PickVisit(Repw.in.aLogs, &Repw.in.iFound, &Repw.in.iLeft);
    Repw_ShowLogs(hwnd);
    Repw_Changed(hwnd);
}

static void Repw_OnBrowseFolder(HWND hwnd)
{
    std::string title = Repw_Load(IDS_TITLE_FOLDER);
    char path[MAX_PATH] = "";
    BROWSEINFOA bi = {};
    bi.hwndOwner = hwnd;
    bi.pszDisplayName = path;
    bi.lpszTitle = title.c_str();
    bi.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    PIDLIST_ABSOLUTE pidl = SHBrowseForFolderA(&bi);
    if (!pidl)
        return;
    bool ok = SHGetPathFromIDListA(pidl, path);
    CoTaskMemFree(pidl);
    if (ok)
        Repw_Take(hwnd, {path}, {});
}

static void Repw_OnBrowseFile(HWND hwnd, int id, bool save)
{
    char name[MAX_PATH + 1] = "";
    std::string current = ItemText(hwnd, id);
    lstrcpynA(name, current.c_str(), sizeof(name));
    std::string filter = Filter(save ? IDS_FILTER_HTML : IDS_FILTER_INI);
    std::string title = Repw_Load(save ? IDS_TITLE_TARGET : IDS_TITLE_INI);
    OPENFILENAMEA ofn = {};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = hwnd;
    ofn.lpstrFilter = filter.c_str();
    ofn.lpstrFile = name;
    ofn.nMaxFile = sizeof(name);
    ofn.lpstrTitle = title.c_str();
    ofn.lpstrDefExt = save ? "html" : "ini";
    // The question whether to replace comes when the page is made, not here.
    ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_ENABLESIZING | (save ? OFN_PATHMUSTEXIST : OFN_FILEMUSTEXIST);
    if (!(save ? GetSaveFileNameA(&ofn) : GetOpenFileNameA(&ofn)))
        return;
    SetDlgItemTextA(hwnd, id, name);   // typed by the user, as it were
}

static void Repw_OnClose(HWND hwnd)
{
    Repw_ReadControls(hwnd, &Repw.in);
    Repw_SaveRemembered(Repw.in);
    DestroyWindow(hwnd);
}

static void Repw_OnCommand(HWND hwnd, int id, int code)
{
    // An accelerator reaches a command whose button is disabled.
    if (code == 1 && (id == IDC_ADD || id == IDC_FOLDER_BROWSE || id == IDC_SWAP) &&
        !IsWindowEnabled(GetDlgItem(hwnd, id)))
        return;
    switch (id) {
    case IDC_KIND_REPORT:
    case IDC_KIND_VISIT:
    case IDC_KIND_HISTORY:
    case IDC_KIND_PLAN:
        if (code == BN_CLICKED && IsDlgButtonChecked(hwnd, id) == BST_CHECKED && Repw.in.iKind != id - IDC_KIND_REPORT) {
            Repw.in.iKind = id - IDC_KIND_REPORT;
            Repw_ShowKind(hwnd);
            Repw_Changed(hwnd);
        }
        break;
    case IDC_FOUND:
    case IDC_LEFT:
        if (code == CBN_SELCHANGE) {
            (id == IDC_FOUND ? Repw.in.iFound : Repw.in.iLeft) = (int)SendDlgItemMessageA(hwnd, id, CB_GETCURSEL, 0, 0);
            Repw_Changed(hwnd);
        }
        break;
    case IDC_SWAP:
        std::swap(Repw.in.iFound, Repw.in.iLeft);
        Repw_ShowLogs(hwnd);
        Repw_Changed(hwnd);
        break;
    case IDC_FOLDER:
        if (code == EN_CHANGE && !Repw.fFilling) {
            Repw.in.strFolder = ItemText(hwnd, IDC_FOLDER);
            Repw.fFolderByHand = true;
            Repw_Changed(hwnd);
        }
        break;
    case IDC_TARGET:
        if (code == EN_CHANGE && !Repw.fFilling)
            Repw.fTargetByHand = !ItemText(hwnd, IDC_TARGET).empty();   // emptied: the default again
        if (code == EN_KILLFOCUS && !Repw.fTargetByHand)
            Repw_ShowTarget(hwnd);
        break;
    case IDC_PAGES:
        Repw_ShowKind(hwnd);
        break;
    case IDC_ADD:
        Repw_OnAddLogs(hwnd);
        break;
    case IDC_REMOVE:
        Repw_OnRemoveLogs(hwnd);
        break;
    case IDC_FOLDER_BROWSE:
        Repw_OnBrowseFolder(hwnd);
        break;
    case IDC_INI_BROWSE:
        Repw_OnBrowseFile(hwnd, IDC_INI, false);
        break;
    case IDC_TARGET_BROWSE:
        Repw_OnBrowseFile(hwnd, IDC_TARGET, true);
        break;
    case IDOK:
        Repw_OnMake(hwnd);
        break;
    case IDCANCEL:
        Repw_OnClose(hwnd);
        break;
    }
}

static void Repw_OnDropFiles(HWND hwnd, HDROP drop)
{
    std::vector<std::string> paths, bad;
    UINT n = DragQueryFileW(drop, 0xFFFFFFFF, NULL, 0);
    for (UINT i = 0; i < n; i++) {
        std::wstring wide(DragQueryFileW(drop, i, NULL, 0) + 1, L'\0');
        DragQueryFileW(drop, i, &wide[0], (UINT)wide.size());
        std::string ansi;
        (Repw_PathToAnsi(wide.c_str(), &ansi) ? paths : bad).push_back(ansi);
    }
    DragFinish(drop);
    Repw_Take(hwnd, paths, bad);
}

// Delete in the list removes the chosen logs.
static INT_PTR Repw_OnVKeyToItem(HWND hwnd, int key)
{
    if (key != VK_DELETE)
        return -1;
    Repw_OnRemoveLogs(hwnd);
    return -2;
}

INT_PTR CALLBACK Repw_DlgProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_INITDIALOG:
        return Repw_OnInitDialog(hwnd, (const std::vector<std::string> *)lParam);
    case WM_COMMAND:
        Repw_OnCommand(hwnd, LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_DROPFILES:
        Repw_OnDropFiles(hwnd, (HDROP)wParam);
        return TRUE;
    case WM_VKEYTOITEM:
        return Repw_OnVKeyToItem(hwnd, LOWORD(wParam));
    case WM_CLOSE:
        Repw_OnClose(hwnd);
        return TRUE;
    case WM_DESTROY:
        Repw.hwnd = NULL;
        PostQuitMessage(0);
        return TRUE;
    }
    return FALSE;
}

HWND Repw_CreateWindow(HINSTANCE inst, const std::vector<std::string> &paths)
{
    return CreateDialogParamA(inst, MAKEINTRESOURCEA(IDD_REPW), NULL, Repw_DlgProc, (LPARAM)&paths);
}

int Repw_Run(HINSTANCE inst, int show, const std::vector<std::string> &paths, const std::vector<std::string> &bad)
{
    OleInitialize(NULL);   // the folder dialog's new style needs OLE
    HWND hwnd = Repw_CreateWindow(inst, paths);
    if (!hwnd)
        return 1;
    HACCEL accel = LoadAcceleratorsA(inst, MAKEINTRESOURCEA(IDR_REPW_ACCEL));
    ShowWindow(hwnd, show);
    if (!bad.empty())
        Repw_Take(hwnd, {}, bad);
    MSG msg;
    BOOL got;
    while ((got = GetMessageA(&msg, NULL, 0, 0)) != 0) {
        if (got == -1)
            break;
        if (Repw.hwnd && TranslateAcceleratorA(Repw.hwnd, accel, &msg))
            continue;
        if (Repw.hwnd && IsDialogMessageA(Repw.hwnd, &msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    OleUninitialize();
    return (int)msg.wParam;
}
