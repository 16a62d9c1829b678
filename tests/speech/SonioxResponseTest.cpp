#include "speech/SonioxResponse.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTest>

#include <cmath>

using quillet::SonioxResponse;

namespace {

// The same rules written directly over Qt's JSON document, as a reference for the reader.
std::optional<SonioxResponse> reference(const QByteArray& bytes, bool translate)
{
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    SonioxResponse response;
    auto printed = [](const QJsonValue& v) -> QString {
        if (v.isString())
            return v.toString();
        if (v.isDouble()) {
            const double d = v.toDouble();
            if (std::trunc(d) == d && std::fabs(d) < 9.0e15)
                return QString::number(static_cast<qint64>(d));
            return QString::number(d, 'g', 17);
        }
        if (v.isBool())
            return v.toBool() ? QStringLiteral("true") : QStringLiteral("false");
        if (v.isNull())
            return QStringLiteral("null");
        if (v.isArray())
            return QString::fromUtf8(QJsonDocument(v.toArray()).toJson(QJsonDocument::Compact));
        if (v.isObject())
            return QString::fromUtf8(QJsonDocument(v.toObject()).toJson(QJsonDocument::Compact));
        return QString();
    };
    if (object.contains(QLatin1String("error_code"))) {
        response.error = QStringLiteral("Soniox ") +
                         printed(object.value(QLatin1String("error_code"))) + QStringLiteral(": ") +
                         printed(object.value(QLatin1String("error_message")));
        return response;
    }
    for (const QJsonValue& item : object.value(QLatin1String("tokens")).toArray()) {
        const QJsonObject token = item.toObject();
        const QJsonValue text = token.value(QLatin1String("text"));
        if (!text.isString())
            continue;
        if (text.toString() == QLatin1String("<fin>")) {
            response.fin = true;
            continue;
        }
        if (text.toString() == QLatin1String("<end>"))
            continue;
        const bool translated = token.value(QLatin1String("translation_status")).toString() ==
                                QLatin1String("translation");
        if (translated != translate)
            continue;
        (token.value(QLatin1String("is_final")).toBool(false) ? response.finals : response.tail) +=
            text.toString();
    }
    auto integer = [](const QJsonValue& v) -> std::optional<qint64> {
        if (!v.isDouble())
            return std::nullopt;
        const double d = v.toDouble();
        if (std::trunc(d) != d || std::fabs(d) > 9.0e15)
            return std::nullopt;
        return static_cast<qint64>(d);
    };
    response.finalMs = integer(object.value(QLatin1String("final_audio_proc_ms")));
    response.totalMs = integer(object.value(QLatin1String("total_audio_proc_ms")));
    response.finished = object.value(QLatin1String("finished")).toBool(false);
    return response;
}

QString describe(const std::optional<SonioxResponse>& r)
{
    if (!r)
        return QStringLiteral("ignored");
    return QStringLiteral("error=%1 finals=[%2] tail=[%3] final=%4 total=%5 fin=%6 finished=%7")
        .arg(r->error.value_or(QStringLiteral("-")), r->finals, r->tail)
        .arg(r->finalMs ? QString::number(*r->finalMs) : QStringLiteral("-"))
        .arg(r->totalMs ? QString::number(*r->totalMs) : QStringLiteral("-"))
        .arg(r->fin)
        .arg(r->finished);
}

} // namespace

class SonioxResponseTest : public QObject {
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
    void agreesWithReference_data();
    void agreesWithReference();
    void agreesWithReferenceOnMutations();
};

void SonioxResponseTest::tokens_data()
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

void SonioxResponseTest::tokens()
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

void SonioxResponseTest::errors_data()
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

void SonioxResponseTest::errors()
{
    QFETCH(QByteArray, json);
    const auto response = SonioxResponse::parse(json, false);
    QVERIFY(response);
    QVERIFY(response->error);
    QTEST(*response->error, "text");
    QVERIFY(response->finals.isEmpty());
}

void SonioxResponseTest::processedMilliseconds_data()
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

void SonioxResponseTest::processedMilliseconds()
{
    QFETCH(QByteArray, json);
    QFETCH(qint64, finalMs);
    QFETCH(qint64, totalMs);
    const auto response = SonioxResponse::parse(json, false);
    QVERIFY(response);
    QCOMPARE(response->finalMs.value_or(-1), finalMs);
    QCOMPARE(response->totalMs.value_or(-1), totalMs);
}

void SonioxResponseTest::badInput_data()
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

void SonioxResponseTest::badInput()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, isObject);
    const auto response = SonioxResponse::parse(bytes, false);
    QCOMPARE(response.has_value(), isObject);
    if (response)
        QCOMPARE(response->finals.size(), 40001);
}

void SonioxResponseTest::endOfSession()
{
    const auto finished = SonioxResponse::parse(R"({"tokens":[],"finished":true})", true);
    QVERIFY(finished && finished->finished);
    const auto notBool = SonioxResponse::parse(R"({"finished":"true"})", true);
    QVERIFY(notBool && !notBool->finished);
}

void SonioxResponseTest::agreesWithReference_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("strictOnly");
    // Inputs outside the JSON grammar that Qt's document parser tolerates; the reader refuses
    // them (the response is then ignored).
    const QList<QByteArray> strictOnly = {
        "{\"tokens\":[{\"text\":\"ctl \x01\",\"is_final\":true}]}",
        R"({"final_audio_proc_ms":1.})",
        R"({"final_audio_proc_ms":.5})",
        R"({"tokens":[{"text":"\x41"}]})",
        "\xef\xbb\xbf{\"finished\":true}",
    };
    for (int i = 0; i < strictOnly.size(); ++i)
        QTest::addRow("strict %d", i) << strictOnly[i] << true;
    const QList<QByteArray> cases = {
        R"({"tokens":[{"text":"a\u00e9\n\t\"\\\/b","is_final":true}]})",
        R"({"tokens":[{"text":"\ud83d\ude00 smile","is_final":true}]})",
        R"({"tokens":[{"text":"lone \ud800","is_final":true}]})",
        R"({"tokens":[{"te\u0078t":"escaped key","is_final":true}]})",
        "{\"tokens\":[{\"text\":\"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80\",\"is_final\":true}]}",
        "{\"tokens\":[{\"text\":\"bad \xc3\",\"is_final\":true}]}",
        "{\"tokens\":[{\"text\":\"overlong \xc0\xaf\",\"is_final\":true}]}",
        "{\"tokens\":[{\"text\":\"surrogate \xed\xa0\x80\",\"is_final\":true}]}",
        R"({"tokens":[{"text":"a","is_final":true,"text":"b"}]})",
        R"({"tokens":[{"text":"a","is_final":true}],"tokens":[{"text":"b","is_final":false}]})",
        R"({"final_audio_proc_ms":5,"final_audio_proc_ms":"x"})",
        R"({"error_code":401,"error_code":402,"error_message":{"b":[1,2],"a":null}})",
        R"({"error_code":[1,"x",true],"error_message":-0.5e-3})",
        R"({"final_audio_proc_ms":-0,"total_audio_proc_ms":1E3})",
        R"({"final_audio_proc_ms":1.0,"total_audio_proc_ms":12345678901234567890})",
        R"({"final_audio_proc_ms":01})",
        R"({"final_audio_proc_ms":+1})",
        R"({"final_audio_proc_ms":1e})",
        R"({"final_audio_proc_ms":-})",
        R"({"final_audio_proc_ms":1e999})",
        R"({"finished":true,})",
        R"({"tokens":[1,],"finished":true})",
        R"({"finished":tru})",
        R"({"finished":true} x)",
        " \r\n\t{\"finished\" : true , \"tokens\" : [ ] } \n",
        R"({"":1,"tokens":[{}]})",
        R"({'tokens':[]})",
        R"({"tokens":[{"text":"\u12G4"}]})",
        "{\"a\":1}\x00",
        R"({"tokens":[{"text":"x","translation_status":"transl\u0061tion","is_final":true}]})",
        R"({"tokens":null,"finished":false,"final_audio_proc_ms":null})",
        R"({})",
        R"(null)",
        R"(true)",
        R"(12)",
    };
    for (int i = 0; i < cases.size(); ++i)
        QTest::addRow("case %d", i) << cases[i] << false;
    for (int depth : {1020, 1021, 1022, 1023, 1024, 1025, 1026}) {
        const QByteArray nested =
            R"({"x":)" + QByteArray(depth, '[') + QByteArray(depth, ']') + "}";
        QTest::addRow("depth %d", depth) << nested << false;
    }
}

void SonioxResponseTest::agreesWithReference()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, strictOnly);
    for (bool translate : {false, true}) {
        const auto expected = reference(bytes, translate);
        if (strictOnly) {
            QVERIFY(expected);
            QVERIFY(!SonioxResponse::parse(bytes, translate));
        } else {
            QCOMPARE(describe(SonioxResponse::parse(bytes, translate)), describe(expected));
        }
    }
}

void SonioxResponseTest::agreesWithReferenceOnMutations()
{
    const QList<QByteArray> originals = {
        R"({"tokens":[{"text":"Hel","is_final":true,"start_ms":0,"confidence":0.9},)"
        R"({"text":" wor","is_final":false,"translation_status":"original"},)"
        R"({"text":"<fin>","is_final":true}],"final_audio_proc_ms":2500,)"
        R"("total_audio_proc_ms":3120,"finished":false})",
        R"({"error_code":503,"error_message":"Service \"busy\"\u0021"})",
        R"({"tokens":[{"text":"Hola","translation_status":"translation","is_final":true}],)"
        R"("finished":true,"x":[null,true,false,{"y":-1.5e2}]})",
    };
    const QByteArray alphabet = R"({}[]":,.-+eE0123456789\u tfnr/ )";
    QRandomGenerator random(20261206);
    // Whatever the reader accepts, Qt's parser accepts too and reads the same way; the reader may
    // refuse some inputs that Qt tolerates.
    int ignored = 0;
    int agreed = 0;
    for (int round = 0; round < 30000; ++round) {
        QByteArray bytes = originals[round % originals.size()];
        const int edits = 1 + random.bounded(3);
        for (int e = 0; e < edits; ++e) {
            const int at = random.bounded(static_cast<int>(bytes.size()) + 1);
            switch (random.bounded(4)) {
            case 0:
                if (at < bytes.size())
                    bytes.remove(at, 1);
                break;
            case 1:
                bytes.insert(at, alphabet[random.bounded(static_cast<int>(alphabet.size()))]);
                break;
            case 2:
                if (at < bytes.size())
                    bytes[at] = alphabet[random.bounded(static_cast<int>(alphabet.size()))];
                break;
            default:
                bytes.insert(at, static_cast<char>(random.bounded(256)));
                break;
            }
        }
        const bool translate = round % 2;
        const auto mine = SonioxResponse::parse(bytes, translate);
        ignored += !mine;
        if (!mine)
            continue;
        ++agreed;
        const QString a = describe(mine);
        const QString b = describe(reference(bytes, translate));
        if (a != b)
            QFAIL(qPrintable(QStringLiteral("%1\n  reader:    %2\n  reference: %3")
                                 .arg(QString::fromLatin1(bytes.toPercentEncoding()), a, b)));
    }
    QVERIFY(ignored > 1000);
    QVERIFY(agreed > 1000);
}

QTEST_GUILESS_MAIN(SonioxResponseTest)
#include "SonioxResponseTest.moc"
