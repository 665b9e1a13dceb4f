#include "entries/textfileimport.h"
#include "ground/failure.h"
#include "testfiles.h"

#include <QTemporaryDir>
#include <QTest>

class TestTextFileImport : public QObject
{
    Q_OBJECT

private slots:
    void encodings_data();
    void encodings();
    void readsNoFurtherThanTheList();
};

void TestTextFileImport::encodings_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("fallback");
    QTest::addColumn<QString>("label");      // of the one row, or the reason the file is refused
    QTest::addColumn<QString>("fallbackUsed");
    QTest::newRow("UTF-8") << QByteArray("Caf\xc3\xa9,1\n") << QByteArray("ISO-8859-15") << "Café" << "";
    QTest::newRow("UTF-8 with a byte order mark")
            << QByteArray("\xef\xbb\xbf" "Caf\xc3\xa9,1") << QByteArray("ISO-8859-15") << "Café" << "";
    QTest::newRow("the system's Latin-9") << QByteArray("Caf\xe9 \xa4,1\n") << QByteArray("ISO-8859-15")
                                          << "Café €" << "ISO-8859-15";
    QTest::newRow("a UTF-8 system") << QByteArray("Caf\xe9,1\n") << QByteArray("UTF-8")
                                    << "It is not UTF-8 text." << "";
    QTest::newRow("ends inside a character") << QByteArray("Caf\xc3") << QByteArray("UTF-8")
                                             << "It is not UTF-8 text." << "";
    QTest::newRow("not the system's either") << QByteArray("\x81\x20,1\n") << QByteArray("Shift_JIS")
                                             << "It is neither UTF-8 nor Shift_JIS text." << "";
}

// One wrong byte must not turn a whole file into mojibake without a word.
void TestTextFileImport::encodings()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, fallback);
    QFETCH(QString, label);
    QFETCH(QString, fallbackUsed);
    QTemporaryDir dir;
    WriteFileBytes(dir.filePath("rows.csv"), bytes);
    try {
        const TextFileImport text(dir.filePath("rows.csv"), kMaxEntries, QLocale::c(), fallback);
        QCOMPARE(text.rows().accepted().value(0).label, label);
        QCOMPARE(text.fallbackUsed(), fallbackUsed);
    } catch (const Failure &failure) {
        QCOMPARE(failure.description(), label);
    }
}

// Rows past the list's limit are not even read: a wrong byte there goes unseen,
// and the rows read are the list's worth.
void TestTextFileImport::readsNoFurtherThanTheList()
{
    QByteArray bytes("Label,Amount\n");
    for (int i = 1; i <= kMaxEntries + 100000; ++i)
        bytes += "Asset " + QByteArray::number(i) + ',' + QByteArray::number(i) + '\n';
    bytes += "\xff,1\n";
    QTemporaryDir dir;
    WriteFileBytes(dir.filePath("long.csv"), bytes);
    const TextFileImport text(dir.filePath("long.csv"), kMaxEntries - 1, QLocale::c(), "UTF-8");
    QCOMPARE(text.rows().accepted().size(), kMaxEntries - 1);
    QCOMPARE(text.rows().accepted().last().label, QStringLiteral("Asset 32765"));
    QCOMPARE(text.rows().skippedCount(), 1);
    QCOMPARE(text.rows().skipped().first().row, kMaxEntries + 1);
}

QTEST_GUILESS_MAIN(TestTextFileImport)
#include "tst_textfileimport.moc"
