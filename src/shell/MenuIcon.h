#pragma once

#include "desktop/Dictation.h"

#include <QIcon>

namespace quillet {

// The tray icon: a plain waveform while idle, a filled one while a dictation records or
// processes.
class MenuIcon {
public:
    static bool isActive(Dictation::Phase phase) { return phase != Dictation::Phase::idle; }
    static QIcon idle();
    static QIcon active();
    static QIcon forPhase(Dictation::Phase phase) { return isActive(phase) ? active() : idle(); }
};

} // namespace quillet
