#pragma once

#include "preview/layer.h"

#include "widgets/mousepointer.h"

#include <QImage>
#include <QString>
#include <QWidget>

#include <functional>

class Prompts;
class PictureActions;
class PictureBox;
class PushButton;
class QGroupBox;
class QScrollBar;
class SpreadsheetServer;

// The preview window: shows the chart picture in a fixed viewport, zooms it in
// steps of 0.25 between 0.25 and 4.0, scrolls and drags it, saves the result
// workbook under a chosen name and goes back to the main window. The
// picture's context menu (PictureActions) saves the results in other forms,
// which the spreadsheet engine converts. Its controls carry their designed
// names as object names (Picture1, HScroll1, Frame1, PushButton1...), by which
// accessibility tools and tests find them.
class Form2 : public QWidget
{
    Q_OBJECT

public:
    Form2(Prompts &prompts, SpreadsheetServer &server, QWidget *mainWindow, QWidget *parent = nullptr);

    // The hand-over: Picture1 receives the picture, and the next activation
    // sets the window up for it.
    void setPicture(const QImage &picture);
    // The top of a picture still being drawn, shown as the first view of the
    // whole, of that size, would show it. Copying and saving the picture wait
    // for completePicture, which gives the whole and keeps the zoom, the
    // place the user has come to and the chart told as text; a null picture
    // when no whole follows.
    void setPictureTop(const QImage &top, QSize whole);
    void completePicture(const QImage &whole);
    // The chart told as text for screen readers: the picture's accessible name
    // and description. A new picture comes without them.
    void describeChart(const QString &title, const QString &summary);

    // Full path of the temporary result workbook; the window deletes it on
    // "< Back" and on closing.
    QString mExcelFile;

    // Set a bar to percent per cent of its maximum; a negative percentage or one
    // that would pass the maximum changes nothing. Failures go to the caller.
    static void SetHScrollbarByPercent(QScrollBar *HScrollbar, qint16 percent);
    static void SetVScrollbarByPercent(QScrollBar *VScrollbar, qint16 percent);

    // What closing the window runs to end the program (QCoreApplication::exit
    // unless replaced, as tests do).
    void setEndProgram(std::function<void()> endProgram) { mEndProgram = std::move(endProgram); }

public slots:
    void PushButton1_Click();   // "Zoom In"
    void PushButton2_Click();   // "Zoom Out"
    void PushButton6_Click();   // "Save Results To Excel File"
    void PushButton8_Click();   // "< Back"

protected:
    bool event(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createControls();
    void createPictureArea();
    void createButtons();
    void keepPointerOverControls();
    void connectControls();
    void Form_Load();
    void Form_Activate();
    void setUpEmptyViewport();
    bool RenderZoom();
    void ResetScrollBars();
    void ZoomStep(qint32 direction);
    void SetZoom(float factor);
    void takeOrigSizeFromHolder();
    void HScroll1_Change(int value);
    void VScroll1_Change(int value);
    void Picture1_MouseDown(Qt::MouseButtons buttons, float x, float y);
    void Picture1_MouseMove(Qt::MouseButtons buttons, float x, float y);
    void Picture1_MouseUp(Qt::MouseButtons buttons, float x, float y);
    void Form_QueryUnload();
    void Form_Unload();

    Prompts &mPrompts;
    QWidget *mMainWindow;
    std::function<void()> mEndProgram;
    MousePointer mMousePointer{this};

    QScrollBar *mHScroll1 = nullptr;
    QScrollBar *mVScroll1 = nullptr;
    QWidget *mPicture2 = nullptr;
    PictureBox *mPicture1 = nullptr;
    QGroupBox *mFrame1 = nullptr;
    PushButton *mPushButton1 = nullptr;
    PushButton *mPushButton2 = nullptr;
    PushButton *mPushButton8 = nullptr;
    PushButton *mPushButton6 = nullptr;
    PictureBox *mZoomOri = nullptr;
    PictureActions *mPictureActions = nullptr;

    bool mSetupPending = true;
    // whole: the size of the whole picture when this is its top, else empty.
    void takePicture(const QImage &picture, QSize whole);
    // The whole picture's size while only its top is shown.
    QSize mWholeSize;
    float mZoom = 0.0f;
    qint32 mOrigWidth = 0;
    qint32 mOrigHeight = 0;
    qint32 mZoomWidth = 0;
    qint32 mZoomHeight = 0;
    qint16 mHScrollUnit = 0;
    qint16 mVScrollUnit = 0;
    float mStartX = 0.0f;
    float mStartY = 0.0f;
};
