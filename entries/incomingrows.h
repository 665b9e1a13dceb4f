#pragma once

#include "entries/layer.h"

#include "entries/entry.h"

#include <QList>
#include <QLocale>
#include <QStringList>

// The most rows the list holds: its positions are counted in 16 bits and must
// still step once past the last.
inline constexpr qsizetype kMaxEntries = 32766;

// The rows that a paste or an import brings, checked as "Add New" checks what
// is typed: the first cell is the label, the second the amount, further cells
// are left out. A first row whose second cell is not a number is a header and
// is passed over, when rows follow it; so are rows with no text at all.
class IncomingRows
{
public:
    struct Skipped {
        qsizetype row;    // counted from 1, as the rows came
        QString reason;
    };

    // room: how many more rows the list can take.
    IncomingRows(const QList<QStringList> &table, qsizetype room,
                 const QLocale &locale = QLocale::system());

    const EntryList &accepted() const { return mAccepted; }
    const QList<Skipped> &skipped() const { return mSkipped; }

    // The one message the user is shown afterwards: how many rows were added,
    // which were skipped and why. Empty when every row was added.
    QString report() const;

private:
    QLocale mLocale;
    EntryList mAccepted;
    QList<Skipped> mSkipped;
};
