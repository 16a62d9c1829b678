#pragma once

#include "session/SessionInfo.h"

#include <QCoroTask>
#include <QHash>
#include <QObject>
#include <QString>

#include <memory>

class QWidget;

namespace quillet {

class AdapterIntegration;
class AtspiAccessibility;
class Controller;
class DesktopAdapters;
class DesktopEntries;
class DesktopService;
class EnchantSpellChecker;
class Engine;
class PulseAudioSystem;
class SettingsWindow;
class Shell;
class Updater;

// The desktop application: the adapters this session offers (X11, or Wayland with Xwayland for
// the pill), the controller over the engine with the floating pill, the tray and its menu, the
// settings window, and the session-bus service that makes it the one instance and takes toggles
// and push-to-talk commands from the command line.
class DesktopApp : public QObject {
    Q_OBJECT
public:
    // Runs the application to its end (or hands over to the instance already running) and
    // returns the exit code. Makes the GUI application object itself.
    static int main(int argc, char** argv, const QHash<QString, QString>& argumentDomain);

    // `engine` must outlive the application; make it on the main thread of a QApplication.
    // `session` is what SessionProbe found, with the toolkit's platform filled in.
    DesktopApp(Engine& engine, SessionInfo session, QObject* parent = nullptr);
    ~DesktopApp() override;

    // Takes the bus name; false when another instance has it, which is then told to show
    // itself.
    QCoro::Task<bool> claim();
    // Starts the adapters and sets the controller up; says on standard error when it is ready.
    QCoro::Task<void> start();

    Controller& controller() { return *m_controller; }
    Shell& shell() { return *m_shell; }
    SettingsWindow& settings() { return *m_settings; }

private:
    // What is missing, on standard error (the settings window shows it too).
    void reportMissing();
    // At the first launch where the push-to-talk key cannot work by itself: says so once and
    // opens the settings where the user can set it up.
    void introduceKeySetup();

    Engine& m_engine;
    std::unique_ptr<AtspiAccessibility> m_accessibility;
    std::unique_ptr<DesktopAdapters> m_adapters;
    std::unique_ptr<DesktopEntries> m_entries;
    std::unique_ptr<PulseAudioSystem> m_audio;
    std::unique_ptr<EnchantSpellChecker> m_spelling;
    std::unique_ptr<Updater> m_updater;
    std::unique_ptr<Controller> m_controller;
    std::unique_ptr<AdapterIntegration> m_integration;
    std::unique_ptr<SettingsWindow> m_settings;
    std::unique_ptr<Shell> m_shell;
    std::unique_ptr<DesktopService> m_service;
};

} // namespace quillet
