#include "libreoffice/process/idlerelease.h"

#include "libreoffice/process/enginespares.h"

#include <cmath>

std::chrono::milliseconds IdleRelease::idleTimeFromEnvironment()
{
    return idleTimeFrom(qgetenv("QUINTARRA_IDLE_MINUTES"));
}

std::chrono::milliseconds IdleRelease::idleTimeFrom(const QByteArray &minutes)
{
    bool ok = false;
    const double value = minutes.trimmed().toDouble(&ok);
    // A week is as good as never, and keeps the milliseconds in a timer's range.
    if (!ok || !std::isfinite(value) || value < 0 || value > 7 * 24 * 60)
        return kDefaultIdleTime;
    return std::chrono::milliseconds(std::llround(value * 60000));
}

IdleRelease::IdleRelease(std::shared_ptr<EngineSpares> spares, std::chrono::milliseconds idleTime)
    : mSpares(std::move(spares)), mIdleTime(idleTime)
{
    mTimer.setSingleShot(true);
    QObject::connect(&mTimer, &QTimer::timeout, [this] { idleTimeReached(); });
    mSinceActive.start();
    mTimer.start(mIdleTime);
}

void IdleRelease::setIdleTime(std::chrono::milliseconds idleTime)
{
    mIdleTime = idleTime;
    mSinceActive.restart();
    mTimer.start(mIdleTime);
}

void IdleRelease::userActive()
{
    // Called for every pointer movement: only a released keeper has work to do
    // at once; otherwise the timer finds out when it fires.
    mSinceActive.restart();
    if (mReleased) {
        mReleased = false;
        mSpares->startKeeping();
    }
    if (!mTimer.isActive())
        mTimer.start(mIdleTime);
}

void IdleRelease::idleTimeReached()
{
    const auto idleFor = std::chrono::milliseconds(mSinceActive.elapsed());
    if (idleFor < mIdleTime) {
        mTimer.start(mIdleTime - idleFor);
        return;
    }
    // A command under way is never upset: the idle time counts from its end.
    if (mSpares->isBusy()) {
        mSinceActive.restart();
        mTimer.start(mIdleTime);
        return;
    }
    mReleased = true;
    mSpares->stopKeeping();
}
