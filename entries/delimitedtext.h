#pragma once

#include "entries/layer.h"

#include <QChar>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

// Rows of cells written as text: what a spreadsheet puts on the clipboard
// (cells split by tabs) and what CSV files hold (commas, or semicolons where
// the comma is the decimal separator). A cell in double quotes may hold the
// separator, line breaks and doubled quotes. Lines end in LF, CR LF or CR.
class DelimitedText
{
public:
    // The separator that splits the most of the first rows into two cells or
    // more; on a tie a tab comes before a semicolon, and a semicolon before a comma.
    static QChar detectSeparator(QStringView text);

    // Every line is a row, a blank one too (as one empty cell); a line break
    // at the very end starts no row. A byte order mark at the start is dropped.
    static QList<QStringList> parse(QStringView text, QChar separator);
    static QList<QStringList> parse(QStringView text) { return parse(text, detectSeparator(text)); }

    // CSV: cells split by commas, each row ended by CR LF. A cell is quoted
    // when it holds a quote, a line break or any separator detectSeparator
    // knows, so that reading it back splits it nowhere. Each cell is written
    // safeForSpreadsheets.
    static QString toCsv(const QList<QStringList> &rows);

    // A cell that a spreadsheet opening the file would take for a formula (it
    // begins with =, +, -, @, a tab or a CR, and is not a number) with an
    // apostrophe before it, which makes it text; so is a cell that already
    // begins with apostrophes before such a character, so that asWritten
    // gives every cell back as it was.
    static QString safeForSpreadsheets(const QString &cell);
    // A cell as it was before safeForSpreadsheets.
    static QString asWritten(const QString &cell);
};
