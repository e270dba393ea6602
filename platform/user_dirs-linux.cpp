// Per-user files on Linux: XDG variables, /proc/self/exe, plain file writes.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/user_dirs.h"

namespace kra::platform {

namespace {

std::string HomeFolder() {
    const char* home = std::getenv("HOME");
    return home && *home ? home : "/";
}

}  // namespace

std::string UserDataHome() {
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data && data[0] == '/') return data;
    return HomeFolder() + "/.local/share";
}

std::string ExecutablePath() {
    char buffer[4096];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return {};
    return std::string(buffer, size_t(n));
}

bool WriteUserFile(const std::string& posixPath, const std::string& bytes) {
    std::error_code ec;
    const std::filesystem::path path(posixPath);
    std::filesystem::create_directories(path.parent_path(), ec);
    if (ec) return false;
    const std::string temp = posixPath + ".tmp";
    const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += size_t(n);
    }
    const bool ok = done == bytes.size() && fsync(fd) == 0;
    close(fd);
    if (!ok || rename(temp.c_str(), posixPath.c_str()) != 0) {
        unlink(temp.c_str());
        return false;
    }
    return true;
}

bool RemoveUserFile(const std::string& posixPath) {
    return unlink(posixPath.c_str()) == 0 || errno == ENOENT;
}

bool StderrIsTerminal() { return isatty(STDERR_FILENO) == 1; }

bool CopyTree(const std::string& from, const std::string& to) {
    std::error_code ec;
    std::filesystem::copy(
        from, to,
        std::filesystem::copy_options::recursive | std::filesystem::copy_options::skip_existing,
        ec);
    return !ec;
}

}  // namespace kra::platform
