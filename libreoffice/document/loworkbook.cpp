#include "libreoffice/document/loworkbook.h"

#include "ground/failure.h"
#include "libreoffice/document/chartplaces.h"
#include "libreoffice/document/chartpointformats.h"
#include "libreoffice/document/firstsheet.h"
#include "libreoffice/document/loworksheet.h"
#include "libreoffice/document/session.h"
#include "libreoffice/document/sheetcharts.h"
#include "libreoffice/document/xlspatch.h"
#include "libreoffice/process/instancehandover.h"

#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetView.hpp>
#include <com/sun/star/uno/RuntimeException.hpp>
#include <com/sun/star/util/XCloseable.hpp>

#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>

#include <fcntl.h>
#include <unistd.h>

#include <utility>
#include <vector>

namespace {

// The filter that writes the file type its extension names.
QString filterForExtension(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("xls"))
        return QStringLiteral("MS Excel 97");
    if (suffix == QLatin1String("xlt"))
        return QStringLiteral("MS Excel 97 Vorlage/Template");
    if (suffix == QLatin1String("xlsx"))
        return QStringLiteral("Calc MS Excel 2007 XML");
    if (suffix == QLatin1String("ods"))
        return QStringLiteral("calc8");
    return {};
}

} // namespace

LoWorkbook::LoWorkbook(std::shared_ptr<Session> session, Reference<css::frame::XModel> model, const QString &source)
    : mSession(std::move(session)), mModel(std::move(model)), mSource(source)
{
    if (IsExcel97(source)) {
        try {
            const QList<bool> shown = GridlinesShown(source);
            mSourceHidesGridlines = !shown.isEmpty() && !shown.contains(true);
        } catch (const Failure &) {
            // Not a file whose gridlines need keeping.
        }
    }
}

Reference<css::frame::XModel> LoWorkbook::model(const QString &action)
{
    mSession->alive(action);
    if (!mModel.is())
        throw SpreadsheetError(QStringLiteral("Cannot %1: the workbook is closed.").arg(action));
    return mModel;
}

std::shared_ptr<Worksheet> LoWorkbook::activeSheet()
{
    const QString action = QStringLiteral("find the active sheet");
    const auto document = model(action);
    const auto sheet = mSession->call(action, [&] {
        const Reference<css::sheet::XSpreadsheetView> view(document->getCurrentController(), UNO_QUERY);
        if (view.is())
            return view->getActiveSheet();
        return FirstSheetOf<css::sheet::XSpreadsheet>(document);
    });
    return std::make_shared<LoWorksheet>(mSession, document, sheet);
}

std::shared_ptr<Worksheet> LoWorkbook::firstSheet()
{
    const QString action = QStringLiteral("find the first sheet");
    const auto document = model(action);
    const auto sheet = mSession->call(action, [&] {
        return FirstSheetOf<css::sheet::XSpreadsheet>(document);
    });
    return std::make_shared<LoWorksheet>(mSession, document, sheet);
}

void LoWorkbook::saveAs(const QString &path)
{
    const QString action = QStringLiteral("save %1").arg(quoted(path));
    const auto document = model(action);
    const QString filter = filterForExtension(path);
    if (filter.isEmpty())
        throw SpreadsheetError(QStringLiteral("Cannot save %1: no file type is known for its extension.")
                                       .arg(quoted(path)));
    if (!QFileInfo(QFileInfo(path).absolutePath()).isDir())
        throw SpreadsheetError(QStringLiteral("Cannot save %1: the folder does not exist.").arg(quoted(path)));
    mSession->alive(action).noteDocument(path);
    // LibreOffice writes a new file with the user's umask but keeps the mode of
    // the file it replaces: one made empty and private first gets the
    // workbook's bytes without ever being readable by others.
    const QByteArray target = QFile::encodeName(path);
    const int placeholder = ::open(target.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (placeholder >= 0)
        ::close(placeholder);
    auto dropPlaceholder = qScopeGuard([&] {
        if (placeholder >= 0 && QFileInfo(path).size() == 0)
            ::unlink(target.constData());
    });
    // The engine counts editing time from the load, in whole seconds.
    const qint64 editingSeconds = mOpenedLate.isValid() ? mOpenedLate.elapsed() / 1000 : 0;
    mSession->call(action, [&] {
        const Reference<css::frame::XStorable> storable(document, UNO_QUERY_THROW);
        // The charts held through the export, each with its points' formats before it.
        std::vector<std::pair<SheetChart, ChartPointFormats>> held;
        // Also after a failure, when the instance may be gone: nothing to release then.
        const auto release = qScopeGuard([&] {
            try {
                for (const auto &[chart, formats] : held)
                    HoldChartLayoutEnd(chart);
            } catch (const css::uno::Exception &) {
            }
        });
        if (IsExcel97(path)) {
            for (const auto &chart : DocumentCharts(document)) {
                if (HoldChartLayout(chart))
                    held.emplace_back(chart, ChartPointFormats(chart));
            }
        }
        try {
            // Written as a copy: a document that becomes the file it is saved
            // as in another program's format also has each of its changed
            // charts written again in the engine's own format, into storage
            // that no file holds, and for a pie of many slices that costs a
            // part of the save. The file is the same either way.
            storable->storeToURL(fileUrl(path),
                                 properties({property("FilterName", Any(toOUString(filter))),
                                             property("Overwrite", Any(true))}));
        } catch (const css::uno::RuntimeException &e) {
            // The .xls export totals the chart's values; amounts whose sum is
            // beyond any number make it run out of memory, and the bridge
            // passes that on in C++ terms.
            if (toQString(e.Message).contains(QLatin1String("bad_alloc")))
                throw SpreadsheetError(QStringLiteral("LibreOffice ran out of memory while saving %1. The amounts "
                                                      "may be too large for it to total; please check the list.")
                                               .arg(quoted(path)));
            throw;
        }
        // The file is written; a chart that cannot have its formats back is
        // one the document no longer draws as the workbook opened again would.
        try {
            for (const auto &[chart, formats] : held)
                formats.restore();
            mFormatsAsSaved = true;
        } catch (const css::uno::Exception &) {
            mFormatsAsSaved = false;
        }
    });
    dropPlaceholder.dismiss();
    mSavedWorkbook = IsExcel97(path) ? path : QString();
    mEditsWhenSaved = mSession->edits;
    // A document held open before it was asked for has its editing time
    // counted from the hold: give the file what a load at the open would. It
    // is the file's least part: a file it cannot be set in is kept as saved.
    if (IsExcel97(path) && mOpenedLate.isValid()) {
        try {
            SetEditingTime(path, editingSeconds);
        } catch (const Failure &) {
        }
        mOpenedLate.start();
    }
    // A document that was never displayed is written with its gridlines shown,
    // whatever the opened file said: give the copy the original's setting.
    if (IsExcel97(path) && mSourceHidesGridlines) {
        try {
            if (GridlinesShown(path).contains(true))
                ClearGridlinesFlag(path);
        } catch (const Failure &failure) {
            throw SpreadsheetError(QStringLiteral("Saved %1, but could not keep its gridline setting: %2")
                                           .arg(quoted(path), failure.description()));
        }
    }
}

// Kept open, the saved document spares the next instance the workbook's
// load and the chart's layout, twice over, that its drawing would cost: the
// engine lays a chart out anew at each step of a load and at the drawing
// after it. Only when it draws as the workbook opened again would: it is the
// document the workbook was written from, unchanged through its sheets since
// (the engine's own bookkeeping marks it changed at will), with its charts
// moved to where the workbook puts them and formatted as it formats them. To
// be called in an engine call.
bool LoWorkbook::keepForDrawing(const Reference<css::frame::XModel> &document)
{
    if (mSavedWorkbook.isEmpty() || mChartPlaces.isEmpty() || !mSession->handOver || !mSession->handOver->wanted())
        return false;
    if (mSession->edits != mEditsWhenSaved || !mFormatsAsSaved)
        return false;
    QFile saved(mSavedWorkbook);
    if (!saved.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = saved.readAll();
    try {
        FormatChartsAsReopened(document, mSession->flatCharts);
        if (!MoveChartsAsReopened(document, mChartPlaces))
            return false;
    } catch (const css::uno::Exception &) {
        // Closed, as when it cannot be drawn as the workbook: the next
        // instance loads the workbook.
        return false;
    }
    const Reference<css::lang::XComponent> component(document, UNO_QUERY_THROW);
    mSession->engine->holdDocument(std::make_unique<HeldDocument>(HeldDocument{bytes, component, {}}));
    mSession->keepsSavedBook = true;
    return true;
}

void LoWorkbook::close()
{
    const QString action = QStringLiteral("close the workbook");
    const auto document = model(action);
    mSession->call(action, [&] {
        if (keepForDrawing(document))
            return;
        const Reference<css::util::XCloseable> closeable(document, UNO_QUERY_THROW);
        closeable->close(true);
    });
    mModel.clear();
    mSession->dropClosedBooks();
}
