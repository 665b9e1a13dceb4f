#pragma once

#include "chart/charthost.h"
#include "entries/entrylistmodel.h"

#include <QStringList>

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

    int entryCount() override { return int(entries.size()); }
    Entry entryAt(int position) override { return entries.at(position - 1); }
    // As the main window stores: through the list's own model.
    void storeEntries() override
    {
        EntryListModel model;
        model.appendEntries(entries);
        model.store();
    }

    void setMousePointer(qint16 value) override
    {
        pointers.append(value);
        mTrail->append(QStringLiteral("pointer %1").arg(value));
    }
    void setPreviewPicture(const QImage &image) override
    {
        picture = image;
        mTrail->append(QStringLiteral("preview picture"));
    }
    void setPreviewWorkbook(const QString &path) override
    {
        workbook = path;
        mTrail->append(QStringLiteral("preview workbook"));
    }
    void showPreview() override
    {
        previewShown = true;
        mTrail->append(QStringLiteral("show preview"));
    }
    void hideMainWindow() override
    {
        mainHidden = true;
        mTrail->append(QStringLiteral("hide main window"));
    }

private:
    QStringList *mTrail;
};
