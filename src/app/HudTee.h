#pragma once

#include "desktop/Hud.h"

#include <memory>

namespace quillet {

// Two HUDs as one: the pill on screen and the lines on standard error, so that what the pill
// says can also be read in the terminal Quillet was started from (and by scripts). The first
// one keeps the lock mark.
class HudTee final : public Hud {
public:
    HudTee(std::unique_ptr<Hud> shown, std::unique_ptr<Hud> echo);
    ~HudTee() override;

    void bind(Dictation* dictation) override;
    void toast(const QString& text) override;
    bool locked() const override { return m_shown->locked(); }
    void setLocked(bool locked) override;

    Hud& shown() const { return *m_shown; }

private:
    const std::unique_ptr<Hud> m_shown;
    const std::unique_ptr<Hud> m_echo;
};

} // namespace quillet
