// The settings file: one INI file next to the start directory, bound to the
// program's variables by one table; read once at start, written once at exit.
#ifndef SETTINGS_H
#define SETTINGS_H

#include <windows.h>

struct IniEntry {
    const char *pszSection;
    const char *pszVarName;   // documentation only
    const char *pszKey;
    void *pVar;
    INT32 iSize;              // bytes: buffer size for text, 4 for integers
    INT32 iDefault;
    const char *pszDefault;   // present exactly for text entries
};

extern const IniEntry IniTable[];
extern const int IniEntryCount;
extern char Log_FileName[MAX_PATH + 1];

// The settings file's name: the start folder and the executable's base name
// with ".ini"; false when that does not fit MAX_PATH characters (path then
// names the folder). Buffer of MAX_PATH characters.
bool GetIniFileName(char *path);
bool IniFileNameFor(const char *dir, const char *exe, char *path);
void ReadIniEntry(const char *path, int index);   // NULL path: the default
bool WriteIniEntry(const char *path, int index);   // false: not written
bool LoadSettings();
// Reads every entry from that file (an absolute path; NULL: none) with the
// start-up corrections.
bool LoadSettingsFrom(const char *path);
// False when any entry could not be written (a folder the user may not write).
bool SaveSettings();

#endif
