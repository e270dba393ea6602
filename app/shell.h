// The main window's life: creation with the start-up sequence, Show, the
// shutdown sequence, and the window procedure that dispatches every message,
// command and timer. Main thread only.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace kra {

// The window procedure the message loop feeds.
intptr_t WindowProc(uint32_t message, uintptr_t wParam, intptr_t lParam);

// One step of a fixed sequence. `run` returns false when the sequence must
// stop (start-up only). Steps of modules that are not part of the build are
// left out by testing `present`.
struct ShellStep {
    int number;
    const char* name;
    bool (*present)();  // null: always present
    bool (*run)();
};

const std::vector<ShellStep>& InitApplicationSteps();
const std::vector<ShellStep>& CreationSteps();
const std::vector<ShellStep>& ShutdownSteps();

// Runs the start-up steps in order; false when one failed.
bool InitApplication();
// WM_CREATE: InitApplication, then the workers and services. Returns 0; on
// failure the quit message is posted.
intptr_t OnCreate();
// Show: the first time also restores the last track and shows the window.
void Show();
// WM_CLOSE and WM_DESTROY: the whole shutdown sequence once, then the quit
// message with code 0.
void Shutdown();

// The periodic timers that run only while the window has the focus.
void KillAllTimer();

// Shows a message to the user: inside the window when the screens provide
// that, else on stderr. Never blocks.
void ShowNotice(const std::u16string& text);

// Applies and stores music volume changes (commands 304, 305, 403, 404).
void SetMusicVolume(int volume);

}  // namespace kra

namespace kra {

// Adds a handler for a message that is not in the fixed table (a module's
// private wake-up message, for example). Main thread, before the loop runs.
using MessageHandler = intptr_t (*)(uintptr_t wParam, intptr_t lParam);
void RegisterMessageHandler(uint32_t message, MessageHandler handler);
// Removes the handlers added with RegisterMessageHandler and
// RegisterTimerHandler (tests).
void ClearRegisteredMessageHandlers();

// Adds a handler for a timer that is not in the fixed table (a module's own
// timer). A one-shot timer is killed before its handler runs. Main thread.
using TimerHandler = void (*)();
void RegisterTimerHandler(uint32_t id, TimerHandler handler, bool oneShot);

// The rotation message: WM_SETTINGCHANGE with wParam 0x3002 and the new
// orientation (0, 1, 2 or 4) in lParam, unless the display hook reads it.

}  // namespace kra
