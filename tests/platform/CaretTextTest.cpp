#include "atspi/CaretText.h"

#include <QTest>

using namespace quillet;

Q_DECLARE_METATYPE(CaretCharacter)

class CaretTextTest : public QObject {
    Q_OBJECT
private slots:
    // The caret counts code points; the answer is the whole cluster before it.
    void characterBeforeCaret_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("caret");
        QTest::addColumn<CaretCharacter>("expected");
        const auto row = [](const char* name, const char* text, qint64 caret, CaretCharacter c) {
            QTest::newRow(name) << QString::fromUtf8(text) << caret << c;
        };
        const auto of = [](const char* c) { return CaretCharacter::of(QString::fromUtf8(c)); };
        row("at the start", "abc", 0, CaretCharacter::none());
        row("negative", "abc", -1, CaretCharacter::none());
        row("middle", "abc", 2, of("b"));
        row("end", "abc.", 4, of("."));
        row("beyond the end", "abc", 4, CaretCharacter::undetermined());
        row("empty text", "", 1, CaretCharacter::undetermined());
        // One code point, two UTF-16 units: offsets after it are one less than Qt's.
        row("after an emoji", "a\U0001F600b", 2, of("\U0001F600"));
        row("after the letter past an emoji", "a\U0001F600b", 3, of("b"));
        row("combining accent", "cafe\u0301", 5, of("e\u0301"));
        row("second flag of two", "\U0001F1EB\U0001F1F7\U0001F1E9\U0001F1EA", 4,
            of("\U0001F1E9\U0001F1EA"));
        row("first flag of two", "\U0001F1EB\U0001F1F7\U0001F1E9\U0001F1EA", 2,
            of("\U0001F1EB\U0001F1F7"));
        row("family", "x\U0001F468\u200D\U0001F469\u200D\U0001F467", 6,
            of("\U0001F468\u200D\U0001F469\u200D\U0001F467"));
        row("crlf", "a\r\n", 3, of("\r\n"));
    }
    void characterBeforeCaret()
    {
        QFETCH(QString, text);
        QFETCH(qint64, caret);
        QFETCH(CaretCharacter, expected);
        const CaretCharacter got = quillet::characterBeforeCaret(text, caret);
        QCOMPARE(int(got.kind), int(expected.kind));
        QCOMPARE(got.character, expected.character);
    }

    // Far into a long document the answer is the same as at the start.
    void longDocument()
    {
        const QString text =
            QString("word ").repeated(200000) + QString::fromUtf8("\U0001F600 end");
        const CaretCharacter got = quillet::characterBeforeCaret(text, 1000001);
        QCOMPARE(got.character, QString::fromUtf8("\U0001F600"));
    }
};

QTEST_GUILESS_MAIN(CaretTextTest)
#include "CaretTextTest.moc"
