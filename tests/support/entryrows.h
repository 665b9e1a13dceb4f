#pragma once

#include "entries/entrylistmodel.h"

#include <QStringList>

// A list as "label=amount" texts, one a row, for comparing whole lists.
inline QStringList EntryRows(const EntryList &entries)
{
    QStringList out;
    for (const Entry &e : entries)
        out << e.label + QLatin1Char('=') + e.amount;
    return out;
}

inline QStringList EntryRows(const EntryListModel &list)
{
    return EntryRows(list.entries());
}
