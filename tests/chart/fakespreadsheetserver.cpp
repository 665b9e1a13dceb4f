#include "fakespreadsheetserver.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QThread>


namespace {

class FakeSheet : public Worksheet
{
public:
    FakeSheet(FakeSpreadsheetServer &server, FakeSpreadsheetServer::Sheet &content)
        : mServer(server), mContent(content) {}

    QString name() override { return QStringLiteral("Assets"); }

    void setCellText(int row, int column, const QString &text) override
    {
        setCell(QStringLiteral("setCellText"), row, column, text);
    }

    void setTextAndAmountRows(int firstRow, int column, const QList<TextAndAmount> &rows) override
    {
        mServer.enter(QStringLiteral("setTextAndAmountRows"),
                      QStringLiteral("%1..%2").arg(firstRow).arg(firstRow + rows.size() - 1));
        for (int i = 0; i < rows.size(); ++i) {
            mContent.values[{firstRow + i, column}] = rows.at(i).text;
            mContent.values[{firstRow + i, column + 1}] = rows.at(i).amount;
        }
    }

    void setRangeNumberFormat(int firstRow, int lastRow, int column, const QString &format) override
    {
        mServer.enter(QStringLiteral("setRangeNumberFormat"), QStringLiteral("%1..%2").arg(firstRow).arg(lastRow));
        for (int row = firstRow; row <= lastRow; ++row)
            mContent.formats[{row, column}] = format;
    }

    void setCellValue(int row, int column, const QString &typed) override
    {
        setCell(QStringLiteral("setCellValue"), row, column, typed);
    }

    void setCellNumberFormat(int row, int column, const QString &format) override
    {
        mServer.enter(QStringLiteral("setCellNumberFormat"), QStringLiteral("%1,%2").arg(row).arg(column));
        mContent.formats[{row, column}] = format;
    }

    QVariant cellValue(int row, int column) override
    {
        mServer.enter(QStringLiteral("cellValue"));
        return mContent.values.value({row, column});
    }

    QString cellNumberFormat(int row, int column) override
    {
        mServer.enter(QStringLiteral("cellNumberFormat"));
        return mContent.formats.value({row, column});
    }

    void extendChartsTo(int lastRow) override
    {
        mServer.enter(QStringLiteral("extendChartsTo"), QString::number(lastRow));
        mContent.chartLastRow = lastRow;
    }

    void drawChartsFlat(int smallestLabelledShare) override
    {
        mServer.enter(QStringLiteral("drawChartsFlat"), QString::number(smallestLabelledShare));
        mContent.chartLabelledShare = smallestLabelledShare;
    }

    QImage usedRangePicture() override
    {
        mServer.enter(QStringLiteral("usedRangePicture"));
        return mServer.picture;
    }

    QImage usedRangePictureDroppingDrawings(const PictureFirstView &firstView) override
    {
        mServer.enter(QStringLiteral("usedRangePictureDroppingDrawings"));
        if (mServer.topFirst && firstView.show) {
            firstView.show(mServer.picture.copy(0, 0, mServer.picture.width(), firstView.rows), mServer.picture.size());
            mServer.enter(QStringLiteral("usedRangePictureDroppingDrawings, rest"));
        }
        return mServer.picture;
    }

private:
    // The fake keeps a cell's text as it was given, and empties the cell for
    // the empty text.
    void setCell(const QString &call, int row, int column, const QString &text)
    {
        mServer.enter(call, QStringLiteral("%1,%2=%3").arg(row).arg(column).arg(text));
        if (text.isEmpty())
            mContent.values.remove({row, column});
        else
            mContent.values[{row, column}] = text;
    }

    FakeSpreadsheetServer &mServer;
    FakeSpreadsheetServer::Sheet &mContent;
};

class FakeWorkbook : public Workbook
{
public:
    FakeWorkbook(FakeSpreadsheetServer &server, FakeSpreadsheetServer::Sheet content)
        : mServer(server), mContent(std::move(content)) {}

    std::shared_ptr<Worksheet> activeSheet() override
    {
        mServer.enter(QStringLiteral("activeSheet"));
        return std::make_shared<FakeSheet>(mServer, mContent);
    }

    void saveAs(const QString &path) override
    {
        mServer.enter(QStringLiteral("saveAs"), path);
        if (!mServer.saveWritesFile)
            return;
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write("fake workbook") < 0)
            throw SpreadsheetError(QStringLiteral("Cannot write %1").arg(path));
        mServer.saved.insert(path, mContent);
    }

    void close() override { mServer.enter(QStringLiteral("close")); }

private:
    FakeSpreadsheetServer &mServer;
    FakeSpreadsheetServer::Sheet mContent;
};

class FakeWorkbooks : public Workbooks
{
public:
    explicit FakeWorkbooks(FakeSpreadsheetServer &server) : mServer(server) {}

    std::shared_ptr<Workbook> open(const QString &path) override
    {
        mServer.enter(QStringLiteral("open"), path);
        if (!QFileInfo::exists(path))
            throw SpreadsheetError(QStringLiteral("Cannot open %1: no such file").arg(path));
        const bool isTemplate = path.endsWith(QLatin1String(".xlt"));
        mBooks.append(std::make_shared<FakeWorkbook>(
                mServer, isTemplate ? mServer.templateSheet() : mServer.saved.value(path)));
        return mBooks.last();
    }

    int count() override
    {
        mServer.enter(QStringLiteral("count"));
        return int(mBooks.size());
    }

    std::shared_ptr<Workbook> item(int index) override
    {
        mServer.enter(QStringLiteral("item"), QString::number(index));
        if (index < 1 || index > mBooks.size())
            throw SpreadsheetError(QStringLiteral("Subscript out of range"));
        return mBooks.at(index - 1);
    }

private:
    FakeSpreadsheetServer &mServer;
    QList<std::shared_ptr<Workbook>> mBooks;
};

class FakeApplication : public Application
{
public:
    FakeApplication(FakeSpreadsheetServer &server, bool counted)
        : mServer(server), mBooks(server), mCounted(counted)
    {
        if (mCounted)
            ++mServer.liveInstances;
    }
    ~FakeApplication() override { end(); }

    QString defaultValue() override
    {
        mServer.enter(QStringLiteral("defaultValue"));
        return mServer.expectedProductName();
    }

    Workbooks &workbooks() override
    {
        mServer.enter(QStringLiteral("workbooks"));
        return mBooks;
    }

    void setDisplayAlerts(bool on) override
    {
        mServer.enter(QStringLiteral("setDisplayAlerts"), on ? QStringLiteral("true") : QStringLiteral("false"));
    }

    void quit() override
    {
        mServer.enter(QStringLiteral("quit"));
        end();
    }

private:
    void end()
    {
        if (mCounted && !mEnded)
            --mServer.liveInstances;
        mEnded = true;
    }

    FakeSpreadsheetServer &mServer;
    FakeWorkbooks mBooks;
    bool mCounted;
    bool mEnded = false;
};

} // namespace

void FakeSpreadsheetServer::failCall(const QString &name, int occurrence, bool instanceLost)
{
    mFailAt.insert(name, occurrence);
    if (instanceLost)
        mLostAt.insert(name);
    else
        mLostAt.remove(name);
    mCallCount.remove(name);
}

void FakeSpreadsheetServer::enter(const QString &name, const QString &detail)
{
    // Lookups that carry no action of their own stay out of the trail, so that
    // it shows what was done, not how the objects were reached.
    static const QStringList quiet = {QStringLiteral("workbooks"), QStringLiteral("activeSheet"),
                                      QStringLiteral("count"), QStringLiteral("item"),
                                      QStringLiteral("defaultValue"), QStringLiteral("getRunning")};
    static const QStringList onTheWindowsThread = {QStringLiteral("getRunning"), QStringLiteral("defaultValue"),
                                                   QStringLiteral("dropStartedAhead")};
    if (QThread::currentThread() == QCoreApplication::instance()->thread() && !onTheWindowsThread.contains(name))
        callsOnWindowsThread.append(name);
    ++calls[name];
    if (!quiet.contains(name))
        mTrail->append(detail.isNull() ? name : name + QLatin1Char(' ') + detail);
    if (name == blockedCall)
        waitForTheCancel(name);
    if (!mFailAt.contains(name))
        return;
    const int call = ++mCallCount[name];
    const int failAt = mFailAt.value(name);
    if (failAt != 0 && failAt != call)
        return;
    if (mLostAt.contains(name))
        throw InstanceLostError(QStringLiteral("%1 failed: the instance is gone").arg(name));
    throw SpreadsheetError(QStringLiteral("%1 failed").arg(name));
}

void FakeSpreadsheetServer::releaseBlockedCall()
{
    {
        std::lock_guard lock(mBlockMutex);
        mReleased = true;
    }
    mBlockWake.notify_all();
}

void FakeSpreadsheetServer::waitForTheCancel(const QString &name)
{
    std::unique_lock lock(mBlockMutex);
    // Bounded, so that a cancel that never comes fails the test instead of hanging it.
    if (mBlockWake.wait_for(lock, mStop, std::chrono::minutes(1), [this] { return mReleased; }))
        return;
    throw InstanceLostError(QStringLiteral("%1 failed: the instance was ended").arg(name));
}

FakeSpreadsheetServer::Sheet FakeSpreadsheetServer::templateSheet() const
{
    Sheet sheet;
    const QStringList rows = {QStringLiteral("Savings"), QStringLiteral("25000"), QStringLiteral("401k"),
                              QStringLiteral("55000"), QStringLiteral("Stocks"), QStringLiteral("15000"),
                              QStringLiteral("House"), QStringLiteral("250000"), QStringLiteral("Bonds"),
                              QStringLiteral("11000"), QStringLiteral("Car"), QStringLiteral("7500")};
    sheet.values[{3, 1}] = QStringLiteral("Asset Type");
    sheet.values[{3, 2}] = QStringLiteral("Amount");
    for (int i = 0; i < 6; ++i) {
        sheet.values[{4 + i, 1}] = rows.at(2 * i);
        sheet.values[{4 + i, 2}] = rows.at(2 * i + 1);
        sheet.formats[{4 + i, 2}] = QStringLiteral("template accounting");
    }
    return sheet;
}

std::unique_ptr<Application> FakeSpreadsheetServer::create()
{
    enter(QStringLiteral("create"));
    ++instancesCreated;
    return std::make_unique<FakeApplication>(*this, true);
}

std::unique_ptr<Application> FakeSpreadsheetServer::createStoppable(std::stop_token stop)
{
    mStop = std::move(stop);
    return create();
}

std::unique_ptr<Application> FakeSpreadsheetServer::getRunning()
{
    enter(QStringLiteral("getRunning"));
    if (!userInstanceRunning)
        throw SpreadsheetError(QStringLiteral("No instance is running"));
    return std::make_unique<FakeApplication>(*this, false);
}
