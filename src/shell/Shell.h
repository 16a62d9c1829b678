#pragma once

#include "shell/LaunchRule.h"

#include <QObject>
#include <QPointer>
#include <QSystemTrayIcon>

#include <functional>
#include <memory>

class QWidget;

namespace quillet {

class Controller;
class KeyStore;
class MenuContent;
class Preferences;
class Store;
class Updater;

// What the user sees of the running program besides the pill: the tray icon with its menu, and
// the settings window, which opens by itself at launch when something is missing. A desktop
// without a tray gets the window at launch instead, carrying the menu's items in its menu bar;
// starting the program again brings the window back. Main thread.
class Shell : public QObject {
    Q_OBJECT
public:
    struct Services {
        Controller& controller;
        Store& store;
        KeyStore& keys;
        Preferences& prefs;
        // None: this run has no updater.
        Updater* updater = nullptr;
        // Opens the settings window (made on first use) or brings it to the front, and returns
        // it; null when there is none.
        std::function<QWidget*()> showSettings;
        std::function<void()> quit;
        // Whether the desktop shows tray icons.
        std::function<bool()> trayAvailable = [] {
            return QSystemTrayIcon::isSystemTrayAvailable();
        };
    };

    // Everything in `services` must outlive the shell.
    explicit Shell(Services services, QObject* parent = nullptr);
    ~Shell() override;

    // After the controller's setUp(): shows the tray icon and, if the launch rule says so, the
    // settings window.
    void launch();
    // Another start of the program: the settings window comes to the front.
    void activate();
    void openSettings();

    // The rule as it stands now.
    LaunchRule launchRule() const;
    bool hasTray() const { return m_hasTray; }
    QSystemTrayIcon& tray() { return m_tray; }
    MenuContent& menu() { return *m_menu; }

signals:
    void settingsOpened(QWidget* window);

private:
    void offerMenu(QWidget* window);

    Services m_services;
    std::unique_ptr<MenuContent> m_menu;
    QSystemTrayIcon m_tray;
    bool m_hasTray = false;
    // The window that carries the menu bar, so that it gets only one.
    QPointer<QWidget> m_menuHost;
};

} // namespace quillet
