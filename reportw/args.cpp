// Paths as Explorer hands them over (dropped on the program or its shortcut,
// or on the window): UTF-16, turned into the ANSI code page the report's
// file functions take.
#include "reportw.h"

bool Repw_PathToAnsi(const wchar_t *path, std::string *ansi)
{
    std::wstring full(32768, L'\0');
    DWORD n = GetFullPathNameW(path, (DWORD)full.size(), &full[0], NULL);
    if (n == 0 || n >= full.size())
        full = path;
    else
        full.resize(n);
    if (Repw_AnsiFromWide(full.c_str(), ansi))
        return true;
    // A name with letters the code page lacks is still reached by its short
    // name, where the volume keeps short names.
    std::wstring brief(32768, L'\0');
    n = GetShortPathNameW(full.c_str(), &brief[0], (DWORD)brief.size());
    if (n == 0 || n >= brief.size())
        return false;
    brief.resize(n);
    return Repw_AnsiFromWide(brief.c_str(), ansi);
}

void Repw_TakeArgs(int argc, wchar_t **argv, std::vector<std::string> *paths, std::vector<std::string> *bad)
{
    for (int i = 1; i < argc; i++) {
        std::string ansi;
        if (!argv[i][0])
            continue;
        if (Repw_PathToAnsi(argv[i], &ansi))
            paths->push_back(ansi);
        else
            bad->push_back(ansi);   // with its default characters, to be named
    }
}
