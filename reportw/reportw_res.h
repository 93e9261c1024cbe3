// Resource ids of the report window, shared by reportw.rc and the code.
#ifndef REPORTW_RES_H
#define REPORTW_RES_H

#define IDI_REPW            100
#define IDR_REPW_ACCEL      200
#define IDD_REPW            300

// The window's controls. The four kinds are consecutive, in REPW_KIND order.
#define IDC_KIND_REPORT     301
#define IDC_KIND_VISIT      302
#define IDC_KIND_HISTORY    303
#define IDC_KIND_PLAN       304
#define IDC_KIND_HINT       305
#define IDC_LOGS            310
#define IDC_ADD             311
#define IDC_REMOVE          312
#define IDC_FOUND           313
#define IDC_LEFT            314
#define IDC_SWAP            315
#define IDC_FOLDER          316
#define IDC_FOLDER_BROWSE   317
#define IDC_PAGES           318
#define IDC_PAGES_NAME      319
#define IDC_IDENTITY        320
#define IDC_TECHNICIAN      321
#define IDC_LANGUAGE        322
#define IDC_INI             323
#define IDC_INI_BROWSE      324
#define IDC_TARGET          325
#define IDC_TARGET_BROWSE   326
#define IDC_CSV             327
#define IDC_STATUS          328
#define IDC_LABEL_LOGS      330
#define IDC_LABEL_FOUND     331
#define IDC_LABEL_LEFT      332
#define IDC_LABEL_FOLDER    333

// Strings
#define IDS_APP_TITLE       1000
#define IDS_NAME_REPORT     1001   // the page's default file names, in REPW_KIND order
#define IDS_NAME_VISIT      1002
#define IDS_NAME_HISTORY    1003
#define IDS_NAME_PLAN       1004
#define IDS_NAME_PLAN_ASCII 1005
#define IDS_HINT_REPORT     1011   // what each kind makes, in REPW_KIND order
#define IDS_HINT_VISIT      1012
#define IDS_HINT_HISTORY    1013
#define IDS_HINT_PLAN       1014
#define IDS_MADE_REPORT     1021   // what was made, in REPW_KIND order
#define IDS_MADE_VISIT      1022
#define IDS_MADE_HISTORY    1023
#define IDS_MADE_PLAN       1024
#define IDS_FLAGGED_REPORT  1031   // status 1, in REPW_KIND order
#define IDS_FLAGGED_VISIT   1032
#define IDS_FLAGGED_HISTORY 1033
#define IDS_FLAGGED_PLAN    1034
#define IDS_LANG_DE         1040
#define IDS_LANG_EN         1041
#define IDS_PAGES_DEFAULT   1042
#define IDS_WORKING         1043
#define IDS_NOTES           1044
#define IDS_REPLACE         1050
#define IDS_NEED_LOGS       1051
#define IDS_NEED_TWO_LOGS   1052
#define IDS_NEED_FOLDER     1053
#define IDS_NEED_TARGET     1054
#define IDS_SAME_LOG        1055
#define IDS_ERR_OPEN_LOG    1060
#define IDS_ERR_OPEN_INI    1061
#define IDS_ERR_OPEN_CARD   1062
#define IDS_ERR_WRITE       1063
#define IDS_ERR_EMPTY_LOG   1064
#define IDS_ERR_NO_TITLE    1065
#define IDS_ERR_NO_DATE     1066
#define IDS_ERR_NO_DATA     1067
#define IDS_ERR_TWO_GRIDS   1068
#define IDS_ERR_NO_LIMIT    1069
#define IDS_ERR_CARD_VALUE  1070
#define IDS_ERR_INI_VALUE   1071
#define IDS_ERR_NO_LOG_DIR  1072
#define IDS_ERR_NO_GRID     1073
#define IDS_ERR_OTHER       1074
#define IDS_ERR_VISIT_DIFF  1075
#define IDS_ERR_NOT_JUDGED  1076
#define IDS_NO_GRID_FOLDER  1077
#define IDS_BAD_PATHS       1078
#define IDS_NO_BROWSER      1079
#define IDS_ERRNO_NOENT     1080
#define IDS_ERRNO_ACCES     1081
#define IDS_ID_CUSTOMER     1090   // the card's texts, in CARD_ order
#define IDS_ID_SITE         1091
#define IDS_ID_MACHINE      1092
#define IDS_ID_GRID         1093
#define IDS_ID_SERIAL       1094
#define IDS_ID_NONE         1095
#define IDS_ID_NO_CARD      1096
#define IDS_ID_TWO_GRIDS    1097
#define IDS_ID_ARCHIVE      1098
#define IDS_FILTER_LOGS     1100
#define IDS_FILTER_INI      1101
#define IDS_FILTER_HTML     1102
#define IDS_TITLE_LOGS      1103
#define IDS_TITLE_INI       1104
#define IDS_TITLE_TARGET    1105
#define IDS_TITLE_FOLDER    1106

#endif
