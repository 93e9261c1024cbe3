// The window's texts from its string table, and the code pages they meet:
// paths and the window in the ANSI code page, the pages' texts in UTF-8.
#include "reportw.h"

#include <stdarg.h>
#include <stdio.h>

std::string Repw_Load(UINT id)
{
    char text[1024];
    int n = LoadStringA(GetModuleHandleA(NULL), id, text, sizeof(text));
    return std::string(text, n > 0 ? n : 0);
}

std::string Repw_Format(UINT id, ...)
{
    std::string format = Repw_Load(id);
    va_list args, again;
    va_start(args, id);
    va_copy(again, args);
    int n = vsnprintf(NULL, 0, format.c_str(), args);
    std::string text(n > 0 ? n : 0, '\0');
    if (n > 0)
        vsnprintf(&text[0], n + 1, format.c_str(), again);
    va_end(again);
    va_end(args);
    return text;
}

bool Repw_AnsiFromWide(const wchar_t *wide, std::string *ansi)
{
    BOOL lost = FALSE;
    int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, NULL, 0, NULL, &lost);
    ansi->assign(n > 0 ? n : 1, '\0');
    if (n > 0)
        WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, &(*ansi)[0], n, NULL, &lost);
    ansi->resize(ansi->size() - 1);
    return n > 0 && !lost;
}

static std::string AnsiFromUtf8Piece(const char *s, int n)
{
    WCHAR wide[8];
    int w = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, s, n, wide, 7);
    wide[w > 0 ? w : 0] = 0;
    std::string ansi;
    Repw_AnsiFromWide(wide, &ansi);   // a character the code page lacks shows as its default character
    return ansi;
}

std::string Repw_AnsiFromUtf8(const std::string &utf8)
{
    int w = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, NULL, 0);
    std::wstring wide(w > 0 ? w : 1, L'\0');
    if (w > 0)
        MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, &wide[0], w);
    std::string ansi;
    Repw_AnsiFromWide(wide.c_str(), &ansi);
    return ansi;
}

// The length of a UTF-8 sequence at s, or 0 when none starts there.
static int Utf8Length(const unsigned char *s, size_t left)
{
    int n = s[0] >= 0xF0 && s[0] <= 0xF4 ? 4 : s[0] >= 0xE0 && s[0] <= 0xEF ? 3 : s[0] >= 0xC2 && s[0] <= 0xDF ? 2 : 0;
    if (!n || (size_t)n > left)
        return 0;
    for (int i = 1; i < n; i++)
        if ((s[i] & 0xC0) != 0x80)
            return 0;
    return n;
}

// A job's lines hold the paths as given (ANSI) and a few texts of their own
// in UTF-8 (a dash between beams); each piece goes into the ANSI code page.
std::string Repw_AnsiFromMixed(const std::string &text)
{
    std::string out;
    const unsigned char *u = (const unsigned char *)text.data();
    for (size_t i = 0; i < text.size();) {
        int n = u[i] >= 0x80 ? Utf8Length(u + i, text.size() - i) : 0;
        if (n) {
            out += AnsiFromUtf8Piece(text.data() + i, n);
            i += n;
        } else {
            out += text[i++];
        }
    }
    return out;
}
