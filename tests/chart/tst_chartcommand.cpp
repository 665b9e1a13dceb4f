#include "fakecharthost.h"
#include "fakespreadsheetserver.h"
#include "isolatedenvironment.h"
#include "scriptedprompts.h"

#include "chart/chartcommand.h"
#include "chart/temporaryfolder.h"
#include "entries/entrycodec.h"
#include "ground/failure.h"
#include "ground/settingsstore.h"
#include "widgets/progressjob.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

extern char **environ;

namespace {

const QString kNotStored = QStringLiteral("<not stored>");

EntryList someEntries(int count)
{
    // Amounts as a user may type them: grouping, sign, decimals, blanks.
    const QStringList amounts = {QStringLiteral("25000"), QStringLiteral("1,500"), QStringLiteral("-42"),
                                 QStringLiteral("7.5"), QStringLiteral(" 300"), QStringLiteral("0"),
                                 QStringLiteral("99")};
    EntryList entries;
    for (int i = 0; i < count; ++i)
        entries.append({QStringLiteral("Label %1").arg(i + 1), amounts.at(i % amounts.size())});
    return entries;
}

QList<int> reportedSteps(const QStringList &reports)
{
    static const QRegularExpression line(QStringLiteral("at line (\\d+)\r\r"));
    QList<int> steps;
    for (const QString &report : reports)
        steps.append(line.match(report).captured(1).toInt());
    return steps;
}

// Every variable named "temp" in any case, removed for the test's life.
class TempVariablesCleared
{
public:
    TempVariablesCleared()
    {
        for (char **entry = environ; entry && *entry; ++entry) {
            const QByteArray text(*entry);
            const QByteArray name = text.left(text.indexOf('='));
            if (name.compare("TEMP", Qt::CaseInsensitive) == 0)
                mSaved.append({name, text.mid(name.size() + 1)});
        }
        for (const auto &[name, value] : std::as_const(mSaved))
            qunsetenv(name.constData());
    }
    ~TempVariablesCleared()
    {
        for (char **entry = environ; entry && *entry; ++entry) {
            const QByteArray text(*entry);
            const QByteArray name = text.left(text.indexOf('='));
            if (name.compare("TEMP", Qt::CaseInsensitive) == 0)
                mSet.append(name);
        }
        for (const QByteArray &name : std::as_const(mSet))
            qunsetenv(name.constData());
        for (const auto &[name, value] : std::as_const(mSaved))
            qputenv(name.constData(), value);
    }

private:
    QList<QPair<QByteArray, QByteArray>> mSaved;
    QList<QByteArray> mSet;
};

class ScopedVariable
{
public:
    ScopedVariable(const char *name, const QByteArray &value)
        : mName(name), mOld(qgetenv(name)), mHad(qEnvironmentVariableIsSet(name))
    {
        qputenv(name, value);
    }
    ~ScopedVariable()
    {
        if (mHad)
            qputenv(mName, mOld);
        else
            qunsetenv(mName);
    }

private:
    const char *mName;
    QByteArray mOld;
    bool mHad;
};

// One click on a fresh configuration and temporary folder.
struct Click {
    IsolatedEnvironment env;
    QStringList trail;
    FakeSpreadsheetServer server{&trail};
    FakeChartHost host{&trail};
    ScriptedPrompts prompts;
    QImage picture{40, 30, QImage::Format_RGB32};

    explicit Click(int rows = 3)
    {
        picture.fill(QColor(0x92, 0xA0, 0x81));
        server.picture = picture;
        host.entries = someEntries(rows);
    }

    void run(QRandomGenerator *random = nullptr)
    {
        ChartCommand command = this->command();
        command.setRandomGenerator(random);
        command.run(host);
        QVERIFY2(server.callsOnWindowsThread.isEmpty(), qPrintable(server.callsOnWindowsThread.join(u' ')));
        QVERIFY2(host.callsOffWindowsThread.isEmpty(), qPrintable(host.callsOffWindowsThread.join(u' ')));
    }
    // Its engine work on the pool, as the main window's command has it.
    std::function<std::unique_ptr<Job>()> jobMaker = [] {
        return std::make_unique<ProgressJob>(nullptr, QStringLiteral("Making the chart…"));
    };
    ChartCommand command()
    {
        ChartCommand command(prompts, server);
        command.setJobMaker(jobMaker);
        return command;
    }

    QStringList tempFiles() const
    {
        return QDir(env.tempFolder()).entryList(QDir::Files | QDir::System | QDir::Hidden, QDir::Name);
    }
    QString stored() const
    {
        return GetSetting(kSettingsApp, kSettingsSection, QStringLiteral("Assets"), kNotStored);
    }
    QString temp(const QString &name) const { return env.tempFolder() + QLatin1Char('/') + name; }
};

QProgressDialog *progressDialog()
{
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (window->objectName() == QLatin1String("ProgressDialog"))
            return qobject_cast<QProgressDialog *>(window);
    }
    return nullptr;
}

// setfsuid() holds for the thread that calls it: each piece of the job takes
// the user on the pool's thread too, and gives it back.
class JobAsUser : public ProgressJob
{
public:
    explicit JobAsUser(uid_t user) : ProgressJob(nullptr, QStringLiteral("Making the chart…")), mUser(user) {}

    void run(const std::function<void()> &piece) override { ProgressJob::run(asUser(piece)); }
    void finish(const std::function<void()> &piece) override { ProgressJob::finish(asUser(piece)); }

private:
    std::function<void()> asUser(const std::function<void()> &piece) const
    {
        return [user = mUser, &piece] {
            const uid_t before = ::setfsuid(user);
            const auto back = qScopeGuard([before] { ::setfsuid(before); });
            piece();
        };
    }

    uid_t mUser;
};

// The stored form, as the list's own codec writes it.
QString expectedListText(const EntryList &entries)
{
    return EncodeEntryList(entries);
}

} // namespace

class TestChartCommand : public QObject
{
    Q_OBJECT

private slots:
    void stepSequence();
    void cellsWritten_data();
    void cellsWritten();
    void failingStepGoesOn_data();
    void failingStepGoesOn();
    void firstViewBeforeTheRest_data();
    void firstViewBeforeTheRest();
    void savedWorkbookMissing();
    void unusableFolder_data();
    void unusableFolder();
    void plantedByAnotherUser_data();
    void plantedByAnotherUser();
    void sharedFolderWaits_data();
    void sharedFolderWaits();
    void amountsNotNumbers_data();
    void amountsNotNumbers();
    void runningInstancePrompt_data();
    void runningInstancePrompt();
    void noEngine_data();
    void noEngine();
    void workbookNames();
    void nameClashDrawsAgain_data();
    void nameClashDrawsAgain();
    void plantedLinkNotFollowed();
    void temporaryFolderVariable_data();
    void temporaryFolderVariable();
    void privateFolderWithoutTemp();
    void privateFolderChecks_data();
    void privateFolderChecks();
    void cancelled_data();
    void cancelled();
    void reportOverProgress();
};

void TestChartCommand::stepSequence()
{
    Click click(1);
    click.run();

    const QString book = click.host.workbook;
    const QString T = click.env.tempFolder();
    const QStringList expected = {
        QStringLiteral("pointer 11"),
        QStringLiteral("create"),
        QStringLiteral("startAheadOfNeed"),
        QStringLiteral("open %1/Pie Chart.xlt").arg(T),
        QStringLiteral("setCellText 4,1="), QStringLiteral("setCellText 5,1="),
        QStringLiteral("setCellText 6,1="), QStringLiteral("setCellText 7,1="),
        QStringLiteral("setCellText 8,1="), QStringLiteral("setCellText 9,1="),
        QStringLiteral("setCellValue 4,2="), QStringLiteral("setCellValue 5,2="),
        QStringLiteral("setCellValue 6,2="), QStringLiteral("setCellValue 7,2="),
        QStringLiteral("setCellValue 8,2="), QStringLiteral("setCellValue 9,2="),
        QStringLiteral("setTextAndAmountRows 4..4"),
        QStringLiteral("setRangeNumberFormat 4..4"),
        QStringLiteral("pointer 0"),
        QStringLiteral("saveAs ") + book,
        QStringLiteral("setDisplayAlerts false"),
        QStringLiteral("close"),
        QStringLiteral("quit"),
        QStringLiteral("create"),
        QStringLiteral("open ") + book,
        QStringLiteral("pointer 11"),
        QStringLiteral("usedRangePictureDroppingDrawings"),
        QStringLiteral("setDisplayAlerts false"),
        QStringLiteral("close"),
        QStringLiteral("quit"),
        QStringLiteral("pointer 0"),
        QStringLiteral("preview picture"),
        QStringLiteral("preview workbook"),
        QStringLiteral("show preview"),
        QStringLiteral("hide main window"),
        QStringLiteral("dropStartedAhead"),
    };
    QCOMPARE(click.trail, expected);
    // Each workbook's sheet is looked up once, not for every cell.
    QCOMPARE(click.server.calls.value(QStringLiteral("activeSheet")), 2);
    QVERIFY(click.prompts.shown.isEmpty());
    QCOMPARE(click.host.picture, click.picture);
    // The clipboard holds the preview's own copy, not a second one.
    QCOMPARE(QGuiApplication::clipboard()->image().cacheKey(), click.host.picture.cacheKey());
    QCOMPARE(click.server.liveInstances, 0);
}

void TestChartCommand::cellsWritten_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<bool>("longLabel");   // the second label longer than a cell holds
    QTest::newRow("empty list") << 0 << false;
    QTest::newRow("three rows") << 3 << false;
    QTest::newRow("six rows") << 6 << false;
    QTest::newRow("seven rows") << 7 << false;
    QTest::newRow("the most rows drawn in 3-D") << kMostSlicesIn3D << false;
    QTest::newRow("a list whose pie is drawn flat") << 300 << false;
    QTest::newRow("a label longer than a cell") << 3 << true;
}

void TestChartCommand::cellsWritten()
{
    QFETCH(int, rows);
    QFETCH(bool, longLabel);
    Click click(rows);
    const QString tooLong = QString(100000, 'L');
    if (longLabel)
        click.host.entries[1].label = tooLong;
    click.run();
    QCOMPARE(click.prompts.shown.size(), 0);

    const QString book = click.host.workbook;
    QVERIFY(click.server.saved.contains(book));
    const FakeSpreadsheetServer::Sheet sheet = click.server.saved.value(book);

    QCOMPARE(kAccountingFormat.size(), 44);
    QCOMPARE(kAccountingFormat, QStringLiteral("_($* #,##0_);_($* (#,##0);_($* \"-\"??_);_(@_)"));
    QCOMPARE(sheet.values.value({3, 1}), QStringLiteral("Asset Type"));
    QCOMPARE(sheet.values.value({3, 2}), QStringLiteral("Amount"));
    for (int row = 4; row <= std::max(9, rows + 3) + 1; ++row) {
        const int i = row - 3;
        const bool written = i <= rows;
        const Entry entry = written ? click.host.entries.at(i - 1) : Entry{};
        // The cell takes what it can hold; the list and the store keep the whole label.
        QCOMPARE(sheet.values.value({row, 1}), entry.label == tooLong ? QString(32767, 'L') : entry.label);
        QCOMPARE(sheet.values.value({row, 2}), entry.amount);
        if (written)
            QCOMPARE(sheet.formats.value({row, 2}), kAccountingFormat);
        else
            QVERIFY(sheet.formats.value({row, 2}) != kAccountingFormat);
        QVERIFY(!sheet.formats.contains({row, 1}));
    }
    // Every row is in the chart; a list that fits the template's rows leaves the chart alone.
    QCOMPARE(sheet.chartLastRow, std::max(9, rows + 3));
    QCOMPARE(click.server.calls.value(QStringLiteral("extendChartsTo")), rows > 6 ? 1 : 0);
    QCOMPARE(sheet.chartLabelledShare, rows > kMostSlicesIn3D ? kSmallestLabelledShare : 0);

    // The template copy and the picture are gone, the workbook stays for the preview.
    QCOMPARE(click.tempFiles(), QStringList{QFileInfo(book).fileName()});
    QCOMPARE(QFileInfo(book).permissions() & ~(QFile::ReadUser | QFile::WriteUser | QFile::ExeUser),
             QFile::ReadOwner | QFile::WriteOwner);
    QCOMPARE(click.stored(), expectedListText(click.host.entries));
    QVERIFY(click.host.previewShown);
    QVERIFY(click.host.mainHidden);
    QCOMPARE(click.server.instancesCreated, 2);
    QCOMPARE(click.server.liveInstances, 0);
}

enum class Outcome { PreviewWithPicture, PreviewWithoutPicture, Ended };
Q_DECLARE_METATYPE(Outcome)

void TestChartCommand::failingStepGoesOn_data()
{
    QTest::addColumn<QStringList>("calls");   // each "name" or "name:occurrence", a trailing "!" for a lost instance
    QTest::addColumn<QList<int>>("reported");
    QTest::addColumn<Outcome>("outcome");

    const auto goesOn = Outcome::PreviewWithPicture;
    // A failure of its own: reported, and the command goes on.
    QTest::newRow("block, then the first label") << QStringList{"setTextAndAmountRows", "setCellText:7"}
                                                 << QList<int>{138} << goesOn;
    QTest::newRow("every number format") << QStringList{"setRangeNumberFormat", "setCellNumberFormat"}
                                         << QList<int>{142, 142, 142} << goesOn;
    QTest::newRow("first sheet lookup") << QStringList{"activeSheet:1"} << QList<int>{112} << goesOn;
    QTest::newRow("starting ahead of need") << QStringList{"startAheadOfNeed"} << QList<int>{} << goesOn;
    QTest::newRow("first close") << QStringList{"close:1"} << QList<int>{168} << goesOn;
    QTest::newRow("every quit") << QStringList{"quit"} << QList<int>{170, 190} << goesOn;
    QTest::newRow("picture") << QStringList{"usedRangePictureDroppingDrawings"} << QList<int>{184}
                             << Outcome::PreviewWithoutPicture;
    // An instance found gone while it closes down: its work is done.
    QTest::newRow("first instance gone at close") << QStringList{"close:1!"} << QList<int>{168} << goesOn;
    QTest::newRow("second instance gone at close") << QStringList{"close:2!"} << QList<int>{188} << goesOn;
    // Nothing after it can work: one report, and the command ends.
    QTest::newRow("template not opened") << QStringList{"open:1"} << QList<int>{110} << Outcome::Ended;
    QTest::newRow("instance gone while clearing") << QStringList{"setCellText:3!"} << QList<int>{116} << Outcome::Ended;
    QTest::newRow("instance gone while filling") << QStringList{"setTextAndAmountRows!"}
                                                 << QList<int>{138} << Outcome::Ended;
    QTest::newRow("instance gone in a cell") << QStringList{"setTextAndAmountRows", "setCellValue:8!"}
                                             << QList<int>{140} << Outcome::Ended;
    QTest::newRow("save") << QStringList{"saveAs"} << QList<int>{164} << Outcome::Ended;
    QTest::newRow("instance gone while saving") << QStringList{"saveAs!"} << QList<int>{164} << Outcome::Ended;
    QTest::newRow("second instance") << QStringList{"create:2"} << QList<int>{178} << Outcome::Ended;
    QTest::newRow("saved workbook not opened") << QStringList{"open:2"} << QList<int>{178} << Outcome::Ended;
    QTest::newRow("second workbook lookup") << QStringList{"item"} << QList<int>{182} << Outcome::Ended;
    QTest::newRow("instance gone while rendering") << QStringList{"usedRangePictureDroppingDrawings!"}
                                                   << QList<int>{184} << Outcome::Ended;
}

void TestChartCommand::failingStepGoesOn()
{
    QFETCH(QStringList, calls);
    QFETCH(QList<int>, reported);
    QFETCH(Outcome, outcome);

    Click click(3);
    for (QString call : calls) {
        const bool lost = call.endsWith(QLatin1Char('!'));
        call.remove(QLatin1Char('!'));
        click.server.failCall(call.section(QLatin1Char(':'), 0, 0), call.section(QLatin1Char(':'), 1).toInt(), lost);
    }
    click.run();

    const QStringList reports = click.prompts.errorReports();
    QCOMPARE(reportedSteps(reports), reported);
    for (const QString &report : reports)
        QVERIFY(report.contains(QStringLiteral("\r\nin Quintarra7/29/2014.Form1.PushButton1_Click at line ")));
    QCOMPARE(click.server.liveInstances, 0);
    QCOMPARE(click.host.pointers.last(), qint16(0));

    if (outcome == Outcome::Ended) {
        QVERIFY(!click.host.previewShown);
        QVERIFY(!click.host.mainHidden);
        QVERIFY(click.host.picture.isNull());
        QCOMPARE(click.tempFiles(), QStringList{});
        QCOMPARE(click.stored(), kNotStored);
        return;
    }
    QCOMPARE(click.host.picture.isNull(), outcome == Outcome::PreviewWithoutPicture);
    QVERIFY(click.host.previewShown);
    QVERIFY(click.host.mainHidden);
    QCOMPARE(click.host.pointers, (QList<qint16>{11, 0, 11, 0}));
    QCOMPARE(click.stored(), expectedListText(click.host.entries));
    QCOMPARE(click.tempFiles(), QStringList{QFileInfo(click.host.workbook).fileName()});
    // A block that failed was written again cell by cell.
    const FakeSpreadsheetServer::Sheet sheet = click.server.saved.value(click.host.workbook);
    QCOMPARE(sheet.values.value({5, 1}), click.host.entries.at(1).label);
    QCOMPARE(sheet.values.value({6, 2}), click.host.entries.at(2).amount);
}

void TestChartCommand::firstViewBeforeTheRest_data()
{
    QTest::addColumn<QString>("rest");   // how the rest of the picture goes: "drawn", "fails", "instance gone"
    QTest::addColumn<Outcome>("outcome");
    QTest::newRow("drawn") << "drawn" << Outcome::PreviewWithPicture;
    QTest::newRow("fails") << "fails" << Outcome::PreviewWithoutPicture;
    QTest::newRow("instance gone") << "instance gone" << Outcome::Ended;
}

// A long list's preview shows the top of the picture while the engine draws
// the rest, and the hand-over gives it the whole; a rest that fails leaves it
// without a picture, and an instance lost meanwhile takes the preview away
// with everything else of the run.
void TestChartCommand::firstViewBeforeTheRest()
{
    QFETCH(QString, rest);
    QFETCH(Outcome, outcome);
    Click click(3);
    click.server.topFirst = true;
    click.host.showsTop = true;
    const QString restCall = QStringLiteral("usedRangePictureDroppingDrawings, rest");
    click.server.blockedCall = restCall;
    if (rest != QLatin1String("drawn"))
        click.server.failCall(restCall, 0, rest == QLatin1String("instance gone"));
    // The rest is drawn once the preview shows.
    QTimer release;
    QObject::connect(&release, &QTimer::timeout, [&] {
        if (click.host.previewShown)
            click.server.releaseBlockedCall();
    });
    release.start(10);
    click.run();

    const QStringList shownFirst = {QStringLiteral("preview picture top"), QStringLiteral("preview workbook"),
                                    QStringLiteral("show preview"), QStringLiteral("hide main window")};
    const qsizetype top = click.trail.indexOf(shownFirst.first());
    QVERIFY2(top > click.trail.indexOf(QStringLiteral("usedRangePictureDroppingDrawings")),
             qPrintable(click.trail.join(u'|')));
    QCOMPARE(click.trail.mid(top, shownFirst.size()), shownFirst);
    QCOMPARE(click.host.wholeSize, click.picture.size());
    QCOMPARE(click.trail.count(QStringLiteral("show preview")), 1);
    QCOMPARE(click.server.liveInstances, 0);
    QCOMPARE(reportedSteps(click.prompts.errorReports()), outcome == Outcome::PreviewWithPicture ? QList<int>{}
                                                                                                 : QList<int>{184});
    if (outcome == Outcome::Ended) {
        QCOMPARE(click.trail.count(QStringLiteral("withdraw preview")), 1);
        QVERIFY(!click.host.previewShown && !click.host.mainHidden);
        QCOMPARE(click.tempFiles(), QStringList{});
        return;
    }
    QVERIFY(click.trail.contains(QStringLiteral("preview picture complete")));
    QVERIFY(!click.trail.contains(QStringLiteral("preview picture")));
    QCOMPARE(click.host.picture, outcome == Outcome::PreviewWithPicture ? click.picture : QImage());
    QVERIFY(click.host.previewShown && click.host.mainHidden);
    QCOMPARE(click.tempFiles(), QStringList{QFileInfo(click.host.workbook).fileName()});
    QCOMPARE(click.stored(), expectedListText(click.host.entries));
}

// An engine that says it saved, and wrote nothing: there is nothing to show.
void TestChartCommand::savedWorkbookMissing()
{
    Click click(3);
    click.server.saveWritesFile = false;
    click.run();
    QCOMPARE(reportedSteps(click.prompts.errorReports()), QList<int>{164});
    QVERIFY(!click.host.previewShown);
    QCOMPARE(click.server.calls.value(QStringLiteral("usedRangePictureDroppingDrawings")), 0);
    QCOMPARE(click.server.liveInstances, 0);
    QCOMPARE(click.tempFiles(), QStringList{});
}

// A folder that cannot hold the template copy: one report, and nothing else.
void TestChartCommand::unusableFolder_data()
{
    QTest::addColumn<QString>("what");
    QTest::newRow("missing") << "missing";
    QTest::newRow("a file") << "file";
    QTest::newRow("the copy's name is a folder") << "copy is folder";
}

void TestChartCommand::unusableFolder()
{
    QFETCH(QString, what);
    Click click(3);
    QString folder = click.env.root() + QStringLiteral("/nowhere");
    if (what == QLatin1String("file")) {
        QFile file(folder);
        QVERIFY(file.open(QIODevice::WriteOnly));
    } else if (what == QLatin1String("copy is folder")) {
        folder = click.env.tempFolder();
        QVERIFY(QDir().mkpath(folder + QStringLiteral("/Pie Chart.xlt/inside")));
    }
    ScopedVariable temp("TEMP", QFile::encodeName(folder));
    click.run();

    QCOMPARE(reportedSteps(click.prompts.errorReports()), QList<int>{106});
    QCOMPARE(click.trail, (QStringList{QStringLiteral("pointer 11"), QStringLiteral("pointer 0")}));
    QVERIFY(!click.host.previewShown);
    QVERIFY(QFileInfo(folder + QStringLiteral("/Pie Chart.xlt/inside")).isDir() || what != QLatin1String("copy is folder"));
    QCOMPARE(QDir(click.env.tempFolder()).entryList(QDir::Files | QDir::Hidden), QStringList{});
}

// Another user's files at the fixed names of a shared sticky folder (such as
// /tmp): never opened, shown, changed or removed; one report ends the command.
// The command runs with a file-system uid of nobody's neighbour: setfsuid()
// drops root's power over other users' files for this thread only.
void TestChartCommand::plantedByAnotherUser_data()
{
    QTest::addColumn<QString>("planted");
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("step");
    QTest::newRow("template copy") << "Pie Chart.xlt" << 0644 << 106;
    QTest::newRow("picture") << "temp.bmp" << 0644 << 184;
    QTest::newRow("template lock, private") << ".Pie Chart.xlt.lock" << 0600 << 106;
    QTest::newRow("picture lock, private") << ".temp.bmp.lock" << 0600 << 184;
}

void TestChartCommand::plantedByAnotherUser()
{
    QFETCH(QString, planted);
    QFETCH(int, mode);
    QFETCH(int, step);
    if (::geteuid() != 0)
        QSKIP("Planting a file of another user takes root (chown); run as root to cover this.");

    constexpr uid_t kOther = 65534;   // nobody: owns the planted file
    constexpr uid_t kUs = 65533;      // the user the command runs as
    Click click(2);
    QTemporaryDir shared(QStringLiteral("/tmp/quintarra-shared-XXXXXX"));
    QVERIFY(shared.isValid());
    QVERIFY(::chmod(QFile::encodeName(shared.path()).constData(), 01777) == 0);
    const QString plantedPath = shared.path() + QLatin1Char('/') + planted;
    QImage bait(8, 8, QImage::Format_RGB32);
    bait.fill(Qt::red);
    QVERIFY(bait.save(plantedPath, "BMP"));
    QVERIFY(::chown(QFile::encodeName(plantedPath).constData(), kOther, kOther) == 0);
    QVERIFY(::chmod(QFile::encodeName(plantedPath).constData(), mode_t(mode)) == 0);
    const QByteArray before = [&] {
        QFile file(plantedPath);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();

    {
        ScopedVariable temp("TEMP", QFile::encodeName(shared.path()));
        click.jobMaker = [user = kUs]() -> std::unique_ptr<Job> { return std::make_unique<JobAsUser>(user); };
        ::setfsuid(kUs);
        click.run();
        ::setfsuid(0);
    }

    QCOMPARE(reportedSteps(click.prompts.errorReports()), QList<int>{step});
    QVERIFY(click.host.picture.isNull());
    QVERIFY(!click.host.previewShown);
    QVERIFY(!click.trail.contains(QStringLiteral("open %1/Pie Chart.xlt").arg(shared.path())) || step != 106);
    QCOMPARE(click.server.liveInstances, 0);
    QCOMPARE(QDir(shared.path()).entryList(QDir::Files | QDir::Hidden), QStringList{planted});
    QFile file(plantedPath);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), before);
}

// Another copy of the program working in the same folder: this one waits for
// the fixed name instead of writing over a copy in use, and goes on once it is
// free; a copy that keeps it too long gets one report.
void TestChartCommand::sharedFolderWaits_data()
{
    QTest::addColumn<int>("heldMs");
    QTest::addColumn<int>("waitMs");
    QTest::newRow("released in time") << 600 << 5000;
    QTest::newRow("held too long") << 3000 << 500;
}

void TestChartCommand::sharedFolderWaits()
{
    QFETCH(int, heldMs);
    QFETCH(int, waitMs);
    Click click(2);
    const QString template_ = click.temp(QStringLiteral("Pie Chart.xlt"));
    // The other copy: holds the lock with its own copy of the template in place.
    QProcess other;
    other.start(QStringLiteral("sh"), {QStringLiteral("-c"),
                                       QStringLiteral("flock \"$1\" sh -c 'echo theirs > \"$2\"; echo held; sleep %1; rm \"$2\"'")
                                               .arg(heldMs / 1000.0),
                                       QStringLiteral("sh"), click.temp(QStringLiteral(".Pie Chart.xlt.lock")), template_});
    QVERIFY(other.waitForReadyRead(5000));
    QCOMPARE(other.readAll(), QByteArray("held\n"));

    ChartCommand command = click.command();
    command.setFixedNameWait(std::chrono::milliseconds(waitMs));
    QElapsedTimer clock;
    clock.start();
    command.run(click.host);
    const qint64 waited = clock.elapsed();
    // Its end may have been seen already, while the command waited.
    QVERIFY(other.state() == QProcess::NotRunning || other.waitForFinished(10000));

    if (waitMs > heldMs) {
        QVERIFY2(waited >= heldMs - 100, qPrintable(QString::number(waited)));
        QCOMPARE(click.prompts.errorReports(), QStringList{});
        QVERIFY(click.host.previewShown);
        QCOMPARE(click.tempFiles(), QStringList{QFileInfo(click.host.workbook).fileName()});
    } else {
        const QStringList reports = click.prompts.errorReports();
        QCOMPARE(reportedSteps(reports), QList<int>{106});
        QVERIFY2(reports.first().startsWith(QLatin1String("Another copy of Quintarra")), qPrintable(reports.first()));
        QVERIFY(!click.host.previewShown);
        QVERIFY(!click.trail.contains(QStringLiteral("create")));
    }
}

void TestChartCommand::amountsNotNumbers_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QStringList>("amounts");
    QTest::addColumn<QString>("notice");   // empty: no notice

    const QString deUnderUs = QStringLiteral(
            "2 amounts of the list are not numbers in the current number format (which writes, "
            "for instance, 1,234.50), so the chart leaves their rows out:\r\n"
            "Row 2, Label 2: 1,5\r\nRow 3, Label 3: 1.234,56");
    QTest::newRow("de_DE amounts under en_US") << "en_US" << QStringList{"100", "1,5", "1.234,56"} << deUnderUs;
    QTest::newRow("en_US amount under de_DE")
            << "de_DE" << QStringList{"1.500", "2,5", "1,234.50"}
            << "One amount of the list is not a number in the current number format (which writes, for "
               "instance, 1.234,50), so the chart leaves its row out:\r\nRow 3, Label 3: 1,234.50";
    QTest::newRow("every amount a number") << "en_US" << QStringList{"1,500", "-7.5", " 300"} << QString();
    QStringList many(12, QStringLiteral("x"));
    many[0] = QStringLiteral("1");
    QString manyNotice = QStringLiteral("11 amounts of the list are not numbers in the current number format "
                                        "(which writes, for instance, 1,234.50), so the chart leaves their "
                                        "rows out:");
    for (int row = 2; row <= 11; ++row)
        manyNotice += QStringLiteral("\r\nRow %1, Label %1: x").arg(row);
    QTest::newRow("long lists name ten rows") << "en_US" << many << manyNotice + "\r\n... and 1 more.";
}

// The stored form keeps the amounts as typed; the chart is made all the same.
void TestChartCommand::amountsNotNumbers()
{
    QFETCH(QString, locale);
    QFETCH(QStringList, amounts);
    QFETCH(QString, notice);

    Click click(int(amounts.size()));
    for (int i = 0; i < amounts.size(); ++i)
        click.host.entries[i].amount = amounts.at(i);
    click.server.locale = QLocale(locale);
    click.run();

    if (notice.isEmpty()) {
        QVERIFY(click.prompts.shown.isEmpty());
    } else {
        QCOMPARE(click.prompts.shown.size(), 1);
        QCOMPARE(click.prompts.shown.first().text, notice);
        QCOMPARE(click.prompts.shown.first().icon, MsgIcon::Warning);
    }
    QVERIFY(click.host.previewShown);
    QCOMPARE(click.stored(), expectedListText(click.host.entries));
}

void TestChartCommand::runningInstancePrompt_data()
{
    QTest::addColumn<int>("answer");   // a MsgAnswer, or -1: the box itself fails
    QTest::addColumn<bool>("proceeds");

    QTest::newRow("No") << int(MsgAnswer::No) << false;
    QTest::newRow("closed") << int(MsgAnswer::Closed) << false;
    QTest::newRow("Yes") << int(MsgAnswer::Yes) << true;
    QTest::newRow("box fails") << -1 << true;
}

void TestChartCommand::runningInstancePrompt()
{
    QFETCH(int, answer);
    QFETCH(bool, proceeds);

    Click click(2);
    click.server.userInstanceRunning = true;
    if (answer < 0)
        click.prompts.failNext(ScriptedPrompts::Kind::Message, QStringLiteral("no display"));
    else
        click.prompts.answerMessage(MsgAnswer(answer));
    click.run();

    QCOMPARE(click.prompts.shown.first().buttons, MsgButtons::YesNo);
    QCOMPARE(reportedSteps(click.prompts.errorReports()), answer < 0 ? QList<int>{100} : QList<int>{});
    if (proceeds) {
        QVERIFY(click.host.previewShown);
        QCOMPARE(click.stored(), expectedListText(click.host.entries));
        QCOMPARE(click.server.instancesCreated, 2);
    } else {
        QVERIFY(click.trail.isEmpty());
        QVERIFY(click.tempFiles().isEmpty());
        QCOMPARE(click.stored(), kNotStored);
        QCOMPARE(click.prompts.shown.size(), 1);
    }
}

void TestChartCommand::noEngine_data()
{
    QTest::addColumn<QString>("productName");
    QTest::addColumn<QString>("expected");
    QTest::newRow("engine knows its name")
            << "FakeCalc"
            << "No chart can be made: create failed. Please check that FakeCalc is installed and can run, then try again.";
    QTest::newRow("engine without a name")
            << ""
            << "No chart can be made: create failed. Please check that the spreadsheet program is installed and can run, then try again.";
}

void TestChartCommand::noEngine()
{
    QFETCH(QString, productName);
    QFETCH(QString, expected);
    Click click(3);
    click.server.productName = productName;
    click.server.failCall(QStringLiteral("create"));
    click.run();

    const QStringList reports = click.prompts.errorReports();
    QCOMPARE(reportedSteps(reports), QList<int>{108});
    QCOMPARE(reports.first().section(QStringLiteral("\r\n"), 0, 0), expected);
    QCOMPARE(click.trail, (QStringList{QStringLiteral("pointer 11"), QStringLiteral("create"),
                                       QStringLiteral("pointer 0")}));
    QVERIFY(!click.host.previewShown);
    QVERIFY(!click.host.mainHidden);
    QVERIFY(click.tempFiles().isEmpty());
    QCOMPARE(click.stored(), kNotStored);
}

void TestChartCommand::workbookNames()
{
    // Several clicks, so that a digit out of 1 to 9 would show.
    Click click(1);
    static const QRegularExpression form(QStringLiteral("^tervik[1-9]{8}\\.xls$"));
    QSet<QString> names;
    for (int i = 0; i < 12; ++i) {
        click.run();
        const QFileInfo book(click.host.workbook);
        QCOMPARE(book.absolutePath(), click.env.tempFolder());
        QVERIFY2(form.match(book.fileName()).hasMatch(), qPrintable(book.fileName()));
        names.insert(book.fileName());
    }
    QCOMPARE(names.size(), 12);
    QVERIFY(click.prompts.shown.isEmpty());
}

void TestChartCommand::nameClashDrawsAgain_data()
{
    QTest::addColumn<bool>("asLink");
    QTest::newRow("file of that name") << false;
    QTest::newRow("link of that name, pointing nowhere") << true;
}

void TestChartCommand::nameClashDrawsAgain()
{
    QFETCH(bool, asLink);
    Click click(1);

    QRandomGenerator random(20141729);
    QRandomGenerator foreseen = random;
    QString firstName = QStringLiteral("tervik");
    for (int i = 0; i < 8; ++i)
        firstName += QChar(u'0' + foreseen.bounded(1, 10));
    const QString taken = click.temp(firstName + QStringLiteral(".xls"));
    const QString elsewhere = click.env.root() + QStringLiteral("/elsewhere.xls");
    if (asLink) {
        QVERIFY(QFile::link(elsewhere, taken));
    } else {
        QFile file(taken);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("someone else's");
    }

    click.run(&random);

    QVERIFY(click.prompts.shown.isEmpty());
    QVERIFY(!click.host.workbook.isEmpty());
    QVERIFY(click.host.workbook != taken);
    QVERIFY(click.server.saved.contains(click.host.workbook));
    QVERIFY(!click.server.saved.contains(taken));
    QVERIFY(!QFileInfo::exists(elsewhere));
    if (!asLink) {
        QFile file(taken);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("someone else's"));
    }
}

void TestChartCommand::plantedLinkNotFollowed()
{
    Click click(1);
    const QString victim = click.env.root() + QStringLiteral("/victim");
    {
        QFile file(victim);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("victim");
    }
    QVERIFY(QFile::link(victim, click.temp(QStringLiteral("Pie Chart.xlt"))));

    click.run();

    QVERIFY(click.prompts.shown.isEmpty());
    QFile file(victim);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("victim"));
    QVERIFY(!QFileInfo(click.temp(QStringLiteral("Pie Chart.xlt"))).isSymLink());
    QVERIFY(!QFileInfo::exists(click.temp(QStringLiteral("Pie Chart.xlt"))));
}

void TestChartCommand::temporaryFolderVariable_data()
{
    QTest::addColumn<QStringList>("variables");   // name=value pairs
    QTest::addColumn<QString>("expected");        // "private": the private folder

    QTest::newRow("TEMP") << QStringList{"TEMP=/work/a"} << "/work/a";
    QTest::newRow("temp in lower case") << QStringList{"temp=/work/b"} << "/work/b";
    QTest::newRow("mixed case") << QStringList{"TeMp=/work/c"} << "/work/c";
    QTest::newRow("exact name wins") << QStringList{"Temp=/work/d", "TEMP=/work/e"} << "/work/e";
    QTest::newRow("kept as it stands") << QStringList{"TEMP=rel/ative/"} << "rel/ative/";
    QTest::newRow("empty") << QStringList{"TEMP="} << "private";
    QTest::newRow("unset") << QStringList{} << "private";
}

void TestChartCommand::temporaryFolderVariable()
{
    QFETCH(QStringList, variables);
    QFETCH(QString, expected);

    QTemporaryDir runtime;
    QVERIFY(QFile::setPermissions(runtime.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                          | QFileDevice::ExeOwner));
    ScopedVariable runtimeDir("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    TempVariablesCleared cleared;
    for (const QString &variable : std::as_const(variables)) {
        const qsizetype equals = variable.indexOf(QLatin1Char('='));
        qputenv(variable.left(equals).toLocal8Bit().constData(), variable.mid(equals + 1).toLocal8Bit());
    }

    if (expected == QLatin1String("private"))
        expected = runtime.path() + QStringLiteral("/quintarra");
    QCOMPARE(TemporaryFolder(), expected);
    QCOMPARE(TemporaryFilePath(QStringLiteral("temp.bmp")), expected + QStringLiteral("/temp.bmp"));
}

// Without TEMP the whole command works in a folder only this user can enter.
void TestChartCommand::privateFolderWithoutTemp()
{
    Click click(2);
    QTemporaryDir shared;
    ScopedVariable tmpdir("TMPDIR", QFile::encodeName(shared.path()));
    ScopedVariable runtimeDir("XDG_RUNTIME_DIR", QByteArray());
    TempVariablesCleared cleared;

    click.run();

    const QString folder = shared.path() + QStringLiteral("/quintarra-") + QString::number(::geteuid());
    QVERIFY(click.prompts.shown.isEmpty());
    QCOMPARE(QFileInfo(click.host.workbook).absolutePath(), folder);
    QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList{QFileInfo(click.host.workbook).fileName()});
    struct stat info {};
    QCOMPARE(::lstat(QFile::encodeName(folder).constData(), &info), 0);
    QVERIFY(S_ISDIR(info.st_mode));
    QCOMPARE(info.st_uid, ::geteuid());
    QCOMPARE(info.st_mode & 07777, mode_t(0700));
}

void TestChartCommand::privateFolderChecks_data()
{
    QTest::addColumn<QString>("planted");   // what already lies at runtime/quintarra
    QTest::addColumn<int>("runtimeMode");
    QTest::addColumn<QString>("outcome");   // "runtime", "fallback" or "refused"

    QTest::newRow("nothing yet") << "" << 0700 << "runtime";
    QTest::newRow("own folder, open to others: narrowed") << "folder 0777" << 0700 << "runtime";
    QTest::newRow("link to another folder") << "link" << 0700 << "refused";
    QTest::newRow("a file in the way") << "file" << 0700 << "refused";
    QTest::newRow("runtime folder open to others") << "" << 0755 << "fallback";
}

void TestChartCommand::privateFolderChecks()
{
    QFETCH(QString, planted);
    QFETCH(int, runtimeMode);
    QFETCH(QString, outcome);

    QTemporaryDir root;
    const QString runtime = root.filePath(QStringLiteral("runtime"));
    const QString shared = root.filePath(QStringLiteral("shared"));
    QVERIFY(QDir().mkpath(runtime));
    QVERIFY(QDir().mkpath(shared));
    const QString target = runtime + QStringLiteral("/quintarra");
    if (planted == QLatin1String("folder 0777")) {
        QVERIFY(QDir().mkdir(target));
        QCOMPARE(::chmod(QFile::encodeName(target).constData(), 0777), 0);
    } else if (planted == QLatin1String("link")) {
        QVERIFY(QFile::link(shared, target));
    } else if (planted == QLatin1String("file")) {
        QFile file(target);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    QCOMPARE(::chmod(QFile::encodeName(runtime).constData(), mode_t(runtimeMode)), 0);
    ScopedVariable runtimeDir("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
    ScopedVariable tmpdir("TMPDIR", QFile::encodeName(shared));

    QString folder;
    try {
        folder = PrivateTemporaryFolder();
    } catch (const Failure &failure) {
        QCOMPARE(outcome, QStringLiteral("refused"));
        QVERIFY(failure.description().contains(target));
        QVERIFY(QDir(shared).isEmpty());
        return;
    }
    QVERIFY2(outcome != QLatin1String("refused"), qPrintable(folder));
    QCOMPARE(folder, outcome == QLatin1String("runtime")
                     ? target
                     : shared + QStringLiteral("/quintarra-") + QString::number(::geteuid()));
    struct stat info {};
    QCOMPARE(::lstat(QFile::encodeName(folder).constData(), &info), 0);
    QVERIFY(S_ISDIR(info.st_mode));
    QCOMPARE(info.st_mode & 07777, mode_t(0700));
}

void TestChartCommand::cancelled_data()
{
    QTest::addColumn<QString>("blocked");   // the engine's call that takes long
    QTest::addColumn<QString>("how");
    QTest::newRow("opening the template, Cancel") << "open" << "Cancel";
    QTest::newRow("saving, Escape") << "saveAs" << "Escape";
    QTest::newRow("drawing the picture, the session ends") << "usedRangePictureDroppingDrawings" << "session";
}

// A long step of the engine: the windows' thread goes on meanwhile (its timers
// fire, the progress dialog comes), and a cancel ends the run at once, as a
// run that cannot go on ends and without a report: no instance, no file, the
// pointer back, no preview.
void TestChartCommand::cancelled()
{
    QFETCH(QString, blocked);
    QFETCH(QString, how);
    Click click;
    click.server.blockedCall = blocked;
    int ticks = 0;
    int ticksBeforeDialog = -1;
    QElapsedTimer sinceCancel;
    QTimer poll;
    connect(&poll, &QTimer::timeout, [&] {
        ++ticks;
        QProgressDialog *dialog = progressDialog();
        if (sinceCancel.isValid() || !dialog || !dialog->isVisible())
            return;
        ticksBeforeDialog = ticks;
        sinceCancel.start();
        if (how == "Escape")
            QTest::keyClick(dialog, Qt::Key_Escape);
        else if (how == "Cancel")
            QTest::mouseClick(dialog->findChild<QPushButton *>(), Qt::LeftButton);
        else
            ProgressJob::cancelRunning();
    });
    poll.start(10);
    click.run();
    const qint64 ended = sinceCancel.isValid() ? sinceCancel.elapsed() : -1;

    QVERIFY2(ticksBeforeDialog > 0, "no progress dialog while the engine worked");
    QVERIFY2(ended < 1000, qPrintable(QString::number(ended)));
    QVERIFY(!progressDialog());
    QCOMPARE(click.prompts.shown.size(), 0);
    QCOMPARE(click.tempFiles(), QStringList{});
    QCOMPARE(click.server.liveInstances, 0);
    QCOMPARE(click.host.pointers.last(), qint16(0));
    QVERIFY(!click.host.previewShown && !click.host.mainHidden);
    QCOMPARE(click.stored(), kNotStored);
}

// A report between two long steps: the progress dialog makes way for it,
// and the run goes on to the preview.
void TestChartCommand::reportOverProgress()
{
    struct Prompts : ScriptedPrompts {
        QList<bool> progressShown;
        MsgAnswer message(const QString &text, MsgButtons buttons, MsgIcon icon, const QString &title) override
        {
            progressShown.append(progressDialog() && progressDialog()->isVisible());
            return ScriptedPrompts::message(text, buttons, icon, title);
        }
    } prompts;
    Click click;
    click.server.blockedCall = QStringLiteral("saveAs");
    click.server.failCall(QStringLiteral("setDisplayAlerts"), 1);
    bool progressBefore = false;
    QTimer poll;
    connect(&poll, &QTimer::timeout, [&] {
        if (!progressBefore && progressDialog() && progressDialog()->isVisible()) {
            progressBefore = true;
            click.server.releaseBlockedCall();
        }
    });
    poll.start(10);
    ChartCommand command(prompts, click.server);
    command.setJobMaker(click.jobMaker);
    command.run(click.host);

    QVERIFY(progressBefore);
    QCOMPARE(reportedSteps(prompts.errorReports()), QList<int>{166});
    QCOMPARE(prompts.progressShown, QList<bool>{false});
    QVERIFY(click.host.previewShown);
    QVERIFY(!progressDialog());
}

QTEST_MAIN(TestChartCommand)
#include "tst_chartcommand.moc"
