// Toolbar, status bar and title on real windows.
#include "app.h"
#include "display.h"
#include "gui_host.h"
#include "link.h"
#include "resource.h"
#include "settings.h"
#include "shell.h"

#include <gtest/gtest.h>

#include <commctrl.h>
#include <limits.h>
#include <string.h>

#include <fstream>
#include <sstream>
#include <string>

struct Shell : testing::Test {
    void SetUp() override
    {
        DI.fNoiseBtnVisible = DI.fLoadBtnVisible = 0;
        DI.fRelative = 0;
        DI.fFlippedView = 1;
        DI.iDisplayMode = DM_CURRENT;
        DI.fTimeAnalysis = 0;
        SG_Params = SG_PARAMS{};
        memset((void *)&SG_View, 0, sizeof(SG_View));
        InterlockedExchange(&iThreadState, TS_IDLE);
    }
};

static int Count(HWND tb, bool separators)
{
    int n = (int)SendMessageA(tb, TB_BUTTONCOUNT, 0, 0), k = 0;
    for (int i = 0; i < n; i++) {
        TBBUTTON b;
        SendMessageA(tb, TB_GETBUTTON, i, (LPARAM)&b);
        k += ((b.fsStyle & BTNS_SEP) != 0) == separators;
    }
    return k;
}

static bool Checked(int id)
{
    return SendMessageA(DI.hwndToolbar, TB_ISBUTTONCHECKED, id, 0) != 0;
}

static std::string Caption(int id)
{
    char text[128] = "";
    SendMessageA(DI.hwndToolbar, TB_GETBUTTONTEXTA, id, (LPARAM)text);
    return text;
}

TEST_F(Shell, ToolbarButtonsFollowTheOptionalButtonSettings)
{
    {
        GuiHost host;
        EXPECT_EQ(Count(DI.hwndToolbar, false), 16);
        EXPECT_EQ(Count(DI.hwndToolbar, true), 6);
        EXPECT_EQ(SendMessageA(DI.hwndToolbar, TB_COMMANDTOINDEX, IDM_NOISE, 0), -1);
        EXPECT_EQ(SendMessageA(DI.hwndToolbar, TB_COMMANDTOINDEX, IDM_LOAD_REF, 0), -1);
    }
    DI.fNoiseBtnVisible = DI.fLoadBtnVisible = 1;
    GuiHost host;
    EXPECT_EQ(Count(DI.hwndToolbar, false), 18);
    EXPECT_EQ(Count(DI.hwndToolbar, true), 6);
    // Table order: the noise button stands between Max and Reset.
    EXPECT_EQ(SendMessageA(DI.hwndToolbar, TB_COMMANDTOINDEX, IDM_NOISE, 0), 15);
    EXPECT_EQ(SendMessageA(DI.hwndToolbar, TB_COMMANDTOINDEX, IDM_LOAD_REF, 0), 4);
}

TEST_F(Shell, CaptionsTipsAndTheDisabledRelativeButton)
{
    GuiHost host;
    EXPECT_EQ(Caption(IDM_SINGLE), "Einmal(&1)");
    EXPECT_EQ(Caption(IDM_CONTINUOUS), "D&auernd");
    EXPECT_EQ(Caption(IDM_REFERENCE), "Ref.(F8)");
    EXPECT_EQ(Caption(IDM_LOGGING), "&Logging");
    EXPECT_FALSE(SendMessageA(DI.hwndToolbar, TB_ISBUTTONENABLED, IDM_RELATIVE, 0));
    EXPECT_TRUE(SendMessageA(DI.hwndToolbar, TB_ISBUTTONENABLED, IDM_NORMALISE, 0));
    char tip[128];
    LoadStringA(GetModuleHandleA(NULL), IDM_RESET, tip, sizeof(tip));
    EXPECT_STREQ(tip, "Min/Max zur\xFC" "cksetzen");
    TBBUTTON b;
    SendMessageA(DI.hwndToolbar, TB_GETBUTTON, 0, (LPARAM)&b);
    EXPECT_EQ(b.idCommand, IDM_SINGLE);
    EXPECT_EQ(b.iBitmap, 2);
}

TEST_F(Shell, CheckStatesFollowTheProgramState)
{
    GuiHost host;
    EXPECT_TRUE(Checked(IDM_FLIP));
    EXPECT_TRUE(Checked(IDM_CURRENT));
    EXPECT_TRUE(Checked(IDM_SIGNAL));
    EXPECT_FALSE(Checked(IDM_CONTINUOUS));
    EXPECT_FALSE(Checked(IDM_LOGGING));

    DI.fFlippedView = 0;
    DI.iDisplayMode = DM_MAXIMUM;
    SG_Params.iValueType = VT_RECEIVER;
    SG_Params.pLogFile = stderr;
    InterlockedExchange(&iThreadState, TS_CONTINUOUS);
    UpdateToolbarStates(DI.hwndToolbar);
    EXPECT_FALSE(Checked(IDM_FLIP));
    EXPECT_FALSE(Checked(IDM_CURRENT));
    EXPECT_TRUE(Checked(IDM_MAXIMUM));
    EXPECT_FALSE(Checked(IDM_SIGNAL));
    EXPECT_TRUE(Checked(IDM_RECEIVER));
    EXPECT_FALSE(Checked(IDM_TRANSMITTER));
    EXPECT_TRUE(Checked(IDM_CONTINUOUS));
    EXPECT_TRUE(Checked(IDM_LOGGING));

    InterlockedExchange(&iThreadState, TS_SINGLE);
    SG_Params.pLogFile = NULL;
    SG_Params.iValueType = VT_TRANSMITTER;
    UpdateToolbarStates(DI.hwndToolbar);
    EXPECT_FALSE(Checked(IDM_CONTINUOUS));
    EXPECT_FALSE(Checked(IDM_LOGGING));
    EXPECT_TRUE(Checked(IDM_TRANSMITTER));
    InterlockedExchange(&iThreadState, TS_ENDED);
}

TEST_F(Shell, AcceleratorsOfControlCharactersAndTheSwallowedKeys)
{
    GuiHost host;
    ACCEL a[64];
    int n = CopyAcceleratorTableA(LoadAcceleratorsA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDR_ACCEL)), a, 64);
    ASSERT_EQ(n, 28);
    // Bound by character code, so Ctrl+Shift+C copies too and layouts agree.
    const struct { int at; WORD key, cmd; } chars[] = {
        {0, 26, 0}, {1, 24, 0}, {22, 3, IDM_COPY}, {25, 6, IDM_FONT}, {26, 16, IDM_PARAMETER}};
    for (const auto &c : chars) {
        EXPECT_EQ(a[c.at].fVirt & (FVIRTKEY | FCONTROL | FALT | FSHIFT), 0) << "entry " << c.at;
        EXPECT_EQ(a[c.at].key, c.key) << "entry " << c.at;
        EXPECT_EQ(a[c.at].cmd, c.cmd) << "entry " << c.at;
    }
    // Command 0 has no button: no separator is pressed, nothing waits.
    DWORD t0 = GetTickCount();
    FlashToolbarButton(0, 1);
    EXPECT_LT(GetTickCount() - t0, 50u);
}

TEST_F(Shell, StoredPlacementOnlyWhereTheWindowCanBeReached)
{
    HWND w = CreateWindowExA(0, "STATIC", "placement", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                             CW_USEDEFAULT, CW_USEDEFAULT, NULL, NULL, NULL, NULL);
    ASSERT_NE(w, nullptr);
    RECT def, got;
    GetWindowRect(w, &def);
    const struct { RECT stored; bool kept; } cases[] = {
        {{100, 80, 700, 500}, true},
        {{-5000, -5000, 5, 5}, false},            // a corner on the screen, the rest far off
        {{INT_MIN, INT_MIN, INT_MAX, INT_MAX}, false},
        {{1270, 1015, 3000, 3000}, false},        // 10 x 9 pixels on a 1280 x 1024 screen
    };
    for (const auto &c : cases) {
        SetWindowPos(w, NULL, def.left, def.top, def.right - def.left, def.bottom - def.top, SWP_NOZORDER);
        DI.rcWnd = c.stored;
        Main_RestorePlacement(w);
        GetWindowRect(w, &got);
        if (c.kept) {
            EXPECT_EQ(got.left, c.stored.left);
            EXPECT_EQ(got.top, c.stored.top);
        } else {
            EXPECT_TRUE(EqualRect(&got, &def)) << "stored at " << c.stored.left << "," << c.stored.top << ": got "
                                               << got.left << "," << got.top << " " << got.right << "," << got.bottom;
        }
    }
    DestroyWindow(w);
}

// A taskbar on the left or at the top moves the work area: the window opens
// where the last run left it, run after run.
TEST_F(Shell, PlacementComesBackWithAMovedWorkArea)
{
    RECT screenArea, moved, first = {}, got = {};
    ASSERT_TRUE(SystemParametersInfoA(SPI_GETWORKAREA, 0, &screenArea, 0));
    moved = screenArea;
    moved.left += 120;
    moved.top += 60;
    ASSERT_TRUE(SystemParametersInfoA(SPI_SETWORKAREA, 0, &moved, 0));
    const RECT stored = {100, 80, 700, 500};
    DI.rcWnd = stored;
    for (int run = 0; run < 2; run++) {
        HWND w = CreateWindowExA(0, "STATIC", "placement", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                 CW_USEDEFAULT, CW_USEDEFAULT, NULL, NULL, NULL, NULL);
        Main_RestorePlacement(w);
        GetWindowRect(w, run ? &got : &first);
        Main_StorePlacement(w);
        DestroyWindow(w);
    }
    SystemParametersInfoA(SPI_SETWORKAREA, 0, &screenArea, 0);
    EXPECT_TRUE(EqualRect(&first, &got)) << "first run at " << first.left << "," << first.top << ", second at "
                                         << got.left << "," << got.top;
    EXPECT_TRUE(EqualRect(&DI.rcWnd, &stored)) << "stored " << DI.rcWnd.left << "," << DI.rcWnd.top;
}

static std::string Slurp(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

// Hand-edited settings files (tests/data/hostile): each loads, puts the
// window where it can be reached, paints its rows without overflow, and is
// written back as it was.
TEST_F(Shell, HostileSettingsFiles)
{
    char ini[MAX_PATH];
    GetIniFileName(ini);
    for (const char *name : {"offscreen.ini", "corner.ini", "extremes.ini"}) {
        std::string source = std::string(ZEB_TEST_DATA) + "/hostile/" + name, text = Slurp(source);
        ASSERT_FALSE(text.empty()) << source;
        ASSERT_TRUE(CopyFileA(source.c_str(), ini, FALSE)) << name;
        LoadSettings();
        {
            GuiHost host;
            RECT def, got, screen = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)}, meet;
            GetWindowRect(host.main, &def);
            Main_RestorePlacement(host.main);
            GetWindowRect(host.main, &got);
            ASSERT_TRUE(IntersectRect(&meet, &got, &screen)) << name;
            EXPECT_GE(meet.right - meet.left, 100) << name;
            EXPECT_GE(meet.bottom - meet.top, 50) << name;
            SG_View.fDataValid = SG_View.fMinMaxValid = 1;
            for (int b = 1; b <= 100; b++)
                SG_View.aiValue[b] = 100;
            host.Repaint();
            RECT rc;
            GetClientRect(DI.hwndDisplay, &rc);
            int row = DI.iTitleHeight + DI.iLineHeight / 2;
            EXPECT_NE(host.Pixel(rc.right / 2, row), RGB(0, 0, 0)) << name << ": no block across the row";
        }
        SaveSettings();
        std::string saved = Slurp(ini);
        for (size_t at = 0, end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2)
            if (text[at] != '[') {
                EXPECT_NE(saved.find(text.substr(at, end - at + 2)), std::string::npos)
                    << name << ": " << text.substr(at, end - at) << " written back";
            }
    }
    DeleteFileA(ini);
}

static std::string StatusText(int part)
{
    char text[256] = "";
    SendMessageA(DI.hwndStatus, SB_GETTEXTA, part, (LPARAM)text);
    return text;
}

TEST_F(Shell, StatusTexts)
{
    GuiHost host;
    int parts[3] = {200, 400, -1};
    SendMessageA(DI.hwndStatus, SB_SETPARTS, 3, (LPARAM)parts);
    SetStatusReady();
    EXPECT_EQ(StatusText(0), "Ready");
    SetStatusText(0, "Connected at %s", "COM1:");
    EXPECT_EQ(StatusText(0), "Connected at COM1:");
    SetStatusText(1, "\tZykluszeit: %d ms", 42);
    EXPECT_EQ(StatusText(1), "\tZykluszeit: 42 ms");
    SetStatusText(2, "\tdisp_t: %d ms", 3);
    EXPECT_EQ(StatusText(2), "");   // no paint times unless asked for
    DI.fTimeAnalysis = 1;
    SetStatusText(2, "\tdisp_t: %d ms", 3);
    EXPECT_EQ(StatusText(2), "\tdisp_t: 3 ms");
}

TEST_F(Shell, TitleTexts)
{
    GuiHost host;
    char title[256];
    FormatTitle(title, 0);
    EXPECT_STREQ(title, "ZEB Zuvaririzadure - Signalst\xE4rke, aktuell (Leistenpaar 1)");
    FormatTitle(title, 1);
    EXPECT_STREQ(title, "ZEB Zuvaririzadure - Relative Signalst\xE4rke, aktuell (Leistenpaar 1)");
    SG_View.Params.iValueType = VT_RECEIVER;
    SG_View.Params.iRodno = 1;
    DI.iDisplayMode = DM_MAXIMUM;
    FormatTitle(title, 0);
    EXPECT_STREQ(title, "ZEB Zuvaririzadure - Empf\xE4ngerr\xFC" "ckmeldewerte, Maximum (Leistenpaar 2)");
    // Out-of-range values keep the last names.
    SG_View.Params.iValueType = 9;
    DI.iDisplayMode = 7;
    FormatTitle(title, 0);
    EXPECT_STREQ(title, "ZEB Zuvaririzadure - Empf\xE4ngerr\xFC" "ckmeldewerte, Maximum (Leistenpaar 2)");
    SG_View.Params.iValueType = VT_TRANSMITTER;
    DI.iDisplayMode = DM_NOISE;
    DI.fRelative = 1;
    UpdateTitle();
    GetWindowTextA(DI.hwndMain, title, sizeof(title));
    EXPECT_STREQ(title, "ZEB Zuvaririzadure - Relative Senderr\xFC" "ckmeldewerte, Max-Min (Rauschen) (Leistenpaar 2)");
}
