#include "spreadsheet/sheetpicture.h"

#include <QImageReader>
#include <QTemporaryDir>
#include <QTest>

class TestSheetPicture : public QObject
{
    Q_OBJECT

private slots:
    void scale_data();
    void scale();
    void readsThePicturesTheCommandMakes();
    void firstIndexWhere_data();
    void firstIndexWhere();
};

void TestSheetPicture::scale_data()
{
    QTest::addColumn<QSize>("fullSize");
    QTest::addColumn<QSize>("scaled");

    QTest::newRow("a short list: full scale") << QSize(1094, 466) << QSize(1094, 466);
    QTest::newRow("as long as can be drawn") << QSize(1094, 32767) << QSize(1094, 32767);
    QTest::newRow("a little longer: as tall as can be drawn") << QSize(1094, 38000) << QSize(943, 32767);
    // Squeezed into one drawing's height, these would be too narrow to see.
    QTest::newRow("twice as long: taller, 24 M pixels") << QSize(1094, 65534) << QSize(632, 37916);
    QTest::newRow("32,766 rows") << QSize(1094, 622573) << QSize(205, 116867);
    QTest::newRow("narrow and long: as far as the preview scrolls") << QSize(100, 2000000) << QSize(15, 300000);
    // Within the side limit, but past the number of pixels.
    QTest::newRow("square") << QSize(16384, 16384) << QSize(8192, 8192);
}

void TestSheetPicture::scale()
{
    QFETCH(QSize, fullSize);
    QFETCH(QSize, scaled);
    const double scale = SheetPictureScale(fullSize);
    const QSize result(int(std::floor(fullSize.width() * scale)), int(std::floor(fullSize.height() * scale)));
    QCOMPARE(result, scaled);
}

void TestSheetPicture::firstIndexWhere_data()
{
    QTest::addColumn<qint64>("from");
    QTest::addColumn<qint64>("last");
    QTest::addColumn<qint64>("threshold");   // the test holds from here on
    QTest::addColumn<qint64>("guess");
    QTest::addColumn<qint64>("found");

    QTest::newRow("guessed right") << 2LL << 1048575LL << 29LL << 29LL << 29LL;
    QTest::newRow("guessed low") << 2LL << 1048575LL << 29LL << 10LL << 29LL;
    QTest::newRow("guessed high") << 2LL << 1048575LL << 29LL << 400LL << 29LL;
    QTest::newRow("guessed one high") << 2LL << 1048575LL << 29LL << 30LL << 29LL;
    QTest::newRow("holds at once") << 2LL << 1048575LL << 0LL << 50LL << 2LL;
    QTest::newRow("holds at the first, guessed there") << 2LL << 1048575LL << 2LL << 2LL << 2LL;
    QTest::newRow("holds nowhere") << 1LL << 16383LL << 20000LL << 15LL << 16383LL;
    QTest::newRow("holds only at the last") << 1LL << 16383LL << 16383LL << 15LL << 16383LL;
    QTest::newRow("holds just before the last") << 1LL << 16383LL << 16382LL << 16383LL << 16382LL;
    QTest::newRow("guess beyond the ends") << 5LL << 100LL << 50LL << -7LL << 50LL;
    QTest::newRow("nothing to search") << 16383LL << 16383LL << 0LL << 0LL << 16383LL;
}

// Where a chart ends is searched for, each test being round trips to the
// engine: the right index with few tests, and none past the last.
void TestSheetPicture::firstIndexWhere()
{
    QFETCH(qint64, from);
    QFETCH(qint64, last);
    QFETCH(qint64, threshold);
    QFETCH(qint64, guess);
    QFETCH(qint64, found);
    int tests = 0;
    const qint64 result = FirstIndexWhere(from, last, guess, [&](qint64 index) {
        ++tests;
        [&] { QVERIFY2(index >= from && index < last, qPrintable(QString::number(index))); }();
        return index >= threshold;
    });
    QCOMPARE(result, found);
    if (guess == found && found > from && found < last)
        QCOMPARE(tests, 2);
    QVERIFY2(tests <= 2 * 21 + 2, qPrintable(QString::number(tests)));
}

// The largest picture at full scale is past the reader's usual 128 MB.
void TestSheetPicture::readsThePicturesTheCommandMakes()
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("temp.bmp"));
    {
        QImage largest(1094, kMaxSheetPictureSide, QImage::Format_RGB32);
        largest.fill(Qt::white);
        largest.setPixel(1093, kMaxSheetPictureSide - 1, qRgb(1, 2, 3));
        QVERIFY(largest.save(path, "BMP"));
    }
    QVERIFY(QImageReader(path).read().isNull());   // what the usual limit does
    const int usualLimit = QImageReader::allocationLimit();
    const QImage read = ReadSheetPicture(path);
    QCOMPARE(read.size(), QSize(1094, kMaxSheetPictureSide));
    QCOMPARE(read.pixel(1093, kMaxSheetPictureSide - 1), qRgb(1, 2, 3));
    QCOMPARE(QImageReader::allocationLimit(), usualLimit);
}

QTEST_GUILESS_MAIN(TestSheetPicture)
#include "tst_sheetpicture.moc"
