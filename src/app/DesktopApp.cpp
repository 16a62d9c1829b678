#include "app/DesktopApp.h"

#include "app/AdapterIntegration.h"
#include "app/DesktopService.h"
#include "app/Engine.h"
#include "app/HudTee.h"
#include "app/Version.h"
#include "atspi/AtspiAccessibility.h"
#include "desktop/Controller.h"
#include "desktop/Dictation.h"
#include "desktop/StderrHud.h"
#include "enchant/EnchantSpellChecker.h"
#include "hud/FloatingHud.h"
#include "platform/PasteSender.h"
#include "pulse/PulseAudioSystem.h"
#include "session/AdapterChoice.h"
#include "session/DesktopAdapters.h"
#include "session/SessionProbe.h"
#include "settings/SettingsServices.h"
#include "settings/SettingsView.h"
#include "settings/SettingsWindow.h"
#include "shell/Shell.h"
#include "store/Store.h"
#include "update/Updater.h"
#include "x11/X11Compositor.h"
#include "xdg/DesktopEntries.h"

#include <QApplication>
#include <QPointer>

#include <cstdio>

namespace quillet {

namespace {

// Set once the user has been told how to set the push-to-talk key up on this desktop.
const QString keySetupShownKey = QStringLiteral("keySetupShown");

void say(const QString& line)
{
    std::fprintf(stderr, "quillet: %s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);
}

// Asks the desktop portal what it offers (Wayland only), makes the application, and claims the
// bus name and starts, or hands over to the instance already running.
QCoro::Task<void> launch(Engine& engine, SessionInfo session, std::unique_ptr<DesktopApp>& app,
                         bool& handedOver)
{
    if (session.kind == SessionInfo::Kind::wayland) {
        QCoro::Task<SessionInfo> asking = SessionProbe::withPortals(session);
        session = co_await asking;
    }
    app = std::make_unique<DesktopApp>(engine, std::move(session));
    const QPointer<DesktopApp> guard(app.get());
    QCoro::Task<bool> claiming = app->claim();
    const bool ours = co_await claiming;
    if (!guard)
        co_return;
    if (!ours) {
        handedOver = true;
        QCoreApplication::exit(0);
        co_return;
    }
    QCoro::Task<void> starting = guard->start();
    co_await starting;
}

} // namespace

int DesktopApp::main(int argc, char** argv, const QHash<QString, QString>& argumentDomain)
{
    SessionInfo session = SessionProbe::local();
    if (session.kind == SessionInfo::Kind::none) {
        say(QStringLiteral("no desktop session (neither DISPLAY nor WAYLAND_DISPLAY is set); see "
                           "quillet --help for the commands"));
        return 1;
    }
    if (const QByteArray platform = SessionProbe::qtPlatform(session); !platform.isEmpty())
        qputenv("QT_QPA_PLATFORM", platform);
    else if (session.kind == SessionInfo::Kind::x11)
        // Keys, paste and clipboard all go through the X server, so the toolkit must use it too.
        qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication qapp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillet"));
    QApplication::setApplicationVersion(QStringLiteral(QUILLET_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("com.fernwick.quillet"));
    QApplication::setQuitOnLastWindowClosed(false);
    session.qtPlatform = QGuiApplication::platformName();

    Engine engine(argumentDomain);
    engine.setWarningSink(say);
    std::unique_ptr<DesktopApp> app;
    bool handedOver = false;
    QCoro::Task<void> launching = launch(engine, std::move(session), app, handedOver);
    const int code = QApplication::exec();
    app.reset();
    return handedOver ? 0 : code;
}

DesktopApp::DesktopApp(Engine& engine, SessionInfo session, QObject* parent)
    : QObject(parent)
    , m_engine(engine)
    , m_accessibility(std::make_unique<AtspiAccessibility>())
    , m_adapters(
          std::make_unique<DesktopAdapters>(std::move(session), engine.clock(), *m_accessibility))
    , m_entries(std::make_unique<DesktopEntries>())
    , m_audio(std::make_unique<PulseAudioSystem>(engine.clock()))
    , m_spelling(std::make_unique<EnchantSpellChecker>())
    , m_updater(std::make_unique<Updater>(Updater::Config::fromBuild(), engine.prefs(),
                                          engine.network(), engine.clock()))
{
    Store& store = engine.store();
    auto dictation = std::make_unique<Dictation>(Dictation::Services{
        *m_audio, engine.speechStreams(), engine.keys(), store, engine.prefs(), engine.clock(),
        [&engine](QString transcript, QString mode, std::optional<QString> app) {
            return engine.processText(std::move(transcript), std::move(mode), std::move(app));
        }});
    // Without anything to show the pill, what it would show goes to standard error alone.
    std::unique_ptr<Hud> hud = std::make_unique<StderrHud>();
    if (m_adapters->pillAdapter() != AdapterChoice::Adapter::trayOnly)
        hud = std::make_unique<HudTee>(
            std::make_unique<FloatingHud>(FloatingHud::Services{
                store, engine.prefs(), engine.clock(), [] { return X11Compositor::isRunning(); },
                m_adapters->overlay()}),
            std::move(hud));
    m_controller = std::make_unique<Controller>(
        Controller::Services{
            engine.prefs(), store, engine.keys(), engine.clock(), m_adapters->keyMonitor(),
            m_adapters->pasteSender(), m_adapters->pasteboard(), m_adapters->workspace(),
            *m_accessibility, *m_audio, *m_spelling,
            [&engine] { engine.chat().warmUp(engine.providers()); }, m_updater.get()},
        std::move(dictation), std::move(hud));

    m_integration = std::make_unique<AdapterIntegration>(*m_adapters);
    SettingsServices settings(engine.prefs(), store, engine.keys(), engine.providers(),
                              engine.processor(), *m_controller, m_adapters->workspace(),
                              engine.clock());
    settings.updater = m_updater.get();
    settings.enableAccessibility = [this] { m_accessibility->start(); };
    settings.canSendKeys = [this] { return m_adapters->pasteSender().isAvailable(); };
    settings.appName = [this](const QString& appId) { return m_entries->displayName({appId}); };
    settings.integration = m_integration.get();
    m_settings = std::make_unique<SettingsWindow>(std::move(settings));

    m_shell = std::make_unique<Shell>(Shell::Services{*m_controller, store, engine.keys(),
                                                      engine.prefs(), m_updater.get(),
                                                      [this]() -> QWidget* {
                                                          m_settings->show();
                                                          return m_settings->view();
                                                      },
                                                      [] { QCoreApplication::quit(); }});
    const QPointer<Controller> controller(m_controller.get());
    engine.setWarningSink([controller](const QString& message) {
        if (controller)
            controller->hud().toast(message);
        else
            say(message);
    });
    connect(m_controller.get(), &Controller::activationRequested, this, &DesktopApp::reportMissing);

    m_service = std::make_unique<DesktopService>(DesktopService::Handlers{
        [this] { m_controller->toggle(); }, [this] { m_controller->cancelRecording(); },
        [this] { m_shell->activate(); }});
}

DesktopApp::~DesktopApp()
{
    m_engine.setWarningSink(say);
}

QCoro::Task<bool> DesktopApp::claim()
{
    const QPointer<DesktopApp> self(this);
    QCoro::Task<std::optional<QString>> claiming = m_service->claim();
    const std::optional<QString> failure = co_await claiming;
    if (!failure)
        co_return true;
    if (*failure == DesktopService::alreadyRunning) {
        QCoro::Task<bool> activating = DesktopService::activateRunning();
        const bool told = co_await activating;
        say(told ? QStringLiteral("Quillet is already running")
                 : QStringLiteral("another Quillet holds %1 but does not answer")
                       .arg(DesktopService::serviceName));
        co_return false;
    }
    // Dictation works without the bus; only the commands cannot reach this instance.
    say(QStringLiteral("%1: \"quillet toggle\", \"quillet cancel\" and \"quillet ptt\" cannot "
                       "reach this instance")
            .arg(*failure));
    co_return bool(self);
}

QCoro::Task<void> DesktopApp::start()
{
    const QPointer<DesktopApp> self(this);
    m_accessibility->start();
    QCoro::Task<void> loading = m_engine.keys().load();
    co_await loading;
    // The accessibility bus and the sound server connect in the background: a moment for them,
    // so that what the controller finds missing at launch is really missing.
    for (int i = 0;
         i < 40 && self && !(m_accessibility->isAvailable() && m_audio->inputAvailable()); ++i) {
        QCoro::Task<void> pause = m_engine.clock().sleep(0.05);
        co_await pause;
    }
    if (!self)
        co_return;
    m_controller->setUp();
    m_shell->launch();
    if (m_adapters->pushToTalkReady())
        say(QStringLiteral("ready: hold %1 to dictate (double-tap to lock, Escape cancels)")
                .arg(m_controller->hotkey().displayName()));
    else
        introduceKeySetup();
}

void DesktopApp::introduceKeySetup()
{
    say(QStringLiteral("the push-to-talk key cannot be watched here yet: see Settings → Desktop "
                       "integration; \"quillet toggle\" works meanwhile"));
    Preferences& prefs = m_engine.prefs();
    if (prefs.value(keySetupShownKey).toBool())
        return;
    prefs.setValue(keySetupShownKey, true);
    m_controller->hud().toast(DesktopAdapters::keyMissingMessage);
    m_settings->showDesktopIntegration();
}

void DesktopApp::reportMissing()
{
    if (!m_controller->axTrusted())
        say(m_adapters->pasteSender().isAvailable()
                ? QStringLiteral("cannot paste into other applications: this needs the "
                                 "desktop's accessibility bus (AT-SPI)")
                : m_adapters->pasteSender().copyOnlyMessage());
    if (!m_controller->micAllowed())
        say(QStringLiteral("no microphone: the sound server (PulseAudio or PipeWire) has no "
                           "input"));
    if (!m_engine.keys().speechKey())
        say(QStringLiteral("no Soniox key: set SONIOX_API_KEY, or store it in Settings → "
                           "Account"));
}

} // namespace quillet
