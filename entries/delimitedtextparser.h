#pragma once

#include "entries/layer.h"

#include <QChar>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <functional>

// Reads delimited text (see DelimitedText) a piece at a time, so that a large
// file need never be whole in memory: each row goes to the taker as soon as it
// ends, and the taker may say that it wants no more. A piece may end anywhere,
// also inside a quoted cell or between the CR and LF of one line break.
class DelimitedTextParser
{
public:
    // Answers false when it wants no more rows.
    using RowTaker = std::function<bool(QStringList &&row)>;

    DelimitedTextParser(QChar separator, RowTaker take);

    // The next piece of the text. Answers false once the taker wanted no more.
    bool feed(QStringView piece);
    // The text has ended: a last row without a line break is taken.
    bool finish();

private:
    bool endRow();

    QChar mSeparator;
    RowTaker mTake;
    QStringList mRow;
    QString mCell;
    bool mStarted = false;        // the byte order mark is looked for once
    bool mQuoted = false;         // inside a quoted part of the cell
    bool mWasQuoted = false;      // the cell began with a quote
    bool mQuoteInQuoted = false;  // a quote inside quotes: an end, or the first of two
    bool mAfterCr = false;        // an LF next belongs to the same line break
    bool mDone = false;
};
