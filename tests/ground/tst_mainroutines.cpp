#include "ground/failure.h"
#include "ground/filereplace.h"
#include "ground/mainroutines.h"
#include "ground/processruns.h"
#include "testfiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

class TestMainRoutines : public QObject
{
    Q_OBJECT

private slots:
    void writeBytes_data();
    void writeBytes();
    void writeBytesReplacesLinkWithoutTouchingItsTarget();
    void writeBytesIntoMissingFolderFails();
    void replacedFileModes_data();
    void replacedFileModes();
    void fileExists();
    void deleteFileQuietly();
    void privateFolderOfTheRuns_data();
    void privateFolderOfTheRuns();
};

void TestMainRoutines::writeBytes_data()
{
    QTest::addColumn<QByteArray>("before");   // null: no file there
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("new file") << QByteArray() << QByteArray("\xD0\xCF\x11\xE0\x00\x01", 6);
    QTest::newRow("empty array, new file") << QByteArray() << QByteArray("");
    QTest::newRow("longer file is cut to the new length") << QByteArray(5000, 'x') << QByteArray("abc");
    QTest::newRow("shorter file grows") << QByteArray("ab") << QByteArray(70000, '\x7f');
}

void TestMainRoutines::writeBytes()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, bytes);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Pie Chart.xlt"));
    if (!before.isNull())
        WriteFileBytes(path, before);

    WriteBytesToFile(bytes, path);

    QVERIFY(QFileInfo(path).isFile());
    QCOMPARE(ReadFileBytes(path), bytes);
    QCOMPARE(QFileInfo(path).permissions() & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup
                                              | QFile::WriteOther),
             QFile::Permissions());
}

void TestMainRoutines::writeBytesReplacesLinkWithoutTouchingItsTarget()
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("someone else's file"));
    WriteFileBytes(target, "precious");
    const QString path = dir.filePath(QStringLiteral("temp.bmp"));
    QVERIFY(QFile::link(target, path));

    WriteBytesToFile("picture", path);

    QCOMPARE(ReadFileBytes(target), QByteArray("precious"));
    QVERIFY(!QFileInfo(path).isSymLink());
    QCOMPARE(ReadFileBytes(path), QByteArray("picture"));
}

void TestMainRoutines::writeBytesIntoMissingFolderFails()
{
    QTemporaryDir dir;
    QVERIFY_THROWS_EXCEPTION(Failure, WriteBytesToFile("x", dir.filePath(QStringLiteral("no/such/file"))));
}

void TestMainRoutines::replacedFileModes_data()
{
    QTest::addColumn<int>("access");      // a FileAccess
    QTest::addColumn<int>("before");      // mode of the file there; 0: none
    QTest::addColumn<int>("after");
    const int umask = ::umask(0);
    ::umask(umask);
    const int document = int(FileAccess::Document), own = int(FileAccess::OwnerOnly);
    const int scratch = int(FileAccess::Scratch);
    QTest::newRow("saved copy follows the umask") << document << 0 << (0666 & ~umask);
    QTest::newRow("saved copy keeps the mode it replaces") << document << 0640 << 0640;
    QTest::newRow("our own file is owner-only") << own << 0 << 0600;
    QTest::newRow("our own file becomes owner-only") << own << 0644 << 0600;
    QTest::newRow("scratch file is owner-only") << scratch << 0 << 0600;
    QTest::newRow("scratch file becomes owner-only") << scratch << 0644 << 0600;
}

void TestMainRoutines::replacedFileModes()
{
    QFETCH(int, access);
    QFETCH(int, before);
    QFETCH(int, after);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("result.xls"));
    if (before) {
        WriteFileBytes(path, "old");
        ::chmod(QFile::encodeName(path).constData(), mode_t(before));
    }
    ReplaceFile(path, "new", FileAccess(access));
    struct stat info {};
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &info), 0);
    QCOMPARE(int(info.st_mode & 07777), after);
    QCOMPARE(ReadFileBytes(path), QByteArray("new"));
}

void TestMainRoutines::fileExists()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("a.xls"));
    WriteFileBytes(file, "x");
    QVERIFY(FileExists(file));
    QVERIFY(!FileExists(dir.filePath(QStringLiteral("b.xls"))));
    QVERIFY(!FileExists(QString()));
    QVERIFY(!FileExists(dir.filePath(QStringLiteral("a.xls/inside"))));
}

void TestMainRoutines::deleteFileQuietly()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("tervik12345678.xls"));
    WriteFileBytes(file, "x");
    DeleteFileQuietly(file);
    QVERIFY(!QFileInfo::exists(file));
    // Neither a missing file nor a bad path is an error.
    DeleteFileQuietly(file);
    DeleteFileQuietly(QString());
    DeleteFileQuietly(QStringLiteral("/no/such/folder/x"));
}

void TestMainRoutines::privateFolderOfTheRuns_data()
{
    QTest::addColumn<QString>("planted");   // what lies at the folder's name beforehand
    QTest::addColumn<bool>("usable");

    QTest::newRow("nothing yet") << "" << true;
    // As a LibreOffice of ours makes it again, with the umask, after a cleaner removed it.
    QTest::newRow("own folder made with the umask: narrowed") << "folder 0755" << true;
    QTest::newRow("link to a folder") << "link" << false;
}

void TestMainRoutines::privateFolderOfTheRuns()
{
    QFETCH(QString, planted);
    QFETCH(bool, usable);
    QTemporaryDir temp;
    const QByteArray oldTmp = qgetenv("TMPDIR");
    qputenv("TMPDIR", QFile::encodeName(temp.path()));
    const QString folder = temp.filePath(ProcessRuns::privateFolderName());
    if (planted == "folder 0755") {
        QVERIFY(QDir().mkdir(folder));
        QVERIFY(::chmod(QFile::encodeName(folder).constData(), 0755) == 0);
    } else if (planted == "link") {
        QVERIFY(QDir().mkdir(temp.filePath("elsewhere")));
        QVERIFY(QFile::link(temp.filePath("elsewhere"), folder));
    }
    bool made = false;
    try {
        made = ProcessRuns::privateFolder() == folder;
    } catch (const Failure &) {
    }
    oldTmp.isNull() ? qunsetenv("TMPDIR") : qputenv("TMPDIR", oldTmp);
    QCOMPARE(made, usable);
    struct stat info {};
    if (usable) {
        QVERIFY(::stat(QFile::encodeName(folder).constData(), &info) == 0);
        QCOMPARE(info.st_mode & 07777, 0700u);
    }
}

QTEST_GUILESS_MAIN(TestMainRoutines)
#include "tst_mainroutines.moc"
