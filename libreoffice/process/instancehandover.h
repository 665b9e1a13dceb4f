#pragma once

#include "libreoffice/layer.h"

#include <memory>
#include <mutex>

class EngineProcess;
class EngineSpares;

// An instance that a command quit while it kept the workbook it saved open,
// for the command's next instance, which draws that workbook, to take instead
// of loading it again. Only while a command is under way: any other instance,
// or one handed over and never taken, is ended as a quit instance is.
class InstanceHandOver
{
public:
    // Where instances are ended in the background; without one, at once.
    void setCollector(std::shared_ptr<EngineSpares> collector);
    void commandStarted();
    // Ends the instance handed over and not taken.
    void commandEnded();
    bool wanted() const;

    void handOver(std::unique_ptr<EngineProcess> engine);
    // The instance handed over, when it still runs and answers; null otherwise.
    std::unique_ptr<EngineProcess> take();

private:
    void end(std::unique_ptr<EngineProcess> engine) const;

    std::shared_ptr<EngineSpares> mCollector;
    mutable std::mutex mMutex;
    bool mCommandUnderWay = false;
    std::unique_ptr<EngineProcess> mEngine;
};
