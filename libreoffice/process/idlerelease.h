#pragma once

#include "libreoffice/layer.h"

#include <QElapsedTimer>
#include <QTimer>

#include <chrono>
#include <memory>

class EngineSpares;

// The warm spares cost a few hundred megabytes and buy time only while the
// user is there: after a while without input and without a command, they end;
// the first input after that starts and warms them again. Lives on the
// user-interface thread, whose timer measures the idle time.
class IdleRelease
{
public:
    static constexpr std::chrono::minutes kDefaultIdleTime{5};

    // QUINTARRA_IDLE_MINUTES, in minutes (fractions allowed): 0 keeps no
    // spares at all; unset or unreadable gives the default.
    static std::chrono::milliseconds idleTimeFromEnvironment();
    static std::chrono::milliseconds idleTimeFrom(const QByteArray &minutes);

    IdleRelease(std::shared_ptr<EngineSpares> spares, std::chrono::milliseconds idleTime);

    void setIdleTime(std::chrono::milliseconds idleTime);
    // Input to a window, or a command ending: the idle time starts again, and
    // released spares are started again.
    void userActive();

private:
    void idleTimeReached();

    std::shared_ptr<EngineSpares> mSpares;
    std::chrono::milliseconds mIdleTime;
    QTimer mTimer;
    QElapsedTimer mSinceActive;
    bool mReleased = false;
};
