#include "libreoffice/process/enginespares.h"

#include "ground/processruns.h"
#include "libreoffice/disk/engineregistry.h"
#include "libreoffice/document/chartplaces.h"
#include "libreoffice/document/firstsheet.h"
#include "libreoffice/document/loadoptions.h"
#include "libreoffice/process/helddocument.h"
#include "libreoffice/unocall.h"
#include "spreadsheet/spreadsheetserver.h"

#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/sheet/XCellRangeData.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <com/sun/star/view/XSelectionSupplier.hpp>

#include <QFile>
#include <QScopeGuard>
#include <QThreadPool>

#include <sys/resource.h>

#include <condition_variable>
#include <deque>
#include <set>
#include <mutex>

namespace {

// What the chart command's documents cost a fresh instance, paid while nobody
// waits: the Calc module, the .xls import and export filters, the picture
// export with the chart drawn in it, and the reading of a list's labels. The
// same two documents as the command's: a private copy of the template, saved
// as a workbook, and that workbook opened again, since a spare does not know
// whether it will fill or draw.
// The template is then opened once more and held, for the command's open of
// the same bytes to take.
void warmUp(EngineProcess &engine, const QString &document)
{
    QFile resource(document);
    if (!resource.open(QIODevice::ReadOnly))
        return;
    const QByteArray bytes = resource.readAll();
    const QString source = engine.scratchFolder() + QStringLiteral("/warm.xlt");
    QFile copy(source);
    if (!copy.open(QIODevice::WriteOnly) || copy.write(bytes) < 0)
        return;
    copy.close();
    const QString workbook = engine.scratchFolder() + QStringLiteral("/warm.xls");
    const QString picture = engine.scratchFolder() + QStringLiteral("/warm.png");
    const auto removeFiles = qScopeGuard([&] {
        QFile::remove(source);
        QFile::remove(workbook);
        QFile::remove(picture);
    });
    engineCall(engine, QStringLiteral("warm up"), [&] {
        const auto filled = LoadHidden(engine, source);
        const css::beans::PropertyValue asXls[] = {property("FilterName", Any(OUString("MS Excel 97"))),
                                                   property("Overwrite", Any(true))};
        Reference<css::frame::XStorable>(filled, UNO_QUERY_THROW)->storeToURL(fileUrl(workbook),
                                                                             css::uno::Sequence(asXls, 2));
        const QList<QRect> openPlaces = FirstSheetChartPlaces(filled);
        Reference<css::util::XCloseable>(filled, UNO_QUERY_THROW)->close(true);

        const auto drawn = LoadHidden(engine, workbook);
        const QList<QRect> reopenedPlaces = FirstSheetChartPlaces(drawn);
        const auto sheet = FirstSheetOf<css::sheet::XSpreadsheet>(drawn);
        const Reference<css::frame::XModel> model(drawn, UNO_QUERY_THROW);
        const Reference<css::view::XSelectionSupplier> selection(model->getCurrentController(), UNO_QUERY_THROW);
        // Wide and tall enough to take the template's chart in.
        selection->select(Any(sheet->getCellRangeByPosition(0, 0, 15, 29)));
        const css::beans::PropertyValue asPng[] = {property("FilterName", Any(OUString("calc_png_Export"))),
                                                   property("SelectionOnly", Any(true))};
        Reference<css::frame::XStorable>(drawn, UNO_QUERY_THROW)->storeToURL(fileUrl(picture),
                                                                            css::uno::Sequence(asPng, 2));
        // The first text with a digit in it that cells are given has the
        // instance read the currency of every locale it knows, to tell
        // whether the text is an amount: most of the time the command's
        // rows would take otherwise. Written where the command writes its
        // first row, into a document closed unsaved.
        const Any cells[] = {Any(OUString("Asset 1")), Any(1250.0)};
        Sequence<Sequence<Any>> row(1);
        row.getArray()[0] = Sequence<Any>(cells, 2);
        Reference<css::sheet::XCellRangeData>(sheet->getCellRangeByPosition(0, 3, 1, 3), UNO_QUERY_THROW)
                ->setDataArray(row);
        Reference<css::util::XCloseable>(drawn, UNO_QUERY_THROW)->close(true);

        // Where the template's charts lie in a workbook saved from it and
        // opened again, for the command to draw the workbook it saved as the
        // workbook opened again would draw.
        QList<ReopenedChartPlace> places;
        if (openPlaces.size() == reopenedPlaces.size()) {
            for (qsizetype i = 0; i < openPlaces.size(); ++i)
                places.append({openPlaces.at(i), reopenedPlaces.at(i)});
        }
        engine.holdDocument(
                std::make_unique<HeldDocument>(HeldDocument{bytes, LoadHidden(engine, source), places}));
    });
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
    // Every start, warm-up and ending runs here. Its threads never expire:
    // an instance is killed when the thread that started it ends, so they
    // live until this object, which ends every instance first.
    QThreadPool pool;
    mutable std::mutex mutex;
    std::condition_variable changed;
    std::deque<Spare> ready;   // connected
    // The spare being started or warmed now, outside ready; one at a time.
    std::unique_ptr<EngineProcess> preparing;
    bool starting = false;
    quint64 attempts = 0;   // spares whose start or warm-up has ended, well or not
    std::set<const EngineProcess *> inUse;   // handed out and not collected yet
    int commandsUnderWay = 0;
    bool keeping = false;
    bool stopping = false;
    int failuresInARow = 0;
    QList<qint64> quitting;   // instances being ended

    // With the lock held: starts the next piece of work the spares need, if any.
    void schedule();
    // On the pool: starts or warms the spare being prepared.
    void prepare(bool warm);
    // With the lock held: ends the instance on the pool.
    void endInBackground(std::unique_ptr<EngineProcess> engine);
    EngineProcess::Options engineOptions() const
    {
        EngineProcess::Options engine;
        engine.callTimeout = options.callTimeout;
        engine.memoryLimitMb = options.memoryLimitMb;
        engine.program = options.program;
        engine.watchdog = options.watchdog;
        return engine;
    }
};

void EngineSpares::Private::schedule()
{
    // A replacement, or a warm-up, waits until no command is under way and no
    // instance that was handed out is in use: it costs the processor and the
    // disk what the command's instances need, and a command finds the spares
    // it takes ready before it starts.
    if (!keeping || stopping || starting || !inUse.empty() || commandsUnderWay > 0)
        return;
    const bool resting = failuresInARow >= kFailuresBeforeResting;
    if (int(ready.size()) < options.count && !resting) {
        preparing = std::make_unique<EngineProcess>(engineOptions());
        starting = true;
        pool.start([this] { prepare(false); });
        return;
    }
    const auto cold = std::find_if(ready.begin(), ready.end(), [](const Spare &spare) { return !spare.warmed; });
    if (options.warm && cold != ready.end()) {
        preparing = std::move(cold->engine);
        ready.erase(cold);
        starting = true;
        pool.start([this] { prepare(true); });
    }
}

void EngineSpares::Private::prepare(bool warm)
{
    std::unique_lock lock(mutex);
    EngineProcess &engine = *preparing;
    const bool wanted = !stopping;
    lock.unlock();
    bool done = false;
    try {
        if (wanted) {
            if (warm)
                warmUp(engine, options.warmUpDocument);
            else
                engine.waitUntilReady();
            done = engine.isRunning();
        }
    } catch (const std::exception &) {
    }
    lock.lock();
    // One finished after the spares were released, or once they end, is not kept.
    std::unique_ptr<EngineProcess> failed;
    if (done && keeping && !stopping)
        ready.push_back({std::move(preparing), warm});
    else
        failed = std::move(preparing);
    if (!warm)
        failuresInARow = done ? 0 : failuresInARow + 1;
    starting = false;
    ++attempts;
    changed.notify_all();
    schedule();
    lock.unlock();
    // Ended here, on a thread of the pool, away from whoever waits.
    failed.reset();
}

void EngineSpares::Private::endInBackground(std::unique_ptr<EngineProcess> engine)
{
    const qint64 pid = engine->pid();
    quitting.append(pid);
    // Its ending work gives way to the instances still at work. An instance
    // already reaped is left alone: its number may be another process's now,
    // and 0 would name this one.
    if (pid > 0 && engine->isRunning())
        setpriority(PRIO_PROCESS, id_t(pid), 19);
    pool.start([this, pid, ending = std::shared_ptr<EngineProcess>(std::move(engine))]() mutable {
        ending->quit();
        ending.reset();
        std::lock_guard finished(mutex);
        quitting.removeOne(pid);
        changed.notify_all();
    });
}

EngineSpares::EngineSpares(const Options &options) : d(std::make_unique<Private>())
{
    d->options = options;
    d->pool.setExpiryTimeout(-1);
    // The one spare being prepared, and the two instances of a chart ending.
    d->pool.setMaxThreadCount(3);
}

EngineSpares::~EngineSpares()
{
    end();
}

void EngineSpares::end()
{
    {
        std::lock_guard lock(d->mutex);
        d->stopping = true;
        // A spare still on its way is of no more use: the program is ending.
        if (d->preparing)
            d->preparing->kill();
        // Spares that nobody took end with their keeper, side by side.
        for (Private::Spare &spare : d->ready)
            d->endInBackground(std::move(spare.engine));
        d->ready.clear();
    }
    d->pool.waitForDone();
}

void EngineSpares::startKeeping()
{
    std::lock_guard lock(d->mutex);
    if (d->keeping || d->options.count <= 0)
        return;
    d->keeping = true;
    d->failuresInARow = 0;
    d->schedule();
}

void EngineSpares::stopKeeping()
{
    std::lock_guard lock(d->mutex);
    d->keeping = false;
    for (Private::Spare &spare : d->ready)
        d->endInBackground(std::move(spare.engine));
    d->ready.clear();
    d->changed.notify_all();
}

bool EngineSpares::isBusy() const
{
    std::lock_guard lock(d->mutex);
    return d->commandsUnderWay > 0 || !d->inUse.empty();
}

std::unique_ptr<EngineProcess> EngineSpares::take(std::chrono::steady_clock::time_point deadline)
{
    std::unique_lock lock(d->mutex);
    if (!d->keeping)
        return nullptr;
    // A command wants one: a keeper that rested after failures tries again.
    d->failuresInARow = 0;
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
            // One that died or was stopped while it waited is of no use, nor
            // one whose folders were cleaned away meanwhile.
            if (engine->isRunning() && !isStopped(engine->pid()) && engine->hasItsFolders()) {
                d->inUse.insert(engine.get());
                return engine;
            }
            d->endInBackground(std::move(engine));
        }
        d->schedule();
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
    d->inUse.erase(engine.get());
    d->endInBackground(std::move(engine));
    d->schedule();
}

void EngineSpares::commandStarted()
{
    std::lock_guard lock(d->mutex);
    ++d->commandsUnderWay;
}

void EngineSpares::commandEnded()
{
    std::lock_guard lock(d->mutex);
    d->commandsUnderWay = std::max(0, d->commandsUnderWay - 1);
    d->schedule();
}

QList<qint64> EngineSpares::sparePids() const
{
    std::lock_guard lock(d->mutex);
    QList<qint64> pids;
    for (const auto &spare : d->ready)
        pids.append(spare.engine->pid());
    // Its process may not be forked yet.
    if (d->preparing && d->preparing->pid() > 0)
        pids.append(d->preparing->pid());
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
