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

IncomingRows::IncomingRows(qsizetype room, const QLocale &locale)
    : mLocale(locale)
    , mRoom(room)
{
}

IncomingRows::IncomingRows(const QList<QStringList> &table, qsizetype room, const QLocale &locale)
    : IncomingRows(room, locale)
{
    for (const QStringList &row : table) {
        if (!add(row))
            break;
    }
    finish();
}

IncomingRows::IncomingRows(const ReadTable &table, qsizetype room, const QLocale &locale)
    : IncomingRows(table.rows, room, locale)
{
    if (table.rowsLeftUnread && mUnreadAfter == 0)
        mUnreadAfter = table.rows.size();
}

bool IncomingRows::add(const QStringList &row)
{
    if (mUnreadAfter > 0)
        return false;
    ++mCount;
    if (mFull && !isBlank(row)) {
        // Rows go on past a full list: they are not even read.
        mUnreadAfter = mCount - 1;
        return false;
    }
    if (mFirst) {
        // Something follows the first row: if its second cell is not a number, it is a header.
        const QStringList first = *std::exchange(mFirst, std::nullopt);
        if (first.size() < 2 || IsNumeric(first[1], mLocale))
            take(first, mCount - 1);
        if (mFull && !isBlank(row)) {
            mUnreadAfter = mCount - 1;
            return false;
        }
    } else if (!mFirstSeen && !isBlank(row)) {
        mFirstSeen = true;
        mFirst = row;
        return true;
    }
    take(row, mCount);
    return true;
}

void IncomingRows::finish()
{
    if (mFirst)
        take(*std::exchange(mFirst, std::nullopt), mCount);
}

void IncomingRows::take(const QStringList &row, qsizetype number)
{
    if (isBlank(row))
        return;
    QString reason = refusal(row, mLocale);
    if (reason.isEmpty() && mAccepted.size() >= mRoom) {
        reason = u"the list already holds %1 rows, as many as it can"_s.arg(mLocale.toString(kMaxEntries));
        mFull = true;
    }
    if (reason.isEmpty()) {
        mAccepted.append({row[0], row[1]});
        Q_ASSERT(IsAcceptedLabel(row[0]) && IsAcceptedAmount(row[1], mLocale));
    } else {
        ++mSkippedCount;
        if (mSkipped.size() < kListedSkips)
            mSkipped.append({number, reason});
    }
}

QString IncomingRows::report() const
{
    if (mSkippedCount == 0 && mUnreadAfter == 0)
        return {};
    const QLocale &numbers = mLocale;
    QString text = mAccepted.size() == 1 ? u"1 row was added"_s
                                         : u"%1 rows were added"_s.arg(numbers.toString(mAccepted.size()));
    if (mSkippedCount == 0)
        text += u"."_s;
    else
        text += mSkippedCount == 1 ? u"; 1 row was skipped:"_s
                                   : u"; %1 rows were skipped:"_s.arg(numbers.toString(mSkippedCount));
    for (const Skipped &skip : mSkipped)
        text += u"\r\nrow %1: %2"_s.arg(numbers.toString(skip.row), skip.reason);
    if (mSkippedCount > mSkipped.size())
        text += u"\r\nand %1 more."_s.arg(numbers.toString(mSkippedCount - mSkipped.size()));
    if (mUnreadAfter > 0)
        text += u"\r\nThe rows after row %1 were not read: the list holds at most %2 rows."_s.arg(
                numbers.toString(mUnreadAfter), numbers.toString(kMaxEntries));
    return text;
}
