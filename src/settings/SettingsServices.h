#pragma once

#include "settings/LoginItem.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace quillet {

class Clock;
class Controller;
class DesktopIntegration;
class KeyStore;
class Preferences;
class ProviderSettings;
class Store;
class TextProcessor;
class Updater;
class Workspace;

// What the settings window reads and edits. Everything referenced must outlive the window; the
// optional parts are set after construction.
struct SettingsServices {
    SettingsServices(Preferences& prefs, Store& store, KeyStore& keys, ProviderSettings& providers,
                     TextProcessor& processor, Controller& controller, Workspace& workspace,
                     Clock& clock)
        : prefs(prefs)
        , store(store)
        , keys(keys)
        , providers(providers)
        , processor(processor)
        , controller(controller)
        , workspace(workspace)
        , clock(clock)
    {}

    Preferences& prefs;
    Store& store;
    KeyStore& keys;
    ProviderSettings& providers;
    TextProcessor& processor;
    Controller& controller;
    Workspace& workspace;
    Clock& clock;
    // What serves each desktop function, for the General tab's "Desktop integration"; none: the
    // section is not shown.
    DesktopIntegration* integration = nullptr;
    // Decides whether "Install updates automatically" is offered; none: it never is.
    const Updater* updater = nullptr;
    // The autostart entry behind "Launch at login".
    LoginItem loginItem;
    // "Open Settings" of the Accessibility row: turns accessibility on for the desktop's
    // applications.
    std::function<void()> enableAccessibility;
    // Synthetic key presses reach other applications (the X server has XTest); unset: assumed.
    std::function<bool()> canSendKeys;
    // Starts a program apart from Quillet; false when it could not be started. Unset: the
    // window starts it detached itself.
    std::function<bool(const QString& program, const QStringList& arguments)> launch;
    // The name the user knows an application by; none (or unset): its id is shown.
    std::function<std::optional<QString>(const QString& appId)> appName;
};

} // namespace quillet
