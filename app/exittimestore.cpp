#include "app/exittimestore.h"

#include "entries/sampleentries.h"
#include "ground/settingsstore.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>

#include <sys/wait.h>
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

void store(const QString &text)
{
    try {
        SaveSetting(kSettingsApp, kSettingsSection, kAssetsKey, text);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "quintarra: your list could not be saved: %s\n", e.what());
    }
}

// The user-interface thread still runs when exit() comes from another thread,
// and Qt's at times crashes on the dead display connection at once (seen as
// SIGSEGV and as a damaged heap). A child process holds a copy of the list
// and stores it whatever becomes of this one; this one waits for it a while.
void storeInChild(const QString &text)
{
    const pid_t child = ::fork();
    if (child == 0) {
        store(text);
        ::_exit(0);
    }
    if (child < 0) {
        store(text);
        return;
    }
    for (int waited = 0; waited < 3000; ++waited) {
        if (::waitpid(child, nullptr, WNOHANG) == child)
            return;
        ::usleep(10'000);
    }
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
        if (s.seen && s.seen != s.stored)
            storeInChild(*s.seen);
    }
    // The static objects that exit() would destroy next are in use on the
    // user-interface thread: the process ends here instead.
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
