#include "speech/WavFile.h"

#include <QTest>
#include <QtEndian>

using namespace quillet;

namespace {

QByteArray le16(quint16 v)
{
    QByteArray b(2, 0);
    qToLittleEndian(v, b.data());
    return b;
}
QByteArray le32(quint32 v)
{
    QByteArray b(4, 0);
    qToLittleEndian(v, b.data());
    return b;
}

QByteArray chunk(const char* id, const QByteArray& body, qint64 declared = -1)
{
    QByteArray c = QByteArray(id, 4) + le32(declared < 0 ? body.size() : quint32(declared)) + body;
    if (body.size() % 2)
        c += '\0';
    return c;
}

QByteArray fmtBody(quint16 tag, quint16 channels, quint32 rate, quint16 bits)
{
    const quint16 align = channels * bits / 8;
    return le16(tag) + le16(channels) + le32(rate) + le32(rate * align) + le16(align) + le16(bits);
}

QByteArray extensibleBody(quint16 subTag, quint16 channels, quint32 rate, quint16 bits)
{
    static const char guidTail[] = "\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71";
    return fmtBody(0xFFFE, channels, rate, bits) + le16(22) + le16(bits) + le32(3) + le16(subTag) +
           QByteArray(guidTail, 14);
}

QByteArray riff(const QByteArray& chunks)
{
    return "RIFF" + le32(4 + chunks.size()) + "WAVE" + chunks;
}

QByteArray s16Frames(int frames, int channels)
{
    QByteArray b;
    for (int i = 0; i < frames * channels; ++i)
        b += le16(quint16(i * 7));
    return b;
}

} // namespace

class WavFileTest : public QObject {
    Q_OBJECT
private slots:
    void reads_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<AudioFormat>("format");
        QTest::addColumn<QByteArray>("frames");
        using Type = AudioFormat::SampleType;
        const auto stereo = s16Frames(100, 2);
        QTest::newRow("plain PCM")
            << riff(chunk("fmt ", fmtBody(1, 2, 44100, 16)) + chunk("data", stereo))
            << AudioFormat{Type::Int16, 44100, 2} << stereo;
        QByteArray floats;
        for (int i = 0; i < 30; ++i)
            floats += le32(0x3F000000); // 0.5f
        QTest::newRow("extensible float, other chunks, odd padding")
            << riff(chunk("LIST", QByteArray("INFOISFT\x05\0\0\0Lavf\0", 17)) +
                    chunk("fmt ", extensibleBody(3, 3, 48000, 32)) + chunk("odd ", "abc") +
                    chunk("data", floats) + chunk("LIST", "trailer"))
            << AudioFormat{Type::Float32, 48000, 3} << floats;
        const auto mono = s16Frames(50, 1);
        QTest::newRow("extensible PCM, streaming size runs to the end")
            << riff(chunk("fmt ", extensibleBody(1, 1, 8000, 16)) + chunk("data", mono, 0xFFFFFFFF))
            << AudioFormat{Type::Int16, 8000, 1} << mono;
        QTest::newRow("partial frame dropped")
            << riff(chunk("fmt ", fmtBody(1, 2, 8000, 16)) + chunk("data", s16Frames(5, 2) + "xyz"))
            << AudioFormat{Type::Int16, 8000, 2} << s16Frames(5, 2);
    }

    void reads()
    {
        QFETCH(QByteArray, bytes);
        const auto wav = WavFile::parse(bytes);
        QVERIFY2(wav.ok(), qPrintable(wav.error()));
        QTEST(wav->format(), "format");
        QTEST(wav->frames(), "frames");
        QCOMPARE(wav->frameCount(), wav->frames().size() / wav->format().bytesPerFrame());
    }

    void badFiles_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("message");
        const auto fmt16 = chunk("fmt ", fmtBody(1, 1, 16000, 16));
        const auto full = riff(fmt16 + chunk("data", s16Frames(1000, 1)));

        QTest::newRow("empty") << QByteArray() << "not a WAV file";
        QTest::newRow("text") << QByteArray("hello, this is not audio at all") << "not a WAV file";
        QTest::newRow("truncated data") << full.left(full.size() - 100) << "truncated";
        QTest::newRow("huge data size")
            << riff(fmt16 + chunk("data", s16Frames(10, 1), 0xFFFFFF00)) << "truncated";
        QTest::newRow("no fmt") << riff(chunk("data", s16Frames(10, 1))) << "no format chunk";
        QTest::newRow("no data") << riff(fmt16) << "no data chunk";
        QTest::newRow("short fmt")
            << riff(chunk("fmt ", le16(1) + le16(1)) + chunk("data", s16Frames(10, 1)))
            << "too short";
        QTest::newRow("8-bit") << riff(chunk("fmt ", fmtBody(1, 1, 8000, 8)) +
                                       chunk("data", QByteArray(80, 'x')))
                               << "8-bit PCM";
        QTest::newRow("adpcm") << riff(chunk("fmt ", fmtBody(2, 1, 8000, 4)) +
                                       chunk("data", QByteArray(80, 0)))
                               << "ADPCM";
        QTest::newRow("zero rate")
            << riff(chunk("fmt ", fmtBody(1, 1, 0, 16)) + chunk("data", QByteArray(8, 0)))
            << "sample rate of 0";
        auto badAlign = fmtBody(1, 2, 16000, 16);
        badAlign[12] = 3;
        QTest::newRow("bad block align")
            << riff(chunk("fmt ", badAlign) + chunk("data", QByteArray(8, 0))) << "block size";
    }

    void badFiles()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, message);
        const auto wav = WavFile::parse(bytes);
        QVERIFY(!wav.ok());
        QVERIFY2(wav.error().contains(message), qPrintable(wav.error()));
    }

    // Every prefix of a valid file is either accepted or refused, never a crash.
    void everyPrefix()
    {
        const auto full =
            riff(chunk("LIST", "abc") + chunk("fmt ", extensibleBody(1, 2, 8000, 16)) +
                 chunk("data", s16Frames(20, 2)));
        int accepted = 0;
        for (qsizetype n = 0; n <= full.size(); ++n)
            accepted += WavFile::parse(full.left(n)).ok() ? 1 : 0;
        QCOMPARE(accepted, 1);
    }
};

QTEST_APPLESS_MAIN(WavFileTest)
#include "WavFileTest.moc"
