#pragma once

// The real engine with every call the chart command makes marked on a
// timeline, and a host that marks the hand-over to the preview.

#include "chart/charthost.h"
#include "entries/entrylistmodel.h"
#include "entries/entry.h"
#include "spreadsheet/spreadsheetserver.h"

#include <QElapsedTimer>
#include <QHash>
#include <QImage>
#include <QString>

#include <memory>

// When each thing happened, in milliseconds from the click; the first time
// a mark is set wins.
class Timeline
{
public:
    void start() { mClock.start(); mMarks.clear(); }
    void mark(const QString &name)
    {
        if (!mMarks.contains(name))
            mMarks.insert(name, mClock.nsecsElapsed() / 1e6);
    }
    double at(const QString &name) const { return mMarks.value(name, qQNaN()); }

private:
    QElapsedTimer mClock;
    QHash<QString, double> mMarks;
};

class TimedWorksheet : public Worksheet
{
public:
    TimedWorksheet(std::shared_ptr<Worksheet> inner, Timeline &timeline)
        : mInner(std::move(inner)), mTimeline(timeline) {}
    QString name() override { return mInner->name(); }
    void setCellText(int row, int column, const QString &text) override { mInner->setCellText(row, column, text); }
    void setCellValue(int row, int column, const QString &typed) override { mInner->setCellValue(row, column, typed); }
    void setCellNumberFormat(int row, int column, const QString &format) override
    {
        mInner->setCellNumberFormat(row, column, format);
    }
    void setTextAndAmountRows(int firstRow, int column, const QList<TextAndAmount> &rows) override
    {
        mTimeline.mark(QStringLiteral("rows begin"));
        mInner->setTextAndAmountRows(firstRow, column, rows);
    }
    void setRangeNumberFormat(int firstRow, int lastRow, int column, const QString &format) override
    {
        mInner->setRangeNumberFormat(firstRow, lastRow, column, format);
    }
    QVariant cellValue(int row, int column) override { return mInner->cellValue(row, column); }
    QString cellNumberFormat(int row, int column) override { return mInner->cellNumberFormat(row, column); }
    void extendChartsTo(int lastRow) override
    {
        mTimeline.mark(QStringLiteral("charts begin"));
        mInner->extendChartsTo(lastRow);
        mTimeline.mark(QStringLiteral("charts end"));
    }
    void drawChartsFlat(int smallestLabelledShare) override
    {
        mTimeline.mark(QStringLiteral("flat begin"));
        mInner->drawChartsFlat(smallestLabelledShare);
        mTimeline.mark(QStringLiteral("flat end"));
    }
    QImage usedRangePicture() override
    {
        mTimeline.mark(QStringLiteral("draw begin"));
        QImage picture = mInner->usedRangePicture();
        mTimeline.mark(QStringLiteral("draw end"));
        return picture;
    }
    QImage usedRangePictureDroppingDrawings(const PictureFirstView &firstView) override
    {
        mTimeline.mark(QStringLiteral("draw begin"));
        QImage picture = mInner->usedRangePictureDroppingDrawings(firstView);
        mTimeline.mark(QStringLiteral("draw end"));
        return picture;
    }

private:
    std::shared_ptr<Worksheet> mInner;
    Timeline &mTimeline;
};

class TimedWorkbook : public Workbook
{
public:
    TimedWorkbook(std::shared_ptr<Workbook> inner, Timeline &timeline)
        : mInner(std::move(inner)), mTimeline(timeline) {}
    std::shared_ptr<Worksheet> activeSheet() override
    {
        return std::make_shared<TimedWorksheet>(mInner->activeSheet(), mTimeline);
    }
    std::shared_ptr<Worksheet> firstSheet() override
    {
        return std::make_shared<TimedWorksheet>(mInner->firstSheet(), mTimeline);
    }
    void saveAs(const QString &path) override
    {
        mTimeline.mark(QStringLiteral("save begin"));
        mInner->saveAs(path);
        mTimeline.mark(QStringLiteral("save end"));
    }
    void close() override { mInner->close(); }

private:
    std::shared_ptr<Workbook> mInner;
    Timeline &mTimeline;
};

// Application n's marks carry its number ("quit 1 end").
class TimedWorkbooks : public Workbooks
{
public:
    TimedWorkbooks(Workbooks &inner, Timeline &timeline, int number)
        : mInner(inner), mTimeline(timeline), mNumber(number) {}
    std::shared_ptr<Workbook> open(const QString &path) override
    {
        auto book = std::make_shared<TimedWorkbook>(mInner.open(path), mTimeline);
        mTimeline.mark(QStringLiteral("open %1 end").arg(mNumber));
        return book;
    }
    int count() override { return mInner.count(); }
    std::shared_ptr<Workbook> item(int index) override
    {
        return std::make_shared<TimedWorkbook>(mInner.item(index), mTimeline);
    }

private:
    Workbooks &mInner;
    Timeline &mTimeline;
    int mNumber;
};

class TimedApplication : public Application
{
public:
    TimedApplication(std::unique_ptr<Application> inner, Timeline &timeline, int number)
        : mInner(std::move(inner)), mBooks(mInner->workbooks(), timeline, number),
          mTimeline(timeline), mNumber(number) {}
    QString defaultValue() override { return mInner->defaultValue(); }
    Workbooks &workbooks() override { return mBooks; }
    void setDisplayAlerts(bool on) override
    {
        mTimeline.mark(QStringLiteral("alerts %1").arg(mNumber));
        mInner->setDisplayAlerts(on);
    }
    void quit() override
    {
        mInner->quit();
        mTimeline.mark(QStringLiteral("quit %1 end").arg(mNumber));
    }

private:
    std::unique_ptr<Application> mInner;
    TimedWorkbooks mBooks;
    Timeline &mTimeline;
    int mNumber;
};

class TimedServer : public SpreadsheetServer
{
public:
    TimedServer(SpreadsheetServer &inner, Timeline &timeline) : mInner(inner), mTimeline(timeline) {}
    std::unique_ptr<Application> create() override
    {
        const int number = ++mCreated;
        mTimeline.mark(QStringLiteral("create %1 begin").arg(number));
        auto app = std::make_unique<TimedApplication>(mInner.create(), mTimeline, number);
        mTimeline.mark(QStringLiteral("create %1 end").arg(number));
        return app;
    }
    std::unique_ptr<Application> getRunning() override { return mInner.getRunning(); }
    QString expectedProductName() const override { return mInner.expectedProductName(); }
    QLocale numberLocale() const override { return mInner.numberLocale(); }
    void startAheadOfNeed() override { mInner.startAheadOfNeed(); }
    void dropStartedAhead() override { mInner.dropStartedAhead(); }

private:
    SpreadsheetServer &mInner;
    Timeline &mTimeline;
    int mCreated = 0;
};

class BenchHost : public ChartHost
{
public:
    BenchHost(EntryList entries, Timeline &timeline) : mEntries(std::move(entries)), mTimeline(timeline) {}
    int entryCount() override { return int(mEntries.size()); }
    Entry entryAt(int position) override { return mEntries.at(position - 1); }
    void storeEntries() override
    {
        EntryListModel model;
        model.appendEntries(mEntries);
        model.store();
    }
    void setMousePointer(qint16 value) override
    {
        mTimeline.mark(QStringLiteral("pointer %1 #%2").arg(value).arg(++mPointerChanges));
    }
    void setPreviewPicture(const QImage &image) override
    {
        mTimeline.mark(QStringLiteral("picture loaded"));
        mTimeline.mark(QStringLiteral("picture complete"));
        picture = image;
    }
    bool showsPictureTop() const override { return true; }
    void setPreviewPictureTop(const QImage &, QSize) override { mTimeline.mark(QStringLiteral("picture top")); }
    void completePreviewPicture(const QImage &image) override
    {
        mTimeline.mark(QStringLiteral("picture loaded"));
        mTimeline.mark(QStringLiteral("picture complete"));
        picture = image;
    }
    void setPreviewWorkbook(const QString &path) override { workbook = path; }
    void showPreview() override { mTimeline.mark(QStringLiteral("preview shown")); }
    void hideMainWindow() override {}

    QImage picture;
    QString workbook;

private:
    EntryList mEntries;
    Timeline &mTimeline;
    int mPointerChanges = 0;
};
