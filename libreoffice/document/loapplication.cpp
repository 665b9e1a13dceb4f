#include "libreoffice/document/loapplication.h"

#include "libreoffice/document/loworkbook.h"
#include "libreoffice/document/session.h"
#include "libreoffice/process/instancehandover.h"
#include "libreoffice/process/enginespares.h"

#include <com/sun/star/beans/NamedValue.hpp>
#include <com/sun/star/configuration/theDefaultProvider.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>

QString LoApplication::defaultValue()
{
    return mSession->call(QStringLiteral("read the product name"), [&] {
        const auto provider = css::configuration::theDefaultProvider::get(mSession->engine->connection().context);
        css::beans::NamedValue nodePath;
        nodePath.Name = "nodepath";
        nodePath.Value <<= OUString("/org.openoffice.Setup/Product");
        const Any node(nodePath);
        const Sequence<Any> arguments(&node, 1);
        const Reference<css::container::XNameAccess> product(
                provider->createInstanceWithArguments(OUString("com.sun.star.configuration.ConfigurationAccess"),
                                                      arguments),
                UNO_QUERY_THROW);
        return toQString(product->getByName(OUString("ooName")).get<OUString>());
    });
}

void LoApplication::setDisplayAlerts(bool)
{
    mSession->alive(QStringLiteral("set DisplayAlerts"));
    // A headless instance has nobody to ask, and closing never asks: there
    // is nothing to keep.
}

void LoApplication::quit()
{
    if (!mSession->engine)
        return;
    // Closing a book drops it from the session's list.
    const auto books = mSession->books;
    for (const auto &book : books) {
        try {
            if (!book->isClosed())
                book->close();
        } catch (const SpreadsheetError &) {
            // The instance is ended below whatever the document says.
        }
    }
    mSession->books.clear();
    // Released while the instance is still this session's.
    mSession->flatCharts.clear();
    mSession->stopping.reset();
    if (mSession->keepsSavedBook && mSession->handOver && mSession->engine->isReady())
        mSession->handOver->handOver(std::move(mSession->engine));
    else if (mSession->collector)
        mSession->collector->collect(std::move(mSession->engine));
    else
        mSession->engine->quit();
    mSession->engine.reset();
}
