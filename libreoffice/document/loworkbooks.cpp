#include "libreoffice/document/loworkbooks.h"

#include "libreoffice/document/loadoptions.h"
#include "libreoffice/document/loworkbook.h"
#include "libreoffice/document/session.h"
#include "libreoffice/process/helddocument.h"

#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/util/XCloseable.hpp>

#include <QFile>
#include <QFileInfo>

namespace {

// The document the instance holds open from the same bytes, or the file
// loaded now. To be called in an engine call.
Reference<css::lang::XComponent> heldOrLoaded(EngineProcess &engine, const QString &path, bool &held,
                                              QList<ReopenedChartPlace> &chartPlaces)
{
    QFile file(path);
    // A template a few kilobytes long, or the workbook of the longest list a
    // few megabytes long; anything larger is loaded as it is.
    constexpr qint64 kHeldSizeLimit = 64 * 1024 * 1024;
    if (file.size() <= kHeldSizeLimit && file.open(QIODevice::ReadOnly)) {
        if (const auto document = engine.takeHeldDocument(file.readAll())) {
            held = true;
            chartPlaces = document->chartPlaces;
            return document->document;
        }
    }
    return LoadHidden(engine, path);
}

} // namespace

std::shared_ptr<Workbook> LoWorkbooks::open(const QString &path)
{
    return load(path, false);
}

std::shared_ptr<Workbook> LoWorkbooks::openReadOnly(const QString &path)
{
    return load(path, true);
}

std::shared_ptr<Workbook> LoWorkbooks::load(const QString &path, bool readOnly)
{
    const QString action = QStringLiteral("open %1").arg(quoted(path));
    EngineProcess &engine = mSession->alive(action);
    if (!QFileInfo(path).isFile())
        throw SpreadsheetError(QStringLiteral("Cannot open %1: there is no such file.").arg(quoted(path)));
    // A file opened read-only gets nothing of ours beside it, so nothing
    // there is swept should the instance die: a lock file there is the
    // user's own office program's.
    if (!readOnly)
        engine.noteDocument(path);
    mSession->allowForLoading(path);
    bool held = false;
    QList<ReopenedChartPlace> chartPlaces;
    const Reference<css::frame::XModel> model = mSession->call(action, [&] {
        // A document held open is there to be changed: a read-only open loads the file.
        const auto component = readOnly ? LoadHidden(engine, path, {property("ReadOnly", Any(true))})
                                        : heldOrLoaded(engine, path, held, chartPlaces);
        const Reference<css::sheet::XSpreadsheetDocument> spreadsheet(component, UNO_QUERY);
        if (!spreadsheet.is()) {
            const Reference<css::util::XCloseable> closeable(component, UNO_QUERY);
            if (closeable.is())
                closeable->close(true);
            throw SpreadsheetError(QStringLiteral("Cannot open %1: it is not a spreadsheet.").arg(quoted(path)));
        }
        return Reference<css::frame::XModel>(component, UNO_QUERY_THROW);
    });
    auto book = std::make_shared<LoWorkbook>(mSession, model, path);
    if (held)
        book->countEditingTimeFromNow();
    book->setReopenedChartPlaces(chartPlaces);
    mSession->books.push_back(book);
    return book;
}

int LoWorkbooks::count()
{
    mSession->alive(QStringLiteral("count the workbooks"));
    mSession->dropClosedBooks();
    return int(mSession->books.size());
}

std::shared_ptr<Workbook> LoWorkbooks::item(int index)
{
    mSession->alive(QStringLiteral("reach workbook %1").arg(index));
    mSession->dropClosedBooks();
    if (index < 1 || index > int(mSession->books.size()))
        throw SpreadsheetError(QStringLiteral("There is no workbook %1: %2 are open.")
                                       .arg(index)
                                       .arg(mSession->books.size()));
    return mSession->books.at(index - 1);
}
