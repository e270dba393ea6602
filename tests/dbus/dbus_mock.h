// Starting python-dbusmock templates on the private system bus, asking the
// bus whether a name has come up, and running the real player in a home of
// its own.
#pragma once
#include <sys/types.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "app/app_test_util.h"
#include "support/pump.h"
#include "support/spawn.h"

extern char** environ;

namespace kra::test {

// Starts `python3 -m dbusmock --system --template templ [-p parameters]`
// with its call log going nowhere; returns its pid, or 0 when it could not
// be started. The caller waits for its bus name.
inline pid_t SpawnDbusMock(const std::string& templ, const std::string& parameters = "") {
    std::vector<std::string> args = {"/usr/bin/python3", "-m",         "dbusmock",
                                     "--system",         "--template", templ};
    if (!parameters.empty()) {
        args.push_back("-p");
        args.push_back(parameters);
    }
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return spawned == 0 ? pid : 0;
}

inline bool BusNameHasOwner(sd_bus* bus, const std::string& name) {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    int has = 0;
    if (sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                           "org.freedesktop.DBus", "NameHasOwner", &error, &reply, "s",
                           name.c_str()) >= 0)
        sd_bus_message_read(reply, "b", &has);
    sd_bus_message_unref(reply);
    sd_bus_error_free(&error);
    return has != 0;
}

// A home for runs of the real player (KRA_BINARY) under a fresh temporary
// folder: home (the log), config/kra (the registry file), run, data, sys.
class PlayerHome {
  public:
    explicit PlayerHome(const std::string& tag) : root(MakeTempFolder(tag)) {
        for (const char* dir : {"home", "config/kra", "run", "data", "sys"})
            std::filesystem::create_directories(root / dir);
        std::filesystem::permissions(root / "run", std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::replace);
    }
    ~PlayerHome() { std::filesystem::remove_all(root); }

    // The settings key's values, in the registry file's own syntax.
    void WriteSettings(const std::string& values) const {
        WriteText(root / "config" / "kra" / "registry.reg",
                  "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Movo\\KRA]\n" + values);
    }

    // Starts kra with `args` on the given buses; its errors go to stderr.txt.
    pid_t Spawn(std::vector<std::string> args, const std::string& sessionBus,
                const std::string& systemBus) const {
        args.insert(args.begin(), KRA_BINARY);
        std::vector<std::string> env = {
            "PATH=/usr/bin:/bin",
            "HOME=" + root.string(),
            "KRA_HOME=" + (root / "home").string(),
            "KRA_SYSFS_ROOT=" + (root / "sys").string(),
            "XDG_CONFIG_HOME=" + (root / "config").string(),
            "XDG_RUNTIME_DIR=" + (root / "run").string(),
            "XDG_DATA_HOME=" + (root / "data").string(),
            "DBUS_SESSION_BUS_ADDRESS=" + sessionBus,
            "DBUS_SYSTEM_BUS_ADDRESS=" + systemBus,
            // One plugin registry for every run: building it takes seconds.
            "GST_REGISTRY=" + (std::filesystem::temp_directory_path() /
                               ("kra-peers-gst-" + std::to_string(getuid()) + ".bin"))
                                  .string(),
        };
        for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS", "TSAN_OPTIONS"}) {
            if (const char* value = std::getenv(name))
                env.push_back(std::string(name) + "=" + value);
        }
        const pid_t pid =
            SpawnProgram(std::move(args), std::move(env), (root / "stderr.txt").string());
        EXPECT_GE(pid, 0);
        return pid;
    }

    std::vector<std::string> Log() const { return LogMessages(root / "home" / "kra.log"); }
    // Index of the first `line` at or after `from`; -1 when there is none.
    int Find(const std::string& line, int from = 0) const {
        const std::vector<std::string> lines = Log();
        const auto at = std::find(lines.begin() + std::clamp<ptrdiff_t>(from, 0, lines.size()),
                                  lines.end(), line);
        return at == lines.end() ? -1 : int(at - lines.begin());
    }
    // Waits (in real time) for `line` at or after `from`.
    bool Logged(const std::string& line, int from = 0, int ms = 20000) const {
        return WaitFor([&] { return Find(line, from) >= 0; }, ms);
    }

    const std::filesystem::path root;
};

}  // namespace kra::test
