#include "entries/entrycodec.h"
#include "entries/entrylistview.h"
#include "entries/incomingrows.h"
#include "entries/listactions.h"
#include "entries/listcommands.h"
#include "entryrows.h"
#include "ground/jobcancelled.h"
#include "scriptedprompts.h"
#include "testfiles.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMimeData>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QUndoStack>

using Kind = ScriptedPrompts::Kind;

namespace {
// The list with its actions, as the main window has it.
struct Setup {
    Setup() : actions(prompts, list) { list.appendEntries({{"Savings", "25000"}, {"Car", "7500"}}); }
    ScriptedPrompts prompts;
    EntryListView list;
    ListActions actions;
    QUndoStack &stack() { return *list.undoStack(); }
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
    QCOMPARE(EntryRows(s.list), (QStringList{"Savings=25000", "Car=7500"}));
    QCOMPARE(s.actions.redoAction()->text(), QStringLiteral("Redo Clear List"));
}

void TestListActions::pasteIsOneStepWithOneMessage()
{
    Setup s;
    QApplication::clipboard()->setText(QStringLiteral("Label\tAmount\r\nBoat\t3\r\nBike\tabc\r\n\"Van, red\"\t4\r\n"));
    s.actions.pasteAction()->trigger();
    QCOMPARE(EntryRows(s.list), (QStringList{"Savings=25000", "Car=7500", "Boat=3", "Van, red=4"}));
    QCOMPARE(s.prompts.shown.size(), 1);
    QCOMPARE(s.prompts.shown[0].text,
             QStringLiteral("2 rows were added; 1 row was skipped:\r\nrow 3: its amount is not a number"));
    QCOMPARE(s.stack().count(), 1);
    QCOMPARE(s.stack().undoText(), QStringLiteral("Paste Rows"));
    s.stack().undo();
    QCOMPARE(EntryRows(s.list), (QStringList{"Savings=25000", "Car=7500"}));

    QApplication::clipboard()->setText(QStringLiteral("Bike,5\n"));
    s.actions.pasteAction()->trigger();
    QCOMPARE(EntryRows(s.list), (QStringList{"Savings=25000", "Car=7500", "Bike=5"}));
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
    QCOMPARE(s.list.rowCount(), kMaxEntries);
    QCOMPARE(s.list.entryAt(kMaxEntries), (Entry{"Asset 32766", "98298"}));
    QCOMPARE(s.prompts.shown.size(), 1);
    QVERIFY(s.prompts.shown[0].text.startsWith(u"32,766 rows were added; 1 row was skipped:\r\nrow 32,767: "));
}

void TestListActions::exportReadsBackInPythonAndImportsBack()
{
    QTemporaryDir dir;
    Setup s;
    ListCommands(s.prompts, s.list).clear();
    s.list.appendEntries(kAwkward);
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
    QCOMPARE(back.list.entries(), kAwkward);
    QCOMPARE(EncodeEntryList(back.list.entries()), EncodeEntryList(kAwkward));
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

void TestListActions::unreadableImportChangesNothing_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("missing") << "missing.csv";
    QTest::newRow("folder") << "folder.csv";
}

void TestListActions::unreadableImportChangesNothing()
{
    QFETCH(QString, name);
    QTemporaryDir dir;
    QDir(dir.path()).mkdir("folder.csv");
    Setup s;
    s.actions.importFile(dir.filePath(name));
    QCOMPARE(EntryRows(s.list), (QStringList{"Savings=25000", "Car=7500"}));
    QCOMPARE(s.stack().count(), 0);
    QCOMPARE(s.prompts.shown.size(), 1);
    QVERIFY(s.prompts.shown[0].text.startsWith("The file " + dir.filePath(name) + " could not be imported.\r\n"));
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
    QCOMPARE(EntryRows(s.list), (QStringList{"Savings=25000", "Car=7500", "Boat=1,5", "Van=2"}));
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
    QCOMPARE(EntryRows(s.list), (QStringList{"Savings=25000", "Car=7500", "Boat=3"}));
    QCOMPARE(s.stack().count(), 1);
    QCOMPARE(s.prompts.shown.size(), 1);
    QCOMPARE(s.prompts.shown[0].text, "1 row was added.\r\nThe rows after row 2 were not read: the list holds at "
                                      "most 32,766 rows.");
}

QTEST_MAIN(TestListActions)
#include "tst_listactions.moc"
