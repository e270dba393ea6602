// Where music is usually kept.
#pragma once
#include <string>
#include <vector>

namespace kra::platform {

// Mounted removable volumes (storage cards, USB sticks), as core paths, in a
// stable order; empty when there are none.
std::vector<std::u16string> RemovableVolumes();
// The user's music folder: the XDG music folder ("xdg-user-dir MUSIC"), else
// ~/Music. A core path; the folder need not exist.
std::u16string MyMusicFolder();

}  // namespace kra::platform
