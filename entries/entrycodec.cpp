#include "entries/entrycodec.h"

namespace {

// How much of the end of the text is the start of a separator ("||SEP1",
// "||SEP2|", ...) long enough to join with a separator written after it into
// one that begins too early. Only the last two characters of a separator, "||",
// are also its first two, so only starts of six or seven characters can join.
qsizetype danglingSeparatorLength(QStringView text)
{
    for (const QString &separator : {kLabelSeparator, kEntrySeparator}) {
        for (const qsizetype length : {7, 6}) {
            if (text.endsWith(QStringView(separator).first(length)))
                return length;
        }
    }
    return 0;
}

QStringView withoutDanglingSeparator(QStringView text)
{
    return text.chopped(danglingSeparatorLength(text));
}

} // namespace

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
        const bool unterminated = end == text.size();
        const QStringView piece = text.sliced(from, end - from);
        from = end + kEntrySeparator.size();
        if (piece.isEmpty())
            continue;
        // A store cut short can end inside a separator, and a label kept
        // without its amount is stored again followed by "||SEP1||": such a
        // dangling start would join that separator and come back cut in two.
        const qsizetype labelEnd = piece.indexOf(kLabelSeparator);
        if (labelEnd < 0) {
            const QStringView label = withoutDanglingSeparator(piece);
            if (!label.isEmpty())
                entries.append({label.toString(), QString()});
            continue;
        }
        const QStringView rest = piece.sliced(labelEnd + kLabelSeparator.size());
        const qsizetype amountEnd = rest.indexOf(kLabelSeparator);
        QStringView amount = amountEnd < 0 ? rest : rest.first(amountEnd);
        // The dangling start may begin in the label separator itself: "||SEP2".
        if (amountEnd < 0 && unterminated)
            amount.chop(qMin(danglingSeparatorLength(piece), amount.size()));
        entries.append({piece.first(labelEnd).toString(), amount.toString()});
    }
    return entries;
}

bool HoldsSeparator(const QString &text)
{
    return text.contains(kLabelSeparator) || text.contains(kEntrySeparator)
            || danglingSeparatorLength(text) > 0;
}
