// The bar display, checked by reading pixels of the real window. Positions
// come from the metrics the display measured, never from constants.
#include "display.h"
#include "gui_host.h"
#include "link.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <limits.h>
#include <math.h>
#include <string.h>

#include <random>
#include <vector>

static const COLORREF kWhite = RGB(255, 255, 255), kGrey = RGB(245, 245, 245), kBlack = RGB(0, 0, 0),
                      kDarkRed = RGB(150, 0, 0), kRed = RGB(255, 0, 0), kGreen = RGB(0, 100, 0),
                      kOrange = RGB(255, 150, 0);

struct Display : testing::Test {
    GuiHost *host = nullptr;
    int W = 0, H = 0;   // client size of the display

    void SetUp() override
    {
        DI.fFlippedView = 0;
        DI.fRelative = 0;
        DI.iDisplayMode = DM_CURRENT;
        DI.minAbsValue = 0;
        DI.iSignalBarLength = 300;
        DI.iSignalBarWidth = 60;
        DI.flTitleSpacing = 15;
        DI.fShowExcessBars = 1;
        DI.iLimitMaxAbs = 255;
        DI.iLimitMinAbs = 0;
        DI.iLimitMaxRel = 250;
        DI.iLimitMinRel = 0;
        DI.fNoiseBtnVisible = DI.fLoadBtnVisible = 0;
        SG_Params = SG_PARAMS{};
        SG_Params.wChangeFlags = 0;
        memset((void *)&SG_View, 0, sizeof(SG_View));
        SG_View.Params = SG_Params;
        for (auto &row : RefValues)
            for (auto &v : row)
                v = 0;
    }
    void TearDown() override { delete host; }

    void Open(bool flipped = false)
    {
        DI.fFlippedView = flipped;
        host = new GuiHost();
        RECT rc;
        GetClientRect(DI.hwndDisplay, &rc);
        W = rc.right;
        H = rc.bottom;
    }
    void Data(int offset, const std::vector<int> &raw)
    {
        SG_View.fDataValid = SG_View.fMinMaxValid = 1;
        SG_View.aiValue[0] = offset;
        for (size_t i = 0; i < raw.size(); i++)
            SG_View.aiValue[i + 1] = SG_View.aiMin[i + 1] = SG_View.aiMax[i + 1] = raw[i];
        host->Repaint();
    }
    int InnerLeft() const { return 17 * DI.iCharWidth + 1; }
    int LogicalWidth() const { return DI.fFlippedView ? H : W; }
    // Device pixel of a row's middle at logical x, for beam b with the first beam visible.
    COLORREF At(int b, int logicalX)
    {
        int y = DI.iTitleHeight + (b - 1) * DI.iLineHeight + DI.iLineHeight / 2;
        if (DI.fFlippedView)
            return host->Pixel(y, H - 1 - logicalX);
        return host->Pixel(logicalX, y);
    }
    // Whether any pixel of a row's text cell has the colour.
    bool CellHas(int b, int fromCol, int toCol, COLORREF c)
    {
        int top = DI.iTitleHeight + (b - 1) * DI.iLineHeight;
        for (int x = fromCol * DI.iCharWidth; x < toCol * DI.iCharWidth; x++)
            for (int y = top; y < top + DI.iLineHeight; y++)
                if (host->Pixel(x, y) == c)
                    return true;
        return false;
    }
};

TEST_F(Display, HeaderRowsAndTheEmptyArea)
{
    SG_Params.iLast = 5;   // the rest of the window stays empty
    Open();
    Data(10, {50, 50, 50, 50, 50});
    EXPECT_EQ(host->Pixel(W - 5, 2), kWhite) << "header band";
    EXPECT_EQ(host->Pixel(W - 5, DI.iTitleHeight - 1), kBlack) << "line under the header";
    EXPECT_EQ(host->Pixel(W - 5, DI.iTitleHeight - 2), kWhite);
    EXPECT_EQ(At(1, W - 5), kGrey) << "odd rows light grey";
    EXPECT_EQ(At(2, W - 5), kWhite) << "even rows white";
    EXPECT_EQ(At(3, W - 5), kGrey);
    EXPECT_EQ(host->Pixel(W - 5, DI.iTitleHeight + 5 * DI.iLineHeight + 2), kWhite) << "after the last beam";
    EXPECT_EQ(host->Pixel(2, H - 2), kWhite);
    EXPECT_EQ(DI.iTitleHeight, DI.iLineHeight * 15 / 10 + 1);
    host->SaveScreenshot("display-rows");
}

TEST_F(Display, BarsZeroLineAndLimits)
{
    Open();
    DI.iLimitMaxAbs = 200;
    // offset 10: v = 128, 0, invalid 242, -5, 245 (above the limit)
    Data(10, {138, 10, 252, 5, 255 - 0});
    int L = InnerLeft();
    // v = 128: pixels L .. L + 150 (128 x 299 x (1 + 2^-23) / 255 = 150.09)
    EXPECT_EQ(At(1, L), kGreen) << "zero line on top of the bar";
    EXPECT_EQ(At(1, L + 1), kBlack);
    EXPECT_EQ(At(1, L + 150), kBlack);
    EXPECT_EQ(At(1, L + 151), kWhite);
    EXPECT_EQ(At(1, L + 234), kOrange) << "upper limit 200 at 200 x 299 / 255 = 234.5";
    EXPECT_EQ(At(1, L + 299), kWhite) << "inner area ends at L + 299";
    EXPECT_TRUE(CellHas(1, 5, 10, kBlack)) << "value text";
    // v = 0: a one-pixel bar under the zero line
    EXPECT_EQ(At(2, L), kGreen);
    EXPECT_EQ(At(2, L + 1), kWhite);
    // raw 252 of signal strengths is invalid: red bar and red text
    EXPECT_EQ(At(3, L + 100), kRed);
    EXPECT_TRUE(CellHas(3, 5, 10, kRed));
    EXPECT_FALSE(CellHas(3, 5, 10, kBlack));
    // below the offset: shown as 0, nothing but the zero line
    EXPECT_EQ(At(4, L), kGreen);
    EXPECT_EQ(At(4, L + 1), kWhite);
    // raw 255 is invalid too, and reaches the end of the scale
    EXPECT_EQ(At(5, L + 280), kRed);
    EXPECT_EQ(At(5, L + 234), kOrange) << "limit lines stay visible across bars";

    SG_View.aiValue[1] = 230;   // v = 220 > 200: orange bar
    host->Repaint();
    EXPECT_EQ(At(1, L + 100), kOrange);
    SG_View.aiValue[1] = 210;   // v = 200, equal to the limit: inside
    host->Repaint();
    EXPECT_EQ(At(1, L + 100), kBlack);
}

TEST_F(Display, NegativeValuesOnAScaleBelowZero)
{
    DI.minAbsValue = -50;
    DI.iLimitMinAbs = -50;   // with the default lower limit 0 the bar would be orange
    Open();
    Data(30, {10});   // v = -20
    int L = InnerLeft();
    int x0 = (int)(50 * (299 * 1.0000001192092896 / 305));   // 49
    int xv = (int)(30 * (299 * 1.0000001192092896 / 305));   // 29
    EXPECT_EQ(At(1, L + x0), kGreen);
    EXPECT_EQ(At(1, L + (x0 + xv) / 2), kDarkRed);
    EXPECT_EQ(At(1, L + xv), kDarkRed);
    EXPECT_EQ(At(1, L + xv - 1), kWhite);
    EXPECT_EQ(At(1, L + x0 + 1), kWhite);
    DI.iLimitMinAbs = 0;
    host->Repaint();
    EXPECT_EQ(At(1, L + xv), kOrange) << "below the lower limit";
}

TEST_F(Display, NothingButBeamNumbersBeforeTheFirstData)
{
    Open();
    SG_View.aiValue[1] = 200;
    host->Repaint();
    int L = InnerLeft();
    EXPECT_TRUE(CellHas(1, 0, 4, kBlack)) << "beam number";
    EXPECT_FALSE(CellHas(1, 5, 15, kBlack)) << "no value text";
    EXPECT_EQ(At(1, L), kWhite) << "no zero line";
    EXPECT_EQ(At(1, L + 50), kWhite) << "no bar";
    EXPECT_EQ(At(1, L + 299), kOrange) << "limit lines are shown";
    // Minima, maxima and noise wait for valid extremes too.
    SG_View.fDataValid = 1;
    DI.iDisplayMode = DM_MAXIMUM;
    host->Repaint();
    EXPECT_EQ(At(1, L + 50), kWhite);
}

TEST_F(Display, ScrollingMovesRowsByOneLineAndLeavesTheHeader)
{
    Open();
    std::vector<int> raw;
    for (int b = 1; b <= 100; b++)
        raw.push_back(20 + (b * 37) % 200);
    Data(10, raw);
    auto column = [&](int x) {
        std::vector<COLORREF> c;
        for (int y = 0; y < H; y++)
            c.push_back(host->Pixel(x, y));
        return c;
    };
    int x = InnerLeft() + 120;
    std::vector<COLORREF> before = column(x), header = column(DI.iCharWidth);
    SendMessageA(DI.hwndDisplay, WM_VSCROLL, SB_LINEDOWN, 0);
    UpdateWindow(DI.hwndDisplay);
    std::vector<COLORREF> after = column(x);
    int lh = DI.iLineHeight, top = DI.iTitleHeight;
    for (int y = top; y + lh < H - lh; y++)
        ASSERT_EQ(after[y], before[y + lh]) << "y " << y;
    for (int y = 0; y < top; y++)
        ASSERT_EQ(column(DI.iCharWidth)[y], header[y]) << "header y " << y;
    SCROLLINFO si = {sizeof(si), SIF_ALL, 0, 0, 0, 0, 0};
    GetScrollInfo(DI.hwndDisplay, SB_VERT, &si);
    EXPECT_EQ(si.nPos, 2);
    int page = (int)si.nPage;
    EXPECT_EQ(page, (H - top) / lh);

    // The ends of the range.
    SendMessageA(DI.hwndDisplay, WM_VSCROLL, SB_BOTTOM, 0);
    GetScrollInfo(DI.hwndDisplay, SB_VERT, &si);
    EXPECT_EQ(si.nPos, 100 - page + 1);
    SendMessageA(DI.hwndDisplay, WM_VSCROLL, SB_LINEDOWN, 0);
    GetScrollInfo(DI.hwndDisplay, SB_VERT, &si);
    EXPECT_EQ(si.nPos, 100 - page + 1);
    SG_Params.iLast = 50;   // a shorter range pulls the position back
    UpdateDisplayScrollRange();
    GetScrollInfo(DI.hwndDisplay, SB_VERT, &si);
    EXPECT_EQ(si.nPos, 50 - page + 1 > 1 ? 50 - page + 1 : 1);
    SG_Params.iFirst = 40;
    UpdateDisplayScrollRange();
    GetScrollInfo(DI.hwndDisplay, SB_VERT, &si);
    EXPECT_GE(si.nPos, 40);
    SendMessageA(DI.hwndDisplay, WM_VSCROLL, SB_TOP, 0);
    GetScrollInfo(DI.hwndDisplay, SB_VERT, &si);
    EXPECT_EQ(si.nPos, 40);
    EXPECT_EQ(GetScrollPos(DI.hwndDisplay, SB_HORZ), 0);
}

TEST_F(Display, FlippedViewGrowsBarsUpwardsWithTheFirstBeamLeftmost)
{
    Open(true);
    Data(10, {138, 60});
    int L = InnerLeft();
    EXPECT_EQ(host->Pixel(DI.iTitleHeight - 1, 5), kBlack) << "line right of the header band";
    EXPECT_EQ(host->Pixel(DI.iTitleHeight - 2, 5), kWhite);
    EXPECT_EQ(At(1, L), kGreen) << "zero line near the bottom edge";
    EXPECT_EQ(At(1, L + 150), kBlack);
    EXPECT_EQ(At(1, L + 151), kWhite);
    EXPECT_EQ(At(2, L + 50), kBlack);
    EXPECT_EQ(At(2, L + 59), kWhite);   // v = 50 ends at 58
    EXPECT_EQ(At(1, LogicalWidth() - 5), kGrey);
    SCROLLINFO si = {sizeof(si), SIF_ALL, 0, 0, 0, 0, 0};
    GetScrollInfo(DI.hwndDisplay, SB_HORZ, &si);
    EXPECT_EQ(si.nPos, 1);
    EXPECT_EQ(si.nMax, 100);
}

TEST_F(Display, ScaleRules)
{
    Open();
    DI.iLineHeight = 16;
    SetUpScale();
    EXPECT_FLOAT_EQ(PS.flBarGap, 6.4f);
    EXPECT_EQ(ValueToX(0, 255), 299);
    EXPECT_EQ(ValueToX(0, 128), 150);
    EXPECT_EQ(ValueToX(0, 0), 0);
    DI.minAbsValue = 20;
    DI.iDisplayMode = DM_NOISE;
    SetUpScale();
    EXPECT_EQ(PS.flScaleMin, 0);
    EXPECT_EQ(PS.flScaleMax, 50);
    DI.fRelative = 1;
    SetUpScale();
    EXPECT_EQ(PS.flScaleMax, 250);
    // A floor at the top of the scale must not divide by zero.
    DI.fRelative = 0;
    DI.iDisplayMode = DM_CURRENT;
    DI.minAbsValue = 255;
    SetUpScale();
    EXPECT_TRUE(std::isfinite(PS.flPixelsPerUnit));
    DI.minAbsValue = 400;
    SetUpScale();
    EXPECT_TRUE(std::isfinite(PS.flPixelsPerUnit));
    EXPECT_GT(PS.flPixelsPerUnit, 0);
    host->Repaint();   // and a paint with it survives
    // Hand-edited extremes: finite scale, limits just off the bar's ends.
    DI.minAbsValue = INT_MAX;
    DI.iSignalBarLength = INT_MAX;
    SetUpScale();
    EXPECT_TRUE(std::isfinite(PS.flPixelsPerUnit));
    EXPECT_GT(PS.flScaleMax, PS.flScaleMin);
    EXPECT_GT(ValueToX(0, (float)INT_MAX), PS.iBarLength) << "off the end, not wrapped round";
    EXPECT_LT(ValueToX(0, (float)INT_MIN), 0);
}

TEST_F(Display, HandEditedExtremesStayInTheirRows)
{
    DI.iLimitMaxAbs = INT_MAX;
    DI.iLimitMinAbs = INT_MIN;
    DI.iSignalBarWidth = INT_MIN;
    Open();
    Data(10, {138, 138});
    int L = InnerLeft();
    for (int x : {L + 10, L + 150, L + 299, W - 5})
        EXPECT_NE(At(2, x), kBlack) << "x " << x << ": no bar reaches past a row collapsed to nothing";
    DI.iSignalBarWidth = 60;
    DI.minAbsValue = INT_MAX;
    host->Repaint();
    EXPECT_EQ(At(1, L + 299), kWhite) << "no limit line, no block: both limits lie off the scale";
}

TEST_F(Display, RelativeViewNoiseModeAndPaintTime)
{
    DI.fRelative = 1;
    DI.iLimitMaxRel = 250;
    DI.fTimeAnalysis = 1;
    Open();
    int parts[3] = {200, 400, -1};
    SendMessageA(DI.hwndStatus, SB_SETPARTS, 3, (LPARAM)parts);
    RefValues[0][1] = 100;   // 150 %
    RefValues[0][2] = 0;     // no reference: 0 %, red
    RefValues[0][3] = 253;   // beyond the valid references
    RefValues[0][4] = 252;
    RefValues[0][5] = -100;  // below 1: no reference either
    Data(0, {150, 150, 150, 126, 150});
    int L = InnerLeft();
    int x150 = (int)(150 * (299 * 1.0000001192092896 / 250));
    EXPECT_EQ(At(1, L + x150), kBlack);
    EXPECT_EQ(At(1, L + x150 + 1), kWhite);
    EXPECT_TRUE(CellHas(1, 10, 16, kBlack)) << "percentage column";
    EXPECT_EQ(At(2, L), kGreen) << "zero line over the one-pixel bar";
    EXPECT_EQ(At(2, L + 1), kWhite);
    EXPECT_TRUE(CellHas(2, 10, 16, kRed));
    EXPECT_TRUE(CellHas(3, 10, 16, kRed));
    EXPECT_FALSE(CellHas(4, 10, 16, kRed)) << "252 is a valid reference";
    EXPECT_TRUE(CellHas(5, 10, 16, kRed)) << "a negative reference is invalid";
    char text[64] = "";
    SendMessageA(DI.hwndStatus, SB_GETTEXTA, 2, (LPARAM)text);
    EXPECT_EQ(std::string(text).rfind("\tdisp_t: ", 0), 0u) << text;

    // Noise: maximum minus minimum on the 0 .. 50 scale.
    DI.fRelative = 0;
    DI.iDisplayMode = DM_NOISE;
    SG_View.aiMin[1] = 100;
    SG_View.aiMax[1] = 120;   // 20 of 50
    SG_View.aiMin[2] = 10;
    SG_View.aiMax[2] = 90;    // 80: fills the bar
    host->Repaint();
    int x20 = (int)(20 * (299 * 1.0000001192092896 / 50));
    EXPECT_EQ(At(1, L + x20), kBlack);
    EXPECT_EQ(At(1, L + x20 + 1), kWhite);
    EXPECT_EQ(At(2, L + 298), kBlack);
}

// Pictures of each view with living values, for the eye and the README.
TEST_F(Display, Screenshots)
{
    std::mt19937 rng(7);
    std::vector<int> raw;
    for (int b = 1; b <= 100; b++) {
        int v = 150 + (int)(rng() % 60);
        if (b % 17 == 0)
            v = 60;
        raw.push_back(v + 20);
    }
    for (int b = 1; b <= 100; b++)
        RefValues[0][b] = 170;
    for (int flipped = 0; flipped < 2; flipped++)
        for (int relative = 0; relative < 2; relative++) {
            DI.fRelative = relative;
            DI.iLimitMinRel = relative ? 60 : 0;
            DI.iLimitMaxRel = 120;
            Open(flipped);
            Data(20, raw);
            host->SaveScreenshot(std::string(flipped ? "flipped" : "normal") + (relative ? "-relative" : "-absolute"));
            EXPECT_EQ(At(1, LogicalWidth() - 5), kGrey);
            delete host;
            host = nullptr;
        }
}
