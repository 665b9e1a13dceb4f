#pragma once

#include "ground/jobcancelled.h"

#include <functional>
#include <stop_token>

// Work a command hands out in pieces, between statements of its own, all under
// one stop that the user or the program's end may request. This one runs each
// piece at once on the caller's thread, for callers with no windows to keep
// going; ProgressJob runs them on the pool beside the windows.
class Job
{
public:
    virtual ~Job() = default;

    // The engine instances the work creates end as soon as this is requested.
    std::stop_token stopToken() const { return mStop.get_token(); }

    // Runs one piece and waits for it. Throws what the piece threw, or
    // JobCancelled once the job is cancelled, whatever the piece did; a piece
    // after the cancel does not run at all.
    virtual void run(const std::function<void()> &piece)
    {
        throwIfCancelled();
        try {
            piece();
        } catch (...) {
            throwIfCancelled();
            throw;
        }
        throwIfCancelled();
    }

    // Ends what the job started: runs even after a cancel (the instances are
    // gone by then, so it is quick), and throws only what the piece threw.
    virtual void finish(const std::function<void()> &piece) { piece(); }

    // Something modal is about to show, or the work is done: no progress is
    // shown until a later piece takes long again.
    virtual void hideProgress() {}

protected:
    void throwIfCancelled() const
    {
        if (mStop.stop_requested())
            throw JobCancelled();
    }

    std::stop_source mStop;
};
