// The sheet's picture for long lists, on the real engine: for each list size,
// one click of "Start Creating Template", and the time from click to preview,
// the size of the picture handed to the preview and its pixels per row; then
// the picture alone, taken again of the workbook that click saved in an
// instance of its own.
//
//   picturebench [rows ...]      default: 6 60 2000 32766
//
// The load average is printed beside each figure: the machine may be shared.
//
// With PICTUREBENCH_KEEP set to a folder, the top and the bottom of each
// picture are kept there as rows-N-top.png and rows-N-bottom.png.
#include "benchsupport.h"
#include "chart/chartcommand.h"
#include "chart/charthost.h"
#include "ground/prompts.h"
#include "libreoffice/libreofficeserver.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

namespace {

class BenchHost : public ChartHost
{
public:
    explicit BenchHost(int rows) : mRows(rows) {}
    int entryCount() override { return mRows; }
    Entry entryAt(int position) override
    {
        return {QStringLiteral("Asset %1").arg(position), QString::number(1000 * position + 250)};
    }
    // The list is not what is measured here.
    void storeEntries() override {}
    void setMousePointer(qint16) override {}
    void setPreviewPicture(const QImage &picture) override
    {
        pictureSize = picture.size();
        const QString keep = qEnvironmentVariable("PICTUREBENCH_KEEP");
        if (!keep.isEmpty()) {
            picture.copy(0, 0, picture.width(), 600).save(QStringLiteral("%1/rows-%2-top.png").arg(keep).arg(mRows));
            picture.copy(0, picture.height() - 300, picture.width(), 300)
                    .save(QStringLiteral("%1/rows-%2-bottom.png").arg(keep).arg(mRows));
        }
    }
    void setPreviewWorkbook(const QString &path) override { workbook = path; }
    void showPreview() override {}
    void hideMainWindow() override {}

    QSize pictureSize;
    QString workbook;

private:
    int mRows;
};

// The load average of the last minute, as uptime gives it.
QByteArray LoadAverage()
{
    QFile loadavg(QStringLiteral("/proc/loadavg"));
    if (!loadavg.open(QIODevice::ReadOnly))
        return "?";
    return loadavg.readAll().split(' ').value(0);
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QList<int> sizes;
    for (int i = 1; i < argc; ++i)
        sizes.append(atoi(argv[i]));
    if (sizes.isEmpty())
        sizes = {6, 60, 2000, 32766};

    QTemporaryDir root;
    KeepBenchmarkFilesIn(root);

    LibreOfficeServer server;
    BenchPrompts prompts;
    std::printf("%8s  %12s  %14s  %12s  %10s  %6s  %s\n", "rows", "click (ms)", "picture (ms)", "picture", "px/row",
                "load", "error reports");
    int failed = 0;
    for (int rows : sizes) {
        BenchHost host(rows);
        const int errorsBefore = prompts.errors;
        QElapsedTimer clock;
        clock.start();
        ChartCommand(prompts, server).run(host);
        const qint64 ms = clock.elapsed();
        const int errors = prompts.errors - errorsBefore;
        if (errors || host.pictureSize.isEmpty())
            ++failed;
        qint64 pictureMs = -1;
        if (!host.workbook.isEmpty()) {
            try {
                const auto application = server.create();
                const auto sheet = application->workbooks().open(host.workbook)->activeSheet();
                clock.restart();
                sheet->usedRangePicture();
                pictureMs = clock.elapsed();
                application->quit();
            } catch (const std::exception &failure) {
                std::fprintf(stderr, "picture alone: %s\n", failure.what());
                ++failed;
            }
            QFile::remove(host.workbook);
        }
        std::printf("%8d  %12lld  %14lld  %12s  %10.2f  %6s  %d\n", rows, ms, pictureMs,
                    qPrintable(QStringLiteral("%1x%2").arg(host.pictureSize.width()).arg(host.pictureSize.height())),
                    rows ? double(host.pictureSize.height()) / (rows + 3) : 0.0, LoadAverage().constData(), errors);
        std::fflush(stdout);
    }
    return failed ? 1 : 0;
}
