// zebreportw: the report window. The choices a person makes (which page, of
// which logs or folder, for whom, where to) become a job for Rep_RunJob, the
// same as zebreport's command line; its answer is told in German.
#ifndef REPORTW_H
#define REPORTW_H

#include <windows.h>

#include "report.h"

#include <string>
#include <vector>

#define REPW_REG_KEY "Software\\zebdiag\\zebreportw"
#define REPW_NO_BROWSER "ZEB_NO_BROWSER"   // =1: the page is not opened (tests)

enum { REPW_REPORT, REPW_VISIT, REPW_HISTORY, REPW_PLAN, REPW_KINDS };

// What the window holds: paths in the ANSI code page, as the job wants them.
struct REPW_INPUT {
    int iKind = REPW_REPORT;
    std::vector<std::string> aLogs;   // in the order of their names' time stamps
    int iFound = -1, iLeft = -1;      // indexes into aLogs
    std::string strFolder;            // a grid's folder (history) or an archive (plan)
    std::string strTarget, strIni, strTechnician, strPagesName;
    bool fCsv = false, fPages = false;
    int iLang = REP_LANG_DE;
};

// The window's state beyond its controls.
struct REPW_STATE {
    HWND hwnd = NULL;
    REPW_INPUT in;
    bool fTargetByHand = false;   // the user typed a target: no default replaces it
    bool fFolderByHand = false;
    bool fFilling = false;        // the program, not the user, is changing an edit
};
extern REPW_STATE Repw;

// text.cpp: resource strings and code pages.
std::string Repw_Load(UINT id);
std::string Repw_Format(UINT id, ...);
bool Repw_AnsiFromWide(const wchar_t *wide, std::string *ansi);   // false: a character has no ANSI form
std::string Repw_AnsiFromUtf8(const std::string &utf8);
std::string Repw_AnsiFromMixed(const std::string &text);   // ANSI with UTF-8 pieces, as a job's lines are

// choice.cpp: logs, defaults and the job.
std::string Repw_Stamp(const std::string &path);   // YYYYMMDDhhmmss of NAME_YYYYMMDDThhmmss.log, or ""
void Repw_SortLogs(std::vector<std::string> *logs);
void Repw_PickVisit(const std::vector<std::string> &logs, int *found, int *left);
std::string Repw_Folder(const std::string &path);
std::string Repw_FileName(const std::string &path);
std::string Repw_GridFolder(const std::vector<std::string> &logs);
std::string Repw_PageName(int kind);
std::string Repw_DefaultTarget(const REPW_INPUT &in);
std::string Repw_TargetPath(const REPW_INPUT &in, const std::string &typed);
std::string Repw_CsvBeside(const std::string &page);
UINT Repw_MakeJob(const REPW_INPUT &in, REP_JOB *job);   // 0, or the string id of what is missing
int Repw_AddPaths(REPW_INPUT *in, const std::vector<std::string> &paths);   // the kind that suits them
std::string Repw_IdentityText(const REPW_INPUT &in);

// message.cpp: a job's answer in German.
std::string Repw_ErrorText(const REP_RESULT &res, const REP_JOB &job);
std::string Repw_DoneText(int kind, const REP_RESULT &res, const std::string &page);
std::string Repw_NotesText(const REP_RESULT &res);   // "" without notes

// args.cpp: paths from the command line or a drop, in the ANSI code page.
bool Repw_PathToAnsi(const wchar_t *path, std::string *ansi);
void Repw_TakeArgs(int argc, wchar_t **argv, std::vector<std::string> *paths, std::vector<std::string> *bad);

// store.cpp: what is remembered per user.
void Repw_LoadRemembered(REPW_INPUT *in);
void Repw_SaveRemembered(const REPW_INPUT &in);

// window.cpp
HWND Repw_CreateWindow(HINSTANCE inst, const std::vector<std::string> &paths);
int Repw_Run(HINSTANCE inst, int show, const std::vector<std::string> &paths, const std::vector<std::string> &bad);
INT_PTR CALLBACK Repw_DlgProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
void Repw_ReadControls(HWND hwnd, REPW_INPUT *in);

#endif
