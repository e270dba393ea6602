// The power services' front: the simulated backend, and the choice between
// it and the Linux one.
#include <atomic>
#include <cstdlib>

#include "platform/power-internal.h"
#include "platform/power-services.h"

namespace kra::platform {

namespace {

std::atomic<bool> g_simulated{false};
SimulatedPower g_sim;

}  // namespace

void UseSimulatedPower() {
    g_sim = SimulatedPower{};
    g_simulated = true;
}
void UseLinuxPower() {
    g_simulated = false;
}
bool IsPowerSimulated() {
    return g_simulated;
}
SimulatedPower& SimulatedPowerState() {
    return g_sim;
}

bool OpenPanelControl(const PanelOptions& options, std::string* how) {
    if (!g_simulated) return linux_power::OpenPanel(options, how);
    if (how) *how = g_sim.panelSupported ? "simulated" : "none";
    return g_sim.panelSupported;
}

bool SetPanelPower(bool on) {
    if (!g_simulated) return linux_power::SetPanel(on);
    g_sim.panelRequests.push_back(on);
    if (!g_sim.panelSupported || !g_sim.panelRequestOk) return false;
    g_sim.panelOn = on;
    return true;
}

void ClosePanelControl() {
    if (!g_simulated) return linux_power::ClosePanel();
    if (!g_sim.panelOn) g_sim.panelOn = true;
}

bool ResetSystemIdleTimer(std::string* why) {
    if (!g_simulated) return linux_power::TakeInhibitor(why);
    ++g_sim.idleResets;
    g_sim.inhibitorHeld = true;
    return true;
}

void ReleaseIdleInhibitor() {
    if (!g_simulated) return linux_power::ReleaseInhibitor();
    g_sim.inhibitorHeld = false;
}

bool IdleInhibitorHeld() {
    return g_simulated ? g_sim.inhibitorHeld : linux_power::InhibitorHeld();
}

SuspendTimeouts ReadSuspendTimeouts() {
    return g_simulated ? g_sim.timeouts : linux_power::ReadTimeouts();
}

uint32_t QueryAudioDevicePower(int32_t* state) {
    if (g_simulated && g_sim.audioQueryOk) {
        *state = 0;
        return kPowerResultOk;
    }
    // No unprivileged way to keep the sound card's power on Linux: the
    // device stays under the system's own power management.
    *state = -1;
    return kPowerResultNotSupported;
}

uintptr_t SetAudioPowerRequirement() {
    if (!g_simulated) return 0;
    ++g_sim.audioRequirements;
    g_sim.audioHandle = 0x1000 + g_sim.audioRequirements;
    return g_sim.audioHandle;
}

void ReleaseAudioPowerRequirement(uintptr_t handle) {
    if (g_simulated && handle != 0 && handle == g_sim.audioHandle) g_sim.audioHandle = 0;
}

WatcherOptions DefaultWatcherOptions() {
    WatcherOptions options;
    const char* root = std::getenv("KRA_SYSFS_ROOT");
    if (root && *root) options.sysfsRoot = root;
    return options;
}

bool StartPowerWatcher(const WatcherOptions& options) {
    if (!g_simulated) return linux_power::StartWatcher(options);
    if (!g_sim.watcherStarts) return false;
    g_sim.watcherRunning = true;
    return true;
}

void StopPowerWatcher() {
    if (!g_simulated) return linux_power::StopWatcher();
    g_sim.watcherRunning = false;
}

bool PowerWatcherRunning() {
    return g_simulated ? g_sim.watcherRunning : linux_power::WatcherRunning();
}

}  // namespace kra::platform
