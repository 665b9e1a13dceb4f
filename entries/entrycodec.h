#pragma once

#include "entries/layer.h"

#include "entries/entry.h"

#include <QString>

// The stored form of the list, one text: for each entry its label, "||SEP1||",
// its amount and "||SEP2||". Nothing is escaped, so neither separator may
// appear inside a label or an amount.

inline const QString kLabelSeparator = QStringLiteral("||SEP1||");
inline const QString kEntrySeparator = QStringLiteral("||SEP2||");

QString EncodeEntryList(const EntryList &entries);

// Every non-empty piece between "||SEP2||" separators becomes one entry, in
// order. A piece without "||SEP1||" is kept as a label with an empty amount, so
// no text that was stored is dropped; parts after a second "||SEP1||" are ignored.
// The start of a separator left at the end of such a label, or at the end of a
// store cut short, is dropped: stored again, it would split the entry.
EntryList DecodeEntryList(const QString &stored);

// True when the text holds one of the separators, or ends with the start of one
// ("||SEP1", "||SEP2|"), and so would not come back from the stored form.
bool HoldsSeparator(const QString &text);
