#pragma once

#include "libreoffice/layer.h"

#include "libreoffice/process/engineprocess.h"

#include <QList>
#include <QString>

#include <chrono>
#include <memory>

// Engine instances started, connected and warmed ahead of need, in the
// background, so that a command's "new instance" is one that already runs; and
// the instances that commands have quit, ended in the background. Every one of
// them ends with this object.
class EngineSpares
{
public:
    struct Options {
        int count = 2;   // the chart command takes two instances
        std::chrono::milliseconds callTimeout = EngineProcess::kDefaultCallTimeout;
        qint64 memoryLimitMb = EngineProcess::kDefaultMemoryLimitMb;
        QString program;   // the installed soffice.bin unless set
        std::shared_ptr<EngineWatchdog> watchdog;   // of every instance; a shared one unless set
        // Load Calc, its .xls filters and the picture export before a command needs them,
        // by filling, saving and drawing a copy of this document (a file or a resource).
        bool warm = true;
        QString warmUpDocument;
    };

    explicit EngineSpares(const Options &options);
    // Ends every instance that end() would end.
    ~EngineSpares();
    EngineSpares(const EngineSpares &) = delete;
    EngineSpares &operator=(const EngineSpares &) = delete;

    // Starts keeping the spares; until then there are none.
    void startKeeping();
    // Ends the spares in the background, and the one on its way once it is
    // ready; instances handed out are left alone. startKeeping() again
    // starts new ones.
    void stopKeeping();
    // Ends the spares, the one on its way and the instances being collected,
    // and waits until all of them have ended; instances handed out end with
    // their holders. Nothing starts again afterwards.
    void end();
    // A command is under way, or an instance handed out has not quit yet.
    bool isBusy() const;

    // A connected spare, never handed out before; a replacement starts at once.
    // When none is ready but one is on its way, waits for it until the
    // deadline. nullptr when none can be had: the caller starts its own.
    std::unique_ptr<EngineProcess> take(std::chrono::steady_clock::time_point deadline);

    // A command that takes instances is under way, or has ended: spares are
    // neither started nor warmed meanwhile.
    void commandStarted();
    void commandEnded();

    // Ends the instance away from the caller: told to end at once, waited for
    // and, if need be, killed in the background.
    void collect(std::unique_ptr<EngineProcess> engine);

protected:
    // For a subclass that watches the spares (tests and benchmarks): the
    // processes of the spares, ready or starting, and of the instances still
    // ending; and a wait until count spares are ready, false on timeout.
    QList<qint64> sparePids() const;
    QList<qint64> quittingPids() const;
    bool waitUntilFilled(std::chrono::milliseconds timeout);

private:
    struct Private;
    std::unique_ptr<Private> d;
};
