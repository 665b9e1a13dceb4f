#pragma once

#include "widgets/layer.h"

#include "ground/jobcancelled.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <chrono>
#include <functional>
#include <optional>
#include <stop_token>

// Work that may take longer than a blink (the engine's), done on a thread of
// the pool while the windows go on painting and answering the system: after
// half a second a progress dialog with a busy bar and Cancel shows over the
// window, as desktop programs do. Cancel or Escape requests a stop through the
// work's token; the work ends its engine at once and throws. The command waits
// for the work as it waited for the engine before, and goes on with its result.
class ProgressJob
{
public:
    static constexpr std::chrono::milliseconds kShowAfter{500};

    // window: the dialog's parent; text: what the dialog says is under way.
    ProgressJob(QWidget *window, const QString &text) : mWindow(window), mText(text) {}

    // The work's result, or what it threw; JobCancelled when the user
    // cancelled it, or the program is ending, whatever the work did.
    template <typename Result>
    Result run(const std::function<Result(std::stop_token)> &work)
    {
        std::optional<Result> result;
        runOnPool([&](std::stop_token stop) { result.emplace(work(stop)); });
        return std::move(*result);
    }

    // Cancels the job under way, if any: the session ends, say.
    static void cancelRunning();

private:
    void runOnPool(const std::function<void(std::stop_token)> &work);

    QPointer<QWidget> mWindow;
    QString mText;
};
