#include "shell/failure.h"
#include "shell/filereplace.h"
#include "shell/mainroutines.h"
#include "testfiles.h"

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

QTEST_GUILESS_MAIN(TestMainRoutines)
#include "tst_mainroutines.moc"
