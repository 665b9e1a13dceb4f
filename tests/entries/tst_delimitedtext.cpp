#include "entries/delimitedtext.h"
#include "entries/delimitedtextparser.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include "testfiles.h"

using Table = QList<QStringList>;

class TestDelimitedText : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void safeForSpreadsheets_data();
    void safeForSpreadsheets();
    void csvReadsBack();
    void gnumericTextReadsBack();
};

void TestDelimitedText::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<Table>("rows");
    QTest::newRow("tabs, CR LF") << "Savings\t25000\r\nCar\t7500\r\n" << Table{{"Savings", "25000"}, {"Car", "7500"}};
    QTest::newRow("tab beats comma") << "Smith, John\t100\nDoe, Jane\t2" << Table{{"Smith, John", "100"}, {"Doe, Jane", "2"}};
    QTest::newRow("quoted comma") << "\"Smith, John\",100\n" << Table{{"Smith, John", "100"}};
    QTest::newRow("doubled quotes") << "\"say \"\"hi\"\"\",1" << Table{{"say \"hi\"", "1"}};
    QTest::newRow("line breaks in a cell") << "\"two\r\nlines\",1\r\nCar,2" << Table{{"two\r\nlines", "1"}, {"Car", "2"}};
    QTest::newRow("semicolons, decimal commas") << "Auto;7500,50\nHaus;250.000,00"
                                                << Table{{"Auto", "7500,50"}, {"Haus", "250.000,00"}};
    QTest::newRow("tie goes to semicolon") << "Car;1,5" << Table{{"Car", "1,5"}};
    QTest::newRow("CR alone") << "a,1\rb,2" << Table{{"a", "1"}, {"b", "2"}};
    QTest::newRow("blank line kept") << "a,1\n\nb,2" << Table{{"a", "1"}, {""}, {"b", "2"}};
    QTest::newRow("byte order mark") << QString(QChar::ByteOrderMark) + "a,1" << Table{{"a", "1"}};
    QTest::newRow("quote inside a cell") << "5\" disk,1" << Table{{"5\" disk", "1"}};
    QTest::newRow("empty quoted cell last") << "a,\"\"" << Table{{"a", ""}};
    QTest::newRow("one column") << "Savings\nCar\n" << Table{{"Savings"}, {"Car"}};
    QTest::newRow("nothing") << "" << Table{};
    QTest::newRow("doubled quote, then a separator") << "\"a\"\"\",\"\"\"b\"\r\n" << Table{{"a\"", "\"b"}};
}

void TestDelimitedText::parse()
{
    QFETCH(QString, text);
    QFETCH(Table, rows);
    QCOMPARE(DelimitedText::parse(text), rows);
    // A file comes in pieces that may end anywhere: between CR and LF, two quotes, ...
    const QChar separator = DelimitedText::detectSeparator(text);
    for (qsizetype size = 1; size <= 3; ++size) {
        Table got;
        DelimitedTextParser parser(separator, [&got](QStringList &&row) {
            got.append(row);
            return true;
        });
        for (qsizetype at = 0; at < text.size(); at += size)
            parser.feed(QStringView(text).mid(at, size));
        parser.finish();
        QCOMPARE(got, rows);
    }
}

void TestDelimitedText::safeForSpreadsheets_data()
{
    QTest::addColumn<QString>("cell");
    QTest::addColumn<QString>("written");
    QTest::newRow("formula") << "=1+1" << "'=1+1";
    QTest::newRow("plus") << "+2+3" << "'+2+3";
    QTest::newRow("minus") << "-1+2" << "'-1+2";
    QTest::newRow("at") << "@SUM(1;2)" << "'@SUM(1;2)";
    QTest::newRow("tab") << "\tx" << "'\tx";
    QTest::newRow("carriage return") << "\r=x" << "'\r=x";
    QTest::newRow("made text already") << "'=x" << "''=x";
    QTest::newRow("negative amount") << "-1,500.25" << "-1,500.25";
    QTest::newRow("signed exponent") << "+3.5e-2" << "+3.5e-2";
    QTest::newRow("apostrophe before text") << "'plain" << "'plain";
    QTest::newRow("formula sign later") << "a=b" << "a=b";
}

// A spreadsheet opening the export must find no formula the list never held,
// and the import must give every cell back as it was.
void TestDelimitedText::safeForSpreadsheets()
{
    QFETCH(QString, cell);
    QFETCH(QString, written);
    QCOMPARE(DelimitedText::safeForSpreadsheets(cell), written);
    QCOMPARE(DelimitedText::asWritten(written), cell);
}

void TestDelimitedText::csvReadsBack()
{
    const Table rows{{"Label", "Number (Value)"},
                     {"Smith, John", "1,500"},
                     {"say \"hi\"", "2"},
                     {"two\nlines\r\nand CR\r", "3"},
                     {"semi;colon\ttab", "-4.5e3"},
                     {" blanks ", " 5 "},
                     {"", ""}};
    const QString csv = DelimitedText::toCsv(rows);
    QVERIFY(csv.endsWith(u"\r\n"));
    QCOMPARE(DelimitedText::parse(csv), rows);
}

// Cells as a real spreadsheet writes them out as text: Gnumeric reads a sheet
// and writes it with tabs, quoting what needs it.
void TestDelimitedText::gnumericTextReadsBack()
{
    const QString ssconvert = QStandardPaths::findExecutable(QStringLiteral("ssconvert"));
    if (ssconvert.isEmpty())
        QSKIP("Gnumeric's ssconvert is not installed");
    QTemporaryDir dir;
    const Table rows{{"Label", "Amount"}, {"Smith, John", "1500"}, {"say \"hi\"", "2"},
                     {"two\nlines", "3"}, {"tab\there", "4.5"}, {"Grüße €", "-6"}};
    WriteFileBytes(dir.filePath("in.csv"), DelimitedText::toCsv(rows).toUtf8());
    QProcess convert;
    convert.start(ssconvert, {QStringLiteral("--export-type=Gnumeric_stf:stf_assistant"),
                              QStringLiteral("--export-options=separator=\"\t\" quoting-mode=auto eol=windows charset=UTF-8"),
                              dir.filePath("in.csv"), dir.filePath("out.txt")});
    QVERIFY(convert.waitForFinished(120000));
    QCOMPARE(convert.exitCode(), 0);
    const QString text = QString::fromUtf8(ReadFileBytes(dir.filePath("out.txt")));
    QVERIFY2(text.contains(u'\t'), qPrintable(text));
    QCOMPARE(DelimitedText::parse(text), rows);
}

QTEST_GUILESS_MAIN(TestDelimitedText)
#include "tst_delimitedtext.moc"
