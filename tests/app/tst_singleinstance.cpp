#include "app/singleinstance.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

class TestSingleInstance : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void secondStartWakesTheFirst();
    void otherListsStayIndependent();
    void killedCopyDoesNotBlock();

private:
    QTemporaryDir mRuntime;
    QString mSettings;
};

void TestSingleInstance::init()
{
    QVERIFY(mRuntime.isValid());
    qputenv("XDG_RUNTIME_DIR", mRuntime.path().toLocal8Bit());
    mSettings = mRuntime.filePath(QStringLiteral("config/Marlowic.ini"));
    QDir().mkpath(mRuntime.filePath(QStringLiteral("config")));
}

void TestSingleInstance::secondStartWakesTheFirst()
{
    SingleInstance first(mSettings);
    QSignalSpy woken(&first, &SingleInstance::activationRequested);
    QVERIFY(first.claim());
    // The same file reached through another path is the same list.
    SingleInstance second(mRuntime.filePath(QStringLiteral("config/../config/Marlowic.ini")));
    QVERIFY(!second.claim());
    QTRY_COMPARE(woken.count(), 1);
}

void TestSingleInstance::otherListsStayIndependent()
{
    SingleInstance first(mSettings);
    QVERIFY(first.claim());
    SingleInstance other(mRuntime.filePath(QStringLiteral("elsewhere/Marlowic.ini")));
    QVERIFY(other.claim());
}

// A copy killed outright leaves its socket file with nobody listening.
void TestSingleInstance::killedCopyDoesNotBlock()
{
    const QByteArray path = SingleInstance::socketPath(mSettings).toLocal8Bit();
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    qstrncpy(address.sun_path, path.constData(), sizeof address.sun_path);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    QCOMPARE(::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    ::close(fd);
    QVERIFY(QFileInfo::exists(QString::fromLocal8Bit(path)));

    SingleInstance next(mSettings);
    QVERIFY(next.claim());
    SingleInstance later(mSettings);
    QVERIFY(!later.claim());
}

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
