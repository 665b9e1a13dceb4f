#include "entries/entrycodec.h"
#include "entries/entrylistmodel.h"
#include "entries/entrylistview.h"
#include "entries/incomingrows.h"
#include "entries/listactions.h"
#include "entries/listcommands.h"
#include "entryrows.h"
#include "ground/jobcancelled.h"
#include "scriptedprompts.h"
#include "testfiles.h"
#include "unprivilegeduser.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMimeData>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QUndoStack>

#include <atomic>
#include <chrono>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using Kind = ScriptedPrompts::Kind;

namespace {
// The list with its actions, as the main window has it.
struct Setup {
    Setup() : actions(prompts, list) { model.appendEntries({{"Savings", "25000"}, {"Car", "7500"}}); }
    ScriptedPrompts prompts;
    EntryListModel model;
    EntryListView list{model};
    ListActions actions;
    QUndoStack &stack() { return *model.undoStack(); }
};

// Labels that a CSV file and the stored form must carry unharmed.
const EntryList kAwkward{{"Smith, John", "1,500"}, {"say \"hi\"", " 2 "}, {"two\r\nlines\nhere", "-3.5e2"},
                         {"semi;colon\ttab", "4"}, {"Grüße € 😀", "5"}, {" Label", "6"}};
} // namespace

class TestListActions : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void contextMenu();
    void pasteIsOneStepWithOneMessage();
    void pasteLongestList();
    void exportReadsBackInPythonAndImportsBack();
    void exportRefusedOrFailed();
    void exportOpensInLibreOfficeWithoutFormulas();
    void exportByRootInUsersHomeIsTheUsers();
    void unreadableImportChangesNothing_data();
    void unreadableImportChangesNothing();
    void dropFiles();
    void workbookCutShortOrCancelled();
};

void TestListActions::contextMenu()
{
    Setup s;
    QCOMPARE(s.list.contextMenuPolicy(), Qt::ActionsContextMenu);
    QStringList entries;
    for (const QAction *action : s.list.actions()) {
        if (action->isSeparator())
            continue;
        QVERIFY2(!action->shortcut().isEmpty() && action->isShortcutVisibleInContextMenu(),
                 qPrintable(action->text()));
        entries << action->text();
    }
    QCOMPARE(entries, (QStringList{"Undo", "Redo", "Paste Rows", "Import Rows…", "Export List As CSV…"}));
    QCOMPARE(s.actions.redoAction()->shortcuts(),
             (QList<QKeySequence>{QKeySequence("Ctrl+Shift+Z"), QKeySequence("Ctrl+Y")}));
    QVERIFY(!s.actions.undoAction()->isEnabled());
    ListCommands(s.prompts, s.list).clear();
    QCOMPARE(s.actions.undoAction()->text(), QStringLiteral("Undo Clear List"));
    s.actions.undoAction()->trigger();
    QCOMPARE(EntryRows(s.model), (QStringList{"Savings=25000", "Car=7500"}));
    QCOMPARE(s.actions.redoAction()->text(), QStringLiteral("Redo Clear List"));
}

void TestListActions::pasteIsOneStepWithOneMessage()
{
    Setup s;
    QApplication::clipboard()->setText(QStringLiteral("Label\tAmount\r\nBoat\t3\r\nBike\tabc\r\n\"Van, red\"\t4\r\n"));
    s.actions.pasteAction()->trigger();
    QCOMPARE(EntryRows(s.model), (QStringList{"Savings=25000", "Car=7500", "Boat=3", "Van, red=4"}));
    QCOMPARE(s.prompts.shown.size(), 1);
    QCOMPARE(s.prompts.shown[0].text,
             QStringLiteral("2 rows were added; 1 row was skipped:\r\nrow 3: its amount is not a number"));
    QCOMPARE(s.stack().count(), 1);
    QCOMPARE(s.stack().undoText(), QStringLiteral("Paste Rows"));
    s.stack().undo();
    QCOMPARE(EntryRows(s.model), (QStringList{"Savings=25000", "Car=7500"}));

    QApplication::clipboard()->setText(QStringLiteral("Bike,5\n"));
    s.actions.pasteAction()->trigger();
    QCOMPARE(EntryRows(s.model), (QStringList{"Savings=25000", "Car=7500", "Bike=5"}));
    QCOMPARE(s.prompts.shown.size(), 1);   // all added: nothing said
}

void TestListActions::pasteLongestList()
{
    Setup s;
    ListCommands(s.prompts, s.list).clear();
    QString text;
    for (int i = 1; i <= kMaxEntries + 1; ++i)
        text += QStringLiteral("Asset %1\t%2\n").arg(i).arg(i * 3);
    QApplication::clipboard()->setText(text);
    QElapsedTimer timer;
    timer.start();
    s.actions.pasteAction()->trigger();
    qInfo("pasting %lld rows took %lld ms", qint64(kMaxEntries) + 1, timer.elapsed());
    QCOMPARE(s.model.rowCount(), kMaxEntries);
    QCOMPARE(s.model.entryAt(kMaxEntries), (Entry{"Asset 32766", "98298"}));
    QCOMPARE(s.prompts.shown.size(), 1);
    QVERIFY(s.prompts.shown[0].text.startsWith(u"32,766 rows were added; 1 row was skipped:\r\nrow 32,767: "));
}

void TestListActions::exportReadsBackInPythonAndImportsBack()
{
    QTemporaryDir dir;
    Setup s;
    ListCommands(s.prompts, s.list).clear();
    s.model.appendEntries(kAwkward);
    const QString path = dir.filePath("list");   // no suffix: one is added
    s.prompts.answerSaveFile(path);
    s.actions.exportAction()->trigger();
    QCOMPARE(s.prompts.shown.last().kind, Kind::SaveFile);
    const QString csv = path + ".csv";
    QVERIFY(QFileInfo::exists(csv));

    QProcess python;
    python.start(QStringLiteral("python3"),
                 {"-c", "import csv,sys,json\n"
                        "with open(sys.argv[1], newline='', encoding='utf-8') as f:\n"
                        "    print(json.dumps(list(csv.reader(f))))",
                  csv});
    QVERIFY(python.waitForFinished(60000));
    QCOMPARE(python.exitCode(), 0);
    QStringList read;
    for (const QVariant &row : QJsonDocument::fromJson(python.readAllStandardOutput()).array().toVariantList())
        read << row.toStringList().join(u'=');
    QStringList expected{"Label=Number (Value)"};
    for (const Entry &e : kAwkward)
        expected << e.label + u'=' + e.amount;
    QCOMPARE(read, expected);

    Setup back;
    ListCommands(back.prompts, back.list).clear();
    back.prompts.answerOpenFile(csv);
    back.actions.importAction()->trigger();
    QCOMPARE(back.model.entries(), kAwkward);
    QCOMPARE(EncodeEntryList(back.model.entries()), EncodeEntryList(kAwkward));
    QCOMPARE(back.prompts.shown.size(), 1);   // the open dialog only
    QCOMPARE(back.stack().undoText(), QStringLiteral("Import Rows"));
}

void TestListActions::exportRefusedOrFailed()
{
    QTemporaryDir dir;
    Setup s;
    const QString path = dir.filePath("old.csv");
    WriteFileBytes(path, "keep");
    s.prompts.answerSaveFile(path);
    s.prompts.answerMessage(MsgAnswer::No);
    s.actions.exportList();
    QCOMPARE(ReadFileBytes(path), QByteArray("keep"));
    QCOMPARE(s.prompts.shown.last().text, "Are you sure you wish to overwrite " + path + " ?");

    s.prompts.answerSaveFile(dir.filePath("no/such/folder/x.csv"));
    s.actions.exportList();
    QVERIFY(s.prompts.shown.last().text.startsWith("The list could not be exported to " + dir.filePath("no/such/folder/x.csv")));
    QCOMPARE(s.prompts.shown.last().icon, MsgIcon::Warning);
}

// LibreOffice opens the export and tells its formulas and column A.
const char *const kOpenInLibreOffice = R"(
import json, os, subprocess, sys, zipfile
import xml.etree.ElementTree as ET
csv, out = sys.argv[1:3]
subprocess.run(['soffice', '-env:UserInstallation=file://' + out + '/profile', '--headless',
                '--convert-to', 'ods', '--outdir', out, csv], check=True, capture_output=True)
content = zipfile.ZipFile(os.path.join(out, 'list.ods')).read('content.xml')
T = '{urn:oasis:names:tc:opendocument:xmlns:table:1.0}'
P = '{urn:oasis:names:tc:opendocument:xmlns:text:1.0}p'
cells = list(ET.fromstring(content).iter(T + 'table-cell'))
rows = ET.fromstring(content).iter(T + 'table-row')
print(json.dumps({'formulas': [c.get(T + 'formula') for c in cells if c.get(T + 'formula')],
                  'labels': ['\n'.join(''.join(p.itertext()) for p in r.find(T + 'table-cell').iter(P))
                             for r in rows]}))
)";

// Labels a spreadsheet would run as formulas if they were written as they are.
void TestListActions::exportOpensInLibreOfficeWithoutFormulas()
{
    const EntryList formulaLike{{"=1+1", "2"}, {"=HYPERLINK(\"http://example.com\";\"click\")", "3"},
                                {"+2+3", "4"}, {"-1+2", "-5"}, {"@SUM(1;2)", "6"}, {"\t=1+1", "7"},
                                {"\r=2+2", "8"}, {"'=made text", "9"}, {"Plain", "-10"}};
    QTemporaryDir dir;
    Setup s;
    ListCommands(s.prompts, s.list).clear();
    s.model.appendEntries(formulaLike);
    s.prompts.answerSaveFile(dir.filePath("list.csv"));
    s.actions.exportList();

    QProcess python;
    python.start(QStringLiteral("python3"), {"-c", kOpenInLibreOffice, dir.filePath("list.csv"), dir.path()});
    QVERIFY(python.waitForFinished(600000));
    QVERIFY2(python.exitCode() == 0, python.readAllStandardError().constData());
    const QJsonObject opened = QJsonDocument::fromJson(python.readAllStandardOutput()).object();
    QCOMPARE(opened["formulas"].toArray(), QJsonArray());
    const QStringList labels = opened["labels"].toVariant().toStringList();
    QCOMPARE(labels.size(), formulaLike.size() + 1);
    QVERIFY2(labels[1].endsWith("=1+1") && labels[2].endsWith("\"click\")"), qPrintable(labels.join(u'|')));

    Setup back;
    ListCommands(back.prompts, back.list).clear();
    back.actions.importFile(dir.filePath("list.csv"));
    QCOMPARE(back.model.entries(), formulaLike);
}

// Run by root with a user's home (sudo -E), the export there must be the user's.
void TestListActions::exportByRootInUsersHomeIsTheUsers()
{
    const UnprivilegedUser user;
    if (!user.available())
        QSKIP(qPrintable(user.why()));
    QTemporaryDir home;
    QVERIFY(user.give(home.path()));
    const QByteArray oldHome = qgetenv("HOME");
    qputenv("HOME", QFile::encodeName(home.path()));
    const auto restore = qScopeGuard([&] { qputenv("HOME", oldHome); });
    Setup s;
    s.prompts.answerSaveFile(home.filePath("list.csv"));
    s.actions.exportList();
    QVERIFY(QFileInfo::exists(home.filePath("list.csv")));
    QCOMPARE(user.notOwned(home.path()), QStringList());
}

void TestListActions::unreadableImportChangesNothing_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("reason");
    QTest::newRow("missing") << "missing.csv" << "No such file or directory.";
    QTest::newRow("folder") << "folder.csv" << "It is a folder, not a file.";
    QTest::newRow("named pipe") << "pipe.csv" << "It is a named pipe, not a file.";
    QTest::newRow("link to a device") << "zero.csv" << "It is a device, not a file.";
}

// Nothing but a regular file is read: a pipe would block the window for good,
// a device would be read until memory runs out.
void TestListActions::unreadableImportChangesNothing()
{
    QFETCH(QString, name);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    QDir(dir.path()).mkdir("folder.csv");
    QVERIFY(::mkfifo(QFile::encodeName(dir.filePath("pipe.csv")).constData(), 0600) == 0);
    QVERIFY(QFile::link("/dev/zero", dir.filePath("zero.csv")));
    Setup s;
    // A reader stuck on the pipe is set free, late, so that the test fails instead of hanging.
    std::atomic_bool imported = false;
    std::thread unblock([&] {
        for (int i = 0; i < 100 && !imported; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const int fd = ::open(QFile::encodeName(dir.filePath(name)).constData(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0)
            ::close(fd);
    });
    QElapsedTimer timer;
    timer.start();
    s.actions.importFile(dir.filePath(name));
    const qint64 took = timer.elapsed();
    imported = true;
    unblock.join();
    QVERIFY2(took < 1000, qPrintable(QString::number(took)));
    QCOMPARE(EntryRows(s.model), (QStringList{"Savings=25000", "Car=7500"}));
    QCOMPARE(s.stack().count(), 0);
    QCOMPARE(s.prompts.shown.size(), 1);
    QCOMPARE(s.prompts.shown[0].text, "The file " + dir.filePath(name) + " could not be imported.\r\n" + reason);
}

void TestListActions::dropFiles()
{
    QTemporaryDir dir;
    WriteFileBytes(dir.filePath("a.csv"), "Boat;1,5\r\n");   // semicolons: decimal commas
    WriteFileBytes(dir.filePath("b.txt"), "Label\tAmount\nVan\t\"2\"\n");
    Setup s;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(dir.filePath("a.csv")), QUrl::fromLocalFile(dir.filePath("b.txt"))});
    const QPoint at = s.list.viewport()->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(s.list.viewport(), &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(s.list.viewport(), &drop);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QVERIFY(drop.isAccepted());
    QCOMPARE(EntryRows(s.model), (QStringList{"Savings=25000", "Car=7500", "Boat=1,5", "Van=2"}));
    QCOMPARE(s.stack().count(), 2);
    QVERIFY(s.prompts.shown.isEmpty());
}

// A workbook read to the list's limit says where reading stopped; one the
// user cancels changes nothing, says nothing, and no file dropped after it is
// imported.
void TestListActions::workbookCutShortOrCancelled()
{
    QTemporaryDir dir;
    WriteFileBytes(dir.filePath("c.txt"), "Van,2\n");
    Setup s;
    s.actions.setWorkbookReader([](const QString &path) -> ReadTable {
        if (path.endsWith("cancelled.xlsx"))
            throw JobCancelled();
        return {{{"Label", "Amount"}, {"Boat", "3"}}, true};
    });
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(dir.filePath("long.ods")), QUrl::fromLocalFile(dir.filePath("cancelled.xlsx")),
                  QUrl::fromLocalFile(dir.filePath("c.txt"))});
    const QPoint at = s.list.viewport()->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(s.list.viewport(), &enter);
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(s.list.viewport(), &drop);
    QCOMPARE(EntryRows(s.model), (QStringList{"Savings=25000", "Car=7500", "Boat=3"}));
    QCOMPARE(s.stack().count(), 1);
    QCOMPARE(s.prompts.shown.size(), 1);
    QCOMPARE(s.prompts.shown[0].text, "1 row was added.\r\nThe rows after row 2 were not read: the list holds at "
                                      "most 32,766 rows.");
}

QTEST_MAIN(TestListActions)
#include "tst_listactions.moc"
