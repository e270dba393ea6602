// The main window's message queue and timers.
//
// The core's window procedure receives (message, wParam, lParam) with the
// message, command and timer numbers of the event tables. PostMessage may be
// called from any thread; everything else only from the main thread.
//
// Timers are identified by number; SetTimer on an identifier that is already
// set re-arms it with the new period. A due timer is delivered as
// WM_TIMER (0x0113) with the identifier in wParam, repeatedly every period
// until KillTimer. On the virtual clock, waiting for the next message when
// the queue is empty advances the clock to the next due timer at once.
#pragma once
#include <cstdint>

namespace kra::platform {

using WindowProc = intptr_t (*)(uint32_t message, uintptr_t wParam, intptr_t lParam);

constexpr uint32_t kWmNull = 0x0000;
constexpr uint32_t kWmCreate = 0x0001;
constexpr uint32_t kWmDestroy = 0x0002;
constexpr uint32_t kWmSetFocus = 0x0007;
constexpr uint32_t kWmKillFocus = 0x0008;
constexpr uint32_t kWmPaint = 0x000F;
constexpr uint32_t kWmClose = 0x0010;
constexpr uint32_t kWmEraseBkgnd = 0x0014;
constexpr uint32_t kWmSettingChange = 0x001A;
constexpr uint32_t kWmKeyDown = 0x0100;
constexpr uint32_t kWmKeyUp = 0x0101;
constexpr uint32_t kWmCommand = 0x0111;
constexpr uint32_t kWmTimer = 0x0113;
constexpr uint32_t kWmMouseMove = 0x0200;
constexpr uint32_t kWmLButtonDown = 0x0201;
constexpr uint32_t kWmLButtonUp = 0x0202;
// Sent by the platform when a second instance asks this one to come forward.
constexpr uint32_t kWmActivateApp = 0x001C;

// Installs the window procedure the loop feeds. Main thread, before RunLoop.
void SetWindowProc(WindowProc proc);

// Thread-safe; wakes the loop. Returns false once the loop has ended.
bool PostMessage(uint32_t message, uintptr_t wParam, intptr_t lParam);
// Calls the window procedure directly. Main thread only.
intptr_t SendMessage(uint32_t message, uintptr_t wParam, intptr_t lParam);
// Ends RunLoop after the messages already queued ahead of it.
void PostQuitMessage(int exitCode);

void SetTimer(uint32_t id, uint32_t periodMs);
void KillTimer(uint32_t id);
bool IsTimerSet(uint32_t id);

// Runs until the quit message; returns its exit code.
int RunLoop();
// Delivers every message and timer that is due now without waiting; returns
// the number delivered. For tests and for synchronous animations.
int PumpPending();
// Clears queue and timers and makes the loop runnable again (tests). The
// window procedure stays installed.
void ResetMessageLoop();
// True once the quit message has been taken from the queue (by RunLoop or
// PumpPending); *exitCode (when given) receives its code.
bool LoopEnded(int* exitCode = nullptr);

}  // namespace kra::platform
