#pragma once

// What the benchmarks that click "Start Creating Template" share.

#include "shell/prompts.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

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
