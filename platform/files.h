// Files and folders on core paths.
//
// A core path is absolute, begins with '\' and uses '\' as separator
// ("\home\ann\Music\a.mp3"). It maps to a POSIX path by turning '\' into '/'
// and encoding UTF-16 as UTF-8. The mapping round-trips every file name: a
// byte that is not valid UTF-8 maps to U+DC80+byte, and a '\' inside a POSIX
// name maps to U+F05C. A name whose core path would be longer than 259 units
// is skipped by ListFolder (and logged by the caller), never truncated.
//
// The test backend is simply a temporary folder: these functions work on the
// real file system.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kra::platform {

constexpr uint32_t kMaxCorePath = 259;  // units, without the terminating zero

// Attribute bits, as the core tests them.
constexpr uint32_t kAttrReadOnly = 0x01;
constexpr uint32_t kAttrHidden = 0x02;  // the name begins with "."
constexpr uint32_t kAttrDirectory = 0x10;
constexpr uint32_t kAttrNormal = 0x80;
constexpr uint32_t kAttrInvalid = 0xFFFFFFFF;

// A core path that no POSIX name maps to (a zero unit, or an unpaired
// surrogate outside U+DC80..U+DCFF) gives an empty string, which no call opens.
std::string ToPosixPath(const std::u16string& corePath);
std::u16string FromPosixPath(const std::string& posixPath);
// One name (no separators) in each direction, with the same rules.
std::string NameToPosix(const std::u16string& name);
std::u16string NameFromPosix(const std::string& name);

struct FolderEntry {
    std::u16string name;  // no path
    uint32_t attributes = 0;
    uint64_t size = 0;
};

// Lists the entries of a folder ("." and ".." left out) in the order the
// file system gives them. A symbolic link to a folder is reported as a folder.
// False when the folder cannot be opened.
bool ListFolder(const std::u16string& folder, std::vector<FolderEntry>& out);

uint32_t GetFileAttributes(const std::u16string& path);  // kAttrInvalid if missing
bool FileExists(const std::u16string& path);             // any kind of entry
bool FolderExists(const std::u16string& path);
// Identity of a folder (device, inode) for loop detection; nullopt if missing.
std::optional<std::pair<uint64_t, uint64_t>> FolderIdentity(const std::u16string& path);

// Whole-file helpers. ReadFileBytes caps what it reads at maxBytes.
bool ReadFileBytes(const std::u16string& path, std::vector<uint8_t>& out,
                   uint64_t maxBytes = UINT64_MAX);
// Writes to a temporary name in the same folder and renames it over `path`,
// so a crash leaves the old file or the new one, never a torn one.
bool WriteFileAtomic(const std::u16string& path, const std::vector<uint8_t>& bytes);
// Renames; fails when `to` exists (it is never replaced).
bool MoveFile(const std::u16string& from, const std::u16string& to);
bool DeleteFile(const std::u16string& path);
bool CreateFolder(const std::u16string& path);  // one level; true if it exists

// An open file for reading and seeking, closed by its destructor.
class File {
public:
    File() = default;
    ~File();
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;

    bool OpenRead(const std::u16string& path);
    // Creates or truncates; for callers that stream many small writes (the log).
    bool OpenWrite(const std::u16string& path);
    bool IsOpen() const { return fd_ >= 0; }
    void Close();

    // Returns the bytes read (0 at the end or on error).
    size_t Read(void* buffer, size_t bytes);
    // Returns false when the whole buffer could not be written.
    bool Write(const void* buffer, size_t bytes);
    bool Seek(uint64_t offset);
    uint64_t Tell() const;
    uint64_t Size() const;
    bool Flush();

private:
    int fd_ = -1;
};

// The program folder ($KRA_HOME, else $XDG_DATA_HOME/kra, else
// ~/.local/share/kra), created on first use; a core path without a trailing
// separator.
std::u16string ProgramFolder();
// Overrides the program folder (tests, --home).
void SetProgramFolder(const std::u16string& folder);
// The installed default skin folder (gfx and lang.ini live there) when the
// program folder has none: <prefix>/share/kra, or the source tree's assets.
std::u16string DefaultSkinFolder();

}  // namespace kra::platform
