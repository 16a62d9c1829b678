#pragma once

#include <QCoroTask>
#include <QHash>
#include <QObject>
#include <QString>

#include <memory>

class QWidget;

namespace quillet {

class AtspiAccessibility;
class Controller;
class DesktopService;
class EnchantSpellChecker;
class Engine;
class PulseAudioSystem;
class QtPasteboard;
class Shell;
class Updater;
class X11KeyMonitor;
class X11PasteSender;
class X11Workspace;

// The desktop application of an X11 session (or XWayland): the adapters, the controller over
// the engine with the floating pill, the tray and its menu, and the session-bus service that
// makes it the one instance and takes toggles from the command line. Until a settings window
// exists, what it would show goes to standard error.
class DesktopApp : public QObject {
    Q_OBJECT
public:
    // Runs the application to its end (or hands over to the instance already running) and
    // returns the exit code. Makes the GUI application object itself.
    static int main(int argc, char** argv, const QHash<QString, QString>& argumentDomain);

    // `engine` must outlive the application; make it on the main thread of a QApplication.
    explicit DesktopApp(Engine& engine, QObject* parent = nullptr);
    ~DesktopApp() override;

    // Takes the bus name; false when another instance has it, which is then told to show
    // itself.
    QCoro::Task<bool> claim();
    // Starts the adapters and sets the controller up; says on standard error when it is ready.
    QCoro::Task<void> start();

    Controller& controller() { return *m_controller; }
    Shell& shell() { return *m_shell; }

private:
    // The settings window's place: what is missing, on standard error.
    void showStatus(bool onlyMissing);
    // Opens the settings window and returns it; null while this build has none (then the
    // status goes to standard error).
    QWidget* showSettingsWindow();

    Engine& m_engine;
    std::unique_ptr<X11KeyMonitor> m_keyMonitor;
    std::unique_ptr<X11PasteSender> m_pasteSender;
    std::unique_ptr<X11Workspace> m_workspace;
    std::unique_ptr<QtPasteboard> m_pasteboard;
    std::unique_ptr<AtspiAccessibility> m_accessibility;
    std::unique_ptr<PulseAudioSystem> m_audio;
    std::unique_ptr<EnchantSpellChecker> m_spelling;
    std::unique_ptr<Updater> m_updater;
    std::unique_ptr<Controller> m_controller;
    std::unique_ptr<Shell> m_shell;
    std::unique_ptr<DesktopService> m_service;
};

} // namespace quillet
