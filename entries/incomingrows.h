#pragma once

#include "entries/layer.h"

#include "entries/entry.h"

#include <QList>
#include <QLocale>
#include <QStringList>

// The most rows the list holds: its positions are counted in 16 bits and must
// still step once past the last.
inline constexpr qsizetype kMaxEntries = 32766;
// The most rows an import reads of a file: a full list and its header.
inline constexpr qsizetype kMostRowsRead = kMaxEntries + 1;

// The rows a file gave, read no further than a list can take: rowsLeftUnread
// when the file went on beyond them.
struct ReadTable {
    QList<QStringList> rows;
    bool rowsLeftUnread = false;
};

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
    IncomingRows(const ReadTable &table, qsizetype room, const QLocale &locale = QLocale::system());

    const EntryList &accepted() const { return mAccepted; }
    const QList<Skipped> &skipped() const { return mSkipped; }

    // The one message the user is shown afterwards: how many rows were added,
    // which were skipped and why, and where the file was left unread. Empty
    // when every row was added.
    QString report() const;

private:
    QLocale mLocale;
    EntryList mAccepted;
    QList<Skipped> mSkipped;
    qsizetype mUnreadAfter = 0;   // the last row read of a file that went on
};
