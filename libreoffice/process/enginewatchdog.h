#pragma once

#include "libreoffice/layer.h"

#include <QtGlobal>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

// The one thread that watches the deadline of every call any engine instance
// is waiting on. A call that misses its deadline has its expiry run on this
// thread (the instance is killed, which breaks the waiting call's connection).
class EngineWatchdog
{
public:
    using Clock = std::chrono::steady_clock;

    static EngineWatchdog &instance();

    // Returns a ticket for disarm(). The expiry runs at most once, on the
    // watchdog's thread, and must be quick: it holds up the other deadlines.
    quint64 arm(Clock::time_point deadline, std::function<void()> expiry);
    // Once it returns, the expiry of the ticket has run or never will.
    void disarm(quint64 ticket);

private:
    EngineWatchdog() = default;
    void watch();

    struct Watch {
        Clock::time_point deadline;
        std::function<void()> expiry;
    };
    std::mutex mMutex;
    std::condition_variable mWake;
    std::map<quint64, Watch> mWatches;
    quint64 mLastTicket = 0;
    std::thread mThread;
};
