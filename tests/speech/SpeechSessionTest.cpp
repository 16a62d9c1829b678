#include "speech/SpeechSession.h"

#include "FakeSpeechStream.h"
#include "util/ManualClock.h"
#include "util/Pending.h"

#include <QCoreApplication>
#include <QTest>
#include <QThread>

using namespace quillet;
using namespace quillet::test;

namespace {

Transcriber::KeyProvider key(const QString& failure = {})
{
    return [failure]() -> QCoro::Task<Result<QString>> {
        co_return failure.isEmpty() ? Result<QString>("key") : Result<QString>::failure(failure);
    };
}

// Everything the session signalled, in order, and whether it all came on the main thread.
struct Signals {
    QStringList seen;
    bool onMainThread = true;

    void watch(SpeechSession& session)
    {
        auto note = [this](const QString& what) {
            seen << what;
            onMainThread = onMainThread && QThread::currentThread() == qApp->thread();
        };
        QObject::connect(&session, &SpeechSession::updated,
                         [note](const QString& t) { note("update " + t); });
        QObject::connect(&session, &SpeechSession::errorOccurred,
                         [note](const QString& t) { note("error " + t); });
        QObject::connect(&session, &SpeechSession::laggingChanged,
                         [note](bool lagging) { note(lagging ? "lagging" : "caught up"); });
    }
};

void onThread(const std::function<void()>& work)
{
    std::unique_ptr<QThread> thread(QThread::create(work));
    thread->start();
    thread->wait();
}

} // namespace

class SpeechSessionTest : public QObject {
    Q_OBJECT
private slots:
    void reportsOnTheMainThread()
    {
        FakeStreamFactory streams;
        ManualClock clock;
        SpeechSession session(key(), streams.factory(), {}, clock);
        Signals log;
        log.watch(session);
        // The network thread reports text; the audio thread sends 2.1 s the service has not heard.
        onThread([&] { streams.stream(0)->update("hello"); });
        onThread([&] { session.send(QByteArray(2100 * 32, '\0')); });
        QTRY_COMPARE(log.seen, QStringList({"update hello", "lagging"}));
        QVERIFY(session.lagging());
        onThread([&] { streams.stream(0)->fail("Socket closed"); });
        onThread([&] { streams.stream(1)->update("again"); });
        QTRY_COMPARE(log.seen.size(), 3);
        QCOMPARE(log.seen.last(), "update again");
        QVERIFY(log.onMainThread);
    }

    void silentOnceOver_data()
    {
        QTest::addColumn<bool>("cancelled");
        QTest::newRow("cancelled") << true;
        QTest::newRow("finished") << false;
    }

    // Reports already under way when the session is cancelled or has finished never arrive.
    void silentOnceOver()
    {
        QFETCH(bool, cancelled);
        FakeStreamFactory streams;
        ManualClock clock;
        SpeechSession session(key(), streams.factory(), {}, clock);
        Signals log;
        log.watch(session);
        auto stream = streams.stream(0);
        stream->update("early");
        if (cancelled) {
            session.cancel();
        } else {
            Pending<Transcript> finish(session.finish());
            QTRY_VERIFY(finish.done());
            stream->update("late");
        }
        stream->fail("late failure");
        session.send(QByteArray(100000, '\0'));
        QCoreApplication::processEvents();
        QCOMPARE(log.seen, QStringList());
        QCOMPARE(streams.count(), size_t(1));
    }

    void outcomes_data()
    {
        QTest::addColumn<QString>("keyFailure");
        QTest::addColumn<int>("failures");
        QTest::addColumn<bool>("byService");
        QTest::addColumn<bool>("failWhileFinishing");
        QTest::addColumn<Transcript::Outcome>("outcome");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("error");
        using O = Transcript::Outcome;
        QTest::newRow("complete") << "" << 0 << false << false << O::complete << "w0"
                                  << "";
        QTest::newRow("after three replacements")
            << "" << 3 << false << false << O::complete << "w0 w1 w2 w3"
            << "";
        QTest::newRow("no key") << "No Soniox key" << 0 << false << false << O::failed << ""
                                << "No Soniox key";
        QTest::newRow("lost for good") << "" << 4 << false << false << O::lost << "w0 w1 w2 w3"
                                       << "Lost the connection to Soniox (gone 3)";
        QTest::newRow("refused for good")
            << "" << 4 << true << false << O::failed << "w0 w1 w2 w3"
            << "Lost the connection to Soniox (Soniox 401: Invalid API key.)";
        QTest::newRow("lost while finishing") << "" << 1 << false << true << O::lost << "w0 w1"
                                              << "Lost the connection to Soniox (gone 1)";
    }

    void outcomes()
    {
        QFETCH(QString, keyFailure);
        QFETCH(int, failures);
        QFETCH(bool, byService);
        QFETCH(bool, failWhileFinishing);
        FakeStreamFactory streams;
        streams.answersAtOnce = !failWhileFinishing;
        ManualClock clock;
        SpeechSession session(key(keyFailure), streams.factory(), {}, clock);
        QStringList errors;
        connect(&session, &SpeechSession::errorOccurred, [&](const QString& e) { errors << e; });
        auto fail = [&](size_t i) {
            streams.stream(i)->fail(byService ? "Soniox 401: Invalid API key."
                                              : QStringLiteral("gone %1").arg(i),
                                    byService);
        };
        for (size_t i = 0; i < streams.count(); ++i) {
            streams.stream(i)->setProgress(QStringLiteral("w%1").arg(i), 0, 0);
            if (int(i) < failures)
                fail(i);
        }
        QCoreApplication::processEvents(); // the recording goes on for a while
        Pending<Transcript> finish(session.finish());
        if (failWhileFinishing)
            fail(streams.count() - 1);
        QTRY_VERIFY(finish.done());
        QTEST(finish.value().outcome, "outcome");
        QTEST(finish.value().text, "text");
        QTEST(finish.value().error, "error");
        // Three fresh sessions at most.
        QCOMPARE(int(streams.count()), keyFailure.isEmpty() ? std::min(failures, 3) + 1 : 0);
        // The user hears of it while recording, except when the end itself fails.
        const QString error = finish.value().error;
        QCOMPARE(errors,
                 error.isEmpty() || failWhileFinishing ? QStringList() : QStringList{error});
    }
};

QTEST_GUILESS_MAIN(SpeechSessionTest)
#include "SpeechSessionTest.moc"
