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
class Preferences;
class Store;
struct PillState;

// The HUD as a floating pill at the bottom centre of the screen the pointer is on. It shows while
// a dictation records or processes, and for 1.8 s after each message. Main thread.
class FloatingHud final : public QObject, public Hud {
    Q_OBJECT
public:
    static constexpr double toastSeconds = 1.8;

    struct Services {
        // The modes, for the tag's name and colour.
        Store& store;
        // The push-to-talk key, for the status line.
        Preferences& prefs;
        Clock& clock;
        // Whether a compositor draws transparent windows; asked each time the pill shows.
        std::function<bool()> compositing;
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

    Services m_services;
    HudModel m_model;
    const std::unique_ptr<HudPanel> m_panel;
    Timer m_toastTask;
};

} // namespace quillet
