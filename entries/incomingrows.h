#pragma once

#include "entries/layer.h"

#include "entries/entry.h"

#include <QList>
#include <QLocale>
#include <QStringList>

#include <optional>

// The most rows the list holds: its positions are counted in 16 bits and must
// still step once past the last.
inline constexpr qsizetype kMaxEntries = 32766;

// The rows that a paste or an import brings, checked as "Add New" checks what
// is typed: the first cell is the label, the second the amount, further cells
// are left out. A first row whose second cell is not a number is a header and
// is passed over, when rows follow it; so are rows with no text at all. Rows
// may come one at a time (add), and once the list is full the first row that
// does not fit ends the taking: a large file is read no further.
class IncomingRows
{
public:
    struct Skipped {
        qsizetype row;    // counted from 1, as the rows came
        QString reason;
    };

    // room: how many more rows the list can take.
    explicit IncomingRows(qsizetype room, const QLocale &locale = QLocale::system());
    IncomingRows(const QList<QStringList> &table, qsizetype room,
                 const QLocale &locale = QLocale::system());

    // The next row. Answers false when no more are taken: the list is full.
    bool add(const QStringList &row);
    // No more rows come: a first row still waiting for the one after it is taken as a row.
    void finish();

    const EntryList &accepted() const { return mAccepted; }
    // The first skipped rows, as many as the report lists; skippedCount() tells them all.
    const QList<Skipped> &skipped() const { return mSkipped; }
    qsizetype skippedCount() const { return mSkippedCount; }

    // The one message the user is shown afterwards: how many rows were added,
    // which were skipped and why. Empty when every row was added.
    QString report() const;

private:
    bool take(const QStringList &row, qsizetype number);

    QLocale mLocale;
    qsizetype mRoom;
    qsizetype mCount = 0;                 // rows that came, blank ones too
    std::optional<QStringList> mFirst;    // the first row, until it is known whether it is a header
    bool mFirstSeen = false;
    bool mFull = false;
    EntryList mAccepted;
    QList<Skipped> mSkipped;
    qsizetype mSkippedCount = 0;
};
