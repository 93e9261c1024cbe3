// zebreport: a one-page service report from the program's data logs.
#pragma once

#include "logread.h"

// html.cpp, charts.cpp, csv.cpp
std::string Rep_Html(const REP_LOG &log, const std::vector<REP_BEAM> &beams, const REP_LIMITS &lim);
void Rep_BeamCharts(std::string *out, const REP_LOG &log, const std::vector<REP_BEAM> &beams, const REP_LIMITS &lim);
void Rep_TrendChart(std::string *out, const REP_LOG &log, const REP_LIMITS &lim);
std::string Rep_Csv(const std::vector<REP_BEAM> &beams);

// cli.cpp
int Rep_Main(int argc, char **argv);

