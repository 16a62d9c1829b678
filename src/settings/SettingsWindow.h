#pragma once

#include "settings/SettingsServices.h"

#include <QObject>
#include <QPointer>

#include <optional>

namespace quillet {

class SettingsView;

// The settings window as the shell sees it (the tray's "Settings…", a second launch, the launch
// option "-showSettings true"). Nothing is built until it is first shown, and closing it frees
// its widgets again, so that it costs nothing while it is closed.
class SettingsWindow : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool open READ isOpen NOTIFY openChanged)
public:
    explicit SettingsWindow(SettingsServices services, QObject* parent = nullptr);
    ~SettingsWindow() override;

    // Opens the window, or brings it to the front, on the tab with `tag` (the tags of
    // SettingsView; none: the tab the preference "settingsTab" names when the window opens, the
    // current one when it is open already).
    void show(std::optional<int> tag = std::nullopt);
    // Opens the window on the General tab scrolled to "Desktop integration", for when a desktop
    // function needs the user's help to work.
    void showDesktopIntegration();
    void close();

    bool isOpen() const;
    // The open window, or null.
    SettingsView* view() const;

signals:
    void openChanged(bool open);

private:
    SettingsServices m_services;
    QPointer<SettingsView> m_view;
};

} // namespace quillet
