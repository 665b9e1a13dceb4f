#pragma once

#include <QString>

// Writes a small workbook in LibreOffice's flat XML format: sheet "Assets"
// with headers in A3:B3, six rows of labels and amounts in A4:B9, and a pie
// chart over them placed to the right of the data (from about E2 to L17),
// followed on the sheet by the shapes given in the format's XML.
void WriteChartWorkbook(const QString &path, const QByteArray &moreShapes = {});

// The same with `rows` rows ("Asset i", 1000 + i), each a quarter of a
// printed page tall, and the pie over all of them.
void WriteLongChartWorkbook(const QString &path, int rows);
