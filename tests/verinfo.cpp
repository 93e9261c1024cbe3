// Prints a program's version resource as Explorer's Properties read it: the
// fixed file and product versions, then the strings of its first translation,
// in UTF-8, one "name=value" a line; last the application manifest on one
// line ("manifest=...").
//   verinfo.exe PROGRAM.EXE
#include <windows.h>

#include <stdio.h>

#include <string>
#include <vector>

static void Print(const char *name, const wchar_t *value)
{
    char text[512];
    if (!WideCharToMultiByte(CP_UTF8, 0, value, -1, text, sizeof(text), nullptr, nullptr))
        text[0] = 0;
    printf("%s=%s\n", name, text);
}

int main(int argc, char **argv)
{
    if (argc != 2)
        return 2;
    DWORD size = GetFileVersionInfoSizeA(argv[1], nullptr);
    std::vector<char> block(size ? size : 1);
    VS_FIXEDFILEINFO *fixed;
    UINT len;
    if (!size || !GetFileVersionInfoA(argv[1], 0, size, block.data()) ||
        !VerQueryValueW(block.data(), L"\\", (void **)&fixed, &len)) {
        fprintf(stderr, "%s: no version resource (error %lu)\n", argv[1], GetLastError());
        return 1;
    }
    const DWORD v[4] = {fixed->dwFileVersionMS, fixed->dwFileVersionLS, fixed->dwProductVersionMS,
                        fixed->dwProductVersionLS};
    printf("fixed=%u.%u.%u.%u %u.%u.%u.%u\n", HIWORD(v[0]), LOWORD(v[0]), HIWORD(v[1]), LOWORD(v[1]), HIWORD(v[2]),
           LOWORD(v[2]), HIWORD(v[3]), LOWORD(v[3]));
    WORD *lang;
    if (!VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", (void **)&lang, &len) || len < 4)
        return 1;
    static const char *const kNames[] = {"FileDescription", "FileVersion", "ProductName", "ProductVersion",
                                         "OriginalFilename"};
    for (const char *name : kNames) {
        wchar_t path[128];
        wchar_t *value;
        swprintf(path, 128, L"\\StringFileInfo\\%04x%04x\\%hs", lang[0], lang[1], name);
        if (!VerQueryValueW(block.data(), path, (void **)&value, &len))
            value = (wchar_t *)L"";
        Print(name, value);
    }
    HMODULE exe = LoadLibraryExA(argv[1], nullptr, LOAD_LIBRARY_AS_DATAFILE);
    HRSRC res = exe ? FindResourceA(exe, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24)) : nullptr;
    HGLOBAL data = res ? LoadResource(exe, res) : nullptr;
    std::string manifest = data ? std::string((const char *)LockResource(data), SizeofResource(exe, res)) : "";
    for (char &c : manifest)
        if (c == '\r' || c == '\n')
            c = ' ';
    printf("manifest=%s\n", manifest.c_str());
    return 0;
}
