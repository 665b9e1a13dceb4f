#include "chart/libreofficeserver.h"

#include "chart/engineprocess.h"
#include "chart/enginespares.h"
#include "chart/ownedworkbooks.h"
#include "chart/sheetpicture.h"
#include "chart/unocall.h"
#include "chart/xlspatch.h"
#include "entries/numerictest.h"

#include <com/sun/star/awt/Point.hpp>
#include <com/sun/star/awt/Size.hpp>
#include <com/sun/star/awt/Toolkit.hpp>
#include <com/sun/star/awt/XBitmap.hpp>
#include <com/sun/star/awt/XDevice.hpp>
#include <com/sun/star/awt/XGraphics.hpp>
#include <com/sun/star/beans/NamedValue.hpp>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/configuration/theDefaultProvider.hpp>
#include <com/sun/star/chart/XChartDocument.hpp>
#include <com/sun/star/chart2/XAxis.hpp>
#include <com/sun/star/chart2/XChartDocument.hpp>
#include <com/sun/star/chart2/XChartTypeContainer.hpp>
#include <com/sun/star/chart2/XCoordinateSystemContainer.hpp>
#include <com/sun/star/chart2/XDataSeriesContainer.hpp>
#include <com/sun/star/chart2/XDiagram.hpp>
#include <com/sun/star/chart2/data/XDataSource.hpp>
#include <com/sun/star/chart2/data/XLabeledDataSequence.hpp>
#include <com/sun/star/document/XEmbeddedObjectSupplier.hpp>
#include <com/sun/star/table/XTableChartsSupplier.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/document/MacroExecMode.hpp>
#include <com/sun/star/document/UpdateDocMode.hpp>
#include <com/sun/star/drawing/XDrawPageSupplier.hpp>
#include <com/sun/star/drawing/XShape.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/lang/Locale.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/sheet/FormulaResult.hpp>
#include <com/sun/star/sheet/XSheetCellCursor.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/sheet/XSpreadsheetView.hpp>
#include <com/sun/star/sheet/XUsedAreaCursor.hpp>
#include <com/sun/star/sheet/XCellRangeAddressable.hpp>
#include <com/sun/star/sheet/XCellRangeData.hpp>
#include <com/sun/star/table/CellContentType.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/table/XColumnRowRange.hpp>
#include <com/sun/star/text/XTextRange.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <com/sun/star/util/MalformedNumberFormatException.hpp>
#include <com/sun/star/util/XNumberFormats.hpp>
#include <com/sun/star/util/XNumberFormatsSupplier.hpp>
#include <com/sun/star/view/XRenderable.hpp>
#include <com/sun/star/view/XSelectionSupplier.hpp>

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QThread>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QPainter>
#include <QRectF>
#include <QScopeGuard>
#include <QSettings>
#include <QTimer>
#include <QUrl>
#include <QtEndian>

#include <algorithm>
#include <functional>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>
#include <cmath>

#include <unistd.h>

using css::uno::Any;
using css::uno::Reference;
using css::uno::Sequence;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;

namespace {

Sequence<css::beans::PropertyValue> properties(std::initializer_list<css::beans::PropertyValue> list)
{
    return Sequence<css::beans::PropertyValue>(list.begin(), sal_Int32(list.size()));
}

QString fileUrl(const QString &path)
{
    return QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toString(QUrl::FullyEncoded);
}

QString quoted(const QString &text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

QString cellName(int row, int column)
{
    QString letters;
    for (int c = column; c > 0; c = (c - 1) / 26)
        letters.prepend(QChar(u'A' + (c - 1) % 26));
    return letters + QString::number(row);
}

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

// Whether each worksheet of an Excel 97-2003 file shows its gridlines.
QList<bool> gridlinesShown(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Failure(QStringLiteral("Cannot read %1: %2").arg(path, file.errorString()));
    const QByteArray bytes = file.readAll();
    QList<bool> shown;
    for (const qsizetype at : WorksheetWindowOptionOffsets(bytes))
        shown.append(qFromLittleEndian<quint16>(bytes.constData() + at) & kWindowShowsGridlines);
    return shown;
}

bool isExcel97(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == QLatin1String("xls") || suffix == QLatin1String("xlt");
}

struct Session;

class LoWorksheet : public Worksheet
{
public:
    LoWorksheet(std::shared_ptr<Session> session, Reference<css::frame::XModel> model,
                Reference<css::sheet::XSpreadsheet> sheet, std::shared_ptr<bool> changedSinceStored)
        : mSession(std::move(session)), mModel(std::move(model)), mSheet(std::move(sheet)),
          mChangedSinceStored(std::move(changedSinceStored)) {}

    QString name() override;
    void setCellText(int row, int column, const QString &text) override;
    void setCellValue(int row, int column, const QString &typed) override;
    void setCellNumberFormat(int row, int column, const QString &format) override;
    void setTextAndAmountRows(int firstRow, int column, const QList<TextAndAmount> &rows) override;
    void setRangeNumberFormat(int firstRow, int lastRow, int column, const QString &format) override;
    QVariant cellValue(int row, int column) override;
    QString cellNumberFormat(int row, int column) override;
    QImage usedRangePicture() override;
    QList<ChartDescription> charts();

private:
    Reference<css::table::XCell> cell(int row, int column);
    Reference<css::table::XCellRange> range(int firstRow, int firstColumn, int lastRow, int lastColumn);
    sal_Int32 formatKey(const QString &format);
    // What a typed amount is written as: a number when it passes the numeric
    // test, otherwise the text itself.
    Any amountCell(const QString &typed) const;
    // Stores the text as it is; the empty text empties the cell.
    static void writeText(const Reference<css::table::XCell> &target, const QString &text);

    std::shared_ptr<Session> mSession;
    Reference<css::frame::XModel> mModel;
    Reference<css::sheet::XSpreadsheet> mSheet;
    // Whether the workbook differs from its file, as far as this program
    // changed it; the engine's own flag is set by merely opening an .xls.
    std::shared_ptr<bool> mChangedSinceStored;
    // The document's key of each number format already set: every row of a
    // list gets the same format, and looking it up is a round trip each time.
    QHash<QString, sal_Int32> mFormatKeys;
};

class LoWorkbook : public Workbook
{
public:
    LoWorkbook(std::shared_ptr<Session> session, Reference<css::frame::XModel> model, const QString &source)
        : mSession(std::move(session)), mModel(std::move(model)), mSource(source)
    {
        if (isExcel97(source)) {
            try {
                const QList<bool> shown = gridlinesShown(source);
                mSourceHidesGridlines = !shown.isEmpty() && !shown.contains(true);
            } catch (const Failure &) {
                // Not a file whose gridlines need keeping.
            }
        }
    }

    std::shared_ptr<Worksheet> activeSheet() override;
    void saveAs(const QString &path) override;
    void close() override;

    bool isClosed() const { return !mModel.is(); }
    void forget() { mModel.clear(); }

private:
    Reference<css::frame::XModel> model(const QString &action);

    std::shared_ptr<Session> mSession;
    Reference<css::frame::XModel> mModel;
    QString mSource;
    bool mSourceHidesGridlines = false;
    std::shared_ptr<bool> mChangedSinceStored = std::make_shared<bool>(false);
};

class LoWorkbooks : public Workbooks
{
public:
    explicit LoWorkbooks(std::shared_ptr<Session> session) : mSession(std::move(session)) {}

    std::shared_ptr<Workbook> open(const QString &path) override;
    int count() override;
    std::shared_ptr<Workbook> item(int index) override;

private:
    std::shared_ptr<Session> mSession;
};

struct Session {
    std::unique_ptr<EngineProcess> engine;
    // Ends the instance in the background when set.
    std::shared_ptr<EngineSpares> collector;
    QLocale typingLocale;
    bool drawDirectly = true;
    // Starts, without waiting for it, an instance of this one's command that
    // draws part of a long sheet's picture beside it; unset when none may.
    std::function<std::unique_ptr<EngineProcess>()> startSecondInstance;
    bool displayAlerts = true;
    std::vector<std::shared_ptr<LoWorkbook>> books;

    EngineProcess &alive(const QString &action)
    {
        if (!engine || !engine->isReady())
            throw InstanceLostError(
                    QStringLiteral("Cannot %1: this LibreOffice instance has already ended.").arg(action));
        return *engine;
    }

    template <typename Call>
    auto call(const QString &action, Call &&work) -> decltype(work())
    {
        return engineCall(alive(action), action, std::forward<Call>(work));
    }

    void dropClosedBooks()
    {
        std::erase_if(books, [](const auto &book) { return book->isClosed(); });
    }
};

class LoApplication : public Application
{
public:
    explicit LoApplication(std::shared_ptr<Session> session)
        : mSession(std::move(session)), mWorkbooks(mSession) {}
    ~LoApplication() override { quit(); }

    QString defaultValue() override
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

    Workbooks &workbooks() override { return mWorkbooks; }
    qint64 processId() const { return mSession->engine ? mSession->engine->pid() : 0; }

    void setDisplayAlerts(bool on) override
    {
        mSession->alive(QStringLiteral("set DisplayAlerts"));
        // A headless instance has nobody to ask; closing never asks either way.
        mSession->displayAlerts = on;
    }

    void quit() override
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
        if (mSession->collector)
            mSession->collector->collect(std::move(mSession->engine));
        else
            mSession->engine->quit();
        mSession->engine.reset();
    }

private:
    std::shared_ptr<Session> mSession;
    LoWorkbooks mWorkbooks;
};

// -- Workbooks --------------------------------------------------------------

std::shared_ptr<Workbook> LoWorkbooks::open(const QString &path)
{
    const QString action = QStringLiteral("open %1").arg(quoted(path));
    EngineProcess &engine = mSession->alive(action);
    if (!QFileInfo(path).isFile())
        throw SpreadsheetError(QStringLiteral("Cannot open %1: there is no such file.").arg(quoted(path)));
    engine.noteDocument(path);
    const Reference<css::frame::XModel> model = mSession->call(action, [&] {
        const Reference<css::frame::XComponentLoader> loader(engine.connection().desktop, UNO_QUERY_THROW);
        // Hidden, and nothing in the file may run or fetch anything. A template
        // opens as an untitled copy of itself.
        const auto arguments = properties({
                property("Hidden", Any(true)),
                property("MacroExecutionMode", Any(css::document::MacroExecMode::NEVER_EXECUTE)),
                property("UpdateDocMode", Any(css::document::UpdateDocMode::NO_UPDATE)),
        });
        const auto component = loader->loadComponentFromURL(toOUString(fileUrl(path)), OUString("_blank"), 0, arguments);
        if (!component.is())
            throw SpreadsheetError(QStringLiteral("LibreOffice could not open %1: the file is damaged, locked or "
                                                  "of a type it does not read.").arg(quoted(path)));
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

// -- Workbook ---------------------------------------------------------------

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
        const Reference<css::sheet::XSpreadsheetDocument> spreadsheet(document, UNO_QUERY_THROW);
        const Reference<css::container::XIndexAccess> sheets(spreadsheet->getSheets(), UNO_QUERY_THROW);
        return Reference<css::sheet::XSpreadsheet>(sheets->getByIndex(0), UNO_QUERY_THROW);
    });
    return std::make_shared<LoWorksheet>(mSession, document, sheet, mChangedSinceStored);
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
    mSession->call(action, [&] {
        const Reference<css::frame::XStorable> storable(document, UNO_QUERY_THROW);
        try {
            storable->storeAsURL(toOUString(fileUrl(path)),
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
    });
    *mChangedSinceStored = false;
    // A document that was never displayed is written with its gridlines shown,
    // whatever the opened file said: give the copy the original's setting.
    if (isExcel97(path) && mSourceHidesGridlines) {
        try {
            if (gridlinesShown(path).contains(true))
                ClearGridlinesFlag(path);
        } catch (const Failure &failure) {
            throw SpreadsheetError(QStringLiteral("Saved %1, but could not keep its gridline setting: %2")
                                           .arg(quoted(path), failure.description()));
        }
    }
}

void LoWorkbook::close()
{
    const QString action = QStringLiteral("close the workbook");
    const auto document = model(action);
    mSession->call(action, [&] {
        const Reference<css::util::XCloseable> closeable(document, UNO_QUERY_THROW);
        closeable->close(true);
    });
    mModel.clear();
    mSession->dropClosedBooks();
}

// -- Worksheet --------------------------------------------------------------

Reference<css::table::XCell> LoWorksheet::cell(int row, int column)
{
    if (row < 1 || column < 1 || row > 1048576 || column > 16384)
        throw SpreadsheetError(QStringLiteral("There is no cell at row %1, column %2.").arg(row).arg(column));
    return mSheet->getCellByPosition(column - 1, row - 1);
}

QString LoWorksheet::name()
{
    return mSession->call(QStringLiteral("read the sheet's name"), [&] {
        const Reference<css::container::XNamed> named(mSheet, UNO_QUERY_THROW);
        return toQString(named->getName());
    });
}

Reference<css::table::XCellRange> LoWorksheet::range(int firstRow, int firstColumn, int lastRow, int lastColumn)
{
    if (firstRow < 1 || firstColumn < 1 || lastRow > 1048576 || lastColumn > 16384 || firstRow > lastRow
        || firstColumn > lastColumn)
        throw SpreadsheetError(QStringLiteral("There is no range %1:%2.")
                                       .arg(cellName(firstRow, firstColumn), cellName(lastRow, lastColumn)));
    return mSheet->getCellRangeByPosition(firstColumn - 1, firstRow - 1, lastColumn - 1, lastRow - 1);
}

Any LoWorksheet::amountCell(const QString &typed) const
{
    if (IsNumeric(typed, mSession->typingLocale))
        return Any(mSession->typingLocale.toDouble(typed));
    return Any(toOUString(typed));
}

void LoWorksheet::writeText(const Reference<css::table::XCell> &target, const QString &text)
{
    // setString() stores the text as it is; setFormula() would read it as
    // typed, and a leading "=" would make a live formula of a label.
    if (text.isEmpty())
        target->setFormula(OUString());
    else
        Reference<css::text::XTextRange>(target, UNO_QUERY_THROW)->setString(toOUString(text));
}

void LoWorksheet::setCellText(int row, int column, const QString &text)
{
    *mChangedSinceStored = true;
    mSession->call(QStringLiteral("set the value of cell %1").arg(cellName(row, column)),
                   [&] { writeText(cell(row, column), text); });
}

void LoWorksheet::setCellValue(int row, int column, const QString &typed)
{
    *mChangedSinceStored = true;
    mSession->call(QStringLiteral("set the value of cell %1").arg(cellName(row, column)), [&] {
        const auto target = cell(row, column);
        if (double number; amountCell(typed) >>= number)
            target->setValue(number);
        else
            writeText(target, typed);
    });
}

void LoWorksheet::setTextAndAmountRows(int firstRow, int column, const QList<TextAndAmount> &rows)
{
    *mChangedSinceStored = true;
    if (rows.isEmpty())
        return;
    const int lastRow = firstRow + int(rows.size()) - 1;
    mSession->call(QStringLiteral("set the values of cells %1:%2")
                           .arg(cellName(firstRow, column), cellName(lastRow, column + 1)),
                   [&] {
                       // Strings in a data array are stored as text, never read
                       // as formulas; numbers as numbers; an empty string
                       // leaves the cell empty.
                       Sequence<Sequence<Any>> data(sal_Int32(rows.size()));
                       auto *line = data.getArray();
                       for (qsizetype i = 0; i < rows.size(); ++i) {
                           const Any cells[] = {Any(toOUString(rows.at(i).text)), amountCell(rows.at(i).amount)};
                           line[i] = Sequence<Any>(cells, 2);
                       }
                       const Reference<css::sheet::XCellRangeData> target(range(firstRow, column, lastRow, column + 1),
                                                                          UNO_QUERY_THROW);
                       target->setDataArray(data);
                   });
}

sal_Int32 LoWorksheet::formatKey(const QString &format)
{
    auto known = mFormatKeys.constFind(format);
    if (known != mFormatKeys.constEnd())
        return *known;
    const Reference<css::util::XNumberFormatsSupplier> supplier(mModel, UNO_QUERY_THROW);
    const auto formats = supplier->getNumberFormats();
    // The format is written in the en-US format language. Registered under
    // en-US, though, it is saved to .xls with a "[$-409]" locale prefix that
    // the template's own cells do not carry: they are imported under the
    // system's locale (an empty Locale). So the code is converted to that
    // locale's spelling and registered there, as the template's formats are.
    const css::lang::Locale enUs(OUString("en"), OUString("US"), OUString());
    const css::lang::Locale system;
    const OUString code = toOUString(format);
    sal_Int32 key = -1;
    try {
        key = formats->addNewConverted(code, enUs, system);
    } catch (const css::util::MalformedNumberFormatException &) {
    }
    if (key < 0) {
        key = formats->queryKey(code, enUs, false);
        if (key < 0)
            key = formats->addNew(code, enUs);
    }
    return *mFormatKeys.insert(format, key);
}

void LoWorksheet::setCellNumberFormat(int row, int column, const QString &format)
{
    *mChangedSinceStored = true;
    mSession->call(QStringLiteral("set the number format of cell %1").arg(cellName(row, column)), [&] {
        const Reference<css::beans::XPropertySet> properties(cell(row, column), UNO_QUERY_THROW);
        properties->setPropertyValue(OUString("NumberFormat"), Any(formatKey(format)));
    });
}

void LoWorksheet::setRangeNumberFormat(int firstRow, int lastRow, int column, const QString &format)
{
    *mChangedSinceStored = true;
    mSession->call(QStringLiteral("set the number format of cells %1:%2")
                           .arg(cellName(firstRow, column), cellName(lastRow, column)),
                   [&] {
                       const Reference<css::beans::XPropertySet> properties(range(firstRow, column, lastRow, column),
                                                                            UNO_QUERY_THROW);
                       properties->setPropertyValue(OUString("NumberFormat"), Any(formatKey(format)));
                   });
}

QVariant LoWorksheet::cellValue(int row, int column)
{
    return mSession->call(QStringLiteral("read cell %1").arg(cellName(row, column)), [&]() -> QVariant {
        const auto target = cell(row, column);
        switch (target->getType()) {
        case css::table::CellContentType_EMPTY:
            return {};
        case css::table::CellContentType_VALUE:
            return target->getValue();
        case css::table::CellContentType_FORMULA: {
            const Reference<css::beans::XPropertySet> properties(target, UNO_QUERY_THROW);
            if (properties->getPropertyValue(OUString("FormulaResultType2")).get<sal_Int32>()
                == css::sheet::FormulaResult::VALUE)
                return target->getValue();
            break;
        }
        default:
            break;
        }
        const Reference<css::text::XTextRange> text(target, UNO_QUERY_THROW);
        return toQString(text->getString());
    });
}

QString LoWorksheet::cellNumberFormat(int row, int column)
{
    return mSession->call(QStringLiteral("read the number format of cell %1").arg(cellName(row, column)), [&] {
        const Reference<css::beans::XPropertySet> properties(cell(row, column), UNO_QUERY_THROW);
        const sal_Int32 key = properties->getPropertyValue(OUString("NumberFormat")).get<sal_Int32>();
        const Reference<css::util::XNumberFormatsSupplier> supplier(mModel, UNO_QUERY_THROW);
        const auto format = supplier->getNumberFormats()->getByKey(key);
        return toQString(format->getPropertyValue(OUString("FormatString")).get<OUString>());
    });
}

namespace {

// Sizes on a sheet are in 1/100 mm; its picture is drawn at 96 pixels an inch.
constexpr double kPixelsPerHmm = 96.0 / 2540.0;

// The engine stops drawing a range about 19,400 pixels (at full size) below
// its top, at full size or reduced, and leaves the rest of its picture white.
constexpr double kMaxBandPixels = 17500;
// A band drawn at full size comes over uncompressed: shorter bands keep what
// is held of it at once to some tens of megabytes, for a few milliseconds a band.
constexpr double kMaxFullSizeBandPixels = 4000;

// Up to this scale, where text is still read, bands are drawn at full size and
// reduced here. Below it each band is reduced by the engine before its pixels
// come over, a small part of them: drawn at full size and reduced on the
// engine's surface where it can, otherwise by its picture export, which lays
// text out anew at the smaller size (an amount that just fits its column may
// come out as "###").
constexpr double kMaxEngineReducedScale = 0.5;

double hmmToPixels(sal_Int32 hmm)
{
    return hmm * kPixelsPerHmm;
}

// The engine keeps row heights and column widths in twips and draws each cell
// with a whole number of pixels, truncated from a factor a hair below 1/15: a
// row of 300 twips (20 px) is drawn 19 px high. Drawings on the sheet, such as
// charts, are drawn at their exact size. So a long list ends well above where
// the sizes on the sheet say.
int drawnPixels(sal_Int32 hmm)
{
    const qint64 twips = std::llround(hmm * 1440.0 / 2540.0);
    if (twips <= 0)
        return 0;
    return int(std::max<qint64>(1, (twips * 96 - 1) / 1440));
}

// A length on the sheet in whole pixels, rounded as the engine rounds it.
int pixelsOf(sal_Int32 hmm)
{
    return int((2 * qint64(hmm) * 96 / 2540 + 1) / 2);
}

// Draws a range at full size straight onto a drawing surface of the engine's
// and takes its pixels, or those of the drawing reduced to the size given. It
// is the drawing that the engine's PNG export makes, without the export's
// second drawing of it with transparency and its compression, which cost
// several times the drawing itself. A null picture when the surface does not
// come back at the size of the range, for the caller to draw it another way.
QImage drawAtFullSize(const Reference<css::uno::XComponentContext> &context,
                      const Reference<css::frame::XModel> &model,
                      const Reference<css::table::XCellRange> &range, QSize reducedTo = {})
{
    const Reference<css::awt::XToolkit2> toolkit = css::awt::Toolkit::create(context);
    const Reference<css::view::XRenderable> renderable(model, UNO_QUERY_THROW);
    const Any selection(range);
    const auto onto = [&](const Reference<css::awt::XDevice> &device) {
        return properties({property("IsPrinter", Any(true)), property("RenderDevice", Any(device)),
                           property("View", Any(model->getCurrentController())),
                           property("RenderToGraphic", Any(true))});
    };
    const auto measuring = onto(toolkit->createScreenCompatibleDevice(32, 32));
    if (renderable->getRendererCount(selection, measuring) < 1)
        return {};
    css::awt::Size page;
    css::awt::Point corner;
    for (const auto &value : renderable->getRenderer(0, selection, measuring)) {
        if (value.Name == "PageSize")
            value.Value >>= page;
        else if (value.Name == "CalcPagePos")
            value.Value >>= corner;
    }
    const QSize size(pixelsOf(page.Width), pixelsOf(page.Height));
    if (size.isEmpty())
        return {};
    const auto device = toolkit->createScreenCompatibleDevice(size.width(), size.height());
    renderable->render(0, selection, onto(device));
    // The drawing leaves the surface measuring in 1/100 mm from the corner of
    // the sheet, with the range's top left corner at the surface's.
    const auto toHmm = [](int pixels) { return sal_Int32(std::lround(pixels * 2540.0 / 96)); };
    Sequence<sal_Int8> bitmap;
    if (reducedTo.isValid()) {
        const auto reduced = toolkit->createScreenCompatibleDevice(reducedTo.width(), reducedTo.height());
        reduced->createGraphics()->copy(device, corner.X, corner.Y, toHmm(size.width()), toHmm(size.height()), 0, 0,
                                        reducedTo.width(), reducedTo.height());
        bitmap = reduced->createBitmap(0, 0, reducedTo.width(), reducedTo.height())->getDIB();
    } else {
        bitmap = device->createBitmap(corner.X, corner.Y, toHmm(size.width()), toHmm(size.height()))->getDIB();
    }
    try {
        QImage drawn = ReadSheetPicture(
                QByteArray::fromRawData(reinterpret_cast<const char *>(bitmap.getConstArray()), bitmap.getLength()),
                QStringLiteral("drawn by LibreOffice"));
        if (drawn.size() == (reducedTo.isValid() ? reducedTo : size))
            return drawn;
    } catch (const Failure &) {
    }
    return {};
}

// A band of rows of a sheet's picture, drawn by the engine in one piece.
struct PictureBand {
    sal_Int32 firstRow = 0, lastRow = 0;
    sal_Int32 firstColumn = 0, lastColumn = 0;
    qint64 top = 0, height = 0;   // where its cells are drawn, in pixels from the picture's top
    qint64 left = 0;              // in pixels from the range's left edge
    double factor = 1.0;          // of the full scale, at which the engine draws it
    QSize requested;              // the size of the engine's picture, when drawn reduced

    Reference<css::table::XCellRange> range(const Reference<css::sheet::XSpreadsheet> &sheet) const
    {
        return sheet->getCellRangeByPosition(firstColumn, firstRow, lastColumn, lastRow);
    }
};

// A long sheet's picture takes about a tenth of a second a band. From this
// many bands on, a second instance is worth its start and the memory it holds
// for a moment: it opens the saved workbook and draws bands from the bottom up
// while the first instance draws from the top down.
constexpr int kBandsWorthASecondInstance = 16;

// The bands still to be drawn, taken from the top by the instance of the
// workbook and from the bottom by the second instance.
class BandQueue
{
public:
    explicit BandQueue(int count) : mBackIndex(count) {}

    std::optional<int> takeFront()
    {
        std::lock_guard lock(mMutex);
        if (mFront >= mBackIndex)
            return std::nullopt;
        return mFront++;
    }
    // The second instance draws the band it takes until it asks again.
    std::optional<int> takeBack()
    {
        std::lock_guard lock(mMutex);
        if (mStopped || mFront >= mBackIndex) {
            mBack = Back::Leaving;
            mChanged.notify_all();
            return std::nullopt;
        }
        mBack = Back::Drawing;
        return --mBackIndex;
    }
    // The second instance has stopped drawing, whatever the reason.
    void backGone()
    {
        std::lock_guard lock(mMutex);
        mBack = Back::Gone;
        mChanged.notify_all();
    }
    bool stopped()
    {
        std::lock_guard lock(mMutex);
        return mStopped || mFront >= mBackIndex;
    }
    // No band is taken from now on. Waits, at most for the patience, for the
    // band the second instance is drawing; whether it has stopped drawing.
    bool stopAndWaitForBack(std::chrono::milliseconds patience)
    {
        std::unique_lock lock(mMutex);
        mStopped = true;
        mChanged.wait_for(lock, patience, [&] { return mBack == Back::Starting || mBack == Back::Gone; });
        return mBack == Back::Gone;
    }
    // The first band the top-down drawing did not take.
    int firstUntaken()
    {
        std::lock_guard lock(mMutex);
        return mFront;
    }

private:
    enum class Back { Starting, Drawing, Leaving, Gone };

    std::mutex mMutex;
    std::condition_variable mChanged;
    int mFront = 0, mBackIndex;
    Back mBack = Back::Starting;
    bool mStopped = false;
};

Q_LOGGING_CATEGORY(lcSheetPicture, "quintarra.engine.picture", QtWarningMsg)

// The second instance's part of a sheet's picture: it opens the workbook at
// the URL and draws bands from the bottom up into drawn. It stops at its first
// failure, leaving the band it held undrawn, for the first instance to draw.
void drawBandsFromTheBottom(EngineProcess &engine, const OUString &url, const OUString &sheetName,
                            const QList<PictureBand> &bands, BandQueue &queue, std::vector<QImage> &drawn)
{
    const QString action = QStringLiteral("draw part of the used range's picture");
    int count = 0;
    const auto gone = qScopeGuard([&] { queue.backGone(); });
    try {
        engine.waitUntilReady();
        if (queue.stopped())
            return;
        Reference<css::frame::XModel> model;
        Reference<css::sheet::XSpreadsheet> sheet;
        engineCall(engine, action, [&] {
            const Reference<css::frame::XComponentLoader> loader(engine.connection().desktop, UNO_QUERY_THROW);
            model.set(loader->loadComponentFromURL(
                              url, OUString("_blank"), 0,
                              properties({property("Hidden", Any(true)), property("ReadOnly", Any(true)),
                                          property("MacroExecutionMode",
                                                   Any(css::document::MacroExecMode::NEVER_EXECUTE)),
                                          property("UpdateDocMode", Any(css::document::UpdateDocMode::NO_UPDATE))})),
                      UNO_QUERY_THROW);
            const Reference<css::sheet::XSpreadsheetDocument> document(model, UNO_QUERY_THROW);
            sheet.set(document->getSheets()->getByName(sheetName), UNO_QUERY_THROW);
        });
        while (const auto band = queue.takeBack()) {
            const PictureBand &next = bands.at(*band);
            QImage image = engineCall(engine, action, [&] {
                return drawAtFullSize(engine.connection().context, model, next.range(sheet),
                                      next.factor == 1.0 ? QSize() : next.requested);
            });
            if (image.isNull())
                break;
            drawn[size_t(*band)] = std::move(image);
            ++count;
        }
    } catch (...) {
        // Whatever the second instance leaves, the first draws.
    }
    qCDebug(lcSheetPicture, "%d of %d bands drawn by a second instance", count, int(bands.size()));
}

// A second instance and the thread that drives it, ended however the picture
// ends: collected in the background like any instance a command quits.
class SecondInstance
{
public:
    explicit SecondInstance(std::shared_ptr<EngineSpares> collector) : mCollector(std::move(collector)) {}
    ~SecondInstance()
    {
        if (mThread.joinable()) {
            mEngine->kill();
            mThread.join();
        }
        if (!mEngine)
            return;
        if (mCollector)
            mCollector->collect(std::move(mEngine));
        else
            mEngine->quit();
    }

    // engine has been started on this thread, as every instance's process
    // must be; work drives it on a thread of its own.
    void start(std::unique_ptr<EngineProcess> engine, std::function<void(EngineProcess &)> work)
    {
        if (!engine)
            return;
        mEngine = std::move(engine);
        mThread = std::thread([this, work = std::move(work)] { work(*mEngine); });
    }

    // Waits for the band the second instance is drawing, if any, for as long
    // as a band could take; one still starting or opening the workbook, or
    // that does not answer, is stopped instead, and its band drawn again.
    void finish(BandQueue &queue)
    {
        if (!mThread.joinable())
            return;
        if (!queue.stopAndWaitForBack(kPatience))
            mEngine->kill();
        mThread.join();
    }

private:
    // Some twenty times what a band takes.
    static constexpr std::chrono::milliseconds kPatience{2000};

    std::shared_ptr<EngineSpares> mCollector;
    std::unique_ptr<EngineProcess> mEngine;
    std::thread mThread;
};

} // namespace

// The picture shows the used range and the charts on the sheet, cropped to
// them, so that its last row and the chart's right edge are its edges. A range
// too long for the engine to draw in one piece is drawn in bands of rows that
// are put together here, and the whole is made smaller when it would pass the
// size limits of a sheet's picture: by the engine itself when it is made much
// smaller, as a long list's is.
QImage LoWorksheet::usedRangePicture()
{
    const QString action = QStringLiteral("take a picture of the used range");
    EngineProcess &engine = mSession->alive(action);

    using Band = PictureBand;
    sal_Int32 firstColumn = 0, lastColumn = 0;
    QRectF shown;   // what the picture must show, in pixels from the corner of the range drawn
    QRect full;     // the same in whole pixels
    double scale = 1.0;
    QList<Band> bands;
    mSession->call(action, [&] {
        const auto cursor = mSheet->createCursor();
        const Reference<css::sheet::XUsedAreaCursor> used(cursor, UNO_QUERY_THROW);
        used->gotoStartOfUsedArea(false);
        used->gotoEndOfUsedArea(true);
        const auto area = Reference<css::sheet::XCellRangeAddressable>(cursor, UNO_QUERY_THROW)->getRangeAddress();

        const auto cellRect = [&](sal_Int32 column, sal_Int32 row) {
            const Reference<css::beans::XPropertySet> properties(mSheet->getCellByPosition(column, row),
                                                                 UNO_QUERY_THROW);
            const auto position = properties->getPropertyValue(OUString("Position")).get<css::awt::Point>();
            const auto size = properties->getPropertyValue(OUString("Size")).get<css::awt::Size>();
            return std::pair(position, size);
        };
        // Where a cell starts, when its size is not needed.
        const auto cellPosition = [&](sal_Int32 column, sal_Int32 row) {
            const Reference<css::beans::XPropertySet> properties(mSheet->getCellByPosition(column, row),
                                                                 UNO_QUERY_THROW);
            return properties->getPropertyValue(OUString("Position")).get<css::awt::Point>();
        };

        // The range drawn reaches from the used range to the farthest chart,
        // so that a chart placed beside the data is part of it.
        firstColumn = area.StartColumn;
        lastColumn = area.EndColumn;
        sal_Int32 firstRow = area.StartRow, lastRow = area.EndRow;
        const auto [usedCorner, usedCornerSize] = cellRect(area.StartColumn, area.StartRow);
        const auto [usedEnd, usedEndSize] = cellRect(area.EndColumn, area.EndRow);
        sal_Int32 left = usedCorner.X, top = usedCorner.Y;
        sal_Int32 right = usedEnd.X + usedEndSize.Width;
        QList<QRect> charts;   // in 1/100 mm
        const Reference<css::drawing::XDrawPageSupplier> pageSupplier(mSheet, UNO_QUERY_THROW);
        const Reference<css::container::XIndexAccess> shapes(pageSupplier->getDrawPage(), UNO_QUERY_THROW);
        for (sal_Int32 i = 0; i < shapes->getCount(); ++i) {
            const Reference<css::drawing::XShape> shape(shapes->getByIndex(i), UNO_QUERY);
            if (!shape.is() || shape->getShapeType() != "com.sun.star.drawing.OLE2Shape")
                continue;
            const auto position = shape->getPosition();
            const auto size = shape->getSize();
            left = std::min(left, position.X);
            top = std::min(top, position.Y);
            right = std::max(right, position.X + size.Width);
            charts.append(QRect(position.X, position.Y, size.Width, size.Height));
        }
        sal_Int32 chartsLastRow = 0;
        if (!charts.isEmpty()) {
            while (firstColumn > 0 && cellPosition(firstColumn, firstRow).X > left)
                --firstColumn;
            while (firstRow > 0 && cellPosition(firstColumn, firstRow).Y > top)
                --firstRow;
            // Guessed as if the columns past the used range were all as wide
            // as the first of them, and the rows as high as the used range's first.
            const sal_Int32 pastColumn = std::min(area.EndColumn + 1, 16383);
            const auto [past, pastSize] = cellRect(pastColumn, firstRow);
            const sal_Int32 columnGuess = pastColumn + (right - past.X) / std::max<sal_Int32>(1, pastSize.Width);
            lastColumn = sal_Int32(FirstIndexWhere(lastColumn, 16383, columnGuess, [&](sal_Int32 column) {
                const auto [position, size] = cellRect(column, firstRow);
                return position.X + size.Width >= right;
            }));
            sal_Int32 chartsBottom = top;
            for (const QRect &chart : std::as_const(charts))
                chartsBottom = std::max(chartsBottom, chart.y() + chart.height());
            const sal_Int32 rowGuess =
                    area.StartRow + (chartsBottom - usedCorner.Y) / std::max<sal_Int32>(1, usedCornerSize.Height);
            chartsLastRow = sal_Int32(FirstIndexWhere(firstRow, 1048575, rowGuess, [&](sal_Int32 row) {
                const auto [position, size] = cellRect(firstColumn, row);
                return position.Y + size.Height >= chartsBottom;
            }));
            lastRow = std::max(lastRow, chartsLastRow);
        }

        // Where the cells are drawn, in whole pixels per row and column. Rows
        // of one height, as a list's rows are, are counted without asking for
        // each of thousands of rows.
        const Reference<css::table::XColumnRowRange> columnRows(mSheet, UNO_QUERY_THROW);
        const Reference<css::container::XIndexAccess> columns(columnRows->getColumns(), UNO_QUERY_THROW);
        const Reference<css::container::XIndexAccess> rows(columnRows->getRows(), UNO_QUERY_THROW);
        const auto sizeOf = [](const Reference<css::container::XIndexAccess> &lines, const OUString &name,
                               sal_Int32 index) {
            const Reference<css::beans::XPropertySet> line(lines->getByIndex(index), UNO_QUERY_THROW);
            return line->getPropertyValue(name).get<sal_Int32>();
        };
        const OUString width("Width"), height("Height");
        const auto drawnWidth = [&](sal_Int32 from, sal_Int32 to) {   // columns [from, to)
            qint64 pixels = 0;
            for (sal_Int32 i = from; i < to; ++i)
                pixels += drawnPixels(sizeOf(columns, width, i));
            return pixels;
        };
        const sal_Int32 usedRowHeight = sizeOf(rows, height, area.StartRow);
        const auto rowTop = [&](sal_Int32 row) { return cellPosition(firstColumn, row).Y; };
        // The height of rows [from, to) as the sheet gives it, in 1/100 mm.
        const auto sheetHeight = [&](sal_Int32 from, sal_Int32 to) {
            return qint64(rowTop(to - 1)) + sizeOf(rows, height, to - 1) - rowTop(from);
        };
        const auto drawnHeight = [&](sal_Int32 from, sal_Int32 to) -> qint64 {   // rows [from, to)
            if (to <= from)
                return 0;
            const qint64 count = to - from;
            // Each row's size is rounded from twips on its own: allow that much.
            if (sizeOf(rows, height, from) == usedRowHeight && sizeOf(rows, height, to - 1) == usedRowHeight
                && std::abs(sheetHeight(from, to) - count * usedRowHeight) <= count / 2 + 2)
                return count * drawnPixels(usedRowHeight);
            qint64 pixels = 0;
            for (sal_Int32 i = from; i < to; ++i)
                pixels += drawnPixels(sizeOf(rows, height, i));
            return pixels;
        };

        const auto rangeCorner = cellPosition(firstColumn, firstRow);
        shown = QRectF(drawnWidth(firstColumn, area.StartColumn), drawnHeight(firstRow, area.StartRow),
                       drawnWidth(area.StartColumn, area.EndColumn + 1),
                       drawnHeight(area.StartRow, area.EndRow + 1));
        for (const QRect &chart : std::as_const(charts))
            shown |= QRectF(hmmToPixels(chart.x() - rangeCorner.X), hmmToPixels(chart.y() - rangeCorner.Y),
                            hmmToPixels(chart.width()), hmmToPixels(chart.height()));
        full = QRect(QPoint(int(std::floor(shown.left())), int(std::floor(shown.top()))),
                     QPoint(int(std::ceil(shown.right())) - 1, int(std::ceil(shown.bottom())) - 1));
        // The range's size as the sheet gives it, in pixels: the size of the
        // engine's picture of it at full scale.
        // A cell's left edge does not depend on its row: the width is the same
        // for every band.
        const auto hmmWidth = [&](sal_Int32 from, sal_Int32 to) {   // columns [from, to]
            return qint64(cellPosition(to, firstRow).X) + sizeOf(columns, width, to) - cellPosition(from, firstRow).X;
        };
        // Bands of rows that the engine draws in one piece each, its sizes as
        // the sheet gives them staying well inside what it draws.
        const auto addBands = [&](sal_Int32 from, sal_Int32 to, sal_Int32 rowsPerBand, double factor,
                                  sal_Int32 fromColumn, sal_Int32 toColumn) {
            const qint64 bandWidth = hmmWidth(fromColumn, toColumn);
            for (sal_Int32 row = from; row <= to;) {
                Band band;
                band.firstRow = row;
                band.lastRow = std::min(to, row + rowsPerBand - 1);
                band.firstColumn = fromColumn;
                band.lastColumn = toColumn;
                band.left = drawnWidth(firstColumn, fromColumn);
                band.top = bands.isEmpty() ? 0 : bands.last().top + bands.last().height;
                band.height = drawnHeight(band.firstRow, band.lastRow + 1);
                band.factor = factor;
                if (factor != 1.0)   // never 0, which would ask for the full size
                    band.requested = (QSizeF(bandWidth, sheetHeight(band.firstRow, band.lastRow + 1)) * kPixelsPerHmm
                                      * factor)
                                             .toSize()
                                             .expandedTo({1, 1});
                bands.append(band);
                row = band.lastRow + 1;
            }
        };
        const double rowLogic = std::max(1.0, hmmToPixels(usedRowHeight));
        const sal_Int32 rowsPerBand = std::max(1, int(kMaxBandPixels / rowLogic));

        scale = SheetPictureScale(full.size());
        if (scale > kMaxEngineReducedScale) {
            // The charts lie wholly in the first band; below them only the
            // used range's columns hold anything.
            const sal_Int32 fullSizeRowsPerBand = std::max(1, int(kMaxFullSizeBandPixels / rowLogic));
            const sal_Int32 firstBandRows = std::max(chartsLastRow - firstRow + 1, fullSizeRowsPerBand);
            addBands(firstRow, std::min(lastRow, firstRow + firstBandRows - 1), firstBandRows, 1.0, firstColumn,
                     lastColumn);
            addBands(firstRow + firstBandRows, lastRow, fullSizeRowsPerBand, 1.0, area.StartColumn, area.EndColumn);
            // The charts are drawn at their exact size; they may reach below
            // the cells of the first band's last row.
            if (bands.size() == 1)
                bands.first().height = std::max<qint64>(bands.first().height, qint64(std::ceil(shown.bottom())));
            return;
        }

        // A reduced picture: each band is reduced by the engine before its
        // pixels come over. Its picture export, should a band go that way,
        // leaves drawings at full size, so the rows that hold the charts are
        // drawn at full size and reduced here.
        sal_Int32 reducedFrom = firstRow;
        if (!charts.isEmpty()) {
            // A chart drawn at its exact size reaches a few pixels further down
            // than the cells beside it.
            const sal_Int32 chartRows = chartsLastRow - firstRow + 1;
            reducedFrom = std::min(lastRow, chartsLastRow + chartRows / 10 + 2) + 1;
            addBands(firstRow, reducedFrom - 1, reducedFrom - firstRow, 1.0, firstColumn, lastColumn);
        }
        // Below the charts only the used range's columns hold anything: the
        // engine's time goes with the pixels it draws.
        addBands(reducedFrom, lastRow, rowsPerBand, scale, area.StartColumn, area.EndColumn);
    });

    QImage picture(std::max(1, int(std::floor(full.width() * scale))),
                   std::max(1, int(std::floor(full.height() * scale))), QImage::Format_RGB32);
    if (picture.isNull())
        throw SpreadsheetError(QStringLiteral("There is not enough memory for the picture of the used range."));
    picture.fill(Qt::white);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    static int pictures = 0;
    // The engine's PNG export, which also draws a range reduced.
    const auto exportBand = [&](const Band &band) {
        const QString bandPath = engine.scratchFolder() + QStringLiteral("/picture-%1.png").arg(++pictures);
        // The file is read back at once: hardly packed, it is quicker to write.
        QList<css::beans::PropertyValue> filterData{property("Compression", Any(sal_Int32(1)))};
        if (band.factor != 1.0) {
            // The engine draws the cells as at full size, scaled by the size
            // asked for over the range's size on the sheet.
            filterData.append(property("PixelWidth", Any(sal_Int32(band.requested.width()))));
            filterData.append(property("PixelHeight", Any(sal_Int32(band.requested.height()))));
        }
        mSession->call(action, [&] {
            const auto range = band.range(mSheet);
            const Reference<css::view::XSelectionSupplier> selection(mModel->getCurrentController(),
                                                                     UNO_QUERY_THROW);
            selection->select(Any(range));
            const Reference<css::frame::XStorable> storable(mModel, UNO_QUERY_THROW);
            storable->storeToURL(
                    toOUString(fileUrl(bandPath)),
                    properties({property("FilterName", Any(OUString("calc_png_Export"))),
                                property("SelectionOnly", Any(true)),
                                property("FilterData",
                                         Any(Sequence<css::beans::PropertyValue>(filterData.data(),
                                                                                 sal_Int32(filterData.size()))))}));
        });
        QImage drawn;
        try {
            drawn = ReadSheetPicture(bandPath);
        } catch (const std::exception &) {
            QFile::remove(bandPath);
            throw SpreadsheetError(QStringLiteral("LibreOffice wrote no readable picture of the used range."));
        }
        QFile::remove(bandPath);
        return drawn;
    };
    const auto drawBand = [&](const Band &band) {
        QImage drawn;
        if (mSession->drawDirectly) {
            // Refused by the engine, the band is exported instead; an instance
            // that is gone ends the picture.
            try {
                drawn = mSession->call(action, [&] {
                    return drawAtFullSize(engine.connection().context, mModel, band.range(mSheet),
                                          band.factor == 1.0 ? QSize() : band.requested);
                });
            } catch (const InstanceLostError &) {
                throw;
            } catch (const SpreadsheetError &) {
            }
        }
        if (drawn.isNull())
            drawn = exportBand(band);
        return drawn;
    };
    const auto placeBand = [&](const Band &band, const QImage &drawn) {
        // This band's part of the picture, in the band's pixels at full scale.
        const qint64 partLeft = std::max<qint64>(full.left(), band.left);
        const QRect part = QRect(int(partLeft - band.left), int(std::max<qint64>(full.top(), band.top) - band.top),
                                 int(full.right() + 1 - partLeft),
                                 int(std::min<qint64>(full.bottom() + 1, band.top + band.height)
                                     - std::max<qint64>(full.top(), band.top)));
        if (part.isEmpty())
            return;
        const qint64 partTop = band.top + part.top() - full.top();
        const int targetLeft = int(std::floor((partLeft - full.left()) * scale));
        const int targetTop = int(std::floor(partTop * scale));
        const int targetBottom = int(std::floor((partTop + part.height()) * scale));
        if (band.factor == scale) {
            // Drawn at the picture's scale: the pixels as the engine drew them.
            const QRect source = QRect(int(std::lround(part.x() * scale)), int(std::lround(part.y() * scale)),
                                       int(std::floor(part.width() * scale)), targetBottom - targetTop)
                                         .intersected(drawn.rect());
            painter.drawImage(QPoint(targetLeft, targetTop), drawn, source);
        } else {
            const QRect source = part.intersected(drawn.rect());
            const int sourceBottom = int(std::floor((partTop + source.height()) * scale));
            painter.drawImage(QRect(targetLeft, targetTop, int(std::floor(source.width() * scale)),
                                    sourceBottom - targetTop),
                              drawn, source);
        }
    };

    BandQueue queue(int(bands.size()));
    std::vector<QImage> drawnBeside(size_t(bands.size()));
    SecondInstance beside(mSession->collector);
    const auto reducedBands = std::count_if(bands.cbegin(), bands.cend(), [](const Band &band) {
        return band.factor != 1.0;
    });
    if (reducedBands >= kBandsWorthASecondInstance && mSession->drawDirectly && mSession->startSecondInstance) {
        // The second instance opens the workbook as it was last saved.
        const auto [url, sheetName] = mSession->call(action, [&] {
            const Reference<css::frame::XStorable> storable(mModel, UNO_QUERY_THROW);
            const OUString location =
                    storable->hasLocation() && !*mChangedSinceStored ? storable->getLocation() : OUString();
            return std::pair(location, Reference<css::container::XNamed>(mSheet, UNO_QUERY_THROW)->getName());
        });
        if (!url.isEmpty())
            beside.start(mSession->startSecondInstance(), [&, url = url, sheetName = sheetName](EngineProcess &second) {
                drawBandsFromTheBottom(second, url, sheetName, bands, queue, drawnBeside);
            });
    }
    while (const auto band = queue.takeFront())
        placeBand(bands.at(*band), drawBand(bands.at(*band)));
    beside.finish(queue);
    for (qsizetype band = queue.firstUntaken(); band < bands.size(); ++band) {
        const QImage &drawn = drawnBeside.at(size_t(band));
        placeBand(bands.at(band), drawn.isNull() ? drawBand(bands.at(band)) : drawn);
    }
    return picture;
}

QList<ChartDescription> LoWorksheet::charts()
{
    return mSession->call(QStringLiteral("read the sheet's charts"), [&] {
        QList<ChartDescription> found;
        const Reference<css::table::XTableChartsSupplier> supplier(mSheet, UNO_QUERY_THROW);
        const Reference<css::container::XIndexAccess> tableCharts(supplier->getCharts(), UNO_QUERY_THROW);
        for (sal_Int32 i = 0; i < tableCharts->getCount(); ++i) {
            const Reference<css::document::XEmbeddedObjectSupplier> embedded(tableCharts->getByIndex(i),
                                                                             UNO_QUERY_THROW);
            const auto object = embedded->getEmbeddedObject();
            const Reference<css::chart2::XChartDocument> chart(object, UNO_QUERY_THROW);
            const Reference<css::chart::XChartDocument> oldChart(object, UNO_QUERY_THROW);
            ChartDescription description;
            const Reference<css::beans::XPropertySet> diagramProperties(oldChart->getDiagram(), UNO_QUERY_THROW);
            description.threeD = diagramProperties->getPropertyValue(OUString("Dim3D")).get<bool>();
            const Reference<css::chart2::XCoordinateSystemContainer> systems(chart->getFirstDiagram(),
                                                                            UNO_QUERY_THROW);
            for (const auto &system : systems->getCoordinateSystems()) {
                const auto axis = system->getAxisByDimension(0, 0);
                if (axis.is() && axis->getScaleData().Categories.is())
                    description.categories = toQString(
                            axis->getScaleData().Categories->getValues()->getSourceRangeRepresentation());
                const Reference<css::chart2::XChartTypeContainer> types(system, UNO_QUERY_THROW);
                for (const auto &type : types->getChartTypes()) {
                    description.chartType = toQString(type->getChartType());
                    const Reference<css::chart2::XDataSeriesContainer> series(type, UNO_QUERY_THROW);
                    for (const auto &one : series->getDataSeries()) {
                        const Reference<css::chart2::data::XDataSource> source(one, UNO_QUERY_THROW);
                        for (const auto &sequence : source->getDataSequences()) {
                            if (sequence->getValues().is())
                                description.values.append(
                                        toQString(sequence->getValues()->getSourceRangeRepresentation()));
                            if (sequence->getLabel().is())
                                description.seriesNames.append(
                                        toQString(sequence->getLabel()->getSourceRangeRepresentation()));
                        }
                    }
                }
            }
            found.append(description);
        }
        return found;
    });
}

// -- An instance the user runs ----------------------------------------------

// Looked at only: it answers its product name and refuses everything else.
class RunningApplication : public Application, private Workbooks
{
public:
    RunningApplication(qint64 pid, const QString &productName) : mPid(pid), mProductName(productName) {}

    QString defaultValue() override { return mProductName; }
    Workbooks &workbooks() override { return *this; }
    void setDisplayAlerts(bool) override { refuse(); }
    void quit() override { refuse(); }

private:
    std::shared_ptr<Workbook> open(const QString &) override { refuse(); }
    int count() override { refuse(); }
    std::shared_ptr<Workbook> item(int) override { refuse(); }

    [[noreturn]] void refuse() const
    {
        throw SpreadsheetError(QStringLiteral("The LibreOffice instance %1 belongs to the user; "
                                              "Quintarra does not drive it.")
                                       .arg(mPid));
    }

    qint64 mPid;
    QString mProductName;
};

QString readSmallFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.read(4096)) : QString();
}

QString productNameOfInstallation(qint64 pid)
{
    const QString executable = QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(pid));
    if (!executable.isEmpty()) {
        QSettings bootstrap(QFileInfo(executable).absolutePath() + QStringLiteral("/bootstraprc"),
                            QSettings::IniFormat);
        const QString key = bootstrap.value(QStringLiteral("Bootstrap/ProductKey")).toString();
        const qsizetype space = key.lastIndexOf(QLatin1Char(' '));
        if (space > 0)
            return key.left(space);
    }
    return EngineProcess::installedProductName();
}

} // namespace

QList<ChartDescription> DescribeCharts(Worksheet &sheet)
{
    auto *ours = dynamic_cast<LoWorksheet *>(&sheet);
    if (!ours)
        throw SpreadsheetError(QStringLiteral("The sheet does not belong to a LibreOffice instance."));
    return ours->charts();
}

qint64 EngineProcessId(Application &application)
{
    auto *ours = dynamic_cast<LoApplication *>(&application);
    if (!ours)
        throw SpreadsheetError(QStringLiteral("The application is not a LibreOffice instance of this tool."));
    return ours->processId();
}

namespace {

// Whether the process runs a LibreOffice program: its executable is
// "soffice.bin" in a program folder that carries LibreOffice's bootstrap file.
// A process that only calls itself "soffice.bin" is not.
bool runsLibreOffice(qint64 pid)
{
    QString executable = QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(pid));
    // An executable replaced by an update while it runs.
    if (executable.endsWith(QLatin1String(" (deleted)")))
        executable.chop(10);
    const QFileInfo program(executable);
    if (program.fileName() != QLatin1String("soffice.bin"))
        return false;
    const QSettings bootstrap(program.absolutePath() + QStringLiteral("/bootstraprc"), QSettings::IniFormat);
    return bootstrap.value(QStringLiteral("Bootstrap/ProductKey")).toString().contains(QLatin1String("Office"));
}

} // namespace

QList<qint64> ForeignEnginePids()
{
    const QList<qint64> ours = EngineProcess::startedPids();
    const uint me = getuid();
    QList<qint64> found;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        bool numeric = false;
        const qint64 pid = entry.toLongLong(&numeric);
        if (!numeric || pid == getpid() || ours.contains(pid))
            continue;
        if (readSmallFile(QStringLiteral("/proc/%1/comm").arg(pid)).trimmed() != QLatin1String("soffice.bin"))
            continue;
        const QString status = readSmallFile(QStringLiteral("/proc/%1/status").arg(pid));
        bool mine = false, zombie = false;
        for (const QString &line : status.split(QLatin1Char('\n'))) {
            if (line.startsWith(QLatin1String("Uid:")))
                mine = line.mid(4).simplified().section(QLatin1Char(' '), 0, 0).toUInt() == me;
            else if (line.startsWith(QLatin1String("State:")))
                zombie = line.mid(6).trimmed().startsWith(QLatin1Char('Z'));
        }
        // The headless instances of another Quintarra are not the user's
        // LibreOffice: the user cannot see or close them, and they end with
        // their program.
        if (mine && !zombie && runsLibreOffice(pid) && !EngineProcess::isInstanceOfThisTool(pid))
            found.append(pid);
    }
    return found;
}

namespace {

// Starts the spares after the first paint event of any window has been handled.
class FirstPaintWatch : public QObject
{
public:
    explicit FirstPaintWatch(std::function<void()> then) : mThen(std::move(then))
    {
        QCoreApplication::instance()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !mSeen) {
            mSeen = true;
            QCoreApplication::instance()->removeEventFilter(this);
            // Queued: the paint itself runs first.
            QTimer::singleShot(0, this, mThen);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> mThen;
    bool mSeen = false;
};

} // namespace

LibreOfficeServer::LibreOfficeServer()
    : mTypingLocale(QLocale::system()), mCallTimeout(EngineProcess::kDefaultCallTimeout) {}

LibreOfficeServer::~LibreOfficeServer() = default;

std::unique_ptr<Application> LibreOfficeServer::create()
{
    auto session = std::make_shared<Session>();
    session->typingLocale = mTypingLocale;
    session->drawDirectly = mDrawDirectly;
    session->collector = mSpares;
    if (mDrawInParallel && QThread::idealThreadCount() > 1) {
        session->startSecondInstance = [timeout = mCallTimeout]() -> std::unique_ptr<EngineProcess> {
            EngineProcess::Options options;
            options.callTimeout = timeout;
            auto engine = std::make_unique<EngineProcess>(options);
            try {
                engine->start();
            } catch (const SpreadsheetError &) {
                return nullptr;
            }
            return engine;
        };
    }
    if (mSpare && mSpare->isRunning()) {
        session->engine = std::move(mSpare);
    } else if (auto spare = mSpares ? mSpares->take(std::chrono::steady_clock::now() + mCallTimeout) : nullptr) {
        mSpare.reset();
        session->engine = std::move(spare);
    } else {
        // A spare that died while it waited is of no use.
        mSpare.reset();
        EngineProcess::Options options;
        options.callTimeout = mCallTimeout;
        session->engine = std::make_unique<EngineProcess>(options);
    }
    session->engine->setCallTimeout(mCallTimeout);
    session->engine->waitUntilReady();
    return std::make_unique<LoApplication>(session);
}

std::unique_ptr<Application> LibreOfficeServer::getRunning()
{
    const QList<qint64> running = ForeignEnginePids();
    if (running.isEmpty())
        throw SpreadsheetError(QStringLiteral("No LibreOffice instance of the user is running."));
    return std::make_unique<RunningApplication>(running.first(), productNameOfInstallation(running.first()));
}

QString LibreOfficeServer::expectedProductName() const
{
    return EngineProcess::installedProductName();
}

void LibreOfficeServer::startAheadOfNeed()
{
    // The kept spares are ahead of need already; their replacements wait for
    // the command to end.
    if (mSpares) {
        if (!mCommandUnderWay)
            mSpares->commandStarted();
        mCommandUnderWay = true;
        return;
    }
    if (mSpare && mSpare->isRunning())
        return;
    EngineProcess::Options options;
    options.callTimeout = mCallTimeout;
    auto spare = std::make_unique<EngineProcess>(options);
    try {
        spare->start();
    } catch (const std::exception &) {
        // create() starts one itself and reports what goes wrong.
        return;
    }
    mSpare = std::move(spare);
}

void LibreOfficeServer::dropStartedAhead()
{
    mSpare.reset();
    if (mSpares && mCommandUnderWay)
        mSpares->commandEnded();
    mCommandUnderWay = false;
}

void LibreOfficeServer::handOver(std::unique_ptr<EngineProcess> spare)
{
    mSpare = std::move(spare);
}

void LibreOfficeServer::setDrawInParallel(bool on)
{
    mDrawInParallel = on;
}

void LibreOfficeServer::setDrawDirectly(bool on)
{
    mDrawDirectly = on;
}

void LibreOfficeServer::setTypingLocale(const QLocale &locale)
{
    mTypingLocale = locale;
}

void LibreOfficeServer::setCallTimeout(std::chrono::milliseconds timeout)
{
    mCallTimeout = timeout;
}

void LibreOfficeServer::startSpares(int count, bool warm)
{
    if (mSpares)
        return;
    OwnedWorkbooks::removeThoseOfDeadRuns();
    EngineSpares::Options options;
    options.count = count;
    options.warm = warm;
    options.callTimeout = mCallTimeout;
    mSpares = std::make_shared<EngineSpares>(options);
    mSpares->startKeeping();
}

void LibreOfficeServer::startSparesAfterFirstPaint()
{
    if (!mFirstPaintWatch)
        mFirstPaintWatch = std::make_unique<FirstPaintWatch>([this] { startSpares(); });
}

QList<qint64> LibreOfficeServer::sparePids() const
{
    return mSpares ? mSpares->sparePids() : QList<qint64>();
}

QList<qint64> LibreOfficeServer::quittingPids() const
{
    return mSpares ? mSpares->quittingPids() : QList<qint64>();
}

bool LibreOfficeServer::waitForSpares(std::chrono::milliseconds timeout)
{
    return mSpares && mSpares->waitUntilFilled(timeout);
}
