// A quick folder listing for the library scan.
//
// Unlike ListFolder (files.h) it takes the entry types from the directory
// itself and resolves only symbolic links and unknown types with a stat, so a
// folder of N files costs one listing, not N stats. Sizes are not read.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/files.h"

namespace kra::platform {

struct QuickListing {
    // Entries ("." and ".." left out) in the order the file system gives
    // them; attributes hold kAttrDirectory (also for a link to a folder) and
    // kAttrHidden (the name begins with "."), kAttrNormal when neither.
    std::vector<FolderEntry> entries;
    // POSIX names whose core path would be longer than 259 units; they are
    // left out of `entries`, never truncated.
    std::vector<std::string> tooLong;
    // The listed folder's identity (device, inode), for loop detection.
    std::pair<uint64_t, uint64_t> identity{0, 0};
};

// False when the folder cannot be opened; `out` is cleared first.
bool ListFolderQuick(const std::u16string& folder, QuickListing& out);

}  // namespace kra::platform
