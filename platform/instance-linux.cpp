// Single instance through a lock file, and the control socket beside it.
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/instance.h"
#include "platform/message_loop.h"
#include "platform/script.h"

namespace kra::platform {

namespace {

constexpr const char* kLockName = "/kra.lock";
constexpr const char* kSocketName = "/kra.sock";
constexpr int kIoTimeoutMs = 2000;

struct Server {
    bool active = false;
    std::string dir;
    int lockFd = -1;
    int listenFd = -1;
    int stopFd = -1;
    std::thread thread;
};

Server g_server;

std::string SystemError(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

void CloseFd(int* fd) {
    if (*fd >= 0) close(*fd);
    *fd = -1;
}

// The folder must be ours and private: another user could otherwise plant
// a socket there (the /tmp fallback is shared).
bool EnsurePrivateFolder(const std::string& dir, std::string* error) {
    if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
        *error = SystemError("cannot create " + dir);
        return false;
    }
    struct stat st {};
    if (lstat(dir.c_str(), &st) != 0) {
        *error = SystemError(dir);
        return false;
    }
    if (!S_ISDIR(st.st_mode) || st.st_uid != getuid()) {
        *error = dir + " is not a folder owned by this user";
        return false;
    }
    if ((st.st_mode & 0077) != 0 && chmod(dir.c_str(), 0700) != 0) {
        *error = SystemError("cannot make " + dir + " private");
        return false;
    }
    return true;
}

bool SocketAddress(const std::string& dir, sockaddr_un* address, std::string* error) {
    const std::string path = dir + kSocketName;
    *address = sockaddr_un{};
    address->sun_family = AF_UNIX;
    if (path.size() >= sizeof address->sun_path) {
        *error = "socket path too long: " + path;
        return false;
    }
    std::memcpy(address->sun_path, path.c_str(), path.size() + 1);
    return true;
}

bool PeerIsSameUser(int fd) {
    ucred cred{};
    socklen_t length = sizeof cred;
    return getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &length) == 0 && cred.uid == getuid();
}

void SetTimeouts(int fd) {
    timeval tv{kIoTimeoutMs / 1000, (kIoTimeoutMs % 1000) * 1000};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
}

void SendAll(int fd, const std::string& text) {
    size_t sent = 0;
    while (sent < text.size()) {
        const ssize_t n = send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        sent += size_t(n);
    }
}

// Reads up to and including the first LF, at most `limit` bytes. Returns
// false on a time-out or error; *overlong when `limit` bytes came without LF.
bool ReadLine(int fd, size_t limit, std::string* line, bool* overlong) {
    line->clear();
    *overlong = false;
    char buffer[64];
    while (line->size() < limit) {
        const ssize_t n = recv(fd, buffer, std::min(sizeof buffer, limit - line->size()), 0);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;  // end of stream: what came is the request
        line->append(buffer, size_t(n));
        const size_t lf = line->find('\n');
        if (lf != std::string::npos) {
            line->resize(lf + 1);
            return true;
        }
    }
    *overlong = true;
    return true;
}

std::string Answer(const ControlRequest& request) {
    switch (request.kind) {
        case ControlRequest::Kind::kActivate:
            return PostMessage(kWmActivateApp, 0, 0) ? "ok" : "error: the player is closing";
        case ControlRequest::Kind::kPost:
            return PostMessage(request.message, request.wParam, request.lParam)
                       ? "ok"
                       : "error: the player is closing";
        case ControlRequest::Kind::kInvalid:
            break;
    }
    return "error: " + request.error;
}

void Serve(int client) {
    SetTimeouts(client);
    if (!PeerIsSameUser(client)) {
        SendAll(client, "error: permission denied\n");
        return;
    }
    std::string line;
    bool overlong = false;
    if (!ReadLine(client, kMaxControlRequest, &line, &overlong)) return;
    const ControlRequest request =
        overlong ? ControlRequest{ControlRequest::Kind::kInvalid, 0, 0, 0, "request too long"}
                 : ParseControlRequest(line.data(), line.size());
    SendAll(client, Answer(request) + "\n");
}

void ServeLoop(int listenFd, int stopFd) {
    for (;;) {
        pollfd fds[2] = {{listenFd, POLLIN, 0}, {stopFd, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[1].revents) return;
        if (!fds[0].revents) continue;
        const int client = accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) continue;
        Serve(client);
        close(client);
    }
}

// Opens the lock file and tries to lock it without waiting.
ClaimResult TryLock(const std::string& dir, int* fd, std::string* error) {
    *fd = open((dir + kLockName).c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (*fd < 0) {
        *error = SystemError("cannot open " + dir + kLockName);
        return ClaimResult::kFailed;
    }
    if (flock(*fd, LOCK_EX | LOCK_NB) == 0) return ClaimResult::kClaimed;
    const bool held = errno == EWOULDBLOCK;
    if (!held) *error = SystemError("cannot lock " + dir + kLockName);
    CloseFd(fd);
    return held ? ClaimResult::kOtherRunning : ClaimResult::kFailed;
}

bool IsBlankByte(char c) {
    return c == ' ' || c == '\t';
}

}  // namespace

ControlRequest ParseControlRequest(const char* data, size_t size) {
    ControlRequest request;
    if (size > kMaxControlRequest) {
        request.error = "request too long";
        return request;
    }
    std::string_view text(data, size);
    if (!text.empty() && text.back() == '\n') text.remove_suffix(1);
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && c != '\t') || byte >= 0x7F) {
            request.error = "request must be one line of printable ASCII";
            return request;
        }
    }
    std::vector<std::string_view> words;
    for (size_t i = 0; i < text.size();) {
        while (i < text.size() && IsBlankByte(text[i])) ++i;
        const size_t start = i;
        while (i < text.size() && !IsBlankByte(text[i])) ++i;
        if (i > start) words.push_back(text.substr(start, i - start));
    }
    if (words.empty()) {
        request.error = "empty request";
    } else if (words[0] == "activate") {
        if (words.size() == 1) {
            request.kind = ControlRequest::Kind::kActivate;
        } else {
            request.error = "activate takes no arguments";
        }
    } else if (words[0] == "post") {
        if (words.size() != 4) {
            request.error = "post takes MSG WPARAM LPARAM";
        } else if (ParseMessageWords(words[1], words[2], words[3], &request.message,
                                     &request.wParam, &request.lParam, &request.error)) {
            request.kind = ControlRequest::Kind::kPost;
        }
    } else {
        request.error = "unknown request '" + std::string(words[0].substr(0, 32)) + "'";
    }
    return request;
}

std::string DefaultRuntimeDir() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && runtime[0] == '/') return std::string(runtime) + "/kra";
    return "/tmp/kra-" + std::to_string(getuid());
}

ClaimResult ClaimInstance(const std::string& dir, std::string* error) {
    if (!EnsurePrivateFolder(dir, error)) return ClaimResult::kFailed;
    int lockFd = -1;
    const ClaimResult locked = TryLock(dir, &lockFd, error);
    if (locked != ClaimResult::kClaimed) return locked;
    if (g_server.active) {
        CloseFd(&lockFd);
        *error = "this process already serves " + g_server.dir;
        return ClaimResult::kFailed;
    }
    sockaddr_un address;
    if (!SocketAddress(dir, &address, error)) {
        CloseFd(&lockFd);
        return ClaimResult::kFailed;
    }
    // We hold the lock, so a socket file here is a dead instance's.
    unlink(address.sun_path);
    int listenFd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int stopFd = eventfd(0, EFD_CLOEXEC);
    if (listenFd < 0 || stopFd < 0 ||
        bind(listenFd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        chmod(address.sun_path, 0600) != 0 || listen(listenFd, 8) != 0) {
        *error = SystemError("cannot listen on " + std::string(address.sun_path));
        CloseFd(&listenFd);
        CloseFd(&stopFd);
        CloseFd(&lockFd);
        return ClaimResult::kFailed;
    }
    g_server.active = true;
    g_server.dir = dir;
    g_server.lockFd = lockFd;
    g_server.listenFd = listenFd;
    g_server.stopFd = stopFd;
    g_server.thread = std::thread(ServeLoop, listenFd, stopFd);
    return ClaimResult::kClaimed;
}

void ReleaseInstance() {
    if (!g_server.active) return;
    const uint64_t one = 1;
    if (write(g_server.stopFd, &one, sizeof one) < 0) {
        // Cannot happen for an eventfd below its maximum; the join below
        // would then wait, so close the listener to end poll instead.
        shutdown(g_server.listenFd, SHUT_RDWR);
    }
    g_server.thread.join();
    unlink((g_server.dir + kSocketName).c_str());
    CloseFd(&g_server.listenFd);
    CloseFd(&g_server.stopFd);
    CloseFd(&g_server.lockFd);  // closing releases the flock
    g_server = Server{};
}

ControlResult SendControlRequest(const std::string& dir, const std::string& request,
                                 std::string* reply) {
    reply->clear();
    sockaddr_un address;
    if (!SocketAddress(dir, &address, reply)) return ControlResult::kFailed;
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        *reply = SystemError("socket");
        return ControlResult::kFailed;
    }
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const bool absent = errno == ENOENT || errno == ECONNREFUSED;
        *reply = SystemError("cannot connect to " + std::string(address.sun_path));
        close(fd);
        return absent ? ControlResult::kNoInstance : ControlResult::kFailed;
    }
    if (!PeerIsSameUser(fd)) {
        close(fd);
        *reply = "the socket belongs to another user";
        return ControlResult::kFailed;
    }
    SetTimeouts(fd);
    SendAll(fd, request + "\n");
    shutdown(fd, SHUT_WR);
    bool overlong = false;
    const bool got = ReadLine(fd, 512, reply, &overlong);
    close(fd);
    if (!got || reply->empty() || reply->back() != '\n') {
        *reply = "no reply from the running instance";
        return ControlResult::kFailed;
    }
    reply->pop_back();
    return *reply == "ok" ? ControlResult::kOk : ControlResult::kRefused;
}

bool ActivateRunningInstance(const std::string& dir, std::string* error) {
    // The running instance takes the lock before it listens; give it a
    // moment when we come in between.
    for (int attempt = 0; attempt < 20; ++attempt) {
        const ControlResult r = SendControlRequest(dir, "activate", error);
        if (r == ControlResult::kOk) return true;
        if (r != ControlResult::kNoInstance) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

}  // namespace kra::platform
