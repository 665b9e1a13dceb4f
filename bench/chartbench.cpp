// Times "Start Creating Template" on the real engine and prints, for lists of
// 6, 50, 1,000 and 32,766 rows, the median and spread of click to preview
// (a) with warm spares, (a') with spares started but not warmed, (b) with
// spares disabled, and (c) of one "soffice --headless --convert-to png" of the
// same workbook on a reused profile, clicks, lists and sides interleaved in one
// run; the ratios to (c); each phase of each side, the time to the preview's
// first view and to the whole picture; start to first paint of the main
// window, with the sample list and with the longest list stored; peak
// resident memory of this program and of each spare.
//
//   chartbench [clicks per list, default 7] [--rows N,N,...] [--sides a,a',b]
//   chartbench --pictures FOLDER [--rows N,N,...]
//       one click per list; writes each picture to FOLDER/<rows>.png and the
//       workbook to FOLDER/<rows>.xls, and prints the picture's size and a
//       digest of its pixels
//   chartbench --idle [repeats, default 3]
//       the first chart 2 s after start, warm, and 3 s after the return from
//       idle, against the command-line conversion; memory at idle, after the
//       release and after the return
//   chartbench --stored-form [repeats, default 7]
//       decode, fill the list view and encode lists of 6, 50 and 32,766 rows
#include "app/form1.h"
#include "benchsupport.h"
#include "chart/chartcommand.h"
#include "chart/charthost.h"
#include "entries/entrycodec.h"
#include "entries/entrylistmodel.h"
#include "entries/entrylistview.h"
#include "entries/sampleentries.h"
#include "ground/prompts.h"
#include "ground/settingsstore.h"
#include "libreoffice/installation.h"
#include "libreoffice/libreofficeserver.h"
#include "libreoffice/process/engineprocess.h"
#include "libreoffice/process/enginespares.h"
#include "observedserver.h"
#include "timedengine.h"
#include "spreadsheet/spreadsheetserver.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QHash>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>

#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <cstdio>

namespace {

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

// Marks: pointer 11 #1 (102), create 1 begin/end (108), open 1 end (110),
// rows begin (138), charts begin/end and flat begin/end (144), save begin/end (164), quit 1 end (170), create 2 begin
// (178), open 2 end (178), pointer 11 #3 (180), draw begin/end (184), alerts 2
// (186), quit 2 end (190), pointer 0 #4 (192), picture loaded (194), preview
// shown (198). A phase whose marks are not set is left out.
const QList<Phase> kPhases = {
    {"click to preview", QString(), QStringLiteral("preview shown")},
    {"write template", QString(), QStringLiteral("create 1 begin")},
    {"first start", QStringLiteral("create 1 begin"), QStringLiteral("create 1 end")},
    {"open template", QStringLiteral("create 1 end"), QStringLiteral("open 1 end")},
    {"write rows", QStringLiteral("open 1 end"), QStringLiteral("save begin")},
    {"  chart ranges", QStringLiteral("charts begin"), QStringLiteral("charts end")},
    {"  flat pie", QStringLiteral("flat begin"), QStringLiteral("flat end")},
    {"save", QStringLiteral("save begin"), QStringLiteral("save end")},
    {"first quit", QStringLiteral("save end"), QStringLiteral("quit 1 end")},
    {"second instance", QStringLiteral("create 2 begin"), QStringLiteral("open 2 end")},
    {"draw picture", QStringLiteral("draw begin"), QStringLiteral("draw end")},
    {"picture to 192", QStringLiteral("draw end"), QStringLiteral("pointer 0 #4")},
    {"read back", QStringLiteral("pointer 0 #4"), QStringLiteral("picture loaded")},
    {"first view", QString(), QStringLiteral("preview shown")},
    {"whole picture", QString(), QStringLiteral("picture complete")},
};

// The load average now, as /proc gives it.
QByteArray loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed() : QByteArray("?");
}

// Milliseconds since this process started, by the kernel's clock.
double millisecondsSinceProcessStart()
{
    QFile stat(QStringLiteral("/proc/self/stat"));
    stat.open(QIODevice::ReadOnly);
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    const double startSeconds = fields.value(19).toDouble() / double(sysconf(_SC_CLK_TCK));
    timespec now {};
    clock_gettime(CLOCK_BOOTTIME, &now);
    return (now.tv_sec + now.tv_nsec / 1e9 - startSeconds) * 1000.0;
}

// The main window as the program shows it, until its first paint.
double firstPaintAfterStart(SpreadsheetServer &server)
{
    class Watch : public QObject
    {
    public:
        bool eventFilter(QObject *watched, QEvent *event) override
        {
            if (event->type() == QEvent::Paint && at < 0)
                at = millisecondsSinceProcessStart();
            return QObject::eventFilter(watched, event);
        }
        double at = -1;
    } watch;
    BenchPrompts prompts;
    QCoreApplication::instance()->installEventFilter(&watch);
    // The maker's web page is never opened from a benchmark.
    Form1::Environment environment = Form1::Environment::real();
    environment.launch = [](const QString &, const QStringList &) { return true; };
    Form1 form(prompts, server, environment);
    form.show();
    QElapsedTimer waited;
    waited.start();
    while (watch.at < 0 && waited.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QCoreApplication::instance()->removeEventFilter(&watch);
    form.hide();
    return watch.at;
}

// Start to first paint in a process of its own, with a list of 32,766 rows
// stored; NaN when it could not be measured.
double firstPaintWithLongestList()
{
    SaveSetting(kSettingsApp, kSettingsSection, kAssetsKey, EncodeEntryList(listOf(32766)));
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--first-paint")});
    const bool finished = child.waitForFinished(60000);
    QFile::remove(SettingsFilePath(kSettingsApp));
    bool ok = false;
    const double ms = child.readAllStandardOutput().trimmed().toDouble(&ok);
    return finished && ok ? ms : qQNaN();
}

struct Side {
    const char *name;
    ObservedServer *engine;
};

// One "soffice --headless --convert-to png" of the workbook; milliseconds, or
// NaN when it failed.
double convertOnce(const QString &workbook, const QString &profile, const QString &outFolder)
{
    bool wrote = false;
    const double ms = SofficeConvertMs(workbook, QStringLiteral("png"), profile, outFolder, wrote);
    return wrote ? ms : qQNaN();
}

// Resident and proportional memory of this program and of its instances.
QString memoryNow()
{
    QString text = QStringLiteral("this benchmark %1/%2 MB")
                           .arg(ResidentKb(getpid()) / 1024)
                           .arg(ProportionalKb(getpid()) / 1024);
    const QList<qint64> instances = EngineProcess::startedPids();
    qint64 resident = 0;
    qint64 proportional = 0;
    for (qint64 pid : instances) {
        resident += ResidentKb(pid);
        proportional += ProportionalKb(pid);
    }
    return text + QStringLiteral("; %1 instances %2/%3 MB").arg(instances.size()).arg(resident / 1024).arg(proportional / 1024);
}

// The spares' cost following the user: a chart 2 s after the program's start,
// one with warm spares, one 3 s after the user's return from idle, each
// against the command-line conversion of the same workbook; and the memory at
// idle, after the release and after the return.
int idleMode(int repeats)
{
    QTemporaryDir root;
    KeepBenchmarkFilesIn(root, {QStringLiteral("converted")});
    const QString profile = root.filePath(QStringLiteral("convert-profile"));
    BenchPrompts prompts;
    Timeline timeline;
    QHash<QString, QList<double>> samples;
    QStringList memory;
    int failed = 0;
    const auto click = [&](ObservedServer &engine, const QString &name) {
        TimedServer server(engine, timeline);
        BenchHost host(listOf(6), timeline);
        const int errorsBefore = prompts.errors;
        timeline.start();
        ChartCommand(prompts, server).run(host);
        if (prompts.errors != errorsBefore || host.picture.isNull()) {
            ++failed;
            return QString();
        }
        samples[name].append(timeline.at(QStringLiteral("preview shown")));
        return host.workbook;
    };
    // One conversion first, not counted, sets up the reused profile.
    for (int repeat = -1; repeat < repeats; ++repeat) {
        ObservedServer engine;
        engine.setIdleTime(std::chrono::minutes(10));
        engine.setWarmUpDocument(kTemplateResource);
        engine.startSpares();
        QElapsedTimer sinceStart;
        sinceStart.start();
        WaitUntil([&] { return sinceStart.elapsed() >= 2000; }, 3000);
        const QString workbook = click(engine, QStringLiteral("2 s after start"));
        if (!engine.waitForSpares(std::chrono::seconds(60)))
            ++failed;
        WaitUntil([&] { return engine.quittingPids().isEmpty(); }, 30000);
        const QString idleMemory = memoryNow();
        QFile::remove(click(engine, QStringLiteral("warm")));
        engine.waitForSpares(std::chrono::seconds(60));
        if (!workbook.isEmpty()) {
            const double converted = convertOnce(workbook, profile, root.filePath(QStringLiteral("converted")));
            if (repeat >= 0 && !qIsNaN(converted))
                samples[QStringLiteral("c")].append(converted);
            QFile::remove(workbook);
        }
        engine.setIdleTime(std::chrono::seconds(1));
        if (!WaitUntil([&] { return engine.sparePids().isEmpty() && engine.quittingPids().isEmpty(); }, 60000))
            ++failed;
        const QString releasedMemory = memoryNow();
        engine.userActive();
        engine.setIdleTime(std::chrono::minutes(10));
        QElapsedTimer sinceReturn;
        sinceReturn.start();
        WaitUntil([&] { return sinceReturn.elapsed() >= 3000; }, 4000);
        QFile::remove(click(engine, QStringLiteral("3 s after return")));
        engine.waitForSpares(std::chrono::seconds(60));
        WaitUntil([&] { return engine.quittingPids().isEmpty(); }, 30000);
        if (repeat < 0) {
            for (const QString &name : samples.keys())
                samples[name].clear();
            continue;
        }
        memory << QStringLiteral("at idle: ") + idleMemory << QStringLiteral("after release: ") + releasedMemory
               << QStringLiteral("after return: ") + memoryNow();
    }
    std::printf("%d repeats, 6 rows; milliseconds: median [min .. max], and the ratio to (c)\n", repeats);
    const double c = Median(samples.value(QStringLiteral("c")));
    for (const char *name : {"warm", "2 s after start", "3 s after return", "c"}) {
        const QList<double> values = samples.value(QString::fromLatin1(name));
        std::printf("%-18s  %26s  %.2f\n", name, qPrintable(Summary(values)), Median(values) / c);
    }
    std::printf("(c) soffice --headless --convert-to png of the same workbook, reused profile\n\n");
    std::printf("memory, resident/proportional:\n");
    for (const QString &line : std::as_const(memory))
        std::printf("  %s\n", qPrintable(line));
    if (failed)
        std::printf("\n%d steps failed.\n", failed);
    return failed ? 1 : 0;
}

int storedFormMode(int repeats)
{
    std::printf("stored form, %d repeats; milliseconds: median [min .. max]\n\n", repeats);
    std::printf("%-18s", "step");
    const QList<int> sizes = {6, 50, 32766};
    for (int rows : sizes)
        std::printf("  %26s", qPrintable(QStringLiteral("%1 rows").arg(rows)));
    std::printf("\n");
    const QStringList steps = {QStringLiteral("decode"), QStringLiteral("fill the list view"),
                               QStringLiteral("decode + fill"), QStringLiteral("encode")};
    QHash<int, QList<QList<double>>> figures;
    for (int rows : sizes) {
        EntryList entries;
        for (int i = 1; i <= rows; ++i)
            entries.append({QStringLiteral("Asset number %1").arg(i), QString::number(i * 1000 + 250)});
        const QString stored = EncodeEntryList(entries);
        QList<QList<double>> &samples = figures[rows];
        samples.resize(steps.size());
        for (int r = 0; r < repeats; ++r) {
            QElapsedTimer timer;
            timer.start();
            const EntryList decoded = DecodeEntryList(stored);
            const double decode = timer.nsecsElapsed() / 1e6;
            EntryListModel model;
            EntryListView list(model);
            list.resize(520, 169);
            list.show();
            timer.restart();
            model.appendEntries(decoded);
            QCoreApplication::processEvents();
            const double fill = timer.nsecsElapsed() / 1e6;
            timer.restart();
            const QString again = EncodeEntryList(model.entries());
            const double encode = timer.nsecsElapsed() / 1e6;
            if (again != stored) {
                std::fprintf(stderr, "%d rows: the round trip differs\n", rows);
                return 1;
            }
            samples[0].append(decode);
            samples[1].append(fill);
            samples[2].append(decode + fill);
            samples[3].append(encode);
        }
    }
    for (int s = 0; s < steps.size(); ++s) {
        std::printf("%-18s", qPrintable(steps.at(s)));
        for (int rows : sizes)
            std::printf("  %26s", qPrintable(Summary(figures[rows][s])));
        std::printf("\n");
    }
    return 0;
}

// One click on the side's engine; false when it reported an error or showed
// no picture. The host keeps what the preview was given.
bool clickOnce(SpreadsheetServer &engine, BenchHost &host, Timeline &timeline, BenchPrompts &prompts)
{
    TimedServer server(engine, timeline);
    const int errorsBefore = prompts.errors;
    timeline.start();
    ChartCommand(prompts, server).run(host);
    return prompts.errors == errorsBefore && !host.picture.isNull();
}

// Click to preview for each list size and side, and one command-line
// conversion after each round; clicks, sizes and sides interleaved, so that
// the machine's load falls on all of them alike.
int clicksMode(int clicks, const QList<int> &sizes, const QStringList &sideNames)
{
    // The benchmark's files and settings stay in a folder of its own.
    QTemporaryDir root;
    KeepBenchmarkFilesIn(root, {QStringLiteral("converted")});
    const QByteArray loadBefore = loadAverage();

    Timeline timeline;
    ObservedServer warmEngine;
    ObservedServer unwarmedEngine;
    ObservedServer coldEngine;
    BenchPrompts prompts;

    const double firstPaint = firstPaintAfterStart(warmEngine);
    const double firstPaintLongList = firstPaintWithLongestList();
    warmEngine.setWarmUpDocument(kTemplateResource);
    warmEngine.startSpares();
    if (sideNames.contains(QStringLiteral("a'")))
        unwarmedEngine.startSpares(2, false);

    // a' shows what warming the spares buys: they are started and connected only.
    QList<Side> sides;
    for (const Side &side : {Side{"a", &warmEngine}, Side{"a'", &unwarmedEngine}, Side{"b", &coldEngine}})
        if (sideNames.contains(QString::fromLatin1(side.name)))
            sides.append(side);
    QHash<QString, QHash<int, QList<QList<double>>>> phases;   // side -> rows -> phase -> samples
    QHash<int, QHash<QString, QList<double>>> totals;   // rows -> a, b, c -> samples
    for (const Side &side : std::as_const(sides))
        for (int rows : sizes)
            phases[QString::fromLatin1(side.name)][rows].resize(kPhases.size());
    qint64 peakSpareKb = 0;
    QSet<qint64> spares;
    int failed = 0;
    const QString profile = root.filePath(QStringLiteral("convert-profile"));
    const auto waitForAllSpares = [&] {
        for (const Side &any : std::as_const(sides))
            any.engine->waitForSpares(std::chrono::seconds(60));
    };
    // One round of each kind first, not counted: the reused profile of (c)
    // is set up, and each side's first start is behind it.
    for (int click = -1; click < clicks; ++click) {
        for (int rows : sizes) {
            QString lastWorkbook;
            for (const Side &side : std::as_const(sides)) {
                // A user clicks after the window has been idle a moment: no
                // spare of any side is starting or warming meanwhile.
                waitForAllSpares();
                for (qint64 pid : warmEngine.sparePids()) {
                    spares.insert(pid);
                    peakSpareKb = std::max(peakSpareKb, PeakResidentKb(pid));
                }
                BenchHost host(listOf(rows), timeline);
                if (!clickOnce(*side.engine, host, timeline, prompts)) {
                    ++failed;
                    continue;
                }
                if (click >= 0) {
                    totals[rows][QString::fromLatin1(side.name)].append(timeline.at(QStringLiteral("preview shown")));
                    QList<QList<double>> &samples = phases[QString::fromLatin1(side.name)][rows];
                    for (int p = 0; p < kPhases.size(); ++p) {
                        const Phase &phase = kPhases.at(p);
                        const double from = phase.from.isEmpty() ? 0.0 : timeline.at(phase.from);
                        const double took = timeline.at(phase.to) - from;
                        if (!qIsNaN(took))
                            samples[p].append(took);
                    }
                }
                if (!lastWorkbook.isEmpty())
                    QFile::remove(lastWorkbook);
                lastWorkbook = host.workbook;
            }
            if (lastWorkbook.isEmpty())
                continue;
            waitForAllSpares();
            const double converted = convertOnce(lastWorkbook, profile, root.filePath(QStringLiteral("converted")));
            if (click >= 0 && !qIsNaN(converted))
                totals[rows][QStringLiteral("c")].append(converted);
            QFile::remove(lastWorkbook);
        }
    }

    std::printf("%d clicks per list, interleaved; milliseconds: median [min .. max]\n", clicks);
    std::printf("(a) click to preview, warm spares; (a') the same, spares started but not warmed;\n"
                "(b) the same, spares disabled;\n"
                "(c) soffice --headless --convert-to png of the same workbook, reused profile\n");
    std::printf("load average before: %s; after: %s\n\n", loadBefore.constData(), loadAverage().constData());
    std::printf("%-18s", "");
    for (int rows : sizes)
        std::printf("  %26s", qPrintable(QStringLiteral("%1 rows").arg(rows)));
    std::printf("\n");
    QStringList shown;
    for (const Side &side : std::as_const(sides))
        shown << QString::fromLatin1(side.name);
    for (const QString &name : shown + QStringList{QStringLiteral("c")}) {
        std::printf("%-18s", qPrintable(name));
        for (int rows : sizes)
            std::printf("  %26s", qPrintable(Summary(totals[rows][name])));
        std::printf("\n");
    }
    for (const QString &name : std::as_const(shown)) {
        std::printf("%-18s", qPrintable(name + QStringLiteral("/c")));
        for (int rows : sizes) {
            const double c = Median(totals[rows][QStringLiteral("c")]);
            std::printf("  %26s", qPrintable(QString::number(Median(totals[rows][name]) / c, 'f', 2)));
        }
        std::printf("\n");
    }
    for (const QString &name : std::as_const(shown)) {
        std::printf("\nphases of (%s)\n", qPrintable(name));
        for (int p = 0; p < kPhases.size(); ++p) {
            std::printf("%-18s", kPhases.at(p).name);
            for (int rows : sizes)
                std::printf("  %26s", qPrintable(Summary(phases[name][rows][p])));
            std::printf("\n");
        }
    }
    std::printf("\nstart to first paint of the main window: %.1f ms; with 32,766 rows stored %.1f ms\n",
                firstPaint, firstPaintLongList);
    std::printf("peak resident memory: this benchmark %lld MB (it holds the engines' lists and pictures);\n"
                "  the largest of the %lld warm spares while idle %lld MB\n",
                PeakResidentKb(getpid()) / 1024, qint64(spares.size()), peakSpareKb / 1024);
    std::printf("resident memory now: this benchmark %lld MB", ResidentKb(getpid()) / 1024);
    for (qint64 pid : warmEngine.sparePids())
        std::printf(", warm spare %lld MB", ResidentKb(pid) / 1024);
    std::printf("\n");
    if (failed)
        std::printf("\n%d clicks reported errors and are left out.\n", failed);
    return failed ? 1 : 0;
}

// One click with warm spares for each list size; the picture the preview got
// is written to the folder as <rows>.png, the workbook as <rows>.xls, and its size and a digest of its
// pixels are printed, for comparing the pictures of two builds.
int picturesMode(const QList<int> &sizes, const QString &folder)
{
    QTemporaryDir root;
    KeepBenchmarkFilesIn(root);
    QDir().mkpath(folder);
    Timeline timeline;
    ObservedServer engine;
    engine.setWarmUpDocument(kTemplateResource);
    engine.startSpares();
    BenchPrompts prompts;
    int failed = 0;
    for (int rows : sizes) {
        engine.waitForSpares(std::chrono::seconds(60));
        BenchHost host(listOf(rows), timeline);
        if (!clickOnce(engine, host, timeline, prompts)) {
            ++failed;
            std::printf("%6d rows: failed\n", rows);
            continue;
        }
        const QString keptBook = QDir(folder).filePath(QStringLiteral("%1.xls").arg(rows));
        QFile::remove(keptBook);
        QFile::rename(host.workbook, keptBook);
        const QImage picture = host.picture.convertToFormat(QImage::Format_RGB32);
        QCryptographicHash digest(QCryptographicHash::Sha256);
        for (int y = 0; y < picture.height(); ++y)
            digest.addData(QByteArrayView(reinterpret_cast<const char *>(picture.constScanLine(y)),
                                          qsizetype(picture.width()) * 4));
        picture.save(QDir(folder).filePath(QStringLiteral("%1.png").arg(rows)));
        std::printf("%6d rows: %dx%d %s\n", rows, picture.width(), picture.height(),
                    digest.result().toHex().constData());
    }
    return failed ? 1 : 0;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    bool storedForm = false;
    bool idle = false;
    int clicks = 7;
    QList<int> sizes = {6, 50, 1000, 32766};
    QStringList sideNames = {QStringLiteral("a"), QStringLiteral("a'"), QStringLiteral("b")};
    QString picturesFolder;
    for (int i = 1; i < argc; ++i) {
        if (qstrcmp(argv[i], "--stored-form") == 0) {
            storedForm = true;
        } else if (qstrcmp(argv[i], "--idle") == 0) {
            idle = true;
        } else if (qstrcmp(argv[i], "--rows") == 0 && i + 1 < argc) {
            sizes.clear();
            for (const QString &rows : QString::fromLocal8Bit(argv[++i]).split(QLatin1Char(',')))
                sizes.append(std::clamp(rows.toInt(), 1, 32766));
        } else if (qstrcmp(argv[i], "--sides") == 0 && i + 1 < argc) {
            sideNames = QString::fromLocal8Bit(argv[++i]).split(QLatin1Char(','));
        } else if (qstrcmp(argv[i], "--pictures") == 0 && i + 1 < argc) {
            picturesFolder = QString::fromLocal8Bit(argv[++i]);
        } else {
            clicks = std::max(1, atoi(argv[i]));
        }
    }
    if (storedForm)
        return storedFormMode(clicks);
    if (idle)
        return idleMode(argc > 2 ? std::max(1, atoi(argv[argc - 1])) : 3);
    if (argc == 2 && qstrcmp(argv[1], "--first-paint") == 0) {
        LibreOfficeServer engine;
        std::printf("%.1f\n", firstPaintAfterStart(engine));
        return 0;
    }

    if (!picturesFolder.isEmpty())
        return picturesMode(sizes, picturesFolder);
    return clicksMode(clicks, sizes, sideNames);
}
