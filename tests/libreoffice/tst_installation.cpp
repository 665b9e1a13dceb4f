#include "libreoffice/installation.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestInstallation : public QObject
{
    Q_OBJECT

private slots:
    void readsTheBootstrapFile_data();
    void readsTheBootstrapFile();
};

void TestInstallation::readsTheBootstrapFile_data()
{
    QTest::addColumn<QByteArray>("bootstrap");   // absent when null
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("version");
    QTest::addColumn<bool>("libreOffice");

    QTest::newRow("LibreOffice") << QByteArray("[Bootstrap]\nInstallMode=<installmode>\nProductKey=LibreOffice 7.4\n")
                                 << "LibreOffice" << "7.4" << true;
    QTest::newRow("name of two words") << QByteArray("[Bootstrap]\nProductKey=Collabora Office 23.05\n")
                                       << "Collabora Office" << "23.05" << true;
    QTest::newRow("no version") << QByteArray("[Bootstrap]\nProductKey=LibreOffice\n")
                                << "LibreOffice" << QString() << true;
    QTest::newRow("another program") << QByteArray("[Bootstrap]\nProductKey=Spreadsheet 1.0\n")
                                     << "Spreadsheet" << "1.0" << false;
    QTest::newRow("no product key") << QByteArray("[Bootstrap]\nInstallMode=<installmode>\n")
                                    << QString() << QString() << false;
    QTest::newRow("no bootstrap file") << QByteArray() << QString() << QString() << false;
}

void TestInstallation::readsTheBootstrapFile()
{
    QFETCH(QByteArray, bootstrap);
    QFETCH(QString, name);
    QFETCH(QString, version);
    QFETCH(bool, libreOffice);

    QTemporaryDir program;
    QVERIFY(program.isValid());
    if (!bootstrap.isNull()) {
        QFile file(program.filePath(QStringLiteral("bootstraprc")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.write(bootstrap) == bootstrap.size());
    }
    const Installation installation(program.path());
    QCOMPARE(installation.productName(), name);
    QCOMPARE(installation.productVersion(), version);
    QCOMPARE(installation.isLibreOffice(), libreOffice);
}

QTEST_GUILESS_MAIN(TestInstallation)
#include "tst_installation.moc"
