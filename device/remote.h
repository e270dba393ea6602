// The messages remote controls send to the player's windows, and the
// commands they become (one table; `kra --post` reaches every entry):
//
//   1524 (the Bluetooth stack's player window)   wParam 1, 2 -> 101; 6 -> 102;
//                                                7 -> 103; others ignored
//   32769 (the AVRCP plug-in window)             wParam 196, 198 -> 101;
//                                                203 -> 102; 204 -> 103;
//                                                every other value swallowed
//   HTCRemoteOffset - 2 .. + 2 (the HTC remote)  400 .. 404 (m - offset + 402)
//
// The HTC range is taken only where it lies within 0xC000..0xFFFF (the
// registered-message range), so no offset can wrap around or cover the
// system's own messages. Commands are posted with second parameter 0.
#pragma once
#include <cstdint>

namespace kra {

inline constexpr uint32_t kMsgBluetoothPlayer = 1524;
inline constexpr uint32_t kMsgAvrcpPlugin = 32769;
inline constexpr uint32_t kHtcRangeFirst = 0xC000;
inline constexpr uint32_t kHtcRangeLast = 0xFFFF;

// True when the message is one of the table's (it is then not passed on);
// *command is the command to post, 0 for none.
bool TranslateRemoteMessage(uint32_t message, uintptr_t wParam, uint32_t htcOffset,
                            uint16_t* command);

// Registers a handler for every message of the table with the window (the
// HTC range for this offset). Main thread.
using RemoteMessageRegistrar = void (*)(uint32_t message, intptr_t (*handler)(uintptr_t, intptr_t));
void RegisterRemoteMessages(RemoteMessageRegistrar registerMessage, uint32_t htcOffset);

}  // namespace kra
