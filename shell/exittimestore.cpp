#include "shell/exittimestore.h"

#include "entries/sampleentries.h"
#include "shell/settingsstore.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>

#include <unistd.h>

namespace {

struct State {
    std::mutex mutex;
    bool installed = false;
    bool armed = false;
    pid_t owner = 0;
    std::optional<QString> seen;
    std::optional<QString> stored;
};

// Never destroyed: exit() may run the store after static objects are gone.
State &state()
{
    static State *const instance = new State;
    return *instance;
}

void storeAtExit(int status, void *)
{
    State &s = state();
    {
        std::lock_guard lock(s.mutex);
        // Forked children that leave through exit() are not the program.
        if (!s.armed || s.owner != ::getpid())
            return;
        s.armed = false;
        if (s.seen && s.seen != s.stored) {
            try {
                SaveSetting(kSettingsApp, kSettingsSection, kAssetsKey, *s.seen);
                s.stored = s.seen;
            } catch (const std::exception &e) {
                std::fprintf(stderr, "quintarra: your list could not be saved: %s\n", e.what());
            }
        }
    }
    // exit() came from another thread while the user-interface thread still
    // runs: the static objects that exit() would destroy next are in use
    // there, and the process crashed on them. It ends here instead.
    std::fflush(nullptr);
    ::_exit(status);
}

} // namespace

namespace ExitTimeStore {

void install()
{
    State &s = state();
    std::lock_guard lock(s.mutex);
    s.armed = true;
    if (s.installed)
        return;
    s.installed = true;
    s.owner = ::getpid();
    // on_exit, unlike atexit, hands over the status, which the process keeps.
    ::on_exit(storeAtExit, nullptr);
}

void seen(const QString &text)
{
    State &s = state();
    std::lock_guard lock(s.mutex);
    s.seen = text;
}

void stored(const QString &text)
{
    State &s = state();
    std::lock_guard lock(s.mutex);
    s.stored = text;
}

void disarm()
{
    State &s = state();
    std::lock_guard lock(s.mutex);
    s.armed = false;
}

} // namespace ExitTimeStore
