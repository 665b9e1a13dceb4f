#include "entries/textfileimport.h"

#include "entries/delimitedtext.h"
#include "entries/delimitedtextparser.h"
#include "ground/failure.h"
#include "ground/regularfile.h"

#include <QStringDecoder>

#include <optional>

#include <langinfo.h>

using namespace Qt::StringLiterals;

namespace {
// Far more than the longest list takes as text; a larger file is not a list.
constexpr qsizetype kLargestImport = 256 * 1024 * 1024;
constexpr qsizetype kPiece = 1024 * 1024;
// As much text as DelimitedText::detectSeparator looks at.
constexpr qsizetype kSeparatorSample = 64 * 1024;

// A decoder that also tells whether the text ended inside a character, which
// QStringDecoder keeps to itself, waiting for the rest.
class Decoder : public QStringDecoder
{
public:
    explicit Decoder(const QByteArray &encoding) : QStringDecoder(encoding.constData()) {}
    bool midCharacter() const { return state.remainingChars != 0; }
};

bool isUtf8(const QByteArray &encoding)
{
    return QStringConverter::encodingForName(encoding.constData()) == QStringConverter::Utf8;
}
} // namespace

QByteArray TextFileImport::SystemEncoding()
{
    // The locale is the environment's: QCoreApplication set it at the start.
    return QByteArray(::nl_langinfo(CODESET));
}

TextFileImport::TextFileImport(const QString &path, qsizetype room, const QLocale &locale,
                               const QByteArray &fallback)
    : mRows(room, locale)
{
    RegularFile file(path);
    if (readAs(file, "UTF-8"))
        return;
    if (isUtf8(fallback) || !Decoder(fallback).isValid())
        throw Failure(u"It is not UTF-8 text."_s);
    file.rewind();
    mRows = IncomingRows(room, locale);
    if (!readAs(file, fallback))
        throw Failure(u"It is neither UTF-8 nor %1 text."_s.arg(QString::fromLatin1(fallback)));
    mFallbackUsed = QString::fromLatin1(fallback);
}

// Answers false when the text is not in that encoding.
bool TextFileImport::readAs(RegularFile &file, const QByteArray &encoding)
{
    Decoder decode(encoding);
    std::optional<DelimitedTextParser> parser;
    QString sample;
    qsizetype read = 0;
    for (;;) {
        // One byte more than allowed tells a file that is too large.
        const QByteArray piece = file.read(std::min(kPiece, kLargestImport + 1 - read));
        read += piece.size();
        if (read > kLargestImport)
            throw Failure(u"The file is larger than %1 MB."_s.arg(kLargestImport / (1024 * 1024)));
        const bool end = piece.isEmpty();
        QString text = decode(piece);
        if (decode.hasError() || (end && decode.midCharacter()))
            return false;
        if (!parser) {
            sample += text;
            if (sample.size() < kSeparatorSample && !end)
                continue;
            parser.emplace(DelimitedText::detectSeparator(sample), [this](QStringList &&row) {
                for (QString &cell : row)
                    cell = DelimitedText::asWritten(cell);
                return mRows.add(row);
            });
            text = std::exchange(sample, {});
        }
        if (!parser->feed(text))
            return true;   // the list is full: the rest is not read
        if (end) {
            parser->finish();
            mRows.finish();
            return true;
        }
    }
}
