#include "app/base/app_state.h"

#include <new>

#include "app/base/hooks.h"

namespace kra {

AppState g_app;
AppHooks g_hooks;

void ResetAppState() {
    g_app.~AppState();
    new (&g_app) AppState();
}

void ResetAppHooks() {
    g_hooks = AppHooks{};
}

}  // namespace kra
