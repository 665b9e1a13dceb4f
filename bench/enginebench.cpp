// Prints how long the engine takes: starting an instance with a cold and with
// a seeded profile, opening + filling + saving a workbook, and a picture.

#include "chart/excel1.h"
#include "chartworkbookfixture.h"
#include "libreoffice/libreofficeserver.h"
#include "libreoffice/process/engineprocess.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>

namespace {

QTextStream out(stdout);

template <typename Work>
double millis(Work &&work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return timer.nsecsElapsed() / 1e6;
}

void report(const char *what, QList<double> samples)
{
    std::sort(samples.begin(), samples.end());
    out << QStringLiteral("%1: median %2 ms, min %3 ms, max %4 ms (%5 runs)\n")
                   .arg(QLatin1String(what))
                   .arg(samples.at(samples.size() / 2), 0, 'f', 0)
                   .arg(samples.first(), 0, 'f', 0)
                   .arg(samples.last(), 0, 'f', 0)
                   .arg(samples.size());
    out.flush();
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int runs = argc > 1 && QByteArray(argv[1]) == "--quick" ? 1 : 5;
    try {
        for (const bool seeded : {false, true}) {
            QList<double> starts, quits;
            for (int i = 0; i < runs; ++i) {
                EngineProcess::Options options;
                options.seedProfile = seeded;
                EngineProcess engine(options);
                starts.append(millis([&] { engine.waitUntilReady(); }));
                quits.append(millis([&] { engine.quit(); }));
            }
            report(seeded ? "start, seeded profile" : "start, cold profile", starts);
            report(seeded ? "quit, seeded profile" : "quit, cold profile", quits);
        }

        QTemporaryDir folder;
        const QString source = folder.filePath(QStringLiteral("chart.fods"));
        WriteChartWorkbook(source);
        LibreOfficeServer server;
        QList<double> fills, pictures;
        for (int i = 0; i < runs; ++i) {
            auto application = server.create();
            fills.append(millis([&] {
                auto book = application->workbooks().open(source);
                auto sheet = book->activeSheet();
                for (int row = 4; row <= 9; ++row) {
                    sheet->setCellValue(row, 1, QStringLiteral("Row %1").arg(row));
                    sheet->setCellValue(row, 2, QString::number(row * 1000));
                    sheet->setCellNumberFormat(row, 2, QStringLiteral("_($* #,##0_);_($* (#,##0);_($* \"-\"??_);_(@_)"));
                }
                book->saveAs(folder.filePath(QStringLiteral("filled%1.xls").arg(i)));
            }));
            auto book = application->workbooks().item(1);
            pictures.append(millis([&] {
                SaveUsedRangePicture(*book, folder.filePath(QStringLiteral("picture%1.png").arg(i)));
            }));
            application->quit();
        }
        report("open + fill 6 rows + save .xls", fills);
        report("picture of the used range", pictures);

        // The chart command's engine work on the embedded template: a first
        // instance fills and saves, a second one takes the picture.
        QFile resource(QStringLiteral(":/CUSTOM/101"));
        if (resource.open(QIODevice::ReadOnly)) {
            const QString templateCopy = folder.filePath(QStringLiteral("Pie Chart.xlt"));
            QFile copy(templateCopy);
            copy.open(QIODevice::WriteOnly);
            copy.write(resource.readAll());
            copy.close();
            QList<double> flows;
            for (int i = 0; i < runs; ++i) {
                flows.append(millis([&] {
                    const QString saved = folder.filePath(QStringLiteral("tervik%1.xls").arg(i));
                    auto first = server.create();
                    auto book = first->workbooks().open(templateCopy);
                    auto sheet = book->activeSheet();
                    for (int row = 4; row <= 9; ++row) {
                        sheet->setCellValue(row, 1, QString());
                        sheet->setCellValue(row, 2, QString());
                    }
                    for (int row = 4; row <= 9; ++row) {
                        sheet->setCellValue(row, 1, QStringLiteral("Row %1").arg(row));
                        sheet->setCellValue(row, 2, QString::number(row * 1000));
                        sheet->setCellNumberFormat(row, 2, QStringLiteral("_($* #,##0_);_($* (#,##0);_($* \"-\"??_);_(@_)"));
                    }
                    book->saveAs(saved);
                    first->setDisplayAlerts(false);
                    book->close();
                    first->quit();
                    auto second = OpenWorkbookInNewExcel(server, saved);
                    SaveUsedRangePicture(*second->workbooks().item(second->workbooks().count()),
                                         folder.filePath(QStringLiteral("temp.bmp")));
                    second->setDisplayAlerts(false);
                    second->workbooks().item(1)->close();
                    second->quit();
                }));
            }
            report("chart command's engine work on the template (two instances)", flows);
        }
        // "--keep FOLDER" leaves the last workbook and picture there to look at.
        const QStringList arguments = app.arguments();
        const qsizetype keep = arguments.indexOf(QStringLiteral("--keep"));
        if (keep > 0 && keep + 1 < arguments.size()) {
            const QString target = arguments.at(keep + 1);
            QFile::copy(folder.filePath(QStringLiteral("filled%1.xls").arg(runs - 1)), target + QStringLiteral("/filled.xls"));
            QFile::copy(folder.filePath(QStringLiteral("picture%1.png").arg(runs - 1)), target + QStringLiteral("/picture.png"));
        }
    } catch (const std::exception &e) {
        out << "failed: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
