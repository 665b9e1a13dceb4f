#pragma once

#include "widgets/layer.h"

#include "ground/job.h"

#include <QDeadlineTimer>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <chrono>
#include <exception>
#include <functional>
#include <optional>
#include <stop_token>

class QEventLoop;
class QProgressDialog;

// Work that may take longer than a blink (the engine's), done on a thread of
// the pool while the windows go on painting and answering the system: half a
// second into the job a progress dialog with a busy bar and Cancel shows over
// the window, as desktop programs do. Cancel or Escape requests the job's
// stop; the work ends its engine at once and throws. The command waits for
// each piece as it waited for the engine before, and goes on with its result.
// A job of several pieces keeps its dialog and its half second across them,
// so that the dialog neither flashes between pieces nor waits anew for each.
class ProgressJob : public Job
{
public:
    static constexpr std::chrono::milliseconds kShowAfter{500};

    // window: the dialog's parent; text: what the dialog says is under way.
    ProgressJob(QWidget *window, const QString &text);
    ~ProgressJob() override;
    ProgressJob(const ProgressJob &) = delete;
    ProgressJob &operator=(const ProgressJob &) = delete;

    // A job of one piece: its result, or what it threw; JobCancelled when the
    // user cancelled it, or the program is ending, whatever the work did.
    template <typename Result>
    Result run(const std::function<Result(std::stop_token)> &work)
    {
        std::optional<Result> result;
        run([&, stop = stopToken()] { result.emplace(work(stop)); });
        return std::move(*result);
    }

    void run(const std::function<void()> &piece) override;
    void finish(const std::function<void()> &piece) override;
    void hideProgress() override;

    // Cancels the job under way, if any: the session ends, say.
    static void cancelRunning();

private:
    // What the piece threw, if anything.
    std::exception_ptr runOnPool(const std::function<void()> &piece);
    void showDialog();
    void waitWithDialog(QEventLoop &loop);

    QPointer<QWidget> mWindow;
    QString mText;
    QPointer<QProgressDialog> mDialog;
    QDeadlineTimer mShowAt;
    bool mClockRestarts = false;
    // The loop that waits for the piece under way, and whether the progress
    // was hidden while it ran.
    QEventLoop *mWaiting = nullptr;
    bool mHiddenInPiece = false;
    // The job this one interrupts, if any; it is under way again once this one ends.
    std::stop_source *mOuter = nullptr;
};
