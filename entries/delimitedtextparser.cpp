#include "entries/delimitedtextparser.h"

namespace {
constexpr QChar kQuote = u'"';
} // namespace

DelimitedTextParser::DelimitedTextParser(QChar separator, RowTaker take)
    : mSeparator(separator)
    , mTake(std::move(take))
{
}

bool DelimitedTextParser::endRow()
{
    mRow.append(mCell);
    mCell.clear();
    mWasQuoted = false;
    mDone = !mTake(std::exchange(mRow, {}));
    return !mDone;
}

bool DelimitedTextParser::feed(QStringView piece)
{
    if (mDone)
        return false;
    if (!mStarted && !piece.isEmpty()) {
        mStarted = true;
        if (piece.startsWith(QChar::ByteOrderMark))
            piece = piece.mid(1);
    }
    for (const QChar c : piece) {
        if (mAfterCr) {
            mAfterCr = false;
            if (c == u'\n')
                continue;
        }
        if (mQuoteInQuoted) {
            mQuoteInQuoted = false;
            if (c == kQuote) {
                mCell.append(c);
                continue;
            }
            mQuoted = false;
        }
        if (mQuoted) {
            if (c == kQuote)
                mQuoteInQuoted = true;
            else
                mCell.append(c);
        } else if (c == kQuote && mCell.isEmpty() && !mWasQuoted) {
            mQuoted = mWasQuoted = true;
        } else if (c == mSeparator) {
            mRow.append(mCell);
            mCell.clear();
            mWasQuoted = false;
        } else if (c == u'\r' || c == u'\n') {
            mAfterCr = c == u'\r';
            if (!endRow())
                return false;
        } else {
            // A quote inside a cell that did not begin with one is text, as spreadsheets read it.
            mCell.append(c);
        }
    }
    return true;
}

bool DelimitedTextParser::finish()
{
    if (mDone)
        return false;
    mQuoteInQuoted = mQuoted = false;
    if (!mCell.isEmpty() || !mRow.isEmpty() || mWasQuoted)
        return endRow();
    return true;
}
