// Times the conversions of the 6-row sample's result workbook on the real
// engine and prints, for each format, the median and spread of (a)
// convertWorkbook on a server that keeps warm spares and (c) one
// "soffice --headless --convert-to <type>" of the same workbook on a profile
// of its own that earlier runs have set up, interleaved in one run, and the
// ratio a/c.
//
//   exportbench [runs per format, default 7]
#include "benchsupport.h"

#include "chart/chartcommand.h"
#include "chart/charthost.h"
#include "entries/sampleentries.h"
#include "libreoffice/installation.h"
#include "libreoffice/libreofficeserver.h"
#include "observedserver.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QUrl>

#include <algorithm>
#include <cstdio>

namespace {

class SampleHost : public ChartHost
{
public:
    int entryCount() override { return int(mEntries.size()); }
    Entry entryAt(int position) override { return mEntries.at(position - 1); }
    // The list is not what is measured here.
    void storeEntries() override {}
    void setMousePointer(qint16) override {}
    void setPreviewPicture(const QImage &) override {}
    void setPreviewWorkbook(const QString &path) override { workbook = path; }
    void showPreview() override {}
    void hideMainWindow() override {}

    QString workbook;

private:
    EntryList mEntries = SampleEntries();
};

struct Format {
    const char *type;   // soffice's --convert-to and the file's suffix
    ResultFormat format;
};

const Format kFormats[] = {{"xlsx", ResultFormat::Xlsx},
                           {"ods", ResultFormat::Ods},
                           {"pdf", ResultFormat::Pdf},
                           {"svg", ResultFormat::ChartSvg},
                           {"png", ResultFormat::ChartPng}};

// One conversion by the program's engine; milliseconds, or NaN when it failed.
double convertWarm(LibreOfficeServer &server, const QString &workbook, ResultFormat format)
{
    QElapsedTimer timer;
    timer.start();
    try {
        const QString converted = server.convertWorkbook(workbook, format);
        const double elapsed = timer.nsecsElapsed() / 1e6;
        QFile::remove(converted);
        return elapsed;
    } catch (const SpreadsheetError &e) {
        std::fprintf(stderr, "conversion failed: %s\n", qPrintable(e.description()));
        return qQNaN();
    }
}

// One "soffice --headless --convert-to"; milliseconds, or NaN when it failed.
// This LibreOffice's Calc writes no SVG of a sheet: soffice says so on its
// error stream and still ends with 0. Such a run counts, and `wroteNothing` says so.
double convertBySoffice(const QString &workbook, const char *type, const QString &profile, const QString &outFolder,
                        bool &wroteNothing)
{
    bool wrote = false;
    const double ms = SofficeConvertMs(workbook, QString::fromLatin1(type), profile, outFolder, wrote);
    wroteNothing = !wrote;
    return ms;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 7;

    QTemporaryDir root;
    KeepBenchmarkFilesIn(root, {QStringLiteral("converted")});
    const QString profile = root.filePath(QStringLiteral("convert-profile"));
    const QString outFolder = root.filePath(QStringLiteral("converted"));

    ObservedServer server;
    server.setTypingLocale(QLocale(QLocale::English, QLocale::UnitedStates));
    BenchPrompts prompts;
    SampleHost host;
    ChartCommand(prompts, server).run(host);
    if (prompts.errors || host.workbook.isEmpty()) {
        std::fprintf(stderr, "the chart command made no workbook\n");
        return 1;
    }
    server.setWarmUpDocument(kTemplateResource);
    server.startSpares();

    // Nothing else of the engine's works meanwhile: the spares are ready, and
    // the instances that did a conversion have ended.
    const auto settle = [&] {
        server.waitForSpares(std::chrono::seconds(120));
        WaitUntil([&] { return server.quittingPids().isEmpty(); }, 60000);
    };
    QHash<QString, QList<double>> warm, soffice;
    QSet<QString> sofficeWroteNothing;
    // One run of each first, not counted: the profile of (c) is set up.
    for (int run = -1; run < runs; ++run) {
        for (const Format &format : kFormats) {
            settle();
            const double a = convertWarm(server, host.workbook, format.format);
            settle();
            bool wroteNothing = false;
            const double c = convertBySoffice(host.workbook, format.type, profile, outFolder, wroteNothing);
            if (run < 0)
                continue;
            if (wroteNothing)
                sofficeWroteNothing.insert(QString::fromLatin1(format.type));
            if (!qIsNaN(a))
                warm[QString::fromLatin1(format.type)].append(a);
            if (!qIsNaN(c))
                soffice[QString::fromLatin1(format.type)].append(c);
        }
    }

    std::printf("the 6-row sample's result workbook, %d runs per format, interleaved;\n"
                "milliseconds: median [min .. max]\n"
                "(a) convertWorkbook, warm spares kept\n"
                "(c) soffice --headless --convert-to <type>, a profile of its own, reused\n\n",
                runs);
    std::printf("%-6s  %-26s  %-26s  %s\n", "type", "a", "c", "a/c");
    for (const Format &format : kFormats) {
        const QString type = QString::fromLatin1(format.type);
        std::printf("%-6s  %-26s  %-26s  %.2f%s\n", format.type, qPrintable(Summary(warm[type])),
                    qPrintable(Summary(soffice[type])), Median(warm[type]) / Median(soffice[type]),
                    sofficeWroteNothing.contains(type) ? "  (c wrote no file: timed to its error)" : "");
    }
    QFile::remove(host.workbook);
    return 0;
}
