#pragma once

#include "desktop/Dictation.h"
#include "desktop/Hud.h"
#include "hud/HudModel.h"
#include "util/Clock.h"

#include <QObject>

#include <functional>
#include <memory>

namespace quillet {

class HudPanel;
class Overlay;
class Preferences;
class Store;
struct PillState;

// The HUD as a floating pill at the bottom centre of the screen the pointer is on. It shows while
// a dictation records or processes, and for 1.8 s after each message. The pill is its own window,
// or, where the desktop gives an overlay for it, pictures of that window handed to the overlay.
// Main thread.
class FloatingHud final : public QObject, public Hud {
    Q_OBJECT
public:
    static constexpr double toastSeconds = 1.8;
    // The overlay gets a new picture at most this often while the pill animates.
    static constexpr double frameSeconds = 1.0 / 30;

    struct Services {
        // The modes, for the tag's name and colour.
        Store& store;
        // The push-to-talk key, for the status line.
        Preferences& prefs;
        Clock& clock;
        // Whether a compositor draws transparent windows; asked each time the pill shows.
        std::function<bool()> compositing;
        // Where the pill shows instead of its window; none for the window.
        Overlay* overlay = nullptr;
    };

    // Everything in `services` must outlive the HUD.
    explicit FloatingHud(Services services, QObject* parent = nullptr);
    ~FloatingHud() override;

    // Hud.
    void bind(Dictation* dictation) override;
    void toast(const QString& text) override;
    bool locked() const override { return m_model.locked(); }
    void setLocked(bool locked) override { m_model.setLocked(locked); }

    const HudModel& model() const { return m_model; }
    HudPanel& panel() const { return *m_panel; }
    // What the pill shows now.
    PillState state() const;

private:
    void phaseChanged(Dictation::Phase phase);
    void toastExpired();
    void show();
    void hide();
    // Hands the panel the current state, when anyone can see it.
    void refresh();
    bool shown() const;
    // The panel as it looks now, to the overlay.
    void present();
    void panelChanged();

    Services m_services;
    HudModel m_model;
    const std::unique_ptr<HudPanel> m_panel;
    Timer m_toastTask;
    Timer m_frameTask;
};

} // namespace quillet
