#include "settings.h"

#include "display.h"
#include "link.h"

#include <stdio.h>
#include <string.h>

#include <iterator>

char Log_FileName[MAX_PATH + 1] = "VAP_Logfile";

#define TEXT_ENTRY(sec, var, key, buf, def) {sec, #var, key, buf, (INT32)sizeof(buf), 0, def}
#define INT_ENTRY(sec, var, key, def) {sec, #var, key, &var, 4, def, NULL}

const IniEntry IniTable[] = {
    TEXT_ENTRY("Font", DI.logFont.lfFaceName, "Name", DI.logFont.lfFaceName, "Courier New"),
    INT_ENTRY("Font", DI.logFont.lfHeight, "Size", 0),
    TEXT_ENTRY("Communication", DTI.szComport, "ComPort", DTI.szComport, "COM1:"),
    INT_ENTRY("Communication", DTI.iComSpeed, "ComSpeed", 38400),
    INT_ENTRY("View", DI.fFlippedView, "FlippedView", 1),
    INT_ENTRY("View", DI.flTitleSpacing, "TitleSpacing", 15),
    INT_ENTRY("View", DI.iSignalBarWidth, "SignalBarWidth", 60),
    INT_ENTRY("View", DI.iSignalBarLength, "SignalBarLength", 300),
    INT_ENTRY("View", DI.rcWnd.left, "Left", 0),
    INT_ENTRY("View", DI.rcWnd.top, "Top", 0),
    INT_ENTRY("View", DI.rcWnd.right, "Right", 0),
    INT_ENTRY("View", DI.rcWnd.bottom, "Bottom", 0),
    INT_ENTRY("View", DI.minAbsValue, "MinAbsValue", 0),
    INT_ENTRY("View", DI.fNoiseBtnVisible, "NoiseBtnVisible", 0),
    INT_ENTRY("View", DI.fLoadBtnVisible, "LoadBtnVisible", 0),
    INT_ENTRY("Parameter", SG_Params.iFirst, "FirstBeam", 1),
    INT_ENTRY("Parameter", SG_Params.iLast, "LastBeam", 100),
    INT_ENTRY("Parameter", SG_Params.iDiagonal, "Diagonal", 0),
    INT_ENTRY("Parameter", SG_Params.iRodno, "RodNumber", 0),
    INT_ENTRY("Parameter", SG_Params.iCycleDelay, "CycleDelay", 0),
    INT_ENTRY("Parameter", SG_Params.iGain, "Gain", 0),
    INT_ENTRY("Misc", SG_Params.ZEBproto, "ZEBprotocol", 1),
    INT_ENTRY("Misc", DI.fTimeAnalysis, "TimeAnalysis", 0),
    TEXT_ENTRY("Logfile", Log_FileName, "LogFileName", Log_FileName, "VAP_Logfile"),
    INT_ENTRY("Limits", DI.fShowExcessBars, "ShowExcessBars", 1),
    INT_ENTRY("Limits", DI.iLimitMaxRel, "LimitMaxRel", 250),
    INT_ENTRY("Limits", DI.iLimitMinRel, "LimitMinRel", 0),
    INT_ENTRY("Limits", DI.iLimitMaxAbs, "LimitMaxAbs", 255),
    INT_ENTRY("Limits", DI.iLimitMinAbs, "LimitMinAbs", 0),
};
const int IniEntryCount = (int)std::size(IniTable);

bool IniFileNameFor(const char *dir, const char *exe, char *path)
{
    const char *base = exe;
    for (const char *p = exe; *p; p++)
        if (*p == '\\' || *p == '/' || *p == ':')
            base = p + 1;
    const char *dot = strrchr(base, '.');
    size_t n = strlen(dir), baseLen = dot ? (size_t)(dot - base) : strlen(base);
    const char *sep = n == 0 || dir[n - 1] != '\\' ? "\\" : "";
    // Cut to MAX_PATH, the name would be another file's (or a folder's).
    int len = snprintf(path, MAX_PATH, "%s%s%.*s.ini", dir, sep, (int)baseLen, base);
    return len > 0 && len < MAX_PATH;
}

bool GetIniFileName(char *path)
{
    static char cached[MAX_PATH];
    static bool named;
    if (!cached[0]) {
        char dir[MAX_PATH] = "", exe[MAX_PATH + 1] = "";
        DWORD n = GetCurrentDirectoryA(MAX_PATH, dir);
        if (n == 0 || n >= MAX_PATH)   // the start folder's name alone does not fit
            dir[0] = 0;
        GetModuleFileNameA(NULL, exe, MAX_PATH);
        named = dir[0] && IniFileNameFor(dir, exe, cached);
        if (!named)
            snprintf(cached, sizeof(cached), "%s", dir[0] ? dir : "?");
    }
    memcpy(path, cached, MAX_PATH);
    return named;
}

void ReadIniEntry(const char *path, int index)
{
    const IniEntry &e = IniTable[index];
    if (e.pszDefault) {
        char *text = (char *)e.pVar;
        text[0] = 0;
        if (path)
            GetPrivateProfileStringA(e.pszSection, e.pszKey, e.pszDefault, text, e.iSize, path);
        if (!text[0])   // a key with an empty value: a text variable is never empty
            snprintf(text, e.iSize, "%s", e.pszDefault);
    } else {
        *(INT32 *)e.pVar = path ? (INT32)GetPrivateProfileIntA(e.pszSection, e.pszKey, e.iDefault, path) : e.iDefault;
    }
}

bool WriteIniEntry(const char *path, int index)
{
    const IniEntry &e = IniTable[index];
    if (e.pszDefault)
        return WritePrivateProfileStringA(e.pszSection, e.pszKey, (const char *)e.pVar, path) != FALSE;
    char value[64];
    snprintf(value, sizeof(value), "%d", (int)*(INT32 *)e.pVar);
    return WritePrivateProfileStringA(e.pszSection, e.pszKey, value, path) != FALSE;
}

bool LoadSettings()
{
    char path[MAX_PATH];
    // Without a name that fits there is no file: the defaults apply.
    return LoadSettingsFrom(GetIniFileName(path) ? path : NULL);
}

bool LoadSettingsFrom(const char *path)
{
    for (int i = 0; i < IniEntryCount; i++)
        ReadIniEntry(path, i);
    RECT &r = DI.rcWnd;
    if (r.right < r.left) {
        LONG t = r.left;
        r.left = r.right;
        r.right = t;
    }
    if (r.bottom < r.top) {
        LONG t = r.top;
        r.top = r.bottom;
        r.bottom = t;
    }
    SG_Params.iCycleDelay = Link_ClampCycleDelay(SG_Params.iCycleDelay);
    if (DTI.iComSpeed <= 0)
        DTI.iComSpeed = 38400;
    // The beam range and the rod pair index arrays: a hand-edited file must
    // not reach past them.
    Link_ClampBeams(&SG_Params);
    return true;
}

bool SaveSettings()
{
    char path[MAX_PATH];
    if (!GetIniFileName(path))
        return false;
    bool written = true;
    for (int i = 0; i < IniEntryCount; i++)
        if (IniTable[i].pVar != &SG_Params.iGain)   // the gain is read, never written
            written = WriteIniEntry(path, i) && written;
    return written;
}
