// Windows on a screen that may be too small for them at the current scale,
// under a window manager whose frames have a title bar: every frame lies in
// the screen's available area, a window that fits keeps its designed size,
// and the preview's last button can be reached and works.
#include "bothwindows.h"
#include "ground/applicationidentity.h"
#include "widgets/pushbutton.h"
#include "widgets/qtprompts.h"
#include "widgets/screenfit.h"

#include <QApplication>
#include <QMessageBox>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>

namespace {

struct Windows : BothWindows {
    Windows() : BothWindows(QSize(1094, 466)) {}
};

QString describe(const QRect &r)
{
    return QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

// The frame, title bar and all, lies in the available area; a window whose
// designed size fits there keeps it.
void verifyOnScreen(QWidget *window, const QSize &designed)
{
    QTRY_VERIFY(window->frameGeometry().top() < window->geometry().top());
    const QRect area = window->screen()->availableGeometry();
    QTRY_VERIFY2(area.contains(window->frameGeometry()),
                 qPrintable(describe(window->frameGeometry()) + QStringLiteral(" on ") + describe(area)));
    const QSize room = area.size().shrunkBy(ExpectedFrame(window));
    if (designed.width() <= room.width() && designed.height() <= room.height())
        QCOMPARE(window->size(), designed);
}

} // namespace

class TestScreenFit : public QObject
{
    Q_OBJECT

private slots:
    void windowsLieOnTheScreen_data();
    void windowsLieOnTheScreen();
    void previewGoesBack();
};

void TestScreenFit::windowsLieOnTheScreen_data()
{
    QTest::addColumn<QString>("window");
    QTest::newRow("main window") << "Form1";
    QTest::newRow("preview") << "Form2";
    QTest::newRow("long message") << "box";
}

void TestScreenFit::windowsLieOnTheScreen()
{
    QFETCH(QString, window);
    Windows w;
    if (window == QLatin1String("box")) {
        bool checked = false;
        QTimer::singleShot(0, this, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            QVERIFY(box);
            verifyOnScreen(box, DesignedSize(box));
            checked = true;
            box->accept();
        });
        QString report;
        for (int line = 1; line <= 120; ++line)
            report += QStringLiteral("Row %1 was left out.\r\n").arg(line);
        QtPrompts().message(report, MsgButtons::Ok, MsgIcon::Warning, kAppTitle);
        QVERIFY(checked);
        return;
    }
    QWidget *shown = window == QLatin1String("Form1") ? static_cast<QWidget *>(&w.form1) : &w.form2;
    const QSize designed = window == QLatin1String("Form1") ? QSize(536, 320) : QSize(656, 626);
    shown->show();
    QVERIFY(QTest::qWaitForWindowExposed(shown));
    verifyOnScreen(shown, designed);
}

// The wheel over the picture scrolls a window that does not fit. Tabbing to
// "< Back" brings it into view, wholly on the screen, and a click on it goes
// back to the main window. Shown again, the window starts at its top.
void TestScreenFit::previewGoesBack()
{
    Windows w;
    w.form2.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w.form2));
    QWidget *viewport = w.form2.findChild<QWidget *>(QStringLiteral("Picture2"));
    QVERIFY(viewport);
    const auto viewportTop = [&] { return viewport->mapTo(&w.form2, QPoint(0, 0)).y(); };
    const int top = viewportTop();
    const QPointF at = viewport->rect().center();
    QWheelEvent turn(at, viewport->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
                     Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(viewport, &turn);
    QVERIFY(viewportTop() < top);

    auto *save = w.form2.findChild<PushButton *>(QStringLiteral("PushButton6"));
    auto *back = w.form2.findChild<PushButton *>(QStringLiteral("PushButton8"));
    QVERIFY(save && back);
    w.form2.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w.form2));
    save->setFocus(Qt::TabFocusReason);
    QTest::keyClick(save, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), back);

    QTRY_COMPARE(back->visibleRegion(), QRegion(back->rect()));
    const QRect onScreen(back->mapToGlobal(QPoint(0, 0)), back->size());
    QVERIFY2(w.form2.screen()->availableGeometry().contains(onScreen), qPrintable(describe(onScreen)));
    QTest::mouseClick(back, Qt::LeftButton, Qt::NoModifier, back->rect().center());
    QTRY_VERIFY(w.mainStandIn.isVisible());
    QVERIFY(!w.form2.isVisible());
    w.form2.show();
    QCOMPARE(viewportTop(), top);
}

QTEST_MAIN(TestScreenFit)
#include "tst_screenfit.moc"
