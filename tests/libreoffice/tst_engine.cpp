// Tests on the real engine. They start their own LibreOffice instances, share
// one instance between the checks that allow it, and prove at the end that
// every process they started is gone.

#include "chartworkbookfixture.h"
#include "engineinstances.h"
#include "isolatedenvironment.h"

#include "chart/excel1.h"
#include "ground/mainroutines.h"
#include "ground/processruns.h"
#include "libreoffice/disk/engineregistry.h"
#include "libreoffice/document/xlspatch.h"
#include "libreoffice/installation.h"
#include "libreoffice/libreofficeserver.h"
#include "libreoffice/process/engineprocess.h"
#include "libreoffice/process/foreignengines.h"

#include <QClipboard>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QUrl>
#include <QtEndian>
#include <QSet>
#include <QTest>

#include <map>

#include <cstdio>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

const QString kAccounting = QStringLiteral("_($* #,##0_);_($* (#,##0);_($* \"-\"??_);_(@_)");

QList<bool> gridlinesShown(const QString &path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    const QByteArray bytes = file.readAll();
    QList<bool> shown;
    for (const qsizetype at : WorksheetWindowOptionOffsets(bytes))
        shown.append(qFromLittleEndian<quint16>(bytes.constData() + at) & kWindowShowsGridlines);
    return shown;
}

// The socket files in /tmp that the process listens on (its pipes).
QStringList pipeFilesOf(qint64 pid)
{
    QSet<QByteArray> inodes;
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
    for (const QString &fd : fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        char link[128] = {};
        const ssize_t length = ::readlink(QFile::encodeName(fds.filePath(fd)).constData(), link, sizeof link - 1);
        const QByteArray target(link, std::max<ssize_t>(length, 0));
        if (target.startsWith("socket:["))
            inodes.insert(target.mid(8, target.size() - 9));
    }
    QStringList files;
    // As the process sees them: it runs in a network of its own.
    QFile table(QStringLiteral("/proc/%1/net/unix").arg(pid));
    table.open(QIODevice::ReadOnly);
    for (const QByteArray &line : table.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() >= 8 && fields.at(7).startsWith("/tmp/") && inodes.contains(fields.at(6)))
            files.append(QString::fromLocal8Bit(fields.at(7)));
    }
    return files;
}

// The limit on the process's private memory, from the kernel's table.
qint64 dataLimitOf(qint64 pid)
{
    QFile limits(QStringLiteral("/proc/%1/limits").arg(pid));
    limits.open(QIODevice::ReadOnly);
    for (const QByteArray &line : limits.readAll().split('\n')) {
        if (line.startsWith("Max data size"))
            return line.mid(26).simplified().split(' ').first().toLongLong();
    }
    return -1;
}

QStringList stillThere(const QStringList &files)
{
    QStringList there;
    for (const QString &file : files)
        if (QFileInfo(file).exists() || QFileInfo(file).isSymLink())
            there.append(file);
    return there;
}

} // namespace

class TestEngine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void createAndQuitLeaveNothing();
    void twoInstancesShareNothing();
    void userInstanceIsSeenButNotTouched();
    void anotherProgramsInstanceIsNotTheUsers();

    void workbookList();
    void typedValues_data();
    void typedValues();
    void numberFormat();
    void saveAsXlsRoundTrip();
    void savedXlsKeepsHiddenGridlines();
    void pictureOfRangeWithChart();
    void pictureDroppingDrawings_data();
    void pictureDroppingDrawings();
    void chartOfTheWorkbook();
    void templateThroughTheEngine();

    void engineThatCannotStart();
    void hungInstanceFailsTheCall_data();
    void hungInstanceFailsTheCall();
    void hostileWorkbookEndsAtTheMemoryLimit();
    void instanceStartedAheadIsTakenOrEnded();
    void nothingOutlivesAKilledProgram();

private:
    Worksheet &sharedSheet();

    IsolatedEnvironment mEnvironment;
    QString mFixture;
    QSet<qint64> mEveryPid;   // every instance any test here started
    LibreOfficeServer mServer;
    std::unique_ptr<Application> mShared;
    std::shared_ptr<Workbook> mSharedBook;
    std::shared_ptr<Worksheet> mSharedSheet;
    std::map<QString, std::unique_ptr<Application>> mByLocale;
};

void TestEngine::initTestCase()
{
    QVERIFY2(QFileInfo(Installation::ours().programFolder() + QStringLiteral("/soffice.bin")).isExecutable(),
             "LibreOffice is not installed");
    mFixture = QDir(mEnvironment.tempFolder()).filePath(QStringLiteral("chart.fods"));
    WriteChartWorkbook(mFixture);
    QVERIFY(QFileInfo::exists(mFixture));
}

void TestEngine::cleanupTestCase()
{
    mByLocale.clear();
    mSharedSheet.reset();
    mSharedBook.reset();
    if (mShared)
        mShared->quit();
    mShared.reset();
    mEveryPid += startedInstances();
    for (qint64 pid : std::as_const(mEveryPid))
        QVERIFY2(processGone(pid), qPrintable(QStringLiteral("instance %1 is still running").arg(pid)));
    QVERIFY(EngineProcess::startedPids().isEmpty());
    QCOMPARE(ourInstanceFolders(), QStringList());
}

Worksheet &TestEngine::sharedSheet()
{
    if (!mShared) {
        mShared = mServer.create();
        mEveryPid += startedInstances();
        mSharedBook = mShared->workbooks().open(mFixture);
    }
    mSharedSheet = mSharedBook->activeSheet();
    return *mSharedSheet;
}

void TestEngine::createAndQuitLeaveNothing()
{
    const QSet<qint64> before = startedInstances();
    auto application = mServer.create();
    const QSet<qint64> added = startedInstances() - before;
    mEveryPid += added;
    QCOMPARE(added.size(), 1);
    const qint64 pid = *added.begin();
    QVERIFY(!processGone(pid));
    QCOMPARE(dataLimitOf(pid), EngineProcess::kDefaultMemoryLimitMb * 1024 * 1024);
    QCOMPARE(application->defaultValue(), mServer.expectedProductName());
    QCOMPARE(mServer.expectedProductName(), QStringLiteral("LibreOffice"));
    QVERIFY(!ourInstanceFolders().isEmpty());

    application->quit();
    QVERIFY(processGone(pid));
    QCOMPARE(startedInstances(), before);
    // A quit instance refuses politely instead of crashing.
    QVERIFY_THROWS_EXCEPTION(SpreadsheetError, application->workbooks().count());
    QVERIFY_THROWS_EXCEPTION(SpreadsheetError, application->setDisplayAlerts(false));

    // Destroying an application that was never told to quit ends it too.
    const QSet<qint64> beforeSecond = startedInstances();
    auto forgotten = mServer.create();
    const QSet<qint64> second = startedInstances() - beforeSecond;
    mEveryPid += second;
    forgotten.reset();
    QVERIFY(processGone(*second.begin()));
}

void TestEngine::twoInstancesShareNothing()
{
    const QSet<qint64> before = startedInstances();
    auto first = mServer.create();
    auto second = mServer.create();
    const QSet<qint64> added = startedInstances() - before;
    mEveryPid += added;
    QCOMPARE(added.size(), 2);

    auto firstBook = first->workbooks().open(mFixture);
    auto secondBook = second->workbooks().open(mFixture);
    QCOMPARE(first->workbooks().count(), 1);
    QCOMPARE(second->workbooks().count(), 1);
    firstBook->activeSheet()->setCellValue(4, 1, QStringLiteral("changed in the first"));
    QCOMPARE(secondBook->activeSheet()->cellValue(4, 1).toString(), QStringLiteral("Savings"));

    first->quit();
    // The second instance is untouched by the first one's end.
    QCOMPARE(secondBook->activeSheet()->cellValue(4, 1).toString(), QStringLiteral("Savings"));
    QCOMPARE(second->workbooks().count(), 1);
    second->quit();
    for (qint64 pid : added)
        QVERIFY(processGone(pid));
}

void TestEngine::userInstanceIsSeenButNotTouched()
{
    // The user's own LibreOffice: started as a user would, on a profile of its
    // own that nobody seeded.
    QTemporaryDir profile;
    QProcess user;
    user.setProgram(Installation::ours().programFolder() + QStringLiteral("/soffice.bin"));
    user.setArguments({QStringLiteral("--headless"), QStringLiteral("--norestore"),
                       QStringLiteral("--accept=pipe,name=user-%1;urp;").arg(getpid()),
                       QStringLiteral("-env:UserInstallation=")
                               + QUrl::fromLocalFile(profile.path()).toString(QUrl::FullyEncoded)});
    user.setStandardOutputFile(QProcess::nullDevice());
    user.setStandardErrorFile(QProcess::nullDevice());
    // Should this test crash, the kernel ends that instance too.
    user.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
    for (int attempt = 0; attempt < 3; ++attempt) {
        user.start();
        QVERIFY(user.waitForStarted());
        // A new profile makes LibreOffice ask for one restart (exit code 81).
        if (!user.waitForFinished(3000))
            break;
    }
    QCOMPARE(user.state(), QProcess::Running);
    const qint64 userPid = user.processId();
    auto endUser = qScopeGuard([&] {
        const QStringList pipes = pipeFilesOf(userPid);
        ::kill(pid_t(userPid), SIGKILL);
        user.waitForFinished(5000);
        for (const QString &pipe : pipes)
            QFile::remove(pipe);
    });

    QVERIFY(ForeignEnginePids().contains(userPid));
    QVERIFY(IsExcelRunning(mServer));
    auto running = mServer.getRunning();
    QCOMPARE(running->defaultValue(), mServer.expectedProductName());
    QVERIFY_THROWS_EXCEPTION(SpreadsheetError, running->workbooks().open(mFixture));
    QVERIFY_THROWS_EXCEPTION(SpreadsheetError, running->workbooks().count());
    QVERIFY_THROWS_EXCEPTION(SpreadsheetError, running->quit());

    // Our own instances are never taken for the user's, and leave it alone.
    const QSet<qint64> before = startedInstances();
    auto ours = mServer.create();
    const QSet<qint64> added = startedInstances() - before;
    mEveryPid += added;
    QVERIFY(!ForeignEnginePids().contains(*added.begin()));
    QVERIFY(!added.contains(userPid));
    ours->workbooks().open(mFixture);
    ours->quit();
    running.reset();
    QCOMPARE(user.state(), QProcess::Running);
    QVERIFY(!processGone(userPid));
}

void TestEngine::anotherProgramsInstanceIsNotTheUsers()
{
    // This test program, started again, keeps an instance until its input closes.
    QProcess program;
    program.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--start-engine-and-wait")});
    auto endProgram = qScopeGuard([&] {
        program.closeWriteChannel();
        if (!program.waitForFinished(30000))
            program.kill();
    });
    QVERIFY(program.waitForReadyRead(60000));
    bool ok = false;
    const qint64 other = program.readLine().trimmed().toLongLong(&ok);
    QVERIFY(ok);
    QVERIFY(!processGone(other));

    QVERIFY(!ForeignEnginePids().contains(other));
    endProgram.dismiss();
    program.closeWriteChannel();
    QVERIFY(program.waitForFinished(30000));
    QCOMPARE(program.exitCode(), 0);
    QVERIFY(processGone(other));
}

void TestEngine::workbookList()
{
    auto application = mServer.create();
    mEveryPid += startedInstances();
    Workbooks &books = application->workbooks();
    QCOMPARE(books.count(), 0);
    QVERIFY_THROWS_EXCEPTION(SpreadsheetError, books.item(1));

    const QString missing = QDir(mEnvironment.tempFolder()).filePath(QStringLiteral("missing.xls"));
    try {
        books.open(missing);
        QFAIL("opening a missing file succeeded");
    } catch (const SpreadsheetError &e) {
        QVERIFY2(e.description().contains(missing), qPrintable(e.description()));
    }

    auto first = books.open(mFixture);
    auto second = books.open(mFixture);
    QCOMPARE(books.count(), 2);
    QCOMPARE(books.item(2), second);
    QCOMPARE(books.item(1)->activeSheet()->name(), QStringLiteral("Assets"));
    for (const QString &target : {QStringLiteral("/no/such/folder/book.xls"),
                                  mEnvironment.tempFolder() + QStringLiteral("/book.unknown")}) {
        try {
            first->saveAs(target);
            QFAIL("saving succeeded");
        } catch (const SpreadsheetError &e) {
            QVERIFY2(e.description().contains(target), qPrintable(e.description()));
        }
    }
    first->close();
    QCOMPARE(books.count(), 1);
    QCOMPARE(books.item(1), second);
    QVERIFY_THROWS_EXCEPTION(SpreadsheetError, first->activeSheet());
    application->setDisplayAlerts(false);
    application->quit();
}

void TestEngine::typedValues_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QVariant>("stored");

    QTest::newRow("thousands separator") << "en_US" << "1,500" << QVariant(1500.0);
    QTest::newRow("empty text empties") << "en_US" << "" << QVariant();
    QTest::newRow("text stays text") << "en_US" << "abc" << QVariant(QStringLiteral("abc"));
    QTest::newRow("German amount") << "de_DE" << "1.500,5" << QVariant(1500.5);
    QTest::newRow("German decimal comma") << "de_DE" << "0,25" << QVariant(0.25);
    QTest::newRow("negative") << "en_US" << "-7500" << QVariant(-7500.0);
    QTest::newRow("label that looks like a number in a name") << "en_US" << "401k"
                                                            << QVariant(QStringLiteral("401k"));
}

void TestEngine::typedValues()
{
    QFETCH(QString, locale);
    QFETCH(QString, typed);
    QFETCH(QVariant, stored);

    // The typing locale is taken when an instance is created: one per locale.
    auto &application = mByLocale[locale];
    if (!application) {
        LibreOfficeServer server;
        server.setTypingLocale(QLocale(locale));
        application = server.create();
        mEveryPid += startedInstances();
        application->workbooks().open(mFixture);
    }
    auto sheet = application->workbooks().item(1)->activeSheet();
    sheet->setCellValue(4, 2, typed);
    QCOMPARE(sheet->cellValue(4, 2), stored);
}

void TestEngine::numberFormat()
{
    Worksheet &sheet = sharedSheet();
    QCOMPARE(kAccounting.size(), 44);
    sheet.setCellValue(5, 2, QStringLiteral("1234"));
    sheet.setCellNumberFormat(5, 2, kAccounting);
    QCOMPARE(sheet.cellNumberFormat(5, 2), kAccounting);
    QCOMPARE(sheet.cellValue(5, 2), QVariant(1234.0));
    // Setting the same format again reuses it.
    sheet.setCellNumberFormat(6, 2, kAccounting);
    QCOMPARE(sheet.cellNumberFormat(6, 2), kAccounting);
    QVERIFY_THROWS_EXCEPTION(SpreadsheetError, sheet.setCellValue(0, 1, QStringLiteral("x")));
}

void TestEngine::saveAsXlsRoundTrip()
{
    Worksheet &sheet = sharedSheet();
    sheet.setCellValue(4, 1, QStringLiteral("Pension"));
    sheet.setCellValue(4, 2, QStringLiteral("1,500"));
    sheet.setCellNumberFormat(4, 2, kAccounting);
    sheet.setCellValue(9, 1, QString());
    sheet.setCellValue(9, 2, QString());

    const QString saved = QDir(mEnvironment.tempFolder()).filePath(QStringLiteral("tervik12345678.xls"));
    mSharedBook->saveAs(saved);
    QVERIFY(QFileInfo(saved).size() > 0);
    // The list is private from the moment the file exists, also in a shared folder.
    QCOMPARE(QFileInfo(saved).permissions() & (QFileDevice::ReadGroup | QFileDevice::WriteGroup
                                               | QFileDevice::ReadOther | QFileDevice::WriteOther),
             QFileDevice::Permissions());

    auto reopened = mShared->workbooks().open(saved);
    QCOMPARE(mShared->workbooks().count(), 2);
    QCOMPARE(mShared->workbooks().item(2), reopened);
    auto again = reopened->activeSheet();
    QCOMPARE(again->name(), QStringLiteral("Assets"));
    QCOMPARE(again->cellValue(4, 1), QVariant(QStringLiteral("Pension")));
    QCOMPARE(again->cellValue(4, 2), QVariant(1500.0));
    // Read back from the file, the format comes in the engine's own spelling.
    QCOMPARE(again->cellNumberFormat(4, 2), QStringLiteral("_(\\$* #,##0_);_(\\$* \\(#,##0\\);_(\\$* -??_);_(@_)"));
    QCOMPARE(again->cellValue(9, 1), QVariant());
    QCOMPARE(again->cellValue(7, 2), QVariant(250000.0));
    reopened->close();

    // An independent reader sees the same cells.
    const QString csv = QDir(mEnvironment.tempFolder()).filePath(QStringLiteral("read.csv"));
    QProcess reader;
    reader.start(QStringLiteral("ssconvert"), {saved, csv});
    QVERIFY2(reader.waitForFinished(60000) && reader.exitCode() == 0, reader.readAllStandardError().constData());
    QFile file(csv);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    // ssconvert leaves out the empty rows above the data.
    const qsizetype header = lines.indexOf(QRegularExpression(QStringLiteral("^\"Asset Type\",Amount,*$")));
    QVERIFY2(header >= 0 && lines.size() > header + 6, qPrintable(lines.join(u'|')));
    QVERIFY2(lines.at(header + 1).startsWith(QStringLiteral("Pension,1500,")), qPrintable(lines.at(header + 1)));
    QVERIFY2(lines.at(header + 4).startsWith(QStringLiteral("House,250000,")), qPrintable(lines.at(header + 4)));
    QVERIFY2(lines.at(header + 6).startsWith(QStringLiteral(",,")), qPrintable(lines.at(header + 6)));
}

void TestEngine::savedXlsKeepsHiddenGridlines()
{
    sharedSheet();
    // A workbook whose sheet hides its gridlines, as the template does.
    const QString folder = mEnvironment.tempFolder();
    const QString plain = QDir(folder).filePath(QStringLiteral("plain.xls"));
    mSharedBook->saveAs(plain);
    QCOMPARE(gridlinesShown(plain), QList<bool>{true});
    ClearGridlinesFlag(plain);
    QCOMPARE(gridlinesShown(plain), QList<bool>{false});

    auto book = mShared->workbooks().open(plain);
    book->activeSheet()->setCellValue(4, 1, QStringLiteral("Savings"));
    const QString copy = QDir(folder).filePath(QStringLiteral("copy.xls"));
    book->saveAs(copy);
    book->close();
    QCOMPARE(gridlinesShown(copy), QList<bool>{false});

    auto reopened = mShared->workbooks().open(copy);
    QCOMPARE(reopened->activeSheet()->cellValue(4, 1), QVariant(QStringLiteral("Savings")));
    reopened->close();
}

void TestEngine::pictureOfRangeWithChart()
{
    sharedSheet();
    const QString path = QDir(mEnvironment.tempFolder()).filePath(QStringLiteral("temp.bmp"));
    SaveUsedRangePicture(*mSharedBook, path);

    const auto permissions = QFileInfo(path).permissions();
    QVERIFY(permissions.testFlags(QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    QCOMPARE(permissions & (QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ReadOther
                            | QFileDevice::WriteOther), 0);
    const QImage picture(path);
    QVERIFY(!picture.isNull());
    // The range reaches from A3 to the chart's bottom right (12 cm wide from
    // 8 cm, 7 cm high from 0.6 cm): about 20 cm by 7 cm at 96 dots per inch.
    const double pixelsPerCm = 96 / 2.54;
    QVERIFY2(qAbs(picture.width() - 20 * pixelsPerCm) < 3 * pixelsPerCm,
             qPrintable(QStringLiteral("width %1").arg(picture.width())));
    QVERIFY2(qAbs(picture.height() - 7 * pixelsPerCm) < 2 * pixelsPerCm,
             qPrintable(QStringLiteral("height %1").arg(picture.height())));

    // The chart's slices are coloured; cells alone would be black on white.
    int coloured = 0;
    for (int y = 0; y < picture.height(); y += 2)
        for (int x = picture.width() / 2; x < picture.width(); x += 2)
            if (QColor(picture.pixel(x, y)).hsvSaturation() > 100)
                ++coloured;
    QVERIFY2(coloured > 500, qPrintable(QString::number(coloured)));

    const QImage onClipboard = QGuiApplication::clipboard()->image();
    QCOMPARE(onClipboard.size(), picture.size());
}

void TestEngine::pictureDroppingDrawings_data()
{
    QTest::addColumn<QByteArray>("moreShapes");
    QTest::newRow("the chart above the rows") << QByteArray();
    // Among the rows of the picture's second band, where the chart is not.
    QTest::newRow("a shape among the rows")
            << QByteArray(R"(<draw:rect svg:x="0.5cm" svg:y="120cm" svg:width="3cm" svg:height="1.5cm"/>)");
}

// A sheet not used again loses its drawings once the picture's bands are past
// them, and its picture is the one the sheet kept whole gives.
void TestEngine::pictureDroppingDrawings()
{
    QFETCH(QByteArray, moreShapes);
    sharedSheet();
    const QString path = QDir(mEnvironment.tempFolder())
                                 .filePath(QString::fromLatin1(QTest::currentDataTag()) + QStringLiteral(".fods"));
    WriteChartWorkbook(path, moreShapes);
    const auto book = mShared->workbooks().open(path);
    const auto sheet = book->activeSheet();
    // Three bands at full size, the last below every drawing.
    QList<TextAndAmount> rows;
    for (int i = 0; i < 600; ++i)
        rows.append({QStringLiteral("Row %1").arg(i), QString::number(1000 + i)});
    sheet->setTextAndAmountRows(4, 1, rows);

    // Nothing reads the charts between the two pictures: the engine may give
    // a chart that was read a new place on its page a moment later.
    const QImage kept = sheet->usedRangePicture();
    QImage top;
    QSize whole;
    const QImage dropped = sheet->usedRangePictureDroppingDrawings(
            {100, [&](const QImage &drawn, QSize size) { top = drawn, whole = size; }});
    QCOMPARE(DescribeCharts(*sheet).size(), 0);
    QCOMPARE(dropped.size(), kept.size());
    QVERIFY(dropped == kept);
    // Its top came first, as the whole has it.
    QVERIFY(top.height() >= 100 && top.height() < dropped.height());
    QVERIFY(whole.width() >= dropped.width() && whole.height() >= dropped.height());
    QVERIFY(top.copy(0, 0, dropped.width(), top.height()) == dropped.copy(0, 0, dropped.width(), top.height()));
    book->close();
}

void TestEngine::chartOfTheWorkbook()
{
    const QList<ChartDescription> charts = DescribeCharts(sharedSheet());
    QCOMPARE(charts.size(), 1);
    QCOMPARE(charts.first().chartType, QStringLiteral("com.sun.star.chart2.PieChartType"));
    QCOMPARE(charts.first().categories, QStringLiteral("$Assets.$A$4:$A$9"));
    QCOMPARE(charts.first().values, QStringList{QStringLiteral("$Assets.$B$4:$B$9")});
    QCOMPARE(charts.first().seriesNames, QStringList{QStringLiteral("$Assets.$B$3")});
}

void TestEngine::templateThroughTheEngine()
{
    // The template as the chart command gets it: the embedded resource,
    // written to the temporary folder.
    QFile resource(QStringLiteral(":/CUSTOM/101"));
    QVERIFY(resource.open(QIODevice::ReadOnly));
    const QByteArray bytes = resource.readAll();
    const QString copy = QDir(mEnvironment.tempFolder()).filePath(QStringLiteral("Pie Chart.xlt"));
    WriteBytesToFile(bytes, copy);

    auto application = mServer.create();
    mEveryPid += startedInstances();
    auto book = application->workbooks().open(copy);
    auto sheet = book->activeSheet();
    QCOMPARE(sheet->name(), QStringLiteral("Assets"));

    const QStringList labels{QStringLiteral("Asset Type"), QStringLiteral("Savings"), QStringLiteral("401k"),
                             QStringLiteral("Stocks"), QStringLiteral("House"), QStringLiteral("Bonds"),
                             QStringLiteral("Car")};
    const QList<double> amounts{25000, 55000, 15000, 250000, 11000, 7500};
    for (int row = 3; row <= 9; ++row)
        QCOMPARE(sheet->cellValue(row, 1), QVariant(labels.at(row - 3)));
    QCOMPARE(sheet->cellValue(3, 2), QVariant(QStringLiteral("Amount")));
    for (int row = 4; row <= 9; ++row) {
        QCOMPARE(sheet->cellValue(row, 2), QVariant(amounts.at(row - 4)));
        QVERIFY2(sheet->cellNumberFormat(row, 2).contains(QStringLiteral("#,##0")),
                 qPrintable(sheet->cellNumberFormat(row, 2)));
    }

    const QList<ChartDescription> charts = DescribeCharts(*sheet);
    QCOMPARE(charts.size(), 1);
    QCOMPARE(charts.first().chartType, QStringLiteral("com.sun.star.chart2.PieChartType"));
    QVERIFY(charts.first().threeD);
    QCOMPARE(charts.first().categories, QStringLiteral("$Assets.$A$4:$A$9"));
    QCOMPARE(charts.first().values, QStringList{QStringLiteral("$Assets.$B$4:$B$9")});
    QCOMPARE(charts.first().seriesNames, QStringList{QStringLiteral("$Assets.$B$3")});

    // Filled and saved as the chart command does: the template stays as it
    // was, the workbook hides its gridlines like the template.
    for (int row = 4; row <= 9; ++row) {
        sheet->setCellValue(row, 1, QString());
        sheet->setCellValue(row, 2, QString());
    }
    sheet->setCellValue(4, 1, QStringLiteral("Savings"));
    sheet->setCellValue(4, 2, QStringLiteral("1,000"));
    sheet->setCellNumberFormat(4, 2, kAccounting);
    const QString saved = QDir(mEnvironment.tempFolder()).filePath(QStringLiteral("tervik11111111.xls"));
    book->saveAs(saved);
    application->setDisplayAlerts(false);
    book->close();
    QFile again(copy);
    QVERIFY(again.open(QIODevice::ReadOnly));
    QCOMPARE(again.readAll(), bytes);
    QCOMPARE(gridlinesShown(saved), QList<bool>{false});
    application->quit();

    // The saved workbook in a new instance: its picture shows the chart.
    auto second = OpenWorkbookInNewExcel(mServer, saved);
    mEveryPid += startedInstances();
    const QString picturePath = QDir(mEnvironment.tempFolder()).filePath(QStringLiteral("temp.bmp"));
    SaveUsedRangePicture(*second->workbooks().item(second->workbooks().count()), picturePath);
    const QImage picture(picturePath);
    QVERIFY2(picture.width() > 600 && picture.height() > 300,
             qPrintable(QStringLiteral("%1 x %2").arg(picture.width()).arg(picture.height())));
    // The one slice left has the template's first slice colour, #92A081.
    int sliceColoured = 0;
    for (int y = 0; y < picture.height(); y += 2)
        for (int x = 0; x < picture.width(); x += 2) {
            const QColor pixel(picture.pixel(x, y));
            if (qAbs(pixel.red() - 0x92) + qAbs(pixel.green() - 0xA0) + qAbs(pixel.blue() - 0x81) < 60)
                ++sliceColoured;
        }
    QVERIFY2(sliceColoured > 1000, qPrintable(QString::number(sliceColoured)));
    second->quit();
}

void TestEngine::engineThatCannotStart()
{
    const QStringList before = ourInstanceFolders();
    {
        EngineProcess::Options options;
        options.program = mEnvironment.tempFolder() + QStringLiteral("/no-such-office/soffice.bin");
        EngineProcess engine(options);
        try {
            engine.waitUntilReady();
            QFAIL("a missing engine started");
        } catch (const SpreadsheetError &e) {
            QVERIFY2(e.description().contains(options.program), qPrintable(e.description()));
        }
    }
    QCOMPARE(ourInstanceFolders(), before);
}

void TestEngine::hungInstanceFailsTheCall_data()
{
    QTest::addColumn<int>("chartLastRow");
    QTest::addColumn<QString>("limit");
    QTest::newRow("the fixture's chart") << 9 << QStringLiteral("2 seconds");
    // Saving and drawing a pie of many slices takes longer: 3 ms a slice.
    QTest::newRow("a chart of 1,000 slices") << 1003 << QStringLiteral("5 seconds");
}

void TestEngine::hungInstanceFailsTheCall()
{
    QFETCH(int, chartLastRow);
    QFETCH(QString, limit);
    LibreOfficeServer server;
    server.setCallTimeout(2s);
    const QSet<qint64> before = startedInstances();
    auto application = server.create();
    const QSet<qint64> added = startedInstances() - before;
    mEveryPid += added;
    auto book = application->workbooks().open(mFixture);
    auto sheet = book->activeSheet();
    const qint64 pid = *added.begin();
    const QStringList pipes = pipeFilesOf(pid);
    QVERIFY2(pipes.size() >= 2, qPrintable(pipes.join(u' ')));
    if (chartLastRow > 9)
        sheet->extendChartsTo(chartLastRow);

    QVERIFY(::kill(pid_t(pid), SIGSTOP) == 0);
    QElapsedTimer timer;
    timer.start();
    try {
        sheet->setCellValue(4, 2, QStringLiteral("1"));
        QFAIL("a call to a stopped instance succeeded");
    } catch (const SpreadsheetError &e) {
        QVERIFY2(e.description().contains(QStringLiteral("did not answer within ") + limit),
                 qPrintable(e.description()));
    }
    QVERIFY(timer.elapsed() < 20000);
    // Killed by the watchdog: gone once the kernel has ended every thread of it.
    QTRY_VERIFY_WITH_TIMEOUT(processGone(pid), 10000);
    // Everything after it fails at once instead of waiting again.
    QVERIFY_THROWS_EXCEPTION(SpreadsheetError, sheet->cellValue(4, 2));
    application->quit();
    QVERIFY(processGone(pid));
    // The killed instance could not remove its pipes' socket files itself.
    QCOMPARE(stillThere(pipes), QStringList());
}

// A workbook of a few hundred kilobytes that unpacks to far more than its
// instance may hold: the instance ends at its limit, with a message that
// says so, and held no more than that limit allows.
void TestEngine::hostileWorkbookEndsAtTheMemoryLimit()
{
    constexpr qint64 kLimitMb = 600;
    const QString path = QDir(mEnvironment.tempFolder()).filePath(QStringLiteral("hostile.xlsx"));
    QProcess writer;
    writer.start(QStringLiteral("/usr/bin/python3"), {QFINDTESTDATA("hostileworkbook.py"), path, QStringLiteral("60")});
    QVERIFY(writer.waitForFinished(300000));
    QCOMPARE(writer.exitCode(), 0);
    QVERIFY(QFileInfo(path).size() < 1024 * 1024);

    LibreOfficeServer server;
    server.setMemoryLimitMb(kLimitMb);
    // Only the limit may end it, however slowly it reads.
    server.setCallTimeout(15min);
    const QSet<qint64> before = startedInstances();
    auto application = server.create();
    const QSet<qint64> added = startedInstances() - before;
    mEveryPid += added;
    const qint64 pid = *added.begin();
    QCOMPARE(dataLimitOf(pid), kLimitMb * 1024 * 1024);
    try {
        application->workbooks().open(path);
        QFAIL("the hostile workbook was opened");
    } catch (const InstanceLostError &e) {
        QVERIFY2(e.description().contains(QStringLiteral("ran out of its memory limit of 600 MB")),
                 qPrintable(e.description()));
    }
    QVERIFY(processGone(pid));
    // Its resident memory, the largest of any reaped child of this test, with
    // the libraries it shares with other programs above the limit.
    rusage children{};
    ::getrusage(RUSAGE_CHILDREN, &children);
    QVERIFY2(children.ru_maxrss < kLimitMb * 1024 * 3 / 2, qPrintable(QString::number(children.ru_maxrss)));
    application->quit();
}

// Started ahead of need by the server: taken by the next create() without
// another instance being started, ended when dropped or when the server ends.
void TestEngine::instanceStartedAheadIsTakenOrEnded()
{
    LibreOfficeServer server;
    const QSet<qint64> beforeAhead = startedInstances();
    server.startAheadOfNeed();
    const QSet<qint64> ahead = startedInstances() - beforeAhead;
    mEveryPid += ahead;
    QCOMPARE(ahead.size(), 1);
    QVERIFY(!processGone(*ahead.begin()));
    server.startAheadOfNeed();
    QCOMPARE(startedInstances() - beforeAhead, ahead);
    auto taken = server.create();
    QCOMPARE(startedInstances() - beforeAhead, ahead);
    QCOMPARE(EngineProcessId(*taken), *ahead.begin());
    server.dropStartedAhead();
    QCOMPARE(taken->defaultValue(), server.expectedProductName());
    auto book = taken->workbooks().open(mFixture);
    QCOMPARE(book->activeSheet()->name(), QStringLiteral("Assets"));
    taken->quit();
    QVERIFY(processGone(*ahead.begin()));

    server.startAheadOfNeed();
    const QSet<qint64> dropped = startedInstances() - beforeAhead;
    mEveryPid += dropped;
    QCOMPARE(dropped.size(), 1);
    server.dropStartedAhead();
    QVERIFY(processGone(*dropped.begin()));

    // One that is never used ends with its owner.
    qint64 unused = 0;
    {
        LibreOfficeServer owner;
        const QSet<qint64> before = startedInstances();
        owner.startAheadOfNeed();
        const QSet<qint64> started = startedInstances() - before;
        mEveryPid += started;
        QCOMPARE(started.size(), 1);
        unused = *started.begin();
    }
    QVERIFY(processGone(unused));
}

void TestEngine::nothingOutlivesAKilledProgram()
{
    // This test program, started again, starts an instance and kills itself.
    QProcess program;
    program.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--start-engine-then-die")});
    QVERIFY(program.waitForFinished(60000));
    QCOMPARE(program.exitStatus(), QProcess::CrashExit);
    bool ok = false;
    QStringList printed = QString::fromLocal8Bit(program.readAllStandardOutput()).split(u' ', Qt::SkipEmptyParts);
    QVERIFY(printed.size() >= 3);
    const qint64 orphan = printed.takeFirst().toLongLong(&ok);
    QVERIFY(ok);
    const QStringList orphanPipes = printed;
    QElapsedTimer timer;
    timer.start();
    while (!processGone(orphan) && timer.elapsed() < 10000)
        QTest::qWait(50);
    QVERIFY2(processGone(orphan), "the instance outlived the program that started it");

    // Its profile is swept away by the next start, and so is the folder of a
    // dead run whose process id is this live test's now; this run's stays.
    const QDir root(QDir::tempPath() + QStringLiteral("/quintarra-engine-%1").arg(getuid()));
    const QString left = QStringLiteral("%1-*").arg(program.processId());
    const QString reusedId = root.filePath(QStringLiteral("%1-1-0123456789abcdef").arg(getpid()));
    const QString ours = root.filePath(QStringLiteral("%1-%2-0123456789abcdef")
                                               .arg(getpid())
                                               .arg(ProcessRuns::processStartTicks(getpid())));
    QVERIFY(QDir().mkpath(reusedId + QStringLiteral("/profile")) && QDir().mkpath(ours + QStringLiteral("/profile")));
    const auto removeOurs = qScopeGuard([&] { QDir(ours).removeRecursively(); });
    EngineProcess next;
    next.start();
    mEveryPid += next.pid();
    QCOMPARE(root.entryList({left}, QDir::Dirs), QStringList());
    QCOMPARE(stillThere(orphanPipes), QStringList());
    QVERIFY(!QFileInfo::exists(reusedId));
    QVERIFY(QFileInfo::exists(ours));
    next.quit();
}

int main(int argc, char **argv)
{
    if (argc == 2 && qstrcmp(argv[1], "--start-engine-then-die") == 0) {
        QCoreApplication app(argc, argv);
        EngineProcess engine;
        engine.waitUntilReady();
        printf("%lld %s\n", engine.pid(), qPrintable(pipeFilesOf(engine.pid()).join(u' ')));
        fflush(stdout);
        ::kill(getpid(), SIGKILL);
    }
    if (argc == 2 && qstrcmp(argv[1], "--start-engine-and-wait") == 0) {
        QCoreApplication app(argc, argv);
        EngineProcess engine;
        engine.waitUntilReady();
        printf("%lld\n", engine.pid());
        fflush(stdout);
        char rest[64];
        while (fread(rest, 1, sizeof rest, stdin) > 0) {
        }
        return 0;
    }
    QGuiApplication app(argc, argv);
    TestEngine test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_engine.moc"
