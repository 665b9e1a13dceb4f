#include "widgets/progressjob.h"

#include "ground/prompts.h"

#include <QEventLoop>
#include <QFutureWatcher>
#include <QProgressDialog>
#include <QScopeGuard>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

using namespace Qt::StringLiterals;

namespace {
// The job under way on the windows' thread. Jobs do not overlap: the user's
// input waits or meets the dialog while one runs, and one whose progress was
// hidden while a piece ran (its windows show what it is for) is interrupted
// by a job the user starts meanwhile, which ends before it goes on.
std::stop_source *sRunning = nullptr;
} // namespace

ProgressJob::ProgressJob(QWidget *window, const QString &text)
    : mWindow(window), mText(text), mShowAt(kShowAfter, Qt::PreciseTimer),
      mOuter(std::exchange(sRunning, &mStop))
{
}

ProgressJob::~ProgressJob()
{
    sRunning = mOuter;
    delete mDialog.data();
}

void ProgressJob::cancelRunning()
{
    if (sRunning)
        sRunning->request_stop();
}

void ProgressJob::run(const std::function<void()> &piece)
{
    throwIfCancelled();
    const std::exception_ptr failure = runOnPool(piece);
    // Whatever the piece did, a cancel is what happened: the work throws as
    // its engine is killed.
    throwIfCancelled();
    if (failure)
        std::rethrow_exception(failure);
}

void ProgressJob::finish(const std::function<void()> &piece)
{
    if (const std::exception_ptr failure = runOnPool(piece))
        std::rethrow_exception(failure);
}

void ProgressJob::hideProgress()
{
    if (mDialog)
        mDialog->hide();
    mClockRestarts = true;
    // Asked while a piece runs, the windows have shown what the work is for:
    // they answer the user for the rest of the piece, without the dialog.
    if (mWaiting) {
        mHiddenInPiece = true;
        mWaiting->quit();
    }
}

std::exception_ptr ProgressJob::runOnPool(const std::function<void()> &piece)
{
    if (std::exchange(mClockRestarts, false))
        mShowAt.setRemainingTime(kShowAfter, Qt::PreciseTimer);
    std::exception_ptr failure;
    QFutureWatcher<void> watcher;
    QEventLoop loop;
    QObject::connect(&watcher, &QFutureWatcherBase::finished, &loop, &QEventLoop::quit);
    watcher.setFuture(QtConcurrent::run([&piece, &failure] {
        try {
            piece();
        } catch (...) {
            failure = std::current_exception();
        }
    }));
    const auto finished = [&watcher] { return watcher.future().isFinished(); };
    mHiddenInPiece = false;
    mWaiting = &loop;
    const auto notWaiting = qScopeGuard([this] { mWaiting = nullptr; });

    // Until the dialog shows, the user's input waits, as it waited for the
    // engine before: nothing starts another command meanwhile. The dialog's
    // own delay is not used, because the loop must learn when it shows.
    const bool shown = mDialog && mDialog->isVisible();
    if (!shown && !finished() && !mStop.stop_requested() && !mShowAt.hasExpired()) {
        QTimer showLater;
        showLater.setSingleShot(true);
        showLater.setTimerType(Qt::PreciseTimer);
        QObject::connect(&showLater, &QTimer::timeout, &loop, &QEventLoop::quit);
        showLater.start(std::chrono::milliseconds(mShowAt.remainingTime()));
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    if (!finished() && !mStop.stop_requested() && !mHiddenInPiece)
        waitWithDialog(loop);
    if (!finished() && !mStop.stop_requested() && mHiddenInPiece)
        loop.exec();
    // A cancelled job ends within a moment; the windows paint meanwhile.
    if (!finished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    // The program is ending: its event loops return at once.
    if (!finished()) {
        mStop.request_stop();
        watcher.waitForFinished();
    }
    return failure;
}

void ProgressJob::showDialog()
{
    if (!mDialog) {
        mDialog = new QProgressDialog(mText, u"Cancel"_s, 0, 0, mWindow);
        mDialog->setObjectName(u"ProgressDialog"_s);
        mDialog->setWindowTitle(kAppTitle);
        mDialog->setWindowModality(Qt::ApplicationModal);
        mDialog->setMinimumDuration(0);
    }
    mDialog->show();
}

void ProgressJob::waitWithDialog(QEventLoop &loop)
{
    showDialog();
    const auto cancel = [this, &loop] {
        mStop.request_stop();
        mDialog->hide();
        loop.quit();
    };
    // Escape rejects the dialog rather than pressing its button.
    QObject::connect(mDialog, &QProgressDialog::canceled, &loop, cancel);
    QObject::connect(mDialog, &QDialog::rejected, &loop, cancel);
    loop.exec();
    // Nothing the dialog does between pieces counts as a cancel.
    QObject::disconnect(mDialog, nullptr, &loop, nullptr);
}
