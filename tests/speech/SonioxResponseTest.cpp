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
    auto integer = [](const QJsonValue& v) -> std::optional<qint64> {
        const double d = v.toDouble(0.5);
        if (!v.isDouble() || std::trunc(d) != d || std::fabs(d) > 9.0e15)
            return std::nullopt;
        return static_cast<qint64>(d);
    };
    auto printed = [&](const QJsonValue& v) -> QString {
        if (v.isString() || v.isUndefined())
            return v.toString();
        if (v.isDouble())
            return integer(v) ? QString::number(*integer(v))
                              : QString::number(v.toDouble(), 'g', 17);
        if (v.isBool() || v.isNull())
            return v.isNull() ? "null" : v.toBool() ? "true" : "false";
        const QJsonDocument nested =
            v.isArray() ? QJsonDocument(v.toArray()) : QJsonDocument(v.toObject());
        return QString::fromUtf8(nested.toJson(QJsonDocument::Compact));
    };
    SonioxResponse response;
    if (object.contains("error_code")) {
        response.error =
            "Soniox " + printed(object["error_code"]) + ": " + printed(object["error_message"]);
        return response;
    }
    for (const QJsonValue& item : object["tokens"].toArray()) {
        const QJsonObject token = item.toObject();
        if (!token["text"].isString())
            continue;
        const QString text = token["text"].toString();
        response.fin = response.fin || text == "<fin>";
        const bool translated = token["translation_status"].toString() == "translation";
        if (text == "<fin>" || text == "<end>" || translated != translate)
            continue;
        (token["is_final"].toBool(false) ? response.finals : response.tail) += text;
    }
    response.finalMs = integer(object["final_audio_proc_ms"]);
    response.totalMs = integer(object["total_audio_proc_ms"]);
    response.finished = object["finished"].toBool(false);
    return response;
}

// Every field on one line, for comparing whole responses.
QString describe(const std::optional<SonioxResponse>& r)
{
    if (!r)
        return QStringLiteral("ignored");
    auto number = [](const QString& name, std::optional<qint64> v) {
        return v ? QStringLiteral("%1=%2").arg(name).arg(*v) : QString();
    };
    QStringList parts = {r->error ? "error[" + *r->error + "]" : QString(),
                         r->finals.isEmpty() ? QString() : "finals[" + r->finals + "]",
                         r->tail.isEmpty() ? QString() : "tail[" + r->tail + "]",
                         number("final", r->finalMs),
                         number("total", r->totalMs),
                         r->fin ? "fin" : "",
                         r->finished ? "finished" : ""};
    parts.removeAll(QString());
    return parts.join(' ');
}

} // namespace

class SonioxResponseTest : public QObject {
    Q_OBJECT
private slots:
    void reads_data();
    void reads();
    void agreesWithReference_data();
    void agreesWithReference();
    void agreesWithReferenceOnMutations();
};

void SonioxResponseTest::reads_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<bool>("translate");
    QTest::addColumn<QString>("read");

    QTest::newRow("finals then tail")
        << QByteArray(R"({"tokens":[{"text":"Hel","is_final":true},{"text":"lo","is_final":true},)"
                      R"({"text":" wor","is_final":false}]})")
        << false << "finals[Hello] tail[ wor]";
    QTest::newRow("markers dropped")
        << QByteArray(
               R"({"tokens":[{"text":"Hi","is_final":true},{"text":"<end>","is_final":true},)"
               R"({"text":"<fin>","is_final":true}]})")
        << false << "finals[Hi] fin";
    QTest::newRow("is_final must be the boolean true")
        << QByteArray(R"({"tokens":[{"text":"a","is_final":1},{"text":"b","is_final":"true"},)"
                      R"({"text":"c"}]})")
        << false << "tail[abc]";
    QTest::newRow("tokens without text skipped")
        << QByteArray(R"({"tokens":[{"is_final":true},{"text":5,"is_final":true},7,"x",null,)"
                      R"({"text":"ok","is_final":true}]})")
        << false << "finals[ok]";
    const QByteArray bilingual =
        R"({"tokens":[{"text":"Hola","is_final":true,"translation_status":"original"},)"
        R"({"text":"Hello","is_final":true,"translation_status":"translation"},)"
        R"({"text":" there","is_final":true,"translation_status":"none"},)"
        R"({"text":" yo","is_final":false,"translation_status":"translation"},)"
        R"({"text":"!","is_final":true,"translation_status":1}]})";
    QTest::newRow("without translation") << bilingual << false << "finals[Hola there!]";
    QTest::newRow("with translation") << bilingual << true << "finals[Hello] tail[ yo]";
    QTest::newRow("tokens not an array") << QByteArray(R"({"tokens":{"text":"x"}})") << false << "";
    QTest::newRow("unknown fields ignored")
        << QByteArray(R"({"tokens":[{"text":"a","is_final":true,"speaker":"1","extra":{"x":[1]}}],)"
                      R"("new_field":[1,2,{"y":null}]})")
        << false << "finals[a]";
    QTest::newRow("error") << QByteArray(R"({"error_code":401,"error_message":"unauthorised"})")
                           << false << "error[Soniox 401: unauthorised]";
    QTest::newRow("error, string code")
        << QByteArray(R"({"error_code":"E42","error_message":"bad"})") << false
        << "error[Soniox E42: bad]";
    QTest::newRow("error, no message")
        << QByteArray(R"({"error_code":503})") << false << "error[Soniox 503: ]";
    QTest::newRow("error, null code wins over tokens")
        << QByteArray(R"({"error_code":null,"tokens":[{"text":"x","is_final":true}]})") << false
        << "error[Soniox null: ]";
    QTest::newRow("error, fractional code")
        << QByteArray(R"({"error_code":4.5,"error_message":7})") << false << "error[Soniox 4.5: 7]";
    QTest::newRow("processed times")
        << QByteArray(R"({"final_audio_proc_ms":2500,"total_audio_proc_ms":3120})") << false
        << "final=2500 total=3120";
    // The session, not the reader, ignores a negative time.
    QTest::newRow("negative times kept")
        << QByteArray(R"({"final_audio_proc_ms":-5,"total_audio_proc_ms":0})") << false
        << "final=-5 total=0";
    QTest::newRow("times not integers")
        << QByteArray(R"({"final_audio_proc_ms":1.5,"total_audio_proc_ms":"9"})") << false << "";
    QTest::newRow("time absurdly large")
        << QByteArray(R"({"final_audio_proc_ms":1e300})") << false << "";
    QTest::newRow("finished") << QByteArray(R"({"tokens":[],"finished":true})") << true
                              << "finished";
    QTest::newRow("finished not a boolean") << QByteArray(R"({"finished":"true"})") << true << "";

    for (const char* bad : {"", R"({"tokens":[{"text":"a")", R"([{"tokens":[]}])", R"("hello")"})
        QTest::addRow("ignored: %s", bad) << QByteArray(bad) << false << "ignored";
    QTest::newRow("ignored: binary junk")
        << QByteArray("\x00\xff\xfe{\x01", 5) << false << "ignored";
    QTest::newRow("ignored: deeply nested array")
        << QByteArray(100000, '[') + QByteArray(100000, ']') << false << "ignored";
    const QByteArray nested = R"({"tokens":[{"text":"x","is_final":true}],"deep":)" +
                              QByteArray(R"({"a":)").repeated(5000) + "1" + QByteArray(5001, '}');
    QTest::newRow("ignored: deeply nested object field") << nested << false << "ignored";
    const QByteArray huge =
        R"({"tokens":[)" + QByteArray(R"({"text":"w","is_final":true},)").repeated(40000) +
        R"({"text":"!","is_final":true}],"pad":")" + QByteArray(1 << 20, 'x') + R"("})";
    QTest::newRow("huge") << huge << false << "finals[" + QString(40000, 'w') + "!]";
}

void SonioxResponseTest::reads()
{
    QFETCH(QByteArray, json);
    QFETCH(bool, translate);
    QTEST(describe(SonioxResponse::parse(json, translate)), "read");
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
        R"({"final_audio_proc_ms":1e999})",
        R"({"finished":true,})",
        R"({"finished":true} x)",
        " \r\n\t{\"finished\" : true , \"tokens\" : [ ] } \n",
        R"({'tokens':[]})",
        R"({"tokens":[{"text":"\u12G4"}]})",
        R"({"tokens":[{"text":"x","translation_status":"transl\u0061tion","is_final":true}]})",
        R"({"tokens":null,"finished":false,"final_audio_proc_ms":null})",
        R"(null)",
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
