#include "libreoffice/document/session.h"

#include "libreoffice/document/loworkbook.h"

#include <QFileInfo>

namespace {

using std::chrono::duration_cast;
using std::chrono::milliseconds;
using std::chrono::seconds;

// LibreOffice saves a pie in time that grows with its slices: the flat pie of
// the longest list, 32,766 slices, took 25 s to save on an idle machine and
// 35 to 45 s on a busy one, in one call (each band of its picture took under
// 3 s). Each slice is given room for a machine twice as busy again.
constexpr std::chrono::microseconds kCallTimePerSlice{3000};

// A workbook takes time to load in proportion to its size, before anything
// of it can be counted: the longest list's (5.6 MB) took 7 s on an idle
// machine, 12 s on a busy one, and a conversion to .xlsx, which loads and
// writes it in one call, 33 s.
constexpr milliseconds kCallTimePerMegabyte{10000};

// In whole seconds, so that a limit a report names stays a round number.
milliseconds wholeSeconds(std::chrono::microseconds time)
{
    return duration_cast<seconds>(time);
}

} // namespace

EngineProcess &Session::alive(const QString &action)
{
    if (!engine || !engine->isReady())
        throw InstanceLostError(
                QStringLiteral("Cannot %1: this LibreOffice instance has already ended.").arg(action));
    return *engine;
}

void Session::dropClosedBooks()
{
    std::erase_if(books, [](const auto &book) { return book->isClosed(); });
}

void Session::endOnRequest(std::stop_token stop)
{
    if (!stop.stop_possible())
        return;
    EngineProcess *instance = engine.get();
    // Killing it breaks the connection: the call under way fails at once,
    // as when the watchdog ends an instance that stopped answering.
    stopping.emplace(std::move(stop), std::function<void()>([instance] { instance->kill(); }));
}

void Session::allowForChartSlices(int slices)
{
    if (engine)
        engine->allowLongerCalls(wholeSeconds(kCallTimePerSlice * slices));
}

void Session::allowForLoading(const QString &path)
{
    if (engine)
        engine->allowLongerCalls(wholeSeconds(kCallTimePerMegabyte * QFileInfo(path).size() / (1024 * 1024)));
}
