// Measurement link: the state shared between the window thread and the
// communication thread, the device protocol and the thread itself.
#ifndef LINK_H
#define LINK_H

#include "qira.h"

#include <atomic>
#include <stdio.h>

#define MAX_BEAMS 1000   // arrays are indexed by beam number 1..999; 0 is not a beam
#define LAST_BEAM 999

// Device and run parameters. The order is fixed: the record is copied whole,
// and the first six slots are the device parameter set.
struct SG_PARAMS {
    INT32 iGain;
    INT32 iFirst;
    INT32 iLast;
    INT32 iDiagonal;
    INT32 iRodno;        // 0 rod pair 1, 1 rod pair 2
    INT32 iValueType;    // VT_*
    WORD wChangeFlags;   // CF_*
    WORD wReserved1;
    FILE *pLogFile;
    WORD wLogMode;       // 0 none or stop requested, 1 absolute, 2 relative
    WORD wReserved2;
    INT32 ZEBproto;      // PROTO_*
    INT32 iCycleDelay;   // ms, 0..1000
};

enum { VT_SIGNAL = 0, VT_RECEIVER = 1, VT_TRANSMITTER = 2, VT_REFERENCE = 3, VT_COUNT = 4 };
enum { PROTO_OLD = 0, PROTO_B64 = 1, PROTO_B64_CONT = 2 };
#define CF_RESET_MINMAX 1
#define CF_PARAMS 2

struct SG_DATA {
    SG_PARAMS Params;    // the parameters the values were measured with
    BYTE fDataValid;
    BYTE fMinMaxValid;
    INT32 aiValue[MAX_BEAMS];   // [0]: smoothed offset for value type 0
    INT32 aiMin[MAX_BEAMS];
    INT32 aiMax[MAX_BEAMS];
};

struct DTI_RECORD {
    char szComport[QIRA_MAX_NAME + 1];
    INT32 iComSpeed;
};

extern SG_PARAMS SG_Params;   // guarded by csParams
extern SG_DATA SG_Work;       // communication thread only
extern SG_DATA SG_Shared;     // guarded by csData
extern SG_DATA SG_View;       // window thread only
// Written by the window thread, read by the communication thread for the log.
extern std::atomic<INT32> RefValues[2][MAX_BEAMS];
extern DTI_RECORD DTI;
extern float flOffsetAvg;
extern char szCommError[256];
extern CRITICAL_SECTION csParams, csData;
extern QIRA_PORT LinkPort;
extern HWND hwndLinkNotify;   // main window: receives WM_COMM_NOTIFY

// Thread states and requests
enum { TS_ENDED = 0, TS_ENDING = 1, TS_ERROR = 2, TS_PORT_OPENED = 3, TS_IDLE = 4, TS_SINGLE = 5, TS_CONTINUOUS = 6 };
#define REQ_NONE 0x7FFFFFFF
extern volatile LONG iThreadState;
extern volatile LONG iRequestedState;

#define WM_COMM_NOTIFY (WM_APP + 1)
enum { CN_STATE = 0, CN_DATA = 1, CN_CLOSELOG = 2 };

// Shared records (link_data.cpp)
void Link_CreateLocks();
void Link_DeleteLocks();
void Link_ClampBeams(SG_PARAMS *p);       // beam range and rod pair index
void Link_BringIntoRange(SG_PARAMS *p);   // every slot the link indexes or sends
void Link_StoreValue(int beam, int value);
void Link_FilterOffset(int offset);
bool Link_Fail(UINT textId);

// Base64 decoding (b64.cpp)
enum { B64_BYTE = 0, B64_PAD = 1, B64_END = 2, B64_EMPTY = 3, B64_READ_FAILED = 4, B64_FORMAT = 5 };
int B64_CharValue(char c);
int B64_GetByte(QIRA_PORT *port, BYTE &accumulator, BYTE &output);

// Device protocol (protocol.cpp)
extern SG_PARAMS SG_Sent;
extern WORD wCmdState;
bool Link_OpenPort(QIRA_PORT *port, const char *name);
bool Link_PutByte(QIRA_PORT *port, BYTE byte);
int Link_GetByte(QIRA_PORT *port);
bool Link_MeasureOld(QIRA_PORT *port, int pass);
bool Link_MeasureB64(QIRA_PORT *port);
void Link_SendParams(QIRA_PORT *port);
bool Link_ParamsDiffer(const SG_PARAMS &a, const SG_PARAMS &b);
bool Link_Drain(QIRA_PORT *port, DWORD maxMs, DWORD quietMs);
bool Link_MeasureCycle(QIRA_PORT *port, int variant);

// Communication thread (thread.cpp)
DWORD WINAPI Link_ThreadProc(LPVOID);
// Asks the thread for a state. With wait, also aborts the run's pending read
// and returns once the request is taken (or the thread has ended), serving
// the window's sent messages and repaints meanwhile.
void Link_RequestState(LONG state, bool wait);
// Aborts the pending and all further reads of the current run; the run then
// ends with the state requested before, without an error text.
void Link_AbortRun();
bool Link_IsAlive();
LONG Link_GetState();
bool Link_ApplyState(LONG request);

// Data log lines, written by the communication thread (datalog.cpp)
void Log_WriteLine(WORD mode, FILE *stream);

#endif
