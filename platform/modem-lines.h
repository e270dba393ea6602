// Telephony lines: the phone's calls as a stream of per-call state changes.
//
// A line is a modem that can carry voice calls. The core initialises the
// line service, opens the lines it wants to watch, and then receives each
// change of a call on an open line: offering (ringing in or waiting),
// dialling, connected, disconnected. Calls are identified by a non-zero
// number that stays the same for the call's life; the call's record (its
// media mode) stays readable until the events that follow its end have been
// taken.
//
// Backends: ModemManager on the system bus (a thread of its own watches the
// modems and their calls and posts kMsgLineEvents; every D-Bus call has a
// time-out, and without a system bus or ModemManager initialising fails),
// and a simulation for tests, driven by SimulateCallState from any thread.
//
// All functions are main-thread only unless noted.
#pragma once
#include <cstdint>
#include <vector>

namespace kra::platform {

// Result codes (0 = success).
inline constexpr uint32_t kLineErrNoDevice = 0x80000042;
inline constexpr uint32_t kLineErrNoMem = 0x80000044;
inline constexpr uint32_t kLineErrIncompatibleApiVersion = 0x8000000C;
inline constexpr uint32_t kLineErrOperationUnavailable = 0x80000048;
inline constexpr uint32_t kLineErrReinit = 0x80000052;

inline constexpr uint32_t kLineApiVersion = 0x00020000;
inline constexpr uint32_t kLineApiLowVersion = 0x00010003;

// Call states.
inline constexpr uint32_t kCallOffering = 0x2;
inline constexpr uint32_t kCallDialling = 0x10;
inline constexpr uint32_t kCallConnected = 0x100;
inline constexpr uint32_t kCallDisconnected = 0x4000;
// Media modes.
inline constexpr uint32_t kMediaInteractiveVoice = 4;
inline constexpr uint32_t kMediaData = 0x10;

// Posted (wParam 0) when events are waiting; the receiver takes them all.
inline constexpr uint32_t kMsgLineEvents = 0x805A;
// When a voice modem appears while the service is up, the backend posts the
// restart message 0x040E itself.

struct LineCallEvent {
    uint32_t call = 0;
    uint32_t state = 0;
    // Already in this state when its line was opened (not a change).
    bool initial = false;
};

// Starts the line service: *deviceCount lines, *apiVersion the service's
// version. kLineErrReinit while the service is (re)starting.
uint32_t LineInitialize(uint32_t* deviceCount, uint32_t* apiVersion);
// The version both sides support, between low and high.
uint32_t LineNegotiateApiVersion(uint32_t device, uint32_t low, uint32_t high, uint32_t* version);
// Opens a line for monitoring voice calls; *line receives its handle.
uint32_t LineOpen(uint32_t device, uint32_t* line);
void LineClose(uint32_t line);
// Ends the service: lines closed, calls forgotten, no more events. The
// watch for modems that appear later goes on.
void LineShutdown();
// Ends everything, the watch included (program exit). Joins any thread.
void LineStopWatch();

// The media mode of a call from its record; false when the call is unknown.
bool LineCallMediaMode(uint32_t call, uint32_t* mediaMode);
// Takes the waiting events in order. Records of calls that ended before the
// previous take are dropped here.
std::vector<LineCallEvent> TakeLineEvents();

// ---- Backends ----

void UseModemManagerLines();
void UseSimulatedLines();

struct SimulatedLines {
    uint32_t initResult = 0;
    uint32_t reinitReplies = 0;  // kLineErrReinit this many times first
    uint32_t devices = 1;
    uint32_t failNegotiation = 0;  // bit mask of devices whose negotiation fails
    uint32_t failOpen = 0;         // bit mask of devices that cannot be opened
    uint32_t initCalls = 0;        // LineInitialize calls seen
    uint32_t openLines = 0;        // lines open now
    uint32_t shutdowns = 0;
    bool initialised = false;
};
// The simulated service's settings and counters; reset by UseSimulatedLines.
SimulatedLines& SimulatedLineState();
// A call changes state (any thread): queued and kMsgLineEvents posted when
// the service is initialised and a line is open. A call first seen here gets
// `mediaMode` as its record.
void SimulateCallState(uint32_t call, uint32_t state, uint32_t mediaMode = kMediaInteractiveVoice);
// A call already up when the lines are opened (reported as initial).
void SimulateExistingCall(uint32_t call, uint32_t state);

}  // namespace kra::platform
