#include "preview/form2.h"

#include "chart/ownedworkbooks.h"
#include "ground/applicationidentity.h"
#include "ground/failure.h"
#include "ground/filereplace.h"
#include "ground/guard.h"
#include "ground/mainroutines.h"
#include "ground/prompts.h"
#include "preview/frame.h"
#include "preview/pictureactions.h"
#include "preview/picturebox.h"
#include "preview/rounding.h"
#include "preview/scrollbars.h"
#include "preview/zoom.h"
#include "widgets/centerform.h"
#include "widgets/formcolors.h"
#include "widgets/pushbutton.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QMouseEvent>
#include <QScrollBar>

#include <cmath>
#include <limits>
#include <optional>

namespace {

// Handlers of scroll and mouse events have no error report; a failure there
// (a checked conversion that overflows) drops the rest of that handler.
template<typename F>
void unreported(const char *handler, F &&body)
{
    try {
        std::forward<F>(body)();
    } catch (const std::exception &e) {
        qWarning("%s: %s", handler, e.what());
    }
}

} // namespace

Form2::Form2(Prompts &prompts, SpreadsheetServer &server, QWidget *mainWindow, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                      | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                      | Qt::WindowCloseButtonHint)
    , mPrompts(prompts)
    , mMainWindow(mainWindow)
    // exit() rather than quit(): quit() would first close the hidden main
    // window, which would run its own closing work.
    , mEndProgram([] { QCoreApplication::exit(0); })
{
    createControls();
    mPictureActions = new PictureActions(prompts, server, *this, *mPicture1, mExcelFile);
    Form_Load();
}

void Form2::createControls()
{
    setWindowTitle(QStringLiteral("Preview"));
    setWindowIcon(ProgramIcon());
    setFixedSize(TwipsToPixels(9840), TwipsToPixels(9390));
    QFont face(QStringLiteral("Arial"));
    face.setPointSize(9);
    face.setWeight(QFont::Bold);
    setFont(face);
    setMouseTracking(true);

    createPictureArea();
    createButtons();
    keepPointerOverControls();
    connectControls();
}

// The viewport, its bars, the picture in it, and the unscaled copy's holder.
void Form2::createPictureArea()
{
    mHScroll1 = MakeViewportScrollBar(Qt::Horizontal, this);
    mHScroll1->setObjectName(QStringLiteral("HScroll1"));
    mHScroll1->setGeometry(TwipsRect(120, 7545, 9330, 255));
    mVScroll1 = MakeViewportScrollBar(Qt::Vertical, this);
    mVScroll1->setObjectName(QStringLiteral("VScroll1"));
    mVScroll1->setGeometry(TwipsRect(9450, 120, 255, 7425));

    // The viewport has no border, so its inner and outer sizes are the same.
    mPicture2 = new QWidget(this);
    mPicture2->setObjectName(QStringLiteral("Picture2"));
    mPicture2->setGeometry(TwipsRect(120, 120, 9330, 7425));
    SetBackColor(mPicture2, Qt::white);
    // Screen readers name what shows no text of its own.
    mPicture2->setAccessibleName(QStringLiteral("Chart preview"));
    mHScroll1->setAccessibleName(QStringLiteral("Scroll the chart across"));
    mVScroll1->setAccessibleName(QStringLiteral("Scroll the chart up and down"));

    // A one-pixel border: the holder (borderless) then gets the picture's size
    // plus 2, and the unscaled size, the holder's size less 2, is the picture's.
    mPicture1 = new PictureBox(1, mPicture2);
    mPicture1->setObjectName(QStringLiteral("Picture1"));
    mPicture1->setAutoSize(true);
    mPicture1->setGeometry(TwipsRect(0, 0, 2340, 3435));
    mPicture1->hide();

    // Lies outside the client area and is never shown.
    mZoomOri = new PictureBox(0, this);
    mZoomOri->setObjectName(QStringLiteral("Zoom_Ori"));
    mZoomOri->setGeometry(TwipsRect(10320, 480, 735, 375));
    mZoomOri->hide();
}

void Form2::createButtons()
{
    mFrame1 = new Frame(QStringLiteral("Zoom:"), this);
    mFrame1->setObjectName(QStringLiteral("Frame1"));
    mFrame1->setGeometry(TwipsRect(120, 7860, 9600, 855));
    mFrame1->setMouseTracking(true);
    mFrame1->installEventFilter(this);
    mPushButton1 = new PushButton(QStringLiteral("Zoom In"), mFrame1);
    mPushButton1->setObjectName(QStringLiteral("PushButton1"));
    mPushButton1->setGeometry(TwipsRect(240, 300, 4440, 405));
    mPushButton2 = new PushButton(QStringLiteral("Zoom Out"), mFrame1);
    mPushButton2->setObjectName(QStringLiteral("PushButton2"));
    mPushButton2->setGeometry(TwipsRect(4800, 300, 4560, 405));

    mPushButton8 = new PushButton(QStringLiteral("< Back"), this);
    mPushButton8->setObjectName(QStringLiteral("PushButton8"));
    mPushButton8->setGeometry(TwipsRect(120, 8850, 4680, 405));
    mPushButton6 = new PushButton(QStringLiteral("Save Results To Excel File"), this);
    mPushButton6->setObjectName(QStringLiteral("PushButton6"));
    mPushButton6->setGeometry(TwipsRect(4920, 8850, 4800, 405));
}

void Form2::keepPointerOverControls()
{
    // Movements over the picture area and the bars leave the pointer as it is,
    // and a button's movement must not reach the frame or the window behind it.
    const QList<QWidget *> keepPointer{mPicture2, mPicture1, mHScroll1, mVScroll1, mFrame1,
                                       mPushButton1, mPushButton2, mPushButton6, mPushButton8};
    for (QWidget *w : keepPointer)
        w->setAttribute(Qt::WA_NoMousePropagation);
    for (PushButton *button : {mPushButton1, mPushButton2, mPushButton6, mPushButton8})
        connect(button, &PushButton::mouseMoved, this, [this] { mMousePointer.buttonHovered(); });
}

void Form2::connectControls()
{
    setTabOrder(mHScroll1, mVScroll1);
    setTabOrder(mVScroll1, mPushButton1);
    setTabOrder(mPushButton1, mPushButton2);
    setTabOrder(mPushButton2, mPushButton6);
    setTabOrder(mPushButton6, mPushButton8);

    connect(mPushButton1, &QPushButton::clicked, this, &Form2::PushButton1_Click);
    connect(mPushButton2, &QPushButton::clicked, this, &Form2::PushButton2_Click);
    connect(mPushButton6, &QPushButton::clicked, this, &Form2::PushButton6_Click);
    connect(mPushButton8, &QPushButton::clicked, this, &Form2::PushButton8_Click);
    connect(mHScroll1, &QScrollBar::valueChanged, this, &Form2::HScroll1_Change);
    connect(mVScroll1, &QScrollBar::valueChanged, this, &Form2::VScroll1_Change);
    connect(mPicture1, &PictureBox::mousePressed, this, &Form2::Picture1_MouseDown);
    connect(mPicture1, &PictureBox::mouseMoved, this, &Form2::Picture1_MouseMove);
    connect(mPicture1, &PictureBox::mouseReleased, this, &Form2::Picture1_MouseUp);
}

void Form2::Form_Load()
{
    SetFormColors(this);
    CenterForm(this);
    LoadHandCursor(mMousePointer);
    mSetupPending = true;
}

void Form2::setPictureTop(const QImage &top, QSize whole)
{
    takePicture(top, whole);
}

void Form2::completePicture(const QImage &whole)
{
    const bool shownAlready = !mWholeSize.isEmpty() && isVisible() && !mSetupPending;
    const float zoom = mZoom;
    const QPoint place = mPicture1->pos();
    const QString name = mPicture1->accessibleName();
    const QString description = mPicture1->accessibleDescription();
    setPicture(whole);
    if (whole.isNull())
        return;
    // The whole tells the same chart as its top did.
    mPicture1->setAccessibleName(name);
    mPicture1->setAccessibleDescription(description);
    if (!shownAlready)
        return;
    unreported("completePicture", [&] {
        if (zoom != mZoom)
            SetZoom(zoom);
        if (mHScrollUnit > 0 && mHScroll1->isEnabled())
            mHScroll1->setValue(qRound(double(-place.x()) / mHScrollUnit));
        if (mVScrollUnit > 0 && mVScroll1->isEnabled())
            mVScroll1->setValue(qRound(double(-place.y()) / mVScrollUnit));
    });
}

void Form2::setPicture(const QImage &picture)
{
    takePicture(picture, QSize());
}

void Form2::takePicture(const QImage &picture, QSize whole)
{
    mWholeSize = whole;
    // On a screen of more than one device pixel to the layout's pixel, each of
    // the picture's pixels is shown on one device pixel, so that zoom 1.0 is
    // sharp; in the layout's units the picture is that much smaller.
    QImage shown = picture;
    if (!shown.isNull())
        shown.setDevicePixelRatio(devicePixelRatioF());
    mPicture1->setPicture(shown);
    describeChart(QString(), QString());
    mPictureActions->setPicture(picture, whole.isEmpty() ? PictureActions::Part::Whole : PictureActions::Part::Top);
    mPicture1->setVisible(!picture.isNull());
    mSetupPending = true;
    // A visible window gets no show event for the new picture.
    if (isVisible())
        Form_Activate();
}

void Form2::describeChart(const QString &title, const QString &summary)
{
    mPicture1->setAccessibleName(title.isEmpty() ? QString() : QStringLiteral("Chart: %1").arg(title));
    mPicture1->setAccessibleDescription(summary);
}

// Set-up runs at the first activation after a hand-over. It runs on show as
// well, because a window may be shown without ever becoming active (offscreen,
// or a window manager that refuses focus).
void Form2::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    Form_Activate();
}

bool Form2::event(QEvent *event)
{
    if (event->type() == QEvent::WindowActivate)
        Form_Activate();
    return QWidget::event(event);
}

void Form2::Form_Activate()
{
    if (!mSetupPending)
        return;
    unreported("Form_Activate", [this] {
        if (mPicture1->picture().isNull()) {
            setUpEmptyViewport();
            return;
        }
        mZoomOri->setOuterSize(mPicture1->width(), mPicture1->height());
        mZoomOri->setPicture(mPicture1->picture());
        mZoom = 1.0f;
        takeOrigSizeFromHolder();
        mZoomWidth = mOrigWidth;
        mZoomHeight = mOrigHeight;
        // The top of a picture shows as the whole's first view would.
        const qreal ratio = mPicture1->picture().devicePixelRatio();
        const QSize whole = mWholeSize.isEmpty() ? QSize(mOrigWidth, mOrigHeight)
                                                 : QSize(qRound(mWholeSize.width() / ratio),
                                                         qRound(mWholeSize.height() / ratio));
        mZoom = FirstViewZoom(whole.width(), whole.height(), mPicture2->width());
        RenderZoom();
        ResetScrollBars();
    });
    mSetupPending = false;
}

// No picture came with the hand-over: a white, empty viewport with nothing to
// scroll or zoom.
void Form2::setUpEmptyViewport()
{
    mZoomOri->clearPicture();
    mPicture1->hide();
    mPicture1->move(0, 0);
    mZoom = 1.0f;
    mOrigWidth = mOrigHeight = mZoomWidth = mZoomHeight = 0;
    mHScrollUnit = mVScrollUnit = 0;
    mHScroll1->setValue(0);
    mVScroll1->setValue(0);
    mHScroll1->setEnabled(false);
    mVScroll1->setEnabled(false);
}

void Form2::takeOrigSizeFromHolder()
{
    const QSize client = mZoomOri->clientSize();
    mOrigWidth = client.width() - 2;
    mOrigHeight = client.height() - 2;
}

// Draws the zoomed picture from the unscaled copy. Answers false when the
// zoomed size reaches the limits: then the factor goes back to 1.0 and the
// picture, its position and the bars stay as they are.
bool Form2::RenderZoom()
{
    mZoomWidth = ToInt32Floor(double(mZoom) * mOrigWidth);
    mZoomHeight = ToInt32Floor(double(mZoom) * mOrigHeight);
    if (mZoomWidth >= kMaxZoomWidth || mZoomHeight >= kMaxZoomHeight) {
        mZoom = 1.0f;
        takeOrigSizeFromHolder();
        mZoomWidth = mOrigWidth;
        mZoomHeight = mOrigHeight;
        return false;
    }
    const QImage zoomed = StretchCopy(mZoomOri->picture(), QRect(0, 0, mOrigWidth, mOrigHeight),
                                      QSize(mZoomWidth, mZoomHeight));
    mPicture1->clearPicture();
    mPicture1->setOuterSize(mZoomWidth, mZoomHeight);
    mPicture1->setDrawing(zoomed);
    mMousePointer.setValue(MousePointer::Default);
    mHScroll1->setValue(0);
    mVScroll1->setValue(0);
    mHScroll1->setEnabled(mPicture2->width() < mZoomWidth);
    mVScroll1->setEnabled(mPicture2->height() < mZoomHeight);
    return true;
}

void Form2::ResetScrollBars()
{
    mPicture1->move(0, 0);
    ResetScrollBar(mHScroll1, mPicture1->width(), mPicture2->width(), mHScrollUnit);
    ResetScrollBar(mVScroll1, mPicture1->height(), mPicture2->height(), mVScrollUnit);
}

void Form2::PushButton1_Click()
{
    Guard g(mPrompts, QStringLiteral("in Quintarra7/29/2014.Form2.PushButton1_Click "));
    g.run(100, [this] { ZoomStep(0); });
}

void Form2::PushButton2_Click()
{
    Guard g(mPrompts, QStringLiteral("in Quintarra7/29/2014.Form2.PushButton2_Click "));
    g.run(100, [this] { ZoomStep(1); });
}

void Form2::ZoomStep(qint32 direction)
{
    const float proposed = direction == 0 ? mZoom + kZoomStep : mZoom - kZoomStep;
    SetZoom(proposed);
}

void Form2::SetZoom(float factor)
{
    if (factor < kMinZoom || factor > kMaxZoom || mZoomOri->picture().isNull())
        return;
    mZoom = factor;
    if (!RenderZoom())
        return;
    // The bars' maxima and units follow the zoomed picture, so that the bars and
    // the release after a drag cover all of it. The picture goes to the edge with
    // them: a bar that was already at 0 moves nothing, and a picture left off the
    // grid by a drag would keep a gap the bar at 0 cannot take away.
    ResetScrollBars();
}

void Form2::HScroll1_Change(int value)
{
    unreported("HScroll1_Change", [&] {
        mPicture1->move(-ToInt16(qint64(mHScrollUnit) * value), mPicture1->y());
    });
}

void Form2::VScroll1_Change(int value)
{
    unreported("VScroll1_Change", [&] {
        mPicture1->move(mPicture1->x(), -ToInt16(qint64(mVScrollUnit) * value));
    });
}

void Form2::SetHScrollbarByPercent(QScrollBar *HScrollbar, qint16 percent)
{
    SetScrollbarByPercent(HScrollbar, percent);
}

void Form2::SetVScrollbarByPercent(QScrollBar *VScrollbar, qint16 percent)
{
    SetScrollbarByPercent(VScrollbar, percent);
}

void Form2::Picture1_MouseDown(Qt::MouseButtons, float x, float y)
{
    mStartX = x;
    mStartY = y;
}

// The grab point stays under the pointer; the picture never leaves a gap at
// the viewport's left or top edge nor lets its right or bottom edge come in.
void Form2::Picture1_MouseMove(Qt::MouseButtons buttons, float x, float y)
{
    if (buttons == Qt::NoButton)
        return;
    float left = float(mPicture1->x()) - mStartX + x;
    const float leftLimit = float(mPicture2->width()) - float(mPicture1->width());
    if (left > 0)
        left = 0;
    else if (leftLimit > left)
        left = leftLimit;
    float top = float(mPicture1->y()) - mStartY + y;
    const float topLimit = float(mPicture2->height()) - float(mPicture1->height());
    if (top > 0)
        top = 0;
    else if (topLimit > top)
        top = topLimit;
    unreported("Picture1_MouseMove",
               [&] { mPicture1->move(RoundToInt32(left), RoundToInt32(top)); });
}

// Brings the bars in line with where the drag left the picture, which snaps it
// to the bars' step grid.
void Form2::Picture1_MouseUp(Qt::MouseButtons, float, float)
{
    unreported("Picture1_MouseUp", [this] {
        // A picture exactly as large as the viewport has no overhang to take a
        // percentage of: that bar is left as it is.
        auto percentOf = [](int offset, int overhang) -> std::optional<qint16> {
            if (overhang == 0)
                return std::nullopt;
            return ToInt16(RoundToInt32(std::abs(double(offset)) / overhang * 100.0));
        };
        const auto horizontal = percentOf(mPicture1->x(), mPicture1->width() - mPicture2->width());
        const auto vertical = percentOf(mPicture1->y(), mPicture1->height() - mPicture2->height());
        if (horizontal)
            SetHScrollbarByPercent(mHScroll1, *horizontal);
        if (vertical)
            SetVScrollbarByPercent(mVScroll1, *vertical);
    });
}

void Form2::PushButton6_Click()
{
    Guard g(mPrompts, QStringLiteral("in Quintarra7/29/2014.Form2.PushButton6_Click "));
    struct {
        QString fileName, title, filter;
    } dialog;
    QString name;
    MsgAnswer answer = MsgAnswer::Closed;   // neither Yes nor No yet
    bool cancelled = false;

    g.run(106, [&] { dialog.fileName.clear(); });
    g.run(108, [&] { dialog.title = QStringLiteral("Save File"); });
    g.run(110, [&] { dialog.filter = QStringLiteral("Excel Files (*.xls)"); });
    g.run(112, [&] { dialog.fileName = mPrompts.saveFileName(dialog.title, dialog.filter); });
    g.run(114, [&] { name = dialog.fileName; });
    g.run(116, [&] { cancelled = name.isEmpty(); });
    if (!cancelled) {
        if (g.enterIf(118, [&] { return FileExists(name); })) {
            g.run(120, [&] {
                answer = mPrompts.message(
                        QStringLiteral("Are you sure you wish to overwrite ") + name + QStringLiteral(" ?"),
                        MsgButtons::YesNo, MsgIcon::None);
            });
            // 122 and 124, deleting the old file after a Yes, are left to the copy at
            // 130, which replaces it only once the copy is complete; a name that
            // cannot be replaced (a folder, a read-only file) is reported once, there.
        } else {
            g.run(126, [&] { answer = MsgAnswer::Yes; });
        }
    }
    if (g.enterIf(128, [&] { return answer == MsgAnswer::Yes; }))
        g.run(130, [&] { CopyFileReplacing(mExcelFile, name); });
    g.run(132, [&] { mPrompts.message(QStringLiteral("Done."), MsgButtons::Ok, MsgIcon::None); });
}

void Form2::PushButton8_Click()
{
    Guard g(mPrompts, QStringLiteral("in Quintarra7/29/2014.Form2.PushButton8_Click "));
    if (g.enterIf(100, [&] { return FileIsThere(mExcelFile); })) {
        g.run(102, [&] {
            const QString complaint = OwnedWorkbooks::remove(mExcelFile);
            if (!complaint.isEmpty())
                throw Failure(QStringLiteral("Cannot delete %1: %2").arg(mExcelFile, complaint));
        });
    }
    g.run(104, [&] {
        if (!mMainWindow)
            throw Failure(QStringLiteral("The main window is gone"));
        mMainWindow->show();
    });
    g.run(106, [&] { hide(); });
}

void Form2::closeEvent(QCloseEvent *event)
{
    Form_QueryUnload();
    event->accept();
    Form_Unload();
}

void Form2::Form_QueryUnload()
{
    // Gone already, the workbook's record goes all the same.
    OwnedWorkbooks::remove(mExcelFile);
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

void Form2::Form_Unload()
{
    if (mEndProgram)
        mEndProgram();
}

void Form2::mouseMoveEvent(QMouseEvent *event)
{
    mMousePointer.surfaceHovered();
    QWidget::mouseMoveEvent(event);
}

bool Form2::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == mFrame1 && event->type() == QEvent::MouseMove)
        mMousePointer.surfaceHovered();
    return QWidget::eventFilter(watched, event);
}
