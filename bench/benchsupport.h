#pragma once

// What the benchmarks that click "Start Creating Template" share.

#include "ground/prompts.h"
#include "libreoffice/installation.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>

#include <algorithm>
#include <functional>
#include <cstdio>

// Other LibreOffice instances may run beside the benchmark: go on regardless.
// Any error report is printed, and the run counts as failed.
class BenchPrompts : public Prompts
{
public:
    MsgAnswer message(const QString &text, MsgButtons buttons, MsgIcon, const QString &title) override
    {
        if (title == QLatin1String("Application Error")) {
            ++errors;
            std::fprintf(stderr, "error report: %s\n",
                         qPrintable(QString(text).replace(QLatin1Char('\r'), QLatin1Char(' '))));
        }
        return buttons == MsgButtons::YesNo ? MsgAnswer::Yes : MsgAnswer::Ok;
    }
    QString input(const QString &, const QString &, const QString &) override { return {}; }
    QString saveFileName(const QString &, const QString &) override { return {}; }
    SaveChoice saveFileAs(const QString &, const QStringList &) override { return {}; }
    QString openFileName(const QString &, const QString &) override { return {}; }
    int errors = 0;
};

// The benchmark's settings and temporary files stay in a folder of its own,
// with these folders in it.
inline void KeepBenchmarkFilesIn(const QTemporaryDir &root, const QStringList &folders = {})
{
    for (const QString &folder : QStringList{QStringLiteral("config"), QStringLiteral("temp")} + folders)
        QDir(root.path()).mkpath(folder);
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(root.filePath(QStringLiteral("config"))));
    qputenv("TEMP", QFile::encodeName(root.filePath(QStringLiteral("temp"))));
}

// A process's memory in kB as its status file gives it, 0 when it is gone.
inline qint64 StatusKb(qint64 pid, const QByteArray &field)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(field.size()).simplified().split(' ').value(0).toLongLong();
    return 0;
}

// Resident memory of a process in kB, now and at its peak; 0 when it is gone.
inline qint64 ResidentKb(qint64 pid)
{
    return StatusKb(pid, "VmRSS:");
}

inline qint64 PeakResidentKb(qint64 pid)
{
    return StatusKb(pid, "VmHWM:");
}

// Proportional memory of a process in kB (its share of pages it shares with
// others), 0 when it is gone.
inline qint64 ProportionalKb(qint64 pid)
{
    QFile rollup(QStringLiteral("/proc/%1/smaps_rollup").arg(pid));
    if (!rollup.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : rollup.readAll().split('\n'))
        if (line.startsWith("Pss:"))
            return line.mid(4).simplified().split(' ').value(0).toLongLong();
    return 0;
}

inline double Median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    const qsizetype n = values.size();
    if (n == 0)
        return qQNaN();
    return n % 2 ? values.at(n / 2) : (values.at(n / 2 - 1) + values.at(n / 2)) / 2;
}

// "median [min .. max]", or "-" for no figures.
inline QString Summary(const QList<double> &values)
{
    if (values.isEmpty())
        return QStringLiteral("-");
    const auto [low, high] = std::minmax_element(values.begin(), values.end());
    return QStringLiteral("%1 [%2 .. %3]").arg(Median(values), 0, 'f', 1).arg(*low, 0, 'f', 1).arg(*high, 0, 'f', 1);
}

// One "soffice --headless --convert-to <type>" of the workbook into outFolder,
// on a profile that earlier runs have set up; milliseconds, or NaN when soffice
// failed. `wrote` says whether the converted file appeared (it is removed).
inline double SofficeConvertMs(const QString &workbook, const QString &type, const QString &profile,
                               const QString &outFolder, bool &wrote)
{
    QProcess soffice;
    soffice.setProgram(Installation::ours().programFolder() + QStringLiteral("/soffice"));
    soffice.setArguments({QStringLiteral("--headless"), QStringLiteral("--norestore"),
                          QStringLiteral("-env:UserInstallation=") + QUrl::fromLocalFile(profile).toString(),
                          QStringLiteral("--convert-to"), type, QStringLiteral("--outdir"), outFolder, workbook});
    soffice.setStandardOutputFile(QProcess::nullDevice());
    soffice.setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    soffice.start();
    if (!soffice.waitForFinished(120000) || soffice.exitCode() != 0)
        return qQNaN();
    const double elapsed = timer.nsecsElapsed() / 1e6;
    wrote = QFile::remove(outFolder + QLatin1Char('/') + QFileInfo(workbook).completeBaseName() + QLatin1Char('.')
                          + type);
    return elapsed;
}

// Waits, handling events, until the condition holds or the time is up.
inline bool WaitUntil(const std::function<bool()> &condition, int milliseconds)
{
    QElapsedTimer waited;
    waited.start();
    while (!condition()) {
        if (waited.elapsed() > milliseconds)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}
