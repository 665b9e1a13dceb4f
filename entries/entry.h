#pragma once

#include <QList>
#include <QString>

// One row of the list: what the amount is, and the amount exactly as typed.
struct Entry {
    QString label;
    QString amount;

    friend bool operator==(const Entry &, const Entry &) = default;
};

using EntryList = QList<Entry>;
