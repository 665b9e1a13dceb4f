#pragma once

#include "chart/charthost.h"
#include "entries/entrylistmodel.h"

#include <QCoreApplication>
#include <QStringList>
#include <QThread>

// The main window as the chart command sees it: a list of rows, and a trail of
// what the command did to the window and the preview.
class FakeChartHost : public ChartHost
{
public:
    explicit FakeChartHost(QStringList *trail) : mTrail(trail) {}

    EntryList entries;
    QList<qint16> pointers;
    QImage picture;
    QString workbook;
    bool previewShown = false;
    bool mainHidden = false;
    // The window and its list belong to the windows' thread: calls from any
    // other are recorded.
    QStringList callsOffWindowsThread;

    int entryCount() override
    {
        onWindowsThread("entryCount");
        return int(entries.size());
    }
    Entry entryAt(int position) override
    {
        onWindowsThread("entryAt");
        return entries.at(position - 1);
    }
    // As the main window stores: through the list's own model.
    void storeEntries() override
    {
        onWindowsThread("storeEntries");
        EntryListModel model;
        model.appendEntries(entries);
        model.store();
    }

    void setMousePointer(qint16 value) override
    {
        onWindowsThread("setMousePointer");
        pointers.append(value);
        mTrail->append(QStringLiteral("pointer %1").arg(value));
    }
    void setPreviewPicture(const QImage &image) override
    {
        onWindowsThread("setPreviewPicture");
        picture = image;
        mTrail->append(QStringLiteral("preview picture"));
    }
    void setPreviewWorkbook(const QString &path) override
    {
        onWindowsThread("setPreviewWorkbook");
        workbook = path;
        mTrail->append(QStringLiteral("preview workbook"));
    }
    void showPreview() override
    {
        onWindowsThread("showPreview");
        previewShown = true;
        mTrail->append(QStringLiteral("show preview"));
    }
    bool showsTop = false;
    bool showsPictureTop() const override { return showsTop; }
    void setPreviewPictureTop(const QImage &top, QSize whole) override
    {
        onWindowsThread("setPreviewPictureTop");
        picture = top;
        wholeSize = whole;
        mTrail->append(QStringLiteral("preview picture top"));
    }
    void completePreviewPicture(const QImage &whole) override
    {
        onWindowsThread("completePreviewPicture");
        picture = whole;
        mTrail->append(QStringLiteral("preview picture complete"));
    }
    QSize wholeSize;
    void withdrawPreview() override
    {
        onWindowsThread("withdrawPreview");
        previewShown = false;
        mainHidden = false;
        mTrail->append(QStringLiteral("withdraw preview"));
    }

    void hideMainWindow() override
    {
        onWindowsThread("hideMainWindow");
        mainHidden = true;
        mTrail->append(QStringLiteral("hide main window"));
    }

private:
    void onWindowsThread(const char *call)
    {
        if (QThread::currentThread() != QCoreApplication::instance()->thread())
            callsOffWindowsThread.append(QString::fromLatin1(call));
    }

    QStringList *mTrail;
};
