// Reading a list back from workbooks, on the real engine.
#include "fakecharthost.h"
#include "isolatedenvironment.h"
#include "scriptedprompts.h"
#include "testfiles.h"

#include "chart/chartcommand.h"
#include "chart/workbookrows.h"
#include "entries/delimitedtext.h"
#include "entries/entrylistview.h"
#include "entries/incomingrows.h"
#include "entries/listactions.h"
#include "libreoffice/libreofficeserver.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUndoStack>

#include <sys/inotify.h>
#include <unistd.h>

namespace {
const QLocale kUnitedStates(QLocale::English, QLocale::UnitedStates);

const EntryList kList{{"Savings", "25000"}, {"401k", "55000.5"}, {"Smith, John", "-3"},
                      {"Grüße € \"quoted\"", "0.25"}, {"two\nlines", "1E+20"}, {"  blanks  ", "7"}};

QStringList shown(const EntryList &entries)
{
    QStringList out;
    for (const Entry &e : entries)
        out << (e.label + u'=' + e.amount).toUtf8().toPercentEncoding(" =,\"").constData();
    return out;
}

// Converts with Gnumeric, an office suite other than the engine.
void convert(const QString &from, const QString &to)
{
    QProcess ssconvert;
    ssconvert.start(QStringLiteral("ssconvert"), {from, to});
    QVERIFY(ssconvert.waitForFinished(300000));
    QVERIFY2(ssconvert.exitCode() == 0 && QFileInfo::exists(to), ssconvert.readAllStandardError().constData());
}

// The rows as an import adds them; every row of the list must come, and nothing else.
EntryList readBack(LibreOfficeServer &server, const QString &path)
{
    const IncomingRows rows(ReadWorkbookRows(server, path, kUnitedStates), kMaxEntries, kUnitedStates);
    if (!rows.report().isEmpty())
        return {{QStringLiteral("skipped"), rows.report()}};
    return rows.accepted();
}

// The most memory the process has held at once since the last reset, in kB.
qint64 peakMemoryKb(bool reset)
{
    if (reset)
        WriteFileBytes(QStringLiteral("/proc/self/clear_refs"), "5");
    const QString status = QString::fromLatin1(ReadFileBytes(QStringLiteral("/proc/self/status")));
    return QRegularExpression(QStringLiteral("VmHWM:\\s*(\\d+)")).match(status).captured(1).toLongLong();
}

// The names of the files made in a folder while it is watched.
class CreatedFiles
{
public:
    explicit CreatedFiles(const QString &folder) : mFd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
    {
        inotify_add_watch(mFd, QFile::encodeName(folder).constData(), IN_CREATE | IN_MOVED_TO);
    }
    ~CreatedFiles() { ::close(mFd); }
    QStringList names() const
    {
        QStringList names;
        alignas(inotify_event) char buffer[8192];
        for (ssize_t got; (got = ::read(mFd, buffer, sizeof buffer)) > 0;) {
            for (char *at = buffer; at < buffer + got;) {
                const auto *event = reinterpret_cast<const inotify_event *>(at);
                if (event->len > 0)
                    names.append(QFile::decodeName(event->name));
                at += sizeof(inotify_event) + event->len;
            }
        }
        return names;
    }

private:
    int mFd;
};
} // namespace

class TestWorkbookRows : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void chartWorkbookGivesBackItsList_data();
    void chartWorkbookGivesBackItsList();
    void longestList();
    void firstSheetWhateverIsActive_data();
    void firstSheetWhateverIsActive();
    void damagedWorkbookChangesNothing();
    void sheetToItsLastRow();

private:
    IsolatedEnvironment mEnv;
    QTemporaryDir mDir;
    LibreOfficeServer mServer;
};

void TestWorkbookRows::initTestCase()
{
    if (QStandardPaths::findExecutable(QStringLiteral("ssconvert")).isEmpty())
        QSKIP("Gnumeric's ssconvert is not installed");
    mServer.setTypingLocale(kUnitedStates);
    QStringList trail;
    FakeChartHost host(&trail);
    host.entries = kList;
    ScriptedPrompts prompts;
    ChartCommand(prompts, mServer).run(host);
    QVERIFY2(prompts.errorReports().isEmpty(), qPrintable(prompts.errorReports().join(u'\n')));
    QVERIFY(QFile::copy(host.workbook, mDir.filePath("list.xls")));
    convert(mDir.filePath("list.xls"), mDir.filePath("list.xlsx"));
    convert(mDir.filePath("list.xls"), mDir.filePath("list.ods"));
}

void TestWorkbookRows::chartWorkbookGivesBackItsList_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<EntryList>("expected");
    QTest::newRow("xls the program saved") << "list.xls" << kList;
    QTest::newRow("as xlsx") << "list.xlsx" << kList;
    // Gnumeric writes the line break inside the cell's paragraph, and
    // LibreOffice reads that as nothing (its own conversion to CSV does too).
    EntryList ods = kList;
    ods[4].label = QStringLiteral("twolines");
    QTest::newRow("as ods") << "list.ods" << ods;
}

void TestWorkbookRows::chartWorkbookGivesBackItsList()
{
    QFETCH(QString, name);
    QFETCH(EntryList, expected);
    QCOMPARE(shown(readBack(mServer, mDir.filePath(name))), shown(expected));
}

void TestWorkbookRows::longestList()
{
    QList<QStringList> table{{"Label", "Amount"}};
    EntryList expected;
    for (int i = 1; i <= kMaxEntries; ++i) {
        table.append({QStringLiteral("Asset %1").arg(i), QString::number(i * 3)});
        expected.append({table.last()[0], table.last()[1]});
    }
    WriteFileBytes(mDir.filePath("long.csv"), DelimitedText::toCsv(table).toUtf8());
    convert(mDir.filePath("long.csv"), mDir.filePath("long.xlsx"));
    QElapsedTimer timer;
    timer.start();
    const EntryList read = readBack(mServer, mDir.filePath("long.xlsx"));
    qInfo("reading %lld rows from a workbook took %lld ms", qint64(read.size()), timer.elapsed());
    QCOMPARE(read, expected);
}

void TestWorkbookRows::firstSheetWhateverIsActive_data()
{
    QTest::addColumn<QString>("type");
    QTest::newRow("xlsx") << "xlsx";
    QTest::newRow("ods") << "ods";
}

// A workbook saved with its second sheet in front still gives the first sheet's rows.
void TestWorkbookRows::firstSheetWhateverIsActive()
{
    QFETCH(QString, type);
    WriteFileBytes(mDir.filePath("first.csv"), "Label,Amount\nSavings,100\n");
    WriteFileBytes(mDir.filePath("second.csv"), "Label,Amount\nBoat,7\n");
    QProcess merge;
    merge.start(QStringLiteral("ssconvert"), {QStringLiteral("--merge-to=") + mDir.filePath("both.gnumeric"),
                                               mDir.filePath("first.csv"), mDir.filePath("second.csv")});
    QVERIFY(merge.waitForFinished(300000));
    QCOMPARE(merge.exitCode(), 0);
    // Gnumeric keeps which sheet is in front as the workbook's selected tab.
    QProcess unpack;
    unpack.start(QStringLiteral("gzip"), {QStringLiteral("-dc"), mDir.filePath("both.gnumeric")});
    QVERIFY(unpack.waitForFinished(60000));
    const QByteArray gnumeric = unpack.readAllStandardOutput().replace("SelectedTab=\"0\"", "SelectedTab=\"1\"");
    QVERIFY(gnumeric.contains("SelectedTab=\"1\""));
    WriteFileBytes(mDir.filePath("front.gnumeric"), gnumeric);
    convert(mDir.filePath("front.gnumeric"), mDir.filePath("front.") + type);
    QCOMPARE(shown(readBack(mServer, mDir.filePath("front.") + type)), shown({{"Savings", "100"}}));
}

void TestWorkbookRows::damagedWorkbookChangesNothing()
{
    QByteArray bytes = ReadFileBytes(mDir.filePath("list.xlsx"));
    bytes.truncate(bytes.size() / 2);
    WriteFileBytes(mDir.filePath("damaged.xlsx"), bytes);
    ScriptedPrompts prompts;
    EntryListView list;
    list.appendEntries({{"Car", "1"}});
    ListActions actions(prompts, list);
    actions.setWorkbookReader([this](const QString &path) { return ReadWorkbookRows(mServer, path); });
    actions.importFile(mDir.filePath("damaged.xlsx"));
    QCOMPARE(list.entries(), (EntryList{{"Car", "1"}}));
    QCOMPARE(list.undoStack()->count(), 0);
    QCOMPARE(prompts.shown.size(), 1);
    QVERIFY2(prompts.shown[0].text.startsWith("The file " + mDir.filePath("damaged.xlsx") + " could not be imported.\r\n"),
             qPrintable(prompts.shown[0].text));
}

// A sheet used down to its last row is read only as far as a list goes, in
// memory that does not grow with the sheet, and nothing is made beside it.
void TestWorkbookRows::sheetToItsLastRow()
{
    QVERIFY(QDir(mDir.path()).mkpath("far"));
    const QString far = mDir.filePath("far/far.xlsx");
    WriteFileBytes(mDir.filePath("near.csv"), "Label,Amount\nSavings,100\n");
    {
        const auto app = mServer.create();
        const auto book = app->workbooks().open(mDir.filePath("near.csv"));
        book->activeSheet()->setCellText(1048576, 1, QStringLiteral("far"));
        book->saveAs(far);
        app->quit();
    }
    const CreatedFiles beside(mDir.filePath("far"));
    const qint64 before = peakMemoryKb(true);
    QElapsedTimer timer;
    timer.start();
    const ReadTable table = ReadWorkbookRows(mServer, far, kUnitedStates);
    const qint64 grown = peakMemoryKb(false) - before;
    qInfo("a sheet of 1,048,576 rows: read in %lld ms, the peak grew by %lld kB", timer.elapsed(), grown);
    QCOMPARE(table.rows.size(), kMostRowsRead);
    const IncomingRows rows(table, kMaxEntries, kUnitedStates);
    QCOMPARE(rows.accepted(), (EntryList{{"Savings", "100"}}));
    QVERIFY2(rows.report().endsWith("\r\nThe rows after row 32,767 were not read: the list holds at most 32,766 rows."),
             qPrintable(rows.report()));
    QVERIFY2(grown < 64 * 1024, qPrintable(QString::number(grown)));
    QCOMPARE(beside.names(), QStringList());
}

QTEST_MAIN(TestWorkbookRows)
#include "tst_workbookrows.moc"
