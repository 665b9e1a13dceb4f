#include "libreoffice/process/enginewatchdog.h"

#include <algorithm>

EngineWatchdog::~EngineWatchdog()
{
    {
        std::lock_guard lock(mMutex);
        mStopping = true;
    }
    mWake.notify_all();
    if (mThread.joinable())
        mThread.join();
}

std::shared_ptr<EngineWatchdog> EngineWatchdog::shared()
{
    // Never destroyed, and holding no watchdog: a spare's thread may ask for
    // it while the program exits.
    static std::mutex *const mutex = new std::mutex;
    static std::weak_ptr<EngineWatchdog> *const current = new std::weak_ptr<EngineWatchdog>;
    std::lock_guard lock(*mutex);
    auto watchdog = current->lock();
    if (!watchdog) {
        watchdog = std::make_shared<EngineWatchdog>();
        *current = watchdog;
    }
    return watchdog;
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
    while (!mStopping) {
        if (mWatches.empty()) {
            mWake.wait(lock);
            continue;
        }
        const auto nearest = std::min_element(mWatches.begin(), mWatches.end(), [](const auto &a, const auto &b) {
            return a.second.deadline < b.second.deadline;
        });
        // A copy: the wait reads it again after waking, and by then the
        // call may have been disarmed and its entry erased.
        const Clock::time_point deadline = nearest->second.deadline;
        if (Clock::now() < deadline) {
            // Woken early by a new or ended call, the nearest deadline is found again.
            mWake.wait_until(lock, deadline);
            continue;
        }
        const std::function<void()> expiry = std::move(nearest->second.expiry);
        mWatches.erase(nearest);
        expiry();
    }
}
