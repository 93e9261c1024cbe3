// zebreport: a service report from the program's data logs.
#include "report.h"

int main(int argc, char **argv)
{
    return Rep_Main(argc, argv);
}
