#include "entries/incomingrows.h"

#include "entries/entrycodec.h"
#include "entries/numerictest.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {
// A message box with thousands of lines helps nobody; the first ones show what went wrong.
constexpr qsizetype kListedSkips = 10;

bool isBlank(const QStringList &row)
{
    return std::all_of(row.cbegin(), row.cend(), [](const QString &cell) { return cell.isEmpty(); });
}

// Why a row cannot be added, or the empty text when it can.
QString refusal(const QStringList &row, const QLocale &locale)
{
    const QString label = row.value(0);
    const QString amount = row.value(1);
    if (label.isEmpty())
        return u"it has no label"_s;
    if (HoldsSeparator(label))
        return u"its label holds \"%1\" or \"%2\""_s.arg(kLabelSeparator, kEntrySeparator);
    if (label.size() > kMaxCellText)
        return u"its label is longer than %1 characters"_s.arg(locale.toString(kMaxCellText));
    if (amount.isEmpty())
        return u"it has no amount"_s;
    if (!IsNumeric(amount, locale))
        return u"its amount is not a number"_s;
    return {};
}
} // namespace

IncomingRows::IncomingRows(const QList<QStringList> &table, qsizetype room, const QLocale &locale)
    : mLocale(locale)
{
    qsizetype first = 0;
    while (first < table.size() && isBlank(table[first]))
        ++first;
    const bool header = first + 1 < table.size() && table[first].size() >= 2
            && !IsNumeric(table[first][1], locale);
    if (header)
        ++first;
    for (qsizetype i = first; i < table.size(); ++i) {
        const QStringList &row = table[i];
        if (isBlank(row))
            continue;
        QString reason = refusal(row, locale);
        if (reason.isEmpty() && mAccepted.size() >= room)
            reason = u"the list already holds %1 rows, as many as it can"_s.arg(locale.toString(kMaxEntries));
        if (reason.isEmpty()) {
            mAccepted.append({row[0], row[1]});
            Q_ASSERT(IsAcceptedLabel(row[0]) && IsAcceptedAmount(row[1], locale));
        } else {
            mSkipped.append({i + 1, reason});
        }
    }
}

IncomingRows::IncomingRows(const ReadTable &table, qsizetype room, const QLocale &locale)
    : IncomingRows(table.rows, room, locale)
{
    if (table.rowsLeftUnread)
        mUnreadAfter = table.rows.size();
}

QString IncomingRows::report() const
{
    if (mSkipped.isEmpty() && mUnreadAfter == 0)
        return {};
    const QLocale &numbers = mLocale;
    QString text = mAccepted.size() == 1 ? u"1 row was added"_s
                                         : u"%1 rows were added"_s.arg(numbers.toString(mAccepted.size()));
    if (mSkipped.isEmpty())
        text += u"."_s;
    else
        text += mSkipped.size() == 1 ? u"; 1 row was skipped:"_s
                                     : u"; %1 rows were skipped:"_s.arg(numbers.toString(mSkipped.size()));
    for (qsizetype i = 0; i < std::min(mSkipped.size(), kListedSkips); ++i)
        text += u"\r\nrow %1: %2"_s.arg(numbers.toString(mSkipped[i].row), mSkipped[i].reason);
    if (mSkipped.size() > kListedSkips)
        text += u"\r\nand %1 more."_s.arg(numbers.toString(mSkipped.size() - kListedSkips));
    if (mUnreadAfter > 0)
        text += u"\r\nThe rows after row %1 were not read: the list holds at most %2 rows."_s.arg(
                numbers.toString(mUnreadAfter), numbers.toString(kMaxEntries));
    return text;
}
