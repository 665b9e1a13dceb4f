#include "entries/entrycodec.h"

QString EncodeEntryList(const EntryList &entries)
{
    qsizetype length = 0;
    for (const Entry &e : entries)
        length += e.label.size() + e.amount.size() + kLabelSeparator.size() + kEntrySeparator.size();
    QString stored;
    stored.reserve(length);
    for (const Entry &e : entries)
        stored += e.label + kLabelSeparator + e.amount + kEntrySeparator;
    return stored;
}

EntryList DecodeEntryList(const QString &stored)
{
    EntryList entries;
    const QStringView text(stored);
    qsizetype from = 0;
    while (from < text.size()) {
        qsizetype end = text.indexOf(kEntrySeparator, from);
        if (end < 0)
            end = text.size();
        const QStringView piece = text.sliced(from, end - from);
        from = end + kEntrySeparator.size();
        if (piece.isEmpty())
            continue;
        const qsizetype labelEnd = piece.indexOf(kLabelSeparator);
        if (labelEnd < 0) {
            entries.append({piece.toString(), QString()});
            continue;
        }
        const QStringView rest = piece.sliced(labelEnd + kLabelSeparator.size());
        const qsizetype amountEnd = rest.indexOf(kLabelSeparator);
        entries.append({piece.first(labelEnd).toString(),
                        (amountEnd < 0 ? rest : rest.first(amountEnd)).toString()});
    }
    return entries;
}

bool HoldsSeparator(const QString &text)
{
    return text.contains(kLabelSeparator) || text.contains(kEntrySeparator);
}
