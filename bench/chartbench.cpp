// Times "Start Creating Template" on the real engine: lists of 0, 6 and 50
// rows, several clicks each, and prints the median and spread of click to
// preview and of each phase of the command.
//
//   chartbench [clicks per list, default 5]
#include "chart/chartcommand.h"
#include "chart/charthost.h"
#include "chart/libreofficeserver.h"
#include "chart/spreadsheetserver.h"
#include "shell/prompts.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QHash>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

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

// The real engine, with every call the command makes marked on the timeline.
// Application n's marks carry its number ("quit 1 end").
class TimedWorkbook : public Workbook
{
public:
    TimedWorkbook(std::shared_ptr<Workbook> inner, Timeline &timeline)
        : mInner(std::move(inner)), mTimeline(timeline) {}
    std::shared_ptr<Worksheet> activeSheet() override { return mInner->activeSheet(); }
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
    void startAheadOfNeed() override { mInner.startAheadOfNeed(); }
    void dropStartedAhead() override { mInner.dropStartedAhead(); }
    void reset() { mCreated = 0; }

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
    void setMousePointer(qint16 value) override
    {
        mTimeline.mark(QStringLiteral("pointer %1 #%2").arg(value).arg(++mPointerChanges));
    }
    void setPreviewPicture(const QImage &picture) override
    {
        mTimeline.mark(QStringLiteral("picture loaded"));
        pictureSize = picture.size();
    }
    void setPreviewWorkbook(const QString &path) override { workbook = path; }
    void showPreview() override { mTimeline.mark(QStringLiteral("preview shown")); }
    void hideMainWindow() override {}

    QSize pictureSize;
    QString workbook;

private:
    EntryList mEntries;
    Timeline &mTimeline;
    int mPointerChanges = 0;
};

// Other LibreOffice instances may run beside the benchmark: go on regardless.
// Any error report is printed, and the run counts as failed.
class BenchPrompts : public Prompts
{
public:
    MsgAnswer message(const QString &text, MsgButtons buttons, MsgIcon, const QString &title) override
    {
        if (title == QLatin1String("Application Error")) {
            ++errors;
            std::fprintf(stderr, "error report: %s\n", qPrintable(QString(text).replace(QLatin1Char('\r'), QLatin1Char(' '))));
        }
        return buttons == MsgButtons::YesNo ? MsgAnswer::Yes : MsgAnswer::Ok;
    }
    QString input(const QString &, const QString &, const QString &) override { return {}; }
    QString saveFileName(const QString &, const QString &) override { return {}; }
    int errors = 0;
};

EntryList listOf(int rows)
{
    EntryList entries;
    for (int i = 1; i <= rows; ++i)
        entries.append({QStringLiteral("Asset %1").arg(i), QString::number(1000 * i + 250)});
    return entries;
}

struct Phase {
    const char *name;
    QString from;
    QString to;
};

// Marks: pointer 11 #1 (102), create 1 begin/end (108), save begin/end (164),
// quit 1 end (170), create 2 begin (178), open 2 end (178), pointer 11 #3 (180),
// alerts 2 (186), quit 2 end (190), pointer 0 #4 (192), picture loaded (194),
// preview shown (198).
const QList<Phase> kPhases = {
    {"click to preview", QString(), QStringLiteral("preview shown")},
    {"write template", QString(), QStringLiteral("create 1 begin")},
    {"first start", QStringLiteral("create 1 begin"), QStringLiteral("create 1 end")},
    {"fill", QStringLiteral("create 1 end"), QStringLiteral("save begin")},
    {"save", QStringLiteral("save begin"), QStringLiteral("save end")},
    {"quit", QStringLiteral("save end"), QStringLiteral("quit 1 end")},
    {"second start", QStringLiteral("create 2 begin"), QStringLiteral("open 2 end")},
    {"picture", QStringLiteral("open 2 end"), QStringLiteral("alerts 2")},
    {"second quit", QStringLiteral("alerts 2"), QStringLiteral("quit 2 end")},
    {"load picture", QStringLiteral("pointer 0 #4"), QStringLiteral("picture loaded")},
};

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    const qsizetype n = values.size();
    return n % 2 ? values.at(n / 2) : (values.at(n / 2 - 1) + values.at(n / 2)) / 2;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int clicks = argc > 1 ? std::max(1, atoi(argv[1])) : 5;

    // The benchmark's files and settings stay in a folder of its own.
    QTemporaryDir root;
    QDir(root.path()).mkpath(QStringLiteral("config"));
    QDir(root.path()).mkpath(QStringLiteral("temp"));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(root.filePath(QStringLiteral("config"))));
    qputenv("TEMP", QFile::encodeName(root.filePath(QStringLiteral("temp"))));

    Timeline timeline;
    LibreOfficeServer engine;
    TimedServer server(engine, timeline);
    BenchPrompts prompts;

    std::printf("%d clicks per list; milliseconds: median [min .. max]\n\n", clicks);
    std::printf("%-18s", "phase");
    const QList<int> sizes = {0, 6, 50};
    for (int rows : sizes)
        std::printf("  %26s", qPrintable(QStringLiteral("%1 rows").arg(rows)));
    std::printf("\n");

    QHash<int, QList<QList<double>>> figures;   // rows -> phase -> samples
    int failed = 0;
    for (int rows : sizes) {
        QList<QList<double>> &samples = figures[rows];
        samples.resize(kPhases.size());
        for (int click = 0; click < clicks; ++click) {
            BenchHost host(listOf(rows), timeline);
            server.reset();
            const int errorsBefore = prompts.errors;
            timeline.start();
            ChartCommand(prompts, server).run(host);
            if (prompts.errors != errorsBefore || host.pictureSize.isEmpty()) {
                ++failed;
                continue;
            }
            for (int p = 0; p < kPhases.size(); ++p) {
                const Phase &phase = kPhases.at(p);
                const double from = phase.from.isEmpty() ? 0.0 : timeline.at(phase.from);
                samples[p].append(timeline.at(phase.to) - from);
            }
            // The preview would own and delete the workbook.
            QFile::remove(host.workbook);
        }
    }

    for (int p = 0; p < kPhases.size(); ++p) {
        std::printf("%-18s", kPhases.at(p).name);
        for (int rows : sizes) {
            const QList<double> &values = figures[rows][p];
            if (values.isEmpty()) {
                std::printf("  %26s", "-");
                continue;
            }
            const auto [low, high] = std::minmax_element(values.begin(), values.end());
            std::printf("  %26s", qPrintable(QStringLiteral("%1 [%2 .. %3]")
                                                     .arg(median(values), 0, 'f', 1)
                                                     .arg(*low, 0, 'f', 1)
                                                     .arg(*high, 0, 'f', 1)));
        }
        std::printf("\n");
    }
    if (failed)
        std::printf("\n%d clicks reported errors and are left out.\n", failed);
    return failed ? 1 : 0;
}
