#include "libreoffice/process/enginewatchdog.h"

#include <algorithm>

EngineWatchdog &EngineWatchdog::instance()
{
    // Never destroyed: when the program exits (as Qt makes it exit when the
    // display is lost), the spares' threads may still be calling an instance,
    // and the handlers that run at exit, which store the list, must not meet
    // a watchdog destroyed under those threads. Its thread ends with the process.
    static EngineWatchdog *const watchdog = new EngineWatchdog;
    return *watchdog;
}

quint64 EngineWatchdog::arm(Clock::time_point deadline, std::function<void()> expiry)
{
    quint64 ticket;
    {
        std::lock_guard lock(mMutex);
        // Started with the first call, so that a program that never calls an
        // instance has no thread for it.
        if (!mThread.joinable())
            mThread = std::thread([this] { watch(); });
        ticket = ++mLastTicket;
        mWatches.emplace(ticket, Watch{deadline, std::move(expiry)});
    }
    mWake.notify_all();
    return ticket;
}

void EngineWatchdog::disarm(quint64 ticket)
{
    // The expiry runs under the lock: taking it here waits for one under way.
    std::lock_guard lock(mMutex);
    mWatches.erase(ticket);
}

void EngineWatchdog::watch()
{
    std::unique_lock lock(mMutex);
    for (;;) {
        if (mWatches.empty()) {
            mWake.wait(lock);
            continue;
        }
        const auto nearest = std::min_element(mWatches.begin(), mWatches.end(), [](const auto &a, const auto &b) {
            return a.second.deadline < b.second.deadline;
        });
        if (Clock::now() < nearest->second.deadline) {
            // Woken early by a new or ended call, the nearest deadline is found again.
            mWake.wait_until(lock, nearest->second.deadline);
            continue;
        }
        const std::function<void()> expiry = std::move(nearest->second.expiry);
        mWatches.erase(nearest);
        expiry();
    }
}
