#include "libreoffice/process/instancehandover.h"

#include "ground/processruns.h"
#include "libreoffice/process/engineprocess.h"
#include "libreoffice/process/enginespares.h"

namespace {

// Stopped by a signal, or ended and not collected yet.
bool stoppedOrGone(qint64 pid)
{
    const QList<QByteArray> fields = ProcessRuns::processStatFields(pid);
    return fields.isEmpty() || fields.first() == "T" || fields.first() == "t" || fields.first() == "Z";
}

} // namespace

void InstanceHandOver::setCollector(std::shared_ptr<EngineSpares> collector)
{
    std::lock_guard lock(mMutex);
    mCollector = std::move(collector);
}

void InstanceHandOver::commandStarted()
{
    std::lock_guard lock(mMutex);
    mCommandUnderWay = true;
}

void InstanceHandOver::commandEnded()
{
    std::unique_ptr<EngineProcess> left;
    {
        std::lock_guard lock(mMutex);
        mCommandUnderWay = false;
        left = std::move(mEngine);
    }
    end(std::move(left));
}

bool InstanceHandOver::wanted() const
{
    std::lock_guard lock(mMutex);
    return mCommandUnderWay;
}

void InstanceHandOver::handOver(std::unique_ptr<EngineProcess> engine)
{
    {
        std::lock_guard lock(mMutex);
        if (mCommandUnderWay)
            std::swap(mEngine, engine);
    }
    end(std::move(engine));
}

std::unique_ptr<EngineProcess> InstanceHandOver::take()
{
    std::unique_ptr<EngineProcess> handed;
    {
        std::lock_guard lock(mMutex);
        handed = std::move(mEngine);
    }
    if (handed && handed->isRunning() && !stoppedOrGone(handed->pid()))
        return handed;
    end(std::move(handed));
    return nullptr;
}

void InstanceHandOver::end(std::unique_ptr<EngineProcess> engine) const
{
    if (!engine)
        return;
    std::shared_ptr<EngineSpares> collector;
    {
        std::lock_guard lock(mMutex);
        collector = mCollector;
    }
    if (collector)
        collector->collect(std::move(engine));
    else
        engine->quit();
}
