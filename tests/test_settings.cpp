// The settings file through the platform's profile functions, in the test's
// own working directory (test_settings.ini).
#include "display.h"
#include "link.h"
#include "settings.h"

#include <gtest/gtest.h>

#include <string.h>

#include <fstream>
#include <sstream>
#include <string>

static std::string IniPath()
{
    char path[MAX_PATH];
    GetIniFileName(path);
    return path;
}

static std::string ReadFile(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

static void Put(const char *section, const char *key, const char *value)
{
    WritePrivateProfileStringA(section, key, value, IniPath().c_str());
}

struct Settings : testing::Test {
    void SetUp() override
    {
        DeleteFileA(IniPath().c_str());
        // Scribble over the bound variables: whatever they held, a load must set them.
        memset((void *)&DI, 0x11, sizeof(DI));
        memset(&DTI, 0x22, sizeof(DTI));
        memset((void *)&SG_Params, 0x33, sizeof(SG_Params));
        memset(Log_FileName, 'x', sizeof(Log_FileName));
        Log_FileName[sizeof(Log_FileName) - 1] = 0;
    }
    void TearDown() override { DeleteFileA(IniPath().c_str()); }
};

TEST_F(Settings, PathIsStartDirectoryPlusExecutableBaseName)
{
    char dir[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, dir);
    EXPECT_EQ(IniPath(), std::string(dir) + "\\test_settings.ini");
    // A name cut to MAX_PATH would be another file's: there is no name then.
    char path[MAX_PATH];
    std::string longest = "C:\\" + std::string(MAX_PATH - 16, 'd');   // + "\\zebdiag.ini": MAX_PATH - 1
    EXPECT_TRUE(IniFileNameFor(longest.c_str(), "C:\\bin\\zebdiag.exe", path));
    EXPECT_EQ(std::string(path), longest + "\\zebdiag.ini");
    EXPECT_FALSE(IniFileNameFor((longest + "d").c_str(), "C:\\bin\\zebdiag.exe", path));
    EXPECT_FALSE(IniFileNameFor((longest + "dddddddddddd").c_str(), "C:\\bin\\zebdiag.exe", path));
}

TEST_F(Settings, NoFileGivesTheDefaultsAndSaveWritesEveryKeyButGain)
{
    ASSERT_TRUE(LoadSettings());
    EXPECT_STREQ(DI.logFont.lfFaceName, "Courier New");
    EXPECT_EQ(DI.logFont.lfHeight, 0);
    EXPECT_STREQ(DTI.szComport, "COM1:");
    EXPECT_EQ(DTI.iComSpeed, 38400);
    EXPECT_EQ(DI.fFlippedView, 1);
    EXPECT_EQ(DI.flTitleSpacing, 15);
    EXPECT_EQ(DI.iSignalBarWidth, 60);
    EXPECT_EQ(DI.iSignalBarLength, 300);
    EXPECT_EQ(DI.rcWnd.left, 0);
    EXPECT_EQ(DI.rcWnd.bottom, 0);
    EXPECT_EQ(DI.minAbsValue, 0);
    EXPECT_EQ(DI.fNoiseBtnVisible, 0);
    EXPECT_EQ(DI.fLoadBtnVisible, 0);
    EXPECT_EQ(SG_Params.iFirst, 1);
    EXPECT_EQ(SG_Params.iLast, 100);
    EXPECT_EQ(SG_Params.iDiagonal, 0);
    EXPECT_EQ(SG_Params.iRodno, 0);
    EXPECT_EQ(SG_Params.iCycleDelay, 0);
    EXPECT_EQ(SG_Params.iGain, 0);
    EXPECT_EQ(SG_Params.ZEBproto, 1);
    EXPECT_EQ(DI.fTimeAnalysis, 0);
    EXPECT_STREQ(Log_FileName, "VAP_Logfile");
    EXPECT_EQ(DI.fShowExcessBars, 1);
    EXPECT_EQ(DI.iLimitMaxRel, 250);
    EXPECT_EQ(DI.iLimitMinRel, 0);
    EXPECT_EQ(DI.iLimitMaxAbs, 255);
    EXPECT_EQ(DI.iLimitMinAbs, 0);

    ASSERT_TRUE(SaveSettings());
    std::string text = ReadFile(IniPath());
    const char *expected =
        "[Font]\r\nName=Courier New\r\nSize=0\r\n"
        "[Communication]\r\nComPort=COM1:\r\nComSpeed=38400\r\n"
        "[View]\r\nFlippedView=1\r\nTitleSpacing=15\r\nSignalBarWidth=60\r\nSignalBarLength=300\r\n"
        "Left=0\r\nTop=0\r\nRight=0\r\nBottom=0\r\nMinAbsValue=0\r\nNoiseBtnVisible=0\r\nLoadBtnVisible=0\r\n"
        "[Parameter]\r\nFirstBeam=1\r\nLastBeam=100\r\nDiagonal=0\r\nRodNumber=0\r\nCycleDelay=0\r\n"
        "[Misc]\r\nZEBprotocol=1\r\nTimeAnalysis=0\r\n"
        "[Logfile]\r\nLogFileName=VAP_Logfile\r\n"
        "[Limits]\r\nShowExcessBars=1\r\nLimitMaxRel=250\r\nLimitMinRel=0\r\nLimitMaxAbs=255\r\nLimitMinAbs=0\r\n";
    // The platform may separate sections by an empty line; compare without them.
    for (size_t i; (i = text.find("\r\n\r\n")) != std::string::npos;)
        text.erase(i, 2);
    EXPECT_EQ(text, expected);
}

TEST_F(Settings, LoadTimeCorrections)
{
    Put("Parameter", "CycleDelay", "5000");
    Put("Communication", "ComSpeed", "0");
    Put("View", "Left", "800");
    Put("View", "Right", "100");
    Put("View", "Top", "-5");
    Put("View", "Bottom", "-50");
    LoadSettings();
    EXPECT_EQ(SG_Params.iCycleDelay, 1000);
    EXPECT_EQ(DTI.iComSpeed, 38400);
    EXPECT_EQ(DI.rcWnd.left, 100);
    EXPECT_EQ(DI.rcWnd.right, 800);
    EXPECT_EQ(DI.rcWnd.top, -50);
    EXPECT_EQ(DI.rcWnd.bottom, -5);

    Put("Parameter", "CycleDelay", "-3");
    Put("Communication", "ComSpeed", "-9600");
    LoadSettings();
    EXPECT_EQ(SG_Params.iCycleDelay, 0);
    EXPECT_EQ(DTI.iComSpeed, 38400);
    SaveSettings();
    EXPECT_EQ(GetPrivateProfileIntA("Parameter", "CycleDelay", 99, IniPath().c_str()), 0);
    Put("Communication", "ComSpeed", "115200");
    LoadSettings();
    EXPECT_EQ(DTI.iComSpeed, 115200);
}

TEST_F(Settings, BeamRangeFromAHandEditedFileIsBroughtIntoRange)
{
    Put("Parameter", "FirstBeam", "0");
    Put("Parameter", "LastBeam", "1500");
    Put("Parameter", "RodNumber", "7");
    LoadSettings();
    EXPECT_EQ(SG_Params.iFirst, 1);
    EXPECT_EQ(SG_Params.iLast, 999);
    EXPECT_EQ(SG_Params.iRodno, 1);
    Put("Parameter", "FirstBeam", "2000");
    Put("Parameter", "LastBeam", "-4");
    Put("Parameter", "RodNumber", "-1");
    LoadSettings();
    EXPECT_EQ(SG_Params.iFirst, 999);
    EXPECT_EQ(SG_Params.iLast, 999);
    EXPECT_EQ(SG_Params.iRodno, 1);
    Put("Parameter", "FirstBeam", "10");
    Put("Parameter", "LastBeam", "5");
    LoadSettings();
    EXPECT_EQ(SG_Params.iFirst, 10);
    EXPECT_EQ(SG_Params.iLast, 10);
}

TEST_F(Settings, TextValuesEmptyAndOverLong)
{
    Put("Font", "Name", "");
    Put("Logfile", "LogFileName", "");
    LoadSettings();
    EXPECT_STREQ(DI.logFont.lfFaceName, "Courier New");
    EXPECT_STREQ(Log_FileName, "VAP_Logfile");

    std::string face(40, 'F'), port(300, 'P');
    Put("Font", "Name", face.c_str());
    Put("Communication", "ComPort", port.c_str());
    LoadSettings();
    EXPECT_EQ(std::string(DI.logFont.lfFaceName), face.substr(0, 31));
    EXPECT_EQ(std::string(DTI.szComport), port.substr(0, 260));
}

TEST_F(Settings, GainIsReadButNeverWritten)
{
    Put("Parameter", "Gain", "7");
    LoadSettings();
    EXPECT_EQ(SG_Params.iGain, 7);
    SG_Params.iGain = 42;   // as the parameter dialog would
    SaveSettings();
    EXPECT_EQ(GetPrivateProfileIntA("Parameter", "Gain", -1, IniPath().c_str()), 7);
}

TEST_F(Settings, AChangedWorkingDirectoryDoesNotMoveTheFile)
{
    std::string path = IniPath();
    char start[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, start);
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    ASSERT_TRUE(SetCurrentDirectoryA(temp));
    LoadSettings();
    SaveSettings();
    SetCurrentDirectoryA(start);
    EXPECT_EQ(IniPath(), path);
    EXPECT_NE(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesA((std::string(temp) + "test_settings.ini").c_str()), INVALID_FILE_ATTRIBUTES);
}
