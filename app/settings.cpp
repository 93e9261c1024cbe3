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

void GetIniFileName(char *path)
{
    static char cached[MAX_PATH];
    if (!cached[0]) {
        char dir[MAX_PATH + 1] = "", exe[MAX_PATH + 1] = "";
        GetCurrentDirectoryA(MAX_PATH, dir);
        size_t n = strlen(dir);
        if (n == 0 || dir[n - 1] != '\\')
            strcat(dir, "\\");
        GetModuleFileNameA(NULL, exe, MAX_PATH);
        const char *base = exe;
        for (const char *p = exe; *p; p++)
            if (*p == '\\' || *p == '/' || *p == ':')
                base = p + 1;
        char name[MAX_PATH + 1];
        snprintf(name, sizeof(name), "%s", base);
        char *dot = strrchr(name, '.');
        if (dot)
            *dot = 0;
        snprintf(cached, sizeof(cached), "%s%s.ini", dir, name);
    }
    memcpy(path, cached, MAX_PATH);
}

void ReadIniEntry(const char *path, int index)
{
    const IniEntry &e = IniTable[index];
    if (e.pszDefault) {
        char *text = (char *)e.pVar;
        GetPrivateProfileStringA(e.pszSection, e.pszKey, e.pszDefault, text, e.iSize, path);
        if (!text[0])   // a key with an empty value: a text variable is never empty
            snprintf(text, e.iSize, "%s", e.pszDefault);
    } else {
        *(INT32 *)e.pVar = (INT32)GetPrivateProfileIntA(e.pszSection, e.pszKey, e.iDefault, path);
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
    GetIniFileName(path);
    return LoadSettingsFrom(path);
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
    GetIniFileName(path);
    bool written = true;
    for (int i = 0; i < IniEntryCount; i++)
        if (IniTable[i].pVar != &SG_Params.iGain)   // the gain is read, never written
            written = WriteIniEntry(path, i) && written;
    return written;
}
