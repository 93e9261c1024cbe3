// The allocating formatter.
#include "mprintf.h"

#include <gtest/gtest.h>

#include <string>

static std::string Take(char *text)
{
    std::string s = text ? text : "(none)";
    if (text) {
        EXPECT_EQ(GlobalSize(text), s.size() + 1) << "block holds exactly the text";
    }
    mprintf_free(&text);
    return s;
}

TEST(Mprintf, LineFeedsBecomeCarriageReturnLineFeed)
{
    EXPECT_EQ(Take(mprintf("a\nb")), "a\r\nb");
    EXPECT_EQ(Take(mprintf("\n\n")), "\r\n\r\n");
    EXPECT_EQ(Take(mprintf("x\r\ny")), "x\r\r\ny");   // an existing CR is kept as it is
    EXPECT_EQ(Take(mprintf("Connected at %s", "COM1:")), "Connected at COM1:");
    EXPECT_EQ(Take(mprintf("\tZykluszeit: %d ms\n", 42)), "\tZykluszeit: 42 ms\r\n");
    EXPECT_EQ(Take(mprintf("%s", "line\nfrom argument")), "line\r\nfrom argument");
    EXPECT_EQ(Take(mprintf("")), "");
}

static char *CallWithoutArgs(const char *format)
{
    va_list none = nullptr;
    return vmprintf(format, none);
}

TEST(Mprintf, MissingPiecesGiveTheFallbackText)
{
    EXPECT_EQ(Take(CallWithoutArgs("%d")), "<mprintf format error>");
    EXPECT_EQ(Take(mprintf(nullptr)), "<mprintf format error>");
}

TEST(Mprintf, FreeClearsTheReferenceAndMayBeRepeated)
{
    char *text = mprintf("abc");
    ASSERT_NE(text, nullptr);
    mprintf_free(&text);
    EXPECT_EQ(text, nullptr);
    mprintf_free(&text);
    mprintf_free(nullptr);
    EXPECT_EQ(text, nullptr);
}
