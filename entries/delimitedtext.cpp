#include "entries/delimitedtext.h"

#include "entries/delimitedtextparser.h"

#include <QRegularExpression>

#include <algorithm>
#include <array>

namespace {
constexpr QChar kQuote = u'"';
constexpr std::array<QChar, 3> kSeparators{u'\t', u';', u','};
// Enough of the text to tell its separator; a long list need not be read three times.
constexpr qsizetype kSampleLength = 64 * 1024;
constexpr qsizetype kSampleRows = 20;

// What a spreadsheet takes for the start of a formula (or, for a tab or CR, of
// a cell it trims into one), after any apostrophes that make it text.
bool startsLikeAFormula(QStringView cell)
{
    static constexpr QStringView kStarts = u"=+-@\t\r";
    qsizetype i = 0;
    while (i < cell.size() && cell[i] == u'\'')
        ++i;
    return i < cell.size() && kStarts.contains(cell[i]);
}

// A number with a sign is no formula to any spreadsheet, and stays a number.
const QRegularExpression kPlainNumber(QStringLiteral("^[+-]?[0-9.,]*[0-9][0-9.,' \\x{00A0}\\x{202F}]*([eE][+-]?[0-9]+)?$"));
} // namespace

QChar DelimitedText::detectSeparator(QStringView text)
{
    const QStringView sample = text.left(kSampleLength);
    QChar best = kSeparators.front();
    qsizetype bestCount = 0;
    for (const QChar separator : kSeparators) {
        const QList<QStringList> rows = parse(sample, separator);
        const qsizetype count = std::count_if(rows.cbegin(), rows.cbegin() + std::min(rows.size(), kSampleRows),
                                              [](const QStringList &row) { return row.size() >= 2; });
        if (count > bestCount) {
            best = separator;
            bestCount = count;
        }
    }
    return best;
}

QList<QStringList> DelimitedText::parse(QStringView text, QChar separator)
{
    QList<QStringList> rows;
    DelimitedTextParser parser(separator, [&rows](QStringList &&row) {
        rows.append(std::move(row));
        return true;
    });
    parser.feed(text);
    parser.finish();
    return rows;
}

QString DelimitedText::safeForSpreadsheets(const QString &cell)
{
    return startsLikeAFormula(cell) && !kPlainNumber.match(cell).hasMatch() ? u'\'' + cell : cell;
}

QString DelimitedText::asWritten(const QString &cell)
{
    return cell.startsWith(u'\'') && startsLikeAFormula(cell) ? cell.mid(1) : cell;
}

QString DelimitedText::toCsv(const QList<QStringList> &rows)
{
    QString csv;
    for (const QStringList &row : rows) {
        for (qsizetype i = 0; i < row.size(); ++i) {
            if (i > 0)
                csv.append(u',');
            const QString cell = safeForSpreadsheets(row[i]);
            const bool needsQuotes = std::any_of(cell.cbegin(), cell.cend(), [](QChar c) {
                return c == kQuote || c == u'\r' || c == u'\n'
                        || std::find(kSeparators.cbegin(), kSeparators.cend(), c) != kSeparators.cend();
            });
            if (needsQuotes)
                csv += kQuote + QString(cell).replace(kQuote, QStringLiteral("\"\"")) + kQuote;
            else
                csv += cell;
        }
        csv.append(u"\r\n");
    }
    return csv;
}
