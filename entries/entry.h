#pragma once

#include "entries/layer.h"

#include <QList>
#include <QString>

// One row of the list: what the amount is, and the amount exactly as typed.
struct Entry {
    QString label;
    QString amount;

    friend bool operator==(const Entry &, const Entry &) = default;
};

using EntryList = QList<Entry>;

// The most characters a spreadsheet cell holds. The editing commands accept no
// longer label; a longer one already stored stays in the list as it is.
inline constexpr qsizetype kMaxCellText = 32767;

// The label as a cell can hold it: cut to kMaxCellText characters, never in
// the middle of a surrogate pair.
inline QString CellText(const QString &label)
{
    if (label.size() <= kMaxCellText)
        return label;
    const qsizetype length = label.at(kMaxCellText - 1).isHighSurrogate() ? kMaxCellText - 1 : kMaxCellText;
    return label.left(length);
}
