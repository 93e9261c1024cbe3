// What the window remembers per user, under HKEY_CURRENT_USER: the
// technician's name and the choices one makes the same way each time. The
// program may live in a folder the user cannot write, so not beside it.
#include "reportw.h"

static std::string ReadText(HKEY key, const char *name)
{
    char text[1024];
    DWORD type, size = sizeof(text) - 1;
    if (RegQueryValueExA(key, name, NULL, &type, (BYTE *)text, &size) != ERROR_SUCCESS || type != REG_SZ)
        return "";
    text[size] = 0;
    return text;   // up to its terminating zero, whether stored with one or not
}

static bool ReadNumber(HKEY key, const char *name, DWORD *value)
{
    DWORD type, size = sizeof(*value);
    return RegQueryValueExA(key, name, NULL, &type, (BYTE *)value, &size) == ERROR_SUCCESS && type == REG_DWORD &&
           size == sizeof(*value);
}

void Repw_LoadRemembered(REPW_INPUT *in)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, REPW_REG_KEY, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    in->strTechnician = ReadText(key, "Technician");
    in->strIni = ReadText(key, "SettingsFile");
    in->strPagesName = ReadText(key, "PagesFolder");
    DWORD v;
    if (ReadNumber(key, "Language", &v) && v < REP_LANGS)
        in->iLang = (int)v;
    if (ReadNumber(key, "Csv", &v))
        in->fCsv = v != 0;
    if (ReadNumber(key, "Pages", &v))
        in->fPages = v != 0;
    RegCloseKey(key);
}

static void WriteText(HKEY key, const char *name, const std::string &text)
{
    RegSetValueExA(key, name, 0, REG_SZ, (const BYTE *)text.c_str(), (DWORD)text.size() + 1);
}

static void WriteNumber(HKEY key, const char *name, DWORD value)
{
    RegSetValueExA(key, name, 0, REG_DWORD, (const BYTE *)&value, sizeof(value));
}

void Repw_SaveRemembered(const REPW_INPUT &in)
{
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, REPW_REG_KEY, 0, NULL, 0, KEY_WRITE, NULL, &key, NULL) != ERROR_SUCCESS)
        return;
    WriteText(key, "Technician", in.strTechnician);
    WriteText(key, "SettingsFile", in.strIni);
    WriteText(key, "PagesFolder", in.strPagesName);
    WriteNumber(key, "Language", (DWORD)in.iLang);
    WriteNumber(key, "Csv", in.fCsv);
    WriteNumber(key, "Pages", in.fPages);
    RegCloseKey(key);
}
