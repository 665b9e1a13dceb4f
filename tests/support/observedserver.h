#pragma once

#include "libreoffice/libreofficeserver.h"
#include "libreoffice/process/enginespares.h"

#include <QList>

#include <chrono>
#include <memory>

// The engine's spares with what a test or a benchmark watches of them.
class ObservedSpares : public EngineSpares
{
public:
    using EngineSpares::EngineSpares;
    using EngineSpares::quittingPids;
    using EngineSpares::sparePids;
    using EngineSpares::waitUntilFilled;
};

// The product's engine, whose spares can be watched.
class ObservedServer : public LibreOfficeServer
{
public:
    // The spares' processes, ready or starting, and those of instances still
    // ending; empty when no spares are kept.
    QList<qint64> sparePids() const { return mObserved ? mObserved->sparePids() : QList<qint64>(); }
    QList<qint64> quittingPids() const { return mObserved ? mObserved->quittingPids() : QList<qint64>(); }
    // Waits until every spare is ready (and warm, when warmed); false on timeout.
    bool waitForSpares(std::chrono::milliseconds timeout) { return mObserved && mObserved->waitUntilFilled(timeout); }

protected:
    std::shared_ptr<EngineSpares> newSpares(const EngineSpares::Options &options) override
    {
        auto spares = std::make_shared<ObservedSpares>(options);
        mObserved = spares.get();
        return spares;
    }

private:
    ObservedSpares *mObserved = nullptr;
};
