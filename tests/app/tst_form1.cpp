#include "app/form1.h"
#include "designedlayout.h"
#include "entries/entrycodec.h"
#include "entries/entrylistmodel.h"
#include "entries/entrylistview.h"
#include "entries/sampleentries.h"
#include "entryrows.h"
#include "ground/settingsstore.h"
#include "isolatedenvironment.h"
#include "noserver.h"
#include "scriptedprompts.h"
#include "spreadsheet/spreadsheetserver.h"
#include "testfiles.h"
#include "widgets/formcolors.h"
#include "widgets/pushbutton.h"

#include <QApplication>
#include <QDir>
#include <QMouseEvent>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QHeaderView>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

using Kind = ScriptedPrompts::Kind;

namespace {
// One start of the program against the test's configuration folder.
struct Start {
    // Without a program folder of its own, the start gets an empty one: no skin, no cursor.
    explicit Start(ScriptedPrompts &prompts, const QString &programFolder = QString())
        : form(prompts, server,
               {programFolder.isEmpty() ? emptyFolder.path() : programFolder, [] { return 0.5; },
                launcher(), [this] { ++ended; }})
    {
    }
    DetachedLauncher launcher()
    {
        return [this](const QString &, const QStringList &) { ++launched; return true; };
    }
    QStringList rows() const { return EntryRows(form.ListView1->entryModel()); }

    QTemporaryDir emptyFolder;
    NoServer server;
    int launched = 0;
    int ended = 0;
    Form1 form;
};

// Makes a folder unwritable for this thread, also when the tests run as root
// (root passes permission bits, so the file-system user is switched too).
class UnwritableFolder
{
public:
    explicit UnwritableFolder(const QString &path) : mPath(path.toLocal8Bit())
    {
        ::chmod(mPath.constData(), 0500);
        if (::geteuid() == 0)
            ::setfsuid(65534);
    }
    ~UnwritableFolder()
    {
        if (::geteuid() == 0)
            ::setfsuid(0);
        ::chmod(mPath.constData(), 0700);
    }

private:
    QByteArray mPath;
};
} // namespace

class TestForm1 : public QObject
{
    Q_OBJECT

private slots:
    void layout_data();
    void layout();
    void window();
    void firstStartShowsSampleUnselected();
    void closeStoresEveryTimeAndEnds();
    void emptyListSurvivesRestart();
    void storedTextsSurviveRestart_data();
    void storedTextsSurviveRestart();
    void failedStoreIsReportedAndKeepsOldFile();
    void damagedSettingsFile_data();
    void damagedSettingsFile();
    void longestListLoads();
    void clearUndoneByKeyStoresTheOriginal();
    void changeStoredWithoutClosing();
    void help();
    void helpFailureReportsLine100();
    void commandsAreWired();
    void chartHost();
    void closingWithPreviewWorkbookDeletesIt();
    void clicksArrivingAfterHidingAreDropped();
    void hover_data();
    void hover();
    void shippedFilesBesideTheProgram();
};

void TestForm1::layout_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QRect>("geometry");   // pixels at 96 DPI
    QTest::newRow("ListView1") << "ListView1" << "" << DesignedPixels("Form1", "ListView1");
    QTest::newRow("PushButton1") << "PushButton1" << "Start Creating Template"
                                << DesignedPixels("Form1", "PushButton1");
    QTest::newRow("PushButton2") << "PushButton2" << "Add New" << DesignedPixels("Form1", "PushButton2");
    QTest::newRow("PushButton3") << "PushButton3" << "Delete Selected Entry"
                                << DesignedPixels("Form1", "PushButton3");
    QTest::newRow("PushButton4") << "PushButton4" << "Edit Selected Entry"
                                << DesignedPixels("Form1", "PushButton4");
    QTest::newRow("PushButton5") << "PushButton5" << "Clear List" << DesignedPixels("Form1", "PushButton5");
    QTest::newRow("PushButton6") << "PushButton6" << "Help" << DesignedPixels("Form1", "PushButton6");
    QTest::newRow("PushButton7") << "PushButton7" << "Load Sample/Example Data"
                                << DesignedPixels("Form1", "PushButton7");
}

void TestForm1::layout()
{
    QFETCH(QString, control);
    QFETCH(QString, caption);
    QFETCH(QRect, geometry);
    QCOMPARE(QGuiApplication::primaryScreen()->logicalDotsPerInchX(), 96.0);
    IsolatedEnvironment env;
    ScriptedPrompts prompts;
    Start start(prompts);
    Form1 &f = start.form;
    const QHash<QString, QWidget *> controls{
            {"ListView1", f.ListView1}, {"PushButton1", f.PushButton1}, {"PushButton2", f.PushButton2},
            {"PushButton3", f.PushButton3}, {"PushButton4", f.PushButton4}, {"PushButton5", f.PushButton5},
            {"PushButton6", f.PushButton6}, {"PushButton7", f.PushButton7}};
    QWidget *widget = controls.value(control);
    QCOMPARE(widget->geometry(), geometry);
    if (auto *button = qobject_cast<PushButton *>(widget)) {
        QCOMPARE(button->text(), caption);
        QCOMPARE(button->font().family(), QStringLiteral("Arial"));
        QCOMPARE(button->font().pointSizeF(), 11.25);
        QCOMPARE(button->font().weight(), QFont::Bold);
    }
}

void TestForm1::window()
{
    IsolatedEnvironment env;
    ScriptedPrompts prompts;
    Start start(prompts);
    Form1 &f = start.form;
    QCOMPARE(f.windowTitle(), QStringLiteral("Quintarra"));
    QVERIFY(!f.windowIcon().pixmap(32).isNull());
    QCOMPARE(f.size(), QSize(536, 320));
    QCOMPARE(f.minimumSize(), f.maximumSize());
    QVERIFY(f.windowFlags() & Qt::WindowMinimizeButtonHint);
    QVERIFY(f.windowFlags() & Qt::WindowCloseButtonHint);
    QVERIFY(!(f.windowFlags() & Qt::WindowMaximizeButtonHint));
    QCOMPARE(f.palette().color(QPalette::Window), QColor(Qt::white));

    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    QCOMPARE(f.pos(), QPoint((screen.width() - 536) / 2, (screen.height() - 320) / 2));

    QCOMPARE(f.ListView1->model()->headerData(0, Qt::Horizontal), QStringLiteral("Label"));
    QCOMPARE(f.ListView1->model()->headerData(1, Qt::Horizontal), QStringLiteral("Number (Value)"));
    QCOMPARE(f.ListView1->columnWidth(0), 333);
    QCOMPARE(f.ListView1->columnWidth(1), 133);
    QCOMPARE(f.ListView1->font().pointSizeF(), 9.0);
    QCOMPARE(f.ListView1->font().weight(), QFont::Bold);
    QVERIFY(!f.ListView1->rootIsDecorated());
    QVERIFY(!f.ListView1->isSortingEnabled());
    QCOMPARE(f.ListView1->selectionMode(), QAbstractItemView::SingleSelection);

    QList<QWidget *> tabOrder;
    const QList<QWidget *> controls{f.ListView1, f.PushButton1, f.PushButton2, f.PushButton3,
                                    f.PushButton4, f.PushButton5, f.PushButton6, f.PushButton7};
    for (QWidget *w = f.ListView1; tabOrder.size() < controls.size(); w = w->nextInFocusChain()) {
        if (controls.contains(w))
            tabOrder << w;
    }
    QCOMPARE(tabOrder, controls);
    QCOMPARE(start.launched, 0);
}

void TestForm1::firstStartShowsSampleUnselected()
{
    IsolatedEnvironment env;
    ScriptedPrompts prompts;
    Start start(prompts);
    QCOMPARE(start.rows(), EntryRows(SampleEntries()));
    QVERIFY(!start.form.ListView1->selectionModel()->hasSelection());
    QVERIFY(prompts.shown.isEmpty());
}

void TestForm1::closeStoresEveryTimeAndEnds()
{
    IsolatedEnvironment env;
    ScriptedPrompts prompts;
    {
        Start start(prompts);
        start.form.close();
        QCOMPARE(start.ended, 1);
    }
    QCOMPARE(GetSetting(kSettingsApp, kSettingsSection, kAssetsKey, QStringLiteral("absent")),
             EncodeEntryList(SampleEntries()));
    QFile::remove(SettingsFilePath(kSettingsApp));
    {
        Start start(prompts);
        start.form.close();   // unchanged, still written
    }
    QCOMPARE(GetSetting(kSettingsApp, kSettingsSection, kAssetsKey, QStringLiteral("absent")),
             EncodeEntryList(SampleEntries()));
    QVERIFY(prompts.shown.isEmpty());
}

void TestForm1::emptyListSurvivesRestart()
{
    IsolatedEnvironment env;
    ScriptedPrompts prompts;
    {
        Start start(prompts);
        start.form.PushButton5_Click();
        start.form.close();
    }
    QCOMPARE(GetSetting(kSettingsApp, kSettingsSection, kAssetsKey, QStringLiteral("absent")), QString());
    {
        Start start(prompts);
        QCOMPARE(start.rows(), QStringList());
        prompts.answerInput(QStringLiteral("Boat"));
        prompts.answerInput(QStringLiteral("1,500"));
        start.form.PushButton2_Click();
        start.form.close();
    }
    Start start(prompts);
    QCOMPARE(start.rows(), QStringList{"Boat=1,500"});
}

void TestForm1::storedTextsSurviveRestart_data()
{
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("amount");
    QTest::newRow("leading and trailing blanks") << "  Car  " << " 7500 ";
    QTest::newRow("commas") << "Stocks, bonds" << "1,250,000";
    QTest::newRow("INI specials") << "a=b;c#d [e] \"f\" \\g" << "1";
    QTest::newRow("non-Latin") << "Ersparnisse € 家" << "-3.5e2";
    QTest::newRow("lower-case separators") << "x||sep1||y" << "2";
}

// The list goes through the settings file, whose own syntax must not bend it.
void TestForm1::storedTextsSurviveRestart()
{
    QFETCH(QString, label);
    QFETCH(QString, amount);
    IsolatedEnvironment env;
    ScriptedPrompts prompts;
    {
        Start start(prompts);
        start.form.ListView1->entryModel().clear();
        start.form.ListView1->entryModel().appendEntries({{label, amount}, {QStringLiteral("Last"), QStringLiteral("1")}});
        start.form.close();
    }
    Start start(prompts);
    QCOMPARE(start.form.ListView1->entryModel().entries(), (EntryList{{label, amount}, {"Last", "1"}}));
}

void TestForm1::failedStoreIsReportedAndKeepsOldFile()
{
    IsolatedEnvironment env;
    ScriptedPrompts prompts;
    {
        Start start(prompts);
        start.form.close();
    }
    const QString file = SettingsFilePath(kSettingsApp);
    const QByteArray before = ReadFileBytes(file);
    QVERIFY(before.contains("Savings"));
    {
        Start start(prompts);
        start.form.PushButton5_Click();
        UnwritableFolder guard(env.configFolder());
        start.form.close();
        QCOMPARE(start.ended, 1);
    }
    QCOMPARE(prompts.shown.size(), 1);
    QVERIFY(prompts.shown[0].text.startsWith(QStringLiteral("Your list could not be saved")));
    QCOMPARE(prompts.shown[0].icon, MsgIcon::Warning);
    QCOMPARE(prompts.shown[0].title, QStringLiteral("Quintarra"));
    QCOMPARE(ReadFileBytes(file), before);
    QCOMPARE(QDir(env.configFolder()).entryList(QDir::Files | QDir::Hidden), QStringList{"Marlowic.ini"});
}

void TestForm1::damagedSettingsFile_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("invalid UTF-8")
            << QByteArray("[Quintarra]\nAssets=\"Sa\xff\xfe||SEP1||1||SEP2||Car||SEP1||2||SEP2||\"\n")
            << QStringList{QStringLiteral("Sa\uFFFD\uFFFD=1"), "Car=2"};
    QTest::newRow("hand-written commas without quotes")
            << QByteArray("[Quintarra]\nAssets=House||SEP1||1,500||SEP2||Car||SEP1||2||SEP2||\n")
            << QStringList{"House=1,500", "Car=2"};
    QTest::newRow("piece without amount")
            << QByteArray("[Quintarra]\nAssets=Loose||SEP2||Car||SEP1||2\n")
            << QStringList{"Loose=", "Car=2"};
    QTest::newRow("cut short inside the value")
            << QByteArray("[Quintarra]\nAssets=\"Savings||SEP1||25000||SEP2||Car||SEP1||75")
            << QStringList{"Savings=25000", "Car=75"};
    QTest::newRow("not an INI file") << QByteArray("\x00\x01garbage\n=\n[", 12) << EntryRows(SampleEntries());
}

void TestForm1::damagedSettingsFile()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, expected);
    IsolatedEnvironment env;
    const QString path = SettingsFilePath(kSettingsApp);
    WriteFileBytes(path, file);
    ScriptedPrompts prompts;
    {
        Start start(prompts);
        QCOMPARE(start.rows(), expected);
        start.form.close();
    }
    // A file that cannot be read as settings is named once, at start-up, with
    // the place of its copy; only what the user saw is stored.
    const QStringList copies = QDir(env.configFolder()).entryList({"Marlowic.ini.unreadable-*"}, QDir::Files);
    const bool unreadable = expected == EntryRows(SampleEntries());
    QCOMPARE(copies.size(), unreadable ? 1 : 0);
    QCOMPARE(prompts.shown.size(), unreadable ? 1 : 0);
    if (unreadable) {
        QVERIFY(prompts.shown[0].text.contains(QDir(env.configFolder()).filePath(copies[0])));
        QCOMPARE(prompts.shown[0].icon, MsgIcon::Warning);
        QCOMPARE(ReadFileBytes(QDir(env.configFolder()).filePath(copies[0])), file);
    }
    QCOMPARE(DecodeEntryList(GetSetting(kSettingsApp, kSettingsSection, kAssetsKey, {})).size(), expected.size());
}

void TestForm1::longestListLoads()
{
    IsolatedEnvironment env;
    EntryList many;
    for (int i = 1; i <= 32766; ++i)
        many.append({QStringLiteral("Asset %1").arg(i), QString::number(i * 3)});
    SaveSetting(kSettingsApp, kSettingsSection, kAssetsKey, EncodeEntryList(many));
    ScriptedPrompts prompts;
    Start start(prompts);
    QCOMPARE(start.form.entryCount(), 32766);
    QCOMPARE(start.form.entryAt(32766), (Entry{"Asset 32766", "98298"}));
    start.form.close();
    QCOMPARE(GetSetting(kSettingsApp, kSettingsSection, kAssetsKey, {}), EncodeEntryList(many));
}

// Stored as it is made, so that a program killed before closing keeps it; a
// start that changes nothing stores nothing.
void TestForm1::changeStoredWithoutClosing()
{
    IsolatedEnvironment env;
    ScriptedPrompts prompts;
    Start start(prompts);
    QCoreApplication::processEvents();
    QVERIFY(!QFileInfo::exists(SettingsFilePath(kSettingsApp)));
    start.form.PushButton5->click();
    QTRY_COMPARE(GetSetting(kSettingsApp, kSettingsSection, kAssetsKey, QStringLiteral("absent")), QString());
    QCOMPARE(start.ended, 0);
}

// The window's keys reach the list's undo and redo wherever the focus is, as
// after a click on a button.
void TestForm1::clearUndoneByKeyStoresTheOriginal()
{
    IsolatedEnvironment env;
    const QString original = QStringLiteral("Boat||SEP1||1,500||SEP2||  Car  ||SEP1|| 7 ||SEP2||");
    SaveSetting(kSettingsApp, kSettingsSection, kAssetsKey, original);
    ScriptedPrompts prompts;
    {
        Start start(prompts);
        start.form.show();
        start.form.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&start.form));
        start.form.PushButton5->setFocus();
        start.form.PushButton5->click();
        QCOMPARE(start.form.entryCount(), 0);
        QTest::keyClick(&start.form, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(start.form.entryCount(), 2);
        QTest::keyClick(&start.form, Qt::Key_Y, Qt::ControlModifier);
        QCOMPARE(start.form.entryCount(), 0);
        QTest::keyClick(&start.form, Qt::Key_Z, Qt::ControlModifier);
        start.form.close();
    }
    QCOMPARE(GetSetting(kSettingsApp, kSettingsSection, kAssetsKey, {}), original);
    QVERIFY(prompts.shown.isEmpty());
}

void TestForm1::help()
{
    IsolatedEnvironment env;
    ScriptedPrompts prompts;
    Start start(prompts);
    start.form.PushButton6->click();
    QCOMPARE(prompts.shown.size(), 1);
    QCOMPARE(prompts.shown[0].kind, Kind::Message);
    QCOMPARE(prompts.shown[0].text,
             QStringLiteral("Questions? Please contact Team Marlowic at https://www.marlowic.com/contact"));
    QCOMPARE(prompts.shown[0].title, QStringLiteral("Quintarra"));
    QCOMPARE(prompts.shown[0].icon, MsgIcon::None);
    QCOMPARE(prompts.shown[0].buttons, MsgButtons::Ok);
    QCOMPARE(start.rows(), EntryRows(SampleEntries()));
    QCOMPARE(start.launched, 0);
}

void TestForm1::helpFailureReportsLine100()
{
    IsolatedEnvironment env;
    ScriptedPrompts prompts;
    Start start(prompts);
    prompts.failNext(Kind::Message, QStringLiteral("Out of memory"));
    start.form.PushButton6_Click();
    QCOMPARE(prompts.errorReports(),
             QStringList{"Out of memory\r\nin Quintarra7/29/2014.Form1.PushButton6_Click at line 100\r\r"
                         "Please email screenshot of this message to support@marlowic.com"});
}

// Each button reaches its command: a click on it shows that command's first box.
void TestForm1::commandsAreWired()
{
    IsolatedEnvironment env;
    ScriptedPrompts prompts;
    Start start(prompts);
    Form1 &f = start.form;
    prompts.answerInput(QString());
    f.PushButton2->click();
    QCOMPARE(prompts.shown.last().text, QStringLiteral("Enter Asset Type:"));
    f.ListView1->selectionModel()->select(f.ListView1->model()->index(0, 0),
                                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
    prompts.answerInput(QString());
    f.PushButton4->click();
    QCOMPARE(prompts.shown.last().defaultText, QStringLiteral("Savings"));
    f.PushButton3->click();
    QCOMPARE(f.entryAt(1).label, QStringLiteral("401k"));
    f.PushButton5->click();
    QCOMPARE(f.entryCount(), 0);
    f.PushButton7->click();
    QCOMPARE(start.rows(), EntryRows(SampleEntries()));
    f.PushButton1->click();
    QVERIFY(prompts.allAnswered());
}

void TestForm1::chartHost()
{
    IsolatedEnvironment env;
    ScriptedPrompts prompts;
    Start start(prompts);
    ChartHost &host = start.form;
    QCOMPARE(host.entryCount(), 6);
    QCOMPARE(host.entryAt(1), (Entry{"Savings", "25000"}));
    QCOMPARE(host.entryAt(6), (Entry{"Car", "7500"}));
    QVERIFY_THROWS_EXCEPTION(Failure, host.entryAt(0));
    QVERIFY_THROWS_EXCEPTION(Failure, host.entryAt(7));
    host.setMousePointer(11);
    QCOMPARE(start.form.mousePointer().value(), 11);
    QCOMPARE(start.form.cursor().shape(), Qt::WaitCursor);
    host.setMousePointer(0);
    start.form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&start.form));
    host.hideMainWindow();
    QVERIFY(!start.form.isVisible());
}

void TestForm1::closingWithPreviewWorkbookDeletesIt()
{
    IsolatedEnvironment env;
    ScriptedPrompts prompts;
    Start start(prompts);
    const QString workbook = env.tempFolder() + QStringLiteral("/tervik12345678.xls");
    WriteFileBytes(workbook, "workbook");
    ChartHost &host = start.form;
    host.setPreviewPicture(QImage(20, 10, QImage::Format_RGB32));
    host.setPreviewWorkbook(workbook);

    start.form.close();

    QCOMPARE(start.ended, 1);
    QVERIFY(!QFile::exists(workbook));
}

void TestForm1::clicksArrivingAfterHidingAreDropped()
{
    // The second click of a double-click on "Start Creating Template" waits
    // while the chart is made, and arrives after the command hid the window.
    IsolatedEnvironment env;
    ScriptedPrompts prompts;
    Start start(prompts);
    start.form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&start.form));
    start.form.hideMainWindow();

    QPushButton *button = start.form.PushButton1;
    const QPointF at = QRectF(button->rect()).center();
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QMouseEvent event(type, at, button->mapToGlobal(at), Qt::LeftButton,
                          type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                          Qt::NoModifier);
        QApplication::sendEvent(button, &event);
    }
    QCOMPARE(prompts.shown.size(), 0);

    // Shown again, the same click runs the command.
    start.form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&start.form));
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(!prompts.shown.isEmpty());
}

void TestForm1::hover_data()
{
    QTest::addColumn<qint16>("initial");
    QTest::addColumn<QStringList>("moves");
    QTest::addColumn<qint16>("expected");
    QTest::newRow("button gives the hand") << qint16(0) << QStringList{"PushButton2"} << qint16(99);
    QTest::newRow("every button") << qint16(0) << QStringList{"PushButton7", "surface", "PushButton1"} << qint16(99);
    QTest::newRow("surface takes it back") << qint16(99) << QStringList{"PushButton6", "surface"} << qint16(0);
    QTest::newRow("list keeps the hand") << qint16(0) << QStringList{"PushButton3", "list"} << qint16(99);
    QTest::newRow("list header keeps the hand") << qint16(0) << QStringList{"PushButton5", "header"} << qint16(99);
    QTest::newRow("list alone changes nothing") << qint16(0) << QStringList{"list"} << qint16(0);
    QTest::newRow("hourglass over a button") << qint16(11) << QStringList{"PushButton1"} << qint16(11);
    QTest::newRow("hourglass over the surface") << qint16(11) << QStringList{"surface"} << qint16(11);
}

void TestForm1::hover()
{
    QFETCH(qint16, initial);
    QFETCH(QStringList, moves);
    QFETCH(qint16, expected);
    IsolatedEnvironment env;
    ScriptedPrompts prompts;
    Start start(prompts);
    Form1 &f = start.form;
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    f.setMousePointer(initial);
    for (const QString &place : moves) {
        QWidget *target = &f;
        QPoint at(3, 3);   // the window's own surface, left of every control
        if (place == QLatin1String("list")) {
            target = f.ListView1->viewport();
            at = target->rect().center();
        } else if (place == QLatin1String("header")) {
            target = f.ListView1->header();
            at = target->rect().center();
        } else if (place != QLatin1String("surface")) {
            target = f.findChild<PushButton *>(place);
            at = target->rect().center();
        }
        QTest::mouseMove(target, at);
        QTest::mouseMove(target, at + QPoint(1, 1));
    }
    QCOMPARE(f.mousePointer().value(), expected);
}

// The skin and the cursor that ship beside the program, as the window loads them.
void TestForm1::shippedFilesBesideTheProgram()
{
    IsolatedEnvironment env;
    QTemporaryDir programFolder;
    QVERIFY(QFile::copy(QStringLiteral(QUINTARRA_RESOURCES "/HAND-M.CUR"), programFolder.filePath("HAND-M.CUR")));
    QVERIFY(QDir(programFolder.path()).mkdir("x"));
    QVERIFY(QFile::copy(QStringLiteral(QUINTARRA_RESOURCES "/x/o.cjs"), programFolder.filePath("x/o.cjs")));
    QTest::failOnWarning(QRegularExpression(QStringLiteral("style ?sheet"), QRegularExpression::CaseInsensitiveOption));
    ScriptedPrompts prompts;
    Start start(prompts, programFolder.path());
    start.form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&start.form));
    QVERIFY(start.form.styleSheet().contains(QStringLiteral("QPushButton")));
    QCOMPARE(start.form.palette().color(QPalette::Window), ButtonFaceColor());
    QVERIFY(start.form.mousePointer().hasMouseIcon());
    start.form.mousePointer().buttonHovered();
    QCOMPARE(start.form.cursor().shape(), Qt::BitmapCursor);
    QCOMPARE(start.form.cursor().hotSpot(), QPoint(7, 1));
    start.form.mousePointer().surfaceHovered();
    QCOMPARE(start.form.cursor().shape(), Qt::ArrowCursor);

    Start without(prompts);
    QVERIFY(!without.form.mousePointer().hasMouseIcon());
}

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"
