#include "speech/SonioxResponse.h"

#include <QTest>

using quillet::SonioxResponse;

class TestSonioxResponse : public QObject {
    Q_OBJECT
private slots:
    void tokens_data();
    void tokens();
    void errors_data();
    void errors();
    void processedMilliseconds_data();
    void processedMilliseconds();
    void badInput_data();
    void badInput();
    void endOfSession();
};

void TestSonioxResponse::tokens_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<bool>("translate");
    QTest::addColumn<QString>("finals");
    QTest::addColumn<QString>("tail");
    QTest::addColumn<bool>("fin");

    QTest::newRow("finals then tail")
        << QByteArray(R"({"tokens":[{"text":"Hel","is_final":true},{"text":"lo","is_final":true},)"
                      R"({"text":" wor","is_final":false}]})")
        << false << "Hello"
        << " wor" << false;
    QTest::newRow("markers dropped")
        << QByteArray(
               R"({"tokens":[{"text":"Hi","is_final":true},{"text":"<end>","is_final":true},)"
               R"({"text":"<fin>","is_final":true}]})")
        << false << "Hi"
        << "" << true;
    QTest::newRow("is_final must be the boolean true")
        << QByteArray(R"({"tokens":[{"text":"a","is_final":1},{"text":"b","is_final":"true"},)"
                      R"({"text":"c"}]})")
        << false << ""
        << "abc" << false;
    QTest::newRow("tokens without text skipped")
        << QByteArray(R"({"tokens":[{"is_final":true},{"text":5,"is_final":true},7,"x",null,)"
                      R"({"text":"ok","is_final":true}]})")
        << false << "ok"
        << "" << false;
    QTest::newRow("translated pieces dropped without translation")
        << QByteArray(
               R"({"tokens":[{"text":"Hola","is_final":true,"translation_status":"original"},)"
               R"({"text":"Hello","is_final":true,"translation_status":"translation"},)"
               R"({"text":" there","is_final":true,"translation_status":"none"},)"
               R"({"text":"!","is_final":true,"translation_status":1}]})")
        << false << "Hola there!"
        << "" << false;
    QTest::newRow("only translated pieces with translation")
        << QByteArray(
               R"({"tokens":[{"text":"Hola","is_final":true,"translation_status":"original"},)"
               R"({"text":"Hello","is_final":true,"translation_status":"translation"},)"
               R"({"text":" yo","is_final":false,"translation_status":"translation"},)"
               R"({"text":"!","is_final":true}]})")
        << true << "Hello"
        << " yo" << false;
    QTest::newRow("tokens not an array") << QByteArray(R"({"tokens":{"text":"x"}})") << false << ""
                                         << "" << false;
    QTest::newRow("unknown fields ignored")
        << QByteArray(R"({"tokens":[{"text":"a","is_final":true,"speaker":"1","extra":{"x":[1]}}],)"
                      R"("new_field":[1,2,{"y":null}]})")
        << false << "a"
        << "" << false;
}

void TestSonioxResponse::tokens()
{
    QFETCH(QByteArray, json);
    QFETCH(bool, translate);
    const auto response = SonioxResponse::parse(json, translate);
    QVERIFY(response);
    QVERIFY(!response->error);
    QTEST(response->finals, "finals");
    QTEST(response->tail, "tail");
    QTEST(response->fin, "fin");
}

void TestSonioxResponse::errors_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("text");
    QTest::newRow("number and message")
        << QByteArray(R"({"error_code":401,"error_message":"unauthorised"})")
        << "Soniox 401: unauthorised";
    QTest::newRow("string code") << QByteArray(R"({"error_code":"E42","error_message":"bad"})")
                                 << "Soniox E42: bad";
    QTest::newRow("no message") << QByteArray(R"({"error_code":503})") << "Soniox 503: ";
    QTest::newRow("null code wins over tokens")
        << QByteArray(R"({"error_code":null,"tokens":[{"text":"x","is_final":true}]})")
        << "Soniox null: ";
    QTest::newRow("fractional code")
        << QByteArray(R"({"error_code":4.5,"error_message":7})") << "Soniox 4.5: 7";
}

void TestSonioxResponse::errors()
{
    QFETCH(QByteArray, json);
    const auto response = SonioxResponse::parse(json, false);
    QVERIFY(response);
    QVERIFY(response->error);
    QTEST(*response->error, "text");
    QVERIFY(response->finals.isEmpty());
}

void TestSonioxResponse::processedMilliseconds_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<qint64>("finalMs");
    QTest::addColumn<qint64>("totalMs");
    QTest::newRow("integers") << QByteArray(
                                     R"({"final_audio_proc_ms":2500,"total_audio_proc_ms":3120})")
                              << qint64(2500) << qint64(3120);
    QTest::newRow("negative kept as read (the session ignores it)")
        << QByteArray(R"({"final_audio_proc_ms":-5,"total_audio_proc_ms":0})") << qint64(-5)
        << qint64(0);
    QTest::newRow("not integers") << QByteArray(
                                         R"({"final_audio_proc_ms":1.5,"total_audio_proc_ms":"9"})")
                                  << qint64(-1) << qint64(-1);
    QTest::newRow("absurdly large")
        << QByteArray(R"({"final_audio_proc_ms":1e300})") << qint64(-1) << qint64(-1);
}

void TestSonioxResponse::processedMilliseconds()
{
    QFETCH(QByteArray, json);
    QFETCH(qint64, finalMs);
    QFETCH(qint64, totalMs);
    const auto response = SonioxResponse::parse(json, false);
    QVERIFY(response);
    QCOMPARE(response->finalMs.value_or(-1), finalMs);
    QCOMPARE(response->totalMs.value_or(-1), totalMs);
}

void TestSonioxResponse::badInput_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("isObject");
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("malformed") << QByteArray(R"({"tokens":[{"text":"a")") << false;
    QTest::newRow("array") << QByteArray(R"([{"tokens":[]}])") << false;
    QTest::newRow("string") << QByteArray(R"("hello")") << false;
    QTest::newRow("binary junk") << QByteArray("\x00\xff\xfe{\x01", 5) << false;
    QTest::newRow("deeply nested array")
        << QByteArray(100000, '[') + QByteArray(100000, ']') << false;
    QByteArray nested = R"({"tokens":[{"text":"x","is_final":true}],"deep":)";
    for (int i = 0; i < 5000; ++i)
        nested += R"({"a":)";
    nested += "1" + QByteArray(5000, '}') + "}";
    QTest::newRow("deeply nested object field") << nested << false;
    QByteArray huge = R"({"tokens":[)";
    for (int i = 0; i < 40000; ++i)
        huge += R"({"text":"w","is_final":true},)";
    huge += R"({"text":"!","is_final":true}],"pad":")" + QByteArray(1 << 20, 'x') + R"("})";
    QTest::newRow("huge") << huge << true;
}

void TestSonioxResponse::badInput()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, isObject);
    const auto response = SonioxResponse::parse(bytes, false);
    QCOMPARE(response.has_value(), isObject);
    if (response)
        QCOMPARE(response->finals.size(), 40001);
}

void TestSonioxResponse::endOfSession()
{
    const auto finished = SonioxResponse::parse(R"({"tokens":[],"finished":true})", true);
    QVERIFY(finished && finished->finished);
    const auto notBool = SonioxResponse::parse(R"({"finished":"true"})", true);
    QVERIFY(notBool && !notBool->finished);
}

QTEST_GUILESS_MAIN(TestSonioxResponse)
#include "test_sonioxresponse.moc"
