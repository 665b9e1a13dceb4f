#include "entries/entrycodec.h"
#include "entries/numerictest.h"
#include "entries/sampleentries.h"

#include <QTest>

namespace {
// Entries as label, amount, label, amount... so that rows fit a test column.
QStringList flat(const EntryList &entries)
{
    QStringList out;
    for (const Entry &e : entries)
        out << e.label << e.amount;
    return out;
}

EntryList unflat(const QStringList &flat)
{
    EntryList entries;
    for (qsizetype i = 0; i + 1 < flat.size(); i += 2)
        entries.append({flat[i], flat[i + 1]});
    return entries;
}
} // namespace

class TestEntryCodec : public QObject
{
    Q_OBJECT

private slots:
    void encodeExample();
    void roundTrip_data();
    void roundTrip();
    void decode_data();
    void decode();
    void numeric_data();
    void numeric();
    void acceptedLabel_data();
    void acceptedLabel();
    void cellText_data();
    void cellText();
};

void TestEntryCodec::encodeExample()
{
    QCOMPARE(EncodeEntryList({{"Savings", "25000"}, {"Car", "7500"}}),
             QStringLiteral("Savings||SEP1||25000||SEP2||Car||SEP1||7500||SEP2||"));
    QCOMPARE(EncodeEntryList({}), QString());
}

void TestEntryCodec::roundTrip_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::newRow("empty list") << QStringList();
    QTest::newRow("sample") << flat(SampleEntries());
    QTest::newRow("blanks kept") << QStringList{"   ", "  42", "Car ", "7500 "};
    QTest::newRow("grouping separator") << QStringList{"House", "1,250,000.50"};
    QTest::newRow("duplicates, order") << QStringList{"B", "2", "A", "1", "B", "2"};
    QTest::newRow("lower-case separators in text") << QStringList{"a||sep1||b", "1", "c||sep2||", "2"};
    QTest::newRow("non-Latin and symbols") << QStringList{"Ersparnisse € ünd ×", "1", "家", "2",
                                                          "quote \" ; = # \\ ,", "3"};
    QTest::newRow("very long label") << QStringList{QString(20000, QLatin1Char('x')), "1"};
}

void TestEntryCodec::roundTrip()
{
    QFETCH(QStringList, entries);
    QCOMPARE(flat(DecodeEntryList(EncodeEntryList(unflat(entries)))), entries);
}

void TestEntryCodec::decode_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("empty text") << "" << QStringList();
    QTest::newRow("default text, no final separator") << kDefaultAssetsText << flat(SampleEntries());
    QTest::newRow("sample as encoded") << EncodeEntryList(SampleEntries()) << flat(SampleEntries());
    QTest::newRow("empty piece between entries")
            << "A||SEP1||1||SEP2||||SEP2||B||SEP1||2||SEP2||" << QStringList{"A", "1", "B", "2"};
    QTest::newRow("only separators") << "||SEP2||||SEP2||" << QStringList();
    QTest::newRow("lower-case separators are text")
            << "a||sep1||1||SEP1||2||sep2||||SEP2||" << QStringList{"a||sep1||1", "2||sep2||"};
    QTest::newRow("piece without label separator keeps its label")
            << "Loose||SEP2||B||SEP1||2" << QStringList{"Loose", "", "B", "2"};
    QTest::newRow("parts after the amount are ignored")
            << "A||SEP1||1||SEP1||junk||SEP2||" << QStringList{"A", "1"};
    QTest::newRow("empty label and amount") << "||SEP1||||SEP2||" << QStringList{"", ""};
    QTest::newRow("label of blanks") << "   ||SEP1||5||SEP2||" << QStringList{"   ", "5"};
    // Stored again, a dangling separator start would split the entry in two.
    QTest::newRow("store cut inside the last separator")
            << "A||SEP1||1||SEP2|" << QStringList{"A", "1"};
    QTest::newRow("store cut inside a label separator") << "A||SEP1||1||SEP2||B||SEP1"
                                                        << QStringList{"A", "1", "B", ""};
    QTest::newRow("store cut where the label separator and the next one meet")
            << "A||SEP1||SEP2" << QStringList{"A", ""};
    QTest::newRow("label without amount ends like a separator")
            << "x||SEP1||SEP2||" << QStringList{"x", ""};
    QTest::newRow("separator start inside a terminated amount stays")
            << "A||SEP1||1||SEP2|x||SEP2||" << QStringList{"A", "1||SEP2|x"};
    QTest::newRow("replacement characters from a damaged file")
            << QString::fromUtf8("Sav\xef\xbf\xbdngs||SEP1||1||SEP2||") << QStringList{QString::fromUtf8("Sav\xef\xbf\xbdngs"), "1"};
}

void TestEntryCodec::decode()
{
    QFETCH(QString, stored);
    QFETCH(QStringList, expected);
    QCOMPARE(flat(DecodeEntryList(stored)), expected);
}

void TestEntryCodec::numeric_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("numeric");

    QTest::newRow("plain") << "en_US" << "25000" << true;
    QTest::newRow("grouping") << "en_US" << "1,500" << true;
    QTest::newRow("blanks around") << "en_US" << "  42  " << true;
    QTest::newRow("sign and decimals") << "en_US" << "-3.25" << true;
    QTest::newRow("exponent") << "en_US" << "1e3" << true;
    QTest::newRow("empty") << "en_US" << "" << false;
    QTest::newRow("blanks only") << "en_US" << "   " << false;
    QTest::newRow("letters") << "en_US" << "abc" << false;
    QTest::newRow("trailing letters") << "en_US" << "12abc" << false;
    QTest::newRow("infinity") << "en_US" << "inf" << false;
    QTest::newRow("not a number") << "en_US" << "nan" << false;
    QTest::newRow("overflow") << "en_US" << "1e999" << false;
    QTest::newRow("German grouping and decimal") << "de_DE" << "1.500,75" << true;
    QTest::newRow("German decimal comma") << "de_DE" << "1,5" << true;
    QTest::newRow("English decimal in German") << "de_DE" << "1.5" << false;
    QTest::newRow("C locale") << "C" << "7500" << true;
}

void TestEntryCodec::numeric()
{
    QFETCH(QString, locale);
    QFETCH(QString, text);
    QFETCH(bool, numeric);
    QCOMPARE(IsNumeric(text, QLocale(locale)), numeric);
}

void TestEntryCodec::acceptedLabel_data()
{
    QTest::addColumn<QString>("label");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("word") << "Savings" << true;
    QTest::newRow("blanks") << "  " << true;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("label separator") << "a||SEP1||b" << false;
    QTest::newRow("entry separator") << "a||SEP2||" << false;
    QTest::newRow("lower-case look-alike") << "a||sep2||" << true;
    QTest::newRow("ends with a separator's start") << "a||SEP1|" << false;
    QTest::newRow("as long as a cell holds") << QString(32767, 'x') << true;
    QTest::newRow("longer than a cell holds") << QString(32768, 'x') << false;
}

void TestEntryCodec::acceptedLabel()
{
    QFETCH(QString, label);
    QFETCH(bool, accepted);
    QCOMPARE(IsAcceptedLabel(label), accepted);
}

void TestEntryCodec::cellText_data()
{
    const QString pair = QString::fromUtf8("\xF0\x9F\x8F\xA0");   // one character, two UTF-16 units
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("cell");
    QTest::newRow("short") << "House" << "House";
    QTest::newRow("as long as a cell holds") << QString(32767, 'x') << QString(32767, 'x');
    QTest::newRow("longer") << QString(100000, 'x') << QString(32767, 'x');
    QTest::newRow("pair across the limit is not split")
            << QString(32766, 'x') + pair + "tail" << QString(32766, 'x');
}

void TestEntryCodec::cellText()
{
    QFETCH(QString, label);
    QFETCH(QString, cell);
    QCOMPARE(CellText(label), cell);
}

QTEST_GUILESS_MAIN(TestEntryCodec)
#include "tst_entrycodec.moc"
