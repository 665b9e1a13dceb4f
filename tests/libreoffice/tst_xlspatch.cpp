#include "ground/failure.h"
#include "libreoffice/document/xlspatch.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include "testfiles.h"
#include <QtEndian>

namespace {

constexpr quint32 kFree = 0xFFFFFFFF;
constexpr quint32 kEnd = 0xFFFFFFFE;
constexpr quint32 kFatSector = 0xFFFFFFFD;
constexpr int kSector = 512;
constexpr int kMiniSector = 64;

void put16(QByteArray &b, qsizetype at, quint16 v) { qToLittleEndian(v, b.data() + at); }
void put32(QByteArray &b, qsizetype at, quint32 v) { qToLittleEndian(v, b.data() + at); }

QByteArray record(quint16 type, const QByteArray &body)
{
    QByteArray r(4, '\0');
    put16(r, 0, type);
    put16(r, 2, quint16(body.size()));
    return r + body;
}

QByteArray bof(quint16 substream)
{
    QByteArray body(16, '\0');
    put16(body, 0, 0x0600);
    put16(body, 2, substream);
    return record(0x0809, body);
}

QByteArray eof() { return record(0x000A, {}); }

// A WINDOW2 record as LibreOffice writes it for a sheet, with the gridlines bit as given.
QByteArray window2(bool gridlines)
{
    QByteArray body(18, '\0');
    put16(body, 0, gridlines ? 0x06B6 : 0x06B4);
    put16(body, 12, 100);
    return record(0x023E, body);
}

QByteArray filler(int bytes) { return record(0x00E2, QByteArray(bytes, 'x')); }

// A version 3 compound file with 512-byte sectors holding the one stream "Workbook"; streams
// under 4096 bytes go into the mini stream, as every writer must put them. The pieces of the
// stream are stored in reverse order, so only a reader that follows the chains finds them.
QByteArray compoundFile(const QByteArray &workbook)
{
    const bool mini = workbook.size() < 4096;
    const int unit = mini ? kMiniSector : kSector;
    const int units = int((workbook.size() + unit - 1) / unit);
    QByteArray reversed;
    for (int i = units - 1; i >= 0; --i)
        reversed += workbook.mid(i * unit, unit).leftJustified(unit, '\0');
    const int dataSectors = int((reversed.size() + kSector - 1) / kSector);
    const int firstData = 3; // FAT, directory, mini FAT, then the data
    auto place = [&](int i, int count) { return count - 1 - i; };

    QByteArray file(kSector * (1 + firstData + dataSectors), '\0');
    file.replace(0, 8, QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8));
    put16(file, 0x18, 0x003E);
    put16(file, 0x1A, 0x0003);
    put16(file, 0x1C, 0xFFFE);
    put16(file, 0x1E, 9);
    put16(file, 0x20, 6);
    put32(file, 0x2C, 1);
    put32(file, 0x30, 1);
    put32(file, 0x38, 4096);
    put32(file, 0x3C, mini ? 2 : kEnd);
    put32(file, 0x40, mini ? 1 : 0);
    put32(file, 0x44, kEnd);
    put32(file, 0x4C, 0);
    for (int i = 1; i < 109; ++i)
        put32(file, 0x4C + 4 * i, kFree);

    auto sector = [](int s) { return qsizetype(s + 1) * kSector; };
    for (int i = 0; i < kSector / 4; ++i)
        put32(file, sector(0) + 4 * i, kFree);
    put32(file, sector(0), kFatSector);
    put32(file, sector(0) + 4, kEnd);
    put32(file, sector(0) + 8, mini ? kEnd : kFree);
    if (mini) {
        // The mini stream's container itself runs in order; the mini sectors are reversed.
        for (int s = 0; s < dataSectors; ++s)
            put32(file, sector(0) + 4 * (firstData + s), s + 1 < dataSectors ? firstData + s + 1 : kEnd);
        for (int i = 0; i < kSector / 4; ++i)
            put32(file, sector(2) + 4 * i, kFree);
        for (int i = 0; i < units; ++i)
            put32(file, sector(2) + 4 * place(i, units), i + 1 < units ? place(i + 1, units) : kEnd);
    } else {
        for (int i = 0; i < units; ++i)
            put32(file, sector(0) + 4 * (firstData + place(i, units)),
                  i + 1 < units ? firstData + place(i + 1, units) : kEnd);
    }

    auto entry = [&](int index, const QString &name, quint8 type, quint32 start, quint32 size,
                     quint32 child) {
        const qsizetype e = sector(1) + 128 * index;
        for (int i = 0; i < name.size(); ++i)
            put16(file, e + 2 * i, name.at(i).unicode());
        put16(file, e + 0x40, quint16(2 * name.size() + 2));
        file[e + 0x42] = char(type);
        file[e + 0x43] = 1;
        put32(file, e + 0x44, kFree);
        put32(file, e + 0x48, kFree);
        put32(file, e + 0x4C, child);
        put32(file, e + 0x74, start);
        put32(file, e + 0x78, size);
    };
    entry(0, QStringLiteral("Root Entry"), 5, mini ? firstData : kEnd,
          mini ? quint32(reversed.size()) : 0, 1);
    entry(1, QStringLiteral("Workbook"), 2,
          mini ? place(0, units) : firstData + place(0, units), quint32(workbook.size()), kFree);
    file.replace(sector(firstData), reversed.size(), reversed);
    return file;
}

QString writeFile(const QTemporaryDir &dir, const QByteArray &bytes)
{
    const QString path = dir.filePath(QStringLiteral("book.xls"));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write the test workbook");
    return path;
}

} // namespace

class TestXlsPatch : public QObject
{
    Q_OBJECT

private slots:
    void clearsOnlyWorksheetGridlines_data();
    void clearsOnlyWorksheetGridlines();
    void refusesWhatItCannotPatch_data();
    void refusesWhatItCannotPatch();
    void missingFileFails();
    void setsOnlyTheEditingTime_data();
    void setsOnlyTheEditingTime();
};

void TestXlsPatch::clearsOnlyWorksheetGridlines_data()
{
    QTest::addColumn<QByteArray>("workbook");
    QTest::addColumn<int>("windows");

    const QByteArray globals = bof(0x0005) + filler(40) + eof();
    QTest::newRow("one sheet, mini stream")
            << globals + bof(0x0010) + window2(true) + eof() << 1;
    // The window record starts 4 bytes before the end of the ninth sector.
    QTest::newRow("one sheet, record across a sector boundary")
            << globals + bof(0x0010) + filler(9 * 512 - 4 - 4 - globals.size() - 20) + window2(true)
               + eof()
            << 1;
    QTest::newRow("two sheets")
            << globals + bof(0x0010) + window2(true) + eof() + bof(0x0010) + filler(4200)
               + window2(true) + eof()
            << 2;
    QTest::newRow("chart substream inside a sheet keeps its window")
            << globals + bof(0x0010) + bof(0x0020) + window2(true) + eof() + window2(true) + eof()
            << 1;
    QTest::newRow("already cleared") << globals + bof(0x0010) + window2(false) + eof() << 1;
}

void TestXlsPatch::clearsOnlyWorksheetGridlines()
{
    QFETCH(QByteArray, workbook);
    QFETCH(int, windows);

    QTemporaryDir dir;
    const QByteArray before = compoundFile(workbook);
    const QString path = writeFile(dir, before);
    const QList<qsizetype> offsets = WorksheetWindowOptionOffsets(before);
    QCOMPARE(offsets.size(), windows);

    ClearGridlinesFlag(path);

    const QByteArray after = ReadFileBytes(path);
    QCOMPARE(after.size(), before.size());
    for (qsizetype i = 0; i < after.size(); ++i) {
        if (offsets.contains(i)) {
            QCOMPARE(quint8(after[i]), quint8(before[i] & ~kWindowShowsGridlines));
            QVERIFY(quint8(after[i]) & 0x04); // row and column headers still shown
        } else if (after[i] != before[i]) {
            QFAIL(qPrintable(QStringLiteral("byte %1 changed").arg(i)));
        }
    }
}

void TestXlsPatch::refusesWhatItCannotPatch_data()
{
    QTest::addColumn<QByteArray>("file");

    const QByteArray globals = bof(0x0005) + eof();
    QTest::newRow("no sheet window") << compoundFile(globals + bof(0x0010) + eof());
    QTest::newRow("only a chart window") << compoundFile(globals + bof(0x0020) + window2(true) + eof());
    QTest::newRow("record cut short")
            << compoundFile(globals + bof(0x0010) + window2(true).left(10));
    QTest::newRow("not a compound file") << QByteArray("Asset Type,Amount\nSavings,25000\n").repeated(20);
    QByteArray truncated = compoundFile(globals + bof(0x0010) + filler(5000) + window2(true) + eof());
    truncated.chop(1024);
    QTest::newRow("compound file cut short") << truncated;
}

void TestXlsPatch::refusesWhatItCannotPatch()
{
    QFETCH(QByteArray, file);

    QTemporaryDir dir;
    const QString path = writeFile(dir, file);
    QVERIFY_THROWS_EXCEPTION(Failure, ClearGridlinesFlag(path));
    QCOMPARE(ReadFileBytes(path), file);
}

void TestXlsPatch::missingFileFails()
{
    QTemporaryDir dir;
    try {
        ClearGridlinesFlag(dir.filePath(QStringLiteral("absent.xls")));
        QFAIL("no failure");
    } catch (const Failure &failure) {
        QVERIFY(failure.description().contains(QStringLiteral("absent.xls")));
    }
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("absent.xls"))));
}

// The template's summary information, its streams in the mini stream as
// LibreOffice and Excel write them: only the eight bytes of the editing time
// change, and a file that has none is left alone.
void TestXlsPatch::setsOnlyTheEditingTime_data()
{
    QTest::addColumn<qint64>("seconds");
    QTest::newRow("none") << qint64(0);
    QTest::newRow("a minute") << qint64(61);
    QTest::newRow("thirty hours") << qint64(30 * 3600 + 7);
}

void TestXlsPatch::setsOnlyTheEditingTime()
{
    QFETCH(qint64, seconds);
    QTemporaryDir dir;
    const QByteArray original = ReadFileBytes(QStringLiteral(QUINTARRA_TEMPLATE_FILE));
    QVERIFY(!original.isEmpty());
    const QString path = writeFile(dir, original);
    SetEditingTime(path, seconds);
    QCOMPARE(EditingTime(path), seconds);
    const QByteArray patched = ReadFileBytes(path);
    QCOMPARE(patched.size(), original.size());
    qsizetype first = -1, last = -1;
    for (qsizetype i = 0; i < patched.size(); ++i) {
        if (patched.at(i) != original.at(i)) {
            last = i;
            first = first < 0 ? i : first;
        }
    }
    QVERIFY2(last - first < 8, qPrintable(QStringLiteral("%1 to %2").arg(first).arg(last)));

    const QByteArray noSummary = compoundFile(bof(0x0005) + eof());
    const QString other = writeFile(dir, noSummary);
    QVERIFY_THROWS_EXCEPTION(Failure, SetEditingTime(other, seconds));
    QCOMPARE(ReadFileBytes(other), noSummary);
}

QTEST_GUILESS_MAIN(TestXlsPatch)
#include "tst_xlspatch.moc"
