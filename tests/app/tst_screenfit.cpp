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
#include <QScopeGuard>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>

#include <xcb/xcb.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

struct Windows : BothWindows {
    Windows() : BothWindows(QSize(1094, 466)) {}
};

QString describe(const QRect &r)
{
    return QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

template <typename Reply>
using XReply = std::unique_ptr<Reply, decltype(&std::free)>;

// The window's frame as the window manager drew it, asked of the X server in
// device-independent pixels; empty until the manager has framed the window.
// Qt's own frameGeometry() may keep a frame it read before the manager gave
// one, until the window is next configured: a fixed-size box never is.
QRect FrameDrawnAround(QWidget *window)
{
    const auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t *connection = x11 ? x11->connection() : nullptr;
    if (!connection)
        return QRect();
    const auto id = static_cast<xcb_window_t>(window->winId());
    const char name[] = "_NET_FRAME_EXTENTS";
    XReply<xcb_intern_atom_reply_t> atom(
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 1, std::strlen(name), name), nullptr),
        &std::free);
    XReply<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(connection, xcb_get_geometry(connection, id), nullptr), &std::free);
    if (!atom || atom->atom == XCB_ATOM_NONE || !geometry)
        return QRect();
    XReply<xcb_get_property_reply_t> extents(
        xcb_get_property_reply(connection,
                               xcb_get_property(connection, 0, id, atom->atom, XCB_ATOM_CARDINAL, 0, 4),
                               nullptr),
        &std::free);
    XReply<xcb_translate_coordinates_reply_t> origin(
        xcb_translate_coordinates_reply(
            connection, xcb_translate_coordinates(connection, id, geometry->root, 0, 0), nullptr),
        &std::free);
    if (!extents || extents->format != 32 || xcb_get_property_value_length(extents.get()) != 16 || !origin)
        return QRect();
    // Left, right, top, bottom.
    const auto *edge = static_cast<const quint32 *>(xcb_get_property_value(extents.get()));
    if (edge[2] == 0)
        return QRect();
    const qreal ratio = window->devicePixelRatio();
    const qreal left = origin->dst_x - qreal(edge[0]);
    const qreal top = origin->dst_y - qreal(edge[2]);
    const qreal right = origin->dst_x + qreal(geometry->width) + edge[1];
    const qreal bottom = origin->dst_y + qreal(geometry->height) + edge[3];
    return QRect(QPoint(std::floor(left / ratio), std::floor(top / ratio)),
                 QPoint(std::ceil(right / ratio) - 1, std::ceil(bottom / ratio) - 1));
}

// The frame, title bar and all, lies in the available area; a window whose
// designed size fits there keeps it.
void verifyOnScreen(QWidget *window, const QSize &designed)
{
    QTRY_VERIFY(!FrameDrawnAround(window).isEmpty());
    const QRect area = window->screen()->availableGeometry();
    QTRY_VERIFY2(area.contains(FrameDrawnAround(window)),
                 qPrintable(describe(FrameDrawnAround(window)) + QStringLiteral(" on ") + describe(area)));
    const QRect frame = FrameDrawnAround(window);
    const QRect inner = window->geometry();
    const QSize room = area.size() - (frame.size() - inner.size());
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
            // Closed however the checks end, so that a failure ends the test.
            const auto close = qScopeGuard([box] { box->accept(); });
            verifyOnScreen(box, DesignedSize(box));
            // Its layout asks again, as a change of style makes it: the box
            // keeps the size it was fitted to.
            const QSize fitted = box->size();
            QEvent request(QEvent::LayoutRequest);
            QApplication::sendEvent(box, &request);
            QCOMPARE(box->size(), fitted);
            checked = true;
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
