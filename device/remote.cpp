// The remote controls' messages and their commands.
#include "device/remote.h"

#include "app/base/app_state.h"
#include "app/base/debug_log.h"
#include "platform/message_loop.h"

namespace kra {

namespace {

uint32_t g_htcOffset = 0xC018;

void Post(uint16_t command) {
    if (command) platform::PostMessage(platform::kWmCommand, command, 0);
}

intptr_t OnBluetoothPlayer(uintptr_t wParam, intptr_t) {
    uint16_t command = 0;
    TranslateRemoteMessage(kMsgBluetoothPlayer, wParam, g_htcOffset, &command);
    Post(command);
    return 0;
}

intptr_t OnAvrcpPlugin(uintptr_t wParam, intptr_t lParam) {
    KRA_LOG("SCWMP:%d %d %d", int(kMsgAvrcpPlugin), int(wParam), int(lParam));
    uint16_t command = 0;
    TranslateRemoteMessage(kMsgAvrcpPlugin, wParam, g_htcOffset, &command);
    Post(command);
    return 0;
}

// The HTC remote's message offset - 2 + K.
template <int K>
intptr_t OnHtcRemote(uintptr_t wParam, intptr_t lParam) {
    const uint32_t message = g_htcOffset - 2 + K;
    KRA_LOG("HTC msg %0X %0X %0X", message, unsigned(wParam), unsigned(lParam));
    Post(uint16_t(kCmdHtcNext + K));
    return 0;
}

using Handler = intptr_t (*)(uintptr_t, intptr_t);
const Handler kHtcHandlers[5] = {OnHtcRemote<0>, OnHtcRemote<1>, OnHtcRemote<2>, OnHtcRemote<3>,
                                 OnHtcRemote<4>};

}  // namespace

bool TranslateRemoteMessage(uint32_t message, uintptr_t wParam, uint32_t htcOffset,
                            uint16_t* command) {
    *command = 0;
    if (message == kMsgBluetoothPlayer) {
        if (wParam == 1 || wParam == 2) *command = kCmdRemotePause;
        if (wParam == 6) *command = kCmdRemoteNext;
        if (wParam == 7) *command = kCmdRemotePrevious;
        return true;
    }
    if (message == kMsgAvrcpPlugin) {
        if (wParam == 196 || wParam == 198) *command = kCmdRemotePause;
        if (wParam == 203) *command = kCmdRemoteNext;
        if (wParam == 204) *command = kCmdRemotePrevious;
        return true;
    }
    // 64-bit arithmetic: an offset near either end cannot wrap.
    const int64_t delta = int64_t(message) - int64_t(htcOffset);
    if (message >= kHtcRangeFirst && message <= kHtcRangeLast && delta >= -2 && delta <= 2) {
        *command = uint16_t(int64_t(kCmdHtcPause) + delta);
        return true;
    }
    return false;
}

void RegisterRemoteMessages(RemoteMessageRegistrar registerMessage, uint32_t htcOffset) {
    g_htcOffset = htcOffset;
    registerMessage(kMsgBluetoothPlayer, &OnBluetoothPlayer);
    registerMessage(kMsgAvrcpPlugin, &OnAvrcpPlugin);
    for (int k = 0; k < 5; ++k) {
        const int64_t message = int64_t(htcOffset) - 2 + k;
        if (message >= kHtcRangeFirst && message <= kHtcRangeLast)
            registerMessage(uint32_t(message), kHtcHandlers[k]);
    }
}

}  // namespace kra
