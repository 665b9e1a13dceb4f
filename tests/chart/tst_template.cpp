#include "libreoffice/document/xlspatch.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

// The chart template built into the program, read back by gnumeric's ssconvert: a reader that
// shares nothing with the engine that wrote it.
class TestTemplate : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void isAnExcelWorkbookWithoutGridlines();
    void cells_data();
    void cells();
    void describedOnce_data();
    void describedOnce();
    void allTextConstantia11();
    void everySliceExplodedNoLegend();

private:
    QByteArray ssconvert(const QString &target);

    QTemporaryDir mDir;
    QString mTemplatePath;
    QByteArray mCsv;
    QByteArray mGnumeric;
};

namespace {

QByteArray readResource()
{
    QFile f(QStringLiteral(":/CUSTOM/101"));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

QByteArray TestTemplate::ssconvert(const QString &target)
{
    const QString output = mDir.filePath(target);
    QProcess p;
    p.start(QStringLiteral("ssconvert"), {mTemplatePath, output});
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
        qWarning("ssconvert did not finish");
        return {};
    }
    if (p.exitCode() != 0)
        qWarning("ssconvert: %s", p.readAllStandardError().constData());
    QFile f(output);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void TestTemplate::initTestCase()
{
    const QByteArray bytes = readResource();
    QVERIFY2(!bytes.isEmpty(), "resource :/CUSTOM/101 is missing");
    mTemplatePath = mDir.filePath(QStringLiteral("Pie Chart.xlt"));
    QFile f(mTemplatePath);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(bytes), bytes.size());
    f.close();

    if (QStandardPaths::findExecutable(QStringLiteral("ssconvert")).isEmpty())
        QFAIL("ssconvert is not installed (./test.sh installs gnumeric)");
    mCsv = ssconvert(QStringLiteral("sheet.csv"));
    QVERIFY(!mCsv.isEmpty());
    ssconvert(QStringLiteral("book.gnumeric"));
    QProcess unzip;
    unzip.start(QStringLiteral("gzip"), {QStringLiteral("-dc"), mDir.filePath(QStringLiteral("book.gnumeric"))});
    QVERIFY(unzip.waitForFinished(30000));
    mGnumeric = unzip.readAllStandardOutput();
    QVERIFY(mGnumeric.contains("<gnm:Workbook"));
}

void TestTemplate::isAnExcelWorkbookWithoutGridlines()
{
    const QByteArray bytes = readResource();
    const QList<qsizetype> windows = WorksheetWindowOptionOffsets(bytes);
    QCOMPARE(windows.size(), 1);
    const quint8 options = quint8(bytes[windows.first()]);
    QCOMPARE(options & kWindowShowsGridlines, 0);
    QVERIFY(options & 0x04); // row and column headers shown

    // The same as another reader sees it.
    const QRegularExpression sheet(QStringLiteral("<gnm:Sheet [^>]*HideGrid=\"1\"[^>]*>\\s*"
                                                  "<gnm:Name>Assets</gnm:Name>"));
    QVERIFY(sheet.match(QString::fromUtf8(mGnumeric)).hasMatch());
    QCOMPARE(QString::fromUtf8(mGnumeric).count(QStringLiteral("<gnm:Sheet ")), 1);
}

void TestTemplate::cells_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("line");

    // The sheet's first row with anything in it is row 3.
    QTest::newRow("headers") << 3 << "\"Asset Type\",Amount";
    QTest::newRow("Savings") << 4 << "Savings,25000";
    QTest::newRow("401k") << 5 << "401k,55000";
    QTest::newRow("Stocks") << 6 << "Stocks,15000";
    QTest::newRow("House") << 7 << "House,250000";
    QTest::newRow("Bonds") << 8 << "Bonds,11000";
    QTest::newRow("Car") << 9 << "Car,7500";
    QTest::newRow("nothing below") << 10 << "";
}

void TestTemplate::cells()
{
    QFETCH(int, row);
    QFETCH(QString, line);
    const QStringList lines = QString::fromUtf8(mCsv).split(QLatin1Char('\n'));
    QVERIFY(lines.size() > row - 3);
    // Empty columns up to the chart's right edge follow; they say nothing about the cells.
    QCOMPARE(QString(lines.at(row - 3)).remove(QRegularExpression(QStringLiteral(",+$"))), line);
}

void TestTemplate::describedOnce_data()
{
    QTest::addColumn<QString>("pattern");

    // The accounting format as LibreOffice writes it: the same format, literals escaped.
    const QString accounting = QRegularExpression::escape(
            QStringLiteral(R"(_(\$* #,##0_);_(\$* \(#,##0\);_(\$* \-??_);_(@_))"));
    auto region = [](int col, int row, int endCol, int endRow) {
        return QStringLiteral("<gnm:StyleRegion startCol=\"%1\" startRow=\"%2\" endCol=\"%3\" "
                              "endRow=\"%4\">\\s*")
                .arg(col).arg(row).arg(endCol).arg(endRow);
    };
    QTest::newRow("A3:B3 bold") << region(0, 2, 1, 2) + "<gnm:Style [^>]*>\\s*<gnm:Font Unit=\"11\" "
                                                       "Bold=\"1\"[^>]*>Constantia<";
    QTest::newRow("B4:B9 accounting") << region(1, 3, 1, 8) + "<gnm:Style [^>]*Format=\"" + accounting;
    QTest::newRow("B17 accounting") << region(1, 16, 1, 16) + "<gnm:Style [^>]*Format=\"" + accounting;
    QTest::newRow("B19 accounting") << region(1, 18, 1, 18) + "<gnm:Style [^>]*Format=\"" + accounting;
    QTest::newRow("rows 15 pt") << "<gnm:Rows DefaultSizePts=\"15\">";

    QTest::newRow("one pie plot") << "<GogObject role=\"Plot\" type=\"GogPiePlot\">";
    QTest::newRow("first slice at 210 degrees") << "<property name=\"initial-angle\">210</property>";
    QTest::newRow("series name") << "<dimension id=\"-1\" type=\"GnmGODataScalar\">Assets!\\$B\\$3<";
    QTest::newRow("categories") << "<dimension id=\"0\" type=\"GnmGODataVector\">Assets!\\$A\\$4:\\$A\\$9<";
    QTest::newRow("values") << "<dimension id=\"1\" type=\"GnmGODataVector\">Assets!\\$B\\$4:\\$B\\$9<";
    QTest::newRow("title") << "&quot;My Assets&quot;";
    QTest::newRow("title font") << "font=\"Constantia Bold 18\"";
    QTest::newRow("slice 1 colour") << "<property name=\"index\">0</property>\\s*<property name=\"style\" "
                                       "type=\"GogStyle\">(?:(?!</GogObject>).)*back=\"92:A0:81:FF\"";
    QTest::newRow("slice 4 colour") << "<property name=\"index\">3</property>\\s*<property name=\"style\" "
                                       "type=\"GogStyle\">(?:(?!</GogObject>).)*back=\"B8:81:93:FF\"";
    QTest::newRow("slice 6 colour") << "<property name=\"index\">5</property>\\s*<property name=\"style\" "
                                       "type=\"GogStyle\">(?:(?!</GogObject>).)*back=\"71:8B:AC:FF\"";
}

void TestTemplate::describedOnce()
{
    QFETCH(QString, pattern);
    const QRegularExpression re(pattern, QRegularExpression::DotMatchesEverythingOption);
    QVERIFY(re.isValid());
    QCOMPARE(QString::fromUtf8(mGnumeric).count(re), 1);
}

void TestTemplate::allTextConstantia11()
{
    const QString xml = QString::fromUtf8(mGnumeric);
    const int fonts = xml.count(QStringLiteral("<gnm:Font "));
    QVERIFY(fonts > 0);
    QCOMPARE(xml.count(QRegularExpression(
                     QStringLiteral("<gnm:Font Unit=\"11\"[^>]*>Constantia</gnm:Font>"))),
             fonts);
}

void TestTemplate::everySliceExplodedNoLegend()
{
    const QString xml = QString::fromUtf8(mGnumeric);
    QVERIFY(!xml.contains(QStringLiteral("role=\"Legend\"")));
    QCOMPARE(xml.count(QStringLiteral("<GogObject role=\"Point\">")), 6);
    QCOMPARE(xml.count(QStringLiteral("<property name=\"separation\">0.1</property>")), 6);
}

QTEST_GUILESS_MAIN(TestTemplate)
#include "tst_template.moc"
