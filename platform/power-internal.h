// The Linux halves of platform/power-services.h, chosen by power-services.cpp
// when the simulation is off. Platform internal.
#pragma once
#include <cstdint>
#include <string>

#include "platform/power-services.h"

namespace kra::platform::linux_power {

bool OpenPanel(const PanelOptions& options, std::string* how);
bool SetPanel(bool on);
void ClosePanel();

bool TakeInhibitor(std::string* why);
void ReleaseInhibitor();
bool InhibitorHeld();
SuspendTimeouts ReadTimeouts();

bool StartWatcher(const WatcherOptions& options);
void StopWatcher();
bool WatcherRunning();

}  // namespace kra::platform::linux_power
