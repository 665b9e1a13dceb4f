// Both windows as keyboard, screen-reader and high-DPI users meet them. Runs
// once at scale 1 and once more under QT_SCALE_FACTOR=2.
#include "bothwindows.h"
#include "designedlayout.h"
#include "entries/entrylistmodel.h"
#include "entries/entrylistview.h"
#include "ground/applicationidentity.h"
#include "isolatedenvironment.h"
#include "noserver.h"
#include "preview/form2.h"
#include "scriptedprompts.h"
#include "spreadsheet/spreadsheetserver.h"
#include "widgets/pushbutton.h"
#include "widgets/qtprompts.h"

#include <QAccessible>
#include <QApplication>
#include <QGroupBox>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QScrollBar>
#include <QSettings>
#include <QSignalSpy>
#include <QStyle>
#include <QTest>
#include <QTimer>
#include <QToolTip>

namespace {

// Larger than the viewport even at the smallest first-view zoom, so that both
// bars have somewhere to go and take the focus. The preview shows a picture in
// device pixels.
QSize largePicture()
{
    const qreal ratio = qGuiApp->devicePixelRatio();
    return QSize(qRound(2600 * ratio), qRound(2100 * ratio));
}

// The main window with the sample list, and a preview whose picture is larger
// than its viewport, so that both scroll bars are in use.
struct Windows : BothWindows {
    Windows() : BothWindows(largePicture()) {}
    QWidget *control(const QString &window, const QString &name)
    {
        QWidget *top = window == QLatin1String("Form1") ? static_cast<QWidget *>(&form1) : &form2;
        return name == window ? top : top->findChild<QWidget *>(name);
    }
    QWidget *show(const QString &window)
    {
        QWidget *w = window == QLatin1String("Form1") ? static_cast<QWidget *>(&form1) : &form2;
        w->show();
        w->activateWindow();
        return QTest::qWaitForWindowActive(w) ? w : nullptr;
    }
};

double expectedScale()
{
    return qEnvironmentVariable("QT_SCALE_FACTOR", QStringLiteral("1")).toDouble();
}

// Sends a key to whatever has the focus in the running modal box.
void pressInModalBox(Qt::Key key)
{
    QWidget *box = QApplication::activeModalWidget();
    QVERIFY(box);
    QWidget *target = box->focusWidget() ? box->focusWidget() : box;
    QTest::keyClick(target, key, key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
}

} // namespace

class TestWindowAccess : public QObject
{
    Q_OBJECT

private slots:
    void layoutScales_data();
    void layoutScales();
    void captionsFitTheirButtons();
    void tabOrder_data();
    void tabOrder();
    void buttonsAnswerKeys_data();
    void buttonsAnswerKeys();
    void heldEnterClicksOnce();
    void listMovesWithArrows_data();
    void listMovesWithArrows();
    void noKeyEditsTheList_data();
    void noKeyEditsTheList();
    void boxesAnswerKeys_data();
    void boxesAnswerKeys();
    void accessibleNames_data();
    void accessibleNames();
    void menusAreHinted_data();
    void menusAreHinted();
    void windowsNameTheDesktopEntry();
};

void TestWindowAccess::layoutScales_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("control");
    QTest::addColumn<QRect>("twips");   // relative to the control's parent; a window's client size

    for (const DesignedRect &row : kDesignedLayout) {
        const QString window = QLatin1String(row.window);
        const QString control = QLatin1String(row.control);
        const QString name = window == control ? window : window + u'.' + control;
        QTest::newRow(qPrintable(name)) << window << control << row.twips;
    }
}

// In device pixels every rectangle is the designed one (15 twips to a pixel)
// times the scale, within a pixel.
void TestWindowAccess::layoutScales()
{
    QFETCH(QString, window);
    QFETCH(QString, control);
    QFETCH(QRect, twips);

    Windows w;
    QWidget *widget = w.control(window, control);
    QVERIFY(widget);
    widget->window()->show();
    const double scale = expectedScale();
    QCOMPARE(widget->devicePixelRatioF(), scale);

    const QRect actual = widget->isWindow() ? QRect(QPoint(0, 0), widget->size()) : widget->geometry();
    const auto near = [&](int logical, int designTwips) {
        return qAbs(logical * scale - designTwips / 15.0 * scale) <= 1.0;
    };
    QVERIFY2(near(actual.x(), twips.x()) && near(actual.y(), twips.y())
                     && near(actual.width(), twips.width()) && near(actual.height(), twips.height()),
             qPrintable(QStringLiteral("%1,%2 %3x%4 at scale %5")
                                .arg(actual.x()).arg(actual.y()).arg(actual.width()).arg(actual.height())
                                .arg(scale)));
}

void TestWindowAccess::captionsFitTheirButtons()
{
    Windows w;
    const QList<QWidget *> windows{&w.form1, &w.form2};
    int checked = 0;
    for (QWidget *window : windows) {
        window->show();
        for (PushButton *button : window->findChildren<PushButton *>()) {
            const QFontMetrics metrics(button->font());
            const int margin = button->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button);
            QVERIFY2(metrics.horizontalAdvance(button->text()) + 2 * margin <= button->width()
                             && metrics.height() <= button->height(),
                     qPrintable(button->text()));
            ++checked;
        }
    }
    QCOMPARE(checked, 11);
}

void TestWindowAccess::tabOrder_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<QStringList>("order");
    QTest::newRow("Form1") << "Form1"
                           << QStringList{"ListView1", "PushButton1", "PushButton2", "PushButton3",
                                          "PushButton4", "PushButton5", "PushButton6", "PushButton7"};
    QTest::newRow("Form2") << "Form2"
                           << QStringList{"HScroll1", "VScroll1", "PushButton1", "PushButton2",
                                          "PushButton6", "PushButton8"};
}

// Tab walks the controls in their designed order and comes round to the first;
// Shift+Tab walks back.
void TestWindowAccess::tabOrder()
{
    QFETCH(QString, window);
    QFETCH(QStringList, order);

    Windows w;
    QVERIFY(w.show(window));
    w.control(window, order.first())->setFocus(Qt::TabFocusReason);
    for (int i = 1; i <= order.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), w.control(window, order.at(i % order.size())));
    }
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
    QCOMPARE(QApplication::focusWidget(), w.control(window, order.last()));
}

void TestWindowAccess::buttonsAnswerKeys_data()
{
    QTest::addColumn<Qt::Key>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<int>("clicks");
    QTest::newRow("Space") << Qt::Key_Space << Qt::KeyboardModifiers() << 1;
    QTest::newRow("Return") << Qt::Key_Return << Qt::KeyboardModifiers() << 1;
    QTest::newRow("keypad Enter") << Qt::Key_Enter << Qt::KeyboardModifiers(Qt::KeypadModifier) << 1;
    QTest::newRow("Ctrl+Return") << Qt::Key_Return << Qt::KeyboardModifiers(Qt::ControlModifier) << 0;
    QTest::newRow("a letter") << Qt::Key_A << Qt::KeyboardModifiers() << 0;
}

// Every button of both windows, focused, clicks on the key. The commands
// themselves are disconnected; "Help" shows that one really runs.
void TestWindowAccess::buttonsAnswerKeys()
{
    QFETCH(Qt::Key, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(int, clicks);

    Windows w;
    for (const QString window : {"Form1", "Form2"}) {
        QWidget *shown = w.show(window);
        QVERIFY(shown);
        const QList<QPushButton *> buttons = shown->findChildren<QPushButton *>();
        QCOMPARE(buttons.size(), window == QLatin1String("Form1") ? 7 : 4);
        for (QPushButton *button : buttons) {
            QVERIFY(qobject_cast<PushButton *>(button));
            if (button != w.form1.PushButton6)
                QObject::disconnect(button, &QAbstractButton::clicked, nullptr, nullptr);
            QSignalSpy clicked(button, &QAbstractButton::clicked);
            button->setFocus(Qt::TabFocusReason);
            QTest::keyClick(button, key, modifiers);
            QVERIFY2(clicked.size() == clicks, qPrintable(button->text()));
        }
        shown->hide();
    }
    QCOMPARE(w.prompts.shown.size(), clicks);   // the help message
}

void TestWindowAccess::heldEnterClicksOnce()
{
    PushButton button(QStringLiteral("Zoom In"));
    QSignalSpy clicked(&button, &QAbstractButton::clicked);
    for (bool repeat : {false, true, true}) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QString(), repeat);
        QApplication::sendEvent(&button, &press);
    }
    QCOMPARE(clicked.size(), 1);
}

void TestWindowAccess::listMovesWithArrows_data()
{
    QTest::addColumn<Qt::Key>("key");
    QTest::addColumn<int>("row");   // from the third of six rows
    QTest::newRow("Down") << Qt::Key_Down << 3;
    QTest::newRow("Up") << Qt::Key_Up << 1;
    QTest::newRow("Home") << Qt::Key_Home << 0;
    QTest::newRow("End") << Qt::Key_End << 5;
}

void TestWindowAccess::listMovesWithArrows()
{
    QFETCH(Qt::Key, key);
    QFETCH(int, row);

    Windows w;
    QVERIFY(w.show("Form1"));
    EntryListView *list = w.form1.ListView1;
    QCOMPARE(list->entryModel().rowCount(), 6);
    list->setFocus();
    list->setCurrentRow(2);
    QTest::keyClick(list, key);
    // Moving selects: "Delete Selected Entry" and "Edit Selected Entry" act on it.
    QCOMPARE(list->selectedRow(), row);
}

void TestWindowAccess::noKeyEditsTheList_data()
{
    QTest::addColumn<Qt::Key>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::newRow("F2") << Qt::Key_F2 << Qt::KeyboardModifiers();
    QTest::newRow("Delete") << Qt::Key_Delete << Qt::KeyboardModifiers();
    QTest::newRow("Backspace") << Qt::Key_Backspace << Qt::KeyboardModifiers();
    QTest::newRow("Return") << Qt::Key_Return << Qt::KeyboardModifiers();
    QTest::newRow("Space") << Qt::Key_Space << Qt::KeyboardModifiers();
    QTest::newRow("a letter") << Qt::Key_X << Qt::KeyboardModifiers();
    QTest::newRow("Ctrl+X") << Qt::Key_X << Qt::KeyboardModifiers(Qt::ControlModifier);
    QTest::newRow("Ctrl+V") << Qt::Key_V << Qt::KeyboardModifiers(Qt::ControlModifier);
}

void TestWindowAccess::noKeyEditsTheList()
{
    QFETCH(Qt::Key, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);

    Windows w;
    QVERIFY(w.show("Form1"));
    EntryListView *list = w.form1.ListView1;
    const EntryList before = list->entryModel().entries();
    list->setFocus();
    list->setCurrentIndex(list->model()->index(1, 1));
    QTest::keyClick(list, key, modifiers);
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("99"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCOMPARE(list->entryModel().entries(), before);
    QVERIFY(w.prompts.shown.isEmpty());
}

void TestWindowAccess::boxesAnswerKeys_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<Qt::Key>("key");
    QTest::addColumn<QString>("answer");
    QTest::newRow("question, Y") << "question" << Qt::Key_Y << "Yes";
    QTest::newRow("question, N") << "question" << Qt::Key_N << "No";
    QTest::newRow("question, Return") << "question" << Qt::Key_Return << "Yes";
    QTest::newRow("question, Escape") << "question" << Qt::Key_Escape << "No";
    QTest::newRow("message, Return") << "message" << Qt::Key_Return << "Ok";
    QTest::newRow("message, keypad Enter") << "message" << Qt::Key_Enter << "Ok";
    QTest::newRow("message, Escape") << "message" << Qt::Key_Escape << "Ok";
    QTest::newRow("input, Return") << "input" << Qt::Key_Return << "typed";
    QTest::newRow("input, Escape") << "input" << Qt::Key_Escape << "";
}

// The real boxes, answered from the keyboard while they are open.
void TestWindowAccess::boxesAnswerKeys()
{
    QFETCH(QString, box);
    QFETCH(Qt::Key, key);
    QFETCH(QString, answer);

    QtPrompts prompts;
    QTimer::singleShot(0, this, [&] {
        if (box == QLatin1String("input"))
            QTest::keyClicks(QApplication::activeModalWidget()->focusWidget(), QStringLiteral("typed"));
        pressInModalBox(key);
    });
    // Closes a box that ignored the key, so that a failing row does not hang.
    QTimer::singleShot(2000, this, [] {
        if (QWidget *open = QApplication::activeModalWidget())
            open->close();
    });
    QString got;
    if (box == QLatin1String("input")) {
        got = prompts.input(QStringLiteral("Enter Amount:"), QStringLiteral("Input Amount"), QString());
    } else {
        const MsgButtons buttons = box == QLatin1String("question") ? MsgButtons::YesNo : MsgButtons::Ok;
        const MsgAnswer a = prompts.message(QStringLiteral("Are you sure?"), buttons, MsgIcon::None, kAppTitle);
        got = a == MsgAnswer::Yes ? "Yes" : a == MsgAnswer::No ? "No" : a == MsgAnswer::Ok ? "Ok" : "Closed";
    }
    QCOMPARE(got, answer);
}

void TestWindowAccess::accessibleNames_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("name");
    QTest::newRow("Form1") << "Form1" << "Form1" << "Quintarra";
    QTest::newRow("Form1.ListView1") << "Form1" << "ListView1" << "Entries";
    QTest::newRow("Form1.PushButton1") << "Form1" << "PushButton1" << "Start Creating Template";
    QTest::newRow("Form1.PushButton2") << "Form1" << "PushButton2" << "Add New";
    QTest::newRow("Form1.PushButton3") << "Form1" << "PushButton3" << "Delete Selected Entry";
    QTest::newRow("Form1.PushButton4") << "Form1" << "PushButton4" << "Edit Selected Entry";
    QTest::newRow("Form1.PushButton5") << "Form1" << "PushButton5" << "Clear List";
    QTest::newRow("Form1.PushButton6") << "Form1" << "PushButton6" << "Help";
    QTest::newRow("Form1.PushButton7") << "Form1" << "PushButton7" << "Load Sample/Example Data";
    QTest::newRow("Form2") << "Form2" << "Form2" << "Preview";
    QTest::newRow("Form2.Picture2") << "Form2" << "Picture2" << "Chart preview";
    QTest::newRow("Form2.Frame1") << "Form2" << "Frame1" << "Zoom:";
    QTest::newRow("Form2.PushButton1") << "Form2" << "PushButton1" << "Zoom In";
    QTest::newRow("Form2.PushButton2") << "Form2" << "PushButton2" << "Zoom Out";
    QTest::newRow("Form2.PushButton6") << "Form2" << "PushButton6" << "Save Results To Excel File";
    QTest::newRow("Form2.PushButton8") << "Form2" << "PushButton8" << "< Back";
    QTest::newRow("Form2.HScroll1") << "Form2" << "HScroll1" << "Scroll the chart across";
    QTest::newRow("Form2.VScroll1") << "Form2" << "VScroll1" << "Scroll the chart up and down";
}

void TestWindowAccess::accessibleNames()
{
    QFETCH(QString, window);
    QFETCH(QString, control);
    QFETCH(QString, name);

    Windows w;
    QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(w.control(window, control));
    QVERIFY(accessible);
    QCOMPARE(accessible->text(QAccessible::Name), name);
}

void TestWindowAccess::menusAreHinted_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("control");
    QTest::newRow("the list, over a row") << "Form1" << "ListView1";
    QTest::newRow("the picture") << "Form2" << "Picture1";
}

// Controls whose commands hide in a context menu say so when hovered.
void TestWindowAccess::menusAreHinted()
{
    QFETCH(QString, window);
    QFETCH(QString, control);

    Windows w;
    QVERIFY(w.show(window));
    QWidget *hovered = w.control(window, control);
    QPoint at = hovered->rect().center();
    if (auto *list = qobject_cast<EntryListView *>(hovered)) {
        hovered = list->viewport();
        at = list->visualRect(list->model()->index(0, 0)).center();
    }
    QHelpEvent hover(QEvent::ToolTip, at, hovered->mapToGlobal(at));
    QApplication::sendEvent(hovered, &hover);
    QTRY_VERIFY(QToolTip::isVisible());
    QVERIFY2(QToolTip::text().contains(QStringLiteral("Right-click")), qPrintable(QToolTip::text()));
    QToolTip::hideText();
}

// A dock groups both windows under the desktop entry: the window class is the
// entry's StartupWMClass, the Wayland app id its file name, the icon its icon.
void TestWindowAccess::windowsNameTheDesktopEntry()
{
    const QString entryPath = QUINTARRA_RESOURCES "/desktop/" + kDesktopEntryName + ".desktop";
    QSettings entry(entryPath, QSettings::IniFormat);
    entry.beginGroup("Desktop Entry");
    QVERIFY(entry.contains("StartupWMClass"));

    SetApplicationIdentity(QStringLiteral("1.0"));
    QCOMPARE(QCoreApplication::applicationName(), entry.value("StartupWMClass").toString());
    QCOMPARE(QGuiApplication::desktopFileName() + ".desktop", QFileInfo(entryPath).fileName());
    QCOMPARE(entry.value("Icon").toString(), kDesktopEntryName);

    Windows w;
    for (QWidget *window : {static_cast<QWidget *>(&w.form1), static_cast<QWidget *>(&w.form2)}) {
        const QIcon icon = window->windowIcon();
        QVERIFY(!icon.isNull());
        QCOMPARE(icon.pixmap(QSize(256, 256), 1.0).size(), QSize(256, 256));
        QCOMPARE(icon.pixmap(QSize(16, 16), 1.0).size(), QSize(16, 16));
    }
}

QTEST_MAIN(TestWindowAccess)
#include "tst_windowaccess.moc"
