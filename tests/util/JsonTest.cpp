#include "util/Json.h"

#include <QTest>

using namespace quillet;

class JsonTest : public QObject {
    Q_OBJECT
private slots:
    void parsesOnlyTheExpectedTopLevelType()
    {
        QVERIFY(json::parseObject(R"({"a":1})").has_value());
        QVERIFY(!json::parseObject("[1]").has_value());
        QVERIFY(!json::parseObject("").has_value());
        QVERIFY(!json::parseObject("{\"a\":").has_value());
        QVERIFY(!json::parseObject(QByteArray("\xff\xfe\x00{", 4)).has_value());
        QVERIFY(json::parseArray("[1,2]").has_value());
        QVERIFY(!json::parseArray(R"({"a":1})").has_value());
    }

    void typedReadsRejectOtherTypes()
    {
        const auto o = *json::parseObject(
            R"({"s":"x","b":true,"n":2.5,"l":["a","b"],"mixed":["a",1],"null":null})");
        QCOMPARE(json::string(o, QLatin1StringView("s")), QString("x"));
        QVERIFY(!json::string(o, QLatin1StringView("n")));
        QVERIFY(!json::string(o, QLatin1StringView("missing")));
        QCOMPARE(json::boolean(o, QLatin1StringView("b")), true);
        QVERIFY(!json::boolean(o, QLatin1StringView("s")));
        QCOMPARE(json::number(o, QLatin1StringView("n")), 2.5);
        QVERIFY(!json::number(o, QLatin1StringView("null")));
        QCOMPARE(json::stringList(o, QLatin1StringView("l")), QStringList({"a", "b"}));
        QVERIFY(!json::stringList(o, QLatin1StringView("mixed")));
        QVERIFY(!json::stringList(o, QLatin1StringView("s")));
    }

    void referenceSecondsCountFrom2001()
    {
        const QDateTime epoch2001(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC);
        QCOMPARE(json::toReferenceSeconds(epoch2001), 0.0);
        QCOMPARE(json::toReferenceSeconds(epoch2001.addSecs(-1)), -1.0);
        QCOMPARE(json::fromReferenceSeconds(86400.5), epoch2001.addMSecs(86'400'500));
        // Absurd values from a damaged file are clamped rather than overflowing.
        QVERIFY(json::fromReferenceSeconds(1e300) > epoch2001);
        QVERIFY(json::fromReferenceSeconds(-1e300) < epoch2001);
    }

    void uuidsAreStrict8_4_4_4_12_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("canonical"); // empty: rejected
        const auto row = [](const char* text, const char* canonical) {
            QTest::newRow(text) << QString(text) << QString(canonical);
        };
        row("6F1C2B9E-0D4A-4C1E-9B7A-3E2F1D0C9B8A", "6F1C2B9E-0D4A-4C1E-9B7A-3E2F1D0C9B8A");
        row("6f1c2b9e-0d4a-4c1e-9B7A-3e2f1d0c9b8a", "6F1C2B9E-0D4A-4C1E-9B7A-3E2F1D0C9B8A");
        row("00000000-0000-0000-0000-000000000000", "00000000-0000-0000-0000-000000000000");
        row("{6f1c2b9e-0d4a-4c1e-9b7a-3e2f1d0c9b8a}", "");
        row("6f1c2b9e-0d4a-4c1e-9b7a-3e2f1d0c9b8a0", "");
        row("6f1c2b9e-0d4a-4c1e-9b7a-3e2f1d0c9b8a ", "");
        row("6f1c2b9e-0d4a-4c1e-9b7a-3e2f1d0c9b8", "");
        row("6f1c2b9e0d4a-4c1e-9b7a-3e2f1d0c9b8a0", "");
        row("6f1c2b9e-0d4a-4c1e-9b7a-3e2f1d0c9b8g", "");
        row("+f1c2b9e-0d4a-4c1e-9b7a-3e2f1d0c9b8a", "");
        row("", "");
    }

    void uuidsAreStrict8_4_4_4_12()
    {
        QFETCH(QString, text);
        QFETCH(QString, canonical);
        const auto id = json::uuid(QJsonObject{{"id", text}}, QLatin1StringView("id"));
        QCOMPARE(id ? json::uuidText(*id) : QString(), canonical);
    }

    void compactEncodingHasNoWhiteSpace()
    {
        QJsonObject o{{"a", 1}, {"b", QJsonArray{"x", "y"}}};
        QCOMPARE(json::compact(o), QByteArray(R"({"a":1,"b":["x","y"]})"));
    }
};

QTEST_GUILESS_MAIN(JsonTest)
#include "JsonTest.moc"
