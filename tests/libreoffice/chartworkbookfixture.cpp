#include "chartworkbookfixture.h"

#include <QFile>

namespace {

// %1: the last row, %2: the number of rows.
const char kHead[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0"
 xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0"
 xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0"
 xmlns:chart="urn:oasis:names:tc:opendocument:xmlns:chart:1.0"
 xmlns:xlink="http://www.w3.org/1999/xlink"
 office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.spreadsheet">
<office:automatic-styles>
 <style:style style:name="row" style:family="table-row">
  <style:table-row-properties style:row-height="3.5cm" style:use-optimal-row-height="false"/>
 </style:style>
</office:automatic-styles>
<office:body><office:spreadsheet>
<table:table table:name="Assets">
<table:shapes>
 <draw:frame draw:z-index="0" svg:width="12cm" svg:height="7cm" svg:x="8cm" svg:y="0.6cm">
  <draw:object>
   <office:document office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.chart">
    <office:body><office:chart>
     <chart:chart chart:class="chart:circle" svg:width="12cm" svg:height="7cm">
      <chart:plot-area table:cell-range-address="Assets.A4:Assets.B%1" chart:data-source-has-labels="none">
       <chart:axis chart:dimension="x" chart:name="primary-x">
        <chart:categories table:cell-range-address="Assets.A4:Assets.A%1"/>
       </chart:axis>
       <chart:series chart:class="chart:circle" chart:values-cell-range-address="Assets.B4:Assets.B%1"
                     chart:label-cell-address="Assets.B3">
        <chart:data-point chart:repeated="%2"/>
       </chart:series>
      </chart:plot-area>
     </chart:chart>
    </office:chart></office:body>
   </office:document>
  </draw:object>
 </draw:frame>
)";

const char kAfterShapes[] = R"(</table:shapes>
<table:table-column table:number-columns-repeated="2"/>
<table:table-row table:number-rows-repeated="2"><table:table-cell/></table:table-row>
<table:table-row>
 <table:table-cell office:value-type="string"><text:p>Asset Type</text:p></table:table-cell>
 <table:table-cell office:value-type="string"><text:p>Amount</text:p></table:table-cell>
</table:table-row>
)";

const char kTail[] = R"(</table:table>
</office:spreadsheet></office:body>
</office:document>
)";

const struct {
    const char *label;
    int amount;
} kRows[] = {{"Savings", 25000}, {"401k", 55000}, {"Stocks", 15000},
             {"House", 250000}, {"Bonds", 11000}, {"Car", 7500}};

// A row of the sheet's own height, or a quarter of a page tall.
QByteArray rowXml(const QString &label, int amount, bool tall)
{
    return QStringLiteral("<table:table-row%3><table:table-cell office:value-type=\"string\">"
                          "<text:p>%1</text:p></table:table-cell><table:table-cell office:value-type=\"float\" "
                          "office:value=\"%2\"><text:p>%2</text:p></table:table-cell></table:table-row>\n")
            .arg(label)
            .arg(amount)
            .arg(tall ? QStringLiteral(" table:style-name=\"row\"") : QString())
            .toUtf8();
}

// The sheet up to its first row of the list: the chart over `rows` rows and
// the shapes given after it.
QByteArray headXml(int rows, const QByteArray &moreShapes)
{
    return QString::fromLatin1(kHead).arg(rows + 3).arg(rows).toUtf8() + moreShapes + kAfterShapes;
}

void writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(content);
}

} // namespace

void WriteChartWorkbook(const QString &path, const QByteArray &moreShapes)
{
    QByteArray xml = headXml(6, moreShapes);
    for (const auto &row : kRows)
        xml += rowXml(QLatin1String(row.label), row.amount, false);
    writeFile(path, xml + kTail);
}

void WriteLongChartWorkbook(const QString &path, int rows)
{
    QByteArray xml = headXml(rows, {});
    for (int row = 1; row <= rows; ++row)
        xml += rowXml(QStringLiteral("Asset %1").arg(row), 1000 + row, true);
    writeFile(path, xml + kTail);
}
