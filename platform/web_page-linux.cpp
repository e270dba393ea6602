#include "platform/web_page.h"

#include <spawn.h>
#include <sys/wait.h>

#include <atomic>
#include <thread>

extern char** environ;

namespace kra::platform {

namespace {

std::atomic<WebPageOpener> g_opener{nullptr};

bool SpawnXdgOpen(const std::string& url) {
    // A URL that looks like an option would be taken as one.
    if (url.empty() || url[0] == '-') return false;
    std::string program = "xdg-open";
    std::string argument = url;
    char* argv[] = {program.data(), argument.data(), nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, "xdg-open", nullptr, nullptr, argv, environ) != 0) return false;
    // xdg-open hands the page to the browser and ends soon; it is reaped on
    // a thread of its own so the caller is not held up.
    std::thread([pid] {
        int status = 0;
        waitpid(pid, &status, 0);
    }).detach();
    return true;
}

}  // namespace

bool OpenWebPage(const std::string& url) {
    const WebPageOpener opener = g_opener.load();
    return opener ? opener(url) : SpawnXdgOpen(url);
}

void SetWebPageOpener(WebPageOpener opener) {
    g_opener.store(opener);
}

}  // namespace kra::platform
