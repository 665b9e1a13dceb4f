#include "chart/xlspatch.h"

#include "shell/failure.h"

#include <QFile>
#include <QSaveFile>
#include <QtEndian>

#include <functional>

namespace {

// Compound File Binary layout.
constexpr quint32 kEndOfChain = 0xFFFFFFFE;
constexpr quint32 kLastRegularSector = 0xFFFFFFFA;
constexpr int kDirectoryEntrySize = 128;
// BIFF8 records.
constexpr quint16 kBof = 0x0809;
constexpr quint16 kEof = 0x000A;
constexpr quint16 kWindow2 = 0x023E;
constexpr quint16 kWorksheetSubstream = 0x0010;
constexpr quint16 kShowGridlines = 0x0002;

[[noreturn]] void malformed(const QString &what)
{
    throw Failure(QStringLiteral("Not a readable Excel 97-2003 workbook: %1.").arg(what));
}

// Where each byte of the "Workbook" stream lies in the file: the stream is a
// chain of sectors (or of mini sectors inside the root's mini stream).
class WorkbookStream
{
public:
    explicit WorkbookStream(const QByteArray &file) : mFile(file)
    {
        static const QByteArray signature("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
        if (file.size() < 512 || !file.startsWith(signature))
            malformed(QStringLiteral("no compound file header"));
        const int sectorShift = u16(0x1E);
        if (sectorShift != 9 && sectorShift != 12)
            malformed(QStringLiteral("unknown sector size"));
        mSectorSize = 1 << sectorShift;
        mMiniSectorSize = 1 << u16(0x20);
        const quint32 miniCutoff = u32(0x38);

        readFat();
        const QList<qint64> directory = chain(u32(0x30), mFat, [&](quint32 s) { return sectorOffset(s); },
                                              mSectorSize);
        qint64 rootStart = -1, rootSize = 0, streamStart = -1, streamSize = 0;
        for (qint64 base : directory) {
            for (int entry = 0; entry + kDirectoryEntrySize <= mSectorSize; entry += kDirectoryEntrySize) {
                const qint64 at = base + entry;
                const int nameBytes = u16(at + 0x40);
                const int type = quint8(mFile.at(at + 0x42));
                if (nameBytes < 2 || nameBytes > 64)
                    continue;
                const QString name = QString::fromUtf16(
                        reinterpret_cast<const char16_t *>(mFile.constData() + at), nameBytes / 2 - 1);
                if (type == 5) {
                    rootStart = u32(at + 0x74);
                    rootSize = u32(at + 0x78);
                } else if (type == 2 && (name == QLatin1String("Workbook") || name == QLatin1String("Book"))) {
                    streamStart = u32(at + 0x74);
                    streamSize = u32(at + 0x78);
                }
            }
        }
        if (streamStart < 0)
            malformed(QStringLiteral("no workbook stream"));
        mSize = streamSize;
        if (streamSize >= miniCutoff) {
            mChunkSize = mSectorSize;
            mChunks = chain(quint32(streamStart), mFat, [&](quint32 s) { return sectorOffset(s); }, mSectorSize);
        } else {
            if (rootStart < 0)
                malformed(QStringLiteral("no root entry"));
            const QList<qint64> miniStream = chain(quint32(rootStart), mFat,
                                                   [&](quint32 s) { return sectorOffset(s); }, mSectorSize);
            const QList<quint32> miniFat = readTable(
                    chain(u32(0x3C), mFat, [&](quint32 s) { return sectorOffset(s); }, mSectorSize));
            const int perSector = mSectorSize / mMiniSectorSize;
            mChunkSize = mMiniSectorSize;
            mChunks = chain(quint32(streamStart), miniFat, [&](quint32 m) -> qint64 {
                const qsizetype sector = m / perSector;
                if (sector >= miniStream.size() || qint64(m) * mMiniSectorSize >= rootSize)
                    malformed(QStringLiteral("mini sector out of range"));
                return miniStream.at(sector) + (m % perSector) * mMiniSectorSize;
            }, mMiniSectorSize);
        }
        if (qint64(mChunks.size()) * mChunkSize < mSize)
            malformed(QStringLiteral("workbook stream shorter than its size"));
    }

    qint64 size() const { return mSize; }
    qint64 fileOffset(qint64 streamOffset) const
    {
        return mChunks.at(streamOffset / mChunkSize) + streamOffset % mChunkSize;
    }
    quint8 byteAt(qint64 streamOffset) const { return quint8(mFile.at(fileOffset(streamOffset))); }
    quint16 u16At(qint64 streamOffset) const
    {
        return quint16(byteAt(streamOffset) | (byteAt(streamOffset + 1) << 8));
    }

private:
    quint16 u16(qint64 at) const
    {
        if (at + 2 > mFile.size())
            malformed(QStringLiteral("truncated"));
        return qFromLittleEndian<quint16>(mFile.constData() + at);
    }
    quint32 u32(qint64 at) const
    {
        if (at + 4 > mFile.size())
            malformed(QStringLiteral("truncated"));
        return qFromLittleEndian<quint32>(mFile.constData() + at);
    }
    qint64 sectorOffset(quint32 sector) const
    {
        const qint64 at = (qint64(sector) + 1) * mSectorSize;
        if (sector > kLastRegularSector || at + mSectorSize > mFile.size())
            malformed(QStringLiteral("sector out of range"));
        return at;
    }
    QList<quint32> readTable(const QList<qint64> &sectors) const
    {
        QList<quint32> table;
        for (qint64 at : sectors)
            for (int i = 0; i < mSectorSize; i += 4)
                table.append(u32(at + i));
        return table;
    }
    void readFat()
    {
        QList<quint32> fatSectors;
        const quint32 fatCount = u32(0x2C);
        for (int i = 0; i < 109 && quint32(fatSectors.size()) < fatCount; ++i)
            fatSectors.append(u32(0x4C + 4 * i));
        quint32 difat = u32(0x44);
        for (quint32 guard = 0; quint32(fatSectors.size()) < fatCount && difat <= kLastRegularSector; ++guard) {
            if (guard > quint32(mFile.size() / mSectorSize))
                malformed(QStringLiteral("looping sector table"));
            const qint64 at = sectorOffset(difat);
            for (int i = 0; i + 4 < mSectorSize && quint32(fatSectors.size()) < fatCount; i += 4)
                fatSectors.append(u32(at + i));
            difat = u32(at + mSectorSize - 4);
        }
        QList<qint64> offsets;
        for (quint32 s : fatSectors)
            offsets.append(sectorOffset(s));
        mFat = readTable(offsets);
    }
    QList<qint64> chain(quint32 first, const QList<quint32> &table,
                        const std::function<qint64(quint32)> &offsetOf, int chunkSize) const
    {
        QList<qint64> offsets;
        const qint64 limit = mFile.size() / chunkSize + 1;
        for (quint32 s = first; s != kEndOfChain; s = table.at(s)) {
            if (s >= quint32(table.size()) || offsets.size() > limit)
                malformed(QStringLiteral("broken sector chain"));
            offsets.append(offsetOf(s));
        }
        return offsets;
    }

    const QByteArray &mFile;
    int mSectorSize = 512;
    int mMiniSectorSize = 64;
    QList<quint32> mFat;
    QList<qint64> mChunks;
    int mChunkSize = 512;
    qint64 mSize = 0;
};

// Calls visit(file offset of the flags) for each worksheet's WINDOW2 record.
void forEachWorksheetWindow(const QByteArray &file, const std::function<void(qint64)> &visit)
{
    const WorkbookStream stream(file);
    QList<quint16> substreams;   // embedded charts nest inside worksheets
    qint64 at = 0;
    while (at + 4 <= stream.size()) {
        const quint16 id = stream.u16At(at);
        const quint16 length = stream.u16At(at + 2);
        const qint64 data = at + 4;
        if (data + length > stream.size())
            malformed(QStringLiteral("record beyond the stream"));
        if (id == kBof && length >= 4)
            substreams.append(stream.u16At(data + 2));
        else if (id == kEof && !substreams.isEmpty())
            substreams.removeLast();
        else if (id == kWindow2 && length >= 2 && !substreams.isEmpty()
                 && substreams.last() == kWorksheetSubstream)
            visit(stream.fileOffset(data));
        at = data + length;
    }
}

QByteArray readWhole(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Failure(QStringLiteral("Cannot read %1: %2").arg(path, file.errorString()));
    return file.readAll();
}

} // namespace

QList<bool> XlsGridlinesShown(const QByteArray &file)
{
    QList<bool> shown;
    forEachWorksheetWindow(file, [&](qint64 flags) { shown.append(quint8(file.at(flags)) & kShowGridlines); });
    return shown;
}

namespace {

bool setFlags(QByteArray &file, const std::function<bool(int)> &shownForSheet)
{
    QList<qint64> flagOffsets;
    forEachWorksheetWindow(file, [&](qint64 flags) { flagOffsets.append(flags); });
    bool changed = false;
    for (int sheet = 0; sheet < flagOffsets.size(); ++sheet) {
        const qint64 at = flagOffsets.at(sheet);
        const quint8 before = quint8(file.at(at));
        const quint8 after = shownForSheet(sheet) ? (before | kShowGridlines) : (before & ~kShowGridlines);
        if (after != before) {
            file[at] = char(after);
            changed = true;
        }
    }
    return changed;
}

bool rewriteFile(const QString &path, const std::function<bool(QByteArray &)> &change)
{
    QByteArray bytes = readWhole(path);
    if (!change(bytes))
        return false;
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit())
        throw Failure(QStringLiteral("Cannot write %1: %2").arg(path, out.errorString()));
    return true;
}

} // namespace

bool SetXlsGridlinesShown(QByteArray &file, bool shown)
{
    return setFlags(file, [shown](int) { return shown; });
}

bool SetXlsGridlinesShown(QByteArray &file, const QList<bool> &shown)
{
    if (XlsGridlinesShown(file).size() != shown.size())
        throw Failure(QStringLiteral("The workbook has another number of worksheets than expected."));
    return setFlags(file, [&shown](int sheet) { return shown.at(sheet); });
}

QList<bool> XlsFileGridlinesShown(const QString &path)
{
    return XlsGridlinesShown(readWhole(path));
}

bool SetXlsFileGridlinesShown(const QString &path, bool shown)
{
    return rewriteFile(path, [shown](QByteArray &bytes) { return SetXlsGridlinesShown(bytes, shown); });
}

bool SetXlsFileGridlinesShown(const QString &path, const QList<bool> &shown)
{
    return rewriteFile(path, [&shown](QByteArray &bytes) { return SetXlsGridlinesShown(bytes, shown); });
}
