#include "libreoffice/document/workbookconversion.h"

#include "ground/processruns.h"
#include "libreoffice/disk/engineregistry.h"
#include "libreoffice/document/chartexport.h"
#include "libreoffice/document/chartpictures.h"
#include "libreoffice/document/firstsheet.h"
#include "libreoffice/document/loadoptions.h"
#include "libreoffice/document/session.h"
#include "libreoffice/document/sheetcharts.h"

#include <com/sun/star/awt/Size.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/document/XDocumentProperties.hpp>
#include <com/sun/star/document/XDocumentPropertiesSupplier.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/style/XStyleFamiliesSupplier.hpp>
#include <com/sun/star/util/XCloseable.hpp>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QScopeGuard>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString suffixOf(ResultFormat format)
{
    switch (format) {
    case ResultFormat::Xlsx:
        return QStringLiteral("xlsx");
    case ResultFormat::Ods:
        return QStringLiteral("ods");
    case ResultFormat::Pdf:
        return QStringLiteral("pdf");
    case ResultFormat::ChartSvg:
        return QStringLiteral("svg");
    case ResultFormat::ChartPng:
        return QStringLiteral("png");
    }
    return {};
}

// The engine's export filter for the formats written from the whole document.
OUString documentFilterOf(ResultFormat format)
{
    switch (format) {
    case ResultFormat::Xlsx:
        return OUString("Calc MS Excel 2007 XML");
    case ResultFormat::Ods:
        return OUString("calc8");
    case ResultFormat::Pdf:
        return OUString("calc_pdf_Export");
    default:
        return {};
    }
}

void closeQuietly(const Reference<css::lang::XComponent> &document)
{
    try {
        const Reference<css::util::XCloseable> closeable(document, UNO_QUERY);
        if (closeable.is())
            closeable->close(true);
    } catch (const css::uno::Exception &) {
        // The instance ends after the conversion whatever the document says.
    }
}

// The sheet's print layout for the PDF: across, on landscape pages, and as
// wide as one page, so that the chart beside the table is never cut in two;
// down, on as many pages as the rows take. The document is a read-only copy
// in memory: the workbook keeps its own layout.
void layOutForPdf(const Reference<css::lang::XComponent> &document)
{
    const auto sheet = FirstSheetOf<css::beans::XPropertySet>(document);
    const Reference<css::style::XStyleFamiliesSupplier> families(document, UNO_QUERY_THROW);
    const Reference<css::container::XNameAccess> pageStyles(families->getStyleFamilies()->getByName(OUString("PageStyles")),
                                                           UNO_QUERY_THROW);
    const Reference<css::beans::XPropertySet> page(
            pageStyles->getByName(sheet->getPropertyValue(OUString("PageStyle")).get<OUString>()), UNO_QUERY_THROW);
    const auto size = page->getPropertyValue(OUString("Size")).get<css::awt::Size>();
    if (size.Width < size.Height) {
        page->setPropertyValue(OUString("IsLandscape"), Any(true));
        page->setPropertyValue(OUString("Size"), Any(css::awt::Size(size.Height, size.Width)));
    }
    page->setPropertyValue(OUString("ScaleToPagesX"), Any(sal_Int16(1)));
    page->setPropertyValue(OUString("ScaleToPagesY"), Any(sal_Int16(0)));
}

// The first sheet's charts told as text, where a document keeps text for
// assistive technology: each chart object's title and description, and the
// document's title (which a PDF shows as its own) for the first chart.
void tellChartsAsText(const Reference<css::lang::XComponent> &document)
{
    const QList<SheetChart> charts = SheetCharts(FirstSheetOf<css::uno::XInterface>(document));
    for (qsizetype i = 0; i < charts.size(); ++i) {
        const QString title = ChartTitle(charts.at(i));
        const QString text = ChartSummary(title, ChartSlicesOf(charts.at(i)));
        SetChartAlternativeText(charts.at(i), title, text);
        if (i == 0) {
            const Reference<css::document::XDocumentPropertiesSupplier> supplier(document, UNO_QUERY_THROW);
            supplier->getDocumentProperties()->setTitle(toOUString(text));
        }
    }
}

struct RemoveFolderAtExit {
    QString folder;
    ~RemoveFolderAtExit()
    {
        if (!folder.isEmpty())
            QDir(folder).removeRecursively();
    }
} sFolder;

} // namespace

WorkbookConversion::WorkbookConversion(const QString &workbook) : mWorkbook(QFileInfo(workbook).absoluteFilePath())
{
    if (!QFileInfo(mWorkbook).isFile())
        throw SpreadsheetError(QStringLiteral("Cannot convert %1: there is no such file.").arg(quoted(mWorkbook)));
}

QString WorkbookConversion::folder()
{
    // "PID-TICKS-converted" is a folder of this run to the sweep of instance folders.
    const QString path = EngineRegistry::privateRoot() + QLatin1Char('/') + ProcessRuns::runName()
            + QStringLiteral("-converted");
    const QByteArray native = QFile::encodeName(path);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
        throw SpreadsheetError(QStringLiteral("Cannot create the folder %1.").arg(quoted(path)));
    sFolder.folder = path;
    return path;
}

QString WorkbookConversion::reserveTarget(ResultFormat format) const
{
    const QString stem = folder() + QLatin1Char('/') + QFileInfo(mWorkbook).completeBaseName();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString path = QStringLiteral("%1-%2.%3")
                                     .arg(stem)
                                     .arg(QRandomGenerator::system()->generate(), 8, 16, QLatin1Char('0'))
                                     .arg(suffixOf(format));
        const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                              0600);
        if (fd >= 0) {
            ::close(fd);
            return path;
        }
        if (errno != EEXIST)
            break;
    }
    throw SpreadsheetError(QStringLiteral("Cannot make a new file in %1.").arg(quoted(folder())));
}

QString WorkbookConversion::to(Session &session, ResultFormat format)
{
    EngineProcess &engine = session.alive(QStringLiteral("convert %1").arg(quoted(mWorkbook)));
    const QString target = reserveTarget(format);
    auto dropTarget = qScopeGuard([&] { QFile::remove(target); });
    engine.noteDocument(target);
    convertInto(session, target, format);
    if (QFileInfo(target).size() == 0)
        throw SpreadsheetError(QStringLiteral("LibreOffice wrote nothing when converting %1.").arg(quoted(mWorkbook)));
    dropTarget.dismiss();
    return target;
}

void WorkbookConversion::convertInto(Session &session, const QString &target, ResultFormat format)
{
    const QString action = QStringLiteral("convert %1").arg(quoted(mWorkbook));
    EngineProcess &engine = session.alive(action);
    session.allowForLoading(mWorkbook);
    session.call(action, [&] {
        const auto document = LoadHidden(engine, mWorkbook, {property("ReadOnly", Any(true))});
        auto close = qScopeGuard([&] { closeQuietly(document); });
        if (!Reference<css::sheet::XSpreadsheetDocument>(document, UNO_QUERY).is())
            throw SpreadsheetError(QStringLiteral("Cannot convert %1: it is not a workbook.").arg(quoted(mWorkbook)));
        if (format == ResultFormat::ChartSvg || format == ResultFormat::ChartPng) {
            // Twice the size on the sheet's picture: sharp on a screen of twice the density.
            ExportFirstChart(engine.connection().context, Reference<css::frame::XModel>(document, UNO_QUERY_THROW),
                             target, format == ResultFormat::ChartSvg, 2);
            return;
        }
        tellChartsAsText(document);
        if (format == ResultFormat::Pdf) {
            ReplaceChartsByPictures(engine.connection().context, document);
            layOutForPdf(document);
        }
        const Reference<css::frame::XStorable> storable(document, UNO_QUERY_THROW);
        storable->storeToURL(fileUrl(target), properties({property("FilterName", Any(documentFilterOf(format))),
                                                          property("Overwrite", Any(true))}));
    });
}
