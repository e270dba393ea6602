// Opening a web page in the user's browser.
#pragma once
#include <string>

namespace kra::platform {

// Starts "xdg-open URL" as its own process (an argument vector, never a
// shell) without waiting for it. False when it could not be started.
bool OpenWebPage(const std::string& url);

// Replaces the opener (tests record the address instead); null restores it.
using WebPageOpener = bool (*)(const std::string& url);
void SetWebPageOpener(WebPageOpener opener);

}  // namespace kra::platform
