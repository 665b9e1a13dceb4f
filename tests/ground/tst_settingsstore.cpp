#include "entries/entrycodec.h"
#include "ground/failure.h"
#include "ground/filereplace.h"
#include "ground/settingsstore.h"
#include "isolatedenvironment.h"
#include "smallfilesystem.h"
#include "testfiles.h"
#include "unprivilegeduser.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTest>
#include <QThread>

#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

namespace {
const QString kAssets = QStringLiteral("Assets");

QString systemWords(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QString listOf(int rows, const QString &label)
{
    EntryList entries;
    for (int i = 1; i <= rows; ++i)
        entries.append({label + QString::number(i), QString::number(i * 7)});
    return EncodeEntryList(entries);
}

QString stored()
{
    return GetSetting(kSettingsApp, kSettingsSection, kAssets, QStringLiteral("<none>"));
}

QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

QByteArray randomBytes(qsizetype size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    generator.fillRange(reinterpret_cast<quint32 *>(bytes.data()), size / 4);
    return bytes;
}
QString linkText(const QString &path)
{
    QByteArray text(4096, '\0');
    const ssize_t size = ::readlink(QFile::encodeName(path).constData(), text.data(), size_t(text.size()));
    return size < 0 ? QString() : QFile::decodeName(text.left(size));
}

// Runs the storing child in home, with no XDG_CONFIG_HOME (as sudo -E leaves
// it for root), as the user where the test may switch users. Answers its exit
// code, or -1 when it did not end by itself.
int runStoringChild(const UnprivilegedUser &user, const QString &home, const QStringList &arguments,
                    QString *said = nullptr)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home);
    environment.remove(QStringLiteral("XDG_CONFIG_HOME"));
    QProcess child;
    if (user.available()) {
        user.start(child, QStringLiteral(STORING_CHILD), arguments, environment);
    } else {
        child.setProcessEnvironment(environment);
        child.start(QStringLiteral(STORING_CHILD), arguments);
    }
    if (!child.waitForFinished(60000) || child.exitStatus() != QProcess::NormalExit)
        return -1;
    if (said)
        *said = QString::fromUtf8(child.readAllStandardOutput() + child.readAllStandardError());
    return child.exitCode();
}

// Sets an environment variable (unsets it for a null value) until the guard goes.
auto setForTheTest(const char *name, const QByteArray &value)
{
    const bool had = qEnvironmentVariableIsSet(name);
    const QByteArray old = qgetenv(name);
    value.isNull() ? qunsetenv(name) : qputenv(name, value);
    return qScopeGuard([=] { had ? qputenv(name, old) : qunsetenv(name); });
}
} // namespace

class TestSettingsStore : public QObject
{
    Q_OBJECT

private slots:
    void unreadableFileIsSetAsideNotStoredOver_data();
    void unreadableFileIsSetAsideNotStoredOver();
    void storedFileIsOwnerOnly();
    void failedStoreKeepsOldFile_data();
    void failedStoreKeepsOldFile();
    void fullDiskKeepsOldFile_data();
    void fullDiskKeepsOldFile();
    void killedWhileStoringLeavesOldOrNew();
    void emptyLockOfAKilledStoreIsTakenOver();
    void linkedFileIsWrittenThrough_data();
    void linkedFileIsWrittenThrough();
    void storeByRootLeavesTheUserOwningAll_data();
    void storeByRootLeavesTheUserOwningAll();
    void readOnlyHomeSaysWhy();
    void relativeConfigHomeIsIgnored_data();
    void relativeConfigHomeIsIgnored();
};

void TestSettingsStore::unreadableFileIsSetAsideNotStoredOver_data()
{
    const QByteArray settings = "[Quintarra]\nAssets=\"Savings||SEP1||25000||SEP2||Car||SEP1||7500||SEP2||\"\n";
    QTest::addColumn<QByteArray>("file");
    QTest::newRow("random bytes before the section") << randomBytes(4096, 8) + settings;
    const QString text = QString::fromUtf8(settings);
    QTest::newRow("UTF-16") << "\xff\xfe" + QByteArray(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
    QTest::newRow("10 MB binary") << randomBytes(10 << 20, 3);
}

void TestSettingsStore::unreadableFileIsSetAsideNotStoredOver()
{
    QFETCH(QByteArray, file);
    IsolatedEnvironment env;
    const QString path = SettingsFilePath(kSettingsApp);
    WriteFileBytes(path, file);

    QCOMPARE(stored(), QStringLiteral("<none>"));
    const QString copy = SetAsideUnreadableSettings(kSettingsApp);
    QVERIFY(copy.startsWith(path + QStringLiteral(".unreadable-")));
    QCOMPARE(ReadFileBytes(copy), file);
    QCOMPARE(QFileInfo(copy).permissions() & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
    QCOMPARE(ReadFileBytes(path), file);
    // Once: the next start finds the same copy.
    QCOMPARE(SetAsideUnreadableSettings(kSettingsApp), copy);

    SaveSetting(kSettingsApp, kSettingsSection, kAssets, QStringLiteral("Boat||SEP1||3||SEP2||"));
    QCOMPARE(stored(), QStringLiteral("Boat||SEP1||3||SEP2||"));
    QCOMPARE(ReadFileBytes(copy), file);
    QCOMPARE(filesIn(env.configFolder()), (QStringList{"Marlowic.ini", QFileInfo(copy).fileName()}));
    QCOMPARE(SetAsideUnreadableSettings(kSettingsApp), QString());
}

void TestSettingsStore::storedFileIsOwnerOnly()
{
    IsolatedEnvironment env;
    const QString path = SettingsFilePath(kSettingsApp);
    WriteFileBytes(path, "[Quintarra]\nAssets=\n[Other]\nkept=1\n");
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    SaveSetting(kSettingsApp, kSettingsSection, kAssets, QStringLiteral("a||SEP1||1||SEP2||"));
    QCOMPARE(QFileInfo(path).permissions(), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
    // The rest of the file is the platform's; it stays.
    QVERIFY(ReadFileBytes(path).contains("kept=1"));
}

void TestSettingsStore::failedStoreKeepsOldFile_data()
{
    QTest::addColumn<QString>("cause");
    QTest::addColumn<QString>("said");   // part of the failure's description
    QTest::newRow("read-only folder") << "read-only" << systemWords(EROFS);
    QTest::newRow("stale lock of another machine")
            << "lock" << "locked by another program (process 4242 on another-machine.example)";
}

void TestSettingsStore::failedStoreKeepsOldFile()
{
    QFETCH(QString, cause);
    QFETCH(QString, said);
    IsolatedEnvironment env;
    SmallFileSystem fs(1 << 20);
    QString folder = env.configFolder();
    if (cause == "read-only") {
        if (!fs.mounted())
            QSKIP(qPrintable(fs.why()));
        folder = fs.path();
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(folder));
    }
    const QString path = SettingsFilePath(kSettingsApp);
    SaveSetting(kSettingsApp, kSettingsSection, kAssets, listOf(20, QStringLiteral("old ")));
    const QByteArray before = ReadFileBytes(path);
    if (cause == "read-only")
        QVERIFY(fs.makeReadOnly());
    else
        WriteFileBytes(path + QStringLiteral(".lock"), "4242\nquintarra\nanother-machine.example\n");

    QElapsedTimer clock;
    clock.start();
    try {
        SaveSetting(kSettingsApp, kSettingsSection, kAssets, listOf(2000, QStringLiteral("new ")));
        QFAIL("the store reported success");
    } catch (const Failure &failure) {
        QVERIFY2(failure.description().contains(said), qPrintable(failure.description()));
    }
    // A stale lock is given up on after about two seconds, not the half minute
    // after which it would count as stale.
    QVERIFY(clock.elapsed() < 15000);
    QCOMPARE(ReadFileBytes(path), before);
    QCOMPARE(stored(), listOf(20, QStringLiteral("old ")));
    QVERIFY(filesIn(folder).filter(QStringLiteral(".part")).isEmpty());
}

void TestSettingsStore::fullDiskKeepsOldFile_data()
{
    QTest::addColumn<bool>("settings");   // else a saved copy
    QTest::newRow("settings") << true;
    QTest::newRow("saved copy") << false;
}

// On a small file system of its own where the test may mount one; else in a
// child process held to a file size limit, where the system says "File too large".
void TestSettingsStore::fullDiskKeepsOldFile()
{
    QFETCH(bool, settings);
    IsolatedEnvironment env;
    SmallFileSystem fs(256 << 10);
    const QString folder = fs.mounted() ? fs.path() : env.configFolder();
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(folder));
    const QString path = settings ? SettingsFilePath(kSettingsApp) : folder + QStringLiteral("/old.xls");
    const QString oldList = listOf(100, QStringLiteral("old "));
    if (settings)
        SaveSetting(kSettingsApp, kSettingsSection, kAssets, oldList);
    else
        WriteFileBytes(path, QByteArray(3000, 'o'));
    const QByteArray before = ReadFileBytes(path);
    const QString newList = listOf(2000, QStringLiteral("new "));

    QString said;
    if (fs.mounted()) {
        fs.fill();
        try {
            if (settings)
                SaveSetting(kSettingsApp, kSettingsSection, kAssets, newList);
            else
                ReplaceFile(path, QByteArray(8704, 'n'), FileAccess::Document);
            QFAIL("the write reported success");
        } catch (const Failure &failure) {
            said = failure.description();
        }
        QVERIFY2(said.contains(systemWords(ENOSPC)), qPrintable(said));
    } else {
        qInfo("Full file system variant skipped (%s); a file size limit stands in for it.", qPrintable(fs.why()));
        QProcess child;
        const QStringList what = settings ? QStringList{"settings", listOf(400, QStringLiteral("new "))}
                                          : QStringList{"file", path, "8704"};
        child.start(QStringLiteral(STORING_CHILD), QStringList{"limit", "8192"} + what);
        QVERIFY(child.waitForFinished(30000));
        QCOMPARE(child.exitCode(), 1);
        said = QString::fromLocal8Bit(child.readAllStandardError());
        QVERIFY2(said.contains(systemWords(EFBIG)), qPrintable(said));
    }
    QCOMPARE(ReadFileBytes(path), before);
    if (settings)
        QCOMPARE(stored(), oldList);
    QVERIFY(filesIn(folder).filter(QStringLiteral(".part")).isEmpty());
}

void TestSettingsStore::killedWhileStoringLeavesOldOrNew()
{
    IsolatedEnvironment env;
    const QString oldList = listOf(300, QStringLiteral("old "));
    const QString newList = listOf(500, QStringLiteral("new "));
    SaveSetting(kSettingsApp, kSettingsSection, kAssets, oldList);
    QRandomGenerator random(20261207);
    int sawNew = 0;
    for (int round = 0; round < 30; ++round) {
        QProcess child;
        child.start(QStringLiteral(STORING_CHILD), {"loop", newList, oldList});
        QVERIFY(child.waitForStarted());
        QThread::msleep(20 + random.bounded(120));
        child.kill();
        QVERIFY(child.waitForFinished());
        const QString now = stored();
        QVERIFY2(now == oldList || now == newList, qPrintable(QStringLiteral("round %1: %2 characters stored")
                                                                      .arg(round)
                                                                      .arg(now.size())));
        sawNew += now == newList;
    }
    qInfo("%d of 30 kills left the new list in place", sawNew);

    // What the kills left half-written goes with the next store, once no store
    // can still be writing it.
    const QDateTime longAgo = QDateTime::currentDateTime().addSecs(-3600);
    for (const QString &name : filesIn(env.configFolder())) {
        QFile file(QDir(env.configFolder()).filePath(name));
        if (name.endsWith(QStringLiteral(".part")) && file.open(QIODevice::ReadWrite))
            file.setFileTime(longAgo, QFileDevice::FileModificationTime);
    }
    SaveSetting(kSettingsApp, kSettingsSection, kAssets, oldList);
    QCOMPARE(filesIn(env.configFolder()), QStringList{"Marlowic.ini"});
}

void TestSettingsStore::emptyLockOfAKilledStoreIsTakenOver()
{
    IsolatedEnvironment env;
    const QString path = SettingsFilePath(kSettingsApp);
    WriteFileBytes(path + QStringLiteral(".lock"), QByteArray());
    SaveSetting(kSettingsApp, kSettingsSection, kAssets, QStringLiteral("a||SEP1||1||SEP2||"));
    QCOMPARE(stored(), QStringLiteral("a||SEP1||1||SEP2||"));
    QCOMPARE(filesIn(env.configFolder()), QStringList{"Marlowic.ini"});
}

void TestSettingsStore::linkedFileIsWrittenThrough_data()
{
    QTest::addColumn<QStringList>("links");   // link, what it holds, ...; "~" is the home
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("targetThere");
    const QString config = QStringLiteral(".config/Marlowic.ini");
    QTest::newRow("absolute") << QStringList{config, "~/dotfiles/Marlowic.ini"} << "dotfiles/Marlowic.ini" << true;
    QTest::newRow("relative") << QStringList{config, "../dotfiles/Marlowic.ini"} << "dotfiles/Marlowic.ini" << true;
    QTest::newRow("link to a link") << QStringList{config, "../dotfiles/Marlowic.ini", "dotfiles/Marlowic.ini",
                                                   "quintarra/settings.ini"}
                                    << "dotfiles/quintarra/settings.ini" << true;
    QTest::newRow("to a file not made yet") << QStringList{config, "../dotfiles/Marlowic.ini"}
                                            << "dotfiles/Marlowic.ini" << false;
}

// A dotfile manager keeps the settings as a link into its own folder; the
// folder's copy must be the one that changes, and the link must stay.
void TestSettingsStore::linkedFileIsWrittenThrough()
{
    QFETCH(QStringList, links);
    QFETCH(QString, target);
    QFETCH(bool, targetThere);
    const UnprivilegedUser user;
    if (!user.available())
        qInfo("Stored as this user: %s", qPrintable(user.why()));
    QTemporaryDir home;
    const QDir dir(home.path());
    dir.mkpath(QStringLiteral(".config"));
    dir.mkpath(QStringLiteral("dotfiles/quintarra"));
    if (targetThere)
        WriteFileBytes(dir.filePath(target), "[Quintarra]\nAssets=\"a||SEP1||1||SEP2||\"\n[Other]\nkept=1\n");
    for (qsizetype i = 0; i < links.size(); i += 2) {
        links[i + 1].replace(QLatin1Char('~'), home.path());
        QVERIFY(::symlink(QFile::encodeName(links[i + 1]).constData(),
                          QFile::encodeName(dir.filePath(links[i])).constData()) == 0);
    }
    QVERIFY(!user.available() || user.give(home.path()));

    const QString list = listOf(3, QStringLiteral("new "));
    QCOMPARE(runStoringChild(user, home.path(), {"store", list}), 0);

    for (qsizetype i = 0; i < links.size(); i += 2)
        QCOMPARE(linkText(dir.filePath(links[i])), links[i + 1]);
    QString shown;
    QCOMPARE(runStoringChild(user, home.path(), {"show"}, &shown), 0);
    QCOMPARE(shown, list);
    QVERIFY(ReadFileBytes(dir.filePath(target)).contains(list.toUtf8()));
    QCOMPARE(ReadFileBytes(dir.filePath(target)).contains("kept=1"), targetThere);
    QCOMPARE(filesIn(dir.filePath(QStringLiteral(".config"))), QStringList{"Marlowic.ini"});
    QVERIFY(filesIn(QFileInfo(dir.filePath(target)).absolutePath()).filter(QStringLiteral(".part")).isEmpty());
    if (user.available())
        QCOMPARE(user.notOwned(home.path()), QStringList());
}

void TestSettingsStore::storeByRootLeavesTheUserOwningAll_data()
{
    QTest::addColumn<QString>("before");
    QTest::newRow("no configuration folder yet") << "none";
    QTest::newRow("the user's settings file") << "file";
    QTest::newRow("the user's unreadable file") << "unreadable";
    QTest::newRow("the user's linked file") << "link";
}

// Run with sudo -E, the program is root with the user's home: whatever it
// stores there must stay readable and replaceable by the user's own runs.
void TestSettingsStore::storeByRootLeavesTheUserOwningAll()
{
    QFETCH(QString, before);
    const UnprivilegedUser user;
    if (!user.available())
        QSKIP(qPrintable(user.why()));
    IsolatedEnvironment env;
    QTemporaryDir home;
    const QString config = home.filePath(QStringLiteral(".config/Marlowic.ini"));
    const QString dotfile = home.filePath(QStringLiteral("dotfiles/Marlowic.ini"));
    if (before == "file")
        WriteFileBytes(config, "[Quintarra]\nAssets=\n");
    else if (before == "unreadable")
        WriteFileBytes(config, randomBytes(4096, 5));
    if (before == "link") {
        WriteFileBytes(dotfile, "[Quintarra]\nAssets=\n");
        QVERIFY(QDir(home.path()).mkpath(QStringLiteral(".config")));
        QVERIFY(QFile::link(dotfile, config));
    }
    QVERIFY(user.give(home.path()));

    {
        const auto homeGuard = setForTheTest("HOME", QFile::encodeName(home.path()));
        const auto configGuard = setForTheTest("XDG_CONFIG_HOME", QByteArray());
        SaveSetting(kSettingsApp, kSettingsSection, kAssets, QStringLiteral("root||SEP1||1||SEP2||"));
    }
    QCOMPARE(user.notOwned(home.path()), QStringList());
    QCOMPARE(filesIn(QFileInfo(config).absolutePath()).size(), before == "unreadable" ? 2 : 1);

    QString shown;
    QCOMPARE(runStoringChild(user, home.path(), {"show"}, &shown), 0);
    QCOMPARE(shown, QStringLiteral("root||SEP1||1||SEP2||"));
    QCOMPARE(runStoringChild(user, home.path(), {"store", "user||SEP1||2||SEP2||"}, &shown), 0);
    QCOMPARE(runStoringChild(user, home.path(), {"show"}, &shown), 0);
    QCOMPARE(shown, QStringLiteral("user||SEP1||2||SEP2||"));
}

// With no configuration folder yet, the folder that cannot be made is the reason.
void TestSettingsStore::readOnlyHomeSaysWhy()
{
    const UnprivilegedUser user;
    if (!user.available())
        QSKIP(qPrintable(user.why()));
    QTemporaryDir home;
    QVERIFY(user.give(home.path()));
    QVERIFY(::chmod(QFile::encodeName(home.path()).constData(), 0555) == 0);

    QString said;
    QCOMPARE(runStoringChild(user, home.path(), {"store", "a||SEP1||1||SEP2||"}, &said), 1);
    QVERIFY2(said.contains(systemWords(EACCES)), qPrintable(said));
}

void TestSettingsStore::relativeConfigHomeIsIgnored_data()
{
    QTest::addColumn<QByteArray>("configHome");
    QTest::newRow("relative") << QByteArray("settings");
    QTest::newRow("tilde, which no shell expanded") << QByteArray("~/.config");
}

// The base-directory convention: a relative XDG_CONFIG_HOME is invalid and is
// ignored, or the list would follow the folder the program was started from.
void TestSettingsStore::relativeConfigHomeIsIgnored()
{
    QFETCH(QByteArray, configHome);
    IsolatedEnvironment env;
    const QString home = env.root();
    const QString startedIn = env.tempFolder();
    const auto homeGuard = setForTheTest("HOME", QFile::encodeName(home));
    const auto configGuard = setForTheTest("XDG_CONFIG_HOME", configHome);
    const QString before = QDir::currentPath();
    QDir::setCurrent(startedIn);
    const auto back = qScopeGuard([&] { QDir::setCurrent(before); });

    QCOMPARE(SettingsFilePath(kSettingsApp), home + QStringLiteral("/.config/Marlowic.ini"));
    SaveSetting(kSettingsApp, kSettingsSection, kAssets, QStringLiteral("a||SEP1||1||SEP2||"));
    QCOMPARE(stored(), QStringLiteral("a||SEP1||1||SEP2||"));
    QVERIFY(QFileInfo(home + QStringLiteral("/.config/Marlowic.ini")).isFile());
    QCOMPARE(QDir(startedIn).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
}

QTEST_GUILESS_MAIN(TestSettingsStore)
#include "tst_settingsstore.moc"
