#pragma once

#include "desktop/HotKey.h"
#include "shell/MenuItem.h"
#include "store/ModeSettings.h"
#include "update/Release.h"

#include <QList>
#include <QMenu>
#include <QObject>

#include <functional>
#include <optional>

namespace quillet {

class Controller;
class Store;
class Updater;

// The tray's menu: how to dictate, the everyday switches, the last dictation, updates, settings
// and quit. It is rebuilt whenever one of the values it shows changes. Main thread.
class MenuContent : public QObject {
    Q_OBJECT
public:
    // What the menu shows, gathered from the controller, the store and the updater.
    struct Facts {
        HotKey hotkey;
        ModeSettings modes;
        bool hasLastEntry = false;
        // This build may update itself.
        bool canUpdate = false;
        std::optional<Release> available;
        bool updaterBusy = false;
    };

    // The rows, top to bottom.
    static QList<MenuItem> items(const Facts& facts);

    struct Services {
        Controller& controller;
        Store& store;
        // None: this run has no updater.
        Updater* updater = nullptr;
        std::function<void()> openSettings;
        std::function<void()> quit;
    };

    // Everything in `services` must outlive the menu.
    explicit MenuContent(Services services, QObject* parent = nullptr);
    ~MenuContent() override;

    QMenu* menu() { return &m_menu; }
    Facts facts() const;

signals:
    void rebuilt();

private:
    void rebuild();
    void addItem(const MenuItem& item);
    void run(MenuItem::Action action, const QString& choice = {});

    Services m_services;
    QMenu m_menu;
};

} // namespace quillet
