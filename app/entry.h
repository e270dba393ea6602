// The program's entry: command line, the desktop registration switches, and
// the player instance's own start (registry, log, demo library).
#pragma once
#include <string>
#include <vector>

namespace kra {

struct AppOptions {
    bool help = false;
    bool version = false;
    bool registerDesktop = false;         // "RegServer"
    bool unregisterDesktop = false;       // "UnregServer"
    std::string home;                     // --home DIR: the program folder
    bool demo = false;                    // --demo
    std::string audioSink;                // --audio-sink NAME
    std::vector<std::string> probePaths;  // --probe FILE...: the rest of the line
    std::string scanPath;                 // --scan DIR
};

// Takes the player's own switches out of `args` (those the platform did not
// take). "RegServer" and "UnregServer" are accepted in any case, with or
// without a leading '-', '--' or '/'. False with a reason for an unknown
// switch or a missing value.
bool ParseAppArgs(const std::vector<std::string>& args, AppOptions* options, std::string* error);

// The usage text of --help.
std::string UsageText();

// The desktop entry and the D-Bus service file for an executable path.
std::string DesktopEntryText(const std::string& executable);
std::string DbusServiceText(const std::string& executable);
// Installs or removes both files under the user's data folder. False when a
// file could not be written or removed.
bool RegisterDesktop(const std::string& executable);
bool UnregisterDesktop();

// Copies the bundled demo library into the program folder's "demo-music"
// once and makes it the default music folder. False when no demo library is
// installed or the copy failed.
bool PrepareDemoLibrary();

// Runs the whole program; the value main() returns.
int RunKra(int argc, const char* const* argv);

}  // namespace kra
