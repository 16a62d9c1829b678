#include "desktop/Dictation.h"

#include "DesktopFixture.h"
#include "util/Pending.h"

#include <QSignalSpy>

#include <cmath>
#include <limits>

using namespace quillet;
using namespace quillet::test;

namespace {

using Phase = Dictation::Phase;

struct DictationRig : DesktopFixture {
    using DesktopFixture::DesktopFixture;
    Dictation d{dictationServices()};
    QList<Phase> phases;

    DictationRig()
    {
        QObject::connect(&d, &Dictation::phaseChanged, [this](Phase p) { phases << p; });
    }
    std::shared_ptr<FakeSpeechStream> stream() { return streams.stream(streams.count() - 1); }
    // 1024 frames of a loud 1 kHz square wave in the fake input's format (48 kHz float stereo).
    void feed()
    {
        QByteArray frames(1024 * audio.format.bytesPerFrame(), Qt::Uninitialized);
        auto* samples = reinterpret_cast<float*>(frames.data());
        for (qsizetype i = 0; i < frames.size() / qsizetype(sizeof(float)); ++i)
            samples[i] = (i / 2 / 24) % 2 ? 0.5f : -0.5f;
        audio.feed(frames);
    }
};

} // namespace

class DictationTest : public QObject {
    Q_OBJECT
private slots:
    // The whole road: recording, a Shift to another mode, the tail, the transcript, processing
    // in the mode current at the end, and the entry recorded in the history.
    void recordsAnEntry()
    {
        DictationRig rig;
        rig.d.start("quillet");
        QCOMPARE(rig.d.phase(), Phase::recording);
        QTRY_COMPARE(rig.audio.live(), 1);
        rig.stream()->update("hello");
        QTRY_COMPARE(rig.d.liveText(), "hello");
        for (int i = 0; i < 4; ++i)
            rig.feed();
        QTRY_VERIFY(rig.d.level() > 0);
        QVERIFY(!rig.stream()->state().frames.isEmpty());
        rig.d.setMode("code");

        Pending<std::optional<Entry>> finish(rig.d.finish(QStringLiteral("Text Editor")));
        QCOMPARE(rig.d.phase(), Phase::processing);
        // Still listening during the tail: the microphone runs and the service has not been
        // asked to finish.
        rig.clock.advance(0.29);
        QCoreApplication::processEvents();
        QCOMPARE(rig.audio.live(), 1);
        QVERIFY(rig.stream()->state().finishes.isEmpty());
        rig.clock.advance(0.01);
        QTRY_VERIFY(finish.done());

        const std::optional<Entry> entry = finish.value();
        QVERIFY(entry);
        QCOMPARE(entry->raw, "hello world");
        QCOMPARE(entry->text, "HELLO WORLD");
        QCOMPARE(entry->mode, "code");
        QCOMPARE(entry->app, "Text Editor");
        QCOMPARE(entry->date, rig.clock.now());
        QCOMPARE(rig.processed, QStringList{"hello world|code|Text Editor"});
        QCOMPARE(rig.store.history().value(0), *entry);
        QCOMPARE(rig.phases, (QList<Phase>{Phase::recording, Phase::processing, Phase::idle}));
        QCOMPARE(rig.audio.live(), 0);
        QCOMPARE(rig.d.level(), 0.0f);
    }

    // What the session hands the speech service: the languages, the vocabulary's terms and the
    // translation target of this moment.
    void sessionOptions()
    {
        DictationRig rig;
        rig.prefs.setLanguages({"de"});
        rig.prefs.setTranslateTo("en");
        QVERIFY(rig.store.addTerm("Kubernetes"));
        rig.d.start("quillet");
        QTRY_COMPARE(rig.streams.count(), size_t(1));
        QCOMPARE(rig.stream()->apiKey, "sk-test");
        QCOMPARE(rig.stream()->options.languages, QStringList{"de"});
        QCOMPARE(rig.stream()->options.terms, QStringList{"Kubernetes"});
        QCOMPARE(rig.stream()->options.translateTo, "en");
    }

    void tailSeconds_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<double>("wait");
        QTest::newRow("default") << QVariant() << 0.3;
        QTest::newRow("longer") << QVariant(1.5) << 1.5;
        QTest::newRow("none") << QVariant(0.0) << 0.0;
        QTest::newRow("negative") << QVariant(-2.0) << 0.0;
        QTest::newRow("not a number") << QVariant(std::nan("")) << 0.0;
        QTest::newRow("infinite") << QVariant(std::numeric_limits<double>::infinity()) << 0.0;
    }

    // The transcript is asked for once the tail has passed, and at once without one.
    void tailSeconds()
    {
        QFETCH(QVariant, stored);
        QFETCH(double, wait);
        DictationRig rig;
        if (stored.isValid())
            rig.prefs.setValue("tailSeconds", stored);
        rig.d.start("quillet");
        Pending<std::optional<Entry>> finish(rig.d.finish(std::nullopt));
        if (wait > 0) {
            rig.clock.advance(wait - 0.001);
            QCoreApplication::processEvents();
            QVERIFY(rig.stream()->state().finishes.isEmpty());
            rig.clock.advance(0.001);
        }
        QTRY_VERIFY(finish.done());
        QCOMPARE(rig.stream()->state().finishes.size(), 1);
    }

    // No text: no entry, nothing in the history, idle again; an error set meanwhile stays.
    void emptyTranscript()
    {
        DictationRig rig;
        rig.streams.onMade = [](FakeSpeechStream&) {};
        rig.d.start("quillet");
        rig.loseService("Soniox 503: overloaded", true);
        QTRY_VERIFY(rig.d.error().contains("overloaded"));
        Pending<std::optional<Entry>> finish(rig.d.finish(std::nullopt));
        rig.clock.advance(0.3);
        QTRY_VERIFY(finish.done());
        QVERIFY(!finish.value());
        QVERIFY(rig.store.history().isEmpty());
        QVERIFY(rig.processed.isEmpty());
        QCOMPARE(rig.d.phase(), Phase::idle);
        QVERIFY(rig.d.error().contains("overloaded"));
    }

    // An error during recording shows but does not end it; the entry still comes, the error
    // stays until the next start.
    void errorWhileRecording()
    {
        DictationRig rig;
        rig.d.start("quillet");
        rig.loseService("Socket closed");
        QTRY_VERIFY(rig.d.error().contains("Socket closed"));
        const QString error = rig.d.error();
        QCOMPARE(rig.d.phase(), Phase::recording);
        Pending<std::optional<Entry>> finish(rig.d.finish(std::nullopt));
        rig.clock.advance(0.3);
        QTRY_VERIFY(finish.done());
        QVERIFY(finish.value());
        QCOMPARE(rig.d.error(), error);
        rig.d.start("quillet");
        QCOMPARE(rig.d.error(), "");
    }

    // Cancelling ends the recording at once; what the cancelled session still reports is
    // dropped, even after a new one started.
    void cancel()
    {
        DictationRig rig;
        rig.d.start("quillet");
        const auto first = rig.stream();
        rig.d.cancel();
        QCOMPARE(rig.d.phase(), Phase::idle);
        QVERIFY(first->state().closed);
        QTRY_COMPARE(rig.audio.live(), 0);
        first->update("late words");
        QTest::qWait(10);
        QCOMPARE(rig.d.liveText(), "");

        rig.d.start("quillet");
        QCOMPARE(rig.streams.count(), size_t(2));
        first->update("later words");
        rig.stream()->update("new words");
        QTRY_COMPARE(rig.d.liveText(), "new words");
    }

    // A dictation that is processing can neither be cancelled nor started again.
    void busyWhileProcessing()
    {
        DictationRig rig;
        rig.streams.answersAtOnce = false;
        rig.d.start("quillet");
        Pending<std::optional<Entry>> finish(rig.d.finish(std::nullopt));
        rig.clock.advance(0.3);
        QTRY_COMPARE(rig.stream()->state().finishes.size(), 1);
        rig.d.cancel();
        rig.d.start("code");
        QCOMPARE(rig.d.phase(), Phase::processing);
        QCOMPARE(rig.streams.count(), size_t(1));
        rig.stream()->close();
        QTRY_VERIFY(finish.done());
        QVERIFY(finish.value());
        QCOMPARE(rig.d.phase(), Phase::idle);
    }

    // Without a speech key nothing is recorded and the user is told where to add one.
    void noSpeechKey()
    {
        EnvGuard env("SONIOX_API_KEY", std::nullopt);
        DictationRig rig(false);
        if (rig.keys.speechKey())
            QSKIP("this build has a speech key built in");
        rig.d.start("quillet");
        QCOMPARE(rig.d.phase(), Phase::idle);
        QCOMPARE(rig.d.error(), Dictation::noKeyMessage);
        QCOMPARE(rig.streams.count(), size_t(0));
        QCOMPARE(rig.audio.made(), 0);
    }

    // A microphone that cannot start cancels the dictation with the failure's description.
    void micFailure()
    {
        DictationRig rig;
        rig.audio.startError = AudioError{"PulseAudio", 3, "Access denied"};
        rig.d.start("quillet");
        QTRY_COMPARE(rig.d.phase(), Phase::idle);
        QCOMPARE(rig.d.error(), "Access denied");
        QVERIFY(rig.stream()->state().closed);
    }
};

QTEST_GUILESS_MAIN(DictationTest)
#include "DictationTest.moc"
