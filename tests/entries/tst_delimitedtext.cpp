#include "entries/delimitedtext.h"

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
}

void TestDelimitedText::parse()
{
    QFETCH(QString, text);
    QFETCH(Table, rows);
    QCOMPARE(DelimitedText::parse(text), rows);
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
