#include "preview/pictureactions.h"

#include "ground/failure.h"
#include "ground/filereplace.h"
#include "spreadsheet/spreadsheetserver.h"
#include "widgets/progressjob.h"

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFile>
#include <QMenu>
#include <QMouseEvent>
#include <QScopeGuard>
#include <QTimer>

#include <utility>

using namespace Qt::StringLiterals;

namespace {

const QString kPngFilter = u"PNG Image (*.png)"_s;

} // namespace

PictureActions::PictureActions(Prompts &prompts, SpreadsheetServer &server, QWidget &window,
                               QWidget &picture, const QString &workbook)
    : QObject(&window)
    , mServer(server)
    , mWindow(window)
    , mPicture(picture)
    , mWorkbook(workbook)
    , mSaveAs(prompts)
    , mMenu(new QMenu(&window))
{
    mMenu->setObjectName(u"PictureMenu"_s);
    addAction(u"Copy Picture"_s, QKeySequence(Qt::CTRL | Qt::Key_C), &PictureActions::copyPicture);
    addAction(u"Save Picture As…"_s, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_P), &PictureActions::savePicture);
    addAction(u"Save Chart As…"_s, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C), &PictureActions::saveChart);
    addAction(u"Export As PDF…"_s, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E), &PictureActions::exportPdf);
    addAction(u"Save Workbook As…"_s, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S), &PictureActions::saveWorkbook);
    setPicture(QImage());

    // Every right button event reaches the picture itself, which decides
    // between a click that opens the menu and a drag.
    picture.setContextMenuPolicy(Qt::PreventContextMenu);
    // The menu shows nowhere until asked for; the hint tells it is there.
    picture.setToolTip(u"Right-click or press the Menu key to copy or save the chart"_s);
    // The Menu key sends its event to the focused control, and the window's
    // controls keep their events from the window: each is watched.
    window.installEventFilter(this);
    for (QWidget *control : window.findChildren<QWidget *>()) {
        if (control != mMenu)
            control->installEventFilter(this);
    }
}

void PictureActions::addAction(const QString &text, const QKeySequence &shortcut,
                               void (PictureActions::*slot)())
{
    auto *action = new QAction(text, &mWindow);
    action->setShortcut(shortcut);
    action->setShortcutContext(Qt::WindowShortcut);
    action->setShortcutVisibleInContextMenu(true);
    connect(action, &QAction::triggered, this, slot);
    mWindow.addAction(action);
    mMenu->addAction(action);
}

void PictureActions::setPicture(const QImage &picture, Part part)
{
    mImage = picture;
    mImage.setDevicePixelRatio(1);
    mWhole = part == Part::Whole;
    // Without a picture the chart command failed: there is nothing to save.
    for (QAction *action : mMenu->actions())
        action->setEnabled(!picture.isNull());
    if (!mWhole)
        return;
    mWindow.unsetCursor();
    // Done from the windows' loop, not from within the hand-over of the
    // picture: the command that hands it over goes on first.
    const auto waiting = std::exchange(mWaitingForWhole, {});
    if (picture.isNull())
        return;
    for (const auto action : waiting)
        QTimer::singleShot(0, this, action);
}

// Asked for while only the picture's top is there: done once the whole comes.
// The windows go on meanwhile.
bool PictureActions::waitsForWhole(void (PictureActions::*action)())
{
    if (mWhole)
        return false;
    if (!mWaitingForWhole.contains(action))
        mWaitingForWhole.append(action);
    mWindow.setCursor(Qt::BusyCursor);
    return true;
}

void PictureActions::copyPicture()
{
    if (waitsForWhole(&PictureActions::copyPicture))
        return;
    if (auto *clipboard = QApplication::clipboard())
        clipboard->setImage(mImage);
}

void PictureActions::savePicture()
{
    if (waitsForWhole(&PictureActions::savePicture))
        return;
    mSaveAs.run(u"Save Picture As"_s, {{kPngFilter, u"png"_s, [this] {
                    QByteArray bytes;
                    QBuffer buffer(&bytes);
                    buffer.open(QIODevice::WriteOnly);
                    if (!mImage.save(&buffer, "PNG"))
                        throw Failure(u"The picture could not be made into a PNG image."_s);
                    return bytes;
                }}});
}

void PictureActions::saveChart()
{
    mSaveAs.run(u"Save Chart As"_s, {converted(u"SVG Image (*.svg)"_s, u"svg"_s, ResultFormat::ChartSvg),
                                     converted(kPngFilter, u"png"_s, ResultFormat::ChartPng)});
}

void PictureActions::exportPdf()
{
    mSaveAs.run(u"Export As PDF"_s, {converted(u"PDF Document (*.pdf)"_s, u"pdf"_s, ResultFormat::Pdf)});
}

void PictureActions::saveWorkbook()
{
    mSaveAs.run(u"Save Workbook As"_s,
                {converted(u"Excel Workbook (*.xlsx)"_s, u"xlsx"_s, ResultFormat::Xlsx),
                 converted(u"OpenDocument Spreadsheet (*.ods)"_s, u"ods"_s, ResultFormat::Ods),
                 // The workbook as it is, as "Save Results To Excel File" copies it.
                 {u"Excel 97-2003 Workbook (*.xls)"_s, u"xls"_s, [this] { return ReadWholeFile(mWorkbook); }}});
}

SaveType PictureActions::converted(const QString &filter, const QString &suffix, ResultFormat format) const
{
    return {filter, suffix, [this, suffix, format] {
                // The engine takes a while to convert: the window goes on meanwhile.
                ProgressJob job(&mWindow, u"Making the %1 file…"_s.arg(suffix.toUpper()));
                return job.run<QByteArray>([&server = mServer, workbook = mWorkbook, format](std::stop_token stop) {
                    const QString made = server.convertWorkbook(workbook, format, stop);
                    const auto removeMade = qScopeGuard([&made] { QFile::remove(made); });
                    return ReadWholeFile(made);
                });
            }};
}

bool PictureActions::eventFilter(QObject *watched, QEvent *event)
{
    // The picture is the window's one document: the Menu key anywhere in the
    // window opens its menu, over the part of it that shows.
    if (event->type() == QEvent::ContextMenu
        && static_cast<QContextMenuEvent *>(event)->reason() == QContextMenuEvent::Keyboard) {
        if (mImage.isNull())
            return false;
        const QRect shown = mPicture.visibleRegion().boundingRect();
        mMenu->popup(mPicture.mapToGlobal(shown.topLeft() + QPoint(8, 8)));
        return true;
    }
    if (watched == &mPicture)
        return pictureMouseEvent(event);
    return false;
}

// A right click opens the menu when the button comes up where it went down,
// as on other desktops; a drag with the right button pans the picture as any
// drag does, once it has gone further than a hand's tremble.
bool PictureActions::pictureMouseEvent(QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto *press = static_cast<QMouseEvent *>(event);
        mRightClickPending = press->buttons() == Qt::RightButton;
        mRightPressedAt = press->globalPosition().toPoint();
        return false;
    }
    case QEvent::MouseMove: {
        auto *move = static_cast<QMouseEvent *>(event);
        if (!mRightClickPending)
            return false;
        const int distance = (move->globalPosition().toPoint() - mRightPressedAt).manhattanLength();
        if (move->buttons() == Qt::RightButton && distance < QApplication::startDragDistance())
            return true;
        mRightClickPending = false;
        return false;
    }
    case QEvent::MouseButtonRelease: {
        auto *release = static_cast<QMouseEvent *>(event);
        if (!mRightClickPending || release->button() != Qt::RightButton)
            return false;
        mRightClickPending = false;
        if (!mImage.isNull())
            mMenu->popup(mRightPressedAt);
        return true;
    }
    default:
        return false;
    }
}
