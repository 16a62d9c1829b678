#include "speech/WavFile.h"

#include <QFile>
#include <QtEndian>

#include <optional>

namespace quillet {

namespace {

constexpr quint16 formatPcm = 1;
constexpr quint16 formatFloat = 3;
constexpr quint16 formatExtensible = 0xFFFE;
constexpr quint32 sizeToEnd = 0xFFFFFFFF;

quint16 u16(const char* p)
{
    return qFromLittleEndian<quint16>(p);
}
quint32 u32(const char* p)
{
    return qFromLittleEndian<quint32>(p);
}

QString encodingName(quint16 tag, int bits)
{
    switch (tag) {
    case formatPcm:
        return QStringLiteral("%1-bit PCM").arg(bits);
    case formatFloat:
        return QStringLiteral("%1-bit float").arg(bits);
    case 2:
        return QStringLiteral("Microsoft ADPCM");
    case 6:
        return QStringLiteral("A-law");
    case 7:
        return QStringLiteral("µ-law");
    case 0x11:
        return QStringLiteral("IMA ADPCM");
    case 0x55:
        return QStringLiteral("MP3");
    default:
        return QStringLiteral("format tag 0x%1").arg(tag, 4, 16, QLatin1Char('0'));
    }
}

struct Fmt {
    quint16 tag = 0;
    int channels = 0;
    quint32 rate = 0;
    int blockAlign = 0;
    int bits = 0;
};

Result<Fmt> parseFmt(const char* p, quint32 size)
{
    if (size < 16)
        return Result<Fmt>::failure(QStringLiteral("the WAV format chunk is too short"));
    Fmt fmt;
    fmt.tag = u16(p);
    fmt.channels = u16(p + 2);
    fmt.rate = u32(p + 4);
    fmt.blockAlign = u16(p + 12);
    fmt.bits = u16(p + 14);
    if (fmt.tag == formatExtensible) {
        if (size < 40)
            return Result<Fmt>::failure(QStringLiteral("the WAV format chunk is too short"));
        // The sub-format GUID starts with the plain format tag.
        fmt.tag = u16(p + 24);
    }
    return fmt;
}

} // namespace

Result<WavFile> WavFile::read(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Result<WavFile>::failure(
            QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
    if (file.size() > maxFileBytes)
        return Result<WavFile>::failure(QStringLiteral("%1 is too large").arg(path));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return Result<WavFile>::failure(
            QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
    auto wav = parse(bytes);
    if (!wav)
        return Result<WavFile>::failure(QStringLiteral("%1: %2").arg(path, wav.error()));
    return wav;
}

Result<WavFile> WavFile::parse(const QByteArray& bytes)
{
    using R = Result<WavFile>;
    const char* base = bytes.constData();
    const qint64 length = bytes.size();
    if (length < 12 || !bytes.startsWith("RIFF") || bytes.mid(8, 4) != "WAVE")
        return R::failure(QStringLiteral("not a WAV file"));

    std::optional<Fmt> fmt;
    qint64 dataAt = -1;
    qint64 dataSize = 0;
    qint64 at = 12;
    while (at + 8 <= length) {
        const QByteArray id = bytes.mid(at, 4);
        const quint32 declared = u32(base + at + 4);
        const qint64 body = at + 8;
        const qint64 left = length - body;
        if (id == "data") {
            if (declared == sizeToEnd) {
                dataSize = left;
            } else if (declared > left) {
                return R::failure(
                    QStringLiteral("the WAV file is truncated (data declares %1 bytes, %2 present)")
                        .arg(declared)
                        .arg(left));
            } else {
                dataSize = declared;
            }
            dataAt = body;
        } else if (id == "fmt ") {
            if (declared > left)
                return R::failure(QStringLiteral("the WAV file is truncated"));
            auto parsed = parseFmt(base + body, declared);
            if (!parsed)
                return R::failure(parsed.error());
            fmt = *parsed;
        } else if (declared > left) {
            // A broken trailing chunk after the audio does no harm.
            if (fmt && dataAt >= 0)
                break;
            return R::failure(QStringLiteral("the WAV file is truncated"));
        }
        if (fmt && dataAt >= 0 && dataAt + dataSize >= length)
            break;
        at = body + (id == "data" ? dataSize : qint64(declared));
        at += at & 1; // chunks are padded to an even length
    }

    if (!fmt)
        return R::failure(QStringLiteral("the WAV file has no format chunk"));
    if (dataAt < 0)
        return R::failure(QStringLiteral("the WAV file has no data chunk"));
    if (fmt->channels == 0)
        return R::failure(QStringLiteral("the WAV file has no channels"));
    if (fmt->rate == 0)
        return R::failure(QStringLiteral("the WAV file has a sample rate of 0"));

    WavFile wav;
    if (fmt->tag == formatPcm && fmt->bits == 16)
        wav.m_format.sampleType = AudioFormat::SampleType::Int16;
    else if (fmt->tag == formatFloat && fmt->bits == 32)
        wav.m_format.sampleType = AudioFormat::SampleType::Float32;
    else
        return R::failure(QStringLiteral("unsupported WAV encoding (%1); use 16-bit PCM or "
                                         "32-bit float")
                              .arg(encodingName(fmt->tag, fmt->bits)));
    wav.m_format.channels = fmt->channels;
    wav.m_format.sampleRate = fmt->rate;
    if (fmt->blockAlign != wav.m_format.bytesPerFrame())
        return R::failure(QStringLiteral("the WAV file's block size (%1) does not match its "
                                         "format")
                              .arg(fmt->blockAlign));

    const qint64 frameBytes = wav.m_format.bytesPerFrame();
    wav.m_frames = bytes.mid(dataAt, dataSize - dataSize % frameBytes);
    return wav;
}

} // namespace quillet
