#pragma once

#include "chart/layer.h"

#include "entries/entry.h"

#include <QImage>
#include <QSize>
#include <QString>

// What the chart command works on: the main window's list and pointer, and the
// hand-over to the preview window. The main window implements it.
class ChartHost
{
public:
    virtual ~ChartHost() = default;

    // ListView1's rows, in order.
    virtual int entryCount() = 0;
    virtual Entry entryAt(int position) = 0;   // 1-based
    // Stores the rows under "Assets" in their stored form, as closing the main
    // window stores them; throws Failure when they could not be stored.
    virtual void storeEntries() = 0;

    // The main window's mouse pointer setting: 0 default, 11 hourglass.
    virtual void setMousePointer(qint16 value) = 0;

    // The preview window; the first of these creates it when it does not exist yet.
    virtual void setPreviewPicture(const QImage &picture) = 0;
    virtual void setPreviewWorkbook(const QString &path) = 0;   // Form2's mExcelFile
    virtual void showPreview() = 0;
    // A long list's preview may show the top of its picture while the rest of
    // it is drawn, when the host can: the top as the first view of a picture
    // of the whole size would show it, with copying and saving the picture
    // waiting for the whole. Then the whole, with the view kept where the
    // user has it by then; a null picture when the rest could not be drawn.
    virtual bool showsPictureTop() const { return false; }
    virtual void setPreviewPictureTop(const QImage &top, QSize /*whole*/) { setPreviewPicture(top); }
    virtual void completePreviewPicture(const QImage &whole) { setPreviewPicture(whole); }
    // The preview shown before its picture was whole goes again, and the main
    // window comes back: the run that showed it could not go on.
    virtual void withdrawPreview() {}

    virtual void hideMainWindow() = 0;
};
