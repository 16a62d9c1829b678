#pragma once

#include "desktop/Dictation.h"
#include "desktop/Hud.h"

#include <QStringList>

namespace quillet {

// A HUD that keeps the toasts it was asked to show; like the real one it drops the lock mark when
// the bound dictation returns to idle.
class FakeHud final : public Hud {
public:
    Dictation* bound = nullptr;
    QStringList toasts;
    bool isLocked = false;

    void bind(Dictation* dictation) override
    {
        bound = dictation;
        QObject::connect(dictation, &Dictation::phaseChanged, dictation,
                         [this](Dictation::Phase phase) {
                             if (phase == Dictation::Phase::idle)
                                 isLocked = false;
                         });
    }
    void toast(const QString& text) override { toasts << text; }
    bool locked() const override { return isLocked; }
    void setLocked(bool locked) override { isLocked = locked; }
};

} // namespace quillet
