#include "app/DesktopApp.h"

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
#include "pulse/PulseAudioSystem.h"
#include "shell/Shell.h"
#include "store/Store.h"
#include "update/Updater.h"
#include "x11/QtPasteboard.h"
#include "x11/X11Compositor.h"
#include "x11/X11KeyMonitor.h"
#include "x11/X11PasteSender.h"
#include "x11/X11Workspace.h"

#include <QApplication>
#include <QPointer>
#include <QTextStream>

#include <cstdio>

namespace quillet {

namespace {

void say(const QString& line)
{
    std::fprintf(stderr, "quillet: %s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);
}

bool isWaylandSession()
{
    return qEnvironmentVariable("XDG_SESSION_TYPE") == u"wayland" ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

// Claims the bus name and starts, or hands over to the instance already running.
QCoro::Task<void> launch(DesktopApp& desktop, bool& handedOver)
{
    const QPointer<DesktopApp> guard(&desktop);
    QCoro::Task<bool> claiming = desktop.claim();
    const bool ours = co_await claiming;
    if (!guard)
        co_return;
    if (!ours) {
        handedOver = true;
        QCoreApplication::exit(0);
        co_return;
    }
    QCoro::Task<void> starting = desktop.start();
    co_await starting;
}

} // namespace

int DesktopApp::main(int argc, char** argv, const QHash<QString, QString>& argumentDomain)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        say(QStringLiteral("no X display (DISPLAY is not set): the desktop application needs an "
                           "X11 session or XWayland; see quillet --help for the commands"));
        return 1;
    }
    if (isWaylandSession())
        say(QStringLiteral("this is a Wayland session: the push-to-talk key works only while an "
                           "X11 window has the focus; \"quillet toggle\" works everywhere (bind "
                           "it to a shortcut of your desktop)"));
    // Keys, paste and clipboard all go through the X server, so the toolkit must use it too.
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillet"));
    QApplication::setApplicationVersion(QStringLiteral(QUILLET_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("com.fernwick.quillet"));
    QApplication::setQuitOnLastWindowClosed(false);

    Engine engine(argumentDomain);
    engine.setWarningSink(say);
    DesktopApp desktop(engine);
    bool handedOver = false;
    QCoro::Task<void> launching = launch(desktop, handedOver);
    const int code = QApplication::exec();
    return handedOver ? 0 : code;
}

DesktopApp::DesktopApp(Engine& engine, QObject* parent)
    : QObject(parent)
    , m_engine(engine)
    , m_keyMonitor(std::make_unique<X11KeyMonitor>())
    , m_pasteSender(std::make_unique<X11PasteSender>())
    , m_workspace(std::make_unique<X11Workspace>())
    , m_pasteboard(std::make_unique<QtPasteboard>())
    , m_accessibility(std::make_unique<AtspiAccessibility>())
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
    m_controller = std::make_unique<Controller>(
        Controller::Services{
            engine.prefs(), store, engine.keys(), engine.clock(), *m_keyMonitor, *m_pasteSender,
            *m_pasteboard, *m_workspace, *m_accessibility, *m_audio, *m_spelling,
            [&engine] { engine.chat().warmUp(engine.providers()); }, m_updater.get()},
        std::move(dictation),
        std::make_unique<HudTee>(
            std::make_unique<FloatingHud>(FloatingHud::Services{
                store, engine.prefs(), engine.clock(), [] { return X11Compositor::isRunning(); }}),
            std::make_unique<StderrHud>()));
    m_shell = std::make_unique<Shell>(
        Shell::Services{*m_controller, store, engine.keys(), engine.prefs(), m_updater.get(),
                        [this] { return showSettingsWindow(); }, [] { QCoreApplication::quit(); }});
    const QPointer<Controller> controller(m_controller.get());
    engine.setWarningSink([controller](const QString& message) {
        if (controller)
            controller->hud().toast(message);
        else
            say(message);
    });
    connect(m_controller.get(), &Controller::activationRequested, this,
            [this] { showStatus(true); });

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
    // Dictation works without the bus; only "quillet toggle" cannot reach this instance.
    say(QStringLiteral("%1: \"quillet toggle\" and \"quillet cancel\" cannot reach this instance")
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
    if (m_keyMonitor->isAvailable())
        say(QStringLiteral("ready: hold %1 to dictate (double-tap to lock, Escape cancels)")
                .arg(m_controller->hotkey().displayName()));
    else
        say(QStringLiteral("the keyboard cannot be watched here: use \"quillet toggle\""));
}

QWidget* DesktopApp::showSettingsWindow()
{
    showStatus(false);
    return nullptr;
}

void DesktopApp::showStatus(bool onlyMissing)
{
    if (!onlyMissing)
        say(QStringLiteral("Quillet is running: hold %1 to dictate")
                .arg(m_controller->hotkey().displayName()));
    if (!m_controller->axTrusted())
        say(QStringLiteral("cannot paste into other applications: this needs the X server's "
                           "XTest extension and the desktop's accessibility bus (AT-SPI)"));
    if (!m_controller->micAllowed())
        say(QStringLiteral("no microphone: the sound server (PulseAudio or PipeWire) has no "
                           "input"));
    if (!m_engine.keys().speechKey())
        say(QStringLiteral("no Soniox key: set SONIOX_API_KEY, or store the key in the keyring "
                           "(service com.fernwick.quillet, account soniox)"));
}

} // namespace quillet
