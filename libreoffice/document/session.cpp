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
