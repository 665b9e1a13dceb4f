#pragma once

#include "preview/layer.h"

#include "preview/saveascommand.h"

#include <QImage>
#include <QList>
#include <QObject>
#include <QPoint>

enum class ResultFormat;
class Prompts;
class QAction;
class QMenu;
class QWidget;
class SpreadsheetServer;

// What the preview offers beside its buttons: the sheet's picture to the
// clipboard, saved as PNG, the chart alone as SVG or PNG, the sheet as PDF and
// the workbook as .xlsx, .ods or .xls. Each is in the picture's context menu,
// which a right click on the picture or the Menu key opens, and on its
// shortcut, which works anywhere in the window.
class PictureActions : public QObject
{
    Q_OBJECT

public:
    // window: the preview window, whose shortcuts these are; picture: the
    // widget the menu belongs to; workbook: the window's result workbook,
    // read at each use. All of them must outlive this object.
    PictureActions(Prompts &prompts, SpreadsheetServer &server, QWidget &window, QWidget &picture,
                   const QString &workbook);

    // Whether a picture handed over is the whole, or its top while the rest
    // is drawn: copying or saving the picture then waits for the whole, and
    // is done once it comes.
    enum class Part { Whole, Top };
    // The sheet's picture as it was handed over, at 1.0.
    void setPicture(const QImage &picture, Part part = Part::Whole);
    QMenu *menu() const { return mMenu; }

    void copyPicture();
    void savePicture();
    void saveChart();
    void exportPdf();
    void saveWorkbook();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void addAction(const QString &text, const QKeySequence &shortcut, void (PictureActions::*slot)());
    bool pictureMouseEvent(QEvent *event);
    bool waitsForWhole(void (PictureActions::*action)());
    SaveType converted(const QString &filter, const QString &suffix, ResultFormat format) const;

    SpreadsheetServer &mServer;
    QWidget &mWindow;
    QWidget &mPicture;
    const QString &mWorkbook;
    SaveAsCommand mSaveAs;
    QMenu *mMenu;
    QImage mImage;
    bool mWhole = true;
    // What waits for the whole picture: asked for while only its top was there.
    QList<void (PictureActions::*)()> mWaitingForWhole;
    // A right button press on the picture that has not yet moved far enough
    // to be a drag: released there, it opens the menu.
    bool mRightClickPending = false;
    QPoint mRightPressedAt;
};
