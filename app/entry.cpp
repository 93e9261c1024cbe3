// Program entry: everything else lives in the core library.
#include "app.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show)
{
    return Main_Run(instance, show);
}
