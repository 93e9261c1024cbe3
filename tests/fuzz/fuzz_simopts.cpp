// zebsim's options, parsed as its main does. zebsim.cpp is compiled into
// this file for its parser; its refusal (exit) returns here instead.
#include <getopt.h>
#include <stdlib.h>

#include <string>

struct SimExit {};
[[noreturn]] static void SimExitCall(int) { throw SimExit(); }
#define main zebsim_main
#define exit SimExitCall
#include "../../sim/zebsim.cpp"
#undef exit
#undef main

#include "fuzz_files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzArgs a("zebsim", data, size);
    opt = Options();
    optind = 0;   // getopt starts over
    try {
        ParseArgs(a.argc(), a.argv.data());
    } catch (const SimExit &) {
    }
    return 0;
}
