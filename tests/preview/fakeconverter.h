#pragma once

#include "spreadsheet/spreadsheetserver.h"
#include "testfiles.h"

#include <QTemporaryDir>

#include <chrono>
#include <condition_variable>
#include <mutex>

// An engine that only converts: each conversion writes a file of its own that
// tells the format, or throws the reason it is given. Nothing else is there.
class FakeConverter : public SpreadsheetServer
{
public:
    std::unique_ptr<Application> create() override { throw SpreadsheetError(QStringLiteral("no instances")); }
    std::unique_ptr<Application> getRunning() override { throw SpreadsheetError(QStringLiteral("none running")); }
    QString expectedProductName() const override { return QStringLiteral("FakeCalc"); }

    QString convertWorkbook(const QString &workbook, ResultFormat format, std::stop_token stop = {}) override
    {
        converted.append(workbook);
        if (!failure.isEmpty())
            throw SpreadsheetError(failure);
        if (slow) {
            // Ends as the engine's instance ends when the job is cancelled.
            std::mutex mutex;
            std::condition_variable_any wake;
            std::unique_lock lock(mutex);
            if (wake.wait_for(lock, stop, std::chrono::seconds(5), [] { return false; }), stop.stop_requested())
                throw InstanceLostError(QStringLiteral("ended"));
        }
        const QString path = mFolder.filePath(QStringLiteral("made-%1").arg(converted.size()));
        WriteFileBytes(path, bytesOf(format));
        made.append(path);
        return path;
    }

    // Large enough not to fit on a full disk's last page.
    static QByteArray bytesOf(ResultFormat format)
    {
        return QByteArray(20000, 'c') + QByteArray::number(int(format));
    }

    QString failure;        // thrown by every conversion when set
    bool slow = false;      // takes five seconds unless stopped
    QStringList converted;  // the workbook of each call
    QStringList made;       // the files handed back

private:
    QTemporaryDir mFolder;
};
