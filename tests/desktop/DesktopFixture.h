#pragma once

#include "FakeHud.h"
#include "desktop/Controller.h"
#include "desktop/Dictation.h"
#include "platform/FakeAccessibility.h"
#include "platform/FakeAudioSystem.h"
#include "platform/FakeKeyMonitor.h"
#include "platform/FakePasteSender.h"
#include "platform/FakePasteboard.h"
#include "platform/FakeSecretBackend.h"
#include "platform/FakeSpellChecker.h"
#include "platform/FakeWorkspace.h"
#include "speech/FakeSpeechStream.h"
#include "store/KeyStore.h"
#include "store/StoreFixture.h"

#include <QTest>

#include <memory>

namespace quillet::test {

// The desktop core over fakes: a store in a temporary folder, a manual clock, a keyring holding
// a speech key, fake adapters, fake speech sessions that answer "hello world", and text
// processing that records its calls and (unless told otherwise) returns the transcript in
// capitals.
struct DesktopFixture {
    StoreFixture data;
    ManualClock& clock = data.clock;
    Preferences& prefs = *data.prefs;
    Store& store = data.open();
    FakeSecretBackend keyring;
    KeyStore keys{keyring};
    FakeKeyMonitor keyMonitor;
    FakePasteSender pasteSender;
    FakePasteboard pasteboard;
    FakeWorkspace workspace;
    FakeAccessibility accessibility;
    FakeAudioSystem audio;
    FakeSpellChecker spelling;
    FakeStreamFactory streams;
    // "transcript|mode|app" for every processing run.
    QStringList processed;
    std::function<QString(const QString&)> rewrite = [](const QString& raw) {
        return raw.toUpper();
    };
    int warmUps = 0;
    Updater* updater = nullptr;
    // Set by makeController(); owned by it.
    FakeHud* hud = nullptr;
    std::unique_ptr<Controller> controller;

    explicit DesktopFixture(bool withKey = true)
    {
        if (withKey)
            keyring.items.insert(
                FakeSecretBackend::slot(KeyStore::service, KeyStore::sonioxAccount),
                QStringLiteral("sk-test"));
        finish(keys.load());
        streams.onMade = [](FakeSpeechStream& s) { s.setProgress("hello world", 1000, 1000); };
        workspace.front = FrontApp{"gedit", 4242, "Text Editor", "notes.txt", false};
        accessibility.focused = std::make_shared<FakeElement>(QString(), CaretCharacter::none());
    }

    Dictation::Services dictationServices()
    {
        return {
            audio,
            streams.factory(),
            keys,
            store,
            prefs,
            clock,
            [this](QString raw, QString mode, std::optional<QString> app) -> QCoro::Task<QString> {
                processed << raw + u'|' + mode + u'|' + app.value_or(QStringLiteral("-"));
                co_return rewrite(raw);
            }};
    }

    Controller& makeController(bool setUp = true)
    {
        auto fakeHud = std::make_unique<FakeHud>();
        hud = fakeHud.get();
        controller = std::make_unique<Controller>(
            Controller::Services{prefs, store, keys, clock, keyMonitor, pasteSender, pasteboard,
                                 workspace, accessibility, audio, spelling, [this] { ++warmUps; },
                                 updater},
            std::make_unique<Dictation>(dictationServices()), std::move(fakeHud));
        if (setUp)
            controller->setUp();
        return *controller;
    }
    Dictation& dictation() { return *controller->dictation(); }

    // The push-to-talk key (Right Alt unless told otherwise) goes down or up.
    void key(bool down, HotKey hotkey = HotKey::rightOption)
    {
        keyMonitor.flagsChanged(hotkey.keyCode(), down ? hotkey.flagMask() : 0);
    }
    // Holds it for `seconds`, the clock moving on meanwhile.
    void hold(double seconds, HotKey hotkey = HotKey::rightOption)
    {
        key(true, hotkey);
        clock.advance(seconds);
        key(false, hotkey);
    }
    // The service is lost for good: the session and every replacement fail.
    void loseService(const QString& why, bool byService = false)
    {
        for (size_t i = 0; i < 4; ++i) {
            QTRY_VERIFY(streams.count() > i);
            streams.stream(i)->fail(why, byService);
        }
    }
    // Lets the tail pass and waits for the dictation to be idle again.
    bool settle()
    {
        clock.advance(1);
        return QTest::qWaitFor([&] { return dictation().phase() == Dictation::Phase::idle; });
    }
};

} // namespace quillet::test
