#pragma once

#include "libreoffice/layer.h"

#include <QtGlobal>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

// The thread that watches the deadline of every call its engine instances are
// waiting on. A call that misses its deadline has its expiry run on this
// thread (the instance is killed, which breaks the waiting call's connection).
// Each instance holds the watchdog it is watched by, so that it ends after
// the last of them.
class EngineWatchdog
{
public:
    using Clock = std::chrono::steady_clock;

    EngineWatchdog() = default;
    // Ends the thread; expiries still armed never run.
    ~EngineWatchdog();
    EngineWatchdog(const EngineWatchdog &) = delete;
    EngineWatchdog &operator=(const EngineWatchdog &) = delete;

    // The watchdog of the instances that were given none: made for the first
    // of them, ended after the last.
    static std::shared_ptr<EngineWatchdog> shared();

    // Returns a ticket for disarm(). The expiry runs at most once, on the
    // watchdog's thread, and must be quick: it holds up the other deadlines.
    quint64 arm(Clock::time_point deadline, std::function<void()> expiry);
    // Once it returns, the expiry of the ticket has run or never will.
    void disarm(quint64 ticket);

private:
    void watch();

    struct Watch {
        Clock::time_point deadline;
        std::function<void()> expiry;
    };
    std::mutex mMutex;
    std::condition_variable mWake;
    std::map<quint64, Watch> mWatches;
    quint64 mLastTicket = 0;
    bool mStopping = false;
    std::thread mThread;
};
