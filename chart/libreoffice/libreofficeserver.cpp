#include "chart/libreoffice/libreofficeserver.h"

#include "chart/libreoffice/process/engineprocess.h"
#include "chart/libreoffice/process/enginespares.h"
#include "chart/sheetpicture.h"
#include "chart/libreoffice/unocall.h"
#include "chart/libreoffice/picture/usedrangepicture.h"
#include "chart/libreoffice/document/xlspatch.h"
#include "entries/numerictest.h"

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
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/lang/Locale.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/sheet/FormulaResult.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/sheet/XSpreadsheetView.hpp>
#include <com/sun/star/sheet/XCellRangeAddressable.hpp>
#include <com/sun/star/sheet/XCellRangeData.hpp>
#include <com/sun/star/sheet/XSheetCellCursor.hpp>
#include <com/sun/star/sheet/XUsedAreaCursor.hpp>
#include <com/sun/star/table/CellContentType.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/text/XTextRange.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <com/sun/star/util/MalformedNumberFormatException.hpp>
#include <com/sun/star/util/XNumberFormats.hpp>
#include <com/sun/star/util/XNumberFormatsSupplier.hpp>

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QScopeGuard>
#include <QSettings>
#include <QTimer>
#include <QtEndian>

#include <algorithm>

#include <fcntl.h>
#include <unistd.h>

namespace {

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
                Reference<css::sheet::XSpreadsheet> sheet)
        : mSession(std::move(session)), mModel(std::move(model)), mSheet(std::move(sheet)) {}

    QString name() override;
    void setCellText(int row, int column, const QString &text) override;
    void setCellValue(int row, int column, const QString &typed) override;
    void setCellNumberFormat(int row, int column, const QString &format) override;
    void setTextAndAmountRows(int firstRow, int column, const QList<TextAndAmount> &rows) override;
    void setRangeNumberFormat(int firstRow, int lastRow, int column, const QString &format) override;
    QVariant cellValue(int row, int column) override;
    QList<QVariantList> readRows(int firstRow, int column, int columns) override;
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
        const auto component = loader->loadComponentFromURL(fileUrl(path), OUString("_blank"), 0, arguments);
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
    mSession->call(action, [&] {
        const Reference<css::frame::XStorable> storable(document, UNO_QUERY_THROW);
        try {
            storable->storeAsURL(fileUrl(path),
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
    dropPlaceholder.dismiss();
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
    mSession->call(QStringLiteral("set the value of cell %1").arg(cellName(row, column)),
                   [&] { writeText(cell(row, column), text); });
}

void LoWorksheet::setCellValue(int row, int column, const QString &typed)
{
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
    mSession->call(QStringLiteral("set the number format of cell %1").arg(cellName(row, column)), [&] {
        const Reference<css::beans::XPropertySet> properties(cell(row, column), UNO_QUERY_THROW);
        properties->setPropertyValue(OUString("NumberFormat"), Any(formatKey(format)));
    });
}

void LoWorksheet::setRangeNumberFormat(int firstRow, int lastRow, int column, const QString &format)
{
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

QList<QVariantList> LoWorksheet::readRows(int firstRow, int column, int columns)
{
    return mSession->call(QStringLiteral("read the rows from %1 on").arg(cellName(firstRow, column)), [&] {
        QList<QVariantList> rows;
        const Reference<css::sheet::XSheetCellCursor> cursor = mSheet->createCursor();
        const Reference<css::sheet::XUsedAreaCursor> used(cursor, UNO_QUERY_THROW);
        used->gotoEndOfUsedArea(false);
        const Reference<css::sheet::XCellRangeAddressable> address(cursor, UNO_QUERY_THROW);
        const int lastRow = address->getRangeAddress().EndRow + 1;
        if (lastRow < firstRow)
            return rows;
        // One exchange for the whole block: a long list has tens of thousands of cells.
        const Reference<css::sheet::XCellRangeData> data(range(firstRow, column, lastRow, column + columns - 1),
                                                        UNO_QUERY_THROW);
        const Sequence<Sequence<Any>> block = data->getDataArray();
        rows.reserve(block.getLength());
        for (const Sequence<Any> &line : block) {
            QVariantList cells;
            for (const Any &cell : line) {
                double value = 0;
                OUString text;
                if (cell >>= value)
                    cells.append(value);
                else if ((cell >>= text) && !text.isEmpty())
                    cells.append(toQString(text));
                else
                    cells.append(QVariant());
            }
            rows.append(cells);
        }
        return rows;
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

QImage LoWorksheet::usedRangePicture()
{
    const QString action = QStringLiteral("take a picture of the used range");
    return UsedRangePicture(mSession->alive(action), mModel, mSheet);
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

LibreOfficeServer::LibreOfficeServer()
    : mTypingLocale(QLocale::system()), mCallTimeout(EngineProcess::kDefaultCallTimeout) {}

LibreOfficeServer::~LibreOfficeServer() = default;

namespace {

std::unique_ptr<EngineProcess> newInstance(std::chrono::milliseconds callTimeout)
{
    EngineProcess::Options options;
    options.callTimeout = callTimeout;
    return std::make_unique<EngineProcess>(options);
}

// An instance spawned without waiting for it to answer; none when it cannot
// be spawned.
std::unique_ptr<EngineProcess> startedInstance(std::chrono::milliseconds callTimeout)
{
    auto engine = newInstance(callTimeout);
    try {
        engine->start();
    } catch (const std::exception &) {
        return nullptr;
    }
    return engine;
}

} // namespace

std::unique_ptr<Application> LibreOfficeServer::create()
{
    auto session = std::make_shared<Session>();
    session->typingLocale = mTypingLocale;
    session->collector = mSpares;
    if (mSpare && mSpare->isRunning() && mSpare->hasItsFolders()) {
        session->engine = std::move(mSpare);
    } else if (auto spare = mSpares ? mSpares->take(std::chrono::steady_clock::now() + mCallTimeout) : nullptr) {
        mSpare.reset();
        session->engine = std::move(spare);
    } else {
        // A spare that died while it waited is of no use.
        mSpare.reset();
        session->engine = newInstance(mCallTimeout);
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
    // When none can be started, create() starts one itself and reports what goes wrong.
    mSpare = startedInstance(mCallTimeout);
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
    EngineSpares::Options options;
    options.count = count;
    options.warm = warm;
    options.warmUpDocument = mWarmUpDocument;
    options.callTimeout = mCallTimeout;
    mSpares = std::make_shared<EngineSpares>(options);
    mSpares->startKeeping();
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
