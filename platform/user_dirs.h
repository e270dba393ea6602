// Per-user files outside the core's tree: the data folder, the running
// executable, desktop entries. (Music folders: special_folders.h.)
#pragma once
#include <string>
#include <vector>

namespace kra::platform {

// $XDG_DATA_HOME, else ~/.local/share (a POSIX path).
std::string UserDataHome();

// The absolute POSIX path of the running executable; empty when unknown.
std::string ExecutablePath();

// Writes `bytes` to a POSIX path, creating missing parent folders, through a
// temporary file and a rename. For files outside the core's tree (desktop
// entries). False on failure.
bool WriteUserFile(const std::string& posixPath, const std::string& bytes);
bool RemoveUserFile(const std::string& posixPath);

// True when standard error is a terminal (progress lines are for people).
bool StderrIsTerminal();

// Copies a folder tree (POSIX paths); false when any entry failed.
bool CopyTree(const std::string& from, const std::string& to);

}  // namespace kra::platform
