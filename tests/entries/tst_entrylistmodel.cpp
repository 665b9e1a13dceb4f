#include "entries/entrycodec.h"
#include "entries/entrylistmodel.h"
#include "entries/entrylistview.h"
#include "entries/incomingrows.h"
#include "entries/listactions.h"
#include "entries/listcommands.h"
#include "entries/sampleentries.h"
#include "entryrows.h"
#include "isolatedenvironment.h"
#include "scriptedprompts.h"
#include "ground/settingsstore.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>
#include <QUndoStack>

namespace {
const QString kNotStored = QStringLiteral("<not stored>");

QString storedText()
{
    return GetSetting(kSettingsApp, kSettingsSection, kAssetsKey, kNotStored);
}

// The list as the main window has it: loaded, then stored at each change.
struct Setup {
    Setup()
    {
        model.appendEntries({{"Savings", "1"}, {"Car", "2"}, {"House", "3"}});
        model.storeEachChange(prompts);
    }
    IsolatedEnvironment env;
    ScriptedPrompts prompts;
    EntryListModel model;
    EntryListView list{model};
    ListCommands commands{prompts, list};
    ListActions actions{prompts, list};
};

// The configuration folder turned into a file, and back: no store can be made meanwhile.
void blockConfigFolder(const IsolatedEnvironment &env, bool blocked)
{
    const QString folder = env.configFolder();
    QDir(folder).removeRecursively();
    QFile::remove(folder);
    if (blocked) {
        QFile file(folder);
        QVERIFY(file.open(QIODevice::WriteOnly));
    } else {
        QVERIFY(QDir().mkpath(folder));
    }
}
} // namespace

class TestEntryListModel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void eachChangeIsStoredOnce_data();
    void eachChangeIsStoredOnce();
    void failedStoreIsToldOnceAndTriedAgain();
    void undoAndRedoThroughManySteps();
};

void TestEntryListModel::eachChangeIsStoredOnce_data()
{
    QTest::addColumn<QString>("change");
    QTest::newRow("add") << "add";
    QTest::newRow("delete") << "delete";
    QTest::newRow("edit") << "edit";
    QTest::newRow("clear") << "clear";
    QTest::newRow("sample") << "sample";
    QTest::newRow("undo") << "undo";
    QTest::newRow("redo") << "redo";
    QTest::newRow("paste of the longest list") << "paste";
}

// Stored at the end of the turn that made the change, however many rows it changed.
void TestEntryListModel::eachChangeIsStoredOnce()
{
    QFETCH(QString, change);
    Setup s;
    QSignalSpy stores(&s.model, &EntryListModel::stored);
    QCoreApplication::processEvents();
    QCOMPARE(storedText(), kNotStored);   // loading is no change
    s.list.setCurrentRow(1);
    if (change == "undo" || change == "redo") {
        s.commands.clear();
        QTRY_COMPARE(stores.size(), 1);
        s.model.undoStack()->undo();
        if (change == "redo") {
            QTRY_COMPARE(stores.size(), 2);
            s.model.undoStack()->redo();
        }
    } else if (change == "paste") {
        QString text;
        for (int i = 1; i <= kMaxEntries - 3; ++i)
            text += QStringLiteral("Asset %1\t%2\n").arg(i).arg(i * 3);
        QApplication::clipboard()->setText(text);
        s.actions.pasteRows();
        QCOMPARE(s.model.rowCount(), kMaxEntries);
    } else {
        s.prompts.answerInput(QStringLiteral("Boat"));
        s.prompts.answerInput(QStringLiteral("4"));
        const QHash<QString, void (ListCommands::*)()> run{
                {"add", &ListCommands::addNew}, {"delete", &ListCommands::deleteSelected},
                {"edit", &ListCommands::editSelected}, {"clear", &ListCommands::clear},
                {"sample", &ListCommands::loadSample}};
        (s.commands.*run.value(change))();
    }
    const int before = int(stores.size());
    QVERIFY(storedText() != EncodeEntryList(s.model.entries()));
    QTRY_COMPARE(storedText(), EncodeEntryList(s.model.entries()));
    QCOMPARE(stores.size(), before + 1);
    QCoreApplication::processEvents();
    QCOMPARE(stores.size(), before + 1);
}

void TestEntryListModel::failedStoreIsToldOnceAndTriedAgain()
{
    Setup s;
    blockConfigFolder(s.env, true);
    s.commands.clear();
    QTRY_COMPARE(s.prompts.shown.size(), 1);
    QVERIFY(s.prompts.shown[0].text.startsWith(QStringLiteral("Your list could not be saved.\r\n")));
    QCOMPARE(s.prompts.shown[0].icon, MsgIcon::Warning);
    s.commands.loadSample();
    QSignalSpy stores(&s.model, &EntryListModel::stored);
    s.model.undoStack()->undo();
    QCoreApplication::processEvents();
    QCOMPARE(s.prompts.shown.size(), 1);

    blockConfigFolder(s.env, false);
    s.model.undoStack()->redo();
    QTRY_COMPARE(stores.size(), 1);
    QCOMPARE(storedText(), EncodeEntryList(SampleEntries()));
    QCOMPARE(s.prompts.shown.size(), 1);

    // Stored once since, a new failure is told again.
    blockConfigFolder(s.env, true);
    s.commands.clear();
    QTRY_COMPARE(s.prompts.shown.size(), 2);
}

// Each step undone brings back the list as it was before it, row for row;
// each redone, the list after it.
void TestEntryListModel::undoAndRedoThroughManySteps()
{
    Setup s;
    QList<QStringList> states{EntryRows(s.model)};
    const auto step = [&](auto &&change) {
        change();
        states.append(EntryRows(s.model));
    };
    step([&] {
        s.prompts.answerInput("Boat");
        s.prompts.answerInput("4");
        s.commands.addNew();
    });
    step([&] { s.list.setCurrentRow(0); s.commands.deleteSelected(); });
    step([&] {
        s.list.setCurrentRow(2);
        s.prompts.answerInput("Van");
        s.prompts.answerInput("9");
        s.commands.editSelected();
    });
    step([&] {
        QApplication::clipboard()->setText("Bike\t5\nKayak\t6\n");
        s.actions.pasteRows();
    });
    step([&] { s.list.setCurrentRow(1); s.commands.deleteSelected(); });
    step([&] { s.commands.loadSample(); });
    step([&] { s.commands.clear(); });
    QUndoStack &stack = *s.model.undoStack();
    QCOMPARE(stack.count(), states.size() - 1);
    for (qsizetype i = states.size() - 2; i >= 0; --i) {
        stack.undo();
        QCOMPARE(EntryRows(s.model), states[i]);
    }
    for (qsizetype i = 1; i < states.size(); ++i) {
        stack.redo();
        QCOMPARE(EntryRows(s.model), states[i]);
    }
    QVERIFY(s.prompts.errorReports().isEmpty());
}

QTEST_MAIN(TestEntryListModel)
#include "tst_entrylistmodel.moc"
