// The fuzz input as the files a program reads: parts split at a form feed,
// each written to a file of its own in a private temporary folder.
#ifndef FUZZ_FILES_H
#define FUZZ_FILES_H

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <vector>

inline std::string FuzzDir()
{
    // Made once: the random name may itself end in "X".
    static char dir[] = "/tmp/zebfuzz.XXXXXX";
    static bool made = false;
    if (!made) {
        if (!mkdtemp(dir))
            abort();
        made = true;
        atexit([] { (void)!system((std::string("rm -rf ") + dir).c_str()); });
    }
    return dir;
}

inline std::string FuzzWrite(const std::string &name, const char *data, size_t n)
{
    std::string path = FuzzDir() + "/" + name;
    FILE *f = fopen(path.c_str(), "wb");
    if (!f || fwrite(data, 1, n, f) != n || fclose(f) != 0)
        abort();
    return path;
}

// At most max parts; the last takes the rest, form feeds included.
inline std::vector<std::string> FuzzFiles(const uint8_t *data, size_t size, size_t max, const char *ext = ".log")
{
    std::vector<std::string> paths;
    const char *p = (const char *)data, *e = p + size;
    while (paths.size() < max) {
        const char *q = paths.size() + 1 == max ? e : p;
        while (q < e && *q != '\f')
            q++;
        paths.push_back(FuzzWrite(std::to_string(paths.size()) + ext, p, (size_t)(q - p)));
        if (q == e)
            break;
        p = q + 1;
    }
    return paths;
}

// A command line: the input's parts split at NULs, after the program's name.
struct FuzzArgs {
    std::vector<std::string> args;
    std::vector<char *> argv;
    FuzzArgs(const char *program, const uint8_t *data, size_t size)
    {
        args.push_back(program);
        const char *p = (const char *)data, *e = p + size;
        for (const char *q = p; q <= e; q++)
            if (q == e || !*q) {
                args.emplace_back(p, q);
                p = q + 1;
            }
        for (std::string &a : args)
            argv.push_back(&a[0]);
        argv.push_back(nullptr);
    }
    int argc() const { return (int)argv.size() - 1; }
};

// zebreport's command line: a first part that opens with "[" is its --ini
// settings file; the report and its CSV go nowhere.
int Rep_Main(int argc, char **argv);
inline std::vector<std::string> FuzzReportArgs(std::vector<std::string> *parts)
{
    std::vector<std::string> args = {"zebreport", "-o", "/dev/null", "--csv", "/dev/null"};
    if (!parts->empty()) {
        FILE *f = fopen((*parts)[0].c_str(), "rb");
        if (f && fgetc(f) == '[') {
            args.insert(args.end(), {"--ini", (*parts)[0]});
            parts->erase(parts->begin());
        }
        if (f)
            fclose(f);
    }
    return args;
}

inline int FuzzReport(std::vector<std::string> args)
{
    std::vector<char *> argv;
    for (std::string &a : args)
        argv.push_back(&a[0]);
    argv.push_back(nullptr);
    return Rep_Main((int)argv.size() - 1, argv.data());
}

#endif
