#include "chart/ownedworkbooks.h"

#include "chart/chartcommand.h"
#include "chart/temporaryfolder.h"
#include "ground/filereplace.h"
#include "ground/processruns.h"
#include "spreadsheet/engineleftovers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>

#include <exception>


namespace {

QMutex recordMutex;

const QString kRecordPrefix = QStringLiteral("workbooks-");

// The record holds one absolute path a line.
QString recordPath(const QString &root)
{
    return root + QLatin1Char('/') + kRecordPrefix + ProcessRuns::runName();
}

void writeRecord(const QString &path, const QStringList &lines)
{
    if (lines.isEmpty()) {
        QFile::remove(path);
        return;
    }
    // Whole or not at all: a record cut short by a full disk would let the next
    // start keep a workbook of a killed run for ever.
    try {
        ReplaceFile(path, lines.join(QLatin1Char('\n')).toUtf8() + '\n', FileAccess::OwnerOnly);
    } catch (const std::exception &) {
    }
}

QString absolute(const QString &path)
{
    return QFileInfo(path).absoluteFilePath();
}

// The picture has a fixed name that copies of the program sharing the folder
// take turns at: it is only a dead run's while no live copy holds its lock.
// Taking the lock and letting go removes the lock file the dead run left.
void removeDeadRunsPicture(const QString &folder)
{
    FixedNameLock picture;
    try {
        picture.acquire(folder, kPictureName, std::chrono::milliseconds(0));
    } catch (const std::exception &) {
        return;
    }
    const QString path = folder + QLatin1Char('/') + kPictureName;
    if (IsThisUsersFile(path))
        QFile::remove(path);
    // A run killed while writing the picture leaves its unfinished file under
    // another name. Every such write of the program into this folder holds the
    // picture's or the template copy's lock, so with both held none is under
    // way. (Only a copy the user saves into the program's own temporary folder
    // at this very moment would lose its unfinished file, and so fail and say so.)
    FixedNameLock templateCopy;
    try {
        templateCopy.acquire(folder, kTemplateCopyName, std::chrono::milliseconds(0));
    } catch (const std::exception &) {
        return;
    }
    RemoveLeftoverParts(folder, std::chrono::seconds(0));
}

bool runIsAlive(const QString &recordName)
{
    const QString rest = recordName.mid(kRecordPrefix.size());
    const qint64 pid = rest.section(QLatin1Char('-'), 0, 0).toLongLong();
    const QString ticks = rest.section(QLatin1Char('-'), 1);
    return ProcessRuns::runIsAlive(pid, ticks);
}

} // namespace

namespace OwnedWorkbooks {

void claim(const QString &path)
{
    try {
        QMutexLocker lock(&recordMutex);
        const QString record = recordPath(ProcessRuns::privateFolder());
        QStringList lines = ProcessRuns::readListFile(record);
        lines.append(absolute(path));
        writeRecord(record, lines);
    } catch (const std::exception &) {
        // Without a record the workbook is only not swept after a kill.
    }
}

void release(const QString &path)
{
    try {
        QMutexLocker lock(&recordMutex);
        const QString record = recordPath(ProcessRuns::privateFolder());
        QStringList lines = ProcessRuns::readListFile(record);
        if (lines.removeAll(absolute(path)) > 0)
            writeRecord(record, lines);
    } catch (const std::exception &) {
    }
}

QString remove(const QString &path)
{
    if (path.isEmpty())
        return {};
    QFile workbook(path);
    if (workbook.exists() && !workbook.remove())
        return workbook.errorString();
    release(path);
    return {};
}

void removeThoseOfDeadRuns()
{
    try {
        const QString root = ProcessRuns::privateFolder();
        const QStringList records = QDir(root).entryList({kRecordPrefix + QLatin1Char('*')}, QDir::Files);
        for (const QString &name : records) {
            if (runIsAlive(name))
                continue;
            const QString record = root + QLatin1Char('/') + name;
            for (const QString &path : ProcessRuns::readListFile(record)) {
                const QFileInfo file(path);
                if (file.fileName() == kPictureName) {
                    removeDeadRunsPicture(file.absolutePath());
                    continue;
                }
                // Only a workbook of ours by its name, and this user's.
                if (!file.fileName().startsWith(kWorkbookPrefix)
                    || !file.fileName().endsWith(QLatin1String(".xls")) || !IsThisUsersFile(path))
                    continue;
                QFile::remove(path);
                RemoveEngineLeftoversBeside(path, file.lastModified().toSecsSinceEpoch() - 60);
            }
            QFile::remove(record);
        }
    } catch (const std::exception &) {
    }
}

} // namespace OwnedWorkbooks
