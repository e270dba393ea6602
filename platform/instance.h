// One running player per user, and the control socket through which other
// programs reach it.
//
// The runtime folder (DefaultRuntimeDir; mode 0700 and owned by the user,
// else it is refused) holds "kra.lock", locked (flock) by the running
// instance for its whole life, and "kra.sock", a Unix stream socket (mode
// 0600) served by a small thread that only posts messages to the loop.
//
// Protocol: one request line per connection, at most kMaxControlRequest
// bytes including its LF; one reply line, "ok" or "error: <reason>".
//   activate                 the instance posts kWmActivateApp to itself
//   post MSG WPARAM LPARAM   the instance posts that message (numbers as in
//                            platform/script.h: decimal or 0x hex, 32-bit)
// Peers running under another user id are refused.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace kra::platform {

constexpr size_t kMaxControlRequest = 256;

struct ControlRequest {
    enum class Kind { kInvalid, kActivate, kPost };
    Kind kind = Kind::kInvalid;
    uint32_t message = 0;
    uintptr_t wParam = 0;
    intptr_t lParam = 0;
    std::string error;  // why a request is invalid
};

// Parses one request: `size` bytes, with or without its final LF (and a CR
// before it). Never reads past `size`; any byte sequence gives a result.
ControlRequest ParseControlRequest(const char* data, size_t size);

// $XDG_RUNTIME_DIR/kra, or /tmp/kra-<uid> when XDG_RUNTIME_DIR is unset.
std::string DefaultRuntimeDir();

enum class ClaimResult { kClaimed, kOtherRunning, kFailed };

// Creates the folder if needed, takes the lock and starts serving the
// socket (replacing a stale socket file a dead instance left). kOtherRunning
// when another instance holds the lock. A process serves one folder at a
// time.
ClaimResult ClaimInstance(const std::string& dir, std::string* error);
// Stops serving, removes the socket and lets the lock go. The lock file
// stays (removing it would let two instances lock different files).
void ReleaseInstance();

enum class ControlResult { kOk, kNoInstance, kRefused, kFailed };

// Sends one request line (without LF) to the instance serving `dir` and
// waits for its reply line (without LF) in *reply. kNoInstance when nothing
// listens there, kRefused when the reply is an error line.
ControlResult SendControlRequest(const std::string& dir, const std::string& request,
                                 std::string* reply);

// For a second instance: sends "activate", retrying for about a second while
// the first one is still starting to listen.
bool ActivateRunningInstance(const std::string& dir, std::string* error);

}  // namespace kra::platform
