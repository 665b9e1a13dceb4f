#include "libreoffice/disk/engineprofile.h"

#include "ground/processruns.h"
#include "libreoffice/disk/engineregistry.h"
#include "libreoffice/installation.h"
#include "libreoffice/process/childprocess.h"
#include "libreoffice/process/engineprocess.h"
#include "spreadsheet/spreadsheetserver.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QUrl>

#include <mutex>

#include <sys/stat.h>
#include <unistd.h>

namespace {

QString setting(const char *path, const char *name, const QString &value)
{
    return QStringLiteral("<item oor:path=\"%1\"><prop oor:name=\"%2\" oor:op=\"fuse\"><value>%3</value>"
                          "</prop></item>\n")
            .arg(QLatin1String(path), QLatin1String(name), value.toHtmlEscaped());
}

// Written before the first start:
// - the version LibreOffice compares at start-up, so a headless start does not
//   repeat its first-start graphics test;
// - Caladea in place of Constantia, which this system lacks and whose fallback
//   is so wide that the amounts show as ###;
// - no document locking at all: "UseLocking" is the switch this LibreOffice
//   obeys (the lock-file switch alone still leaves ".~lock.NAME#" files, which
//   a killed instance never removes, and which make a second instance refuse
//   the file the first one has open);
// - nothing that reaches out: no update check, no crash report upload, links
//   in a workbook never updated, no referer sent for any link.
QByteArray seededRegistry(const QString &version)
{
    QString items;
    items += setting("/org.openoffice.Setup/Product", "ooSetupLastVersion", version);
    items += setting("/org.openoffice.Office.Common/Font/Substitution", "Replacement", QStringLiteral("true"));
    items += QStringLiteral(
            "<item oor:path=\"/org.openoffice.Office.Common/Font/Substitution/FontPairs\">"
            "<node oor:name=\"_0\" oor:op=\"replace\">"
            "<prop oor:name=\"Always\" oor:op=\"fuse\"><value>true</value></prop>"
            "<prop oor:name=\"OnScreenOnly\" oor:op=\"fuse\"><value>false</value></prop>"
            "<prop oor:name=\"ReplaceFont\" oor:op=\"fuse\"><value>Constantia</value></prop>"
            "<prop oor:name=\"SubstituteFont\" oor:op=\"fuse\"><value>Caladea</value></prop>"
            "</node></item>\n");
    items += setting("/org.openoffice.Office.Common/Misc", "UseLocking", QStringLiteral("false"));
    items += setting("/org.openoffice.Office.Common/Misc", "UseDocumentOOoLockFile", QStringLiteral("false"));
    items += setting("/org.openoffice.Office.Common/Misc", "UseDocumentSystemFileLocking", QStringLiteral("false"));
    items += setting("/org.openoffice.Office.Common/Misc", "CrashReport", QStringLiteral("false"));
    items += setting("/org.openoffice.Office.Jobs/Jobs/UpdateCheck/Arguments", "AutoCheckEnabled",
                     QStringLiteral("false"));
    items += setting("/org.openoffice.Office.Jobs/Jobs/UpdateCheck/Arguments", "AutoDownloadEnabled",
                     QStringLiteral("false"));
    // 1: never update links to other files or to the web.
    items += setting("/org.openoffice.Office.Calc/Content/Update", "Link", QStringLiteral("1"));
    items += setting("/org.openoffice.Office.Common/Security/Scripting", "BlockUntrustedRefererLinks",
                     QStringLiteral("true"));
    const QString text = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                        "<oor:items xmlns:oor=\"http://openoffice.org/2001/registry\" "
                                        "xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" "
                                        "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">\n")
            + items + QStringLiteral("</oor:items>\n");
    return text.toUtf8();
}

bool copyTree(const QString &from, const QString &to)
{
    QDirIterator it(from, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString source = it.next();
        const QString target = to + source.mid(from.size());
        if (it.fileInfo().isDir()) {
            if (!QDir().mkpath(target))
                return false;
        } else if (it.fileName() != QLatin1String(".lock")) {
            QDir().mkpath(QFileInfo(target).absolutePath());
            QFile::remove(target);
            if (!QFile::copy(source, target))
                return false;
        }
    }
    return true;
}

bool isPrepared(const QString &folder)
{
    return QFileInfo(folder + QStringLiteral("/user/registrymodifications.xcu")).isFile();
}

struct Prepared {
    QString folder;   // empty when the preparation failed
};

std::mutex preparedMutex;
QHash<QString, Prepared> preparedByProgram;
int preparations = 0;   // under preparedMutex

// Runs LibreOffice's first start on a seeded profile. The empty text when it
// fails; throws when it hangs.
QString prepare(const QString &program, std::chrono::milliseconds timeout)
{
    const QString root = EngineRegistry::privateRoot();
    const QString folder =
            root + QStringLiteral("/%1-prepared-%2").arg(ProcessRuns::runName()).arg(preparations++);
    QDir(folder).removeRecursively();
    ::mkdir(QFile::encodeName(folder).constData(), 0700);
    EngineProfile::writeSeed(folder);
    QDir().mkpath(folder + QStringLiteral("/scratch"));
    ChildProcess first;
    first.spawn(program,
                EngineProfile::headlessSwitches()
                        << QStringLiteral("--terminate_after_init") << EngineProfile::profileArgument(folder),
                folder + QStringLiteral("/scratch"));
    if (!first.waitForEnd(int(timeout.count()))) {
        first.killAndReap();
        EngineRegistry::removePipeFiles({EngineRegistry::profilePipeFile(folder)});
        QDir(folder).removeRecursively();
        throw SpreadsheetError(QStringLiteral("LibreOffice did not answer within %1 seconds while preparing its "
                                              "profile, so it was stopped.")
                                       .arg(timeout.count() / 1000.0));
    }
    if (first.exitCode() != 0 && first.exitCode() != EngineProfile::kRestartRequested) {
        QDir(folder).removeRecursively();
        return {};
    }
    QFile::remove(folder + QStringLiteral("/.lock"));
    QDir(folder + QStringLiteral("/scratch")).removeRecursively();
    return folder;
}

} // namespace

namespace EngineProfile {

void writeSeed(const QString &profile)
{
    QFile registry(profile + QStringLiteral("/user/registrymodifications.xcu"));
    if (!QDir().mkpath(profile + QStringLiteral("/user")) || !registry.open(QIODevice::WriteOnly)
        || registry.write(seededRegistry(Installation::ours().productVersion())) < 0)
        throw SpreadsheetError(QStringLiteral("Cannot write %1.").arg(registry.fileName()));
}

void prepareCopy(const QString &profile, const QString &program, std::chrono::milliseconds timeout)
{
    QString folder;
    {
        // One preparation at a time: a spare and a command may start together.
        std::lock_guard lock(preparedMutex);
        auto known = preparedByProgram.find(program);
        if (known == preparedByProgram.end())
            known = preparedByProgram.insert(program, Prepared{prepare(program, timeout)});
        else if (!known->folder.isEmpty() && !isPrepared(known->folder))
            // Cleaned away with the temporary folder while the program ran.
            known->folder = prepare(program, timeout);
        folder = known->folder;
    }
    if (folder.isEmpty() || !copyTree(folder, profile))
        writeSeed(profile);
}

QString profileUrl(const QString &profile)
{
    return QUrl::fromLocalFile(profile).toString(QUrl::FullyEncoded);
}

QString profileArgument(const QString &profile)
{
    return QStringLiteral("-env:UserInstallation=%1").arg(profileUrl(profile));
}

QStringList headlessSwitches()
{
    return {QStringLiteral("--headless"), QStringLiteral("--invisible"), QStringLiteral("--norestore"),
            QStringLiteral("--nologo"), QStringLiteral("--nodefault"), QStringLiteral("--nolockcheck")};
}

void removePrepared()
{
    std::lock_guard lock(preparedMutex);
    for (const Prepared &prepared : std::as_const(preparedByProgram))
        if (!prepared.folder.isEmpty())
            QDir(prepared.folder).removeRecursively();
    preparedByProgram.clear();
}

} // namespace EngineProfile

namespace {
// The prepared profiles go with the program, however its main function ends.
struct RemovePreparedAtExit {
    ~RemovePreparedAtExit() { EngineProfile::removePrepared(); }
} removePreparedAtExit;
} // namespace
