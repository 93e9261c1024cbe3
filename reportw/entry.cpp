// zebreportw: the report window's entry. Explorer passes the logs or folder
// dropped on the program or its shortcut as arguments, in UTF-16 and quoted
// where they hold spaces.
#include "reportw.h"

#include <shellapi.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show)
{
    int argc = 0;
    wchar_t **argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::vector<std::string> paths, bad;
    if (argv) {
        Repw_TakeArgs(argc, argv, &paths, &bad);
        LocalFree(argv);
    }
    return Repw_Run(instance, show, paths, bad);
}
