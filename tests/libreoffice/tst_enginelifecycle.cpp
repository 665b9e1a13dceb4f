// The engine's instances on the real engine: warm spares, the ways the
// program ends, faults while an instance starts, and what a killed instance
// or a killed program leaves behind.

#include "chartworkbookfixture.h"
#include "engineinstances.h"
#include "isolatedenvironment.h"
#include "observedserver.h"
#include "scriptedprompts.h"
#include "testfiles.h"

#include "app/firstpaintwatch.h"
#include "app/form1.h"
#include "app/useractivitywatch.h"
#include "chart/chartcommand.h"
#include "chart/ownedworkbooks.h"
#include "entries/entrylistview.h"
#include "ground/processruns.h"
#include "libreoffice/disk/engineregistry.h"
#include "libreoffice/document/xlspatch.h"
#include "libreoffice/installation.h"
#include "libreoffice/libreofficeserver.h"
#include "libreoffice/process/childprocess.h"
#include "libreoffice/process/engineprocess.h"
#include "libreoffice/process/enginespares.h"
#include "libreoffice/process/foreignengines.h"
#include "preview/form2.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <signal.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <utime.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

bool isStopped(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    return status.open(QIODevice::ReadOnly) && status.readAll().contains("State:\tT");
}

bool allGoneWithin(const QList<qint64> &pids, int milliseconds)
{
    QElapsedTimer timer;
    timer.start();
    while (true) {
        if (std::all_of(pids.begin(), pids.end(), processGone))
            return true;
        if (timer.elapsed() > milliseconds)
            return false;
        QTest::qWait(50);
    }
}

// A program standing in for soffice.bin that signals itself at one phase and
// otherwise runs the real one.
QString faultyEngine(const QString &folder, const QString &phaseArgument, const QString &signalName)
{
    const QString path = folder + QStringLiteral("/soffice.bin");
    QFile script(path);
    script.open(QIODevice::WriteOnly);
    script.write(QStringLiteral("#!/bin/sh\ncase \"$*\" in *%1*) kill -%2 $$ ;; esac\nexec %3/soffice.bin \"$@\"\n")
                         .arg(phaseArgument, signalName, Installation::ours().programFolder())
                         .toUtf8());
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

QStringList leftoversIn(const QString &folder)
{
    return QDir(folder).entryList({QStringLiteral(".~lock.*"), QStringLiteral("lu*.tmp")},
                                  QDir::Files | QDir::Hidden);
}

} // namespace

class TestEngineLifecycle : public QObject
{
    Q_OBJECT

private slots:
    void cleanupTestCase();

    void sparesAreHandedOutOnceAndNeverTheUsers();
    void processOnlyNamedLikeLibreOfficeIsNotTheUsers();
    void deadOrStoppedSpareIsReplaced();
    void privateFolderRemovedWhileIdle();
    void heldTemplateOnlyForItsOwnBytes_data();
    void heldTemplateOnlyForItsOwnBytes();
    void savedWorkbookDrawnByTheInstanceThatSavedIt_data();
    void savedWorkbookDrawnByTheInstanceThatSavedIt();
    void spareThatHangsAtStartDoesNotHangTheTake();
    void noSpareStartsWhileACommandRuns();
    void sparesEndWhenIdleAndStartOnInput();
    void commandAtTheIdleMomentKeepsItsSpares();
    void faultWhileStarting_data();
    void faultWhileStarting();
    void programEnds_data();
    void programEnds();
    void killedInstanceLeavesNothingBesideItsDocument();
    void workbooksOfDeadRunsAreRemoved();
    void characterTypeOfTheInstances_data();
    void characterTypeOfTheInstances();
    void accentedFolderUnderCLocale();
    void formulasFetchNothing();

private:
    bool startWarmSpares(ObservedServer &server, QList<qint64> &spares);

    QSet<qint64> mEveryPid;
};

// Two spares warmed on the template, remembered so that the end of the run
// can prove them gone.
bool TestEngineLifecycle::startWarmSpares(ObservedServer &server, QList<qint64> &spares)
{
    server.setWarmUpDocument(kTemplateResource);
    server.startSpares(2);
    if (!server.waitForSpares(60s))
        return false;
    spares = server.sparePids();
    mEveryPid += QSet<qint64>(spares.begin(), spares.end());
    return spares.size() == 2;
}

void TestEngineLifecycle::cleanupTestCase()
{
    QVERIFY(allGoneWithin(QList<qint64>(mEveryPid.begin(), mEveryPid.end()), 10000));
    QVERIFY(EngineProcess::startedPids().isEmpty());
    QCOMPARE(ourInstanceFolders(), QStringList());
}

void TestEngineLifecycle::sparesAreHandedOutOnceAndNeverTheUsers()
{
    IsolatedEnvironment environment;
    ObservedServer server;
    QList<qint64> spares;
    QVERIFY(startWarmSpares(server, spares));
    for (qint64 spare : spares)
        QVERIFY(!ForeignEnginePids().contains(spare));

    // Four instances in a row, as two chart commands take them: each one
    // that was a spare is handed out once, and is not a spare any more.
    QSet<qint64> handedOut;
    for (int i = 0; i < 4; ++i) {
        const QList<qint64> before = server.sparePids();
        const QSet<qint64> startedBefore = startedInstances();
        auto application = server.create();
        const QList<qint64> after = server.sparePids();
        qint64 taken = 0;
        for (qint64 pid : before)
            if (!after.contains(pid))
                taken = pid;
        QVERIFY2(taken != 0, "create() started its own instance although spares were kept");
        QVERIFY(!handedOut.contains(taken));
        handedOut.insert(taken);
        mEveryPid += startedInstances() - startedBefore;
        QCOMPARE(application->defaultValue(), server.expectedProductName());
        application->quit();
        // Ended in the background, and never offered again.
        QVERIFY(allGoneWithin({taken}, 15000));
        QVERIFY(!server.sparePids().contains(taken));
        QVERIFY(server.waitForSpares(60s));
        const QList<qint64> refilled = server.sparePids();
        mEveryPid += QSet<qint64>(refilled.begin(), refilled.end());
    }
    QCOMPARE(handedOut.size(), 4);
}

void TestEngineLifecycle::processOnlyNamedLikeLibreOfficeIsNotTheUsers()
{
    QTemporaryDir folder;
    const QString impostor = folder.filePath(QStringLiteral("soffice.bin"));
    QVERIFY(QFile::copy(QStringLiteral("/bin/sleep"), impostor));
    QProcess sleeper;
    sleeper.start(impostor, {QStringLiteral("30")});
    QVERIFY(sleeper.waitForStarted());
    QTRY_VERIFY(QFile(QStringLiteral("/proc/%1/comm").arg(sleeper.processId())).open(QIODevice::ReadOnly));
    QVERIFY(!ForeignEnginePids().contains(sleeper.processId()));
    sleeper.kill();
    sleeper.waitForFinished();
}

void TestEngineLifecycle::deadOrStoppedSpareIsReplaced()
{
    IsolatedEnvironment environment;
    const QString folder = environment.root();
    WriteChartWorkbook(folder + QStringLiteral("/book.fods"));
    ObservedServer server;
    server.setCallTimeout(5s);
    QList<qint64> spares;
    QVERIFY(startWarmSpares(server, spares));
    QVERIFY(::kill(pid_t(spares.at(0)), SIGKILL) == 0);
    QVERIFY(::kill(pid_t(spares.at(1)), SIGSTOP) == 0);
    QTRY_VERIFY(processGone(spares.at(0)) && isStopped(spares.at(1)));

    const QSet<qint64> before = startedInstances();
    auto application = server.create();
    mEveryPid += startedInstances() - before;
    auto book = application->workbooks().open(folder + QStringLiteral("/book.fods"));
    QCOMPARE(book->activeSheet()->name(), QStringLiteral("Assets"));
    application->quit();
    // The stopped spare is not left stopped for ever.
    QVERIFY(allGoneWithin(spares, 15000));
}

// A cleaner of the temporary folder takes the spares' profiles and the
// prepared profile from under them: the next charts get fresh instances.
void TestEngineLifecycle::privateFolderRemovedWhileIdle()
{
    IsolatedEnvironment environment;
    const QString book = environment.tempFolder() + QStringLiteral("/book.fods");
    WriteChartWorkbook(book);
    // A temporary folder of the test's own: the shared one holds other programs' instances.
    const QString temporary = environment.root() + QStringLiteral("/tmp");
    QVERIFY(QDir().mkpath(temporary));
    const QByteArray oldTmp = qgetenv("TMPDIR");
    qputenv("TMPDIR", QFile::encodeName(temporary));
    const auto restore = qScopeGuard([&] { oldTmp.isEmpty() ? qunsetenv("TMPDIR") : qputenv("TMPDIR", oldTmp); });
    ObservedServer server;
    QList<qint64> spares;
    QVERIFY(startWarmSpares(server, spares));

    QVERIFY(QDir(temporary + QStringLiteral("/quintarra-engine-%1").arg(getuid())).removeRecursively());
    // This run's prepared profile, wherever an earlier case made it.
    const QDir shared(QDir::tempPath() + QStringLiteral("/quintarra-engine-%1").arg(getuid()));
    for (const QString &prepared : shared.entryList({ProcessRuns::runName() + QStringLiteral("-prepared-*")}, QDir::Dirs))
        QVERIFY(QDir(shared.filePath(prepared)).removeRecursively());

    for (int chart = 0; chart < 2; ++chart) {
        const QSet<qint64> before = startedInstances();
        auto application = server.create();
        mEveryPid += startedInstances() - before;
        QVERIFY(!spares.contains(EngineProcessId(*application)));
        auto opened = application->workbooks().open(book);
        QCOMPARE(opened->activeSheet()->name(), QStringLiteral("Assets"));
        // On a seeded profile, which keeps no lock files.
        QCOMPARE(QDir(environment.tempFolder()).entryList({QStringLiteral(".~lock.*")}, QDir::Files | QDir::Hidden),
                 QStringList());
        application->quit();
    }
    QVERIFY(allGoneWithin(spares, 15000));
}

// A warm spare holds the template open; an open of a file with the same
// bytes takes it, whatever the file is named, and any other file is loaded.
// The saved workbook's editing time counts from the open, not from the hold.
void TestEngineLifecycle::heldTemplateOnlyForItsOwnBytes_data()
{
    QTest::addColumn<QByteArray>("replaced");
    QTest::addColumn<QString>("header");
    QTest::newRow("the template") << QByteArray() << QStringLiteral("Asset Type");
    QTest::newRow("another header") << QByteArray("Asset Kind") << QStringLiteral("Asset Kind");
}

void TestEngineLifecycle::heldTemplateOnlyForItsOwnBytes()
{
    QFETCH(QByteArray, replaced);
    QFETCH(QString, header);
    IsolatedEnvironment environment;
    QByteArray bytes = ReadFileBytes(kTemplateResource);
    if (!replaced.isEmpty()) {
        QCOMPARE(bytes.count("Asset Type"), 1);
        bytes.replace("Asset Type", replaced);
    }
    const QString copy = environment.tempFolder() + QStringLiteral("/Pie Chart.xlt");
    WriteFileBytes(copy, bytes);
    ObservedServer server;
    QList<qint64> spares;
    QVERIFY(startWarmSpares(server, spares));

    auto application = server.create();
    QElapsedTimer openToSave;
    openToSave.start();
    const auto book = application->workbooks().open(copy);
    const auto sheet = book->activeSheet();
    QCOMPARE(sheet->cellValue(3, 1).toString(), header);
    const QVariant asShipped = sheet->cellValue(4, 1);
    sheet->setCellText(4, 1, QStringLiteral("Written by the first"));
    const QString saved = environment.tempFolder() + QStringLiteral("/saved.xls");
    book->saveAs(saved);
    const qint64 seconds = openToSave.elapsed() / 1000;
    QVERIFY2(EditingTime(saved) <= seconds, qPrintable(QString::number(EditingTime(saved))));
    application->quit();

    // The next instance holds a template of its own, untouched by this one.
    auto next = server.create();
    QCOMPARE(next->workbooks().open(copy)->activeSheet()->cellValue(4, 1), asShipped);
    next->quit();
}

void TestEngineLifecycle::savedWorkbookDrawnByTheInstanceThatSavedIt_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<bool>("flat");
    QTest::addColumn<bool>("drawn");
    QTest::newRow("six rows") << 6 << false << true;
    QTest::newRow("sixty rows, all in the chart") << 60 << false << true;
    // The engine turns a pie it makes flat the other way round from the
    // workbook's: the kept one must be turned back.
    QTest::newRow("a pie drawn flat") << 150 << true << true;
    // Held through the save, and given back the point formats it had: the
    // wide slices' own labels among them.
    QTest::newRow("a pie of many points") << 1200 << true << true;
    QTest::newRow("never drawn") << 6 << false << false;
}

// Within a command, the instance that saved the workbook keeps it open for
// the next instance of the command to draw: its picture is the one the
// workbook opened again gives, and nothing of it outlives the command.
void TestEngineLifecycle::savedWorkbookDrawnByTheInstanceThatSavedIt()
{
    QFETCH(int, rows);
    QFETCH(bool, flat);
    QFETCH(bool, drawn);
    IsolatedEnvironment environment;
    const QString copy = environment.tempFolder() + QStringLiteral("/Pie Chart.xlt");
    WriteFileBytes(copy, ReadFileBytes(kTemplateResource));
    const QString saved = environment.tempFolder() + QStringLiteral("/tervik11111111.xls");
    ObservedServer server;
    QList<qint64> spares;
    QVERIFY(startWarmSpares(server, spares));

    server.startAheadOfNeed();
    auto first = server.create();
    const qint64 saving = EngineProcessId(*first);
    const auto book = first->workbooks().open(copy);
    QList<TextAndAmount> list;
    for (int i = 1; i <= rows; ++i)
        list.append({QStringLiteral("Asset %1").arg(i), QString::number(1000 * i + 250)});
    // A few slices wide enough for a label of their own.
    for (int i = 0; rows >= 1000 && i < list.size(); i += 400)
        list[i].amount = QString::number(100000000 + i);
    book->activeSheet()->setTextAndAmountRows(kFirstDataRow, 1, list);
    if (rows > 6)
        book->activeSheet()->extendChartsTo(kFirstDataRow + rows - 1);
    if (flat)
        book->activeSheet()->drawChartsFlat(kSmallestLabelledShare);
    book->saveAs(saved);
    book->close();
    first->quit();
    QImage kept;
    if (drawn) {
        auto second = server.create();
        QCOMPARE(EngineProcessId(*second), saving);
        kept = second->workbooks().open(saved)->activeSheet()->usedRangePicture();
        second->quit();
    }
    server.dropStartedAhead();
    QTRY_VERIFY_WITH_TIMEOUT(processGone(saving), 30000);

    if (drawn) {
        auto fresh = server.create();
        QVERIFY(EngineProcessId(*fresh) != saving);
        const QImage reopened = fresh->workbooks().open(saved)->activeSheet()->usedRangePicture();
        fresh->quit();
        QCOMPARE(kept.size(), reopened.size());
        QVERIFY(kept.convertToFormat(QImage::Format_RGB32) == reopened.convertToFormat(QImage::Format_RGB32));
    }
}

void TestEngineLifecycle::spareThatHangsAtStartDoesNotHangTheTake()
{
    QTemporaryDir folder;
    EngineSpares::Options options;
    options.count = 1;
    // Long enough for the profile's preparation on a busy machine.
    options.callTimeout = 10s;
    options.program = faultyEngine(folder.path(), QStringLiteral("--accept"), QStringLiteral("STOP"));
    {
        ObservedSpares spares(options);
        spares.startKeeping();
        // Listed while it starts, once its process is there.
        QTRY_COMPARE_WITH_TIMEOUT(spares.sparePids().size(), 1, 60000);
        const QList<qint64> hanging = spares.sparePids();
        mEveryPid += QSet<qint64>(hanging.begin(), hanging.end());
        QElapsedTimer timer;
        timer.start();
        const auto taken = spares.take(std::chrono::steady_clock::now() + 120s);
        QVERIFY(!taken);
        // The watchdog's ten seconds at most, not the deadline's two minutes.
        QVERIFY2(timer.elapsed() < 60000, qPrintable(QString::number(timer.elapsed())));
        QVERIFY(allGoneWithin(hanging, 15000));
    }
    QCOMPARE(ourInstanceFolders(), QStringList());
}

// A spare starting competes with the command's own instances for the
// processor: its replacement waits until the command has ended.
void TestEngineLifecycle::noSpareStartsWhileACommandRuns()
{
    IsolatedEnvironment environment;
    ObservedServer server;
    server.startSpares(1, false);
    QVERIFY(server.waitForSpares(60s));
    const QList<qint64> spares = server.sparePids();
    mEveryPid += QSet<qint64>(spares.begin(), spares.end());
    auto first = server.create();
    const qint64 taken = EngineProcessId(*first);
    server.startAheadOfNeed();
    first->quit();
    // Nothing is in use once the instance is collected, but the command goes on.
    QTRY_VERIFY_WITH_TIMEOUT(server.quittingPids().isEmpty() && processGone(taken), 30000);
    QCOMPARE(server.sparePids(), QList<qint64>());
    server.dropStartedAhead();
    QVERIFY(server.waitForSpares(60s));
    const QList<qint64> replacements = server.sparePids();
    QCOMPARE(replacements.size(), 1);
    mEveryPid += QSet<qint64>(replacements.begin(), replacements.end());
}

void TestEngineLifecycle::sparesEndWhenIdleAndStartOnInput()
{
    IsolatedEnvironment environment;
    ObservedServer server;
    // Not before they are ready.
    server.setIdleTime(10min);
    server.startSpares(2, false);
    QVERIFY(server.waitForSpares(60s));
    const QList<qint64> spares = server.sparePids();
    mEveryPid += QSet<qint64>(spares.begin(), spares.end());
    server.setIdleTime(300ms);
    QTRY_VERIFY_WITH_TIMEOUT(server.sparePids().isEmpty() && server.quittingPids().isEmpty(), 30000);
    QVERIFY(allGoneWithin(spares, 10000));
    QCOMPARE(ourInstanceFolders(), QStringList());

    // A key pressed in a window of the program.
    UserActivityWatch watch([&server] { server.userActive(); });
    QWidget window;
    QTest::keyClick(&window, Qt::Key_Shift);
    QVERIFY(server.waitForSpares(60s));
    const QList<qint64> again = server.sparePids();
    mEveryPid += QSet<qint64>(again.begin(), again.end());
    QCOMPARE(again.size(), 2);
    for (qint64 pid : again)
        QVERIFY(!spares.contains(pid) && !processGone(pid));
}

// The idle time passes while a chart command holds one of two spares: the
// other one is still there for its second instance.
void TestEngineLifecycle::commandAtTheIdleMomentKeepsItsSpares()
{
    IsolatedEnvironment environment;
    ObservedServer server;
    // Idle alike, and after it: once it has released its spare, the idle
    // moment of the other has passed as well.
    ObservedServer control;
    server.setIdleTime(10min);
    control.setIdleTime(10min);
    server.startSpares(2, false);
    control.startSpares(1, false);
    QVERIFY(server.waitForSpares(60s) && control.waitForSpares(60s));
    const QList<qint64> spares = server.sparePids() + control.sparePids();
    mEveryPid += QSet<qint64>(spares.begin(), spares.end());

    server.startAheadOfNeed();
    auto first = server.create();
    server.setIdleTime(300ms);
    control.setIdleTime(300ms);
    QTRY_VERIFY_WITH_TIMEOUT(control.sparePids().isEmpty() && control.quittingPids().isEmpty(), 30000);
    QCOMPARE(first->defaultValue(), server.expectedProductName());
    auto second = server.create();
    QVERIFY(spares.contains(EngineProcessId(*second)));
    QCOMPARE(second->defaultValue(), server.expectedProductName());
    first->quit();
    second->quit();
    server.dropStartedAhead();
    // Idle once the command has ended, whatever it was doing meanwhile.
    QTRY_VERIFY_WITH_TIMEOUT(server.sparePids().isEmpty() && server.quittingPids().isEmpty(), 60000);
    QVERIFY(allGoneWithin(spares, 10000));
}

void TestEngineLifecycle::faultWhileStarting_data()
{
    QTest::addColumn<QString>("phaseArgument");
    QTest::addColumn<QString>("signalName");
    QTest::addColumn<QString>("report");   // empty: the start recovers

    QTest::newRow("killed preparing the profile") << "--terminate_after_init" << "KILL" << "";
    QTest::newRow("stopped preparing the profile")
            << "--terminate_after_init" << "STOP" << "within 2 seconds while preparing its profile";
    QTest::newRow("killed starting") << "--accept" << "KILL" << "stopped while starting";
    QTest::newRow("stopped starting") << "--accept" << "STOP" << "did not start within 2 seconds";
}

void TestEngineLifecycle::faultWhileStarting()
{
    QFETCH(QString, phaseArgument);
    QFETCH(QString, signalName);
    QFETCH(QString, report);
    QTemporaryDir folder;
    EngineProcess::Options options;
    options.callTimeout = 2s;
    options.program = faultyEngine(folder.path(), phaseArgument, signalName);
    const QSet<qint64> before = startedInstances();
    int reports = 0;
    QString description;
    QElapsedTimer timer;
    timer.start();
    {
        EngineProcess engine(options);
        try {
            engine.waitUntilReady();
            mEveryPid += engine.pid();
        } catch (const SpreadsheetError &e) {
            ++reports;
            description = e.description();
        }
    }
    QVERIFY2(timer.elapsed() < 15000, qPrintable(QString::number(timer.elapsed())));
    QVERIFY2(reports == (report.isEmpty() ? 0 : 1), qPrintable(description));
    QVERIFY2(description.contains(report), qPrintable(description));
    QCOMPARE(startedInstances() - before, QSet<qint64>());
    QCOMPARE(ourInstanceFolders(), QStringList());
}

void TestEngineLifecycle::programEnds_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("main window closed") << "close";
    QTest::newRow("preview closed") << "preview";
    QTest::newRow("fatal error") << "fatal";
    QTest::newRow("SIGTERM") << "sigterm";
    QTest::newRow("while idle spares end") << "release";
    QTest::newRow("while spares start on return") << "return";
}

void TestEngineLifecycle::programEnds()
{
    QFETCH(QString, how);
    IsolatedEnvironment environment;
    QProcess program;
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--run-program-then"), how});
    QVERIFY(program.waitForStarted());
    // It prints the instances it has started, and then ends as asked.
    QVERIFY(program.waitForReadyRead(120000));
    const QList<QByteArray> printed = program.readLine().trimmed().split(' ');
    QList<qint64> pids;
    for (const QByteArray &pid : printed)
        if (pid.toLongLong() > 0)
            pids.append(pid.toLongLong());
    // Those two close the window at once, in the middle of ending or starting spares.
    const bool atOnce = how == QLatin1String("release") || how == QLatin1String("return");
    QVERIFY2(pids.size() >= (atOnce ? 1 : 2), printed.join(' ').constData());
    for (qint64 pid : pids)
        QVERIFY(!processGone(pid) || how == QLatin1String("preview") || atOnce);
    if (how == QLatin1String("sigterm"))
        ::kill(pid_t(program.processId()), SIGTERM);
    else if (!atOnce)
        program.write("go\n");
    const qint64 programPid = program.processId();
    QVERIFY(program.waitForFinished(60000));
    QVERIFY2(allGoneWithin(pids, 10000), printed.join(' ').constData());
    // A program that dies leaves its folders to the next start's sweep.
    if (how != QLatin1String("fatal") && how != QLatin1String("sigterm"))
        QCOMPARE(ourInstanceFolders(programPid), QStringList());
}

void TestEngineLifecycle::killedInstanceLeavesNothingBesideItsDocument()
{
    IsolatedEnvironment environment;
    const QString folder = environment.tempFolder();
    const QString book = folder + QStringLiteral("/book.fods");
    WriteChartWorkbook(book);
    // The user's scratch from before this instance: not ours to remove.
    const QString older = folder + QStringLiteral("/lu1older.tmp");
    QFile(older).open(QIODevice::WriteOnly);
    const utimbuf longAgo{1000000000, 1000000000};
    ::utime(QFile::encodeName(older).constData(), &longAgo);

    LibreOfficeServer server;
    const QSet<qint64> before = startedInstances();
    auto application = server.create();
    const QSet<qint64> added = startedInstances() - before;
    mEveryPid += added;
    auto workbook = application->workbooks().open(book);
    workbook->saveAs(folder + QStringLiteral("/saved.xls"));
    // No lock file, neither for the opened document nor the saved one.
    QCOMPARE(QDir(folder).entryList({QStringLiteral(".~lock.*")}, QDir::Files | QDir::Hidden), QStringList());

    QVERIFY(::kill(pid_t(*added.begin()), SIGKILL) == 0);
    // What a save cut short leaves: its scratch file, and a lock file of a
    // LibreOffice that still writes one.
    QFile(folder + QStringLiteral("/lu2cut.tmp")).open(QIODevice::WriteOnly);
    QFile(folder + QStringLiteral("/.~lock.saved.xls#")).open(QIODevice::WriteOnly);
    application->quit();
    QCOMPARE(leftoversIn(folder), QStringList{QStringLiteral("lu1older.tmp")});
    QVERIFY(QFileInfo::exists(book));
}

void TestEngineLifecycle::workbooksOfDeadRunsAreRemoved()
{
    IsolatedEnvironment environment;
    const QString folder = environment.tempFolder();
    const QString dead = folder + QStringLiteral("/tervik11111111.xls");
    const QString alive = folder + QStringLiteral("/tervik22222222.xls");
    const QString users = folder + QStringLiteral("/tervik33333333.xls");
    const QString released = folder + QStringLiteral("/tervik44444444.xls");
    for (const QString &path : {dead, alive, users, released})
        QFile(path).open(QIODevice::WriteOnly);

    // One run of the program is killed, one is still running.
    QProcess killed;
    killed.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--claim-then-die"), dead});
    QVERIFY(killed.waitForFinished(30000));
    QCOMPARE(killed.exitStatus(), QProcess::CrashExit);
    QProcess running;
    running.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--claim-and-wait"), alive});
    QVERIFY(running.waitForReadyRead(30000));
    OwnedWorkbooks::claim(released);
    QCOMPARE(OwnedWorkbooks::remove(released), QString());
    QVERIFY(!QFileInfo::exists(released));

    OwnedWorkbooks::removeThoseOfDeadRuns();
    QVERIFY(!QFileInfo::exists(dead));
    QVERIFY(QFileInfo::exists(alive));
    QVERIFY(QFileInfo::exists(users));
    running.closeWriteChannel();
    QVERIFY(running.waitForFinished(30000));
    // Once that run has ended too, its workbook goes at the next start.
    OwnedWorkbooks::removeThoseOfDeadRuns();
    QVERIFY(!QFileInfo::exists(alive));
    QVERIFY(QFileInfo::exists(users));
}

void TestEngineLifecycle::characterTypeOfTheInstances_data()
{
    QTest::addColumn<QByteArray>("lcAll");
    QTest::addColumn<QByteArray>("lang");
    QTest::addColumn<QByteArrayList>("expected");   // the locale variables the instance gets

    QTest::newRow("C everywhere") << QByteArray("C") << QByteArray("de_DE.UTF-8")
                                  << QByteArrayList{"LANG=C", "LC_CTYPE=C.UTF-8"};
    QTest::newRow("a UTF-8 locale that is there is kept")
            << QByteArray() << QByteArray("C.UTF-8") << QByteArrayList{"LANG=C.UTF-8"};
    QTest::newRow("a UTF-8 locale that is not installed")
            << QByteArray() << QByteArray("xx_YY.UTF-8") << QByteArrayList{"LANG=xx_YY.UTF-8", "LC_CTYPE=C.UTF-8"};
    QTest::newRow("nothing set") << QByteArray() << QByteArray() << QByteArrayList{"LC_CTYPE=C.UTF-8"};
}

void TestEngineLifecycle::characterTypeOfTheInstances()
{
    QFETCH(QByteArray, lcAll);
    QFETCH(QByteArray, lang);
    QFETCH(QByteArrayList, expected);
    const QByteArrayList names{"LC_ALL", "LC_CTYPE", "LANG"};
    QByteArrayList saved;
    for (const QByteArray &name : names)
        saved.append(qgetenv(name.constData()));
    const auto restore = qScopeGuard([&] {
        for (int i = 0; i < names.size(); ++i)
            saved.at(i).isEmpty() ? qunsetenv(names.at(i).constData()) : qputenv(names.at(i).constData(), saved.at(i));
    });
    qunsetenv("LC_CTYPE");
    lcAll.isEmpty() ? qunsetenv("LC_ALL") : qputenv("LC_ALL", lcAll);
    lang.isEmpty() ? qunsetenv("LANG") : qputenv("LANG", lang);

    QByteArrayList locale;
    for (const QByteArray &entry : ChildProcess::environmentFor(QStringLiteral("/scratch")))
        if (entry.startsWith("LC_") || entry.startsWith("LANG="))
            locale.append(entry);
    std::sort(locale.begin(), locale.end());
    QCOMPARE(locale, expected);
}

void TestEngineLifecycle::accentedFolderUnderCLocale()
{
    IsolatedEnvironment environment;
    const QString folder = environment.root() + QStringLiteral("/Données é");
    QVERIFY(QDir().mkpath(folder));
    WriteChartWorkbook(folder + QStringLiteral("/book.fods"));
    // The temporary folder, where the instances' profiles live, too.
    const QByteArray oldAll = qgetenv("LC_ALL");
    const QByteArray oldTmp = qgetenv("TMPDIR");
    qputenv("LC_ALL", "C");
    qputenv("TMPDIR", QFile::encodeName(folder));
    const auto restore = qScopeGuard([&] {
        oldAll.isEmpty() ? qunsetenv("LC_ALL") : qputenv("LC_ALL", oldAll);
        oldTmp.isEmpty() ? qunsetenv("TMPDIR") : qputenv("TMPDIR", oldTmp);
    });
    LibreOfficeServer server;
    const QSet<qint64> before = startedInstances();
    auto application = server.create();
    mEveryPid += startedInstances() - before;
    auto book = application->workbooks().open(folder + QStringLiteral("/book.fods"));
    book->saveAs(folder + QStringLiteral("/saved.xls"));
    application->quit();
    QVERIFY(QFileInfo(folder + QStringLiteral("/saved.xls")).size() > 0);
}

void TestEngineLifecycle::formulasFetchNothing()
{
    IsolatedEnvironment environment;
    // A server on the loopback address that only counts who calls.
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    QVERIFY(listener >= 0);
    const auto closeListener = qScopeGuard([&] { ::close(listener); });
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    QVERIFY(::bind(listener, reinterpret_cast<sockaddr *>(&address), length) == 0);
    QVERIFY(::listen(listener, 8) == 0);
    QVERIFY(::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length) == 0);
    const QString url = QStringLiteral("http://127.0.0.1:%1/list").arg(ntohs(address.sin_port));
    WriteChartWorkbook(environment.tempFolder() + QStringLiteral("/book.fods"));
    LibreOfficeServer engine;
    const QSet<qint64> before = startedInstances();
    auto application = engine.create();
    const QSet<qint64> added = startedInstances() - before;
    mEveryPid += added;
    if (!ChildProcess::isIsolatedFromNetwork(*added.begin()))
        QSKIP("This machine lets no unprivileged program have a network of its own (user namespaces are off).");
    auto book = application->workbooks().open(environment.tempFolder() + QStringLiteral("/book.fods"));
    auto sheet = book->activeSheet();
    sheet->setCellValue(20, 1, QStringLiteral("=WEBSERVICE(\"%1\")").arg(url));
    sheet->setCellValue(21, 1, QStringLiteral("=FILTERXML(WEBSERVICE(\"%1\");\"//a\")").arg(url));
    book->saveAs(environment.tempFolder() + QStringLiteral("/saved.xls"));
    sheet->usedRangePicture();
    application->quit();
    pollfd waiting{listener, POLLIN, 0};
    QCOMPARE(::poll(&waiting, 1, 300), 0);
}

namespace {

// The program as its main function runs it, ended in the way asked.
int runProgramThen(int argc, char **argv, const QString &how)
{
    QApplication app(argc, argv);
    ScriptedPrompts prompts;
    ObservedServer server;
    Form1::Environment environment = Form1::Environment::real();
    environment.launch = [](const QString &, const QStringList &) { return true; };
    Form1 form(prompts, server, environment);
    server.setWarmUpDocument(kTemplateResource);
    FirstPaintWatch afterFirstPaint([&server] { server.startSpares(); });
    UserActivityWatch userActivity([&server] { server.userActive(); });
    form.show();
    QTimer::singleShot(0, [&] {
        QElapsedTimer waited;
        waited.start();
        while (!server.waitForSpares(50ms) && waited.elapsed() < 60000)
            QCoreApplication::processEvents();
        if (how == QLatin1String("preview")) {
            // A chart: two instances taken, quit, and being collected; their
            // replacements start once it is done.
            form.PushButton1_Click();
            waited.restart();
            while (!server.waitForSpares(50ms) && waited.elapsed() < 60000)
                QCoreApplication::processEvents();
        }
        const bool release = how == QLatin1String("release");
        if (release || how == QLatin1String("return")) {
            server.setIdleTime(100ms);
            while (server.quittingPids().isEmpty() && waited.elapsed() < 120000)
                QCoreApplication::processEvents();
        }
        if (how == QLatin1String("return")) {
            while (!(server.sparePids().isEmpty() && server.quittingPids().isEmpty()) && waited.elapsed() < 120000)
                QCoreApplication::processEvents();
            QKeyEvent press(QEvent::KeyPress, Qt::Key_Shift, Qt::NoModifier);
            QCoreApplication::sendEvent(&form, &press);
            while (server.sparePids().isEmpty() && waited.elapsed() < 120000)
                QCoreApplication::processEvents();
        }
        QList<qint64> pids = EngineProcess::startedPids();
        std::printf("%s\n", qPrintable([&] {
            QStringList text;
            for (qint64 pid : pids)
                text.append(QString::number(pid));
            return text.join(u' ');
        }()));
        std::fflush(stdout);
        // Until the test has seen them running.
        if (release || how == QLatin1String("return"))
            form.close();
        else
            std::fgetc(stdin);
        if (how == QLatin1String("close"))
            form.close();
        else if (how == QLatin1String("preview") && form.previewWindow())
            form.previewWindow()->close();
        else if (how == QLatin1String("fatal"))
            qFatal("ended on purpose");
    });
    return app.exec();
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 3 && qstrcmp(argv[1], "--run-program-then") == 0)
        return runProgramThen(argc, argv, QString::fromLatin1(argv[2]));
    // What the start of one instance says, for first_start_as_root.sh.
    if (argc == 2 && qstrcmp(argv[1], "--start-an-instance") == 0) {
        QCoreApplication app(argc, argv);
        EngineProcess engine;
        try {
            engine.waitUntilReady();
            std::printf("started\n");
        } catch (const EngineBlockedError &e) {
            std::printf("blocked: %s\n", e.what());
        } catch (const std::exception &e) {
            std::printf("failed: %s\n", e.what());
        }
        return 0;
    }
    if (argc == 3 && qstrcmp(argv[1], "--claim-then-die") == 0) {
        OwnedWorkbooks::claim(QString::fromLocal8Bit(argv[2]));
        ::kill(getpid(), SIGKILL);
    }
    if (argc == 3 && qstrcmp(argv[1], "--claim-and-wait") == 0) {
        OwnedWorkbooks::claim(QString::fromLocal8Bit(argv[2]));
        std::printf("claimed\n");
        std::fflush(stdout);
        char rest[64];
        while (std::fread(rest, 1, sizeof rest, stdin) > 0) {
        }
        return 0;
    }
    QApplication app(argc, argv);
    TestEngineLifecycle test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_enginelifecycle.moc"
