#include "app/sessioncommit.h"

#include "ground/prompts.h"

#include <cstdio>

void CommitForSession(const SessionRules &session, Prompts &prompts, const std::function<QString()> &store)
{
    const QString failure = store();
    if (failure.isEmpty())
        return;
    if (!session.allowsInteraction()) {
        std::fprintf(stderr, "quintarra: %s\n", failure.toLocal8Bit().constData());
        return;
    }
    prompts.message(failure, MsgButtons::Ok, MsgIcon::Warning, kAppTitle);
    session.release();
}
