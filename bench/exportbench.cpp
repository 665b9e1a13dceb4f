// Times the conversions of a result workbook on the real engine and prints,
// for each format, the median and spread of (a) convertWorkbook on a server
// that keeps warm spares and (c) one "soffice --headless --convert-to <type>"
// of the same workbook on a profile of its own that earlier runs have set up,
// interleaved in one run, and the ratio a/c. A conversion that fails (the
// engine's time limit, for one) is printed and left out of the figures.
//
//   exportbench [runs per format, default 7] [--rows N,N,...] [--formats TYPE,...]
//               [--no-soffice] [--keep FOLDER]
//       --rows: the result workbooks of lists of N rows ("Asset i", 1000 i + 250)
//       instead of the 6-row sample's; --formats: only these of xlsx, ods, pdf,
//       svg, png; --no-soffice: (a) alone; --keep: the last conversion of
//       each list and format is kept as FOLDER/<rows>.<type>
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
    explicit SampleHost(EntryList entries) : mEntries(std::move(entries)) {}
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
    EntryList mEntries;
};

EntryList listOf(int rows)
{
    EntryList entries;
    for (int i = 1; i <= rows; ++i)
        entries.append({QStringLiteral("Asset %1").arg(i), QString::number(1000 * i + 250)});
    return entries;
}

struct Options {
    int runs = 7;
    QList<int> rows;   // empty: the sample
    QStringList formats;   // empty: all
    bool soffice = true;
    QString keep;
};

Options optionsOf(const QStringList &arguments)
{
    Options options;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        const QString next = arguments.value(i + 1);
        if (argument == QLatin1String("--rows")) {
            for (const QString &rows : next.split(QLatin1Char(',')))
                options.rows.append(std::max(1, rows.toInt()));
            ++i;
        } else if (argument == QLatin1String("--formats")) {
            options.formats = next.split(QLatin1Char(','));
            ++i;
        } else if (argument == QLatin1String("--no-soffice")) {
            options.soffice = false;
        } else if (argument == QLatin1String("--keep")) {
            options.keep = next;
            ++i;
        } else {
            options.runs = std::max(1, argument.toInt());
        }
    }
    return options;
}

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
// The converted file is moved to `keep` when one is given.
double convertWarm(LibreOfficeServer &server, const QString &workbook, ResultFormat format, const QString &keep)
{
    QElapsedTimer timer;
    timer.start();
    try {
        const QString converted = server.convertWorkbook(workbook, format);
        const double elapsed = timer.nsecsElapsed() / 1e6;
        if (!keep.isEmpty()) {
            QFile::remove(keep);
            QFile::rename(converted, keep);
        }
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
    const Options options = optionsOf(app.arguments());

    QTemporaryDir root;
    KeepBenchmarkFilesIn(root, {QStringLiteral("converted")});
    const QString profile = root.filePath(QStringLiteral("convert-profile"));
    const QString outFolder = root.filePath(QStringLiteral("converted"));

    ObservedServer server;
    server.setTypingLocale(QLocale(QLocale::English, QLocale::UnitedStates));
    QList<Format> formats;
    for (const Format &format : kFormats)
        if (options.formats.isEmpty() || options.formats.contains(QString::fromLatin1(format.type)))
            formats.append(format);
    const QList<int> sizes = options.rows.isEmpty() ? QList<int>{0} : options.rows;
    QHash<int, QString> workbooks;
    for (int rows : sizes) {
        BenchPrompts prompts;
        SampleHost host(rows == 0 ? SampleEntries() : listOf(rows));
        ChartCommand(prompts, server).run(host);
        if (prompts.errors || host.workbook.isEmpty()) {
            std::fprintf(stderr, "the chart command made no workbook\n");
            return 1;
        }
        workbooks[rows] = host.workbook;
    }
    server.setWarmUpDocument(kTemplateResource);
    server.startSpares();

    // Nothing else of the engine's works meanwhile: the spares are ready, and
    // the instances that did a conversion have ended.
    const auto settle = [&] {
        server.waitForSpares(std::chrono::seconds(120));
        WaitUntil([&] { return server.quittingPids().isEmpty(); }, 60000);
    };
    const auto key = [](int rows, const Format &format) { return QStringLiteral("%1 %2").arg(rows).arg(format.type); };
    QHash<QString, QList<double>> warm, soffice;
    QSet<QString> sofficeWroteNothing;
    // One run of each first, not counted: the profile of (c) is set up.
    for (int run = options.soffice ? -1 : 0; run < options.runs; ++run) {
        for (int rows : sizes) {
            for (const Format &format : formats) {
                settle();
                const QString kept = options.keep.isEmpty() || run < 0
                        ? QString()
                        : QStringLiteral("%1/%2.%3").arg(options.keep).arg(rows).arg(format.type);
                const double a = convertWarm(server, workbooks[rows], format.format, kept);
                double c = qQNaN();
                bool wroteNothing = false;
                if (options.soffice) {
                    settle();
                    c = convertBySoffice(workbooks[rows], format.type, profile, outFolder, wroteNothing);
                }
                if (run < 0)
                    continue;
                if (wroteNothing)
                    sofficeWroteNothing.insert(key(rows, format));
                if (!qIsNaN(a))
                    warm[key(rows, format)].append(a);
                if (!qIsNaN(c))
                    soffice[key(rows, format)].append(c);
            }
        }
    }

    std::printf("%d runs per list and format, interleaved; milliseconds: median [min .. max]\n"
                "(a) convertWorkbook, warm spares kept\n"
                "(c) soffice --headless --convert-to <type>, a profile of its own, reused\n\n",
                options.runs);
    std::printf("%-6s  %-6s  %-26s  %-26s  %s\n", "rows", "type", "a", "c", "a/c");
    for (int rows : sizes) {
        for (const Format &format : formats) {
            const QString k = key(rows, format);
            std::printf("%-6s  %-6s  %-26s  %-26s  %.2f%s\n", rows == 0 ? "sample" : qPrintable(QString::number(rows)),
                        format.type, qPrintable(Summary(warm[k])), qPrintable(Summary(soffice[k])),
                        Median(warm[k]) / Median(soffice[k]),
                        sofficeWroteNothing.contains(k) ? "  (c wrote no file: timed to its error)" : "");
        }
        QFile::remove(workbooks[rows]);
    }
    return 0;
}
