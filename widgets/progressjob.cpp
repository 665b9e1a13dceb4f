#include "widgets/progressjob.h"

#include "ground/prompts.h"

#include <QEventLoop>
#include <QFutureWatcher>
#include <QProgressDialog>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

using namespace Qt::StringLiterals;

namespace {
// The job under way on the windows' thread; jobs do not overlap, because
// the user's input waits or meets the dialog while one runs.
std::stop_source *sRunning = nullptr;
} // namespace

void ProgressJob::cancelRunning()
{
    if (sRunning)
        sRunning->request_stop();
}

void ProgressJob::runOnPool(const std::function<void(std::stop_token)> &work)
{
    std::stop_source stop;
    std::exception_ptr failure;
    QFutureWatcher<void> watcher;
    QEventLoop loop;
    QObject::connect(&watcher, &QFutureWatcherBase::finished, &loop, &QEventLoop::quit);
    watcher.setFuture(QtConcurrent::run([&work, &failure, token = stop.get_token()] {
        try {
            work(token);
        } catch (...) {
            failure = std::current_exception();
        }
    }));
    std::stop_source *const outer = std::exchange(sRunning, &stop);
    const auto finished = [&watcher] { return watcher.future().isFinished(); };

    // Until the dialog shows, the user's input waits, as it waited for the
    // engine before: nothing starts another command meanwhile. The dialog's
    // own delay is not used, because the loop must learn when it shows.
    QTimer showLater;
    showLater.setSingleShot(true);
    showLater.setTimerType(Qt::PreciseTimer);
    QObject::connect(&showLater, &QTimer::timeout, &loop, &QEventLoop::quit);
    showLater.start(kShowAfter);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (!finished() && !stop.stop_requested()) {
        QProgressDialog dialog(mText, u"Cancel"_s, 0, 0, mWindow);
        dialog.setObjectName(u"ProgressDialog"_s);
        dialog.setWindowTitle(kAppTitle);
        dialog.setWindowModality(Qt::ApplicationModal);
        dialog.setMinimumDuration(0);
        const auto cancel = [&] {
            stop.request_stop();
            loop.quit();
        };
        // Escape rejects the dialog rather than pressing its button.
        QObject::connect(&dialog, &QProgressDialog::canceled, &loop, cancel);
        QObject::connect(&dialog, &QDialog::rejected, &loop, cancel);
        dialog.show();
        loop.exec();
        // Nothing the dialog does as it goes counts as a cancel.
        QObject::disconnect(&dialog, nullptr, &loop, nullptr);
    }
    // A cancelled job ends within a moment; the windows paint meanwhile.
    if (!finished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    // The program is ending: its event loops return at once.
    if (!finished()) {
        stop.request_stop();
        watcher.waitForFinished();
    }
    sRunning = outer;
    if (stop.stop_requested())
        throw JobCancelled();
    if (failure)
        std::rethrow_exception(failure);
}
