#pragma once

#include "ground/job.h"
#include "ground/prompts.h"

// The prompts of a command whose work runs as a job: the job's progress goes
// out of the way while a prompt shows, so that the user answers one window.
class JobPrompts : public Prompts
{
public:
    JobPrompts(Prompts &prompts, Job &job) : mPrompts(prompts), mJob(job) {}

    MsgAnswer message(const QString &text, MsgButtons buttons, MsgIcon icon, const QString &title) override
    {
        mJob.hideProgress();
        return mPrompts.message(text, buttons, icon, title);
    }
    QString input(const QString &prompt, const QString &title, const QString &defaultText) override
    {
        mJob.hideProgress();
        return mPrompts.input(prompt, title, defaultText);
    }
    QString saveFileName(const QString &title, const QString &filter) override
    {
        mJob.hideProgress();
        return mPrompts.saveFileName(title, filter);
    }
    SaveChoice saveFileAs(const QString &title, const QStringList &filters) override
    {
        mJob.hideProgress();
        return mPrompts.saveFileAs(title, filters);
    }
    QString openFileName(const QString &title, const QString &filter) override
    {
        mJob.hideProgress();
        return mPrompts.openFileName(title, filter);
    }

private:
    Prompts &mPrompts;
    Job &mJob;
};
