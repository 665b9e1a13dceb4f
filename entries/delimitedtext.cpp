#include "entries/delimitedtext.h"

#include <algorithm>
#include <array>

namespace {
constexpr QChar kQuote = u'"';
constexpr std::array<QChar, 3> kSeparators{u'\t', u';', u','};
// Enough of the text to tell its separator; a long list need not be read three times.
constexpr qsizetype kSampleLength = 64 * 1024;
constexpr qsizetype kSampleRows = 20;
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
    if (text.startsWith(QChar::ByteOrderMark))
        text = text.mid(1);
    QList<QStringList> rows;
    QStringList row;
    QString cell;
    bool quoted = false;     // inside a quoted part of the cell
    bool wasQuoted = false;  // the cell began with a quote
    const auto endCell = [&] {
        row.append(cell);
        cell.clear();
        wasQuoted = false;
    };
    const auto endRow = [&] {
        endCell();
        rows.append(row);
        row.clear();
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c != kQuote)
                cell.append(c);
            else if (i + 1 < text.size() && text[i + 1] == kQuote)
                cell.append(text[++i]);
            else
                quoted = false;
        } else if (c == kQuote && cell.isEmpty() && !wasQuoted) {
            quoted = wasQuoted = true;
        } else if (c == separator) {
            endCell();
        } else if (c == u'\r' || c == u'\n') {
            if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
            endRow();
        } else {
            // A quote inside a cell that did not begin with one is text, as spreadsheets read it.
            cell.append(c);
        }
    }
    if (!cell.isEmpty() || !row.isEmpty() || wasQuoted)
        endRow();
    return rows;
}

QString DelimitedText::toCsv(const QList<QStringList> &rows)
{
    QString csv;
    for (const QStringList &row : rows) {
        for (qsizetype i = 0; i < row.size(); ++i) {
            if (i > 0)
                csv.append(u',');
            const QString &cell = row[i];
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
