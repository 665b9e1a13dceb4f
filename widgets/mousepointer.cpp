#include "widgets/mousepointer.h"

#include "ground/mainroutines.h"

#include <QFile>
#include <QImage>
#include <QPixmap>
#include <QWidget>
#include <QtEndian>

void MousePointer::setValue(qint16 value)
{
    mValue = value;
    apply();
}

void MousePointer::setMouseIcon(const QCursor &cursor)
{
    mMouseIcon = cursor;
    apply();
}

void MousePointer::buttonHovered()
{
    if (mValue != Hourglass && mValue != Custom)
        setValue(Custom);
}

void MousePointer::surfaceHovered()
{
    if (mValue != Hourglass && mValue != Default)
        setValue(Default);
}

void MousePointer::apply()
{
    if (!mWindow)
        return;
    switch (mValue) {
    case Hourglass:
        mWindow->setCursor(Qt::WaitCursor);
        break;
    case Custom:
        if (mMouseIcon)
            mWindow->setCursor(*mMouseIcon);
        else
            mWindow->unsetCursor();
        break;
    default:
        mWindow->unsetCursor();
        break;
    }
}

std::optional<QCursor> LoadCursorFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray data = file.readAll();
    // A .cur file is an .ico file with type 2, whose entries hold the hotspot
    // where an icon keeps planes and bit count.
    constexpr int headerSize = 6, entrySize = 16;
    if (data.size() < headerSize + entrySize)
        return std::nullopt;
    const auto *bytes = reinterpret_cast<const uchar *>(data.constData());
    if (qFromLittleEndian<quint16>(bytes) != 0 || qFromLittleEndian<quint16>(bytes + 2) != 2
        || qFromLittleEndian<quint16>(bytes + 4) < 1)
        return std::nullopt;
    const int hotX = qFromLittleEndian<quint16>(bytes + headerSize + 4);
    const int hotY = qFromLittleEndian<quint16>(bytes + headerSize + 6);
    const quint16 count = qFromLittleEndian<quint16>(bytes + 4);
    if (data.size() < headerSize + entrySize * count)
        return std::nullopt;
    // Qt's icon reader wants planes 1 and a bit count; the cursor's image data
    // itself is laid out as in an icon.
    uchar *writable = reinterpret_cast<uchar *>(data.data());
    qToLittleEndian<quint16>(1, writable + 2);
    for (int i = 0; i < count; ++i) {
        uchar *entry = writable + headerSize + entrySize * i;
        qToLittleEndian<quint16>(1, entry + 4);
        qToLittleEndian<quint16>(32, entry + 6);
    }
    const QImage image = QImage::fromData(data, "ICO");
    if (image.isNull())
        return std::nullopt;
    return QCursor(QPixmap::fromImage(image), hotX, hotY);
}

void LoadHandCursor(MousePointer &pointer)
{
    LoadHandCursor(pointer, ProgramFolder());
}

void LoadHandCursor(MousePointer &pointer, const QString &programFolder)
{
    const QString path = programFolder + QStringLiteral("/HAND-M.CUR");
    if (!FileExists(path))
        return;
    if (auto cursor = LoadCursorFile(path))
        pointer.setMouseIcon(*cursor);
}
