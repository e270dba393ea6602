// Quick folder listing, POSIX backend: readdir with d_type.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "platform/folder_listing.h"

namespace kra::platform {

bool ListFolderQuick(const std::u16string& folder, QuickListing& out) {
    out.entries.clear();
    out.tooLong.clear();
    out.identity = {0, 0};
    const std::string posix = ToPosixPath(folder);
    if (posix.empty()) return false;
    const int dirFd = open(posix.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) return false;
    struct stat self;
    if (fstat(dirFd, &self) == 0) out.identity = {uint64_t(self.st_dev), uint64_t(self.st_ino)};
    DIR* dir = fdopendir(dirFd);
    if (dir == nullptr) {
        close(dirFd);
        return false;
    }
    // Length of an entry's core path before its name, separator included.
    size_t prefix = folder.size();
    if (folder.empty() || folder.back() != u'\\') ++prefix;
    while (const dirent* entry = readdir(dir)) {
        const char* raw = entry->d_name;
        if (strcmp(raw, ".") == 0 || strcmp(raw, "..") == 0) continue;
        bool isFolder = entry->d_type == DT_DIR;
        if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
            // A link counts as what it points to; a dangling one as a file.
            struct stat st;
            isFolder = fstatat(dirFd, raw, &st, 0) == 0 && S_ISDIR(st.st_mode);
        }
        FolderEntry item;
        item.name = NameFromPosix(raw);
        if (prefix + item.name.size() > kMaxCorePath) {
            out.tooLong.emplace_back(raw);
            continue;
        }
        uint32_t attributes = isFolder ? kAttrDirectory : 0;
        if (raw[0] == '.') attributes |= kAttrHidden;
        item.attributes = attributes == 0 ? kAttrNormal : attributes;
        out.entries.push_back(std::move(item));
    }
    closedir(dir);
    return true;
}

}  // namespace kra::platform
