#include "designedlayout.h"
#include "fakeconverter.h"
#include "ground/failure.h"
#include "isolatedenvironment.h"
#include "mouseevents.h"
#include "preview/form2.h"
#include "preview/picturebox.h"
#include "preview/rounding.h"
#include "previewzoom.h"
#include "scriptedprompts.h"
#include "smallfilesystem.h"
#include "testfiles.h"
#include "widgets/mousepointer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QPainter>
#include <QRandomGenerator>
#include <QScreen>
#include <QScrollBar>
#include <QTest>

#include <cerrno>
#include <climits>
#include <cstring>
#include <cmath>

namespace {

// Stripes and a disc, so that a wrong stretch or a lost redraw shows in the pixels.
QImage drawnPicture(int width, int height)
{
    QImage picture(width, height, QImage::Format_RGB32);
    picture.fill(Qt::white);
    QPainter painter(&picture);
    painter.setPen(Qt::black);
    for (int x = 0; x < width; x += 7)
        painter.drawLine(x, 0, x, height);
    painter.setBrush(Qt::red);
    painter.drawEllipse(QRect(0, 0, width, height).adjusted(width / 5, height / 5, -width / 5, -height / 5));
    return picture;
}

// The window as a user meets it: its controls by their names, its zoom and
// scroll position by what the picture shows.
struct Preview {
    explicit Preview(const QImage &picture)
    {
        form.setEndProgram([this] { ++programEnds; });
        form.setPicture(picture);
        form.show();
    }
    template<typename T = QWidget>
    T *control(const QString &name) const
    {
        T *found = form.findChild<T *>(name);
        if (!found)
            qFatal("Form2 has no %s", qPrintable(name));
        return found;
    }
    PictureBox *picture() const { return control<PictureBox>(QStringLiteral("Picture1")); }
    QScrollBar *bar(Qt::Orientation orientation) const
    {
        return control<QScrollBar>(orientation == Qt::Horizontal ? QStringLiteral("HScroll1")
                                                                   : QStringLiteral("VScroll1"));
    }
    void click(const char *button) const { control<QAbstractButton>(QLatin1String(button))->click(); }
    void zoom(int ins, int outs)
    {
        for (int i = 0; i < ins; ++i)
            click("PushButton1");
        for (int i = 0; i < outs; ++i)
            click("PushButton2");
    }
    // A picture wider than the viewport first shows below 1.0.
    void zoomToOne(QSize original)
    {
        for (int i = 0; i < 3 && picture()->size() != original; ++i)
            click("PushButton1");
    }
    QSize viewport() const { return control(QStringLiteral("Picture2"))->size(); }
    QPoint picturePos() const { return picture()->pos(); }
    QPoint barValues() const { return {bar(Qt::Horizontal)->value(), bar(Qt::Vertical)->value()}; }

    ScriptedPrompts prompts;
    FakeConverter engine;
    QWidget mainWindow;
    Form2 form{prompts, engine, &mainWindow};
    int programEnds = 0;
};

const QString kWorkbookBytes = QStringLiteral("workbook bytes");

} // namespace

class TestForm2 : public QObject
{
    Q_OBJECT

private slots:
    void layout_data();
    void layout();
    void firstView_data();
    void firstView();
    void frameTakesWindowColour();
    void sharpAtDevicePixels();
    void zoomSteps_data();
    void zoomSteps();
    void zoomRedrawsFromUnscaledCopy();
    void manyFastZoomClicks();
    void scrollBars_data();
    void scrollBars();
    void zoomRecomputesScrollBars();
    void zoomAfterUnsnappedDrag();
    void rounding_data();
    void rounding();
    void scrollbarByPercent_data();
    void scrollbarByPercent();
    void drag_data();
    void drag();
    void hover_data();
    void hover();
    void noPicture();
    void newPictureAfterBack();
    void save_data();
    void save();
    void saveToAFileSystemThatRefuses_data();
    void saveToAFileSystemThatRefuses();
    void twoSavesUnderTwoNames();
    void back_data();
    void back();
    void closing_data();
    void closing();
};

void TestForm2::layout_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QRect>("geometry");   // pixels at 96 DPI, relative to the parent

    QTest::newRow("HScroll1") << "HScroll1" << DesignedPixels("Form2", "HScroll1");
    QTest::newRow("VScroll1") << "VScroll1" << DesignedPixels("Form2", "VScroll1");
    QTest::newRow("Picture2") << "Picture2" << DesignedPixels("Form2", "Picture2");
    QTest::newRow("Frame1") << "Frame1" << DesignedPixels("Form2", "Frame1");
    QTest::newRow("Zoom In") << "PushButton1" << DesignedPixels("Form2", "PushButton1");
    QTest::newRow("Zoom Out") << "PushButton2" << DesignedPixels("Form2", "PushButton2");
    QTest::newRow("< Back") << "PushButton8" << DesignedPixels("Form2", "PushButton8");
    QTest::newRow("Save") << "PushButton6" << DesignedPixels("Form2", "PushButton6");
    QTest::newRow("Zoom_Ori") << "Zoom_Ori" << QRect(688, 32, 49, 25);
}

void TestForm2::layout()
{
    QFETCH(QString, control);
    QFETCH(QRect, geometry);
    if (QGuiApplication::primaryScreen()->logicalDotsPerInchX() != 96)
        QSKIP("the layout figures are for 96 DPI");

    Preview p(drawnPicture(100, 80));
    QCOMPARE(p.form.size(), QSize(656, 626));
    QCOMPARE(p.form.minimumSize(), p.form.maximumSize());
    QCOMPARE(p.form.windowTitle(), QStringLiteral("Preview"));
    QVERIFY(!(p.form.windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(!p.control(QStringLiteral("Zoom_Ori"))->isVisible());
    QCOMPARE(p.control<QGroupBox>(QStringLiteral("Frame1"))->title(), QStringLiteral("Zoom:"));

    // The holder takes the picture's size at set-up; only its place is fixed.
    if (control == "Zoom_Ori")
        QCOMPARE(p.control(control)->pos(), geometry.topLeft());
    else
        QCOMPARE(p.control(control)->geometry(), geometry);
}

void TestForm2::firstView_data()
{
    QTest::addColumn<int>("widthOverViewport");   // picture width less the viewport's
    QTest::addColumn<int>("timesViewport");       // or, when not 0, that many viewport widths
    QTest::addColumn<int>("height");
    QTest::addColumn<float>("zoom");
    QTest::addColumn<bool>("scrollsAcross");
    QTest::addColumn<bool>("scrollsDown");

    QTest::newRow("fits: 1.0") << 0 << 0 << 100 << 1.0f << false << false;
    QTest::newRow("a pixel too wide: 0.75") << 1 << 0 << 100 << 0.75f << false << false;
    QTest::newRow("twice as wide: 0.5") << 0 << 2 << 100 << 0.5f << false << false;
    QTest::newRow("ten times as wide: never below 0.25") << 0 << 10 << 100 << 0.25f << true << false;
    QTest::newRow("a long list still scrolls down") << 200 << 0 << 8000 << 0.75f << false << true;
    // At 0.75 it would be 9000 high, at the size limit.
    QTest::newRow("a longer list: the largest step that can be drawn")
            << 200 << 0 << 12000 << 0.5f << false << true;
}

// The first view shows the picture's whole width, chart and all.
void TestForm2::firstView()
{
    QFETCH(int, widthOverViewport);
    QFETCH(int, timesViewport);
    QFETCH(int, height);
    QFETCH(float, zoom);
    QFETCH(bool, scrollsAcross);
    QFETCH(bool, scrollsDown);

    Preview probe(drawnPicture(1, 1));
    const int viewport = probe.viewport().width();
    const int width = timesViewport ? timesViewport * viewport : viewport + widthOverViewport;
    Preview p(drawnPicture(width, height));
    QCOMPARE(p.picture()->size(), ZoomedSize(QSize(width, height), zoom));
    QCOMPARE(p.bar(Qt::Horizontal)->isEnabled(), scrollsAcross);
    QCOMPARE(p.bar(Qt::Vertical)->isEnabled(), scrollsDown);
    QCOMPARE(p.picturePos(), QPoint(0, 0));
    // Zooming goes on from there in the usual steps.
    p.zoom(0, 1);
    QCOMPARE(p.picture()->size(), ZoomedSize(QSize(width, height), std::max(zoom - 0.25f, 0.25f)));
}

void TestForm2::frameTakesWindowColour()
{
    Preview p(drawnPicture(10, 10));
    const QImage frame = p.control(QStringLiteral("Frame1"))->grab().toImage();
    // Between "Zoom In" and "Zoom Out", inside the frame's outline.
    const QRect zoomIn = p.control(QStringLiteral("PushButton1"))->geometry();
    const int gapX = (zoomIn.right() + p.control(QStringLiteral("PushButton2"))->geometry().left()) / 2;
    const QColor inside = frame.pixelColor(gapX, zoomIn.center().y());
    QCOMPARE(inside.name(), p.form.palette().color(QPalette::Window).name());
}

// Run at QT_SCALE_FACTOR=2 as well: at zoom 1.0 each of the picture's pixels
// lies on one device pixel, and the layout's arithmetic counts its own units.
void TestForm2::sharpAtDevicePixels()
{
    const QImage picture = drawnPicture(401, 300);
    Preview p(picture);
    const qreal ratio = p.form.devicePixelRatioF();
    QCOMPARE(ratio, qEnvironmentVariable("QT_SCALE_FACTOR", QStringLiteral("1")).toDouble());
    const QSize layout(int(401 / ratio), int(300 / ratio));
    QCOMPARE(p.picture()->size(), layout);

    // Picture1's client area lies inside its one-unit border.
    const QSize client = p.picture()->clientSize();
    QImage shown = p.picture()->grab(QRect(QPoint(1, 1), client)).toImage()
                           .convertToFormat(QImage::Format_RGB32);
    QCOMPARE(shown.size(), client * ratio);
    shown.setDevicePixelRatio(1);
    QCOMPARE(shown, picture.copy(QRect(QPoint(0, 0), shown.size())));

    p.zoom(1, 0);
    QCOMPARE(p.picture()->size(), ZoomedSize(layout, 1.25f));
    QCOMPARE(p.picture()->drawing().size(), p.picture()->size() * ratio);
}

void TestForm2::zoomSteps_data()
{
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<int>("ins");
    QTest::addColumn<int>("outs");
    QTest::addColumn<float>("zoom");
    QTest::addColumn<QSize>("shown");   // Picture1's outer size afterwards

    QTest::newRow("twelve in reach 4.0") << QSize(200, 150) << 12 << 0 << 4.0f << QSize(800, 600);
    QTest::newRow("thirteenth in does nothing") << QSize(200, 150) << 13 << 0 << 4.0f << QSize(800, 600);
    QTest::newRow("three out reach 0.25") << QSize(200, 150) << 0 << 3 << 0.25f << QSize(50, 37);
    QTest::newRow("fourth out does nothing") << QSize(200, 150) << 0 << 4 << 0.25f << QSize(50, 37);
    QTest::newRow("in and out again") << QSize(200, 150) << 5 << 5 << 1.0f << QSize(200, 150);
    // 1000 wide first shows at 0.5.
    QTest::newRow("1000 wide at 3.75") << QSize(1000, 10) << 13 << 0 << 3.75f << QSize(3750, 37);
    QTest::newRow("1000 wide: 4.0 hits the limit, view stays")
            << QSize(1000, 10) << 14 << 0 << 1.0f << QSize(3750, 37);
    QTest::newRow("1000 wide: resumes at 1.25") << QSize(1000, 10) << 15 << 0 << 1.25f << QSize(1250, 12);
    QTest::newRow("2250 tall: 4.0 hits the height limit")
            << QSize(10, 2250) << 12 << 0 << 1.0f << QSize(37, 8437);
    QTest::newRow("4000 wide first shows at 0.25") << QSize(4000, 10) << 0 << 0 << 0.25f << QSize(1000, 2);
    QTest::newRow("4000 wide: 1.0 hits the limit, view stays")
            << QSize(4000, 10) << 3 << 0 << 1.0f << QSize(3000, 7);
    QTest::newRow("9000 tall handed over: in changes nothing")
            << QSize(10, 9000) << 1 << 0 << 1.0f << QSize(12, 9002);
    QTest::newRow("1 x 1 at 4.0") << QSize(1, 1) << 12 << 0 << 4.0f << QSize(4, 4);
    QTest::newRow("1 x 1 at 0.25") << QSize(1, 1) << 0 << 3 << 0.25f << QSize(0, 0);
}

void TestForm2::zoomSteps()
{
    QFETCH(QSize, picture);
    QFETCH(int, ins);
    QFETCH(int, outs);
    QFETCH(float, zoom);
    QFETCH(QSize, shown);

    Preview p(drawnPicture(picture.width(), picture.height()));
    p.zoom(ins, outs);
    QCOMPARE(p.picture()->size(), shown);
    // Where the zoom stands shows in the next "Zoom Out": one step below it, or
    // nothing at the smallest step.
    p.zoom(0, 1);
    QCOMPARE(p.picture()->size(), zoom > 0.25f ? ZoomedSize(picture, zoom - 0.25f) : shown);
    QCOMPARE(p.prompts.shown.size(), 0);
}

void TestForm2::zoomRedrawsFromUnscaledCopy()
{
    Preview p(drawnPicture(300, 200));
    const QImage atSetup = p.picture()->drawing();
    p.zoom(0, 3);
    p.zoom(3, 0);
    QCOMPARE(p.picture()->size(), QSize(300, 200));
    // Scaling the 0.25 image back up would have lost the stripes.
    QCOMPARE(p.picture()->drawing(), atSetup);
    QCOMPARE(atSetup.convertToFormat(QImage::Format_RGB32), drawnPicture(300, 200));
}

void TestForm2::manyFastZoomClicks()
{
    Preview p(drawnPicture(300, 200));
    QRandomGenerator random(4);
    float zoom = 1.0f;
    for (int i = 0; i < 1000; ++i) {
        if (random.bounded(2)) {
            p.click("PushButton1");
            zoom = std::min(zoom + 0.25f, 4.0f);
        } else {
            p.click("PushButton2");
            zoom = std::max(zoom - 0.25f, 0.25f);
        }
        QCOMPARE(p.picture()->size(), ZoomedSize(QSize(300, 200), zoom));
    }
    QCOMPARE(p.prompts.shown.size(), 0);
}

void TestForm2::scrollBars_data()
{
    QTest::addColumn<Qt::Orientation>("orientation");
    QTest::addColumn<int>("overhang");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<int>("unit");
    QTest::addColumn<int>("offsetAtMaximum");

    QTest::newRow("across, 50 px") << Qt::Horizontal << 50 << true << 50 << 1 << -50;
    QTest::newRow("across, 1234 px") << Qt::Horizontal << 1234 << true << 123 << 10 << -1230;
    QTest::newRow("across, 100 px still pixelwise") << Qt::Horizontal << 100 << true << 100 << 1 << -100;
    QTest::newRow("across, 105 px: 10.5 to even") << Qt::Horizontal << 105 << true << 10 << 10 << -100;
    QTest::newRow("across, 115 px: 11.5 to even") << Qt::Horizontal << 115 << true << 12 << 10 << -120;
    QTest::newRow("across, fits") << Qt::Horizontal << 0 << false << 0 << 0 << 0;
    QTest::newRow("down, 50 px") << Qt::Vertical << 50 << true << 50 << 1 << -50;
    QTest::newRow("down, 1234 px") << Qt::Vertical << 1234 << true << 123 << 10 << -1230;
    QTest::newRow("down, fits") << Qt::Vertical << -100 << false << 0 << 0 << 0;
}

void TestForm2::scrollBars()
{
    QFETCH(Qt::Orientation, orientation);
    QFETCH(int, overhang);
    QFETCH(bool, enabled);
    QFETCH(int, maximum);
    QFETCH(int, unit);
    QFETCH(int, offsetAtMaximum);

    const bool across = orientation == Qt::Horizontal;
    QSize size(100, 100);
    Preview probe(drawnPicture(1, 1));
    const QSize viewport = probe.viewport();
    (across ? size.rwidth() : size.rheight()) = (across ? viewport.width() : viewport.height()) + overhang;

    Preview p(drawnPicture(size.width(), size.height()));
    p.zoomToOne(size);
    QCOMPARE(p.picture()->size(), size);
    QScrollBar *bar = p.bar(orientation);
    QCOMPARE(bar->isEnabled(), enabled);
    QCOMPARE(bar->maximum(), maximum);
    QCOMPARE(bar->value(), 0);
    QCOMPARE(p.picturePos(), QPoint(0, 0));
    // Each step of the bar moves the picture by the unit. A bar out of use has
    // no steps; given one, it still moves nothing.
    if (!enabled)
        bar->setMaximum(1);
    bar->setValue(1);
    QCOMPARE(across ? p.picturePos().x() : p.picturePos().y(), -unit);
    bar->setValue(bar->maximum());
    QCOMPARE(across ? p.picturePos().x() : p.picturePos().y(), offsetAtMaximum);
    QCOMPARE(across ? p.picturePos().y() : p.picturePos().x(), 0);
}

void TestForm2::zoomRecomputesScrollBars()
{
    Preview probe(drawnPicture(1, 1));
    const int width = probe.viewport().width() - 22;   // fits at 1.0, not at 1.25
    Preview p(drawnPicture(width, 100));
    QScrollBar *bar = p.bar(Qt::Horizontal);
    QVERIFY(!bar->isEnabled());

    p.zoom(1, 0);   // 1.25: overhang (width * 1.25) - viewport
    const int overhang = int(width * 1.25) - p.viewport().width();
    QVERIFY(overhang > 100);
    QVERIFY(bar->isEnabled());
    QCOMPARE(bar->maximum(), qRound(overhang / 10.0));
    bar->setValue(1);
    QCOMPARE(p.picturePos().x(), -10);
    bar->setValue(bar->maximum());
    QCOMPARE(p.picturePos().x(), -10 * bar->maximum());

    p.zoom(0, 1);   // back to 1.0: the picture goes back to the edge, bar out of use
    QCOMPARE(p.picturePos(), QPoint(0, 0));
    QCOMPARE(bar->value(), 0);
    QVERIFY(!bar->isEnabled());
    // The bar keeps its old range, but moved even so it moves nothing.
    QVERIFY(bar->maximum() > 0);
    bar->setValue(bar->maximum());
    QCOMPARE(p.picturePos(), QPoint(0, 0));
}

void TestForm2::zoomAfterUnsnappedDrag()
{
    // A picture smaller than the viewport jumps to the right and bottom edges on
    // a drag, and the release leaves the bars at 0. The zoomed picture must still
    // start at the edge, where the bars at 0 say it is.
    Preview p(drawnPicture(200, 150));
    QWidget *picture = p.picture();
    SendMouse(picture, QEvent::MouseButtonPress, QPointF(20, 20), Qt::LeftButton, Qt::LeftButton);
    SendMouse(picture, QEvent::MouseMove, QPointF(19, 19), Qt::NoButton, Qt::LeftButton);
    SendMouse(picture, QEvent::MouseButtonRelease, QPointF(20, 20), Qt::LeftButton, Qt::NoButton);
    QVERIFY(p.picturePos().x() > 0 && p.picturePos().y() > 0);

    p.zoom(1, 0);
    QCOMPARE(p.picture()->size(), ZoomedSize(QSize(200, 150), 1.25f));
    QCOMPARE(p.barValues(), QPoint(0, 0));
    QCOMPARE(p.picturePos(), QPoint(0, 0));
}

void TestForm2::rounding_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<qint64>("expected");

    QTest::newRow("61.5 up to even") << 61.5 << qint64(62);
    QTest::newRow("12.5 down to even") << 12.5 << qint64(12);
    QTest::newRow("13.5 up to even") << 13.5 << qint64(14);
    QTest::newRow("45.51 nearest") << 45.51 << qint64(46);
    QTest::newRow("-2.5 to even") << -2.5 << qint64(-2);
    QTest::newRow("32767.4 largest 16-bit") << 32767.4 << qint64(32767);
    QTest::newRow("32767.5 past 16 bits") << 32767.5 << qint64(32768);
    QTest::newRow("-32768.5 to even, smallest 16-bit") << -32768.5 << qint64(-32768);
    QTest::newRow("-32769 past 16 bits") << -32769.0 << qint64(-32769);
    QTest::newRow("3e9 past 32 bits") << 3e9 << qint64(3000000000);
}

void TestForm2::rounding()
{
    QFETCH(double, value);
    QFETCH(qint64, expected);
    if (expected >= -32768 && expected <= 32767)
        QCOMPARE(qint64(RoundToInt16(value)), expected);
    else
        QVERIFY_THROWS_EXCEPTION(Failure, RoundToInt16(value));
    if (expected >= INT_MIN && expected <= INT_MAX)
        QCOMPARE(qint64(RoundToInt32(value)), expected);
    else
        QVERIFY_THROWS_EXCEPTION(Failure, RoundToInt32(value));
}

void TestForm2::scrollbarByPercent_data()
{
    QTest::addColumn<int>("maximum");
    QTest::addColumn<int>("percent");
    QTest::addColumn<int>("expected");   // starting value is 7

    QTest::newRow("50 of 123: 61.5 to 62") << 123 << 50 << 62;
    QTest::newRow("37 of 123: 45.51 to 46") << 123 << 37 << 46;
    QTest::newRow("100 is the maximum") << 123 << 100 << 123;
    QTest::newRow("0 is the start") << 123 << 0 << 0;
    QTest::newRow("101 changes nothing") << 123 << 101 << 7;
    QTest::newRow("-1 changes nothing") << 123 << -1 << 7;
    QTest::newRow("50 of 25: 12.5 to 12") << 25 << 50 << 12;
}

void TestForm2::scrollbarByPercent()
{
    QFETCH(int, maximum);
    QFETCH(int, percent);
    QFETCH(int, expected);

    QScrollBar horizontal(Qt::Horizontal), vertical(Qt::Vertical);
    for (QScrollBar *bar : {&horizontal, &vertical}) {
        bar->setRange(0, maximum);
        bar->setValue(7);
    }
    Form2::SetHScrollbarByPercent(&horizontal, qint16(percent));
    Form2::SetVScrollbarByPercent(&vertical, qint16(percent));
    QCOMPARE(horizontal.value(), expected);
    QCOMPARE(vertical.value(), expected);
}

void TestForm2::drag_data()
{
    QTest::addColumn<QSize>("overhang");   // picture's outer size less the viewport's
    QTest::addColumn<QPoint>("move");      // pointer travel while the button is held
    QTest::addColumn<QPoint>("dragged");   // Picture1's position before release
    QTest::addColumn<QPoint>("released");  // and after
    QTest::addColumn<QPoint>("values");    // HScroll1, VScroll1 after release

    QTest::newRow("right from the start stays")
            << QSize(1234, 50) << QPoint(80, 30) << QPoint(0, 0) << QPoint(0, 0) << QPoint(0, 0);
    QTest::newRow("release snaps to the step grid")
            << QSize(1234, 0) << QPoint(-457, 0) << QPoint(-457, 0) << QPoint(-460, 0) << QPoint(46, 0);
    QTest::newRow("far left stops at the overhang")
            << QSize(300, 50) << QPoint(-100000, -100000) << QPoint(-300, -50)
            << QPoint(-300, -50) << QPoint(30, 50);
    QTest::newRow("narrower picture jumps to the right edge")
            << QSize(-422, 50) << QPoint(-1, -20) << QPoint(422, -20) << QPoint(422, -20)
            << QPoint(0, 20);
    QTest::newRow("fine steps land on the pixel")
            << QSize(80, 90) << QPoint(-33, -45) << QPoint(-33, -45) << QPoint(-33, -45)
            << QPoint(33, 45);
    QTest::newRow("a click without movement keeps all")
            << QSize(1234, 1234) << QPoint(0, 0) << QPoint(0, 0) << QPoint(0, 0) << QPoint(0, 0);
}

void TestForm2::drag()
{
    QFETCH(QSize, overhang);
    QFETCH(QPoint, move);
    QFETCH(QPoint, dragged);
    QFETCH(QPoint, released);
    QFETCH(QPoint, values);

    Preview probe(drawnPicture(1, 1));
    const QSize size = probe.viewport() + overhang;
    Preview p(drawnPicture(size.width(), size.height()));
    p.zoomToOne(size);
    QWidget *picture = p.picture();
    QCOMPARE(picture->size(), size);

    const QPointF grab(20, 20);
    SendMouse(picture, QEvent::MouseButtonPress, grab, Qt::LeftButton, Qt::LeftButton);
    SendMouse(picture, QEvent::MouseMove, grab + move, Qt::NoButton, Qt::LeftButton);
    QCOMPARE(p.picturePos(), dragged);
    // Without a button held a move is no drag.
    SendMouse(picture, QEvent::MouseMove, grab + QPointF(-5, -5), Qt::NoButton, Qt::NoButton);
    QCOMPARE(p.picturePos(), dragged);

    const QPointF under = picture->mapFromGlobal(picture->mapToGlobal(grab + move));
    SendMouse(picture, QEvent::MouseButtonRelease, under, Qt::LeftButton, Qt::NoButton);
    QCOMPARE(p.picturePos(), released);
    QCOMPARE(p.barValues(), values);
    QCOMPARE(p.prompts.shown.size(), 0);
}

// The build puts the hand's cursor file beside this test program, as it lies
// beside the program: the window's pointer then shows its setting, 99 the
// hand, 0 the default pointer.
void TestForm2::hover_data()
{
    QTest::addColumn<QString>("over");
    QTest::addColumn<int>("before");
    QTest::addColumn<int>("after");

    QTest::newRow("Zoom In turns to the hand") << "PushButton1" << 0 << 99;
    QTest::newRow("< Back turns to the hand") << "PushButton8" << 0 << 99;
    QTest::newRow("Save turns to the hand") << "PushButton6" << 0 << 99;
    QTest::newRow("Frame1 back to default") << "Frame1" << 99 << 0;
    QTest::newRow("surface back to default") << "Form2" << 99 << 0;
    QTest::newRow("viewport leaves it") << "Picture2" << 99 << 99;
    QTest::newRow("picture leaves it") << "Picture1" << 99 << 99;
    QTest::newRow("scroll bar leaves it") << "VScroll1" << 99 << 99;
    QTest::newRow("scroll bar leaves the default") << "HScroll1" << 0 << 0;
}

void TestForm2::hover()
{
    QFETCH(QString, over);
    QFETCH(int, before);
    QFETCH(int, after);
    const auto shape = [](int setting) {
        return setting == MousePointer::Custom ? Qt::BitmapCursor : Qt::ArrowCursor;
    };

    Preview p(drawnPicture(100, 80));
    QWidget *target = over == "Form2" ? &p.form : p.control(over);
    p.picture()->setMouseTracking(true);   // so that its moves are delivered at all
    if (before == MousePointer::Custom)
        SendMouse(p.control(QStringLiteral("PushButton2")), QEvent::MouseMove, QPointF(2, 2),
                  Qt::NoButton, Qt::NoButton);
    QCOMPARE(p.form.cursor().shape(), shape(before));
    SendMouse(target, QEvent::MouseMove, QPointF(2, 2), Qt::NoButton, Qt::NoButton);
    QCOMPARE(p.form.cursor().shape(), shape(after));
}

void TestForm2::noPicture()
{
    Preview p{QImage()};
    QVERIFY(!p.picture()->isVisible());
    QVERIFY(!p.bar(Qt::Horizontal)->isEnabled());
    QVERIFY(!p.bar(Qt::Vertical)->isEnabled());
    const QSize before = p.picture()->size();
    p.zoom(3, 1);
    QCOMPARE(p.picture()->size(), before);
    QVERIFY(p.picture()->drawing().isNull());
    QCOMPARE(p.prompts.shown.size(), 0);
}

void TestForm2::newPictureAfterBack()
{
    Preview p(drawnPicture(800, 600));
    p.zoom(2, 0);
    QScrollBar *bar = p.bar(Qt::Horizontal);
    bar->setValue(bar->maximum());
    const QPoint scrolled = p.picturePos();
    QVERIFY(scrolled.x() < 0);
    p.click("PushButton8");
    QVERIFY(!p.form.isVisible());

    // The window sets itself up for the new picture when it shows, not before.
    p.form.setPicture(drawnPicture(300, 100));
    QCOMPARE(p.picturePos(), scrolled);
    QCOMPARE(bar->value(), bar->maximum());
    p.form.show();
    QCOMPARE(p.picture()->size(), QSize(300, 100));
    QCOMPARE(p.picturePos(), QPoint(0, 0));
    p.zoom(1, 0);
    QCOMPARE(p.picture()->size(), QSize(375, 125));
    QCOMPARE(p.picture()->drawing(),
             drawnPicture(300, 100).scaled(375, 125, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    // Once: a later activation leaves the view as the user left it.
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(&p.form, &activate);
    QVERIFY(p.picture()->isVisible());
    QCOMPARE(p.picture()->size(), QSize(375, 125));
}

void TestForm2::save_data()
{
    QTest::addColumn<QString>("name");          // as the dialog answers; "" cancels
    QTest::addColumn<QByteArray>("existing");   // what lies at the name before; empty: nothing
    QTest::addColumn<QString>("fail");          // "workbook gone", "dialog", "question"
    QTest::addColumn<int>("answer");            // to the overwrite question, if asked
    QTest::addColumn<QByteArray>("afterwards"); // at the name; empty: no file
    QTest::addColumn<QList<int>>("reports");

    const QByteArray book = kWorkbookBytes.toUtf8();
    const int yes = int(MsgAnswer::Yes), no = int(MsgAnswer::No), none = -1;
    QTest::newRow("cancel") << "" << QByteArray() << "" << none << QByteArray() << QList<int>{};
    QTest::newRow("new name") << "result.xls" << QByteArray() << "" << none << book << QList<int>{};
    QTest::newRow("existing, No") << "old.xls" << QByteArray("old") << "" << no << QByteArray("old")
                                  << QList<int>{};
    QTest::newRow("existing, Yes") << "old.xls" << QByteArray("old") << "" << yes << book << QList<int>{};
    QTest::newRow("no .xls suffix") << "result" << QByteArray() << "" << none << book << QList<int>{};
    QTest::newRow("folder missing") << "nowhere/result.xls" << QByteArray() << "" << none
                                    << QByteArray() << QList<int>{130};
    QTest::newRow("a folder as destination") << "afolder" << QByteArray() << "" << yes << QByteArray()
                                             << QList<int>{130};
    QTest::newRow("over a read-only file") << "old.xls" << QByteArray("old") << "read-only" << yes
                                           << QByteArray("old") << QList<int>{130};
    QTest::newRow("name with a newline") << "two\nlines.xls" << QByteArray() << "" << none << book
                                         << QList<int>{};
    QTest::newRow("name with bytes that are not UTF-8")
            << QFile::decodeName("caf\xe9 \xff.xls") << QByteArray() << "" << none << book << QList<int>{};
    QTest::newRow("workbook gone, new name") << "result.xls" << QByteArray() << "workbook gone" << none
                                             << QByteArray() << QList<int>{130};
    QTest::newRow("failing copy keeps the old file")
            << "old.xls" << QByteArray("old") << "workbook gone" << yes << QByteArray("old")
            << QList<int>{130};
    QTest::newRow("dialog fails") << "" << QByteArray() << "dialog" << none << QByteArray()
                                  << QList<int>{112};
    QTest::newRow("question fails: nothing copied")
            << "old.xls" << QByteArray("old") << "question" << none << QByteArray("old")
            << QList<int>{120};
    QTest::newRow("over the workbook itself") << "<workbook>" << QByteArray() << "" << yes << book
                                              << QList<int>{};
}

void TestForm2::save()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, existing);
    QFETCH(QString, fail);
    QFETCH(int, answer);
    QFETCH(QByteArray, afterwards);
    QFETCH(QList<int>, reports);

    IsolatedEnvironment env;
    QDir folder(env.tempFolder());
    const QString workbook = folder.filePath("tervik12345678.xls");
    if (fail != "workbook gone")
        WriteFileBytes(workbook, kWorkbookBytes.toUtf8());
    folder.mkdir("afolder");
    QString path = name.isEmpty() ? QString() : folder.filePath(name);
    if (name == "<workbook>")
        path = workbook;
    if (!existing.isEmpty())
        WriteFileBytes(path, existing);
    if (fail == "read-only")
        QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);

    Preview p(drawnPicture(100, 80));
    p.form.mExcelFile = workbook;
    if (fail == "dialog")
        p.prompts.failNext(ScriptedPrompts::Kind::SaveFile, "dialog broke");
    else
        p.prompts.answerSaveFile(path);
    if (fail == "question")
        p.prompts.failNext(ScriptedPrompts::Kind::Message, "question broke");
    else if (answer >= 0)
        p.prompts.answerMessage(MsgAnswer(answer));
    p.click("PushButton6");

    QVERIFY(p.prompts.allAnswered());
    const auto &shown = p.prompts.shown;
    QCOMPARE(shown.first().kind, ScriptedPrompts::Kind::SaveFile);
    QCOMPARE(shown.first().title, QStringLiteral("Save File"));
    QCOMPARE(shown.first().filter, QStringLiteral("Excel Files (*.xls)"));
    if (answer >= 0 || fail == "question") {
        QCOMPARE(shown.at(1).text, "Are you sure you wish to overwrite " + path + " ?");
        QCOMPARE(shown.at(1).buttons, MsgButtons::YesNo);
        QCOMPARE(shown.at(1).icon, MsgIcon::None);
        QCOMPARE(shown.at(1).title, QStringLiteral("Quintarra"));
    }
    QCOMPARE(shown.last().text, QStringLiteral("Done."));
    QCOMPARE(shown.last().buttons, MsgButtons::Ok);
    QCOMPARE(shown.last().icon, MsgIcon::None);
    QCOMPARE(shown.last().title, QStringLiteral("Quintarra"));

    QList<int> reported;
    for (const QString &report : p.prompts.errorReports()) {
        QVERIFY(report.contains("in Quintarra7/29/2014.Form2.PushButton6_Click at line "));
        reported.append(report.section("at line ", 1).section('\r', 0, 0).toInt());
    }
    QCOMPARE(reported, reports);

    if (!path.isEmpty() && name != "afolder")
        QCOMPARE(ReadFileBytes(path), afterwards);
    if (name == "result")
        QVERIFY(!QFile::exists(path + ".xls"));
    if (name == "afolder")
        QVERIFY(QFileInfo(path).isDir());
    if (fail != "workbook gone")
        QCOMPARE(ReadFileBytes(workbook), kWorkbookBytes.toUtf8());
    // Nothing half-written is left beside the destination.
    QCOMPARE(folder.entryList(QDir::Files | QDir::Hidden).filter(".part").size(), 0);
}

void TestForm2::saveToAFileSystemThatRefuses_data()
{
    QTest::addColumn<bool>("full");   // else read-only
    QTest::newRow("full file system") << true;
    QTest::newRow("read-only file system") << false;
}

void TestForm2::saveToAFileSystemThatRefuses()
{
    QFETCH(bool, full);
    IsolatedEnvironment env;
    const QString workbook = QDir(env.tempFolder()).filePath("tervik12345678.xls");
    WriteFileBytes(workbook, QByteArray(8704, 'w'));
    SmallFileSystem fs(64 << 10);
    if (!fs.mounted())
        QSKIP(qPrintable(fs.why()));
    const QString old = fs.path() + "/old.xls";
    WriteFileBytes(old, QByteArray(3000, 'o'));
    QVERIFY(full ? (fs.fill(), true) : fs.makeReadOnly());

    Preview p(drawnPicture(100, 80));
    p.form.mExcelFile = workbook;
    p.prompts.answerSaveFile(old);
    p.prompts.answerMessage(MsgAnswer::Yes);
    p.click("PushButton6");

    QVERIFY(p.prompts.allAnswered());
    const QStringList reports = p.prompts.errorReports();
    QCOMPARE(reports.size(), 1);
    const QString said = QString::fromLocal8Bit(std::strerror(full ? ENOSPC : EROFS));
    QVERIFY2(reports.first().startsWith("Cannot write " + old + ": " + said + "\r\n"), qPrintable(reports.first()));
    QVERIFY(reports.first().contains("PushButton6_Click at line 130"));
    QCOMPARE(p.prompts.shown.last().text, QStringLiteral("Done."));
    QCOMPARE(ReadFileBytes(old), QByteArray(3000, 'o'));
    QCOMPARE(QDir(fs.path()).entryList(QDir::Files | QDir::Hidden).filter(".part").size(), 0);
}

void TestForm2::twoSavesUnderTwoNames()
{
    IsolatedEnvironment env;
    QDir folder(env.tempFolder());
    const QString workbook = folder.filePath("tervik00000001.xls");
    WriteFileBytes(workbook, kWorkbookBytes.toUtf8());
    Preview p(drawnPicture(100, 80));
    p.form.mExcelFile = workbook;
    p.prompts.answerSaveFile(folder.filePath("first.xls"));
    p.click("PushButton6");
    p.prompts.answerSaveFile(folder.filePath("second.xls"));
    p.click("PushButton6");
    QCOMPARE(ReadFileBytes(folder.filePath("first.xls")), kWorkbookBytes.toUtf8());
    QCOMPARE(ReadFileBytes(folder.filePath("second.xls")), kWorkbookBytes.toUtf8());
    QCOMPARE(ReadFileBytes(workbook), kWorkbookBytes.toUtf8());
    QVERIFY(p.prompts.errorReports().isEmpty());
}

void TestForm2::back_data()
{
    QTest::addColumn<bool>("workbookThere");
    QTest::newRow("with the workbook") << true;
    QTest::newRow("workbook already gone") << false;
}

void TestForm2::back()
{
    QFETCH(bool, workbookThere);
    IsolatedEnvironment env;
    const QString workbook = QDir(env.tempFolder()).filePath("tervik11111111.xls");
    if (workbookThere)
        WriteFileBytes(workbook, kWorkbookBytes.toUtf8());

    Preview p(drawnPicture(100, 80));
    p.form.mExcelFile = workbook;
    p.mainWindow.hide();
    p.click("PushButton8");
    QVERIFY(!QFile::exists(workbook));
    QVERIFY(p.mainWindow.isVisible());
    QVERIFY(!p.form.isVisible());
    QCOMPARE(p.form.mExcelFile, workbook);
    QCOMPARE(p.programEnds, 0);
    QCOMPARE(p.prompts.shown.size(), 0);
}

void TestForm2::closing_data()
{
    back_data();
}

void TestForm2::closing()
{
    QFETCH(bool, workbookThere);
    IsolatedEnvironment env;
    const QString workbook = QDir(env.tempFolder()).filePath("tervik22222222.xls");
    if (workbookThere)
        WriteFileBytes(workbook, kWorkbookBytes.toUtf8());

    Preview p(drawnPicture(100, 80));
    p.form.mExcelFile = workbook;
    QVERIFY(p.form.close());
    QVERIFY(!QFile::exists(workbook));
    QCOMPARE(p.programEnds, 1);
    QCOMPARE(p.prompts.shown.size(), 0);
}

QTEST_MAIN(TestForm2)
#include "tst_form2.moc"
