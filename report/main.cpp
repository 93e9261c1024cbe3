// zebreport: a service report from the program's data logs.
#include "report.h"

#include <stdio.h>
#include <string.h>

int main(int argc, char **argv)
{
    if (argc == 2 && strcmp(argv[1], "--version") == 0)
        return puts("zebreport " ZEB_VERSION) < 0;
    return Rep_Main(argc, argv);
}
