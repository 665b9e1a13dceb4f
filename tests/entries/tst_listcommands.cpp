#include "entries/entrylistmodel.h"
#include "entries/entrylistview.h"
#include "entries/listchange.h"
#include "entries/listcommands.h"
#include "entries/sampleentries.h"
#include "entryrows.h"
#include "ground/failure.h"
#include "scriptedprompts.h"

#include <QTest>
#include <QUndoStack>

using Kind = ScriptedPrompts::Kind;

namespace {
// The statement numbers the error reports name, in order.
QList<int> reportedLines(const ScriptedPrompts &prompts)
{
    QList<int> lines;
    for (const QString &report : prompts.errorReports()) {
        const qsizetype at = report.indexOf(QLatin1String(" at line "));
        lines << report.mid(at + 9, report.indexOf(QLatin1Char('\r'), at) - at - 9).toInt();
    }
    return lines;
}

// A list whose row steps fail, as an exhausted list would.
class FailingListModel : public EntryListModel
{
public:
    int appendRow(const QString &) override { throw Failure(QStringLiteral("Out of memory")); }
};

// Selects the row as a click does, or only selects it, leaving no current row.
void selectOnly(EntryListView &list, int row)
{
    list.selectionModel()->select(list.model()->index(row, 0),
                                  QItemSelectionModel::Select | QItemSelectionModel::Rows);
}
} // namespace

class TestListCommands : public QObject
{
    Q_OBJECT

private slots:
    void addNewAsksForLabelThenAmount();
    void addNewRefuses_data();
    void addNewRefuses();
    void addNewDialogFailures_data();
    void addNewDialogFailures();
    void addNewFailedAppendReportsBothStatements();
    void deleteSelected();
    void deleteWithoutSelectionReports102();
    void editShowsDefaultsAndRewritesInPlace();
    void editRefuses_data();
    void editRefuses();
    void editOkOkKeepsALongStoredLabel();
    void editWithoutSelectionReports102Only();
    void clearAndLoadSample();
    void loadSampleFailuresNameEachStatement();
    void undoAndRedo_data();
    void undoAndRedo();
};

void TestListCommands::addNewAsksForLabelThenAmount()
{
    ScriptedPrompts prompts;
    EntryListModel model;
    EntryListView list(model);
    model.appendEntries({{"Savings", "25000"}});
    list.setCurrentRow(0);
    ListCommands commands(prompts, list);
    prompts.answerInput(QStringLiteral("  "));
    prompts.answerInput(QStringLiteral("1,500"));
    commands.addNew();

    QCOMPARE(EntryRows(model), (QStringList{"Savings=25000", "  =1,500"}));
    QCOMPARE(prompts.shown.size(), 2);
    QCOMPARE(prompts.shown[0].text, QStringLiteral("Enter Asset Type:"));
    QCOMPARE(prompts.shown[0].title, QStringLiteral("Input Asset Type"));
    QCOMPARE(prompts.shown[0].defaultText, QString());
    QCOMPARE(prompts.shown[1].text, QStringLiteral("Enter Amount:"));
    QCOMPARE(prompts.shown[1].title, QStringLiteral("Input Amount"));
    QCOMPARE(prompts.shown[1].defaultText, QString());
    // The new row is not selected; the old selection stays.
    QCOMPARE(list.selectionModel()->selectedRows(), QModelIndexList{model.index(0, 0)});
}

void TestListCommands::addNewRefuses_data()
{
    QTest::addColumn<QStringList>("answers");
    QTest::newRow("cancel on label") << QStringList{""};
    QTest::newRow("label holds entry separator") << QStringList{"Car||SEP2||"};
    QTest::newRow("label holds label separator") << QStringList{"Car||SEP1||5"};
    QTest::newRow("cancel on amount") << QStringList{"Car", ""};
    QTest::newRow("amount abc") << QStringList{"Car", "abc"};
    QTest::newRow("amount with separator") << QStringList{"Car", "5||SEP2||"};
    QTest::newRow("label longer than a cell holds") << QStringList{QString(32768, 'x')};
}

void TestListCommands::addNewRefuses()
{
    QFETCH(QStringList, answers);
    ScriptedPrompts prompts;
    EntryListModel model;
    EntryListView list(model);
    model.appendEntries(SampleEntries());
    for (const QString &answer : answers)
        prompts.answerInput(answer);
    ListCommands(prompts, list).addNew();

    QCOMPARE(EntryRows(model), EntryRows(SampleEntries()));
    // Quietly: only the scripted input boxes, and every one of them was asked.
    QCOMPARE(prompts.shown.size(), answers.size());
    QVERIFY(prompts.allAnswered());
}

void TestListCommands::addNewDialogFailures_data()
{
    QTest::addColumn<bool>("labelFails");
    QTest::addColumn<int>("line");
    QTest::newRow("label box fails") << true << 100;
    QTest::newRow("amount box fails") << false << 104;
}

// A failed input box is reported, and its empty answer then stops the command.
void TestListCommands::addNewDialogFailures()
{
    QFETCH(bool, labelFails);
    QFETCH(int, line);
    ScriptedPrompts prompts;
    EntryListModel model;
    EntryListView list(model);
    if (labelFails) {
        prompts.failNext(Kind::Input, QStringLiteral("Out of string space"));
    } else {
        prompts.answerInput(QStringLiteral("Car"));
        prompts.failNext(Kind::Input, QStringLiteral("Out of string space"));
    }
    ListCommands(prompts, list).addNew();
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(reportedLines(prompts), QList<int>{line});
    QCOMPARE(prompts.errorReports().first(),
             QStringLiteral("Out of string space\r\nin Quintarra7/29/2014.Form1.PushButton2_Click at line %1\r\r"
                            "Please email screenshot of this message to support@marlowic.com").arg(line));
}

void TestListCommands::addNewFailedAppendReportsBothStatements()
{
    ScriptedPrompts prompts;
    FailingListModel model;
    EntryListView list(model);
    prompts.answerInput(QStringLiteral("Car"));
    prompts.answerInput(QStringLiteral("7500"));
    ListCommands(prompts, list).addNew();
    QCOMPARE(reportedLines(prompts), (QList<int>{108, 110}));
    QCOMPARE(model.rowCount(), 0);
}

void TestListCommands::deleteSelected()
{
    ScriptedPrompts prompts;
    EntryListModel model;
    EntryListView list(model);
    ListCommands commands(prompts, list);
    commands.deleteSelected();
    QVERIFY(prompts.shown.isEmpty());

    model.appendEntries(SampleEntries());
    selectOnly(list, 2);
    commands.deleteSelected();
    QCOMPARE(EntryRows(model), (QStringList{"Savings=25000", "401k=55000", "House=250000", "Bonds=11000", "Car=7500"}));
    QVERIFY(prompts.shown.isEmpty());
}

void TestListCommands::deleteWithoutSelectionReports102()
{
    ScriptedPrompts prompts;
    EntryListModel model;
    EntryListView list(model);
    model.appendEntries(SampleEntries());
    ListCommands(prompts, list).deleteSelected();
    QCOMPARE(reportedLines(prompts), QList<int>{102});
    QVERIFY(prompts.errorReports().first().contains(
            QStringLiteral("\r\nin Quintarra7/29/2014.Form1.PushButton3_Click at line 102\r\r")));
    QCOMPARE(model.rowCount(), 6);
}

void TestListCommands::editShowsDefaultsAndRewritesInPlace()
{
    ScriptedPrompts prompts;
    EntryListModel model;
    EntryListView list(model);
    model.appendEntries(SampleEntries());
    selectOnly(list, 1);
    prompts.answerInput(QStringLiteral("Pension"));
    prompts.answerInput(QStringLiteral(" 60,000 "));
    ListCommands(prompts, list).editSelected();

    QCOMPARE(prompts.shown.size(), 2);
    QCOMPARE(prompts.shown[0].text, QStringLiteral("Enter New Asset Type:"));
    QCOMPARE(prompts.shown[0].title, QStringLiteral("Input New Asset Type"));
    QCOMPARE(prompts.shown[0].defaultText, QStringLiteral("401k"));
    QCOMPARE(prompts.shown[1].text, QStringLiteral("Enter New Amount:"));
    QCOMPARE(prompts.shown[1].title, QStringLiteral("Input New Amount"));
    QCOMPARE(prompts.shown[1].defaultText, QStringLiteral("55000"));
    QCOMPARE(model.entryAt(2), (Entry{"Pension", " 60,000 "}));
    QCOMPARE(model.rowCount(), 6);
    QCOMPARE(model.entryAt(3).label, QStringLiteral("Stocks"));
}

void TestListCommands::editRefuses_data()
{
    QTest::addColumn<QStringList>("answers");
    QTest::newRow("cancel on label") << QStringList{""};
    QTest::newRow("separator in label") << QStringList{"a||SEP1||b"};
    QTest::newRow("cancel on amount keeps label too") << QStringList{"Pension", ""};
    QTest::newRow("amount not numeric") << QStringList{"Pension", "lots"};
}

void TestListCommands::editRefuses()
{
    QFETCH(QStringList, answers);
    ScriptedPrompts prompts;
    EntryListModel model;
    EntryListView list(model);
    model.appendEntries(SampleEntries());
    selectOnly(list, 1);
    for (const QString &answer : answers)
        prompts.answerInput(answer);
    ListCommands(prompts, list).editSelected();
    QCOMPARE(EntryRows(model), EntryRows(SampleEntries()));
    QCOMPARE(prompts.shown.size(), answers.size());
    QVERIFY(prompts.allAnswered());
}

void TestListCommands::editOkOkKeepsALongStoredLabel()
{
    // Too long for a cell, but stored before: the row stays as it is.
    const EntryList stored{{QString(100000, 'L'), "5"}};
    ScriptedPrompts prompts;
    EntryListModel model;
    EntryListView list(model);
    model.appendEntries(stored);
    selectOnly(list, 0);
    prompts.answerInput(stored[0].label);   // OK on the default: refused there, quietly
    ListCommands(prompts, list).editSelected();
    QCOMPARE(prompts.shown.size(), 1);
    QCOMPARE(prompts.shown.first().defaultText, stored[0].label);
    QCOMPARE(EntryRows(model), EntryRows(stored));
    QVERIFY(prompts.errorReports().isEmpty());
}

void TestListCommands::editWithoutSelectionReports102Only()
{
    ScriptedPrompts prompts;
    EntryListModel model;
    EntryListView list(model);
    ListCommands commands(prompts, list);
    commands.editSelected();
    QVERIFY(prompts.shown.isEmpty());

    model.appendEntries(SampleEntries());
    commands.editSelected();
    // The label box is never shown; its empty answer stops the command at 104.
    QCOMPARE(prompts.shown.size(), 1);
    QCOMPARE(reportedLines(prompts), QList<int>{102});
    QVERIFY(prompts.errorReports().first().contains(QStringLiteral("Form1.PushButton4_Click at line 102")));
    QCOMPARE(EntryRows(model), EntryRows(SampleEntries()));
}

void TestListCommands::clearAndLoadSample()
{
    ScriptedPrompts prompts;
    EntryListModel model;
    EntryListView list(model);
    ListCommands commands(prompts, list);
    model.appendEntries({{"Boat", "3"}, {"Savings", "1"}});
    commands.loadSample();
    QCOMPARE(EntryRows(model), EntryRows(SampleEntries()));
    commands.loadSample();
    QCOMPARE(EntryRows(model), EntryRows(SampleEntries()));
    commands.clear();
    QCOMPARE(model.rowCount(), 0);
    QVERIFY(prompts.shown.isEmpty());
}

void TestListCommands::loadSampleFailuresNameEachStatement()
{
    ScriptedPrompts prompts;
    FailingListModel model;
    EntryListView list(model);
    ListCommands(prompts, list).loadSample();
    QList<int> expected;
    for (int line = 102; line <= 124; line += 2)
        expected << line;
    QCOMPARE(reportedLines(prompts), expected);
    QVERIFY(prompts.errorReports().first().contains(QStringLiteral("Form1.PushButton7_Click at line 102")));
}

QTEST_MAIN(TestListCommands)
#include "tst_listcommands.moc"

void TestListCommands::undoAndRedo_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QStringList>("inputs");
    QTest::addColumn<QStringList>("after");
    const QStringList before{"Savings=1", "Car=2", "House=3"};
    QTest::newRow("add") << "Add New" << QStringList{"Boat", "1,500"} << before + QStringList{"Boat=1,500"};
    QTest::newRow("add refused") << "Add New" << QStringList{"Boat", "abc"} << before;
    QTest::newRow("delete") << "Delete Selected Entry" << QStringList() << QStringList{"Savings=1", "House=3"};
    QTest::newRow("edit") << "Edit Selected Entry" << QStringList{"Van", "9"}
                          << QStringList{"Savings=1", "Van=9", "House=3"};
    QTest::newRow("edit to itself") << "Edit Selected Entry" << QStringList{"Car", "2"} << before;
    QTest::newRow("clear") << "Clear List" << QStringList() << QStringList();
    QTest::newRow("sample") << "Load Sample/Example Data" << QStringList() << EntryRows(SampleEntries());
}

// Each change is one step, named by its button; a change that changed no row is none.
void TestListCommands::undoAndRedo()
{
    QFETCH(QString, command);
    QFETCH(QStringList, inputs);
    QFETCH(QStringList, after);
    ScriptedPrompts prompts;
    EntryListModel model;
    EntryListView list(model);
    model.appendEntries({{"Savings", "1"}, {"Car", "2"}, {"House", "3"}});
    list.setCurrentRow(1);
    const QStringList before = EntryRows(model);
    ListCommands commands(prompts, list);
    for (const QString &input : inputs)
        prompts.answerInput(input);
    const QHash<QString, void (ListCommands::*)()> run{
            {"Add New", &ListCommands::addNew}, {"Delete Selected Entry", &ListCommands::deleteSelected},
            {"Edit Selected Entry", &ListCommands::editSelected}, {"Clear List", &ListCommands::clear},
            {"Load Sample/Example Data", &ListCommands::loadSample}};
    (commands.*run.value(command))();
    QCOMPARE(EntryRows(model), after);
    QUndoStack &stack = *model.undoStack();
    if (after == before) {
        QCOMPARE(stack.count(), 0);
        return;
    }
    QCOMPARE(stack.undoText(), command);
    stack.undo();
    QCOMPARE(EntryRows(model), before);
    QCOMPARE(list.currentRow(), 1);
    stack.redo();
    QCOMPARE(EntryRows(model), after);
    stack.undo();
    QCOMPARE(EntryRows(model), before);
    QVERIFY(prompts.errorReports().isEmpty());
}
