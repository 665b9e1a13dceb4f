#include "ground/settingsstore.h"

#include "ground/failure.h"
#include "ground/filereplace.h"
#include "ground/homeowner.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QSettings>
#include <QTemporaryDir>

#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// A lock left by a program on another machine sharing the home folder cannot be
// proven stale; closing must not wait on it for long.
constexpr int kLockWaitMs = 2000;

QString nativePath(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// QSettings escapes every control character it writes, so a file holding one
// raw (another encoding, a binary file, bytes run over) was not written as
// settings. Reading it anyway would show a fraction of the list at best, which
// the next store would make final.
bool holdsRawControlCharacter(const QByteArray &bytes)
{
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r')
            return true;
    }
    return false;
}

bool isSettingsFile(const QString &path, const QByteArray &bytes)
{
    return !holdsRawControlCharacter(bytes)
            && QSettings(path, QSettings::IniFormat).status() == QSettings::NoError;
}

// The file's bytes; a null array when there is no file. Throws when it is there
// but cannot be read.
QByteArray readStoredBytes(const QString &path)
{
    // A link whose file is not made yet leads to no file; QFile::exists() sees the link.
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0 && errno == ENOENT)
        return QByteArray();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Failure(QStringLiteral("Cannot read %1: %2").arg(nativePath(path), file.errorString()));
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw Failure(QStringLiteral("Cannot read %1: %2").arg(nativePath(path), file.errorString()));
    if (bytes.isNull())
        bytes = QByteArray("");
    return bytes;
}

QString readValue(QSettings &settings, const QString &section, const QString &key, bool *found)
{
    settings.beginGroup(section);
    *found = settings.contains(key);
    const QVariant value = settings.value(key);
    settings.endGroup();
    // A value written by hand without quotes is read as a list wherever it
    // holds a comma; it is still one text.
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QLatin1Char(','));
    return value.toString();
}

QString unreadableCopyPath(const QString &path, const QByteArray &bytes)
{
    const QFileInfo info(path);
    const QDir folder = info.absoluteDir();
    const QString prefix = info.fileName() + QStringLiteral(".unreadable-");
    const QStringList copies = folder.entryList({prefix + QLatin1Char('*')}, QDir::Files | QDir::Hidden);
    for (const QString &name : copies) {
        QFile copy(folder.filePath(name));
        if (copy.size() == bytes.size() && copy.open(QIODevice::ReadOnly) && copy.readAll() == bytes)
            return copy.fileName();
    }
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString candidate = folder.filePath(prefix + stamp);
    for (int n = 2; QFileInfo::exists(candidate); ++n)
        candidate = folder.filePath(prefix + stamp + QStringLiteral("-%1").arg(n));
    ReplaceFile(candidate, bytes, FileAccess::OwnerOnly, FileOwnership::Kept);
    return candidate;
}

class SettingsLock
{
public:
    explicit SettingsLock(const QString &path)
        : mLock(path + QStringLiteral(".lock"))
    {
        take(path);
        GiveToHomeOwner(mLock.fileName());
    }

private:
    // Returns holding the lock, or throws why it cannot be had.
    void take(const QString &path)
    {
        errno = 0;
        if (mLock.tryLock(kLockWaitMs))
            return;
        // QLockFile keeps no words of its own for why it could not make the lock
        // file (a read-only or full disk); the system's are still in errno.
        const int error = errno;
        if (mLock.error() == QLockFile::LockFailedError) {
            qint64 pid = 0;
            QString app, host;
            // A store killed between making the lock file and writing whose it is
            // leaves it empty; no live store keeps it so for the time just waited.
            if (!mLock.getLockInfo(&pid, &host, &app) && mLock.removeStaleLockFile() && mLock.tryLock(0))
                return;
            throw Failure(QStringLiteral("The settings file %1 is locked by another program "
                                         "(process %2 on %3)")
                                  .arg(nativePath(path), QString::number(pid),
                                       host.isEmpty() ? QStringLiteral("an unknown machine") : host));
        }
        throw Failure(QStringLiteral("Cannot write %1: %2")
                              .arg(nativePath(path), error != 0 ? SystemWords(error)
                                                                : QStringLiteral("the lock file cannot be made")));
    }

    QLockFile mLock;
};

// Makes the folder and those above it that are missing, private as the
// base-directory convention asks; a failure says why, in the system's words.
void makeFolders(const QString &folder)
{
    QStringList missing;
    for (QString f = QDir::cleanPath(folder); !QFileInfo::exists(f) && f != QStringLiteral("/");
         f = QFileInfo(f).absolutePath())
        missing.prepend(f);
    for (const QString &f : std::as_const(missing)) {
        if (::mkdir(QFile::encodeName(f).constData(), 0700) != 0 && errno != EEXIST) {
            const int error = errno;
            throw Failure(QStringLiteral("Cannot make the folder %1: %2").arg(nativePath(f), SystemWords(error)));
        }
        GiveToHomeOwner(f);
    }
}

// The settings file as it will be: QSettings writes it in a private scratch
// folder, so its INI form is the one every stored file has, and what it wrote
// is read back from a second copy before anything replaces the real file.
QByteArray renderSettings(const QByteArray &before, const QString &section, const QString &key,
                          const QString &text)
{
    QTemporaryDir scratch;
    if (!scratch.isValid())
        throw Failure(QStringLiteral("Cannot prepare the settings: %1").arg(scratch.errorString()));
    const QString draft = scratch.filePath(QStringLiteral("draft.ini"));
    if (!before.isNull())
        ReplaceFile(draft, before, FileAccess::Scratch);
    {
        QSettings settings(draft, QSettings::IniFormat);
        settings.beginGroup(section);
        settings.setValue(key, text);
        settings.endGroup();
        settings.sync();
        if (settings.status() != QSettings::NoError)
            throw Failure(QStringLiteral("Cannot prepare the settings in %1")
                                  .arg(nativePath(scratch.path())));
    }
    QFile drafted(draft);
    if (!drafted.open(QIODevice::ReadOnly))
        throw Failure(QStringLiteral("Cannot read %1: %2").arg(nativePath(draft), drafted.errorString()));
    const QByteArray bytes = drafted.readAll();

    const QString readBack = scratch.filePath(QStringLiteral("readback.ini"));
    ReplaceFile(readBack, bytes, FileAccess::Scratch);
    QSettings check(readBack, QSettings::IniFormat);
    bool found = false;
    if (check.status() != QSettings::NoError || readValue(check, section, key, &found) != text || !found) {
        // QSettings does not tell a failed last write (its save file commits
        // anyway); a checked write of as much gets the system's own words.
        const QByteArray asMuch(bytes.size() + text.toUtf8().size() + 4096, ' ');
        ReplaceFile(scratch.filePath(QStringLiteral("settings-draft")), asMuch, FileAccess::OwnerOnly);
        throw Failure(QStringLiteral("Cannot prepare the settings: they do not read back as written"));
    }
    return bytes;
}

} // namespace

QString SettingsFilePath(const QString &appName)
{
    // Looked up on every call: the configuration folder follows XDG_CONFIG_HOME.
    // A relative one is invalid by the base-directory convention and is ignored,
    // which QStandardPaths does in some Qt versions only.
    QString folder = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!QDir::isAbsolutePath(folder))
        folder = QDir::homePath() + QStringLiteral("/.config");
    return QDir(folder).filePath(appName + QStringLiteral(".ini"));
}

QString GetSetting(const QString &appName, const QString &section, const QString &key,
                   const QString &defaultText)
{
    const QString path = SettingsFilePath(appName);
    QByteArray bytes;
    try {
        bytes = readStoredBytes(path);
    } catch (const Failure &) {
        return defaultText;
    }
    // The checks of isSettingsFile, with the file parsed once for both the
    // check and the value.
    if (!bytes.isNull() && holdsRawControlCharacter(bytes))
        return defaultText;
    QSettings settings(path, QSettings::IniFormat);
    if (settings.status() != QSettings::NoError)
        return defaultText;
    bool found = false;
    const QString value = readValue(settings, section, key, &found);
    return found ? value : defaultText;
}

QString SetAsideUnreadableSettings(const QString &appName)
{
    const QString path = SettingsFilePath(appName);
    const QByteArray bytes = readStoredBytes(path);
    if (bytes.isNull() || isSettingsFile(path, bytes))
        return QString();
    return unreadableCopyPath(path, bytes);
}

void SaveSetting(const QString &appName, const QString &section, const QString &key,
                 const QString &text)
{
    const QString path = SettingsFilePath(appName);
    makeFolders(QFileInfo(path).absolutePath());
    SettingsLock lock(path);
    QByteArray before = readStoredBytes(path);
    if (!before.isNull() && !isSettingsFile(path, before)) {
        // What the user never saw is not stored over: it stays in a copy.
        unreadableCopyPath(path, before);
        before = QByteArray();
    }
    // A dotfile manager keeps the settings as a link into its own folder: the
    // link stays, and its file is replaced in its own folder, as safely.
    const QString file = FollowLinks(path);
    ReplaceFile(file, renderSettings(before, section, key, text), FileAccess::OwnerOnly, FileOwnership::Kept);
    RemoveLeftoverParts(QFileInfo(file).absolutePath());
}
