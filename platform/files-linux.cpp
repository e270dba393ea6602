// Files and folders on core paths, POSIX backend.
//
// Path mapping, POSIX -> core: '/' becomes '\', UTF-8 is decoded strictly
// (no overlong forms, no encoded surrogates, nothing above U+10FFFF). Every
// byte that is not part of a valid sequence becomes U+DC80+byte (bytes below
// 0x80 are always valid, so the escapes stay in U+DC80..U+DCFF). A '\' byte
// becomes U+F05C; a name that holds U+F05C itself (EF 81 9C) has those three
// bytes escaped, so that U+F05C in a core path always means a '\' byte.
//
// Core -> POSIX reverses this. A core path that no POSIX name maps to is
// refused (ToPosixPath returns an empty string, which no call can open): one
// with a zero unit (it would cut the path short and name another file) or
// with an unpaired surrogate outside the escape range.
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/files.h"
#include "platform/utf8.h"

namespace kra::platform {

namespace {

constexpr char16_t kBackslashEscape = 0xF05C;
constexpr char16_t kByteEscapeFirst = 0xDC80;
constexpr char16_t kByteEscapeLast = 0xDCFF;

// Length of the valid UTF-8 sequence at text[pos], 0 if none; the code point
// goes to `cp`.
size_t DecodeUtf8(const std::string& text, size_t pos, char32_t& cp) {
    const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
    const size_t left = text.size() - pos;
    const uint8_t b0 = byte(pos);
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    }
    size_t length;
    char32_t min;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        length = 2;
        cp = b0 & 0x1F;
        min = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        length = 3;
        cp = b0 & 0x0F;
        min = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        length = 4;
        cp = b0 & 0x07;
        min = 0x10000;
    } else {
        return 0;
    }
    if (length > left) return 0;
    for (size_t i = 1; i < length; ++i) {
        const uint8_t b = byte(pos + i);
        if ((b & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return length;
}

std::u16string DecodeName(const std::string& text, bool separators) {
    std::u16string out;
    out.reserve(text.size());
    size_t pos = 0;
    while (pos < text.size()) {
        const char c = text[pos];
        if (c == '/' && separators) {
            out.push_back(u'\\');
            ++pos;
            continue;
        }
        if (c == '\\') {
            out.push_back(kBackslashEscape);
            ++pos;
            continue;
        }
        char32_t cp = 0;
        const size_t length = DecodeUtf8(text, pos, cp);
        if (length == 0 || cp == kBackslashEscape) {
            // Escape the invalid byte (or each byte of a literal U+F05C).
            const size_t count = length == 0 ? 1 : length;
            for (size_t i = 0; i < count; ++i)
                out.push_back(char16_t(0xDC00 + static_cast<uint8_t>(text[pos + i])));
            pos += count;
            continue;
        }
        AppendCodePointUtf16(out, cp);
        pos += length;
    }
    return out;
}

void AppendUtf8(std::string& out, char32_t cp) {
    AppendCodePointUtf8(out, cp);
}

// Empty when the text has no POSIX form (see the top of this file).
std::string EncodeName(const std::u16string& text, bool separators) {
    std::string out;
    out.reserve(text.size() + text.size() / 2);
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t u = text[i];
        if (u == 0) return {};
        if (u == u'\\' && separators) {
            out.push_back('/');
        } else if (u == kBackslashEscape) {
            out.push_back('\\');
        } else if (u >= 0xD800 && u <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
                   text[i + 1] <= 0xDFFF) {
            AppendUtf8(out, 0x10000 + ((char32_t(u) - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else if (u >= kByteEscapeFirst && u <= kByteEscapeLast) {
            out.push_back(char(u - 0xDC00));
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            return {};
        } else {
            AppendUtf8(out, u);
        }
    }
    return out;
}

// The last name of a core path.
std::u16string LastName(const std::u16string& path) {
    const size_t slash = path.find_last_of(u'\\');
    return slash == std::u16string::npos ? path : path.substr(slash + 1);
}

uint32_t AttributesOf(const struct stat& st, const std::u16string& name) {
    uint32_t attributes = 0;
    if (S_ISDIR(st.st_mode)) attributes |= kAttrDirectory;
    if (!name.empty() && name[0] == u'.') attributes |= kAttrHidden;
    if ((st.st_mode & S_IWUSR) == 0) attributes |= kAttrReadOnly;
    return attributes == 0 ? kAttrNormal : attributes;
}

bool StatPath(const std::u16string& path, struct stat& st) {
    const std::string posix = ToPosixPath(path);
    return !posix.empty() && stat(posix.c_str(), &st) == 0;
}

int OpenPath(const std::u16string& path, int flags, mode_t mode = 0) {
    const std::string posix = ToPosixPath(path);
    if (posix.empty()) {
        errno = ENOENT;
        return -1;
    }
    int fd;
    do {
        fd = open(posix.c_str(), flags | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

bool WriteAll(int fd, const void* buffer, size_t bytes) {
    const auto* p = static_cast<const uint8_t*>(buffer);
    while (bytes > 0) {
        const ssize_t n = write(fd, p, bytes);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        bytes -= size_t(n);
    }
    return true;
}

size_t ReadAll(int fd, void* buffer, size_t bytes) {
    auto* p = static_cast<uint8_t*>(buffer);
    size_t done = 0;
    while (done < bytes) {
        const ssize_t n = read(fd, p + done, bytes - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (n == 0) break;
        done += size_t(n);
    }
    return done;
}

std::string PosixParent(const std::string& posix) {
    const size_t slash = posix.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return posix.substr(0, slash);
}

void SyncFolder(const std::string& posixFolder) {
    const int fd = open(posixFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
}

// Creates every missing folder of an absolute POSIX path.
void MakeFolders(const std::string& posix) {
    for (size_t pos = 1; pos <= posix.size(); ++pos) {
        if (pos == posix.size() || posix[pos] == '/') mkdir(posix.substr(0, pos).c_str(), 0777);
    }
}

std::string AbsolutePosix(const std::string& posix) {
    if (!posix.empty() && posix[0] == '/') return posix;
    char buffer[4096];
    if (getcwd(buffer, sizeof buffer) == nullptr) return "/" + posix;
    std::string cwd = buffer;
    if (cwd.empty() || cwd.back() != '/') cwd.push_back('/');
    return cwd + posix;
}

std::string HomeFolder() {
    const char* home = getenv("HOME");
    if (home != nullptr && home[0] != '\0') return home;
    const passwd* pw = getpwuid(getuid());
    if (pw != nullptr && pw->pw_dir != nullptr) return pw->pw_dir;
    return "/tmp";
}

std::string StripTrailingSlashes(std::string posix) {
    while (posix.size() > 1 && posix.back() == '/') posix.pop_back();
    return posix;
}

std::mutex g_programFolderMutex;
std::u16string g_programFolder;  // empty until first use

}  // namespace

std::string ToPosixPath(const std::u16string& corePath) {
    return EncodeName(corePath, true);
}
std::u16string FromPosixPath(const std::string& posixPath) {
    return DecodeName(posixPath, true);
}
std::string NameToPosix(const std::u16string& name) {
    return EncodeName(name, true);
}
std::u16string NameFromPosix(const std::string& name) {
    return DecodeName(name, true);
}

bool ListFolder(const std::u16string& folder, std::vector<FolderEntry>& out) {
    const std::string posix = ToPosixPath(folder);
    if (posix.empty()) return false;
    const int dirFd = open(posix.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) return false;
    DIR* dir = fdopendir(dirFd);
    if (dir == nullptr) {
        close(dirFd);
        return false;
    }
    // Length of the folder part of an entry's core path, separator included.
    size_t prefix = folder.size();
    if (folder.empty() || folder.back() != u'\\') ++prefix;
    while (const dirent* entry = readdir(dir)) {
        const char* raw = entry->d_name;
        if (strcmp(raw, ".") == 0 || strcmp(raw, "..") == 0) continue;
        FolderEntry item;
        item.name = NameFromPosix(raw);
        if (prefix + item.name.size() > kMaxCorePath) continue;
        struct stat st;
        // A link is reported as what it points to; a dangling one as itself.
        if (fstatat(dirFd, raw, &st, 0) != 0 && fstatat(dirFd, raw, &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        item.attributes = AttributesOf(st, item.name);
        item.size = S_ISREG(st.st_mode) ? uint64_t(st.st_size) : 0;
        out.push_back(std::move(item));
    }
    closedir(dir);
    return true;
}

uint32_t GetFileAttributes(const std::u16string& path) {
    struct stat st;
    if (!StatPath(path, st)) return kAttrInvalid;
    return AttributesOf(st, LastName(path));
}

bool FileExists(const std::u16string& path) {
    const std::string posix = ToPosixPath(path);
    struct stat st;
    return !posix.empty() && (stat(posix.c_str(), &st) == 0 || lstat(posix.c_str(), &st) == 0);
}

bool FolderExists(const std::u16string& path) {
    struct stat st;
    return StatPath(path, st) && S_ISDIR(st.st_mode);
}

std::optional<std::pair<uint64_t, uint64_t>> FolderIdentity(const std::u16string& path) {
    struct stat st;
    if (!StatPath(path, st) || !S_ISDIR(st.st_mode)) return std::nullopt;
    return std::make_pair(uint64_t(st.st_dev), uint64_t(st.st_ino));
}

bool ReadFileBytes(const std::u16string& path, std::vector<uint8_t>& out, uint64_t maxBytes) {
    out.clear();
    const int fd = OpenPath(path, O_RDONLY);
    if (fd < 0) return false;
    struct stat st;
    if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        close(fd);
        return false;
    }
    // The size is a hint only: the file may grow or shrink while we read.
    uint64_t want = st.st_size > 0 ? uint64_t(st.st_size) : 0;
    if (want > maxBytes) want = maxBytes;
    bool ok = true;
    size_t have = 0;
    size_t chunk = size_t(want < 65536 ? 65536 : want);
    while (have < maxBytes) {
        const uint64_t room = maxBytes - have;
        const size_t step = size_t(room < chunk ? room : chunk);
        out.resize(have + step);
        const ssize_t n = read(fd, out.data() + have, step);
        if (n < 0) {
            if (errno == EINTR) continue;
            ok = false;
            break;
        }
        if (n == 0) break;
        have += size_t(n);
        chunk = 65536;
    }
    out.resize(have);
    close(fd);
    if (!ok) out.clear();
    return ok;
}

bool WriteFileAtomic(const std::u16string& path, const std::vector<uint8_t>& bytes) {
    const std::string posix = ToPosixPath(path);
    if (posix.empty() || posix.back() == '/') return false;
    static std::atomic<uint32_t> counter{0};
    const std::string folder = PosixParent(posix);
    const std::string name = posix.substr(posix.find_last_of('/') + 1);
    // A hidden temporary name beside the target; short when the name is long.
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        const std::string tag =
            ".kra-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
        temp = folder + "/." + (name.size() <= 180 ? name : std::string("tmp")) + tag;
        fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST && errno != EINTR) return false;
    }
    if (fd < 0) return false;
    bool ok = WriteAll(fd, bytes.data(), bytes.size()) && fsync(fd) == 0;
    if (close(fd) != 0) ok = false;
    if (ok && rename(temp.c_str(), posix.c_str()) != 0) ok = false;
    if (!ok) {
        unlink(temp.c_str());
        return false;
    }
    SyncFolder(folder);
    return true;
}

bool MoveFile(const std::u16string& from, const std::u16string& to) {
    const std::string a = ToPosixPath(from);
    const std::string b = ToPosixPath(to);
    if (a.empty() || b.empty()) return false;
    // Like the platform's move: an existing target is never replaced.
    if (renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    struct stat st;
    if (lstat(b.c_str(), &st) == 0) return false;
    return rename(a.c_str(), b.c_str()) == 0;
}

bool DeleteFile(const std::u16string& path) {
    const std::string posix = ToPosixPath(path);
    return !posix.empty() && unlink(posix.c_str()) == 0;
}

bool CreateFolder(const std::u16string& path) {
    const std::string posix = ToPosixPath(path);
    if (posix.empty()) return false;
    if (mkdir(posix.c_str(), 0777) == 0) return true;
    struct stat st;
    return errno == EEXIST && stat(posix.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

File::~File() {
    Close();
}

File::File(File&& other) noexcept : fd_(other.fd_) {
    other.fd_ = -1;
}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

bool File::OpenRead(const std::u16string& path) {
    Close();
    fd_ = OpenPath(path, O_RDONLY);
    struct stat st;
    if (fd_ >= 0 && (fstat(fd_, &st) != 0 || S_ISDIR(st.st_mode))) Close();
    return fd_ >= 0;
}

bool File::OpenWrite(const std::u16string& path) {
    Close();
    fd_ = OpenPath(path, O_WRONLY | O_CREAT | O_TRUNC, 0666);
    return fd_ >= 0;
}

void File::Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
}

size_t File::Read(void* buffer, size_t bytes) {
    if (fd_ < 0) return 0;
    return ReadAll(fd_, buffer, bytes);
}

bool File::Write(const void* buffer, size_t bytes) {
    return fd_ >= 0 && WriteAll(fd_, buffer, bytes);
}

bool File::Seek(uint64_t offset) {
    if (fd_ < 0 || offset > uint64_t(INT64_MAX)) return false;
    return lseek(fd_, off_t(offset), SEEK_SET) >= 0;
}

uint64_t File::Tell() const {
    if (fd_ < 0) return 0;
    const off_t pos = lseek(fd_, 0, SEEK_CUR);
    return pos < 0 ? 0 : uint64_t(pos);
}

uint64_t File::Size() const {
    struct stat st;
    if (fd_ < 0 || fstat(fd_, &st) != 0 || st.st_size < 0) return 0;
    return uint64_t(st.st_size);
}

bool File::Flush() {
    return fd_ >= 0 && fdatasync(fd_) == 0;
}

std::u16string ProgramFolder() {
    std::lock_guard lock(g_programFolderMutex);
    if (g_programFolder.empty()) {
        std::string posix;
        const char* home = getenv("KRA_HOME");
        const char* data = getenv("XDG_DATA_HOME");
        if (home != nullptr && home[0] != '\0') {
            posix = home;
        } else if (data != nullptr && data[0] == '/') {
            posix = std::string(data) + "/kra";
        } else {
            posix = HomeFolder() + "/.local/share/kra";
        }
        posix = StripTrailingSlashes(AbsolutePosix(posix));
        MakeFolders(posix);
        g_programFolder = FromPosixPath(posix);
    }
    return g_programFolder;
}

void SetProgramFolder(const std::u16string& folder) {
    std::u16string path = folder;
    while (path.size() > 1 && path.back() == u'\\') path.pop_back();
    const std::string posix = ToPosixPath(path);
    if (!posix.empty()) MakeFolders(posix);
    std::lock_guard lock(g_programFolderMutex);
    g_programFolder = path;
}

std::u16string DefaultSkinFolder() {
    const std::string installed = KRA_DATADIR;
    struct stat st;
    if (stat((installed + "/gfx").c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        return FromPosixPath(StripTrailingSlashes(installed));
    return FromPosixPath(StripTrailingSlashes(std::string(KRA_SOURCE_ASSETS) + "/skin"));
}

}  // namespace kra::platform
