#pragma once

#include "desktop/Dictation.h"
#include "desktop/HotKey.h"
#include "store/Style.h"

#include <QString>

namespace quillet {

// One moment of what the pill shows, gathered from the HUD's model, the dictation, the modes and
// the push-to-talk key: the view draws only this, so what it draws can be checked without it.
struct PillState {
    // Nothing is drawn without a dictation (the panel stays transparent).
    bool bound = false;
    Dictation::Phase phase = Dictation::Phase::idle;
    // Empty: no message.
    QString toast;
    bool locked = false;
    bool lagging = false;
    QString liveText;
    // The dictation's mode as resolved against the modes the store holds.
    Style mode;
    HotKey hotkey;

    bool showsToast() const { return !toast.isEmpty(); }
    bool showsLock() const { return locked && phase == Dictation::Phase::recording; }
    bool processing() const { return phase == Dictation::Phase::processing; }
};

} // namespace quillet
