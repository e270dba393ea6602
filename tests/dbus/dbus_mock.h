// Starting python-dbusmock templates on the private system bus, and asking
// the bus whether a name has come up.
#pragma once
#include <fcntl.h>
#include <spawn.h>
#include <sys/types.h>
#include <systemd/sd-bus.h>

#include <string>
#include <vector>

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

}  // namespace kra::test
