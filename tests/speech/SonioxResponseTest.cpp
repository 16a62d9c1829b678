#include "speech/SonioxResponse.h"

#include <QTest>

using quillet::SonioxResponse;

namespace {

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
    QTest::newRow("processed times")
        << QByteArray(R"({"final_audio_proc_ms":2500,"total_audio_proc_ms":3120})") << false
        << "final=2500 total=3120";
    QTest::newRow("times not integers")
        << QByteArray(R"({"final_audio_proc_ms":1.5,"total_audio_proc_ms":"9"})") << false << "";
    QTest::newRow("finished") << QByteArray(R"({"tokens":[],"finished":true})") << true
                              << "finished";
    QTest::newRow("finished not a boolean") << QByteArray(R"({"finished":"true"})") << true << "";

    for (const char* bad : {"", R"({"tokens":[{"text":"a")", R"([{"tokens":[]}])"})
        QTest::addRow("ignored: %s", bad) << QByteArray(bad) << false << "ignored";
    QTest::newRow("ignored: binary junk")
        << QByteArray("\x00\xff\xfe{\x01", 5) << false << "ignored";
}

void SonioxResponseTest::reads()
{
    QFETCH(QByteArray, json);
    QFETCH(bool, translate);
    QTEST(describe(SonioxResponse::parse(json, translate)), "read");
}

QTEST_GUILESS_MAIN(SonioxResponseTest)
#include "SonioxResponseTest.moc"
