// Windows open with their frame, title bar and all, in the middle of the
// screen. Run where the platform gives windows a frame: offscreen (a thin
// one) and under a real X server with a window manager.
#include "widgets/centerform.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTest>
#include <QWidget>

class TestCenterForm : public QObject
{
    Q_OBJECT

private slots:
    void centresTheFrame_data();
    void centresTheFrame();
};

void TestCenterForm::centresTheFrame_data()
{
    QTest::addColumn<QSize>("clientSize");
    QTest::newRow("main window") << QSize(536, 320);
    QTest::newRow("preview window") << QSize(656, 626);
}

void TestCenterForm::centresTheFrame()
{
    QFETCH(QSize, clientSize);
    QWidget window;
    window.setFixedSize(clientSize);
    CenterForm(&window);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    // Without a frame this test could not tell the frame from the client area.
    QTRY_VERIFY(window.frameGeometry().size() != window.size());

    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const auto offCentre = [&] {
        const QRect frame = window.frameGeometry();
        return QPoint(std::abs(2 * frame.x() + frame.width() - 2 * screen.x() - screen.width()),
                      std::abs(2 * frame.y() + frame.height() - 2 * screen.y() - screen.height()));
    };
    // Twice the distance from the middle: halves of odd sizes allow 1.
    QTRY_VERIFY2(offCentre().x() <= 1 && offCentre().y() <= 1,
                 qPrintable(QStringLiteral("frame %1,%2 %3x%4 on %5x%6")
                                    .arg(window.frameGeometry().x()).arg(window.frameGeometry().y())
                                    .arg(window.frameGeometry().width()).arg(window.frameGeometry().height())
                                    .arg(screen.width()).arg(screen.height())));
}

QTEST_MAIN(TestCenterForm)
#include "tst_centerform.moc"
