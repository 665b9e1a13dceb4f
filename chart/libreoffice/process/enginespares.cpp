#include "chart/libreoffice/process/enginespares.h"

#include "chart/libreoffice/disk/engineregistry.h"
#include "chart/libreoffice/document/loadoptions.h"
#include "chart/spreadsheetserver.h"
#include "chart/libreoffice/unocall.h"
#include "shell/processruns.h"

#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <com/sun/star/view/XSelectionSupplier.hpp>

#include <QFile>

#include <sys/resource.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <set>
#include <mutex>
#include <thread>

namespace {

// What the chart command's documents cost a fresh instance, paid while nobody
// waits: the Calc module, the .xls import and export filters, and the picture
// export with the chart drawn in it. The same two documents as the command's:
// a private copy of the template, saved as a workbook, and that workbook
// opened again, since a spare does not know whether it will fill or draw.
void warmUp(EngineProcess &engine, const QString &document)
{
    QFile resource(document);
    const QString source = engine.scratchFolder() + QStringLiteral("/warm.xlt");
    QFile copy(source);
    if (!resource.open(QIODevice::ReadOnly) || !copy.open(QIODevice::WriteOnly)
        || copy.write(resource.readAll()) < 0)
        return;
    copy.close();
    const QString workbook = engine.scratchFolder() + QStringLiteral("/warm.xls");
    const QString picture = engine.scratchFolder() + QStringLiteral("/warm.png");
    engineCall(engine, QStringLiteral("warm up"), [&] {
        const Reference<css::frame::XComponentLoader> loader(engine.connection().desktop, UNO_QUERY_THROW);
        const auto load = [&](const QString &path) {
            return loader->loadComponentFromURL(fileUrl(path), OUString("_blank"), 0, HiddenLoadOptions());
        };
        const auto filled = load(source);
        const css::beans::PropertyValue asXls[] = {property("FilterName", Any(OUString("MS Excel 97"))),
                                                   property("Overwrite", Any(true))};
        Reference<css::frame::XStorable>(filled, UNO_QUERY_THROW)->storeToURL(fileUrl(workbook),
                                                                             css::uno::Sequence(asXls, 2));
        Reference<css::util::XCloseable>(filled, UNO_QUERY_THROW)->close(true);

        const auto drawn = load(workbook);
        const Reference<css::sheet::XSpreadsheetDocument> document(drawn, UNO_QUERY_THROW);
        const Reference<css::container::XIndexAccess> sheets(document->getSheets(), UNO_QUERY_THROW);
        const Reference<css::sheet::XSpreadsheet> sheet(sheets->getByIndex(0), UNO_QUERY_THROW);
        const Reference<css::frame::XModel> model(drawn, UNO_QUERY_THROW);
        const Reference<css::view::XSelectionSupplier> selection(model->getCurrentController(), UNO_QUERY_THROW);
        // Wide and tall enough to take the template's chart in.
        selection->select(Any(sheet->getCellRangeByPosition(0, 0, 15, 29)));
        const css::beans::PropertyValue asPng[] = {property("FilterName", Any(OUString("calc_png_Export"))),
                                                   property("SelectionOnly", Any(true))};
        Reference<css::frame::XStorable>(drawn, UNO_QUERY_THROW)->storeToURL(fileUrl(picture),
                                                                            css::uno::Sequence(asPng, 2));
        Reference<css::util::XCloseable>(drawn, UNO_QUERY_THROW)->close(true);
    });
    QFile::remove(source);
    QFile::remove(workbook);
    QFile::remove(picture);
}

bool isStopped(qint64 pid)
{
    const QList<QByteArray> fields = ProcessRuns::processStatFields(pid);
    if (fields.isEmpty())
        return true;
    return fields.first() == "T" || fields.first() == "t" || fields.first() == "Z";
}

// Spares that fail to start this many times in a row are not tried again
// until a command takes one: the engine is broken, and the command says so.
constexpr int kFailuresBeforeResting = 2;

} // namespace

struct EngineSpares::Private {
    struct Spare {
        std::unique_ptr<EngineProcess> engine;
        bool warmed = false;
    };

    Options options;
    mutable std::mutex mutex;
    std::condition_variable changed;
    std::deque<Spare> ready;   // connected
    EngineProcess *startingEngine = nullptr;   // started or warmed now, outside ready
    bool starting = false;
    quint64 attempts = 0;   // spares whose start or warm-up has ended, well or not
    std::set<const EngineProcess *> inUse;   // handed out and not collected yet
    int commandsUnderWay = 0;
    bool keeping = false;
    bool stopping = false;
    int failuresInARow = 0;
    std::thread keeper;

    // Instances being ended in the background.
    struct Collector {
        std::thread thread;
        std::shared_ptr<std::atomic_bool> done;
    };
    std::vector<Collector> collectors;
    QList<qint64> quitting;

    void keep();
    // Runs the work on a spare outside the lock, as the one on its way; false
    // when it failed, and the spare is gone.
    bool prepare(std::unique_lock<std::mutex> &lock, std::unique_ptr<EngineProcess> &engine,
                 const std::function<void(EngineProcess &)> &work);
    EngineProcess::Options engineOptions() const
    {
        EngineProcess::Options engine;
        engine.callTimeout = options.callTimeout;
        engine.program = options.program;
        return engine;
    }
};

bool EngineSpares::Private::prepare(std::unique_lock<std::mutex> &lock, std::unique_ptr<EngineProcess> &engine,
                                    const std::function<void(EngineProcess &)> &work)
{
    starting = true;
    startingEngine = engine.get();
    lock.unlock();
    bool done = true;
    try {
        work(*engine);
        if (!engine->isRunning())
            throw SpreadsheetError(QStringLiteral("The spare ended while it was prepared."));
    } catch (const std::exception &) {
        done = false;
    }
    lock.lock();
    startingEngine = nullptr;
    if (!done) {
        lock.unlock();
        engine.reset();
        lock.lock();
    }
    starting = false;
    ++attempts;
    changed.notify_all();
    return done;
}

void EngineSpares::Private::keep()
{
    std::unique_lock lock(mutex);
    while (!stopping) {
        const bool resting = failuresInARow >= kFailuresBeforeResting;
        // A replacement waits until no command is under way and no instance
        // that was handed out is in use: an instance starting costs the
        // processor and the disk what the command's instances need, and a
        // command finds the spares it takes ready before it starts.
        if (int(ready.size()) < options.count && !resting && inUse.empty() && commandsUnderWay == 0) {
            auto engine = std::make_unique<EngineProcess>(engineOptions());
            // Started on this thread, which lives until every spare has ended.
            const bool started = prepare(lock, engine, [](EngineProcess &spare) {
                spare.start();
                spare.waitUntilReady();
            });
            failuresInARow = started ? 0 : failuresInARow + 1;
            if (started)
                ready.push_back({std::move(engine), false});
            continue;
        }
        // Warming costs the processor what the command would need: it waits
        // until no instance that was handed out is still in use.
        const auto cold = std::find_if(ready.begin(), ready.end(), [](const Spare &spare) { return !spare.warmed; });
        if (options.warm && inUse.empty() && commandsUnderWay == 0 && cold != ready.end()) {
            auto engine = std::move(cold->engine);
            ready.erase(cold);
            if (prepare(lock, engine, [this](EngineProcess &spare) { warmUp(spare, options.warmUpDocument); }))
                ready.push_back({std::move(engine), true});
            continue;
        }
        changed.wait(lock);
    }
    // Spares that nobody took end with their keeper.
    auto left = std::move(ready);
    lock.unlock();
    left.clear();
}

EngineSpares::EngineSpares(const Options &options) : d(std::make_unique<Private>())
{
    d->options = options;
}

EngineSpares::~EngineSpares()
{
    {
        std::lock_guard lock(d->mutex);
        d->stopping = true;
        // A spare still on its way is of no more use: the program is ending.
        if (d->startingEngine)
            d->startingEngine->kill();
    }
    d->changed.notify_all();
    if (d->keeper.joinable())
        d->keeper.join();
    for (Private::Collector &collector : d->collectors)
        collector.thread.join();
}

void EngineSpares::startKeeping()
{
    std::lock_guard lock(d->mutex);
    if (d->keeping || d->options.count <= 0)
        return;
    d->keeping = true;
    d->keeper = std::thread([this] { d->keep(); });
}

std::unique_ptr<EngineProcess> EngineSpares::take(std::chrono::steady_clock::time_point deadline)
{
    std::unique_lock lock(d->mutex);
    if (!d->keeping)
        return nullptr;
    // A command wants one: a keeper that rested after failures tries again.
    d->failuresInARow = 0;
    d->changed.notify_all();
    // Only the spare on its way now is waited for: when it fails, the caller
    // is better off starting its own than waiting for the next attempt.
    const quint64 awaited = d->attempts + 1;
    while (true) {
        while (!d->ready.empty()) {
            auto chosen = std::find_if(d->ready.begin(), d->ready.end(),
                                       [](const Private::Spare &spare) { return spare.warmed; });
            if (chosen == d->ready.end())
                chosen = d->ready.begin();
            std::unique_ptr<EngineProcess> engine = std::move(chosen->engine);
            d->ready.erase(chosen);
            d->changed.notify_all();
            // One that died or was stopped while it waited is of no use, nor
            // one whose folders were cleaned away meanwhile.
            if (engine->isRunning() && !isStopped(engine->pid()) && engine->hasItsFolders()) {
                d->inUse.insert(engine.get());
                return engine;
            }
            lock.unlock();
            collect(std::move(engine));
            lock.lock();
        }
        if (!d->starting || d->stopping || d->attempts >= awaited)
            return nullptr;
        if (d->changed.wait_until(lock, deadline) == std::cv_status::timeout && d->ready.empty())
            return nullptr;
    }
}

void EngineSpares::collect(std::unique_ptr<EngineProcess> engine)
{
    if (!engine)
        return;
    std::lock_guard lock(d->mutex);
    // Finished collectors are joined as new ones come, so that they do not pile up.
    std::erase_if(d->collectors, [](Private::Collector &collector) {
        if (!*collector.done)
            return false;
        collector.thread.join();
        return true;
    });
    const qint64 pid = engine->pid();
    d->quitting.append(pid);
    if (d->inUse.erase(engine.get()) > 0)
        d->changed.notify_all();
    auto done = std::make_shared<std::atomic_bool>(false);
    // Its ending work gives way to the instances still at work. An instance
    // already reaped is left alone: its number may be another process's now,
    // and 0 would name this one.
    if (pid > 0 && engine->isRunning())
        setpriority(PRIO_PROCESS, id_t(pid), 19);
    std::thread thread([this, pid, done, owned = engine.release()] {
        std::unique_ptr<EngineProcess> ending(owned);
        ending->quit();
        ending.reset();
        std::lock_guard finished(d->mutex);
        d->quitting.removeOne(pid);
        *done = true;
        d->changed.notify_all();
    });
    d->collectors.push_back({std::move(thread), done});
}

void EngineSpares::commandStarted()
{
    std::lock_guard lock(d->mutex);
    ++d->commandsUnderWay;
}

void EngineSpares::commandEnded()
{
    {
        std::lock_guard lock(d->mutex);
        d->commandsUnderWay = std::max(0, d->commandsUnderWay - 1);
    }
    d->changed.notify_all();
}

QList<qint64> EngineSpares::sparePids() const
{
    std::lock_guard lock(d->mutex);
    QList<qint64> pids;
    for (const auto &spare : d->ready)
        pids.append(spare.engine->pid());
    // Its process may not be forked yet.
    if (d->startingEngine && d->startingEngine->pid() > 0)
        pids.append(d->startingEngine->pid());
    return pids;
}

QList<qint64> EngineSpares::quittingPids() const
{
    std::lock_guard lock(d->mutex);
    return d->quitting;
}

bool EngineSpares::waitUntilFilled(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(d->mutex);
    return d->changed.wait_for(lock, timeout, [&] {
        return int(d->ready.size()) >= d->options.count
                && std::all_of(d->ready.begin(), d->ready.end(),
                               [&](const Private::Spare &spare) { return spare.warmed || !d->options.warm; });
    });
}
