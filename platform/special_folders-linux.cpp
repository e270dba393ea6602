// Removable volumes and the XDG music folder.
#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/files.h"
#include "platform/special_folders.h"

namespace kra::platform {

namespace {

std::string HomeFolder() {
    const char* home = getenv("HOME");
    if (home != nullptr && home[0] != '\0') return home;
    const passwd* pw = getpwuid(getuid());
    if (pw != nullptr && pw->pw_dir != nullptr) return pw->pw_dir;
    return "/tmp";
}

std::string UserName() {
    const passwd* pw = getpwuid(getuid());
    if (pw != nullptr && pw->pw_name != nullptr) return pw->pw_name;
    const char* user = getenv("USER");
    return user != nullptr ? user : "";
}

// Subfolders of a folder, sorted by name.
std::vector<std::string> Subfolders(const std::string& folder) {
    std::vector<std::string> out;
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) return out;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == ".." || name[0] == '.') continue;
        struct stat st;
        const std::string path = folder + "/" + name;
        if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) out.push_back(path);
    }
    closedir(dir);
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace

std::vector<std::u16string> RemovableVolumes() {
    std::vector<std::u16string> volumes;
    const std::string user = UserName();
    if (user.empty()) return volumes;
    // Where udisks mounts removable media for the user.
    for (const std::string& base : {"/run/media/" + user, "/media/" + user}) {
        for (const std::string& path : Subfolders(base)) volumes.push_back(FromPosixPath(path));
    }
    return volumes;
}

std::u16string MyMusicFolder() {
    const std::string home = HomeFolder();
    const char* config = getenv("XDG_CONFIG_HOME");
    const std::string dirs =
        (config != nullptr && config[0] == '/' ? std::string(config) : home + "/.config") +
        "/user-dirs.dirs";
    std::ifstream in(dirs);
    std::string line;
    while (std::getline(in, line)) {
        // XDG_MUSIC_DIR="$HOME/Music"
        const std::string key = "XDG_MUSIC_DIR=\"";
        if (line.compare(0, key.size(), key) != 0) continue;
        const size_t end = line.rfind('"');
        if (end == std::string::npos || end < key.size()) break;
        std::string value = line.substr(key.size(), end - key.size());
        if (value.compare(0, 5, "$HOME") == 0) value = home + value.substr(5);
        if (value.empty() || value[0] != '/') break;
        while (value.size() > 1 && value.back() == '/') value.pop_back();
        return FromPosixPath(value);
    }
    return FromPosixPath(home + "/Music");
}

}  // namespace kra::platform
