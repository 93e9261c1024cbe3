// Measurement link: the state shared between the window thread and the
// communication thread, the device protocol and the thread itself.
#ifndef LINK_H
#define LINK_H

#include "qira.h"

#include <atomic>
#include <limits.h>
#include <stdio.h>

#define MAX_BEAMS 1000   // arrays are indexed by beam number 1..999; 0 is not a beam
#define FIRST_BEAM 1
#define LAST_BEAM 999
// A data log line of the widest range, values and separators included.
#define LOG_LINE_BUFFER (64 + 12 * MAX_BEAMS)
#define MAX_CYCLE_DELAY 1000   // ms

enum { VT_SIGNAL = 0, VT_RECEIVER = 1, VT_TRANSMITTER = 2, VT_REFERENCE = 3, VT_COUNT = 4 };
enum { PROTO_OLD = 0, PROTO_B64 = 1, PROTO_B64_CONT = 2, PROTO_COUNT = 3 };
#define CF_RESET_MINMAX 1
#define CF_PARAMS 2
// wLogMode: LOG_OFF also means "stop requested" while pLogFile is still set.
enum { LOG_OFF = 0, LOG_ABSOLUTE = 1, LOG_RELATIVE = 2 };

// Device and run parameters, with the program's start values. The order is
// fixed: the record is copied whole, and the first six slots are the device
// parameter set.
struct SG_PARAMS {
    INT32 iGain = 0;
    INT32 iFirst = FIRST_BEAM;
    INT32 iLast = 100;
    INT32 iDiagonal = 0;
    INT32 iRodno = 0;               // 0 rod pair 1, 1 rod pair 2
    INT32 iValueType = VT_SIGNAL;   // VT_*
    WORD wChangeFlags = CF_PARAMS;  // CF_*
    WORD wReserved1 = 0;
    FILE *pLogFile = NULL;
    WORD wLogMode = LOG_OFF;        // LOG_*
    WORD wReserved2 = 0;
    INT32 ZEBproto = PROTO_B64;     // PROTO_*
    INT32 iCycleDelay = 0;          // ms, 0..MAX_CYCLE_DELAY
    INT32 iMinAbsValue = 0;         // the display's floor, for the log (set from the settings)
};

// Everything that differs between the value types.
struct VALUE_TYPE {
    char cB64Letter;          // of the B64 parameter command
    BYTE bOldMode;            // mode byte of the old request (the diagonal pass adds 1)
    bool fOffset;             // the values carry the controller's offset: filtered and subtracted
    bool fB64OffsetByte;      // a B64 record starts with an offset byte (dropped unless fOffset)
    bool fDiagonal;           // diagonal addressing applies
    bool fOldSecondPass;      // old protocol: with diagonal beams a second pass fetches the even ones
    bool fOldRodPair2;        // old protocol: rod pair 2 can be asked
    INT32 iInvalidFrom;       // raw values from here up are invalid
    bool fZeroInvalid;        // a raw 0 is invalid too
    bool fZeroMinInvalid;     // noise view: a minimum of 0 is invalid
    UINT idCommand;           // menu, toolbar and accelerator command; also its tool tip text
    UINT idTitle;             // name in the title and the log's first line
};
extern const VALUE_TYPE ValueTypes[];

// Everything that differs between the protocol variants.
struct PROTOCOL_VARIANT {
    const char *pszName;      // in the parameter dialog
    bool fB64;                // text command and Base64 records, "q" at the end of a run
    char cTrigger;            // B64: sent each cycle of continuous measurement
    WORD wCmdStateAfterTrigger;   // CMD_* (below) once the trigger went out
};
extern const PROTOCOL_VARIANT ProtocolVariants[];
// The variant's row, or NULL for a value no variant has (a hand-edited file).
const PROTOCOL_VARIANT *Link_ProtocolVariant(int variant);
// The value type's row; an out-of-range type reads as signal strengths.
const VALUE_TYPE &Link_ValueType(int type);

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

/* The communication thread, seen from the window thread.
 *
 * States (iThreadState, written by the thread only): TS_IDLE (port closed),
 * TS_SINGLE (one measurement, then back to idle), TS_CONTINUOUS, TS_ERROR (a
 * link error ended the run; waits like idle), TS_ENDING (ends after the
 * cycle under way), TS_ENDED. TS_PORT_OPENED is never stored: it is only
 * the code of the notification that a run has opened the port.
 *
 * Requests (iRequestedState, REQ_NONE when none): Link_RequestState(5, 6, 4
 * or 1). A new request overwrites a pending one; one for the current state
 * is taken without effect. The idle loop takes requests within about 50 ms;
 * a run takes them at the end of its cycle. An error ends the run; a
 * request still pending then starts a fresh run from idle.
 *
 * Notifications to hwndLinkNotify: WM_COMM_NOTIFY, event in the low word of
 * wParam, its code in the high word.
 * - CN_STATE (posted): code the new state, or TS_PORT_OPENED. For TS_ERROR,
 *   lParam is a global memory block with the error text, which the receiver
 *   frees with GlobalFree.
 * - CN_DATA (posted) after each cycle and each take-over while idle:
 *   SG_Shared holds the latest snapshot (after a failed cycle, still the
 *   last good one); code the change flags (CF_*) taken over with it, lParam
 *   the cycle time in ms (0 from idle). The receiver copies SG_Shared under
 *   csData.
 * - CN_CLOSELOG (sent, waits for the reply): code CLOSELOG_*; the receiver
 *   closes the data log under csParams before it returns. So every wait of
 *   the window thread for this thread must serve sent messages. */
enum { TS_ENDED = 0, TS_ENDING = 1, TS_ERROR = 2, TS_PORT_OPENED = 3, TS_IDLE = 4, TS_SINGLE = 5, TS_CONTINUOUS = 6 };
#define REQ_NONE 0x7FFFFFFF
extern volatile LONG iThreadState;
extern volatile LONG iRequestedState;

#define WM_COMM_NOTIFY (WM_APP + 1)
enum { CN_STATE = 0, CN_DATA = 1, CN_CLOSELOG = 2 };

// The close-log request's code (CN_CLOSELOG).
enum { CLOSELOG_STOP = 0, CLOSELOG_WRITE_FAILED = 1 };

// Shared records (link_data.cpp)
void Link_CreateLocks();
void Link_DeleteLocks();
// The beam range the program allows: first in FIRST_BEAM..LAST_BEAM, last in
// first..LAST_BEAM.
void Link_ClampBeamRange(INT32 *first, INT32 *last);
INT32 Link_ClampCycleDelay(INT32 ms);     // 0..MAX_CYCLE_DELAY
void Link_ClampBeams(SG_PARAMS *p);       // beam range and rod pair index
void Link_BringIntoRange(SG_PARAMS *p);   // every slot the link indexes or sends
// A beam's value as the program shows, exports, logs and normalises it: the
// value from values (one of d's arrays) less d's offset where the value type
// has one, and not below floor.
INT32 Link_ValueAsShown(const SG_DATA &d, const INT32 *values, int beam, INT32 floor = INT_MIN);
// A beam's reference of the rod pair (0 or 1), not below floor.
INT32 Link_ReferenceAsShown(int rodno, int beam, INT32 floor = INT_MIN);
void Link_StoreValue(int beam, int value);
void Link_FilterOffset(int offset);
bool Link_Fail(UINT textId);

// The link's reader (reader.cpp): every byte of a record comes through it.
// A record of at least that many bytes (or characters) starts now.
void Link_RxExpect(DWORD bytes);
// The next byte: 1 with *byte set, 0 when the read brought nothing, -1 when
// it failed (time-out included).
int Link_RxByte(QIRA_PORT *port, BYTE *byte);
void Link_RxDrop();   // forgets what it holds; the port's input is discarded
bool Link_Purge(QIRA_PORT *port);       // QIRA_Purge, dropping the reader's bytes too
bool Link_ClosePort(QIRA_PORT *port);   // QIRA_Close, likewise

// Base64 decoding (b64.cpp)
enum { B64_BYTE = 0, B64_PAD = 1, B64_END = 2, B64_EMPTY = 3, B64_READ_FAILED = 4, B64_FORMAT = 5 };
int B64_CharValue(char c);
int B64_GetByte(QIRA_PORT *port, BYTE &accumulator, BYTE &output);
// The fewest characters a record line of that many bytes can have.
DWORD B64_MinRecordChars(DWORD bytes);

// Device protocol (protocol.cpp)
// What the B64 dialogue has said since the port was opened: the parameter
// command last sent and what followed it. The thread owns it.
enum { CMD_NONE = 0, CMD_SENT = 1, CMD_STREAMING = 2 };   // STREAMING: "2" sent
struct LINK_SESSION {
    SG_PARAMS Sent;          // the set that went out with the last parameter command
    WORD wCmdState = CMD_NONE;
};
bool Link_OpenPort(QIRA_PORT *port, const char *name);
bool Link_PutByte(QIRA_PORT *port, BYTE byte);
int Link_GetByte(QIRA_PORT *port);
bool Link_MeasureOld(QIRA_PORT *port, int pass);
bool Link_MeasureB64(QIRA_PORT *port, LINK_SESSION *session);
void Link_SendParams(QIRA_PORT *port, LINK_SESSION *session);
bool Link_ParamsDiffer(const SG_PARAMS &a, const SG_PARAMS &b);
bool Link_Drain(QIRA_PORT *port, DWORD maxMs, DWORD quietMs);
bool Link_MeasureCycle(QIRA_PORT *port, int variant, LINK_SESSION *session);

// Communication thread (thread.cpp)
DWORD WINAPI Link_ThreadProc(LPVOID);
// Asks the thread for a state. With wait, also aborts the run's pending read
// and returns once the request is taken (or the thread has ended), serving
// the window's sent messages and repaints meanwhile.
void Link_RequestState(LONG state, bool wait);
// Aborts the pending and all further reads of the current run. With a
// request for another state pending, the run then ends in that state without
// an error text; otherwise the failed read ends it with its error as usual.
void Link_AbortRun();
// Waits on the window thread for object (or, with NULL, for ms) while
// serving sent messages and repaints; true when object was signalled.
bool Link_ServeWindowUntil(HANDLE object, DWORD ms);
bool Link_IsAlive();
LONG Link_GetState();
bool Link_IsMeasuring();   // a single or a continuous measurement is running
bool Link_ApplyState(LONG request);
// The 1 ms timer resolution the cycle timing needs, for the whole run; also
// asks the system to keep it while the program is minimised or hidden. True
// when the system agreed to keep it; without that, the resolution is raised
// all the same.
bool Link_BeginTimerResolution();
void Link_EndTimerResolution();

// Data log lines, written by the communication thread (datalog.cpp)
void Log_WriteLine(WORD mode, FILE *stream);

#endif
