// Export text, reference lines, data log names and lines: the program's
// text formats without windows.
#include "app.h"
#include "display.h"
#include "link.h"
#include "qira_internal.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <thread>

static void EnsureLocks()
{
    static bool locks = false;
    if (!locks) {
        Link_CreateLocks();
        locks = true;
    }
}

struct Texts : testing::Test {
    void SetUp() override
    {
        memset((void *)&SG_View, 0, sizeof(SG_View));
        memset((void *)&SG_Work, 0, sizeof(SG_Work));
        for (auto &row : RefValues)
            for (auto &v : row)
                v = 0;
        DI.fRelative = 0;
        DI.minAbsValue = 0;
        DI.iDisplayMode = DM_CURRENT;
        DI.pDisplayValues = SG_View.aiValue;
    }
    static std::string Export()
    {
        HGLOBAL block = BuildValueText();
        EXPECT_NE(block, nullptr);
        const char *p = (const char *)GlobalLock(block);
        std::string s = p;
        EXPECT_LT(s.size(), GlobalSize(block)) << "the text stays inside its block";
        for (SIZE_T i = s.size(); i < GlobalSize(block); i++)
            if (p[i]) {
                ADD_FAILURE() << "a byte after the terminating zero, at " << i;
                break;
            }
        GlobalUnlock(block);
        GlobalFree(block);
        return s;
    }
};

TEST_F(Texts, ExportAbsoluteAndRelative)
{
    SG_View.Params.iFirst = 1;
    SG_View.Params.iLast = 3;
    SG_View.Params.iValueType = VT_TRANSMITTER;
    SG_View.aiValue[1] = 120;
    SG_View.aiValue[2] = 118;
    EXPECT_EQ(Export(), "Nr.\tAbs\r\n1\t120\r\n2\t118\r\n3\t0\r\n");

    // Signal strengths lose the offset; the floor applies to values and references.
    SG_View.Params.iValueType = VT_SIGNAL;
    SG_View.Params.iFirst = SG_View.Params.iLast = 5;
    SG_View.aiValue[0] = 10;
    SG_View.aiValue[5] = 130;
    EXPECT_EQ(Export(), "Nr.\tAbs\r\n5\t120\r\n");
    SG_View.aiValue[5] = 12;
    RefValues[0][5] = -3;
    DI.minAbsValue = 5;
    DI.fRelative = 1;
    EXPECT_EQ(Export(), "Nr.\tAbs\tRef.\r\n5\t5\t5\r\n");
}

TEST_F(Texts, ExportNeverWritesPastItsBlock)
{
    SG_View.Params.iFirst = 1;
    SG_View.Params.iLast = 999;
    SG_View.Params.iValueType = VT_RECEIVER;
    for (int b = 1; b <= 999; b++) {
        SG_View.aiValue[b] = -2000000000;   // far wider than -999
        RefValues[0][b] = 2000000000;
    }
    DI.minAbsValue = -2147483647;
    DI.fRelative = 1;
    std::string s = Export();
    // Every beam, however wide its values.
    EXPECT_NE(s.find("\r\n1\t-2000000000\t2000000000\r\n"), std::string::npos);
    EXPECT_NE(s.find("\r\n999\t-2000000000\t2000000000\r\n"), std::string::npos);
    EXPECT_EQ(std::count(s.begin(), s.end(), '\n'), 1000);
}

// Another program holds the clipboard for 200 ms (clipboard history, remote
// desktop) with old values on it: the copy still lands.
TEST_F(Texts, CopyLandsWhileTheClipboardIsBusy)
{
    SG_View.fDataValid = 1;
    SG_View.Params.iFirst = 1;
    SG_View.Params.iLast = 2;
    SG_View.Params.iValueType = VT_TRANSMITTER;
    SG_View.aiValue[1] = 120;
    SG_View.aiValue[2] = 118;
    HWND owner = CreateWindowA("STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, NULL, NULL);
    HANDLE held = CreateEventA(NULL, TRUE, FALSE, NULL);
    std::thread holder([held] {
        ASSERT_TRUE(OpenClipboard(NULL));
        EmptyClipboard();
        HGLOBAL old = GlobalAlloc(GMEM_MOVEABLE, 4);
        strcpy((char *)GlobalLock(old), "old");
        GlobalUnlock(old);
        SetClipboardData(CF_TEXT, old);
        SetEvent(held);
        Sleep(200);
        CloseClipboard();
    });
    WaitForSingleObject(held, 2000);
    CopyValuesToClipboard(owner);
    holder.join();
    ASSERT_TRUE(OpenClipboard(owner));
    HANDLE data = GetClipboardData(CF_TEXT);
    std::string text = data ? (const char *)GlobalLock(data) : "";
    if (data)
        GlobalUnlock(data);
    CloseClipboard();
    EXPECT_EQ(text, "Nr.\tAbs\r\n1\t120\r\n2\t118\r\n");
    CloseHandle(held);
    DestroyWindow(owner);
}

TEST(ReferenceLines, OnlyTwoIntegersCount)
{
    int b = 0, v = 0;
    EXPECT_TRUE(ParseReferenceLine("1\t100\n", &b, &v));
    EXPECT_EQ(b, 1);
    EXPECT_EQ(v, 100);
    EXPECT_TRUE(ParseReferenceLine("  2 90  \r\n", &b, &v));
    EXPECT_EQ(v, 90);
    EXPECT_TRUE(ParseReferenceLine("7 -3", &b, &v));
    EXPECT_EQ(v, -3);
    for (const char *bad : {"Nr.\tAbs\r\n", "3\t80\t75\n", "x\n", "", "\n", "5\n", "5 6x\n", "5,6\n"})
        EXPECT_FALSE(ParseReferenceLine(bad, &b, &v)) << bad;
    // Numbers beyond 32 bits are not taken (and never overflow).
    EXPECT_FALSE(ParseReferenceLine("1 99999999999999999999999\n", &b, &v));
    EXPECT_FALSE(ParseReferenceLine("4294967297 5\n", &b, &v));
    EXPECT_TRUE(ParseReferenceLine("1 2147483647\n", &b, &v));
    EXPECT_EQ(v, 2147483647);
}

TEST(DataLog, FileNameCarriesTheCreationTime)
{
    SYSTEMTIME st = {2009, 7, 5, 24, 11, 8, 50, 0};
    char out[MAX_PATH + 1];
    ASSERT_TRUE(Log_MakeFileName(out, "C:\\logs\\run.log", st));
    EXPECT_STREQ(out, "C:\\logs\\run_20090724T110850.log");
    ASSERT_TRUE(Log_MakeFileName(out, "plain", st));
    EXPECT_STREQ(out, "plain_20090724T110850.log");
    EXPECT_FALSE(Log_MakeFileName(out, std::string(255, 'n').c_str(), st)) << "no silent cut beyond 260";
}

// What a kill or a power cut would leave: the file as the system has it,
// read beside the open log.
TEST_F(Texts, LogLinesAreOnDiskBeforeTheClose)
{
    EnsureLocks();
    SG_Work.Params.iFirst = 1;
    SG_Work.Params.iLast = LAST_BEAM;
    for (int b = 1; b <= LAST_BEAM; b++)
        SG_Work.aiValue[b] = 100 + b % 100;
    char path[MAX_PATH];
    GetTempPathA(MAX_PATH, path);
    strcat(path, "zeb_ondisk.log");
    SYSTEMTIME st;
    GetLocalTime(&st);
    ASSERT_TRUE(Log_Open(path, st));
    for (int i = 0; i < 3; i++)
        Log_WriteLine(SG_Params.wLogMode, SG_Params.pLogFile);
    std::string text;
    HANDLE h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    char buf[65536];
    DWORD got;
    while (ReadFile(h, buf, sizeof(buf), &got, NULL) && got)
        text.append(buf, got);
    CloseHandle(h);
    Log_Close();
    DeleteFileA(path);
    size_t lines = 0;
    for (size_t at = 0; (at = text.find("\r\n", at)) != std::string::npos; at += 2)
        lines++;
    EXPECT_EQ(lines, 6u) << "three header lines and three cycles";
    ASSERT_GE(text.size(), 2u);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
}

TEST_F(Texts, LogLinesAbsoluteAndRelative)
{
    SG_Work.Params.iFirst = 1;
    SG_Work.Params.iLast = 3;
    SG_Work.Params.iValueType = VT_SIGNAL;
    SG_Work.aiValue[0] = 10;
    SG_Work.aiValue[1] = 67;   // 57
    SG_Work.aiValue[2] = 5;    // below the offset: floor 0
    SG_Work.aiValue[3] = 70;   // 60, no reference
    RefValues[0][1] = 120;
    char path[MAX_PATH];
    GetTempPathA(MAX_PATH, path);
    strcat(path, "zeb_logline.txt");
    FILE *f = fopen(path, "w");
    ASSERT_NE(f, nullptr);
    Log_WriteLine(LOG_ABSOLUTE, f);
    Log_WriteLine(LOG_RELATIVE, f);
    SG_Work.Params.iMinAbsValue = INT_MIN;   // a hand-set floor lets negative values through
    SG_Work.aiValue[3] = INT_MIN + 10;
    Log_WriteLine(LOG_ABSOLUTE, f);
    SG_Work.Params.iMinAbsValue = 0;
    fclose(f);
    f = fopen(path, "rb");
    char buf[512] = "";
    fread(buf, 1, sizeof(buf) - 1, f);
    fclose(f);
    DeleteFileA(path);
    std::string s = buf;
    // hh:mm:ss,mmm then first, last, rod index and the values; LF stored as CR LF
    ASSERT_GT(s.size(), 13u);
    EXPECT_EQ(s[2], ':');
    EXPECT_EQ(s[8], ',');
    std::string lines = s.substr(12);
    size_t second = lines.find("\r\n") + 2;
    EXPECT_EQ(lines.substr(0, second), "\t1\t3\t0\t57\t0\t60\r\n");
    size_t third = lines.find("\r\n", second) + 2;
    EXPECT_EQ(lines.substr(second + 12, third - second - 12), "\t1\t3\t0\t48\t0\t0\r\n") << "57 of 120 is 47.5: 48";
    EXPECT_EQ(lines.substr(third + 12), "\t1\t3\t0\t57\t-5\t-2147483648\r\n");
}

static std::string Text(HWND dlg, int id)
{
    char text[300] = "";
    GetDlgItemTextA(dlg, id, text, sizeof(text));
    return text;
}

TEST(ParameterDialog, LoadAndApplyRules)
{
    EnsureLocks();
    hInst = GetModuleHandleA(NULL);
    strcpy(DTI.szComport, "COM1:");
    DTI.iComSpeed = 38400;
    SG_Params = SG_PARAMS{};
    SG_Params.iGain = 7;
    SG_Params.iRodno = 5;
    SG_Params.wChangeFlags = CF_RESET_MINMAX;
    SG_Params.ZEBproto = 9;
    DI.fShowExcessBars = 1;
    HWND dlg = CreateDialogA(hInst, MAKEINTRESOURCEA(IDD_PARAMETER), NULL, ParamDlgProc);
    ASSERT_NE(dlg, nullptr);
    EXPECT_EQ(Text(dlg, IDC_GAIN), "7");
    EXPECT_EQ(Text(dlg, IDC_BITRATE), "38400");
    EXPECT_EQ(Text(dlg, IDC_PORT), "COM1:");
    EXPECT_EQ(SendDlgItemMessageA(dlg, IDC_PROTOCOL, CB_GETCURSEL, 0, 0), CB_ERR) << "variant 9 selects nothing";
    EXPECT_EQ(IsDlgButtonChecked(dlg, IDC_ROD1), BST_UNCHECKED);
    EXPECT_EQ(IsDlgButtonChecked(dlg, IDC_ROD2), BST_UNCHECKED);
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dlg, IDC_LIMIT_MAX_ABS)));

    SetDlgItemTextA(dlg, IDC_FIRST, "0");
    SetDlgItemTextA(dlg, IDC_LAST, "1500");
    SetDlgItemTextA(dlg, IDC_CYCLE, "5000");
    SetDlgItemTextA(dlg, IDC_GAIN, "");
    SetDlgItemTextA(dlg, IDC_BITRATE, "9600");
    SetDlgItemTextA(dlg, IDC_LIMIT_MAX_ABS, "-7");
    CheckDlgButton(dlg, IDC_SHOW_LIMITS, BST_UNCHECKED);
    SendMessageA(dlg, WM_COMMAND, IDC_SHOW_LIMITS, 0);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dlg, IDC_LIMIT_MAX_ABS))) << "unchecking disables the limits at once";
    EXPECT_EQ(DI.fShowExcessBars, 1) << "but stores nothing yet";
    SendMessageA(dlg, WM_COMMAND, IDC_APPLY, 0);
    EXPECT_EQ(SG_Params.iFirst, 1);
    EXPECT_EQ(SG_Params.iLast, 999);
    EXPECT_EQ(SG_Params.iCycleDelay, 1000);
    EXPECT_EQ(SG_Params.iGain, 0);
    EXPECT_EQ(SG_Params.iRodno, 1) << "neither radio button: rod pair 2";
    EXPECT_EQ(SG_Params.ZEBproto, -1) << "no variant selected";
    EXPECT_EQ(SG_Params.wChangeFlags, CF_PARAMS) << "an assignment: the pending reset is dropped";
    EXPECT_EQ(DTI.iComSpeed, 9600);
    EXPECT_EQ(DI.fShowExcessBars, 0);
    EXPECT_EQ(DI.iLimitMaxAbs, -7);

    SetDlgItemTextA(dlg, IDC_FIRST, "10");
    SetDlgItemTextA(dlg, IDC_LAST, "5");
    SendMessageA(dlg, WM_COMMAND, IDC_APPLY, 0);
    EXPECT_EQ(SG_Params.iFirst, 10);
    EXPECT_EQ(SG_Params.iLast, 10);
    DestroyWindow(dlg);

    // A stored port the machine does not list survives Apply, also one that
    // begins another port's name.
    for (const char *stored : {"COM42:", "COM"}) {
        strcpy(DTI.szComport, stored);
        dlg = CreateDialogA(hInst, MAKEINTRESOURCEA(IDD_PARAMETER), NULL, ParamDlgProc);
        EXPECT_EQ(Text(dlg, IDC_PORT), stored);
        SendMessageA(dlg, WM_COMMAND, IDC_APPLY, 0);
        EXPECT_STREQ(DTI.szComport, stored);
        DestroyWindow(dlg);
    }
}

// The spooler knows COM7 only; the device map of this test lists the serial
// devices present now, one twice, one that is gone.
static const char kDeviceMap[] = "Software\\ZebTest\\SERIALCOMM";
static LONG WINAPI TestDeviceMap(HKEY, LPCSTR, DWORD, REGSAM sam, PHKEY key)
{
    return RegOpenKeyExA(HKEY_CURRENT_USER, kDeviceMap, 0, sam, key);
}
static BOOL WINAPI SpoolerKnowsCom7(LPSTR, DWORD, LPBYTE buf, DWORD size, LPDWORD needed, LPDWORD returned)
{
    static char name[] = "COM7:";
    *needed = sizeof(PORT_INFO_1A);
    *returned = 0;
    if (size < *needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    ((PORT_INFO_1A *)buf)->pName = name;
    *returned = 1;
    return TRUE;
}

TEST(ParameterDialog, PortListMergesPresentDevicesInNumberOrder)
{
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kDeviceMap, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL), 0);
    const char *values[][2] = {{"\\Device\\VCP0", "COM12"}, {"\\Device\\Serial4", "COM5"},
                               {"\\Device\\Serial6", "COM7"}, {"\\Device\\VCP1", "com5"},
                               {"\\Device\\VCP2", "COM19"}};
    for (auto &v : values)
        RegSetValueExA(key, v[0], 0, REG_SZ, (const BYTE *)v[1], (DWORD)strlen(v[1]) + 1);
    RegCloseKey(key);
    QIRA__Sys.RegOpenKeyExA = TestDeviceMap;
    QIRA__Sys.EnumPortsA = SpoolerKnowsCom7;
    strcpy(DTI.szComport, "COM7:");
    HWND dlg = CreateDialogA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDD_PARAMETER), NULL, ParamDlgProc);
    QIRA__Sys = QIRA__SysReal;
    RegDeleteKeyA(HKEY_CURRENT_USER, kDeviceMap);
    ASSERT_NE(dlg, nullptr);
    std::string items;
    HWND list = GetDlgItem(dlg, IDC_PORT);
    for (LRESULT i = 0; i < SendMessageA(list, CB_GETCOUNT, 0, 0); i++) {
        char item[64] = "";
        SendMessageA(list, CB_GETLBTEXT, i, (LPARAM)item);
        items += std::string(items.empty() ? "" : " ") + item;
    }
    EXPECT_EQ(items, "COM5: COM7: COM12:");
    EXPECT_EQ(Text(dlg, IDC_PORT), "COM7:");
    DestroyWindow(dlg);
}

// A small file system that the test run mounted for us (as root), filled up
// here: what happens when the disk is full.
struct FullDisk : testing::Test {
    std::string dir;
    void SetUp() override
    {
        const char *unix = getenv("ZEB_FULL_FS");
        if (!unix || !*unix)
            GTEST_SKIP() << "no small file system to fill (the test run mounts one when it runs as root)";
        dir = std::string("Z:") + unix + "\\";
        DeleteFileA((dir + "filler").c_str());
    }
    // Fills the file system, then frees about keep bytes again.
    void Fill(long keep)
    {
        std::string path = dir + "filler";
        FILE *f = fopen(path.c_str(), "ab");
        ASSERT_NE(f, nullptr);
        static char block[4096];
        while (fwrite(block, 1, sizeof(block), f) == sizeof(block) && fflush(f) == 0) {
        }
        fclose(f);
        HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
        LARGE_INTEGER size;
        GetFileSizeEx(h, &size);
        size.QuadPart = size.QuadPart > keep ? size.QuadPart - keep : 0;
        SetFilePointerEx(h, size, NULL, FILE_BEGIN);
        SetEndOfFile(h);
        CloseHandle(h);
    }
};

static int closeLogCode = -1;
static LRESULT CALLBACK CloseLogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_COMM_NOTIFY && LOWORD(wParam) == CN_CLOSELOG) {
        closeLogCode = HIWORD(wParam);
        Log_Close();
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

TEST_F(FullDisk, LogEndsAtItsLastWholeLineAndSaveLeavesNoFile)
{
    EnsureLocks();
    WNDCLASSA wc = {};
    wc.lpfnWndProc = CloseLogProc;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.lpszClassName = "CloseLogSink";
    RegisterClassA(&wc);
    hwndLinkNotify = CreateWindowA("CloseLogSink", "", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, wc.hInstance, NULL);
    memset((void *)&SG_Work, 0, sizeof(SG_Work));
    SG_Work.Params.iFirst = 1;
    SG_Work.Params.iLast = 100;
    SG_Work.Params.iValueType = VT_RECEIVER;
    for (int b = 1; b <= 100; b++)
        SG_Work.aiValue[b] = 100 + b;

    Fill(10000);
    std::string log = dir + "run.log";
    SYSTEMTIME st;
    GetLocalTime(&st);
    ASSERT_TRUE(Log_Open(log.c_str(), st));
    closeLogCode = -1;
    for (int i = 0; i < 200 && SG_Params.pLogFile; i++)
        Log_WriteLine(SG_Params.wLogMode, SG_Params.pLogFile);
    EXPECT_EQ(closeLogCode, 1) << "a failed write ends the log";
    EXPECT_EQ(SG_Params.pLogFile, nullptr);
    FILE *f = fopen(log.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    std::string text;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof(buf), f)) > 0)
        text.append(buf, n);
    fclose(f);
    EXPECT_GT(text.size(), 3000u);
    ASSERT_GE(text.size(), 2u);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n") << "ends with a whole line";
    size_t lines = 0, at = text.find("Werte\r\n");
    ASSERT_NE(at, std::string::npos);
    for (size_t from = at + 7, end; (end = text.find("\r\n", from)) != std::string::npos; from = end + 2, lines++)
        ASSERT_EQ(std::count(text.begin() + from, text.begin() + end, '\t'), 103) << "line " << lines;
    EXPECT_GT(lines, 0u);

    Fill(0);
    std::string saved = dir + "values.txt";
    EXPECT_FALSE(WriteTextFile(saved.c_str(), std::string(1000, 'x').c_str()));
    EXPECT_EQ(GetFileAttributesA(saved.c_str()), INVALID_FILE_ATTRIBUTES) << "no partial file stays";
    DeleteFileA(log.c_str());
    DeleteFileA((dir + "filler").c_str());
    DestroyWindow(hwndLinkNotify);
    hwndLinkNotify = NULL;
}
