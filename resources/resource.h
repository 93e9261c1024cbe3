// Resource ids shared by the resource script and the code.
#ifndef RESOURCE_H
#define RESOURCE_H

#define IDI_APP            100
#define IDR_ACCEL          500
#define IDB_TOOLBAR        500
#define TOOLBAR_IMAGES     18    // images in the toolbar strip, 32 x 16 pixels each
#define IDC_TOOLBAR        500
#define IDR_MENU           1000
#define IDD_PARAMETER      400

// Commands; a command's tool tip is the string with its id, its caption the
// string with its id plus 100.
#define IDM_SINGLE         501
#define IDM_CONTINUOUS     502
#define IDM_NORMALISE      503
#define IDM_LOAD_REF       504
#define IDM_RELATIVE       505
#define IDM_FLIP           506
#define IDM_COPY           507
#define IDM_SAVE           508
#define IDM_MINIMUM        509
#define IDM_MAXIMUM        510
#define IDM_CURRENT        511
#define IDM_RESET          512
#define IDM_SIGNAL         513
#define IDM_TRANSMITTER    514
#define IDM_RECEIVER       515
#define IDM_REFERENCE      516
#define IDM_NOISE          517
#define IDM_LOGGING        518
#define IDM_CAPTION_OFFSET 100
#define IDM_EXIT           1002
#define IDM_FONT           1003
#define IDM_PARAMETER      1004
#define IDM_VERSION        1005

// Parameter dialog
#define IDC_PORT           401
#define IDC_BITRATE        402
#define IDC_GAIN           403
#define IDC_FIRST          404
#define IDC_LAST           405
#define IDC_CYCLE          406
#define IDC_ROD2           407
#define IDC_DIAGONAL       408
#define IDC_ROD1           409
#define IDC_VERSION_LABEL  410
#define IDC_PROTOCOL       411
#define IDC_SHOW_LIMITS    412
#define IDC_LIMIT_MIN_REL  413
#define IDC_LIMIT_MAX_REL  414
#define IDC_LIMIT_MIN_ABS  415
#define IDC_LIMIT_MAX_ABS  416
#define IDC_APPLY          1280
#define IDC_LOG_RELATIVE   1281

// Strings
#define IDS_EXIT_QUESTION      1006
#define IDS_SETTINGS_UNSAVED   1007
#define IDS_ERR_THREAD_START   10101
#define IDS_ERR_COUNT_PORTS    10102
#define IDS_ERR_OFFSET_TIMEOUT 10103
#define IDS_ERR_DATA_TIMEOUT   10105
#define IDS_ERR_DATA_EXCESS    10106
#define IDS_ERR_OPEN_PORT      10107
#define IDS_ERR_ROD_IMPOSSIBLE 10108
#define IDS_ERR_BAD_PROTOCOL   10109
#define IDS_ABORTING           10201
#define IDS_TERMINATED         10202
#define IDS_CONNECTED          10204
#define IDS_READY              10205
#define IDS_MODE_CURRENT       10301
#define IDS_MODE_MINIMUM       10302
#define IDS_MODE_MAXIMUM       10303
#define IDS_MODE_NOISE         10304
#define IDS_TYPE_SIGNAL        10305
#define IDS_TYPE_TRANSMITTER   10306
#define IDS_TYPE_RECEIVER      10307
#define IDS_TYPE_REFERENCE     10308
#define IDS_RELATIVE_PREFIX    10309
#define IDS_LOG_TITLE          10401
#define IDS_LOG_FILTER         10402
#define IDS_LOG_ERROR          10403
#define IDS_DUMP_TITLE         10501
#define IDS_DUMP_FILTER        10502
#define IDS_DUMP_ERROR         10503
#define IDS_IMPORT_TITLE       10601
#define IDS_IMPORT_FILTER      10602
#define IDS_IMPORT_ERROR       10603
#define IDS_IMPORT_DONE        10604

#endif
