#include "libreoffice/document/session.h"

#include "libreoffice/document/loworkbook.h"

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
