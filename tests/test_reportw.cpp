// The report window's logic and its window, in process: logs in time order,
// the visit's preselection, default places, the jobs the choices make, the
// causes of real failed jobs told in German, what is remembered, and the
// window's fields after arguments, clicks and drops.
#include "reportw.h"
#include "reportw_res.h"

#include <gtest/gtest.h>

#include <shellapi.h>
#include <shlobj.h>
#include <stdio.h>

#include <filesystem>
#include <string>
#include <vector>

static bool Has(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}
#define EXPECT_HAS(text, part) EXPECT_TRUE(Has(text, part)) << "missing \"" << (part) << "\" in:\n" << (text)

TEST(ReportwLogs, TheNamesStampOrdersTheLogs)
{
    EXPECT_EQ(Repw_Stamp("C:\\Logs\\site_20240501T091500.log"), "20240501091500");
    EXPECT_EQ(Repw_Stamp("site_20240501T091500.LOG"), "20240501091500");
    EXPECT_EQ(Repw_Stamp("Z:/a b/x_20240501T091500.log"), "20240501091500");
    EXPECT_EQ(Repw_Stamp("site_2024050T091500.log"), "");
    EXPECT_EQ(Repw_Stamp("site_20240501-091500.log"), "");
    EXPECT_EQ(Repw_Stamp("site_20240501T0915x0.log"), "");
    EXPECT_EQ(Repw_Stamp("site_20240501T091500.txt"), "");
    std::vector<std::string> logs = {"C:\\b_20240502T080000.log", "C:\\x.log", "D:\\a_20240501T120000.log",
                                     "C:\\y.log", "C:\\c_20240501T080000.log"};
    Repw_SortLogs(&logs);
    EXPECT_EQ(logs, (std::vector<std::string>{"C:\\c_20240501T080000.log", "D:\\a_20240501T120000.log",
                                              "C:\\b_20240502T080000.log", "C:\\x.log", "C:\\y.log"}));
}

TEST(ReportwLogs, TheVisitIsTheFirstAndLastLogOfADay)
{
    int found, left;
    std::vector<std::string> logs = {"g_20240501T080000.log", "g_20240501T120000.log", "g_20240502T090000.log",
                                     "g_20240502T100000.log", "g_20240502T110000.log", "g_20240503T070000.log"};
    Repw_PickVisit(logs, &found, &left);
    EXPECT_EQ(found, 2);   // the latest day with two recordings
    EXPECT_EQ(left, 4);
    Repw_PickVisit({"g_20240501T080000.log", "g_20240502T080000.log", "other.log"}, &found, &left);
    EXPECT_EQ(found, 0);   // no such day: the first and the last
    EXPECT_EQ(left, 2);
    Repw_PickVisit({"g_20240501T080000.log"}, &found, &left);
    EXPECT_EQ(found, -1);
    EXPECT_EQ(left, -1);
}

static REPW_INPUT Input(int kind, const std::vector<std::string> &logs, const std::string &target)
{
    REPW_INPUT in;
    in.iKind = kind;
    in.aLogs = logs;
    Repw_PickVisit(logs, &in.iFound, &in.iLeft);
    in.strTarget = target;
    return in;
}

TEST(ReportwJob, EachChoiceFillsItsPartOfTheJob)
{
    std::vector<std::string> logs = {"C:\\g\\s_20240501T090000.log", "C:\\g\\s_20240501T100000.log"};
    REP_JOB job;
    REPW_INPUT in = Input(REPW_REPORT, logs, "C:\\g\\Servicebericht.html");
    in.fCsv = true;
    in.iLang = REP_LANG_EN;
    in.strTechnician = "J\xf6rg";
    in.strIni = "C:\\zebdiag.ini";
    ASSERT_EQ(Repw_MakeJob(in, &job), 0u);
    EXPECT_EQ(job.logs[JOB_LOGS], logs);
    EXPECT_EQ(job.out, "C:\\g\\Servicebericht.html");
    EXPECT_EQ(job.csv, "C:\\g\\Servicebericht.csv");
    EXPECT_EQ(job.iLang, REP_LANG_EN);
    EXPECT_EQ(job.technician, "J\xf6rg");
    EXPECT_EQ(job.ini, "C:\\zebdiag.ini");
    EXPECT_EQ(Rep_CheckJob(job), "");

    in = Input(REPW_VISIT, logs, "C:\\g\\Vorher-Nachher.html");
    std::swap(in.iFound, in.iLeft);
    ASSERT_EQ(Repw_MakeJob(in, &job), 0u);
    EXPECT_EQ(job.logs[JOB_FOUND], std::vector<std::string>{logs[1]});
    EXPECT_EQ(job.logs[JOB_LEFT], std::vector<std::string>{logs[0]});
    EXPECT_TRUE(job.logs[JOB_LOGS].empty());
    EXPECT_EQ(job.csv, "");
    EXPECT_EQ(Rep_CheckJob(job), "");
    in.iLeft = in.iFound;
    EXPECT_EQ(Repw_MakeJob(in, &job), (UINT)IDS_SAME_LOG);
    EXPECT_EQ(Repw_MakeJob(Input(REPW_VISIT, {logs[0]}, "C:\\v.html"), &job), (UINT)IDS_NEED_TWO_LOGS);

    in = Input(REPW_HISTORY, logs, "C:\\g\\Verlauf.html");
    in.strFolder = "C:\\g\\";
    ASSERT_EQ(Repw_MakeJob(in, &job), 0u);
    EXPECT_EQ(job.grid, "C:\\g");
    EXPECT_TRUE(job.logs[JOB_LOGS].empty());
    EXPECT_EQ(Rep_CheckJob(job), "");
    in.strFolder = "";
    EXPECT_EQ(Repw_MakeJob(in, &job), (UINT)IDS_NEED_FOLDER);

    in = Input(REPW_PLAN, {}, "D:\\Plan\\Pruefplan.html");
    in.strFolder = "D:\\Archiv";
    in.fPages = true;
    ASSERT_EQ(Repw_MakeJob(in, &job), 0u);
    EXPECT_EQ(job.fleet, "D:\\Archiv");
    EXPECT_EQ(job.pages, "D:\\Plan\\Gitterseiten");
    EXPECT_EQ(Rep_CheckJob(job), "");
    in.strPagesName = "Seiten";
    in.fCsv = true;
    ASSERT_EQ(Repw_MakeJob(in, &job), 0u);
    EXPECT_EQ(job.pages, "D:\\Plan\\Seiten");
    EXPECT_EQ(job.csv, "D:\\Plan\\Pruefplan.csv");
    in.fPages = false;
    ASSERT_EQ(Repw_MakeJob(in, &job), 0u);
    EXPECT_EQ(job.pages, "");

    EXPECT_EQ(Repw_MakeJob(Input(REPW_REPORT, {}, "C:\\r.html"), &job), (UINT)IDS_NEED_LOGS);
    EXPECT_EQ(Repw_MakeJob(Input(REPW_REPORT, logs, ""), &job), (UINT)IDS_NEED_TARGET);
}

TEST(ReportwJob, ThePageGoesBesideItsInputs)
{
    std::vector<std::string> logs = {"C:\\a\\s_20240501T090000.log", "C:\\b\\s_20240501T100000.log",
                                     "C:\\b\\s_20240501T110000.log"};
    REPW_INPUT in = Input(REPW_REPORT, logs, "");
    EXPECT_EQ(Repw_DefaultTarget(in), "C:\\a\\Servicebericht.html");
    in.iKind = REPW_VISIT;
    in.iFound = 1;   // beside the log as found
    EXPECT_EQ(Repw_DefaultTarget(in), "C:\\b\\Vorher-Nachher.html");
    in.iKind = REPW_HISTORY;
    in.strFolder = "C:\\Archiv\\Presse 12\\";
    EXPECT_EQ(Repw_DefaultTarget(in), "C:\\Archiv\\Presse 12\\Verlauf.html");
    in.strFolder = "C:\\";
    EXPECT_EQ(Repw_DefaultTarget(in), "C:\\Verlauf.html");
    in.iKind = REPW_PLAN;
    in.strFolder = "C:\\Archiv";
    // The plan's name keeps its umlaut where the code page has one.
    std::string plan;
    bool umlaut = Repw_AnsiFromWide(L"Pr\u00fcfplan.html", &plan);
    EXPECT_EQ(Repw_DefaultTarget(in), "C:\\Archiv\\" + (umlaut ? plan : std::string("Pruefplan.html")));
    EXPECT_EQ(Repw_TargetPath(in, "Plan 2024.html"), "C:\\Archiv\\Plan 2024.html");
    EXPECT_EQ(Repw_TargetPath(in, "D:\\Plan.html"), "D:\\Plan.html");
    EXPECT_EQ(Repw_TargetPath(in, "\\\\server\\share\\Plan.html"), "\\\\server\\share\\Plan.html");
    in.strFolder = "";
    EXPECT_EQ(Repw_DefaultTarget(in), "");
    EXPECT_EQ(Repw_TargetPath(in, "Plan.html"), "Plan.html");
    EXPECT_EQ(Repw_CsvBeside("C:\\a.b\\Seite"), "C:\\a.b\\Seite.csv");
}

TEST(ReportwText, AJobsLineComesIntoTheAnsiCodePage)
{
    if (GetACP() != 1252)
        GTEST_SKIP() << "code page " << GetACP();
    // A path in the code page beside the page's own dash in UTF-8.
    EXPECT_EQ(Repw_AnsiFromMixed("C:\\Pr\xfc" "f: beams 1\xe2\x80\x93" "6"), "C:\\Pr\xfc" "f: beams 1\x96" "6");
    EXPECT_EQ(Repw_AnsiFromUtf8("J\xc3\xb6rg"), "J\xf6rg");
    std::string s;
    EXPECT_FALSE(Repw_AnsiFromWide(L"\u0416", &s));   // no such letter in the code page
}

// Files under a folder of the test's own.
struct ReportwFiles : testing::Test {
    std::string base;
    void SetUp() override
    {
        std::filesystem::remove_all("reportw_unit");
        std::filesystem::create_directories("reportw_unit");
        char full[MAX_PATH];
        GetFullPathNameA("reportw_unit", MAX_PATH, full, NULL);
        base = full;
    }
    std::string Put(const std::string &rel, const std::string &bytes)
    {
        std::string path = base + "\\" + rel;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        FILE *f = fopen(path.c_str(), "wb");
        EXPECT_TRUE(f) << path;
        if (f) {
            fwrite(bytes.data(), 1, bytes.size(), f);
            fclose(f);
        }
        return path;
    }
    // A data log of 20 cycles, beams 1..values.size(), every cycle alike.
    std::string Log(const std::string &rel, const char *date, int hour, const std::vector<int> &values,
                    const char *type = "Signalst\xe4rke")
    {
        std::string text = std::string("ZEB Zuvaririzadure - ") + type + ", aktuell (Leistenpaar 1)\r\nDate: " + date +
                           "\r\nZeit        \tErster\tLetzter\tLeiste\tWerte\r\n";
        for (int i = 0; i < 20; i++) {
            char line[64];
            snprintf(line, sizeof(line), "%02d:00:%02d,%03d\t1\t%d\t0", hour, i / 25, i * 40 % 1000, (int)values.size());
            text += line;
            for (int v : values)
                text += "\t" + std::to_string(v);
            text += "\r\n";
        }
        return Put(rel, text);
    }
    std::string Card(const std::string &folder, const std::string &limits)
    {
        return Put(folder + "\\grid.ini", "[Grid]\r\nCustomer=Muster GmbH\r\nSite=Werk 2\r\nMachine=Presse 12\r\n"
                                          "Grid=links\r\nSerial=ZG-0815\r\n[Limits]\r\n" + limits);
    }
    std::string Dir(const std::string &rel) { return base + "\\" + rel; }
};

TEST_F(ReportwFiles, WhatComesSuggestsThePage)
{
    Card("Archiv\\Presse", "LimitMinAbs=60\r\n");
    std::string a = Log("Archiv\\Presse\\2024-05\\s_20240501T090000.log", "2024-05-01", 9, {100, 100});
    std::string b = Log("Archiv\\Presse\\2024-05\\s_20240501T100000.log", "2024-05-01", 10, {100, 100});
    REPW_INPUT in;
    EXPECT_EQ(Repw_AddPaths(&in, {b, a, a}), REPW_REPORT);
    EXPECT_EQ(in.aLogs, (std::vector<std::string>{a, b}));   // once each, in time order
    EXPECT_EQ(in.strFolder, Dir("Archiv\\Presse"));            // the grid's, where its card is
    EXPECT_EQ(in.iFound, 0);
    EXPECT_EQ(in.iLeft, 1);
    REPW_INPUT grid, archive;
    EXPECT_EQ(Repw_AddPaths(&grid, {Dir("Archiv\\Presse\\")}), REPW_HISTORY);
    EXPECT_EQ(grid.strFolder, Dir("Archiv\\Presse"));
    EXPECT_EQ(Repw_AddPaths(&archive, {Dir("Archiv")}), REPW_PLAN);
}

TEST_F(ReportwFiles, TheGridsIdentityBeforeAnythingIsMade)
{
    Card("Presse", "LimitMinAbs=60\r\n");
    Put("Kaputt\\grid.ini", "[Grid]\r\nCustomer=X\r\n[Limits]\r\nLimitMinAbs=6x\r\n");
    std::string a = Log("Presse\\s_20240501T090000.log", "2024-05-01", 9, {100});
    std::string b = Log("Presse\\sub\\s_20240502T090000.log", "2024-05-02", 9, {100});
    std::string other = Log("Kaputt\\k_20240501T090000.log", "2024-05-01", 9, {100});
    std::string loose = Log("lose\\l_20240501T090000.log", "2024-05-01", 9, {100});
    REPW_INPUT in = Input(REPW_REPORT, {a, b}, "");
    EXPECT_EQ(Repw_IdentityText(in),
              "Kunde: Muster GmbH    Standort: Werk 2\r\nMaschine: Presse 12    Gitter: links\r\nSeriennummer: ZG-0815");
    in.iKind = REPW_HISTORY;
    in.strFolder = Dir("Presse\\sub");   // a folder below the card
    EXPECT_HAS(Repw_IdentityText(in), "Kunde: Muster GmbH");
    in = Input(REPW_VISIT, {a, other}, "");
    EXPECT_HAS(Repw_IdentityText(in), "Die Logs geh\xf6ren zu zwei Gittern:\n" + Dir("Presse") + "\n" + Dir("Kaputt"));
    in = Input(REPW_REPORT, {other}, "");
    EXPECT_HAS(Repw_IdentityText(in), "Zeile 4: [Limits] LimitMinAbs ist keine ganze Zahl: 6x");
    in = Input(REPW_REPORT, {loose}, "");
    EXPECT_EQ(Repw_IdentityText(in), Repw_Load(IDS_ID_NO_CARD));
    EXPECT_EQ(Repw_IdentityText(Input(REPW_REPORT, {}, "")), Repw_Load(IDS_ID_NONE));
}

// Runs what the window would run; the German text of a failure.
static std::string Fails(const REPW_INPUT &in, REP_RESULT *res = nullptr)
{
    REP_JOB job;
    REP_RESULT mine;
    res = res ? res : &mine;
    EXPECT_EQ(Repw_MakeJob(in, &job), 0u);
    EXPECT_EQ(Rep_RunJob(job, res), 2) << res->strLine;
    return Repw_ErrorText(*res, job);
}

TEST_F(ReportwFiles, TheCommonCausesAreToldInGerman)
{
    Card("Presse", "LimitMinAbs=60\r\n");
    std::string good = Log("Presse\\s_20240501T090000.log", "2024-05-01", 9, {100, 100, 100});
    std::string target = Dir("Presse\\Servicebericht.html");
    std::string missing = Dir("lose\\fehlt_20240501T090000.log");
    EXPECT_HAS(Fails(Input(REPW_REPORT, {missing}, target)),
               "Das Log kann nicht ge\xf6" "ffnet werden:\n" + missing + "\n\nDatei oder Ordner nicht gefunden.");

    std::string text = Put("lose\\notiz.log", "Einkaufsliste\r\nMilch\r\n");
    EXPECT_HAS(Fails(Input(REPW_REPORT, {text}, target)), "kein Datenlog von zebdiag (die erste Zeile");
    EXPECT_HAS(Fails(Input(REPW_REPORT, {text}, target)), "):\n" + text);
    std::string empty = Put("lose\\leer.log", "");
    EXPECT_HAS(Fails(Input(REPW_REPORT, {empty}, target)), "sie ist leer:\n" + empty);
    std::string noDate = Put("lose\\ohne.log", "ZEB Zuvaririzadure - Signalst\xe4rke, aktuell (Leistenpaar 1)\r\nx\r\n");
    EXPECT_HAS(Fails(Input(REPW_REPORT, {noDate}, target)), "keine Datumszeile");
    std::string header = Put("lose\\kopf.log", "ZEB Zuvaririzadure - Signalst\xe4rke, aktuell (Leistenpaar 1)\r\n"
                                               "Date: 2024-05-01\r\nZeit        \tErster\tLetzter\tLeiste\tWerte\r\nxx\r\n");
    EXPECT_HAS(Fails(Input(REPW_REPORT, {header}, target)),
               "keine lesbare Datenzeile (1 Zeilen als fehlerhaft \xfc" "bersprungen):\n" + header);

    std::string nowhere = Dir("fehlt\\Servicebericht.html");
    EXPECT_HAS(Fails(Input(REPW_REPORT, {good}, nowhere)),
               "Die Datei kann nicht geschrieben werden:\n" + nowhere + "\n\nDatei oder Ordner nicht gefunden.");

    Card("Linie", "LimitMaxAbs=200\r\n");
    std::string other = Log("Linie\\l_20240502T090000.log", "2024-05-02", 9, {100, 100, 100});
    EXPECT_HAS(Fails(Input(REPW_REPORT, {good, other}, target)),
               "zwei verschiedenen Gittern; eine Seite zeigt ein Gitter.\n\n" + good + "\n(Gitterordner: " +
                   Dir("Presse") + ")\n\n" + other + "\n(Gitterordner: " + Dir("Linie") + ")");
    std::string loose = Log("lose\\l_20240501T090000.log", "2024-05-01", 9, {100, 100, 100});
    EXPECT_HAS(Fails(Input(REPW_REPORT, {good, loose}, target)), "(Gitterordner: ohne Gitterkarte)");

    REPW_INPUT history = Input(REPW_HISTORY, {}, Dir("Linie\\Verlauf.html"));
    history.strFolder = Dir("Linie");
    EXPECT_HAS(Fails(history), "Verlauf fehlt eine untere Grenze \xfc" "ber 0:\n" + Dir("Linie") + "\n");

    Card("Karte", "LimitMinAbs=abc\r\n");
    std::string bad = Log("Karte\\k_20240501T090000.log", "2024-05-01", 9, {100});
    EXPECT_HAS(Fails(Input(REPW_REPORT, {bad}, target)),
               "Ein Wert der Gitterkarte ist ung\xfcltig:\n" + Rep_FindCard(bad) +
                   ", Zeile 8: [Limits] LimitMinAbs ist keine ganze Zahl: abc");

    REPW_INPUT ini = Input(REPW_REPORT, {good}, target);
    ini.strIni = Put("zebdiag.ini", "[View]\r\n[Limits]\r\nLimitMinAbs=zwei\r\n");
    EXPECT_HAS(Fails(ini), "Einstellungsdatei ist keine ganze Zahl:\n" + ini.strIni + ", Zeile 3: [Limits] LimitMinAbs");
    ini.strIni = Dir("fehlt.ini");
    EXPECT_HAS(Fails(ini), "Die Einstellungsdatei kann nicht ge\xf6" "ffnet werden:\n" + ini.strIni);

    Card("Leer", "LimitMinAbs=60\r\n");
    REPW_INPUT nothing = Input(REPW_HISTORY, {}, Dir("Leer\\Verlauf.html"));
    nothing.strFolder = Dir("Leer");
    EXPECT_HAS(Fails(nothing), "Im Ordner liegt kein Datenlog:\n" + Dir("Leer"));
    std::filesystem::create_directories(Dir("ohne Karten\\x"));
    REPW_INPUT plan = Input(REPW_PLAN, {}, Dir("ohne Karten\\Plan.html"));
    plan.strFolder = Dir("ohne Karten");
    EXPECT_HAS(Fails(plan), "keine Gitterkarte (grid.ini), also kein Gitter f\xfcr den Pr\xfc" "fplan:\n" + plan.strFolder);

    // Rarer causes: the English line under a German heading, the file named.
    std::string feedback = Log("Presse\\f_20240501T100000.log", "2024-05-01", 10, {100, 100, 100},
                               "Empf\xe4ngerr\xfc" "ckmeldewerte");
    REP_RESULT res;
    text = Fails(Input(REPW_REPORT, {good, feedback}, target), &res);
    EXPECT_HAS(text, "Die Seite konnte nicht erstellt werden:\n" + target + "\n\nMeldung (englisch):\n" + res.strLine);
    EXPECT_HAS(res.strLine, "receiver feedback");
    std::string two = Log("Presse\\s_20240501T110000.log", "2024-05-01", 11, {100, 100});
    text = Fails(Input(REPW_VISIT, {good, two}, Dir("Presse\\v.html")), &res);
    EXPECT_HAS(text, "Vorher und Nachher passen nicht zusammen");
    EXPECT_HAS(text, "Vorher: " + good + "\nNachher: " + two);
}

TEST_F(ReportwFiles, ASuccessSaysWhatWasMade)
{
    Card("Presse", "LimitMinAbs=60\r\n");
    std::string a = Log("Presse\\s_20240501T090000.log", "2024-05-01", 9, {100, 100, 100});
    std::string weak = Log("Presse\\s_20240501T100000.log", "2024-05-01", 10, {100, 20, 100});
    REP_JOB job;
    REP_RESULT res;
    REPW_INPUT in = Input(REPW_REPORT, {a}, Dir("Presse\\Servicebericht.html"));
    ASSERT_EQ(Repw_MakeJob(in, &job), 0u);
    ASSERT_EQ(Rep_RunJob(job, &res), 0) << res.strLine;
    EXPECT_EQ(Repw_DoneText(REPW_REPORT, res, job.out),
              "Servicebericht erstellt, kein Strahl auff\xe4llig:\n" + Dir("Presse\\Servicebericht.html"));
    in = Input(REPW_VISIT, {a, weak}, Dir("Presse\\Vorher-Nachher.html"));
    ASSERT_EQ(Repw_MakeJob(in, &job), 0u);
    ASSERT_EQ(Rep_RunJob(job, &res), 1) << res.strLine;
    EXPECT_HAS(Repw_DoneText(REPW_VISIT, res, job.out), "nachher Strahlen au\xdf" "erhalb der Grenzen");
    EXPECT_EQ(Repw_NotesText(res), "");
}

TEST(ReportwStore, TheTechnicianIsRememberedPerUser)
{
    HKEY key;
    bool existed = RegOpenKeyExA(HKEY_CURRENT_USER, REPW_REG_KEY, 0, KEY_READ, &key) == ERROR_SUCCESS;
    if (existed)
        RegCloseKey(key);
    REPW_INPUT before, mine, back;
    Repw_LoadRemembered(&before);
    mine.strTechnician = "J\xf6rg M\xfcller";
    mine.strIni = "C:\\zebdiag\\zebdiag.ini";
    mine.strPagesName = "Seiten";
    mine.iLang = REP_LANG_EN;
    mine.fCsv = mine.fPages = true;
    Repw_SaveRemembered(mine);
    Repw_LoadRemembered(&back);
    EXPECT_EQ(back.strTechnician, mine.strTechnician);
    EXPECT_EQ(back.strIni, mine.strIni);
    EXPECT_EQ(back.strPagesName, "Seiten");
    EXPECT_EQ(back.iLang, REP_LANG_EN);
    EXPECT_TRUE(back.fCsv);
    EXPECT_TRUE(back.fPages);
    if (existed)
        Repw_SaveRemembered(before);
    else
        RegDeleteKeyA(HKEY_CURRENT_USER, REPW_REG_KEY);
}

static std::string Item(HWND w, int id)
{
    char text[1024] = "";
    GetDlgItemTextA(w, id, text, sizeof(text));
    return text;
}

static bool On(HWND w, int id)
{
    return IsWindowEnabled(GetDlgItem(w, id)) != 0;
}

// A drop as Explorer makes it: the paths in UTF-16 after a DROPFILES header.
static void Drop(HWND w, const std::string &path)
{
    std::wstring wide(path.size() + 2, L'\0');
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, &wide[0], (int)path.size() + 1);
    HGLOBAL mem = GlobalAlloc(GHND, sizeof(DROPFILES) + wide.size() * sizeof(WCHAR));
    DROPFILES *df = (DROPFILES *)GlobalLock(mem);
    df->pFiles = sizeof(DROPFILES);
    df->fWide = TRUE;
    memcpy(df + 1, wide.data(), wide.size() * sizeof(WCHAR));
    GlobalUnlock(mem);
    SendMessageA(w, WM_DROPFILES, (WPARAM)mem, 0);   // the window frees it
}

TEST_F(ReportwFiles, TheWindowFollowsTheChoices)
{
    Card("Archiv\\Presse", "LimitMinAbs=60\r\n");
    std::string a = Log("Archiv\\Presse\\s_20240501T090000.log", "2024-05-01", 9, {100});
    std::string b = Log("Archiv\\Presse\\s_20240501T100000.log", "2024-05-01", 10, {100});
    std::string c = Log("Archiv\\Presse\\s_20240501T110000.log", "2024-05-01", 11, {100});
    std::vector<std::string> args = {c, a, b};
    HWND w = Repw_CreateWindow(GetModuleHandleA(NULL), args);
    ASSERT_TRUE(w);
    HWND list = GetDlgItem(w, IDC_LOGS);
    ASSERT_EQ(SendMessageA(list, LB_GETCOUNT, 0, 0), 3);
    char first[MAX_PATH];
    SendMessageA(list, LB_GETTEXT, 0, (LPARAM)first);
    EXPECT_EQ(first, a);
    EXPECT_EQ(IsDlgButtonChecked(w, IDC_KIND_REPORT), BST_CHECKED);
    EXPECT_HAS(Item(w, IDC_IDENTITY), "Kunde: Muster GmbH");
    EXPECT_EQ(Item(w, IDC_TARGET), Dir("Archiv\\Presse\\Servicebericht.html"));
    EXPECT_FALSE(On(w, IDC_FOUND));
    EXPECT_FALSE(On(w, IDC_FOLDER));

    SendDlgItemMessageA(w, IDC_KIND_VISIT, BM_CLICK, 0, 0);
    EXPECT_EQ(IsDlgButtonChecked(w, IDC_KIND_VISIT), BST_CHECKED);
    EXPECT_TRUE(On(w, IDC_FOUND) && On(w, IDC_LEFT) && On(w, IDC_SWAP));
    EXPECT_EQ(Item(w, IDC_FOUND), "s_20240501T090000.log");
    EXPECT_EQ(Item(w, IDC_LEFT), "s_20240501T110000.log");
    EXPECT_EQ(Item(w, IDC_TARGET), Dir("Archiv\\Presse\\Vorher-Nachher.html"));
    SendMessageA(w, WM_COMMAND, IDC_SWAP, 0);
    EXPECT_EQ(Item(w, IDC_FOUND), "s_20240501T110000.log");
    EXPECT_EQ(Item(w, IDC_LEFT), "s_20240501T090000.log");

    // A target typed by hand stays whatever is chosen next.
    SetDlgItemTextA(w, IDC_TARGET, "C:\\Besuch.html");
    SendDlgItemMessageA(w, IDC_KIND_REPORT, BM_CLICK, 0, 0);
    EXPECT_EQ(Item(w, IDC_TARGET), "C:\\Besuch.html");
    SetDlgItemTextA(w, IDC_TARGET, "");

    Drop(w, Dir("Archiv\\Presse"));
    EXPECT_EQ(IsDlgButtonChecked(w, IDC_KIND_HISTORY), BST_CHECKED);
    EXPECT_EQ(Item(w, IDC_FOLDER), Dir("Archiv\\Presse"));
    EXPECT_EQ(Item(w, IDC_TARGET), Dir("Archiv\\Presse\\Verlauf.html"));
    EXPECT_HAS(Item(w, IDC_IDENTITY), "Seriennummer: ZG-0815");
    EXPECT_TRUE(On(w, IDC_FOLDER) && !On(w, IDC_LOGS) && !On(w, IDC_PAGES));

    Drop(w, Dir("Archiv"));
    EXPECT_EQ(IsDlgButtonChecked(w, IDC_KIND_PLAN), BST_CHECKED);
    EXPECT_TRUE(On(w, IDC_PAGES));
    EXPECT_EQ(Item(w, IDC_TARGET), Dir("Archiv") + "\\" + Repw_PageName(REPW_PLAN));
    EXPECT_EQ(Item(w, IDC_IDENTITY), Repw_Load(IDS_ID_ARCHIVE));
    CheckDlgButton(w, IDC_PAGES, BST_UNCHECKED);
    SendMessageA(w, WM_COMMAND, MAKEWPARAM(IDC_PAGES, BN_CLICKED), 0);
    EXPECT_FALSE(On(w, IDC_PAGES_NAME));
    CheckDlgButton(w, IDC_PAGES, BST_CHECKED);
    SendMessageA(w, WM_COMMAND, MAKEWPARAM(IDC_PAGES, BN_CLICKED), 0);
    EXPECT_TRUE(On(w, IDC_PAGES_NAME));

    // A log dropped later joins the list and asks for a page of logs again.
    std::string d = Log("Archiv\\Presse\\s_20240501T080000.log", "2024-05-01", 8, {100});
    Drop(w, d);
    EXPECT_EQ(IsDlgButtonChecked(w, IDC_KIND_REPORT), BST_CHECKED);
    EXPECT_EQ(SendMessageA(list, LB_GETCOUNT, 0, 0), 4);
    SendMessageA(list, LB_GETTEXT, 0, (LPARAM)first);
    EXPECT_EQ(first, d);
    DestroyWindow(w);
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))   // the window's quit message, meant for its own loop
        ;
}
