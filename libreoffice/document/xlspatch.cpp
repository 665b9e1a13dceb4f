#include "libreoffice/document/xlspatch.h"

#include "ground/failure.h"
#include "ground/filereplace.h"

#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <algorithm>

namespace {

constexpr char kCompoundSignature[] = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";
constexpr quint32 kLastRegularSector = 0xFFFFFFFA;
constexpr quint8 kStreamEntry = 2;
constexpr quint8 kRootEntry = 5;

constexpr quint16 kRecordBof = 0x0809;
constexpr quint16 kRecordEof = 0x000A;
constexpr quint16 kRecordWindow2 = 0x023E;
constexpr quint16 kWorksheetSubstream = 0x0010;

Failure NotAWorkbook(const QString &why)
{
    return Failure(QStringLiteral("The file is not an Excel 97-2003 workbook: %1.").arg(why));
}

// Where the bytes of one stream lie in the file: the stream is a chain of equal-sized pieces.
struct StreamLayout
{
    QList<qsizetype> pieceStarts;
    qsizetype pieceSize = 0;
    qsizetype size = 0;

    qsizetype fileOffset(qsizetype pos) const
    {
        return pieceStarts[pos / pieceSize] + pos % pieceSize;
    }
};

class CompoundFile
{
public:
    explicit CompoundFile(const QByteArray &data)
        : mData(data)
    {
        if (mData.size() < 512 || !mData.startsWith(QByteArray(kCompoundSignature, 8)))
            throw NotAWorkbook(QStringLiteral("no compound file signature"));
        const quint16 sectorShift = u16(0x1E);
        const quint16 miniShift = u16(0x20);
        if (sectorShift < 7 || sectorShift > 16 || miniShift > sectorShift)
            throw NotAWorkbook(QStringLiteral("impossible sector size"));
        mSectorSize = qsizetype(1) << sectorShift;
        mMiniSectorSize = qsizetype(1) << miniShift;
        mMiniCutoff = u32(0x38);
        readAllocationTable();
        readDirectory();
    }

    StreamLayout stream(const QString &name) const
    {
        for (const Entry &e : mEntries) {
            if (e.type != kStreamEntry || e.name.compare(name, Qt::CaseInsensitive) != 0)
                continue;
            StreamLayout layout;
            layout.size = e.size;
            if (e.size < mMiniCutoff) {
                layout.pieceSize = mMiniSectorSize;
                for (quint32 m : chain(e.start, mMiniFat)) {
                    const qsizetype pos = qsizetype(m) * mMiniSectorSize;
                    const qsizetype host = pos / mSectorSize;
                    if (host >= mMiniStream.size())
                        throw NotAWorkbook(QStringLiteral("a mini sector outside the mini stream"));
                    layout.pieceStarts.append(sectorOffset(mMiniStream[host]) + pos % mSectorSize);
                }
            } else {
                layout.pieceSize = mSectorSize;
                for (quint32 s : chain(e.start, mFat))
                    layout.pieceStarts.append(sectorOffset(s));
            }
            if (layout.pieceStarts.size() * layout.pieceSize < layout.size)
                throw NotAWorkbook(QStringLiteral("the %1 stream is cut short").arg(name));
            return layout;
        }
        throw NotAWorkbook(QStringLiteral("no %1 stream").arg(name));
    }

private:
    struct Entry
    {
        QString name;
        quint8 type = 0;
        quint32 start = 0;
        qsizetype size = 0;
    };

    quint16 u16(qsizetype offset) const
    {
        return qFromLittleEndian<quint16>(mData.constData() + offset);
    }
    quint32 u32(qsizetype offset) const
    {
        return qFromLittleEndian<quint32>(mData.constData() + offset);
    }

    qsizetype sectorOffset(quint32 sector) const
    {
        const qsizetype offset = (qsizetype(sector) + 1) * mSectorSize;
        if (offset + mSectorSize > mData.size())
            throw NotAWorkbook(QStringLiteral("a sector beyond the end of the file"));
        return offset;
    }

    QList<quint32> chain(quint32 start, const QList<quint32> &table) const
    {
        QList<quint32> sectors;
        for (quint32 s = start; s < kLastRegularSector; s = table[s]) {
            if (s >= quint32(table.size()) || sectors.size() > table.size())
                throw NotAWorkbook(QStringLiteral("a broken sector chain"));
            sectors.append(s);
        }
        return sectors;
    }

    QList<quint32> sectorWords(quint32 sector) const
    {
        const qsizetype base = sectorOffset(sector);
        QList<quint32> words;
        for (qsizetype i = 0; i < mSectorSize / 4; ++i)
            words.append(u32(base + 4 * i));
        return words;
    }

    void readAllocationTable()
    {
        QList<quint32> fatSectors;
        for (int i = 0; i < 109; ++i)
            fatSectors.append(u32(0x4C + 4 * i));
        QList<quint32> seen;
        for (quint32 next = u32(0x44); next < kLastRegularSector && !seen.contains(next);) {
            seen.append(next);
            QList<quint32> words = sectorWords(next);
            next = words.takeLast();
            fatSectors += words;
        }
        const quint32 fatCount = u32(0x2C);
        for (quint32 s : fatSectors) {
            if (quint32(mFat.size() / (mSectorSize / 4)) == fatCount)
                break;
            if (s < kLastRegularSector)
                mFat += sectorWords(s);
        }
    }

    void readDirectory()
    {
        for (quint32 s : chain(u32(0x30), mFat)) {
            const qsizetype base = sectorOffset(s);
            for (qsizetype e = base; e < base + mSectorSize; e += 128) {
                Entry entry;
                const int nameBytes = qBound(0, int(u16(e + 0x40)) - 2, 62);
                entry.name = QString::fromUtf16(
                    reinterpret_cast<const char16_t *>(mData.constData() + e), nameBytes / 2);
                entry.type = quint8(mData[e + 0x42]);
                entry.start = u32(e + 0x74);
                entry.size = u32(e + 0x78);
                mEntries.append(entry);
            }
        }
        if (mEntries.isEmpty() || mEntries.first().type != kRootEntry)
            throw NotAWorkbook(QStringLiteral("no root entry"));
        mMiniStream = chain(mEntries.first().start, mFat);
        for (quint32 s : chain(u32(0x3C), mFat))
            mMiniFat += sectorWords(s);
    }

    const QByteArray &mData;
    qsizetype mSectorSize = 512;
    qsizetype mMiniSectorSize = 64;
    qsizetype mMiniCutoff = 4096;
    QList<quint32> mFat;
    QList<quint32> mMiniFat;
    QList<quint32> mMiniStream;
    QList<Entry> mEntries;
};

} // namespace

QList<qsizetype> WorksheetWindowOptionOffsets(const QByteArray &xls)
{
    const StreamLayout workbook = CompoundFile(xls).stream(QStringLiteral("Workbook"));
    QByteArray stream;
    stream.reserve(workbook.size);
    for (qsizetype pos = 0; pos < workbook.size; pos += workbook.pieceSize)
        stream += xls.mid(workbook.fileOffset(pos), qMin(workbook.pieceSize, workbook.size - pos));

    // Embedded charts are substreams of their own inside a worksheet's, so keep a stack.
    QList<quint16> substreams;
    QList<qsizetype> offsets;
    for (qsizetype pos = 0; pos + 4 <= stream.size();) {
        const auto type = qFromLittleEndian<quint16>(stream.constData() + pos);
        const auto length = qFromLittleEndian<quint16>(stream.constData() + pos + 2);
        const qsizetype body = pos + 4;
        if (body + length > stream.size())
            throw NotAWorkbook(QStringLiteral("a record runs past the end of the Workbook stream"));
        if (type == kRecordBof && length >= 4)
            substreams.append(qFromLittleEndian<quint16>(stream.constData() + body + 2));
        else if (type == kRecordEof && !substreams.isEmpty())
            substreams.removeLast();
        else if (type == kRecordWindow2 && length >= 2 && !substreams.isEmpty()
                 && substreams.last() == kWorksheetSubstream)
            offsets.append(workbook.fileOffset(body));
        pos = body + length;
    }
    return offsets;
}

void ClearGridlinesFlag(const QString &xlsPath)
{
    QFile in(xlsPath);
    if (!in.open(QIODevice::ReadOnly))
        throw Failure(QStringLiteral("Cannot read \"%1\": %2").arg(xlsPath, in.errorString()));
    QByteArray bytes = in.readAll();
    in.close();

    const QList<qsizetype> offsets = WorksheetWindowOptionOffsets(bytes);
    if (offsets.isEmpty())
        throw Failure(QStringLiteral("\"%1\" has no worksheet window to change.").arg(xlsPath));
    for (qsizetype offset : offsets)
        bytes[offset] = char(quint8(bytes[offset]) & ~kWindowShowsGridlines);

    ReplaceFile(xlsPath, bytes, FileAccess::OwnerOnly);
}

namespace {

constexpr quint32 kEditingTimeProperty = 10;
constexpr quint32 kFileTimeType = 64;
// A file time counts in tenths of a microsecond.
constexpr qint64 kFileTimeTicksPerSecond = 10000000;

// Where the value of the editing time lies in the bytes of a property set
// stream (its first section, the summary information's own).
qsizetype editingTimeOffset(const QByteArray &stream)
{
    const auto u32 = [&](qsizetype at) {
        if (at < 0 || at + 4 > stream.size())
            throw NotAWorkbook(QStringLiteral("the summary information is cut short"));
        return qFromLittleEndian<quint32>(stream.constData() + at);
    };
    // Byte order, version, system, class, set count; then the first set's
    // format identifier and offset.
    const qsizetype section = u32(28 + 16);
    const quint32 count = u32(section + 4);
    for (quint32 i = 0; i < count && i < 4096; ++i) {
        if (u32(section + 8 + 8 * i) != kEditingTimeProperty)
            continue;
        const qsizetype value = section + u32(section + 12 + 8 * i);
        if (u32(value) != kFileTimeType || value + 12 > stream.size())
            break;
        return value + 4;
    }
    throw NotAWorkbook(QStringLiteral("its summary information gives no editing time"));
}

} // namespace

namespace {

QByteArray readWorkbook(const QString &path)
{
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly))
        throw Failure(QStringLiteral("Cannot read \"%1\": %2").arg(path, in.errorString()));
    return in.readAll();
}

// Where, in the file's bytes, each of the eight bytes of the editing time lies.
QList<qsizetype> editingTimeBytes(const QByteArray &xls)
{
    const StreamLayout summary = CompoundFile(xls).stream(QStringLiteral("\u0005SummaryInformation"));
    QByteArray stream;
    for (qsizetype pos = 0; pos < summary.size; pos += summary.pieceSize)
        stream += xls.mid(summary.fileOffset(pos), qMin(summary.pieceSize, summary.size - pos));
    const qsizetype at = editingTimeOffset(stream);
    QList<qsizetype> offsets;
    for (int i = 0; i < 8; ++i)
        offsets.append(summary.fileOffset(at + i));
    return offsets;
}

} // namespace

void SetEditingTime(const QString &xlsPath, qint64 seconds)
{
    QByteArray bytes = readWorkbook(xlsPath);
    QByteArray value(8, '\0');
    qToLittleEndian<quint64>(quint64(std::max<qint64>(0, seconds) * kFileTimeTicksPerSecond), value.data());
    const QList<qsizetype> offsets = editingTimeBytes(bytes);
    for (int i = 0; i < 8; ++i)
        bytes[offsets.at(i)] = value[i];
    ReplaceFile(xlsPath, bytes, FileAccess::OwnerOnly);
}

qint64 EditingTime(const QString &path)
{
    const QByteArray bytes = readWorkbook(path);
    QByteArray value;
    for (const qsizetype at : editingTimeBytes(bytes))
        value += bytes.at(at);
    return qint64(qFromLittleEndian<quint64>(value.constData()) / kFileTimeTicksPerSecond);
}

bool IsExcel97(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == QLatin1String("xls") || suffix == QLatin1String("xlt");
}

QList<bool> GridlinesShown(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Failure(QStringLiteral("Cannot read %1: %2").arg(path, file.errorString()));
    const QByteArray bytes = file.readAll();
    QList<bool> shown;
    for (const qsizetype at : WorksheetWindowOptionOffsets(bytes))
        shown.append(qFromLittleEndian<quint16>(bytes.constData() + at) & kWindowShowsGridlines);
    return shown;
}
