// The status bar's entries in the shell's hooks, fed by the state provider.
#include "app/base/hooks.h"
#include "platform/state-provider.h"
#include "screens/status_bar.h"

namespace kra {

namespace {

StatusBarHost g_host;

void Redraw() {
    if (g_host.redraw) g_host.redraw();
}

void HookReadIndicators() {
    if (g_host.systemState && !platform::StateProviderStarted()) {
        platform::StartStateProvider(platform::DefaultStateSources());
    }
    ResetStatusBar();
    ReadIndicators();
}

// Start-up, after the skin and the language: clock, battery, signal, operator.
void HookRefreshStatusBar() {
    if (g_host.screen == nullptr) return;
    RefreshClock(*g_host.screen);
    const platform::BatteryReading battery = platform::CurrentBattery();
    BatteryChanged(battery.percent, battery.externalPower);
    ReadSignal();
    RefreshOperator(*g_host.screen);
}

// Every second while the window has the focus, and when it gains it.
// The poll posts what changed; a new battery reading reaches BatteryChanged
// through the power handling's battery message.
void HookRefreshClock() {
    platform::PollStateProvider();
    if (g_host.screen != nullptr && RefreshClock(*g_host.screen)) Redraw();
}

void HookSignalChanged(uint8_t raw) {
    SignalChanged(raw);
    Redraw();
}

void HookOperatorChanged() {
    if (g_host.screen != nullptr) RefreshOperator(*g_host.screen);
    Redraw();
}

void HookRingerProfileChanged() {
    ReadSoundProfile();
    Redraw();
}

}  // namespace

void InstallStatusBarHooks(const StatusBarHost& host) {
    g_host = host;
    g_hooks.readHardwareIndicators = &HookReadIndicators;
    g_hooks.refreshStatusBar = &HookRefreshStatusBar;
    g_hooks.refreshClock = &HookRefreshClock;
    g_hooks.statusChanged = &Redraw;
    g_hooks.signalChanged = &HookSignalChanged;
    g_hooks.operatorChanged = &HookOperatorChanged;
    g_hooks.networkTypeChanged = &SetNetworkType;  // the operator refresh follows
    g_hooks.ringerProfileChanged = &HookRingerProfileChanged;
}

}  // namespace kra
